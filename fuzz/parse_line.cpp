// One log line after another through parse_line, as the record loop hands
// them over: at most 4095 characters and a NUL in a line buffer of its size.
// The first byte picks the LogType (and whether cut fields are reported), so
// that one corpus holds lines of every format; a W3C input carries its
// Fields directive among its lines.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "common/records.hpp"
#include "common/settings.hpp"
#include "driver/run_state.hpp"
#include "fresh_run.hpp"
#include "fuzz_scratch.hpp"
#include "input/parsers.hpp"

PARVA_FUZZ_INITIALIZE_SCRATCH

namespace {

// The fields as the rest of the run reads them: the texts up to their NUL,
// the date whole (it is read at fixed places), and the plain marks only
// where they matter, for a text that holds a "%".
bool
same_fields(const log_record& a, const log_record& b)
{
    return std::strcmp(a.host, b.host) == 0 && std::strcmp(a.user, b.user) == 0 &&
           std::memcmp(a.date_text, b.date_text, sizeof a.date_text) == 0 &&
           std::strcmp(a.request, b.request) == 0 && a.request[1] == b.request[1] &&
           a.status == b.status && a.bytes == b.bytes && std::strcmp(a.referrer, b.referrer) == 0 &&
           std::strcmp(a.agent, b.agent) == 0 &&
           (std::strchr(a.request, '%') == nullptr || !a.plain_request) &&
           (std::strchr(a.referrer, '%') == nullptr || !a.plain_referrer);
}

}  // namespace

extern "C" int
LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const fuzz::fresh_run run;
    settings& s = startup_settings();
    s.log_type = data[0] & 3;
    s.verbosity = (data[0] & 4) != 0 ? 1 : 0;
    s.debug = (data[0] & 8) != 0;

    // A buffer of exactly the reader's size: whatever a parser reads or
    // writes past the line buffer is out of bounds for the sanitizer too.
    std::vector<char> line(line_capacity);
    std::vector<char> split(line_capacity);
    const std::uint8_t* p = data + 1;
    const std::uint8_t* end = data + size;
    for (int lines = 0; p < end && lines < 64; ++lines) {
        const auto* newline = static_cast<const std::uint8_t*>(std::memchr(p, '\n', end - p));
        std::size_t n = (newline != nullptr ? newline + 1 : end) - p;
        n = std::min(n, line_capacity - 1);
        std::memcpy(line.data(), p, n);
        line[n] = '\0';
        p += n;
        // The line whole, as the reader hands it over, NULs and all.
        if (s.log_type != log_clf) {
            parse_line(line.data(), n);
            continue;
        }
        // A common or combined line parses the same in one pass as its text
        // (up to its first NUL) split.
        std::memcpy(split.data(), line.data(), n + 1);
        const int kind = parse_line(line.data(), n);
        const log_record one_pass = g_record;
        clear_record(g_record);
        if (parse_split_clf(split.data(), std::strlen(split.data())) != kind ||
            !same_fields(one_pass, g_record))
            __builtin_trap();
    }
    return 0;
}
