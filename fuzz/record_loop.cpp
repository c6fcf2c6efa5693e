// A small log through the whole record loop with counting on: the fuzz
// input, less two leading bytes of choices, is written to a file and read by
// the log reader as a run reads its log; month closes write their pages and
// charts into the scratch directory.  The choices:
//   byte 0  bits 0-1 LogType; bit 2 the threaded loop (two threads) instead
//           of the one-thread one; bit 3 the end of an incremental run
//           after the loop (the state stored, which must restore the month
//           it was stored from, then exit pages, history row, month page and
//           index page); bits 4-6
//           MangleAgents; bit 7 Debug
//   byte 1  bit 0 FoldSeqErr; bit 1 StripCGI off; bit 2 NormalizeURL off;
//           bits 3-4 GroupDomains; bits 5-6 verbosity; bit 7 SearchCaseI off
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/settings.hpp"
#include "driver/accounting.hpp"
#include "driver/command_line.hpp"
#include "driver/period.hpp"
#include "driver/run_state.hpp"
#include "fresh_run.hpp"
#include "fuzz_scratch.hpp"
#include "input/log_reader.hpp"
#include "persist/history.hpp"
#include "persist/state.hpp"
#include "report/index_page.hpp"
#include "report/month_report.hpp"
#include "resolve/geolocation.hpp"
#include "state_snapshot.hpp"
#include "tables/tables.hpp"

namespace {

// putenv keeps the text itself: no copy per input.
char one_thread[] = "PARVA_THREADS=1";
char two_threads[] = "PARVA_THREADS=2";

// What run_parvalyte does after the loop of an incremental run when
// records were counted.  The stored state is read back at the end, into a
// fresh run, as the next run would.
void
end_run()
{
    if (!g_run.good_record)
        return;
    end_of_input();
    std::string stored;
    if (g_run.total > g_run.ignored + g_run.bad) {
        if (store_state() == 0)
            stored = fuzz::state_snapshot();
        close_open_visits(g_clock.record_timestamp);
        record_month_in_history();
        month_report();
    }
    if (g_history.is_set)
        index_report();
    if (!stored.empty()) {
        reset_run_state();
        if (load_state() != 0 || fuzz::state_snapshot() != stored)
            std::abort();  // the next run would not go on with the month this one stored
    }
}

}  // namespace

PARVA_FUZZ_INITIALIZE_SCRATCH

extern "C" int
LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    const fuzz::fresh_run run;
    settings& s = startup_settings();
    const unsigned a = data[0];
    const unsigned b = data[1];
    s.log_type = static_cast<int>(a & 3);
    s.mangle_agents = static_cast<int>((a >> 4) & 7);
    s.debug = (a & 0x80) != 0;
    s.fold_seq_err = (b & 1) != 0;
    s.strip_cgi = (b & 2) == 0;
    s.normalize_url = (b & 4) == 0;
    s.group_domains = static_cast<int>((b >> 3) & 3);
    s.verbosity = static_cast<int>((b >> 5) & 3) % 3;
    s.search_case_i = (b & 0x80) == 0;
    s.host_name = "fuzz.example";
    s.incremental = (a & 8) != 0;
    derive_settings(nullptr);
    putenv((a & 4) != 0 ? two_threads : one_thread);

    if (!fuzz::write_file("fuzz.log", data + 2, size - 2))
        std::abort();
    if (s.top_countries != 0 && !allocate_top_countries(s.top_countries))
        s.top_countries = 0;
    {
        log_reader log;
        if (log.open("fuzz.log") != 0)
            std::abort();
        record_loop(log);
    }
    if ((a & 8) != 0)
        end_run();

    fuzz::empty_scratch();
    return 0;
}
