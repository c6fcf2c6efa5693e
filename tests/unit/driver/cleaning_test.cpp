#include <algorithm>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "common/settings.hpp"
#include "driver/accounting.hpp"
#include "driver/command_line.hpp"
#include "driver/period.hpp"
#include "driver/record_cleaning.hpp"
#include "input/log_reader.hpp"
#include "test_support.hpp"

namespace {

class Cleaning : public scratch_test {
  protected:
    void SetUp() override
    {
        scratch_test::SetUp();
        derive_settings(nullptr);
    }
    /// The URL that a request becomes, for a record of the status.
    std::string url_of(const char* request, int status = 200)
    {
        std::memset(&g_record, 0, sizeof g_record);
        std::snprintf(g_record.request, sizeof g_record.request, "%s", request);
        g_record.status = status;
        testing::internal::CaptureStderr();
        clean_url(g_record);
        debug_out = testing::internal::GetCapturedStderr();
        return g_record.request;
    }
    /// The referrer and search text that a logged referrer becomes.
    std::string referrer_of(const char* referrer)
    {
        std::memset(&g_record, 0, sizeof g_record);
        std::snprintf(g_record.referrer, sizeof g_record.referrer, "%s", referrer);
        clean_referrer(g_record);
        return std::string(g_record.referrer) + "|" + g_record.search_text;
    }
    std::string agent_of(const char* agent)
    {
        std::snprintf(g_record.agent, sizeof g_record.agent, "%s", agent);
        clean_agent(g_record);
        return g_record.agent;
    }
    std::string user_of(const char* user)
    {
        std::snprintf(g_record.user, sizeof g_record.user, "%s", user);
        clean_user(g_record);
        return g_record.user;
    }
    std::string host_of(const char* host, const char* saved = nullptr)
    {
        std::snprintf(g_record.host, sizeof g_record.host, "%s", host);
        check_host(g_record.host, saved != nullptr ? saved : g_record.host);
        return g_record.host;
    }
    std::string debug_out;
};

}  // namespace

TEST_F(Cleaning, UrlFromTheRequest)
{
    EXPECT_EQ(url_of("\"GET //a//b\""), "/a//b");
    EXPECT_EQ(url_of("\"-\""), "/INVALID-URL");
    EXPECT_EQ(url_of("\"GET   /spaced\""), "/spaced");
    EXPECT_EQ(url_of("\"GET\""), "/") << "no blank: left as is, then cut at the quote";
    EXPECT_EQ(url_of("\"GET /a%20b\""), "/a b");
    EXPECT_EQ(url_of("\"GET /x.html#top\""), "/x.html");
}

TEST_F(Cleaning, QueryCutFollowsStripCgi)
{
    EXPECT_EQ(url_of("\"GET /cgi-bin/x?a=1\""), "/cgi-bin/x");
    startup_settings().strip_cgi = false;
    EXPECT_EQ(url_of("\"GET /cgi-bin/x?a=1\""), "/cgi-bin/x?a=1");
    EXPECT_EQ(url_of("\"GET /x?\""), "/x");
    EXPECT_EQ(url_of("\"GET ?x\""), "/") << "not absolute: converted for a 200";
}

TEST_F(Cleaning, Normalisation)
{
    EXPECT_EQ(url_of("\"GET /a/./b/./c\""), "/a/b/c");
    EXPECT_EQ(url_of("\"GET /a/././b\""), "/a/b");
    EXPECT_EQ(url_of("\"GET http://www.example.com/a\""), "/a");
    EXPECT_EQ(url_of("\"GET http://www.example.com\""), "/www.example.com");
    EXPECT_EQ(url_of("\"GET relative.html\"", 404), "relative.html") << "404s are left alone";
    EXPECT_EQ(url_of("\"GET relative.html\"", 500), "/INVALID-URL");
    startup_settings().debug = true;
    EXPECT_EQ(url_of("\"GET relative.html\"", 304), "/");
    EXPECT_EQ(debug_out, "Converted URL 'relative.html' to '/'\n");
    url_of("\"GET relative.html\"", 403);
    EXPECT_EQ(debug_out, "Invalid URL: 'relative.html'\n");
}

// Every URL of up to six slashes, dots and letters loses its "/./" exactly
// as the plain rule does: replace the first one, search again from the start.
TEST_F(Cleaning, DotSegmentsGoAsTheRuleSays)
{
    const char parts[] = {'/', '.', 'a'};
    for (int n = 1; n <= 6; ++n) {
        int count = 1;
        for (int i = 0; i < n; ++i)
            count *= 3;
        for (int k = 0; k < count; ++k) {
            std::string url;
            for (int i = 0, code = k; i < n; ++i, code /= 3)
                url += parts[code % 3];
            // A run of slashes at the start is one slash.
            std::string want = url.substr(std::min(url.find_first_not_of('/'), url.size()) -
                                          (url[0] == '/' ? 1 : 0));
            for (std::size_t p; (p = want.find("/./")) != std::string::npos;)
                want.erase(p, 2);
            if (want[0] != '/')
                want = "/";
            while (want.size() > 1 && want.back() == '?')
                want.pop_back();
            EXPECT_EQ(url_of(("\"GET " + url + "\"").c_str()), want) << url;
        }
    }
}

TEST_F(Cleaning, WithoutNormalisationOnlyTheSchemeIsLowerCased)
{
    startup_settings().log_type = log_squid;
    EXPECT_EQ(url_of("\"GET HTTP://WWW.Example.com/A\""), "http://WWW.Example.com/A");
    startup_settings().log_type = log_clf;
    startup_settings().normalize_url = false;
    EXPECT_EQ(url_of("\"GET /a/./b\""), "/a/./b");
}

TEST_F(Cleaning, IndexAliases)
{
    EXPECT_EQ(url_of("\"GET /dir/index.html\""), "/dir/");
    EXPECT_EQ(url_of("\"GET /myindex.html\""), "/myindex.html");
    EXPECT_EQ(url_of("\"GET /myindex.html/index.html\""), "/myindex.html/index.html")
        << "only the first occurrence is tried";
    startup_settings().strip_cgi = false;
    EXPECT_EQ(url_of("\"GET /dir/index.html?x\""), "/dir/?x");
}

TEST_F(Cleaning, Referrers)
{
    EXPECT_EQ(referrer_of("\"HTTP://WWW.Example.COM/Search?q=A\""),
              "http://www.example.com/Search|?q=A");
    EXPECT_EQ(referrer_of("\"?x\""), "-|?x");
    EXPECT_EQ(referrer_of(""), "|");
    EXPECT_EQ(referrer_of("\"-\""), "-|");
    EXPECT_EQ(referrer_of("\"http://a/<script>\""), "http://a/|");
    EXPECT_EQ(referrer_of("\"http://a/b%3Fc=1\""), "http://a/b|?c=1");
}

TEST_F(Cleaning, AgentsUsersAndHosts)
{
    EXPECT_EQ(agent_of("(compatible)"), "compatible");
    EXPECT_EQ(agent_of("\"Mozilla/5.0 <b>\""), "Mozilla/5.0 ");
    EXPECT_EQ(agent_of("\""), "");
    EXPECT_EQ(user_of(""), "-");
    EXPECT_EQ(user_of("an\"na"), "an");
    EXPECT_EQ(user_of("j%20doe"), "j doe");

    EXPECT_EQ(host_of("a_b.lan"), "a_b.lan");
    EXPECT_EQ(host_of("WWW.Example.COM", "10.0.0.1"), "www.example.com")
        << "a cached name is lower-cased; a logged host already was";
    EXPECT_EQ(host_of("a.b_c.lan"), "Invalid");
    EXPECT_EQ(host_of("host-"), "Invalid");
    EXPECT_EQ(host_of(""), "Invalid");
    EXPECT_EQ(host_of("-x"), "Invalid");
    EXPECT_EQ(host_of("::1"), "::1");
    EXPECT_EQ(host_of("bad name.example", "10.0.0.1"), "10.0.0.1")
        << "a bad cached name gives way to the address";
}

class TimeOrder : public scratch_test {
  protected:
    /// Runs the lines through the loop; returns the hits of each hour 8 to 10.
    std::string run(const std::string& times)
    {
        std::string log;
        for (std::size_t i = 0; i + 8 <= times.size(); i += 9)
            log += "h - - [10/Oct/2000:" + times.substr(i, 8) +
                   " +0000] \"GET /a.gif HTTP/1.0\" 200 1\n";
        write_file("t.log", log);
        log_reader reader;
        EXPECT_EQ(reader.open("t.log"), 0);
        testing::internal::CaptureStdout();
        record_loop(reader);
        out = testing::internal::GetCapturedStdout();
        return std::to_string(g_hourly[8].hits) + " " + std::to_string(g_hourly[9].hits) + " " +
               std::to_string(g_hourly[10].hits) + " ignored " + std::to_string(g_run.ignored);
    }
    std::string out;  // what the loop printed
};

TEST_F(TimeOrder, EarlierRecordsAreKeptFoldedOrSkipped)
{
    EXPECT_EQ(run("10:30:00 10:05:00"), "0 0 2 ignored 0") << "same hour keeps its time";
    reset_run_state();
    EXPECT_EQ(run("10:30:00 09:59:00"), "0 0 2 ignored 0") << "the hour before is folded";
    reset_run_state();
    EXPECT_EQ(run("10:30:00 08:59:00"), "0 0 1 ignored 1") << "older ones are skipped";
    reset_run_state();
    startup_settings().fold_seq_err = true;
    EXPECT_EQ(run("10:30:00 08:59:00"), "0 0 2 ignored 0");
}

TEST_F(TimeOrder, ResumeRuleSkipsWhatTheLastRunCounted)
{
    // As a restored state leaves it: 10 October 2000, 10:30, one hit.
    g_clock.year = 2000;
    g_clock.month = 10;
    g_clock.day = 10;
    g_clock.hour = 10;
    g_clock.minute = 30;
    g_clock.timestamp = static_cast<u64>(seconds_of({10, 10, 2000, 10, 30, 0}));
    g_clock.resume_skip = true;
    g_hourly[10].hits = 1;
    EXPECT_EQ(run("10:29:00 10:30:00 10:31:00 10:05:00"), "0 0 3 ignored 2");
    EXPECT_FALSE(g_clock.resume_skip);
}

TEST_F(TimeOrder, ResumingInALaterMonthDropsTheRestoredOne)
{
    g_clock.year = 2000;
    g_clock.month = 9;
    g_clock.day = 30;
    g_clock.hour = 23;
    g_clock.timestamp = static_cast<u64>(seconds_of({30, 9, 2000, 23, 0, 0}));
    g_clock.resume_skip = true;
    g_month.hits = 7;
    run("10:30:00");
    EXPECT_EQ(out, "") << "no second report of September";
    EXPECT_EQ(g_clock.month, 10);
    EXPECT_EQ(g_month.hits, 1u);
    EXPECT_EQ(g_month.first_day, 10);
}
