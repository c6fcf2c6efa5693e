#include <climits>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/records.hpp"
#include "common/settings.hpp"
#include "input/parsers.hpp"
#include "test_support.hpp"

namespace {

const log_record& r = g_record;

// Lines are parsed from a buffer of their own size, so that a line longer
// than the reader's buffer can prove the record's capacities hold.
class format_test : public scratch_test {
  protected:
    void SetUp() override
    {
        scratch_test::SetUp();
        g_w3c_layout = w3c_layout{};
        const char* tz = std::getenv("TZ");
        old_tz_ = tz != nullptr ? tz : "";
        had_tz_ = tz != nullptr;
        zone("UTC0");
    }
    void TearDown() override
    {
        if (had_tz_)
            setenv("TZ", old_tz_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
        scratch_test::TearDown();
    }
    static void zone(const char* tz)
    {
        setenv("TZ", tz, 1);
        tzset();
    }
    int parse(int type, const std::string& text)
    {
        startup_settings().log_type = type;
        line_.assign(text.begin(), text.end());
        line_.push_back('\0');
        return parse_line(line_.data());
    }
    int parse_capturing(int type, const std::string& text)
    {
        testing::internal::CaptureStderr();
        const int result = parse(type, text);
        err = utf8_of_latin2(testing::internal::GetCapturedStderr());
        return result;
    }
    std::string err;

  private:
    std::vector<char> line_;
    std::string old_tz_;
    bool had_tz_ = false;
};

class ParseFtp : public format_test {
  protected:
    int ftp(const std::string& text) { return parse(log_ftp, text); }
};
class ParseSquid : public format_test {
  protected:
    int squid(const std::string& text) { return parse(log_squid, text); }
};
class ParseW3c : public format_test {
  protected:
    int w3c(const std::string& text) { return parse(log_w3c, text); }
};

const std::string xfer_head = "Thu Apr 19 16:38:09 2001 7 216.90.107.247 878 ";

}  // namespace

TEST_F(ParseFtp, DownloadsAndIncompleteUploads)
{
    EXPECT_EQ(ftp(xfer_head + "/pub/a.tar b _ o a anonymous ftp 0 * c\n"), 1);
    EXPECT_STREQ(r.date_text, "[19/Apr/2001:16:38:09 -0000]");
    EXPECT_STREQ(r.host, "216.90.107.247");
    EXPECT_STREQ(r.request, "\"GET /pub/a.tar\"");
    EXPECT_EQ(r.bytes, 878u);
    EXPECT_STREQ(r.user, "anonymous");
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(ftp(xfer_head + "/pub/a.tar b _ i a anonymous ftp 0 * i\n"), 1);
    EXPECT_STREQ(r.request, "\"POST /pub/a.tar\"");
    EXPECT_EQ(r.status, 206);
    // The completion status is found without a newline, and before a CR.
    EXPECT_EQ(ftp(xfer_head + "/a b _ i r u ftp 0 * i"), 1);
    EXPECT_EQ(r.status, 206);
    EXPECT_EQ(ftp(xfer_head + "/a b _ i r u ftp 0 * i\r\n"), 1);
    EXPECT_EQ(r.status, 206);
    // A day padded with a blank is read as a day.
    EXPECT_EQ(ftp("Mon Feb  1 09:05:33 2016 1 221.4.60.132 45533 /t.htm a _ o r ltong ftp 0 * c\n"),
              1);
    EXPECT_STREQ(r.date_text, "[01/Feb/2016:09:05:33 -0000]");
}

TEST_F(ParseFtp, BadDatesAndShortLinesAreNoRecords)
{
    const std::string tail = " 7 h 878 /a b _ o r u ftp 0 * c\n";
    EXPECT_EQ(ftp("Thu Apr 19 16:38:09 1989" + tail), 0);
    EXPECT_EQ(ftp("Thu Apr 19 16:38:09 2101" + tail), 0);
    EXPECT_EQ(ftp("Thu Apr 19 16-38-09 2001" + tail), 0);
    EXPECT_EQ(ftp("Thu Apr 19 16:38 2001" + tail), 0);
    EXPECT_EQ(ftp("Thu Apr 32 16:38:09 2001" + tail), 0);
    // Numbers saturate: a year or day past the int range does not wrap into range.
    EXPECT_EQ(ftp("Thu Apr 19 16:38:09 4294969297" + tail), 0);
    EXPECT_EQ(ftp("Thu Apr 4294967297 16:38:09 2001" + tail), 0);
    EXPECT_EQ(ftp("Thu Apr 19 16:38:09 2001 7 h 878\n"), 0);
    EXPECT_EQ(ftp(""), 0);
}

TEST_F(ParseFtp, BlankHostIsNoneWithANoticeInDebugMode)
{
    const std::string line = "Thu Apr 19 16:38:09 2001 7  878 /a b _ o r u ftp 0 * c\n";
    EXPECT_EQ(parse_capturing(log_ftp, line), 1);
    EXPECT_STREQ(r.host, "NONE");
    EXPECT_EQ(r.bytes, 878u);
    EXPECT_EQ(err, "");
    startup_settings().debug = true;
    EXPECT_EQ(parse_capturing(log_ftp, line), 1);
    EXPECT_EQ(err, "Warning: Blank hostname found!\n");
}

TEST_F(ParseFtp, LongFieldsAreCutAndSizesSaturate)
{
    const std::string name(5000, 'f');
    EXPECT_EQ(parse_capturing(log_ftp, "Thu Apr 19 16:38:09 2001 7 " + std::string(300, 'h') +
                                           " 99999999999999999999999 /" + name + " b _ o r " +
                                           std::string(100, 'u') + " ftp 0 * c\n"),
              1);
    EXPECT_EQ(std::string(r.host), std::string(255, 'h'));
    EXPECT_EQ(r.bytes, ~0ULL);
    EXPECT_EQ(std::string(r.request), "\"GET /" + name.substr(0, 4088) + "\"");
    EXPECT_EQ(std::string(r.user), std::string(63, 'u'));
    EXPECT_EQ(err, "");
}

TEST_F(ParseSquid, FieldsOfARequestInLocalTime)
{
    // A combined line first: its referrer and agent must not stay behind.
    EXPECT_EQ(
        parse(log_clf, "h - - [10/Oct/2000:13:55:36 -0700] \"GET / HTTP/1.0\" 200 1 \"r\" \"a\"\n"),
        1);
    EXPECT_EQ(squid("1522663539.972     51 192.168.11.2 TCP_MISS/301 3857 GET http://yahoo.co.jp/ "
                    "- HIER_DIRECT/182.22.59.229 text/html\n"),
              1);
    EXPECT_STREQ(r.date_text, "[02/Apr/2018:10:05:39 -0000]");
    EXPECT_STREQ(r.host, "192.168.11.2");
    EXPECT_EQ(r.status, 301);
    EXPECT_EQ(r.bytes, 3857u);
    EXPECT_STREQ(r.request, "\"GET http://yahoo.co.jp/\"");
    EXPECT_STREQ(r.user, "-");
    EXPECT_STREQ(r.referrer, "");
    EXPECT_STREQ(r.agent, "");
    zone("CET-1CEST,M3.5.0,M10.5.0/3");
    EXPECT_EQ(squid("1198298239 388 127.0.0.1 TCP_HIT/304 631 GET http://a/ graeme DIRECT/- -\n"),
              1);
    EXPECT_STREQ(r.date_text, "[22/Dec/2007:05:37:19 -0000]");
    EXPECT_EQ(r.status, 304);
    EXPECT_STREQ(r.user, "graeme");
    // Any LogType but the three others reads the common format.
    EXPECT_EQ(parse(7, "h - - [10/Oct/2000:13:55:36 -0700] \"GET / HTTP/1.0\" 200 1\n"), 1);
}

TEST_F(ParseSquid, TimesPast2038AndNumbersSaturate)
{
    EXPECT_EQ(squid("2200000000.5 1 h TCP_MISS/99999999999 99999999999999999999999 GET u - x -\n"),
              1);
    EXPECT_STREQ(r.date_text, "[18/Sep/2039:23:06:40 -0000]");
    EXPECT_EQ(r.status, INT_MAX);
    EXPECT_EQ(r.bytes, ~0ULL);
    EXPECT_EQ(squid("4102444799 1 h TCP_MISS/200 1 GET u - x -\n"), 1);
    EXPECT_STREQ(r.date_text, "[31/Dec/2099:23:59:59 -0000]");
    // Beyond any four-digit year the time is no date.
    EXPECT_EQ(squid("99999999999999999999999 1 h TCP_MISS/200 1 GET u - x -\n"), 0);
    EXPECT_EQ(squid("-99999999999999999999999 1 h TCP_MISS/200 1 GET u - x -\n"), 0);
}

TEST_F(ParseSquid, TrimmedUrlsAndCutShortLines)
{
    const std::string line = "1 1 h TCP_MISS/200 1 GET http://host/a/b/c.html anna DIRECT/- -\n";
    startup_settings().trim_squid_url = 1;
    EXPECT_EQ(parse_capturing(log_squid, line), 1);
    EXPECT_STREQ(r.request, "\"GET http://host\"");
    EXPECT_STREQ(r.user, "anna");
    EXPECT_EQ(err, "");
    startup_settings().trim_squid_url = 2;
    EXPECT_EQ(squid(line), 1);
    EXPECT_STREQ(r.request, "\"GET http://host/a\"");
    startup_settings().trim_squid_url = 9;
    EXPECT_EQ(squid(line), 1);
    EXPECT_STREQ(r.request, "\"GET http://host/a/b/c.html\"");
    // Nothing after the URL, or after the ident: the line was cut short.
    EXPECT_EQ(squid("1 1 h TCP_MISS/200 1 GET http://host/\n"), 0);
    EXPECT_EQ(squid("1 1 h TCP_MISS/200 1 GET http://host/ " + std::string(100, 'u') + "\n"), 0);
}

TEST_F(ParseSquid, LongHostAndRequestAreCutWithWarnings)
{
    const std::string url = "http://" + std::string(5000, 'x');
    EXPECT_EQ(parse_capturing(log_squid, "1 1 " + std::string(300, 'h') + " TCP_MISS/200 1 GET " +
                                             url + " - DIRECT/- -\n"),
              1);
    EXPECT_EQ(std::string(r.host), std::string(255, 'h'));
    EXPECT_EQ(std::string(r.request), "\"GET " + url.substr(0, 4089) + "\"");
    EXPECT_EQ(err, "Ostrzeżenie: Obcinam, przekroczona wielkość nazwy hosta\n"
                   "Ostrzeżenie: Obcinam, przekroczona wielkość pola żądania\n");
}

TEST_F(ParseW3c, FieldsDirectiveSetsTheColumns)
{
    EXPECT_EQ(w3c("2013-08-26 23:30:00 10.0.0.1 GET /a 200\n"), 0);  // no directive yet
    EXPECT_EQ(w3c("#Software: Microsoft Internet Information Services 10.0\r\n"), 0);
    EXPECT_EQ(w3c("#Fields: date time c-ip cs-method cs-uri-stem sc-status\r\n"), 0);
    EXPECT_EQ(w3c("#Date: 2013-08-26 00:00:00\r\n"), 0);  // other directives change nothing
    EXPECT_EQ(w3c("2013-08-26 23:30:00 10.0.0.1 GET /a+b.html 200\r\n"), 1);
    EXPECT_STREQ(r.date_text, "[26/Aug/2013:23:30:00 -0000]");
    EXPECT_STREQ(r.host, "10.0.0.1");
    EXPECT_STREQ(r.request, "\"GET /a b.html\"");
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(w3c("2013-08-26 23:30:00 10.0.0.1 GET /a 200 7\n"), 0);
    EXPECT_EQ(w3c("2013-08-26 23:30:00 10.0.0.1 GET  /a 200\n"), 0);  // an empty field counts
    EXPECT_EQ(w3c("\n"), 0);

    // Another order, mid-file; a name given twice keeps its later column.
    EXPECT_EQ(w3c("#Fields: cs-uri-query sc-bytes cs(User-Agent) cs-uri-stem cs-username "
                  "cs(Referer) c-ip c-ip date time\n"),
              0);
    EXPECT_EQ(w3c("q=1 99999999999999999999999 Mozilla/5.0+(X11) /s anna http://r/ x 10.0.0.2 "
                  "2013-08-26 23:30:00\n"),
              1);
    EXPECT_STREQ(r.request, "\"NONE /s?q=1\"");  // no cs-method field
    EXPECT_EQ(r.bytes, ~0ULL);
    EXPECT_STREQ(r.agent, "Mozilla/5.0 (X11)");
    EXPECT_STREQ(r.user, "anna");
    EXPECT_STREQ(r.referrer, "http://r/");
    EXPECT_STREQ(r.host, "10.0.0.2");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(w3c("- - - /s - - - 10.0.0.2 2013-08-26 23:30:00\n"), 1);
    EXPECT_STREQ(r.request, "\"NONE /s\"");

    // A blank that ends the directive (or a data line) is no empty field.
    EXPECT_EQ(w3c("#Fields: date time c-ip cs-method cs-uri-stem sc-status \r\n"), 0);
    EXPECT_EQ(w3c("2013-08-26 23:30:00 10.0.0.1 GET /a 200\r\n"), 1);
    EXPECT_EQ(w3c("2013-08-26 23:30:00 10.0.0.1 GET /a 200 \n"), 1);

    EXPECT_EQ(w3c("#Fields: date time c-ip\n"), 0);  // no cs-uri-stem: no record
    EXPECT_EQ(w3c("2013-08-26 23:30:00 10.0.0.1\n"), 0);
    EXPECT_EQ(w3c("#Fields:\n"), 0);
    EXPECT_EQ(w3c("x\n"), 0);
}

TEST_F(ParseW3c, ManyColumnsAndLongFields)
{
    std::string fields = "#Fields:";
    std::string line;
    for (int i = 0; i < 600; ++i) {
        fields += " x-" + std::to_string(i);
        line += "v ";
    }
    EXPECT_EQ(w3c(fields + " cs-uri-stem c-ip cs(User-Agent) cs-uri-query cs-username\n"), 0);
    const std::string query(5000, 'q');
    EXPECT_EQ(parse_capturing(log_w3c, line + "/s " + std::string(300, 'h') + " " +
                                           std::string(200, 'a') + " " + query + " " +
                                           std::string(100, 'u') + "\n"),
              1);
    EXPECT_EQ(std::string(r.request), "\"NONE /s?" + query.substr(0, 4085) + "\"");
    EXPECT_EQ(std::string(r.host), std::string(255, 'h'));
    EXPECT_EQ(std::string(r.agent), std::string(127, 'a'));
    EXPECT_EQ(std::string(r.user), std::string(63, 'u'));
    EXPECT_EQ(err, "");
}

TEST_F(ParseW3c, DatesAreUtcShownInLocalTime)
{
    EXPECT_EQ(w3c("#Fields: date time cs-uri-stem\n"), 0);
    zone("XXX-2");
    EXPECT_EQ(w3c("2013-08-26 23:30:00 /a\n"), 1);
    EXPECT_STREQ(r.date_text, "[27/Aug/2013:01:30:00 -0000]");
    zone("CET-1CEST,M3.5.0,M10.5.0/3");
    // The hour that does not exist on the local clock, and the one it shows twice.
    EXPECT_EQ(w3c("2013-03-31 02:30:00 /a\n"), 1);
    EXPECT_STREQ(r.date_text, "[31/Mar/2013:04:30:00 -0000]");
    EXPECT_EQ(w3c("2013-10-27 00:30:00 /a\n"), 1);
    EXPECT_STREQ(r.date_text, "[27/Oct/2013:02:30:00 -0000]");
    EXPECT_EQ(w3c("2013-10-27 01:30:00 /a\n"), 1);
    EXPECT_STREQ(r.date_text, "[27/Oct/2013:02:30:00 -0000]");
    zone("UTC0");
    EXPECT_EQ(w3c("113-08-26 23:30:00.123 /a\n"), 1);  // a year counted from 1900
    EXPECT_STREQ(r.date_text, "[26/Aug/2013:23:30:00 -0000]");
    EXPECT_EQ(w3c("2013-99-99 00:00:00 /a\n"), 1);  // runs on as the C library's dates do
    EXPECT_STREQ(r.date_text, "[07/Jun/2021:00:00:00 -0000]");
    EXPECT_EQ(w3c("garbage 00:00:00 /a\n"), 0);
    EXPECT_EQ(w3c("2013-08 00:00:00 /a\n"), 0);
    EXPECT_EQ(w3c("2013-08-26 2330 /a\n"), 0);
    EXPECT_EQ(w3c("99999999999-99999999999-99999999999 99999999999:0:0 /a\n"), 0);
}
