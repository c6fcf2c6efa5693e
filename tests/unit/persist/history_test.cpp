#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <string>

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/inotify.h>
#endif

#include "common/catalog.hpp"
#include "persist/history.hpp"
#include "test_support.hpp"

namespace {

using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

const std::string hist = "parvalyte.hist";
constexpr auto npos = std::string::npos;
const history_row* const rows = g_history.rows;

class History : public scratch_test {
  protected:
    // Loads a history file of this content; returns what went to standard error.
    static std::string load(const std::string& content)
    {
        write_file(hist, content);
        CaptureStdout();
        CaptureStderr();
        EXPECT_EQ(load_history(), 0);
        GetCapturedStdout();
        return GetCapturedStderr();
    }
};

// Closes (month, year) with totals made from hits, as close_month does;
// returns what went to standard error.
std::string
record(int month, int year, u64 hits = 1, double bytes = 0)
{
    g_clock.month = month;
    g_clock.year = year;
    g_month = {.hits = hits,
               .files = hits / 2,
               .pages = hits / 4,
               .bytes = bytes,
               .sites = hits / 3,
               .visits = hits / 5,
               .first_day = 2,
               .last_day = 27};
    CaptureStderr();
    record_month_in_history();
    return GetCapturedStderr();
}

std::string
bad(int month)
{
    return std::string(msg::bad_history_line) + " (mth=" + std::to_string(month) + ")\n";
}

}  // namespace

TEST_F(History, StoredHistoryReadsBackRowForRow)
{
    record(11, 2023, 1000, 5.6e9);
    EXPECT_EQ(record(1, 2024, 77, 1500), "") << "a gap of two months gives no warning";
    g_history.rows[3].hits = ULLONG_MAX;
    CaptureStdout();
    ASSERT_EQ(store_history(), 0);
    EXPECT_EQ(GetCapturedStdout(), std::string(msg::saving_history) + "\n");
    const std::string file = content_of(hist);
    EXPECT_EQ(file.rfind("# Parvalyte V2.23-08 History Data - ", 0), 0u);
    EXPECT_NE(file.find(" (120 month)\n1 2024 77 38 25 1 2 27 19 15\n12 2023 0 0 0 0 0 0 0 0\n"),
              npos);
    EXPECT_EQ(std::count(file.begin(), file.end(), '\n'), 121);

    history_window written = g_history;
    written.rows[119].kbytes = 1;  // 1500 bytes, written as a whole number
    reset_run_state();
    CaptureStdout();
    ASSERT_EQ(load_history(), 0);
    EXPECT_EQ(GetCapturedStdout(), std::string(msg::reading_history) + " " + hist + "\n");
    EXPECT_EQ(std::memcmp(written.rows, rows, sizeof written.rows), 0);
}

TEST_F(History, LaterMonthsShiftTheWindowAndLongGapsWarn)
{
    load("5 2012 50 40 30 20 1 31 10 5\n4 2012 9\n");
    EXPECT_EQ(record(9, 2012), "Warning! 4 month gap detected! (5/2012 to 9/2012)\n");
    EXPECT_TRUE(rows[119].month == 9 && rows[115].hits == 50 && rows[114].hits == 9);
    EXPECT_TRUE(rows[116].hits == 0 && rows[117].hits == 0 && rows[118].month == 8);
    EXPECT_EQ(record(10, 2012), "");
    EXPECT_EQ(record(12, 2012), "");
    EXPECT_EQ(record(3, 2013), "Warning! 3 month gap detected! (12/2012 to 3/2013)\n");
    EXPECT_EQ(record(2, 2014), "Warning! 11 month gap detected! (3/2013 to 2/2014)\n");
    EXPECT_FALSE(g_history.gap_of_a_year);
    EXPECT_EQ(record(2, 2015), "Warning! 12 month gap detected! (2/2014 to 2/2015)\n");
    EXPECT_TRUE(g_history.gap_of_a_year);
    EXPECT_EQ(record(9, 2014, 5), "") << "an older month of the window is updated in place";
    EXPECT_EQ(rows[114].hits, 5u);

    // Millions of years ahead: one new window, the gap counted in full.
    EXPECT_EQ(record(1, 2000000000),
              "Warning! 23999975819 month gap detected! (2/2015 to 1/2000000000)\n");
    EXPECT_TRUE(rows[0].year == 1999999990 && rows[0].month == 2 && rows[119].hits == 1);
    record(12, 2012, 7);
    EXPECT_TRUE(rows[119].month == 1 && rows[119].hits == 1) << "a month before the window is lost";
}

TEST_F(History, GapOfAYearKeepsTheOldFileWithoutEverTakingItsName)
{
    const std::string old = "# older\n5 2012 50 40 30 20 1 31 10 5\n";
    write_file(hist + ".sav", "a stale backup\n");
    load(old);
    EXPECT_EQ(record(7, 2013), "Warning! 14 month gap detected! (5/2012 to 7/2013)\n");
#ifdef __linux__
    const int watch = inotify_init1(IN_NONBLOCK);
    ASSERT_GE(inotify_add_watch(watch, ".", IN_MOVED_FROM | IN_DELETE), 0);
#endif
    ASSERT_EQ(store_history(), 0);
    EXPECT_EQ(content_of(hist + ".sav"), old);
    EXPECT_NE(content_of(hist).find("\n7 2013 1 0 0 0 2 27 0 0\n"), npos);
#ifdef __linux__
    // Whatever fails, or wherever the run is killed, the live name must name
    // a complete history: it is replaced, never removed or renamed away.
    alignas(inotify_event) char events[4096];
    std::string gone;
    for (ssize_t n; (n = read(watch, events, sizeof events)) > 0;)
        for (const char* p = events; p < events + n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(p);
            gone += std::string(e->name) + " ";
            p += sizeof(inotify_event) + e->len;
        }
    close(watch);
    EXPECT_EQ(gone, hist + ".sav " + hist + ".new ");
#endif
}

TEST_F(History, BadLinesAreSkippedAndShortOnesAccepted)
{
    const std::string file = "# 1 2099 comment\n13 2012 5 5 5 5 1 2 3 4\n6 1969 5 5 5 5 1 2 3 4\n"
                             "garbage\n\n"
                             "3 2012 10 9 8 7.6 1 31\n"  // no pages and visits
                             "4 2012 1 2 3 4 5 6 7 8\n"
                             "4 2002 9 9 9 9 1 1 9 9\n"  // one month before the window
                             "5 2002 3\n"
                             "4 2012 100 x";
    EXPECT_EQ(load(file), bad(13) + bad(6) + bad(0) + bad(0));
    const history_row& march = rows[118];
    EXPECT_TRUE(march.hits == 10 && march.sites == 8 && march.kbytes == 7.6 &&
                march.last_day == 31 && march.pages == 0 && march.visits == 0);
    EXPECT_TRUE(rows[119].hits == 100 && rows[119].files == 2 && rows[119].visits == 8)
        << "a later line of a month overwrites what it has and keeps what it lacks";
    EXPECT_TRUE(rows[0].month == 5 && rows[0].hits == 3);

    reset_run_state();
    startup_settings().verbosity = 0;
    EXPECT_EQ(load(file), "");
}

TEST_F(History, DamagedNumbersNeverWrapNorReadAsOtherFields)
{
    EXPECT_EQ(load("99999999999 2012 1\n"
                   "7 2000000000 18446744073709551615 -1 5\n"
                   "6 2000000000 1 2 99999999999999999999 4\n"
                   "5 2000000000 1 2 3 nan 5\n"
                   "4 2000000000 1 2 3 1e999 5\n"
                   "2 2000000000 1 2 3 4 -5 6 7 8\n"
                   "1 2000000000 1" +
                   std::string(5000, ' ') + "3 2000000000 9 9 9 9 1 1 9 9\n"),
              bad(0));
    EXPECT_TRUE(rows[119].hits == ULLONG_MAX && rows[119].files == 0)
        << "a negative count is not read as a huge one";
    EXPECT_TRUE(rows[118].files == 2 && rows[118].sites == 0);
    EXPECT_TRUE(rows[117].kbytes == 0 && rows[116].kbytes == 0 && rows[114].first_day == 0);
    EXPECT_EQ(rows[113].hits, 1u);
    EXPECT_EQ(rows[115].hits, 0u) << "the rest of a long line is no line of its own";

    load("12 2147483647 1\n");
    EXPECT_TRUE(rows[119].year == INT_MAX && rows[119].hits == 1 && rows[0].year == INT_MAX - 9);
}

TEST_F(History, NoFileLeavesTheWindowUnsetAndWritesNothing)
{
    for (const bool as_directory : {false, true}) {
        if (as_directory) {
            ASSERT_EQ(mkdir(hist.c_str(), 0755), 0);
        }
        CaptureStdout();
        EXPECT_EQ(load_history(), 0);
        EXPECT_EQ(GetCapturedStdout(), std::string(msg::no_history) + "\n");
        EXPECT_FALSE(g_history.is_set);
    }
    EXPECT_EQ(store_history(), 1);
    EXPECT_FALSE(exists(hist + ".new"));
}

TEST_F(History, WorkNameIsNeverWrittenThrough)
{
    write_file(hist, "5 2012 50\n");
    write_file("target", "keep me\n");
    ASSERT_EQ(symlink("target", (hist + ".new").c_str()), 0);
    record(6, 2012);
    CaptureStderr();
    EXPECT_EQ(store_history(), 1);
    EXPECT_EQ(GetCapturedStderr(),
              std::string(msg::cant_open_file) + " " + hist + ".new (symlink)\n");
    EXPECT_EQ(content_of("target"), "keep me\n");
    EXPECT_EQ(content_of(hist), "5 2012 50\n");

    // A stale work file linked to another name is replaced, not truncated.
    ASSERT_EQ(unlink((hist + ".new").c_str()), 0);
    ASSERT_EQ(link("target", (hist + ".new").c_str()), 0);
    EXPECT_EQ(store_history(), 0);
    EXPECT_EQ(content_of("target"), "keep me\n");
}

TEST_F(History, FailuresAreReportedAndLoseNothing)
{
    record(6, 2012);
    startup_settings().history_name = "no-dir/h";
    CaptureStderr();
    EXPECT_EQ(store_history(), 1);
    EXPECT_EQ(GetCapturedStderr(), std::string(msg::cant_write_history) + " no-dir/h.new\n");

    // A backup that cannot be made does not stop the new history.
    startup_settings().history_name = hist;
    write_file(hist, "5 2011 50\n");
    ASSERT_EQ(mkdir((hist + ".sav").c_str(), 0755), 0);
    write_file(hist + ".sav/x", "");
    g_history.gap_of_a_year = true;
    CaptureStderr();
    EXPECT_EQ(store_history(), 0);
    EXPECT_EQ(GetCapturedStderr(),
              "Failed renaming " + hist + " to " + hist + ".sav: " + std::strerror(EISDIR) + "\n");
    g_history.gap_of_a_year = false;

    // A write that fails leaves no work file and the old history as it was.
    const std::string before = content_of(hist);
    rlimit limit;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &limit), 0);
    const rlimit small{1024, limit.rlim_max};
    const auto old_action = std::signal(SIGXFSZ, SIG_IGN);  // EFBIG instead of the signal
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    CaptureStderr();
    const int full = store_history();
    setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, old_action);
    EXPECT_EQ(full, 1);
    EXPECT_EQ(GetCapturedStderr(), std::string(msg::cant_write_history) + " " + hist + ".new\n");
    EXPECT_FALSE(exists(hist + ".new"));
    EXPECT_EQ(content_of(hist), before);

    // A failed rename leaves the new history complete under the work name.
    ASSERT_EQ(unlink(hist.c_str()), 0);
    ASSERT_EQ(mkdir(hist.c_str(), 0755), 0);
    write_file(hist + "/x", "");
    CaptureStderr();
    EXPECT_EQ(store_history(), 1);
    EXPECT_EQ(GetCapturedStderr(), "Failed renaming " + hist + ".new to " + hist + "\n");
    const std::string kept = content_of(hist + ".new");
    EXPECT_EQ(std::count(kept.begin(), kept.end(), '\n'), 121);
}
