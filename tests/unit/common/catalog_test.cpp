#include <cstring>
#include <string>

#include <gtest/gtest.h>
#include <iconv.h>

#include "common/catalog.hpp"
#include "common/latin2.hpp"
#include "test_support.hpp"

TEST(Catalog, PolishLettersBecomeLatin2Bytes)
{
    EXPECT_STREQ("Błąd"_pl, "\x42\xb3\xb1\x64");
    EXPECT_STREQ("ąćęłńóśźżĄĆĘŁŃÓŚŹŻ"_pl,
                 "\xb1\xe6\xea\xb3\xf1\xf3\xb6\xbc\xbf\xa1\xc6\xca\xa3\xd1\xd3\xa6\xac\xaf");
}

TEST(Catalog, UpperHalfTableAgreesWithIconv)
{
    iconv_t cd = iconv_open("UTF-8", "ISO-8859-2");
    ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
    for (int byte = 0xA0; byte <= 0xFF; ++byte) {
        char in[1] = {static_cast<char>(byte)};
        char out[4] = {};
        char* ip = in;
        char* op = out;
        std::size_t il = 1, ol = sizeof out;
        ASSERT_NE(iconv(cd, &ip, &il, &op, &ol), static_cast<std::size_t>(-1));
        const auto b0 = static_cast<unsigned char>(out[0]);
        const auto b1 = static_cast<unsigned char>(out[1]);
        const char32_t cp = b0 < 0x80 ? b0 : ((b0 & 0x1Fu) << 6) | (b1 & 0x3Fu);
        EXPECT_EQ(static_cast<char32_t>(latin2_detail::upper_half[byte - 0xA0]), cp)
            << "byte " << byte;
    }
    iconv_close(cd);
}

TEST(Catalog, TextsReadBackAsTheirPolish)
{
    EXPECT_EQ(utf8_of_latin2(msg::no_valid_records), "Nie znalazłem prawidłowych rekordów!");
    EXPECT_EQ(utf8_of_latin2(msg::month_name[10]), "październik");
    EXPECT_EQ(utf8_of_latin2(msg::month_short[10]), "Paź");
    EXPECT_EQ(utf8_of_latin2(msg::response_description[24]),
              "Code 407 - Niezbędna autentykacja przez proxy");
}

TEST(Catalog, ResponseRowsAreInCodeOrder)
{
    // The state file and the month page rely on this fixed order.
    const int codes[41] = {0,   100, 101, 200, 201, 202, 203, 204, 205, 206, 300, 301, 302, 303,
                           304, 305, 307, 400, 401, 402, 403, 404, 405, 406, 407, 408, 409, 410,
                           411, 412, 413, 414, 415, 416, 417, 500, 501, 502, 503, 504, 505};
    EXPECT_STREQ(msg::response_description[0], "Niezdefiniowany kod odpowiedzi");
    for (int row = 1; row < 41; ++row) {
        char prefix[16];
        std::snprintf(prefix, sizeof prefix, "Code %d - ", codes[row]);
        EXPECT_EQ(std::strncmp(msg::response_description[row], prefix, std::strlen(prefix)), 0)
            << msg::response_description[row];
    }
}

TEST(Catalog, UsageHasOneLinePerDocumentedOption)
{
    EXPECT_EQ(msg::help_line_count, 48u);
    EXPECT_STREQ(msg::help_lines[4], "-F typ    = typ logu.  typ= (clf | ftp | squid | w3c)");
    for (std::size_t i = 0; i < msg::help_line_count; ++i)
        EXPECT_EQ(msg::help_lines[i][0], '-') << i;
}
