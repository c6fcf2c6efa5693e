// Scans of texts sixteen bytes at a time.
#pragma once

#include <cstdint>

#include "common/char_classes.hpp"

#if defined(__SSE2__)
#include <emmintrin.h>

namespace scan_detail {

/// The bytes of b from low to high, as signed bytes: those from 128 on are
/// negative, below every range of printable characters.
inline __m128i
in_range(__m128i b, char low, char high)
{
    return _mm_and_si128(_mm_cmpgt_epi8(b, _mm_set1_epi8(static_cast<char>(low - 1))),
                         _mm_cmplt_epi8(b, _mm_set1_epi8(static_cast<char>(high + 1))));
}

/// The first byte of the text that stops(block) marks in its block of
/// sixteen, which must mark the text's NUL.  The loads are aligned, so they
/// never cross into a page the text does not reach; the bytes of the first
/// block before the text do not count.
template <typename Stops>
__attribute__((no_sanitize_address)) inline const char*
first_stop(const char* text, Stops stops)
{
    const auto address = reinterpret_cast<std::uintptr_t>(text);
    const auto* block = reinterpret_cast<const __m128i*>(address & ~std::uintptr_t{15});
    unsigned mask = ~0u << (address & 15);
    for (;; ++block, mask = ~0u) {
        const auto found =
            static_cast<unsigned>(_mm_movemask_epi8(stops(_mm_load_si128(block)))) & mask;
        if (found != 0)
            return reinterpret_cast<const char*>(block) + __builtin_ctz(found);
    }
}

}  // namespace scan_detail
#endif

/// The first byte of the text that ends an agent: a control byte (the
/// terminating NUL included), DEL, "<" or ">".
#if defined(__SSE2__)
inline const char*
find_markup(const char* text)
{
    return scan_detail::first_stop(text, [](__m128i b) {
        const auto is = [b](char c) { return _mm_cmpeq_epi8(b, _mm_set1_epi8(c)); };
        // Bytes below 32 as unsigned: compare with the sign bit flipped.
        const __m128i flip = _mm_set1_epi8(static_cast<char>(0x80));
        const __m128i control =
            _mm_cmplt_epi8(_mm_xor_si128(b, flip), _mm_xor_si128(_mm_set1_epi8(' '), flip));
        return _mm_or_si128(_mm_or_si128(control, is(127)), _mm_or_si128(is('<'), is('>')));
    });
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
inline const char*
find_url_end(const char* text)
{
    if (!g_url_chars_plain)
        return find_url_end_bytewise<loose>(text);
    // Outside: control bytes, DEL and " # $ % & ; < = > ? ^ ` { | } (but for
    // loose, & ; = ?).
    return scan_detail::first_stop(text, [](__m128i b) {
        using scan_detail::in_range;
        const auto is = [b](char c) { return _mm_cmpeq_epi8(b, _mm_set1_epi8(c)); };
        __m128i out;
        if constexpr (loose)
            out = _mm_or_si128(in_range(b, '"', '%'), _mm_or_si128(is('<'), is('>')));
        else
            out = _mm_or_si128(in_range(b, '"', '&'), in_range(b, ';', '?'));
        out = _mm_or_si128(out, _mm_or_si128(in_range(b, 0, 31), in_range(b, '{', '}')));
        return _mm_or_si128(out, _mm_or_si128(_mm_or_si128(is('^'), is('`')), is(127)));
    });
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

inline const char*
find_host_end_bytewise(const char* text)
{
    while (has_class(static_cast<unsigned char>(*text), cc_host))
        ++text;
    return text;
}

/// The first byte of the text that is no host character (cc_host): the end
/// of the text at the latest.
#if defined(__SSE2__)
inline const char*
find_host_end(const char* text)
{
    if (!g_host_chars_plain)
        return find_host_end_bytewise(text);
    return scan_detail::first_stop(text, [](__m128i b) {
        using scan_detail::in_range;
        // "-" "." "/" and the digits and ":" are one range, but for "/".
        const __m128i host = _mm_or_si128(
            _mm_andnot_si128(_mm_cmpeq_epi8(b, _mm_set1_epi8('/')), in_range(b, '-', ':')),
            _mm_or_si128(in_range(b, 'A', 'Z'), in_range(b, 'a', 'z')));
        return _mm_andnot_si128(host, _mm_set1_epi8(-1));
    });
}
#else
inline const char*
find_host_end(const char* text)
{
    return find_host_end_bytewise(text);
}
#endif
