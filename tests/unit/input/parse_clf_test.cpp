#include <string>

#include <gtest/gtest.h>

#include "common/records.hpp"
#include "input/parsers.hpp"
#include "test_support.hpp"

namespace {

class ParseClf : public scratch_test {
  protected:
    /// Parses a copy of the text as one line; returns parse_line's result.
    int parse(const std::string& text)
    {
        EXPECT_LT(text.size(), line_capacity);
        std::snprintf(line_, sizeof line_, "%s", text.c_str());
        return parse_line(line_);
    }
    /// Parses with standard error captured into err.
    int parse_capturing(const std::string& text)
    {
        testing::internal::CaptureStderr();
        const int result = parse(text);
        err = utf8_of_latin2(testing::internal::GetCapturedStderr());
        return result;
    }
    std::string err;
    char line_[line_capacity];
};

const log_record& r = g_record;

}  // namespace

TEST_F(ParseClf, CommonFormatLine)
{
    EXPECT_EQ(parse("host.example.com - - [10/Oct/2000:13:55:36 -0700] \"GET /a.html HTTP/1.0\" "
                    "200 2326\n"),
              1);
    EXPECT_STREQ(r.host, "host.example.com");
    EXPECT_STREQ(r.user, "-");
    EXPECT_STREQ(r.date_text, "[10/Oct/2000:13:55:36 -0700]");
    EXPECT_STREQ(r.request, "\"GET /a.html\"");
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.bytes, 2326u);
    EXPECT_STREQ(r.referrer, "");
    EXPECT_STREQ(r.agent, "");
}

TEST_F(ParseClf, CombinedFieldsKeepQuotesAndInnerBlanks)
{
    EXPECT_EQ(parse("10.0.0.1 - frank [10/Oct/2000:13:55:36 -0700] \"GET /a.html HTTP/1.0\" 200 "
                    "2326 \"http://www.example.com/start.html\" \"Mozilla/4.08 [en] (Win98; I "
                    ";Nav)\"\n"),
              1);
    EXPECT_STREQ(r.user, "frank");
    EXPECT_STREQ(r.referrer, "\"http://www.example.com/start.html\"");
    EXPECT_STREQ(r.agent, "\"Mozilla/4.08 [en] (Win98; I ;Nav)\"");
}

TEST_F(ParseClf, UserNameWithBlanksIsKeptWhole)
{
    EXPECT_EQ(parse("h - John Smith [10/Oct/2000:13:55:36 -0700] \"GET / HTTP/1.0\" 200 1\n"), 1);
    EXPECT_STREQ(r.user, "John Smith");
}

TEST_F(ParseClf, DashByteCountAndLineEndingAfterTheStatus)
{
    EXPECT_EQ(parse("h - - [10/Oct/2000:13:55:36 -0700] \"GET / HTTP/1.0\" 304 -\n"), 1);
    EXPECT_EQ(r.status, 304);
    EXPECT_EQ(r.bytes, 0u);
    EXPECT_EQ(parse("h - - [10/Oct/2000:13:55:36 -0700] \"GET / HTTP/1.0\" 404\n"), 1);
    EXPECT_EQ(r.status, 404);
    EXPECT_EQ(r.bytes, 0u);
    EXPECT_EQ(parse("h - - [10/Oct/2000:13:55:36 -0700] \"GET / HTTP/1.0\" - 12\n"), 1);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.bytes, 12u);
}

TEST_F(ParseClf, LinesThatAreNotRecords)
{
    EXPECT_EQ(parse("h - - [10/Oct/2000:13:55:36 -0700] \"GET / HTTP/1.0\"\n"), 0)
        << "ends after the request";
    EXPECT_EQ(parse("h - - [10/Oct/2000:13:55:36 -0700]\n"), 0) << "ends after the date";
    EXPECT_EQ(parse("h - - [10/Oct/2000:13:55:36 -0700] GET / 200 1\n"), 0) << "unquoted request";
    EXPECT_EQ(parse("h - - 10/Oct/2000 \"GET /\" 200 1\n"), 0) << "no bracket";
    EXPECT_EQ(parse("h - - [2000-10-10 13:55:36] \"GET /\" 200 1\n"), 0) << "no / at 3";
    EXPECT_EQ(parse("h -\n"), 0);
    EXPECT_EQ(parse(""), 0);
    EXPECT_EQ(parse("\n"), 0);
}

TEST_F(ParseClf, OnlyTheProtocolTokenIsRemoved)
{
    EXPECT_EQ(parse("h - - [10/Oct/2000:13:55:36 -0700] \"GET /HTTPdocs/x HTTP/1.0\" 200 1\n"), 1);
    EXPECT_STREQ(r.request, "\"GET /HTTPdocs/x\"");
    EXPECT_EQ(parse("h - - [10/Oct/2000:13:55:36 -0700] \"GET /a HTTP/b HTTP/1.1\" 200 1\n"), 1);
    EXPECT_STREQ(r.request, "\"GET /a HTTP/b\"");
    EXPECT_EQ(parse("h - - [10/Oct/2000:13:55:36 -0700] \"GET /HTTP\" 200 1\n"), 1);
    EXPECT_STREQ(r.request, "\"GET /HTTP\"") << "no protocol token: left as it is";
    EXPECT_EQ(parse("h - - [10/Oct/2000:13:55:36 -0700] \"-\" 408 0\n"), 1);
    EXPECT_STREQ(r.request, "\"-\"");
}

TEST_F(ParseClf, EscapedQuoteDoesNotEndTheRequest)
{
    EXPECT_EQ(parse("h - - [10/Oct/2000:13:55:36 -0700] \"GET /a\\\" b HTTP/1.0\" 200 5\n"), 1);
    EXPECT_STREQ(r.request, "\"GET /a\\\" b\"");
    EXPECT_EQ(r.status, 200);
}

TEST_F(ParseClf, LongHostIsCutWithOneWarningAndTheRestParses)
{
    const std::string host(300, 'h');
    EXPECT_EQ(
        parse_capturing(host + " - - [10/Oct/2000:13:55:36 -0700] \"GET / HTTP/1.0\" 200 1\n"), 1);
    EXPECT_EQ(std::string(r.host), std::string(255, 'h'));
    EXPECT_EQ(err, "Ostrzeżenie: Obcinam, przekroczona wielkość nazwy hosta\n");
    EXPECT_EQ(r.status, 200);

    startup_settings().debug = true;
    parse_capturing(host + " - - [10/Oct/2000:13:55:36 -0700] \"GET / HTTP/1.0\" 200 1\n");
    EXPECT_EQ(err, "Ostrzeżenie: Obcinam, przekroczona wielkość nazwy hosta: " + host + "\n");

    startup_settings().verbosity = 0;
    parse_capturing(host + " - - [10/Oct/2000:13:55:36 -0700] \"GET / HTTP/1.0\" 200 1\n");
    EXPECT_EQ(err, "");
}

TEST_F(ParseClf, LongUserRequestAndReferrerAreCutWithWarnings)
{
    const std::string user(80, 'u');
    EXPECT_EQ(parse_capturing("h - " + user + " [10/Oct/2000:13:55:36 -0700] \"GET /\" 200 1\n"),
              1);
    EXPECT_EQ(std::string(r.user), std::string(63, 'u'));
    EXPECT_EQ(err, "Ostrzeżenie: Obcinam, przekroczona długość nazwy użytkownika\n");
    EXPECT_STREQ(r.date_text, "[10/Oct/2000:13:55:36 -0700]");

    const std::string referrer(1100, 'r');
    EXPECT_EQ(parse_capturing("h - - [10/Oct/2000:13:55:36 -0700] \"GET /\" 200 1 \"" + referrer +
                              "\" \"agent\"\n"),
              1);
    EXPECT_EQ(std::string(r.referrer), "\"" + std::string(1022, 'r'));
    EXPECT_EQ(err, "Ostrzeżenie: Obcinam, przekroczona wielkość pola odnośnika\n");
    EXPECT_STREQ(r.agent, "\"agent\"") << "the next field is still found";

    EXPECT_EQ(parse_capturing("h - - [10/Oct/2000:13:55:36 -0700 and more] \"GET /\" 200 1\n"), 1);
    EXPECT_STREQ(r.date_text, "[10/Oct/2000:13:55:36 -0700 ");
    EXPECT_EQ(err, "Ostrzeżenie: Obcinam, przekroczona wielkość pola daty\n");
    EXPECT_EQ(r.status, 200);
}

TEST_F(ParseClf, ReferrerAtTheEndOfTheLineIsNotAWarning)
{
    EXPECT_EQ(parse_capturing("h - - [10/Oct/2000:13:55:36 -0700] \"GET /\" 200 1 \"http://x/\"\n"),
              1);
    EXPECT_STREQ(r.referrer, "\"http://x/\"");
    EXPECT_STREQ(r.agent, "");
    EXPECT_EQ(err, "");
}

TEST_F(ParseClf, LongAgentIsCutSilently)
{
    const std::string agent(200, 'a');
    EXPECT_EQ(parse_capturing("h - - [10/Oct/2000:13:55:36 -0700] \"GET /\" 200 1 \"-\" \"" +
                              agent + "\"\n"),
              1);
    EXPECT_EQ(std::string(r.agent), "\"" + std::string(126, 'a'));
    EXPECT_EQ(err, "");
}

// Fields are copied sixteen bytes at a time: every length around the block
// sizes, as a middle field ended by a blank and as the last field, which
// runs to the end of the line with or without its newline.
TEST_F(ParseClf, FieldsOfEveryLengthAreCopiedWhole)
{
    for (std::size_t n = 1; n <= 70; ++n) {
        const std::string host(n, 'h');
        std::string agent(n, 'a');
        for (std::size_t i = 0; i < n; i += 7)
            agent[i] = static_cast<char>('0' + i % 10);
        const std::string line = host +
                                 " - - [10/Oct/2000:13:55:36 -0700] \"GET /a HTTP/1.0\" 200 1 " +
                                 "\"-\" \"" + agent + "\"";
        for (const char* end : {"\n", ""}) {
            ASSERT_EQ(parse(line + end), 1) << n;
            EXPECT_EQ(r.host, host) << n;
            EXPECT_EQ(r.agent, "\"" + agent + "\"") << n << " " << (*end ? "newline" : "last line");
        }
    }
}

// A request or referrer is marked plain (nothing to unescape) only when no
// "%" was copied: one at every place of texts of every length is seen.
TEST_F(ParseClf, AnEscapeAnywhereIsSeen)
{
    for (std::size_t n = 1; n <= 40; ++n) {
        for (std::size_t at = 0; at <= n; ++at) {
            std::string text(n, 'u');
            if (at < n)
                text[at] = '%';
            const std::string line = "h - - [10/Oct/2000:13:55:36 -0700] \"GET /" + text +
                                     "\" 200 1 \"" + text + "\" \"agent\"\n";
            ASSERT_EQ(parse(line), 1) << n << " " << at;
            EXPECT_EQ(r.plain_request, at == n) << n << " " << at;
            EXPECT_EQ(r.plain_referrer, at == n) << n << " " << at;
        }
    }
}

TEST_F(ParseClf, LastLineWithoutNewlineKeepsItsLastCharacter)
{
    EXPECT_EQ(parse("h - - [10/Oct/2000:13:55:36 -0700] \"GET /\" 200 1 \"-\" \"Mozilla/5.0\""), 1);
    EXPECT_STREQ(r.agent, "\"Mozilla/5.0\"");
    EXPECT_EQ(parse("h - - [10/Oct/2000:13:55:36 -0700] \"GET /\" 200 1 \"-\" \"Mozilla/5.0\"\r\n"),
              1);
    EXPECT_STREQ(r.agent, "\"Mozilla/5.0\"\r") << "only the newline is left out";
}

TEST_F(ParseClf, EveryParseStartsFromAnEmptyRecord)
{
    parse("h - u [10/Oct/2000:13:55:36 -0700] \"GET /\" 200 1 \"ref\" \"agent\"\n");
    EXPECT_STREQ(r.agent, "\"agent\"");
    parse("h - - [10/Oct/2000:13:55:36 -0700] \"GET /\" 200 1\n");
    EXPECT_STREQ(r.referrer, "");
    EXPECT_STREQ(r.agent, "");
    EXPECT_STREQ(r.user, "-");
}

TEST_F(ParseClf, HugeNumbersSaturate)
{
    EXPECT_EQ(parse("h - - [10/Oct/2000:13:55:36 -0700] \"GET /\" 99999999999 "
                    "999999999999999999999999\n"),
              1);
    EXPECT_EQ(r.status, 2147483647);
    EXPECT_EQ(r.bytes, ~0ULL);
}

TEST(SplitFields, BlanksInsideQuotesBracketsAndParenthesesStay)
{
    char line[] = "a \"b c\" [d e] (f (g h) i) j\\\"k l\n";
    split_fields(line);
    const char expected[] = "a\0\"b c\"\0[d e]\0(f (g h) i)\0j\\\"k\0l\n";
    EXPECT_EQ(std::string(line, sizeof line - 1), std::string(expected, sizeof expected - 1));
}

TEST(SplitFields, QuoteAtTheStartTogglesAndBracketsInQuotesDoNotCount)
{
    char line[] = "\"[x\" y ]z w";
    split_fields(line);
    const char expected[] = "\"[x\"\0y\0]z\0w";
    EXPECT_EQ(std::string(line, sizeof line - 1), std::string(expected, sizeof expected - 1));
}
