// Lines built from the characters the parser and the clean-up treat
// specially, in random order: the record loop must count every line and
// never read or write outside its fields (the sanitizer build checks that).
#include <algorithm>
#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "common/settings.hpp"
#include "driver/accounting.hpp"
#include "driver/command_line.hpp"
#include "input/log_reader.hpp"
#include "test_support.hpp"

namespace {

class HostileInput : public scratch_test {};

std::string
random_line(std::uint64_t& state)
{
    static const std::string pieces[] = {
        " ",
        "\t",
        "\"",
        "\\\"",
        "[",
        "]",
        "(",
        ")",
        "-",
        "/",
        "//",
        "/./",
        "%",
        "%4",
        "%41",
        "%0a",
        "?",
        "&",
        "=",
        "#",
        "<",
        ">",
        ":",
        "://",
        "http://",
        "HTTP/1.0",
        " HTTP",
        "index.",
        "compatible;",
        "Opera/9.8",
        "Mozilla/5.0 ",
        ";)\"",
        "\x7f",
        "\x01",
        "\xe9",
        "10/Oct/2000:13:55:36 -0700",
        "[01/Jan/2024:00:00:00 +0000]",
        "200",
        "404",
        "206",
        "1234",
        "99999999999999999999",
        "a.b_c",
        "::1",
        "GET ",
        "-1",
        "+",
        "_",
        ".",
    };
    std::string line;
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    const int count = static_cast<int>((state >> 33) % 60);
    for (int i = 0; i < count; ++i) {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        line += pieces[(state >> 33) % (sizeof pieces / sizeof pieces[0])];
    }
    return line + "\n";
}

}  // namespace

TEST_F(HostileInput, EveryLineIsCountedAndNothingBreaks)
{
    derive_settings(nullptr);
    startup_settings().mangle_agents = 1;
    startup_settings().group_domains = 1;
    std::uint64_t state = 12345;
    std::string log;
    const std::string good = "h - u [01/Jan/2024:00:00:00 +0000] \"GET /a HTTP/1.0\" 200 1 \"";
    for (int i = 0; i < 3000; ++i) {
        // Half the lines look like records, so that the later steps see the pieces too.
        std::string line = random_line(state);
        if (i % 2 != 0)
            line = good + line.substr(0, std::min<std::size_t>(200, line.size() - 1)) + "\n";
        log += line;
    }
    log += std::string(5000, '"') + "\n";  // one oversized line
    write_file("hostile.log", log);
    log_reader reader;
    ASSERT_EQ(reader.open("hostile.log"), 0);
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    record_loop(reader);
    testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(g_run.total, 3001u);
    EXPECT_GT(g_run.total - g_run.ignored - g_run.bad, 0u) << "some lines were records";
}
