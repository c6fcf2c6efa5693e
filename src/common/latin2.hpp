// Compile-time conversion of UTF-8 string literals to ISO-8859-2 bytes.
#pragma once

#include <array>
#include <cstddef>

namespace latin2_detail {

// Unicode code points of the ISO-8859-2 bytes 0xA0 to 0xFF, in byte order.
inline constexpr char16_t upper_half[96] = {
    0x00A0, 0x0104, 0x02D8, 0x0141, 0x00A4, 0x013D, 0x015A, 0x00A7, 0x00A8, 0x0160, 0x015E, 0x0164,
    0x0179, 0x00AD, 0x017D, 0x017B, 0x00B0, 0x0105, 0x02DB, 0x0142, 0x00B4, 0x013E, 0x015B, 0x02C7,
    0x00B8, 0x0161, 0x015F, 0x0165, 0x017A, 0x02DD, 0x017E, 0x017C, 0x0154, 0x00C1, 0x00C2, 0x0102,
    0x00C4, 0x0139, 0x0106, 0x00C7, 0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E,
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7, 0x0158, 0x016E, 0x00DA, 0x0170,
    0x00DC, 0x00DD, 0x0162, 0x00DF, 0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7,
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F, 0x0111, 0x0144, 0x0148, 0x00F3,
    0x00F4, 0x0151, 0x00F6, 0x00F7, 0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,
};

// A string literal usable as a template argument.
template <std::size_t N> struct utf8_literal {
    char text[N];
    consteval utf8_literal(const char (&s)[N])
    {
        for (std::size_t i = 0; i < N; ++i)
            text[i] = s[i];
    }
};

// Decodes the UTF-8 sequence at s[i] and advances i.  ASCII and two-byte
// sequences are all that an ISO-8859-2 text can contain.
consteval char32_t
next_code_point(const char* s, std::size_t& i)
{
    const auto b0 = static_cast<unsigned char>(s[i++]);
    if (b0 < 0x80)
        return b0;
    if ((b0 & 0xE0) != 0xC0)
        throw "catalog text: character outside ISO-8859-2";
    const auto b1 = static_cast<unsigned char>(s[i++]);
    if ((b1 & 0xC0) != 0x80)
        throw "catalog text: malformed UTF-8";
    return (char32_t(b0 & 0x1F) << 6) | (b1 & 0x3F);
}

consteval char
latin2_byte(char32_t cp)
{
    if (cp < 0x80)
        return static_cast<char>(cp);
    for (int i = 0; i < 96; ++i)
        if (upper_half[i] == cp)
            return static_cast<char>(0xA0 + i);
    throw "catalog text: character outside ISO-8859-2";
}

template <utf8_literal S>
consteval std::size_t
latin2_length()
{
    std::size_t n = 0;
    for (std::size_t i = 0; S.text[i] != '\0'; ++n)
        next_code_point(S.text, i);
    return n;
}

template <utf8_literal S>
consteval auto
to_latin2()
{
    std::array<char, latin2_length<S>() + 1> out{};
    std::size_t o = 0;
    for (std::size_t i = 0; S.text[i] != '\0';)
        out[o++] = latin2_byte(next_code_point(S.text, i));
    return out;
}

template <utf8_literal S> inline constexpr auto latin2_storage = to_latin2<S>();

}  // namespace latin2_detail

// "Błąd"_pl is a const char* to the ISO-8859-2 bytes of the text.
template <latin2_detail::utf8_literal S> consteval const char* operator""_pl()
{
    return latin2_detail::latin2_storage<S>.data();
}
