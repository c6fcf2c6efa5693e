#include "common/char_classes.hpp"

#include <cctype>
#include <cstdint>
#include <cstring>

#include "common/scan.hpp"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

bool g_url_chars_plain = false;
bool g_host_chars_plain = false;

namespace char_class_detail {

bool ascii_lower_plain = false;

// Whole pieces up to the one that holds the NUL; capitals after the NUL are
// lowered too, which no reader of the text sees.  A piece with a byte from
// 128 on before its NUL goes through the locale's table.
void
lower_pieces(char* text, std::size_t size)
{
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    const __m128i before_a = _mm_set1_epi8('A' - 1);
    const __m128i after_z = _mm_set1_epi8('Z' + 1);
    const __m128i case_bit = _mm_set1_epi8(0x20);
    for (std::size_t i = 0; i < size; i += 16) {
        char* piece = text + i;
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(piece));
        const auto nul = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, zero)));
        const unsigned live = nul != 0 ? (nul & (0u - nul)) - 1 : 0xffffu;
        if ((static_cast<unsigned>(_mm_movemask_epi8(bytes)) & live) != 0) {
            lower_locale(piece, size - i);
            return;
        }
        // Signed compares: bytes from 128 on are below 'A' and stay.
        const __m128i capital =
            _mm_and_si128(_mm_cmpgt_epi8(bytes, before_a), _mm_cmplt_epi8(bytes, after_z));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(piece),
                         _mm_or_si128(bytes, _mm_and_si128(capital, case_bit)));
        if (nul != 0)
            return;
    }
#else
    lower_locale(text, size);
#endif
}

}  // namespace char_class_detail

void
load_char_classes()
{
    for (int c = 0; c < 256; ++c) {
        std::uint16_t bits = 0;
        const bool alnum = std::isalnum(c) != 0;
        if (alnum)
            bits |= cc_alnum;
        // Bytes of the upper half always pass as URL characters, and the end
        // of the text counts as accepted: callers stop there themselves.
        if (c >= 128 || c == 0 || (c < 128 && alnum) || std::strchr(":/\\.,' *!-+_@~()[]", c))
            bits |= cc_url_strict | cc_url_loose;
        if (c != 0 && std::strchr(";?&=", c))
            bits |= cc_url_loose;
        if (c < 32 || c == 127 || c == '<' || c == '>')
            bits |= cc_markup;
        if (c < 32 || c == 127 || c == '<')
            bits |= cc_ref_stop;
        if (c == 0 || c == ' ' || c == '\t' || c == '"' || c == '[' || c == ']' || c == '(' ||
            c == ')')
            bits |= cc_field;
        if (alnum || c == '-' || c == '.' || c == ':')
            bits |= cc_host;
        if (c != 0)
            bits |= (bits & cc_url_strict ? cc_url_strict_text : 0) |
                    (bits & cc_url_loose ? cc_url_loose_text : 0);
        g_char_class[c] = bits;
        g_lower[c] = static_cast<unsigned char>(std::tolower(c));
    }
    // The URL characters as find_url_end tests them.
    g_url_chars_plain = true;
    for (int c = 0; c < 256; ++c) {
        const bool outside = c < 32 || (c >= '"' && c <= '&') || (c >= ';' && c <= '?') ||
                             c == '^' || c == '`' || (c >= '{' && c <= '}') || c == 127;
        const bool loose_too = c == '&' || c == ';' || c == '=' || c == '?';
        if (has_class(static_cast<unsigned char>(c), cc_url_strict_text) == outside ||
            has_class(static_cast<unsigned char>(c), cc_url_loose_text) == (outside && !loose_too))
            g_url_chars_plain = false;
    }
    // The host characters as find_host_end tests them.
    g_host_chars_plain = true;
    for (int c = 0; c < 256; ++c) {
        const bool host = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') || c == '-' || c == '.' || c == ':';
        if (has_class(static_cast<unsigned char>(c), cc_host) != host)
            g_host_chars_plain = false;
    }
    char_class_detail::ascii_lower_plain = true;
    for (int c = 0; c < 128; ++c) {
        const int plain = c >= 'A' && c <= 'Z' ? c + 'a' - 'A' : c;
        if (g_lower[c] != plain)
            char_class_detail::ascii_lower_plain = false;
    }
}
