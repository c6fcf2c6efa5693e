#include <algorithm>
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "driver/accounting.hpp"
#include "driver/run.hpp"
#include "input/log_reader.hpp"
#include "tables/tables.hpp"
#include "test_support.hpp"

namespace {

const std::string good = "h - - [10/Oct/2000:13:55:36 -0700] \"GET / HTTP/1.0\" 200 1\n";

std::string
with_date(const std::string& date)
{
    return "h - - [" + date + " -0700] \"GET / HTTP/1.0\" 200 1\n";
}

class RecordLoop : public scratch_test {
  protected:
    /// Runs the loop over the text as a log; standard error goes to err.
    void run(const std::string& text)
    {
        write_file("t.log", text);
        log_reader log;
        ASSERT_EQ(log.open("t.log"), 0);
        g_run = run_counts{};
        testing::internal::CaptureStderr();
        testing::internal::CaptureStdout();
        record_loop(log);
        out = utf8_of_latin2(testing::internal::GetCapturedStdout());
        err = utf8_of_latin2(testing::internal::GetCapturedStderr());
    }
    std::string out, err;
};

}  // namespace

TEST_F(RecordLoop, NetscapeHeaderIsSkippedOnlyOnTheFirstLine)
{
    run("format=%Ses->client.ip% - %Req->vars.auth-user%\n" + good);
    EXPECT_EQ(g_run.total, 2u);
    EXPECT_EQ(g_run.ignored, 1u);
    EXPECT_EQ(g_run.bad, 0u);
    EXPECT_EQ(out, "Pomijam nagłówek rekordu Netscepe'a\n");

    run(good + "format=x\n");
    EXPECT_EQ(g_run.ignored, 0u);
    EXPECT_EQ(g_run.bad, 1u);
    EXPECT_EQ(err, "Pomijam błędny zapis (2)\n");
}

TEST_F(RecordLoop, CommentsAndBlankLedLinesAreIgnoredEmptyLinesAreBad)
{
    run("# comment\n" + good + " indented\n\n");
    EXPECT_EQ(g_run.total, 4u);
    EXPECT_EQ(g_run.ignored, 2u);
    EXPECT_EQ(g_run.bad, 1u);
    EXPECT_EQ(err, "Pomijam błędny zapis (4)\n");
    EXPECT_TRUE(g_run.good_record);
}

TEST_F(RecordLoop, BadRecordShowsTheLineInDebugMode)
{
    startup_settings().debug = true;
    run("garbage line\n");
    EXPECT_EQ(err, "Pomijam błędny zapis (1):\ngarbage line\n\n");
    EXPECT_FALSE(g_run.good_record);
}

TEST_F(RecordLoop, DateCheck)
{
    run(with_date("10/Oct/1989:13:55:36") + with_date("10/Oct/2000:13:60:00") +
        with_date("10/Oct/2000:13:59:60") + with_date("10/Oct/2000:24:00:00") +
        with_date("10/Okt/2000:13:00:00") + with_date("10/OCT/2000:13:00:61"));
    EXPECT_EQ(g_run.total, 6u);
    EXPECT_EQ(g_run.bad, 4u);
    EXPECT_EQ(err, "Błąd: Pomijam rekord (błędna data): [10/oct/1989:13:55:36 -0700] [1]\n"
                   "Błąd: Pomijam rekord (błędna data): [10/oct/2000:13:60:00 -0700] [2]\n"
                   "Błąd: Pomijam rekord (błędna data): [10/okt/2000:13:00:00 -0700] [5]\n"
                   "Błąd: Pomijam rekord (błędna data): [10/oct/2000:13:00:61 -0700] [6]\n");
}

TEST_F(RecordLoop, DayOutsideTheMonthRowsIsABadDate)
{
    run(with_date("00/Oct/2000:13:00:00") + with_date("32/Oct/2000:13:00:00") +
        with_date("31/Oct/2000:13:00:00") + with_date("01/Oct/2000:-1:00:00"));
    EXPECT_EQ(g_run.bad, 3u);
    EXPECT_TRUE(g_run.good_record);
}

TEST_F(RecordLoop, DaysBeyondTheirMonthAreBadDates)
{
    run(with_date("31/Feb/2024:13:00:00") + with_date("30/Feb/2024:13:00:00") +
        with_date("29/Feb/2023:13:00:00") + with_date("31/Apr/2024:13:00:00") +
        with_date("29/Feb/2100:13:00:00") + with_date("29/Feb/2000:13:00:00") +
        with_date("29/Feb/2024:13:00:00") + with_date("31/Dec/2024:13:00:00"));
    EXPECT_EQ(g_run.bad, 5u);
    EXPECT_EQ(g_run.total - g_run.bad - g_run.ignored, 3u) << "leap days and month ends count";
}

TEST_F(RecordLoop, YearsAfter2100AreBadDates)
{
    run(with_date("01/Jan/2100:13:00:00") + with_date("01/Jan/2101:13:00:00") +
        with_date("01/Jan/9999:13:00:00") + with_date("01/Jan/1234567890:13:00:00") +
        with_date("02/Jan/2100:13:00:00"));
    EXPECT_EQ(g_run.bad, 3u);
    EXPECT_EQ(g_run.ignored, 0u) << "no far record puts the later ones out of sequence";
    EXPECT_EQ(g_clock.day, 2);
}

TEST_F(RecordLoop, ADayBeyondTheMonthLosesNoRecords)
{
    // 31 February would be read as 2 March: the next record, an hour
    // earlier, would be folded into February and the month closed twice.
    startup_settings().dump_sites = true;
    run("a - - [28/Feb/2024:10:00:00 +0000] \"GET / HTTP/1.0\" 200 1\n"
        "b - - [31/Feb/2024:10:00:00 +0000] \"GET / HTTP/1.0\" 200 1\n"
        "c - - [02/Mar/2024:09:00:00 +0000] \"GET / HTTP/1.0\" 200 1\n"
        "d - - [02/Mar/2024:11:00:00 +0000] \"GET / HTTP/1.0\" 200 1\n");
    EXPECT_EQ(g_run.bad, 1u);
    EXPECT_EQ(g_clock.month, 3);
    std::string sites;
    for_each_node(site_table, [&](const hnode* n) { sites += name_of(n); });
    std::sort(sites.begin(), sites.end());
    EXPECT_EQ(sites, "cd");
    std::FILE* f = std::fopen("site_202402.tab", "r");
    ASSERT_NE(f, nullptr);
    char line[256] = {};
    ASSERT_NE(std::fgets(line, sizeof line, f), nullptr);
    EXPECT_STREQ(line, "1\t1\t0\t1\ta\n");
    EXPECT_EQ(std::fgets(line, sizeof line, f), nullptr) << "February holds only its own record";
    std::fclose(f);
}

TEST_F(RecordLoop, OversizedLineIsOneBadRecord)
{
    const std::string huge = "h - - [10/Oct/2000:13:55:36 -0700] \"GET /" +
                             std::string(10000, 'x') + " HTTP/1.0\" 200 1\n";
    run(huge + good);
    EXPECT_EQ(g_run.total, 2u);
    EXPECT_EQ(g_run.bad, 1u);
    EXPECT_EQ(err, "Błąd: Pomijam zbyt duży zapis logu\n");
    EXPECT_TRUE(g_run.good_record) << "the next line parses normally";

    startup_settings().debug = true;
    run(huge);
    EXPECT_EQ(err, "Błąd: Pomijam zbyt duży zapis logu:\n" + huge + "\n");
}

TEST_F(RecordLoop, LinesOf4094CharactersAreOrdinary)
{
    std::string line = good;
    line.insert(line.size() - 1, std::string(4094 - good.size() + 1, ' '));
    ASSERT_EQ(line.size(), 4095u);
    run(line + good);
    EXPECT_EQ(g_run.total, 2u);
    EXPECT_EQ(g_run.bad, 0u);
}

TEST_F(RecordLoop, HostsAreCountedInLowerCase)
{
    run("WWW.Example.COM - - [10/Oct/2000:13:55:36 -0700] \"GET / HTTP/1.0\" 200 1\n"
        "a.b_c.lan - - [10/Oct/2000:13:55:37 -0700] \"GET / HTTP/1.0\" 200 1\n");
    EXPECT_NE(site_table.bucket[table_hash("www.example.com")], nullptr);
    EXPECT_NE(site_table.bucket[table_hash("Invalid")], nullptr);
    EXPECT_EQ(g_month.sites, 2u);
}

TEST_F(RecordLoop, NothingPrintedWhenSilent)
{
    startup_settings().verbosity = 0;
    run("format=x\ngarbage\n" + with_date("10/Oct/1989:13:55:36"));
    EXPECT_EQ(g_run.bad, 2u);
    EXPECT_EQ(out, "");
    EXPECT_EQ(err, "");
}

TEST(RecordTime, ReadsTheFixedPositions)
{
    const auto read = [](const char* text, record_time& t) {
        char field[sizeof log_record::date_text] = {};
        std::snprintf(field, sizeof field, "%s", text);
        return read_record_time(field, t);
    };
    record_time t;
    ASSERT_TRUE(read("[05/feb/2024:07:08:09 +0100]", t));
    EXPECT_EQ(t.day, 5);
    EXPECT_EQ(t.month, 2);
    EXPECT_EQ(t.year, 2024);
    EXPECT_EQ(t.hour, 7);
    EXPECT_EQ(t.minute, 8);
    EXPECT_EQ(t.second, 9);
    ASSERT_TRUE(read("[05/dec/2024:24:08:09 +0100]", t));
    EXPECT_EQ(t.hour, 0);
    EXPECT_EQ(t.month, 12);
    EXPECT_FALSE(read("[05/feb", t));
    EXPECT_FALSE(read("", t));
}

class RunSummary : public scratch_test {};

TEST_F(RunSummary, CountsAndRate)
{
    const auto line = [](u64 total, u64 ignored, u64 bad, double seconds) {
        g_run = run_counts{total, ignored, bad, true};
        testing::internal::CaptureStdout();
        print_run_summary(seconds);
        return utf8_of_latin2(testing::internal::GetCapturedStdout());
    };
    EXPECT_EQ(line(1500, 3, 2, 2), "1500 zapisów (3 opuszczono, 2 zły(ch)) w 2 sekund, 750/sec\n");
    EXPECT_EQ(line(1500, 3, 0, 2), "1500 zapisów (3 opuszczono) w 2 sekund, 750/sec\n");
    EXPECT_EQ(line(10, 0, 4, 0), "10 zapisów (4 zły(ch)) w 1 sekund, 10/sec\n");
    EXPECT_EQ(line(3, 0, 0, 10), "3 zapisów w 10 sekund\n") << "a rate below 1";
    EXPECT_EQ(line(0, 0, 0, 0), "0 zapisów w 1 sekund\n");
}
