// Small byte-wise text helpers shared by the readers of logs and settings.
#pragma once

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "common/types.hpp"

/// The decimal number at the start of the text, read as atoi reads it
/// (leading blanks, an optional sign, digits), but saturated to the int range
/// instead of overflowing.  0 when there are no digits.
inline int
scan_int(const char* s)
{
    while (*s == ' ' || (*s >= '\t' && *s <= '\r'))
        ++s;
    bool negative = false;
    if (*s == '-' || *s == '+')
        negative = *s++ == '-';
    long long value = 0;
    for (; *s >= '0' && *s <= '9'; ++s) {
        value = value * 10 + (*s - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative)
        return static_cast<int>(-value);
    return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

/// value * 10 plus the decimal digit, saturated at the largest value.
inline u64
append_digit(u64 value, char digit)
{
    // The multiply and the add find the overflow themselves, where a test
    // before them took a division a digit.
    if (__builtin_mul_overflow(value, 10, &value) ||
        __builtin_add_overflow(value, static_cast<u64>(digit - '0'), &value))
        return ~0ULL;
    return value;
}

/// The unsigned decimal number made of the digits at the start of the text,
/// saturated at the largest value; 0 when the text does not start with a digit.
inline u64
scan_u64(const char* s)
{
    u64 value = 0;
    for (; *s >= '0' && *s <= '9'; ++s)
        value = append_digit(value, *s);
    return value;
}

/// Copies src into the field dst, cut to its capacity.  Returns true when cut.
template <std::size_t N>
bool
copy_cut(char (&dst)[N], const char* src)
{
    std::size_t len = std::strlen(src);
    const bool cut = len > N - 1;
    if (cut)
        len = N - 1;
    std::memcpy(dst, src, len);
    dst[len] = '\0';
    return cut;
}

/// Reads an unsigned decimal count at p, after blanks, as the stored files
/// write them, and moves p past it.  A missing, negative (strtoull would take
/// "-1" for 2^64 - 1) or overflowing number is not read: false, and the
/// count and p stay as they were.
inline bool
read_count(const char*& p, u64& count)
{
    const char* q = p;
    while (std::isspace(static_cast<unsigned char>(*q)))
        ++q;
    if (*q == '-')
        return false;
    char* end = nullptr;
    errno = 0;
    const unsigned long long v = std::strtoull(q, &end, 10);
    if (end == q || errno == ERANGE)
        return false;
    count = v;
    p = end;
    return true;
}
