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
    const std::uint8_t* p = data + 1;
    const std::uint8_t* end = data + size;
    for (int lines = 0; p < end && lines < 64; ++lines) {
        const auto* newline = static_cast<const std::uint8_t*>(std::memchr(p, '\n', end - p));
        std::size_t n = (newline != nullptr ? newline + 1 : end) - p;
        n = std::min(n, line_capacity - 1);
        std::memcpy(line.data(), p, n);
        line[n] = '\0';
        p += n;
        parse_line(line.data(), std::strlen(line.data()));
    }
    return 0;
}
