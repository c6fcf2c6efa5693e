// Numbers of the listing pages and dumps, written as printf writes them but
// without its cost: a month's listing can have a million lines, each with
// five numbers, and printf's exact decimal conversion of a double is most
// of the time those pages take.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "common/types.hpp"

/// One output line built in a buffer and written with one call.  Numbers are
/// the bytes of the printf conversion named beside each call; a value that
/// conversion would print otherwise than plain digits (negative, not finite,
/// beyond 10^17) is handed to snprintf itself.
class number_line {
  public:
    /// "%-Nllu" (left) or "%Nllu" (right).
    void count(u64 v, int width, bool left = false)
    {
        char digits[24];
        const int n = digits_of(v, digits);
        if (!left)
            pad(width - n);
        append(digits, n);
        if (left)
            pad(width - n);
    }

    /// "%N.Df" with D = 0 or 2 and a value as the pages have them.
    void fixed(double v, int width, int decimals)
    {
        // The product of a double and 100 is exact in the 64-bit significand
        // of x86's long double, so rounding it to an integer, ties to even,
        // rounds the exact value as printf does.
        static_assert(std::numeric_limits<long double>::digits >= 64);
        constexpr double limit = 1e17;
        if (!(v >= 0 && v < limit) || std::signbit(v) || (decimals != 0 && decimals != 2)) {
            char text[512];
            const int n = std::snprintf(text, sizeof text, "%*.*f", width, decimals, v);
            append(text, n < 0 ? 0 : std::min(n, static_cast<int>(sizeof text) - 1));
            return;
        }
        char digits[24];
        int n = 0;
        if (decimals == 0) {
            n = digits_of(static_cast<u64>(std::nearbyint(v)), digits);
        } else {
            const u64 hundredths =
                static_cast<u64>(std::nearbyintl(static_cast<long double>(v) * 100.0L));
            n = digits_of(hundredths / 100, digits);
            const u64 cents = hundredths % 100;
            digits[n++] = '.';
            digits[n++] = static_cast<char>('0' + cents / 10);
            digits[n++] = static_cast<char>('0' + cents % 10);
        }
        pad(width - n);
        append(digits, n);
    }

    void text(const char* s) { append(s, static_cast<int>(std::strlen(s))); }

    /// Writes the line and empties it; write errors are left to the stream.
    void write(std::FILE* out)
    {
        std::fwrite(buffer_, 1, static_cast<std::size_t>(end_), out);
        end_ = 0;
    }

  private:
    static int digits_of(u64 v, char (&out)[24])
    {
        char reversed[24];
        int n = 0;
        do {
            reversed[n++] = static_cast<char>('0' + v % 10);
            v /= 10;
        } while (v != 0);
        for (int i = 0; i < n; ++i)
            out[i] = reversed[n - 1 - i];
        return n;
    }
    void pad(int n)
    {
        for (; n > 0 && end_ < capacity; --n)
            buffer_[end_++] = ' ';
    }
    void append(const char* s, int n)
    {
        n = std::min(n, capacity - end_);
        std::memcpy(buffer_ + end_, s, static_cast<std::size_t>(n));
        end_ += n;
    }

    static constexpr int capacity = 1024;  // the numbers of a line need far less
    char buffer_[capacity];
    int end_ = 0;
};
