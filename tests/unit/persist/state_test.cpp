#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/catalog.hpp"
#include "common/name_lists.hpp"
#include "driver/accounting.hpp"
#include "driver/command_line.hpp"
#include "driver/period.hpp"
#include "input/log_reader.hpp"
#include "persist/state.hpp"
#include "tables/tables.hpp"
#include "test_support.hpp"

namespace {

using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

const std::string state = "parvalyte.current";

// Prints one line the way printf does.
[[gnu::format(printf, 1, 2)]] std::string
line(const char* format, ...)
{
    char buf[4200];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buf, sizeof buf, format, args);
    va_end(args);
    return std::string(buf) + "\n";
}

// Everything the state carries, as text: the clock, the counters and every
// entry of every table with all its fields, each table's entries sorted.
std::string
snapshot()
{
    const period_clock& c = g_clock;
    const month_counters& m = g_month;
    std::string s = line("%d %d %d %d %d %d %llu", c.year, c.month, c.day, c.hour, c.minute,
                         c.second, c.timestamp);
    s += line("%llu %llu %llu %.0f %llu %llu %llu %llu %llu %llu %llu %llu %llu %d %d", m.hits,
              m.files, m.pages, m.bytes, m.sites, m.urls, m.referrers, m.agents, m.users, m.visits,
              m.day_sites, m.hour_hits, m.max_hour_hits, m.first_day, m.last_day);
    for (const daily_counters& d : g_daily)
        s += line("%llu %llu %llu %.0f %llu %llu", d.hits, d.files, d.pages, d.bytes, d.sites,
                  d.visits);
    for (const hourly_counters& h : g_hourly)
        s += line("%llu %llu %llu %.0f", h.hits, h.files, h.pages, h.bytes);
    for (const response_row& r : g_response)
        s += line("%llu", r.count);

    auto table = [&s](const auto& t, auto&& fields) {
        std::vector<std::string> rows;
        for_each_node(t, [&](const auto* n) { rows.push_back(fields(n)); });
        std::sort(rows.begin(), rows.end());
        s += "--\n";
        for (const std::string& r : rows)
            s += r;
    };
    table(url_table, [](const unode* n) {
        return line("%s %d %llu %.0f %llu %llu", name_of(n), n->kind, n->hits, n->bytes, n->entries,
                    n->exits);
    });
    for (const host_table* t : {&site_table, &daily_site_table})
        table(*t, [](const hnode* n) {
            return line("%s %d %llu %llu %.0f %llu %llu %s", name_of(n), n->kind, n->hits, n->files,
                        n->bytes, n->visits, n->last_time,
                        n->last_url ? name_of(n->last_url) : "-");
        });
    for (const chained_table<rnode>* t : {&referrer_table, &agent_table})
        table(*t, [](const rnode* n) { return line("%s %d %llu", name_of(n), n->kind, n->hits); });
    table(search_table, [](const snode* n) { return line("%s %llu", name_of(n), n->hits); });
    table(user_table, [](const inode* n) {
        return line("%s %d %llu %llu %.0f %llu %llu", name_of(n), n->kind, n->hits, n->files,
                    n->bytes, n->visits, n->last_time);
    });
    return s;
}

std::vector<std::string>
lines_of(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
        lines.push_back(text.substr(start, nl - start));
    return lines;
}

std::string
text_of(const std::vector<std::string>& lines, std::size_t count = std::string::npos)
{
    std::string s;
    for (std::size_t i = 0; i < lines.size() && i < count; ++i)
        s += lines[i] + "\n";
    return s;
}

std::size_t
index_of(const std::vector<std::string>& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) - lines.begin();
}

// The lines with line i replaced, as a file's text.
std::string
replaced(std::vector<std::string> lines, std::size_t i, const std::string& text)
{
    lines[i] = text;
    return text_of(lines);
}

class StateFile : public scratch_test {
  protected:
    // A small month with one entry in every table, on 5 March 2024 10:20:30.
    static void fill_month()
    {
        // Fields in their records' order: the clock's date, time and timestamp
        // (as UTC); the month's hits, files, pages, bytes, sites, URLs,
        // referrers, agents, users, visits, day sites, hour hits, maximum hour
        // hits, first and last day; a day's and an hour's hits, files, pages, bytes.
        g_clock = {2024, 3, 5, 10, 20, 30, 1709634030};
        g_month = {9, 8, 7, 1500, 1, 1, 1, 1, 1, 2, 1, 4, 5, 2, 5};
        g_daily[4] = {9, 8, 7, 1500, 1, 2};
        g_hourly[10] = {9, 8, 7, 1500};
        g_response[3].count = 8;
        g_response[40].count = 1;
        u64 u = 0;
        char url[] = "/a.html", host[] = "h.example", agent[] = "Agent/1.0", search[] = "two words",
             user[] = "alice";
        char ref[32] = "http://r.example/";  // room for "- (Direct Request)"
        add_url(url, kind_hidden, 3, u, 1, 2, 1500);
        add_host(host, kind_regular, 3, 2, u, 2 + 1, 1500, 1000, "/a.html", site_table);
        add_host(host, kind_group, 3, 2, u, 0 + 1, 1500, 1000, nullptr, daily_site_table);
        add_referrer(ref, kind_regular, 4, u);
        add_agent(agent, kind_regular, 5, u);
        add_search(search, 6);
        add_user(user, kind_regular, 3, 2, u, 1 + 1, 1500, 1000);
    }
    static std::string stored()
    {
        fill_month();
        CaptureStdout();
        EXPECT_EQ(store_state(), 0);
        GetCapturedStdout();
        return content_of(state);
    }
    // Loads a state file of this content; err gets what went to standard error.
    int load(const std::string& content)
    {
        reset_run_state();
        write_file(state, content);
        CaptureStdout();
        CaptureStderr();
        const int result = load_state();
        out = utf8_of_latin2(GetCapturedStdout());
        err = utf8_of_latin2(GetCapturedStderr());
        return result;
    }
    std::string out, err;
};

}  // namespace

TEST_F(StateFile, WritesTheLayoutLineByLine)
{
    fill_month();
    CaptureStdout();
    ASSERT_EQ(store_state(), 0);
    EXPECT_EQ(utf8_of_latin2(GetCapturedStdout()),
              "Zapisuję dane z bieżącego uruchomienia... [03/05/2024 10:20:30]\n");

    std::string expected = "# Parvalyte V2.23-08 Incremental Data - 03/05/2024 10:20:30\n"
                           "2024 3 5 10 20 30\n"
                           "9 8 1 1 1 1 1500 7 2 1\n"
                           "1 4 5 2 5\n";
    for (int d = 0; d < 31; ++d)
        expected += d == 4 ? "9 8 1500 1 7 2\n" : "0 0 0 0 0 0\n";
    for (int h = 0; h < 24; ++h)
        expected += h == 10 ? "9 8 1500 7\n" : "0 0 0 0\n";
    for (int r = 0; r < 41; ++r)
        expected += r == 3 ? "8\n" : r == 40 ? "1\n" : "0\n";
    expected += "# -urls- \n/a.html\n1 3 0 1500 1 2\n# End Of Table - urls\n"
                "# -sites- (monthly)\nh.example\n0 3 2 1500 2 1000\n/a.html\n"
                "# End Of Table - sites (monthly)\n"
                "# -sites- (daily)\nh.example\n2 3 2 1500 0 1000\n-\n"
                "# End Of Table - sites (daily)\n"
                "# -referrers- \nhttp://r.example/\n0 4\n# End Of Table - referrers\n"
                "# -agents- \nAgent/1.0\n0 5\n# End Of Table - agents\n"
                "# -search strings- \ntwo words\n6\n# End Of Table - search strings\n"
                "# -usernames- \nalice\n0 3 2 1500 1 1000\n# End Of Table - usernames\n";
    EXPECT_EQ(content_of(state), expected);
    EXPECT_FALSE(exists(state + ".new"));

    // With no referrers or agents of its own the month keeps only the frames.
    g_month.referrers = g_month.agents = 0;
    startup_settings().verbosity = 1;
    ASSERT_EQ(store_state(), 0);
    const std::string text = content_of(state);
    EXPECT_NE(text.find("# -referrers- \n# End Of Table - referrers\n"
                        "# -agents- \n# End Of Table - agents\n"),
              std::string::npos);
}

TEST_F(StateFile, ReadsBackEveryCounterAndEntryAndResumes)
{
    const std::string text = stored();
    const std::string before = snapshot();
    ASSERT_EQ(load(text), 0);
    EXPECT_EQ(out, "Czytam dane z poprzedniego uruchomienia... parvalyte.current\n");
    EXPECT_EQ(err, "");
    EXPECT_EQ(snapshot(), before);
    EXPECT_TRUE(g_clock.resume_skip);

    // A last URL that is not among the URLs is no last URL.
    const std::vector<std::string> lines = lines_of(text);
    ASSERT_EQ(load(replaced(lines, index_of(lines, "# -sites- (monthly)") + 3, "/gone.html")), 0);
    for_each_node(site_table, [](const hnode* n) { EXPECT_EQ(n->last_url, nullptr); });

    // Any 2.2x version and the old 2.01-1 one are read, others are not.
    for (const char* header : {"# Parvalyte V2.29-01 Incremental Data", "# Parvalyte V2.2"})
        EXPECT_EQ(load(replaced(lines, 0, header)), 0) << header;
    for (const char* header : {"# Parvalyte V2.3", "# Parvalyte V2.01-2", "# Parvalyte", "2024"})
        EXPECT_EQ(load(replaced(lines, 0, header)), 99) << header;

    // The old one has 40 response codes: its URLs follow the 40th.
    std::vector<std::string> old = lines;
    old[0] = "# Parvalyte V2.01-1 Incremental Data - 03/05/2024 10:20:30";
    old.erase(old.begin() + index_of(old, "# -urls- ") - 1);
    ASSERT_EQ(load(text_of(old)), 0);
    EXPECT_EQ(g_response[3].count, 8u);
    EXPECT_EQ(g_response[40].count, 0u);
    EXPECT_EQ(user_table.entries, 1u);
}

TEST_F(StateFile, EachMissingPartHasItsNumber)
{
    const std::vector<std::string> good = lines_of(stored());
    auto at = [&](const char* start) { return index_of(good, start); };
    auto cut = [&](std::size_t n) { return text_of(good, n); };
    auto with = [&](std::size_t i, const char* text) { return replaced(good, i, text); };
    const std::size_t urls = at("# -urls- "), monthly = at("# -sites- (monthly)"),
                      daily = at("# -sites- (daily)"), agents = at("# -agents- "),
                      search = at("# -search strings- "), users = at("# -usernames- ");
    const struct {
        std::string text;
        int result;
    } cases[] = {
        {"", 1},
        {cut(1), 2},
        {cut(2), 3},
        {cut(3), 4},
        {cut(4 + 30), 5},
        {cut(4 + 31 + 23), 6},
        {cut(4 + 31 + 24 + 40), 7},
        {cut(urls), 10},
        {with(urls, "# -sites- (monthly)"), 10},
        {with(urls + 2, "x 3 0 1500 1 2"), 10},
        {cut(urls + 2), 10},
        {with(monthly, "# -urls- "), 8},
        {cut(monthly + 3), 8},  // no last-URL line
        {cut(daily), 9},
        {with(daily + 2, ""), 9},
        {cut(at("# -referrers- ")), 11},
        {with(agents, "# -agent"), 12},
        {with(agents + 2, "-1 5"), 12},
        {cut(search + 2), 13},
        {with(users, "# -users- "), 14},
        {cut(users + 2), 14},
        {cut(users + 3), 0},  // a state may end inside the user section
        {cut(users + 1), 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(load(c.text), c.result) << lines_of(c.text).size() << " lines";
}

TEST_F(StateFile, NothingToReadIsAFreshStart)
{
    CaptureStdout();
    EXPECT_EQ(load_state(), 0);
    mkdir(state.c_str(), 0755);  // nor is a directory a state
    EXPECT_EQ(load_state(), 0);
    EXPECT_EQ(utf8_of_latin2(GetCapturedStdout()),
              "Nie znalazłem danych z poprzedniego uruchomienia...\n"
              "Nie znalazłem danych z poprzedniego uruchomienia...\n");
    EXPECT_FALSE(g_clock.resume_skip);
    rmdir(state.c_str());

    startup_settings().ignore_state = true;
    EXPECT_EQ(load("garbage\n"), 0);
    EXPECT_EQ(out, "");
    EXPECT_EQ(g_clock.month, 0);
    EXPECT_FALSE(g_clock.resume_skip);
}

TEST_F(StateFile, FailedAddsAreSkippedWithTheirTablesMessages)
{
    const std::string text = stored();
    void* (*const saved)(std::size_t) = table_allocate;
    table_allocate = [](std::size_t) -> void* { return nullptr; };
    const int result = load(text);
    table_allocate = saved;
    EXPECT_EQ(result, 0);
    EXPECT_EQ(err, "Błąd w trakcie dodawania kolejnego URLa, pomijam /a.html\n"
                   "Błąd w trakcie dodawania kolejnego hosta (miesięczne), pomijam h.example\n"
                   "Błąd w trakcie dodawania kolejnego hosta (dzienne), pomijam h.example\n"
                   "Błąd w trakcie dodawania kolejnego odnośnika, pomijam http://r.example/\n"
                   "Błąd w trakcie dodawania kolejnego przeglądarki, pomijam Agent/1.0\n"
                   "Błąd w trakcie dodawania kolejnego szukanego słowa, pomijam two words\n"
                   "Błąd w trakcie dodawania kolejnego użytkownika, pomijam alice\n");
    EXPECT_TRUE(g_clock.resume_skip);
}

TEST_F(StateFile, WorkFileIsNeverWrittenThroughAndTheLiveOneOnlyReplacedWhole)
{
    const std::string old = stored();
    startup_settings().verbosity = 1;
    g_month.hits = 1234;
    ASSERT_EQ(symlink("target", (state + ".new").c_str()), 0);
    CaptureStderr();
    EXPECT_EQ(store_state(), 9);
    EXPECT_EQ(utf8_of_latin2(GetCapturedStderr()),
              "Błąd: Nie mogę otworzyć pliku parvalyte.current.new (symlink)\n");
    EXPECT_FALSE(exists("target"));
    EXPECT_EQ(content_of(state), old);

    // A name that cannot be created, and a live name that cannot be replaced.
    startup_settings().incremental_name = "no/such/dir/state";
    EXPECT_EQ(store_state(), 1);
    startup_settings().incremental_name = "taken";
    mkdir("taken", 0755);
    CaptureStderr();
    EXPECT_EQ(store_state(), 1);
    EXPECT_EQ(GetCapturedStderr(), "Failed renaming taken.new to taken\n");
    EXPECT_FALSE(exists("taken.new"));
}

TEST_F(StateFile, DamagedFilesStayWithinWhatTheMonthCanHold)
{
    const std::vector<std::string> good = lines_of(stored());
    // A clock that names no time a record can have is no clock.
    for (const char* clock :
         {"2024 13 5 10 20 30", "2024 0 5 10 20 30", "2024 4 31 10 20 30", "2023 2 29 10 20 30",
          "2024 3 0 10 20 30", "2024 3 5 24 0 0", "2024 3 5 10 60 0", "1969 12 31 23 59 59",
          "99999999999 3 5 1 1 1", "2024 3 5 10 20"})
        EXPECT_EQ(load(replaced(good, 1, clock)), 2) << clock;

    // A number beyond its counter leaves it, and those after it, as they were.
    ASSERT_EQ(load(replaced(good, 2, "9 99999999999999999999 1 1 1 1 1500 7 2 1")), 0);
    EXPECT_EQ(g_month.hits, 9u);
    EXPECT_EQ(g_month.files, 0u);
    EXPECT_EQ(g_month.users, 0u);
    for (const char* bytes : {"inf", "nan", "-5", "1e999", "1e39"}) {
        ASSERT_EQ(load(replaced(good, 2, std::string("9 8 1 1 1 1 ") + bytes + " 7 2 1")), 0);
        EXPECT_EQ(g_month.bytes, 0.0) << bytes;
        EXPECT_EQ(g_month.pages, 0u) << bytes;
    }
    for (const char* days : {"1 4 5 -3 5", "1 4 5 0 5", "1 4 5 2 1000", "1 4 5 2 32"}) {
        ASSERT_EQ(load(replaced(good, 3, days)), 0);
        EXPECT_GE(g_month.first_day, 1) << days;
        EXPECT_LE(g_month.last_day, 31) << days;
    }
    ASSERT_EQ(load(replaced(good, 5, "-1 -1 -1 -1 -1 -1")), 0);
    EXPECT_EQ(g_daily[1].hits, 0u);
    const std::size_t users = index_of(good, "# -usernames- ");
    ASSERT_EQ(load(replaced(good, users + 2, "7 3 2 1500 1 1000")), 0);  // no such kind
    for_each_node(user_table, [](const inode* n) { EXPECT_EQ(n->kind + n->hits, 0u); });

    // Names longer than the line buffer, and than their tables keep, are cut,
    // and the rest of such a line is never taken for the next line.
    std::vector<std::string> lines = good;
    const std::string long_url = "/" + std::string(5000, 'u');
    lines.insert(lines.begin() + index_of(lines, "# -urls- ") + 1, {long_url, "0 1 0 10 0 0"});
    lines.insert(lines.begin() + index_of(lines, "# -sites- (monthly)") + 1,
                 {std::string(300, 'h'), "0 1 0 10 0 5", long_url});
    lines.insert(lines.begin() + index_of(lines, "# -usernames- ") + 1,
                 {std::string(100, 'n'), "0 1 0 10 0 5"});
    ASSERT_EQ(load(text_of(lines)), 0);
    EXPECT_EQ(url_table.entries, 2u);
    EXPECT_EQ(user_table.entries, 2u);
    for_each_node(url_table, [](const unode* n) { EXPECT_LE(n->length, 2047u); });
    for_each_node(user_table, [](const inode* n) { EXPECT_LE(n->length, 63u); });
    for_each_node(site_table, [](const hnode* n) {
        EXPECT_LE(n->length, 255u);
        EXPECT_NE(n->last_url, nullptr) << "the cut long URL is its last page";
    });
}

TEST_F(StateFile, NamesThatReadLikeTheEndOfATableAreStillNames)
{
    u64 u = 0;
    char agent[] = "# End Of Table - agents", user[] = "# End Of Table - usernames";
    g_clock = {.year = 2024, .month = 3, .day = 5, .timestamp = 1709596800};
    g_month.agents = 1;
    add_agent(agent, kind_regular, 2, u);
    add_user(user, kind_regular, 1, 0, u, 1, 0, 0);
    startup_settings().verbosity = 1;
    ASSERT_EQ(store_state(), 0);
    const std::string before = snapshot();
    ASSERT_EQ(load(content_of(state)), 0);
    EXPECT_EQ(snapshot(), before);
}

namespace {

// A log of several days of one month: hosts coming back after pauses long
// and short, pages and images, search-engine referrers, agents and users,
// with group and hide rules for every table that has them.
std::string
month_of_lines(int count)
{
    std::string log;
    unsigned seed = 12345;
    auto next = [&seed](unsigned n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % n;
    };
    long long t = 2 * 86400 + 3 * 3600;  // 3 March, 03:00
    const char* urls[] = {"/", "/a.html", "/b.html", "/c/d.html", "/img/x.gif", "/e.cgi?x=1"};
    const char* statuses[] = {"200", "200", "200", "304", "404", "206"};
    for (int i = 0; i < count; ++i) {
        t += 1 + next(1500);
        const std::string word = "word" + std::to_string(next(5));
        const std::string ref =
            next(3) == 0 ? "-" : "http://www.google.com/" + word + "/search?q=" + word;
        const std::string user = next(4) == 0 ? "-" : "user" + std::to_string(next(4));
        log += line("host%u.example - %s [%02lld/Mar/2024:%02lld:%02lld:%02lld +0000] \"GET %s "
                    "HTTP/1.0\" %s %u \"%s\" \"Agent/%u\"",
                    next(15), user.c_str(), t / 86400 + 1, t / 3600 % 24, t / 60 % 60, t % 60,
                    urls[next(6)], statuses[next(6)], next(5000), ref.c_str(), next(6));
    }
    return log;
}

class StatePieces : public scratch_test {
  protected:
    void SetUp() override
    {
        scratch_test::SetUp();
        settings& s = startup_settings();
        s.verbosity = 1;
        append_glist("host1* Ones", s.group_site);
        append_nlist("host2*", s.hide_site);
        append_glist("/c/* Cees", s.group_url);
        append_nlist("/b.html", s.hide_url);
        append_glist("*/word1/* WordOne", s.group_referrer);
        append_nlist("*/word2/*", s.hide_referrer);
        append_glist("Agent/1 One", s.group_agent);
        append_nlist("Agent/2", s.hide_agent);
        append_glist("user1 First", s.group_user);
        append_nlist("user2", s.hide_user);
        derive_settings(nullptr);
    }
    // Runs the record loop over lines [from, to) of the log, then ends the
    // input as a run does.
    static void read(const std::vector<std::string>& lines, std::size_t from, std::size_t to)
    {
        std::vector<std::string> piece(lines.begin() + from, lines.begin() + to);
        write_file("piece.log", text_of(piece));
        log_reader log;
        ASSERT_EQ(log.open("piece.log"), 0);
        record_loop(log);
        log.close();
        end_of_input();
    }
};

}  // namespace

TEST_F(StatePieces, AMonthReadInPiecesEqualsTheMonthReadInOneGo)
{
    const std::vector<std::string> lines = lines_of(month_of_lines(1200));
    read(lines, 0, lines.size());
    ASSERT_EQ(g_clock.month, 3) << "the log stays in one month";
    ASSERT_GT(g_month.visits, g_month.sites) << "hosts come back for more visits";
    ASSERT_GT(search_table.entries, 0u);
    int kinds[3] = {};
    auto tally = [&](const auto* n) { ++kinds[n->kind]; };
    for_each_node(site_table, tally);
    for_each_node(url_table, tally);
    for_each_node(referrer_table, tally);
    for_each_node(agent_table, tally);
    for_each_node(user_table, tally);
    ASSERT_GT(kinds[kind_hidden], 4) << "hidden entries in every table";
    ASSERT_GT(kinds[kind_group], 4) << "group entries in every table";
    const std::string whole = snapshot();

    // Cut within a visit, within a day and at a day's end; one piece begins
    // again with records the state has counted already, which it skips.
    const std::size_t pieces[][2] = {{0, 1},     {1, 317},    {317, 318},
                                     {250, 700}, {700, 1199}, {1199, lines.size()}};
    std::size_t counted = 0;
    for (const auto& p : pieces) {
        reset_run_state();
        ASSERT_EQ(load_state(), 0);
        read(lines, p[0], p[1]);
        EXPECT_EQ(g_run.ignored, counted - p[0]);
        counted = p[1];
        ASSERT_EQ(store_state(), 0);
    }
    EXPECT_EQ(snapshot(), whole);
}
