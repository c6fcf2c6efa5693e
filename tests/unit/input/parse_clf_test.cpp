#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/messages.hpp"
#include "common/records.hpp"
#include "common/settings.hpp"
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

// A line is its text up to its first NUL: what follows is not read, even
// where the line would be a usual one without the NUL.
TEST_F(ParseClf, ALineEndsAtItsFirstNul)
{
    const std::string usual = "h - - [10/Oct/2000:13:55:36 -0700] \"GET / HTTP/1.0\" 200 1 \"-\" ";
    for (const std::string& tail :
         {std::string("\"Moz\0illa\"\n", 10), std::string("\"Mozilla\"\0 \"more\"\n", 17)}) {
        const std::string line = usual + tail;
        std::memcpy(line_, line.data(), line.size());
        line_[line.size()] = '\0';
        clear_record(g_record);
        ASSERT_EQ(parse_line(line_, line.size()), 1);
        EXPECT_EQ(std::string(r.agent), "\"" + std::string(tail.c_str() + 1));
    }
}

// The date is read at fixed places, past the end of a short one too: the
// bytes after it in the line must not be read as its seconds.
TEST_F(ParseClf, AShortDateEndsInZerosNotInTheRestOfTheLine)
{
    const std::string line = "h - - [10/Oct/2000:13] \"12345 HTTP/1.0\" 200 1\n";
    const std::string date = "[10/Oct/2000:13]";
    for (const bool split : {false, true}) {
        std::snprintf(line_, sizeof line_, "%s", line.c_str());
        clear_record(g_record);
        ASSERT_EQ(split ? parse_split_clf(line_, line.size()) : parse_clf(line_, line.size()), 1);
        EXPECT_EQ(std::string(r.date_text, sizeof r.date_text),
                  date + std::string(sizeof r.date_text - date.size(), '\0'))
            << (split ? "split" : "one pass");
    }
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

namespace {

// Lines near the usual combined shape: fields picked from ordinary, empty,
// oversized and odd forms, then bytes the splitter cares about put in, taken
// out or replaced at random places.
class near_usual_lines {
  public:
    explicit near_usual_lines(unsigned seed) : random_(seed) {}

    std::string next()
    {
        std::string line = pick({"10.0.0.1", "host.example.com", "", std::string(255, 'h'),
                                 std::string(256, 'h'), "a(b", "::1"}) +
                           blank() + pick({"-", "id", ""}) + blank() +
                           pick({"-", "john", "John Smith", std::string(62, 'u'),
                                 std::string(63, 'u'), "a\tb", ""}) +
                           blank() +
                           pick({"[10/Oct/2000:13:55:36 -0700]", "[10/Oct/2000:13:55:36]",
                                 "[1/Oct/2000:13:55:36 -0700]", "[10/Oct/2000:13:55:36 -0700 x]",
                                 "[10/Oct/2000:13:55:36  -0700]", "[]", "10/Oct/2000:13:55:36"}) +
                           blank() +
                           pick({"\"GET /a.html HTTP/1.0\"", "\"GET /a%20b?q=1 HTTP/1.1\"",
                                 "\"GET /a\\\" b HTTP/1.0\"", "\"\"", "\"-\"", "\"GET /\\\\\"",
                                 "\"GET /" + std::string(length(2000), 'p') + " HTTP/1.1\""}) +
                           blank() + pick({"200", "-", "", "2x", "\v200", "99999999999"}) +
                           blank() + pick({"2326", "-", "", "12ab", "999999999999999999999"});
        switch (random_() % 6) {
        case 0: break;
        case 1: line += blank() + quoted(1030) + blank() + quoted(140); break;
        case 2: line += blank() + quoted(1030); break;
        case 3: line += blank() + quoted(40) + blank() + quoted(140) + " extra"; break;
        default: line += blank() + quoted(1030) + blank() + quoted(140); break;
        }
        for (unsigned n = random_() % 4; n > 0 && !line.empty(); --n) {
            const std::size_t at = random_() % line.size();
            const char c = " \t\"[]()\\%\r-"[random_() % 11];
            switch (random_() % 4) {
            case 0: line.insert(at, 1, c); break;
            case 1: line.erase(at, 1); break;
            case 2: line[at] = random_() % 8 == 0 ? '\0' : c; break;
            default: break;
            }
        }
        if (random_() % 4 != 0)
            line += random_() % 8 == 0 ? "\r\n" : "\n";
        return line.substr(0, line_capacity - 1);
    }

  private:
    std::string pick(std::vector<std::string> forms)
    {
        return random_() % 3 != 0 ? forms[0] : forms[random_() % forms.size()];
    }
    std::string blank() { return random_() % 16 != 0 ? " " : random_() % 2 ? "  " : "\t"; }
    // A length near an interesting one: the blocks of sixteen or a capacity.
    std::size_t length(std::size_t most)
    {
        return random_() % 2 ? random_() % 40 : most - 15 + random_() % 30;
    }
    std::string quoted(std::size_t most)
    {
        std::string text(length(most), 'x');
        for (char& c : text)
            c = "abc /%()[];"[random_() % 11];
        return "\"" + text + "\"";
    }
    std::mt19937 random_;
};

struct parse_result {
    int kind;
    log_record record;
    std::string messages;
};

// One parse of a copy of the line, with the messages it writes.
template <typename Parse>
parse_result
parse_copy(const std::string& line, Parse parse)
{
    static char text[line_capacity];
    std::memcpy(text, line.data(), line.size());
    text[line.size()] = '\0';
    char* written = nullptr;
    std::size_t size = 0;
    std::FILE* messages = open_memstream(&written, &size);
    set_diag_stream(messages);
    clear_record(g_record);
    const int kind = parse(text, line.size());
    set_diag_stream(nullptr);
    std::fclose(messages);
    parse_result result{kind, g_record, std::string(written, size)};
    std::free(written);
    return result;
}

}  // namespace

// The one-pass parse of the usual shape must give what splitting gives, for
// every line: the same result, fields, messages, and no "%" left unnoticed.
TEST_F(ParseClf, EveryLineParsesAsWhenItsFieldsAreSplit)
{
    startup_settings().verbosity = 1;
    near_usual_lines lines(20261210);
    int records = 0;
    for (int i = 0; i < 40000; ++i) {
        const std::string line = lines.next();
        const parse_result a =
            parse_copy(line, [](char* t, std::size_t n) { return parse_clf(t, n); });
        // The line as the reader hands it over, and its text up to its first NUL.
        const parse_result b = parse_copy(
            line, [](char* t, std::size_t) { return parse_split_clf(t, std::strlen(t)); });
        const std::string shown = testing::PrintToString(line);
        ASSERT_EQ(a.kind, b.kind) << shown;
        ASSERT_EQ(a.messages, b.messages) << shown;
        ASSERT_STREQ(a.record.host, b.record.host) << shown;
        ASSERT_STREQ(a.record.user, b.record.user) << shown;
        ASSERT_EQ(std::memcmp(a.record.date_text, b.record.date_text, sizeof a.record.date_text), 0)
            << shown;
        ASSERT_STREQ(a.record.request, b.record.request) << shown;
        ASSERT_EQ(a.record.request[1], b.record.request[1]) << shown;
        ASSERT_EQ(a.record.status, b.record.status) << shown;
        ASSERT_EQ(a.record.bytes, b.record.bytes) << shown;
        ASSERT_STREQ(a.record.referrer, b.record.referrer) << shown;
        ASSERT_STREQ(a.record.agent, b.record.agent) << shown;
        ASSERT_STREQ(a.record.search_text, b.record.search_text) << shown;
        if (std::strchr(a.record.request, '%') != nullptr) {
            ASSERT_FALSE(a.record.plain_request) << shown;
        }
        if (std::strchr(a.record.referrer, '%') != nullptr) {
            ASSERT_FALSE(a.record.plain_referrer) << shown;
        }
        records += a.kind;
    }
    // Both kinds of line were met, records and lines that are none.
    EXPECT_GT(records, 4000);
    EXPECT_LT(records, 36000);
}
