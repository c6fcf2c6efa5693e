// A history file through load_history, then what a run does with the window:
// the month of the run recorded into it, the file written back and read
// again (it must come back as it was written), and the index page with its
// yearly chart drawn from it.
#include "persist/history.hpp"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "common/counters.hpp"
#include "common/history_row.hpp"
#include "common/settings.hpp"
#include "driver/command_line.hpp"
#include "driver/run_state.hpp"
#include "fresh_run.hpp"
#include "fuzz_scratch.hpp"
#include "report/index_page.hpp"

namespace {

// Volumes are written without decimals: they come back rounded.
bool
same_row(const history_row& a, const history_row& b)
{
    return a.year == b.year && a.month == b.month && a.first_day == b.first_day &&
           a.last_day == b.last_day && a.hits == b.hits && a.files == b.files &&
           a.sites == b.sites && a.pages == b.pages && a.visits == b.visits &&
           std::fabs(a.kbytes - b.kbytes) <= 0.5 + std::fabs(a.kbytes) * 1e-15;
}

}  // namespace

PARVA_FUZZ_INITIALIZE_SCRATCH

extern "C" int
LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const fuzz::fresh_run run;
    settings& s = startup_settings();
    s.verbosity = 0;
    s.host_name = "fuzz.example";
    derive_settings(nullptr);
    fuzz::empty_scratch();
    if (!fuzz::write_file(s.history_name.c_str(), data, size))
        std::abort();
    load_history();

    // A run of March 2024 that counted a little.
    g_clock.year = 2024;
    g_clock.month = 3;
    g_month.hits = 10;
    g_month.first_day = 1;
    g_month.last_day = 2;
    record_month_in_history();

    if (store_history() == 0) {
        const history_window written = g_history;
        g_history = history_window{};
        load_history();
        for (int i = 0; i < history_months; ++i)
            if (!same_row(written.rows[i], g_history.rows[i]))
                std::abort();  // the history did not come back as written
    }
    index_report();
    return 0;
}
