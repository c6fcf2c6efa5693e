// A state file through load_state, and what the end of a run then does with
// the restored month: the state written back (every table walked by its
// chains) must restore the same month again; then the month's visits are
// closed and its history row and page written.
#include "persist/state.hpp"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "common/settings.hpp"
#include "driver/command_line.hpp"
#include "driver/period.hpp"
#include "driver/run_state.hpp"
#include "fresh_run.hpp"
#include "fuzz_scratch.hpp"
#include "persist/history.hpp"
#include "report/month_report.hpp"
#include "resolve/geolocation.hpp"
#include "state_snapshot.hpp"
#include "tables/tables.hpp"

PARVA_FUZZ_INITIALIZE_SCRATCH

extern "C" int
LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const fuzz::fresh_run run;
    settings& s = startup_settings();
    s.verbosity = 0;
    s.incremental = true;
    s.host_name = "fuzz.example";
    derive_settings(nullptr);
    fuzz::empty_scratch();
    if (!fuzz::write_file(s.incremental_name.c_str(), data, size))
        std::abort();
    if (load_state() == 0 && g_clock.month != 0) {
        const std::string restored = fuzz::state_snapshot();
        if (store_state() != 0)
            std::abort();
        reset_run_state();
        if (load_state() != 0 || fuzz::state_snapshot() != restored)
            std::abort();  // the state written does not restore the month it was written from
        if (s.top_countries != 0 && !allocate_top_countries(s.top_countries))
            s.top_countries = 0;
        end_of_input();
        close_open_visits(g_clock.record_timestamp);
        if (record_month_in_history() == 0)
            month_report();
    }
    return 0;
}
