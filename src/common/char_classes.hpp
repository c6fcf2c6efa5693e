// Byte classes of the hot path, looked up in one table instead of calling the
// C library per character.  Letters and digits follow the locale.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

enum char_class : std::uint16_t {
    cc_alnum = 1,             // letter or digit of the locale
    cc_url_strict = 2,        // may belong to a URL with StripCGI on
    cc_url_loose = 4,         // may belong to a URL with StripCGI off
    cc_markup = 8,            // ends an agent: control bytes, DEL, "<" and ">"
    cc_field = 16,            // matters to the field splitter: blank, tab, quote, brackets, NUL
    cc_ref_stop = 32,         // ends a quoted referrer: control bytes, DEL and "<"
    cc_url_strict_text = 64,  // as cc_url_strict, but not the end of the text
    cc_url_loose_text = 128,  // as cc_url_loose, but not the end of the text
    cc_host = 256,            // allowed in a host name anywhere: alnum, "-", "." and ":"
};

extern std::uint16_t g_char_class[256];
extern unsigned char g_lower[256];  // the locale's lower-case mapping

/// Fills the table from the current character-type locale (after setlocale).
void load_char_classes();

inline char
to_lower(char c)
{
    return static_cast<char>(g_lower[static_cast<unsigned char>(c)]);
}

/// Lower-cases through the locale, up to n characters or the end of the text.
inline void
lower_locale(char* p, std::size_t n)
{
    for (const char* end = p + n; p < end && *p != '\0'; ++p)
        *p = to_lower(*p);
}

/// Lower-cases the ASCII capitals of [p, end), whatever the locale: scheme
/// and host names are ASCII.
inline void
lower_ascii(char* p, const char* end)
{
    // Eight bytes at a time, the last word ending at the end and overlapping
    // the one before: lowering a letter twice leaves it as once.
    if (end - p >= 8) {
        const auto lower = [](char* at) {
            std::uint64_t x;
            std::memcpy(&x, at, 8);
            constexpr std::uint64_t ones = 0x0101010101010101u;
            const std::uint64_t low7 = x & (0x7f * ones);
            // A byte's top bit: set from 'A' on, and from past 'Z' on; bytes
            // from 128 on are no capitals.
            const std::uint64_t from_a = low7 + (0x80 - 'A') * ones;
            const std::uint64_t past_z = low7 + (0x80 - 'Z' - 1) * ones;
            const std::uint64_t capital = from_a & ~past_z & ~x & (0x80 * ones);
            x |= capital >> 2;
            std::memcpy(at, &x, 8);
        };
        // The last word is read before the one it overlaps is written: a
        // read of bytes just stored in part waits until the store is done.
        const std::size_t n = static_cast<std::size_t>(end - p);
        std::uint64_t last;
        std::memcpy(&last, p + n - 8, 8);
        std::size_t i = 0;
        for (; i + 8 <= n; i += 8)
            lower(p + i);
        if (i < n) {
            lower(reinterpret_cast<char*>(&last));
            std::memcpy(p + n - 8, &last, 8);
        }
        return;
    }
    for (; p < end; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (static_cast<unsigned>(c - 'A') < 26u)
            *p = static_cast<char>(c | 0x20);
    }
}

inline bool
has_class(unsigned char c, std::uint16_t bits)
{
    return (g_char_class[c] & bits) != 0;
}

/// Lower-cases the text in the array through the locale, as lower_locale does
/// up to the array's end or the text's.
template <std::size_t N> void lower_locale_text(char (&text)[N]);

namespace char_class_detail {
extern bool ascii_lower_plain;  // the locale lowers ASCII as ASCII does
void lower_pieces(char* text, std::size_t size);
}  // namespace char_class_detail

template <std::size_t N>
void
lower_locale_text(char (&text)[N])
{
    if constexpr (N % 16 == 0) {
        if (char_class_detail::ascii_lower_plain) {
            char_class_detail::lower_pieces(text, N);
            return;
        }
    }
    lower_locale(text, N);
}
