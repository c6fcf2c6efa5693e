// Scans of long texts sixteen bytes at a time.  The loads are aligned, so
// they never cross into a page the text does not reach.
#pragma once

#include <cstdint>

#include "common/char_classes.hpp"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

/// The first byte of the text that ends an agent: a control byte (the
/// terminating NUL included), DEL, "<" or ">".
#if defined(__SSE2__)
__attribute__((no_sanitize_address)) inline const char*
find_markup(const char* text)
{
    const auto address = reinterpret_cast<std::uintptr_t>(text);
    const auto* block = reinterpret_cast<const __m128i*>(address & ~std::uintptr_t{15});
    const unsigned skip = static_cast<unsigned>(address & 15);
    const __m128i space = _mm_set1_epi8(' ');
    const __m128i del = _mm_set1_epi8(127);
    const __m128i less = _mm_set1_epi8('<');
    const __m128i greater = _mm_set1_epi8('>');
    const __m128i flip = _mm_set1_epi8(static_cast<char>(0x80));
    unsigned mask = ~0u << skip;  // bytes before the text do not count
    for (;; ++block, mask = ~0u) {
        const __m128i bytes = _mm_load_si128(block);
        // Bytes below 32 as unsigned: compare with the sign bit flipped.
        const __m128i control =
            _mm_cmplt_epi8(_mm_xor_si128(bytes, flip), _mm_xor_si128(space, flip));
        const __m128i hit =
            _mm_or_si128(_mm_or_si128(control, _mm_cmpeq_epi8(bytes, del)),
                         _mm_or_si128(_mm_cmpeq_epi8(bytes, less), _mm_cmpeq_epi8(bytes, greater)));
        const unsigned found = static_cast<unsigned>(_mm_movemask_epi8(hit)) & mask;
        if (found != 0)
            return reinterpret_cast<const char*>(block) + __builtin_ctz(found);
    }
}
#else
inline const char*
find_markup(const char* text)
{
    while (!has_class(static_cast<unsigned char>(*text), cc_markup))
        ++text;
    return text;
}
#endif

/// True when the locale leaves the URL characters as every ASCII locale has
/// them (letters and digits plain ASCII), so that find_url_end may test byte
/// ranges instead of the table.
extern bool g_url_chars_plain;

template <bool loose>
inline const char*
find_url_end_bytewise(const char* text)
{
    const std::uint16_t url_text = loose ? cc_url_loose_text : cc_url_strict_text;
    while (has_class(static_cast<unsigned char>(*text), url_text))
        ++text;
    return text;
}

/// The first byte of the text that cannot belong to a URL (cc_url_strict_text,
/// or with loose cc_url_loose_text, which also takes ";", "=", "?" and "&"):
/// the end of the text at the latest.
#if defined(__SSE2__)
template <bool loose = false>
__attribute__((no_sanitize_address)) inline const char*
find_url_end(const char* text)
{
    if (!g_url_chars_plain)
        return find_url_end_bytewise<loose>(text);
    const auto address = reinterpret_cast<std::uintptr_t>(text);
    const auto* block = reinterpret_cast<const __m128i*>(address & ~std::uintptr_t{15});
    const unsigned skip = static_cast<unsigned>(address & 15);
    // Outside: control bytes, DEL and " # $ % & ; < = > ? ^ ` { | } (but for
    // loose, & ; = ?).  Bytes from 128 on are negative as signed bytes,
    // below every range here.
    const auto in = [](__m128i b, char low, char high) {
        return _mm_and_si128(_mm_cmpgt_epi8(b, _mm_set1_epi8(static_cast<char>(low - 1))),
                             _mm_cmplt_epi8(b, _mm_set1_epi8(static_cast<char>(high + 1))));
    };
    const auto is = [](__m128i b, char c) { return _mm_cmpeq_epi8(b, _mm_set1_epi8(c)); };
    unsigned mask = ~0u << skip;  // bytes before the text do not count
    for (;; ++block, mask = ~0u) {
        const __m128i b = _mm_load_si128(block);
        __m128i out;
        if constexpr (loose)
            out = _mm_or_si128(_mm_or_si128(in(b, '"', '%'), _mm_or_si128(is(b, '<'), is(b, '>'))),
                               _mm_or_si128(in(b, 0, 31), in(b, '{', '}')));
        else
            out = _mm_or_si128(_mm_or_si128(in(b, '"', '&'), in(b, ';', '?')),
                               _mm_or_si128(in(b, 0, 31), in(b, '{', '}')));
        out = _mm_or_si128(out, _mm_or_si128(_mm_or_si128(is(b, '^'), is(b, '`')), is(b, 127)));
        const unsigned found = static_cast<unsigned>(_mm_movemask_epi8(out)) & mask;
        if (found != 0)
            return reinterpret_cast<const char*>(block) + __builtin_ctz(found);
    }
}
#else
template <bool loose = false>
inline const char*
find_url_end(const char* text)
{
    return find_url_end_bytewise<loose>(text);
}
#endif

/// True when the locale's host characters (cc_host) are the ASCII letters
/// and digits, "-", "." and ":" alone, so that find_host_end may test byte
/// ranges instead of the table.
extern bool g_host_chars_plain;

/// The first byte of the text that is no host character (cc_host): the end
/// of the text at the latest.
#if defined(__SSE2__)
__attribute__((no_sanitize_address)) inline const char*
find_host_end(const char* text)
{
    if (!g_host_chars_plain) {
        while (has_class(static_cast<unsigned char>(*text), cc_host))
            ++text;
        return text;
    }
    const auto address = reinterpret_cast<std::uintptr_t>(text);
    const auto* block = reinterpret_cast<const __m128i*>(address & ~std::uintptr_t{15});
    const unsigned skip = static_cast<unsigned>(address & 15);
    const auto in = [](__m128i b, char low, char high) {
        return _mm_and_si128(_mm_cmpgt_epi8(b, _mm_set1_epi8(static_cast<char>(low - 1))),
                             _mm_cmplt_epi8(b, _mm_set1_epi8(static_cast<char>(high + 1))));
    };
    unsigned mask = ~0u << skip;  // bytes before the text do not count
    for (;; ++block, mask = ~0u) {
        const __m128i b = _mm_load_si128(block);
        // "-" "." "/" and the digits and ":" are one range, but for "/".
        // Bytes from 128 on are negative as signed bytes: in no range.
        const __m128i host =
            _mm_or_si128(_mm_andnot_si128(_mm_cmpeq_epi8(b, _mm_set1_epi8('/')), in(b, '-', ':')),
                         _mm_or_si128(in(b, 'A', 'Z'), in(b, 'a', 'z')));
        const unsigned found = ~static_cast<unsigned>(_mm_movemask_epi8(host)) & mask & 0xffff;
        if (found != 0)
            return reinterpret_cast<const char*>(block) + __builtin_ctz(found);
    }
}
#else
inline const char*
find_host_end(const char* text)
{
    while (has_class(static_cast<unsigned char>(*text), cc_host))
        ++text;
    return text;
}
#endif
