// The country table: one row per top-level domain, country code and
// geolocation pseudo-code, found by a number computed from the code text,
// with the counters of the month being reported.
#pragma once

#include <cstdint>

#include "common/types.hpp"

inline constexpr int country_rows = 280;

struct country_row {
    std::int64_t code_value;  // encode_country of the code; 0 in row 0
    const char* description;  // nullptr in the terminating row
    u64 hits, files;
    double bytes;
};

/// The rows in table order, then the terminator.  Defined with the rest of
/// the run state; only the three counters ever change.
extern country_row ctry_table[country_rows + 1];

/// The code texts of the rows, in table order ("" for row 0).
extern const char* const country_code[country_rows];

/// The code's number: each character's byte value minus 96, the last
/// character in bits 0 to 6 and each one before it five bits higher, every
/// term wrapped to 32 signed bits.  Case-sensitive; "" gives 0.
constexpr std::int64_t
encode_country(const char* code)
{
    int n = 0;
    while (code[n] != '\0')
        ++n;
    std::int64_t value = 0;
    for (int k = 0; k < n; ++k) {
        const int letter = static_cast<unsigned char>(code[n - 1 - k]) - 96;
        const unsigned shift = k == 0 ? 0u : static_cast<unsigned>(5 * k + 2) % 32u;
        const auto term = static_cast<std::uint32_t>(letter) << shift;
        value += static_cast<std::int32_t>(term);
    }
    return value;
}

/// The code text of a value, at most six characters, in one static buffer
/// that the next call overwrites.  0 gives "".
const char* decode_country(std::int64_t value);

/// The row of that value; 0, or a value no row carries, gives row 0.
country_row& country_by_value(std::int64_t value);

/// The row of a host name's top-level domain (the text after its last dot);
/// a name without a dot, whose last dot is its first character or which ends
/// in a dot finds row 0.  Letter case is kept: "PL" finds row 0.
country_row& country_by_name(const char* name);

/// Zeroes the counters of every row up to the terminator.
void clear_country_counters();

/// Puts codes, descriptions and zero counters into every row.
void reset_country_table();
