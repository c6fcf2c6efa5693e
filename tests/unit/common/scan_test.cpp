#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "common/char_classes.hpp"
#include "common/scan.hpp"
#include "common/text.hpp"

TEST(FindMarkup, FindsTheFirstStopAtEveryAlignment)
{
    alignas(16) char buffer[96];
    for (std::size_t offset = 0; offset < 16; ++offset) {
        for (std::size_t stop = 0; stop < 40; ++stop) {
            for (const char c : {'\0', '\t', '\x1f', '\x7f', '<', '>'}) {
                std::memset(buffer, 'a', sizeof buffer);
                buffer[sizeof buffer - 1] = '\0';
                char* text = buffer + offset;
                text[stop] = c;
                if (offset > 0)
                    buffer[offset - 1] = '<';  // before the text: never found
                EXPECT_EQ(find_markup(text), text + stop) << offset << " " << stop << " " << int(c);
            }
        }
    }
}

TEST(FindMarkup, UpperHalfAndPrintableBytesPass)
{
    const std::string text = "Mozilla/5.0 (X11; \xc5\x82\xff ~ =) \"x\"";
    EXPECT_EQ(find_markup(text.c_str()), text.c_str() + text.size());
}

// The host's lowering takes whole pieces; it must agree with the locale's
// table byte for byte, whether the upper half of the table maps letters or
// the locale lowers ASCII its own way.
// Only the range changes, only its ASCII capitals change, and the blocks'
// overlap at the end: every length around the block size, every byte value.
TEST(LowerAscii, LowersTheCapitalsOfTheRangeOnly)
{
    for (std::size_t n = 0; n <= 50; ++n) {
        for (std::size_t offset = 0; offset < 16; ++offset) {
            char text[80];
            char want[80];
            for (std::size_t i = 0; i < sizeof text; ++i)
                text[i] = static_cast<char>((i * 37 + n * 11 + offset) % 256);
            std::memcpy(want, text, sizeof text);
            for (std::size_t i = offset; i < offset + n; ++i)
                if (want[i] >= 'A' && want[i] <= 'Z')
                    want[i] = static_cast<char>(want[i] + 'a' - 'A');
            lower_ascii(text + offset, text + offset + n);
            ASSERT_EQ(std::string(text, sizeof text), std::string(want, sizeof want))
                << n << " bytes at " << offset;
        }
    }
}

TEST(LowerLocaleText, AgreesWithTheLocaleTable)
{
    load_char_classes();
    const bool plain = char_class_detail::ascii_lower_plain;
    const unsigned char saved_upper = g_lower[0xa1];
    const unsigned char saved_i = g_lower['I'];
    g_lower[0xa1] = 0xb1;  // as ISO-8859-2 lowers its A with ogonek
    for (const bool ascii_plain : {true, false}) {
        char_class_detail::ascii_lower_plain = ascii_plain;
        g_lower['I'] = ascii_plain ? 'i' : 0xfd;  // a locale with a dotless i
        for (std::size_t length = 0; length < 70; ++length) {
            for (const std::size_t upper_at : {std::size_t{0}, length / 2, length, length + 1}) {
                char text[256];
                char expected[256];
                std::memset(text, 'Q', sizeof text);  // past the NUL: not the text
                for (std::size_t i = 0; i < length; ++i)
                    text[i] = "Ab-9.XYZ:Iq"[i % 11];
                if (upper_at < length)
                    text[upper_at] = '\xa1';
                text[length] = '\0';
                std::memcpy(expected, text, sizeof text);
                lower_locale(expected, sizeof expected);
                lower_locale_text(text);
                EXPECT_STREQ(text, expected) << length << " " << upper_at << " " << ascii_plain;
            }
        }
    }
    g_lower[0xa1] = saved_upper;
    g_lower['I'] = saved_i;
    char_class_detail::ascii_lower_plain = plain;
}

namespace {

// find stops at the first byte without any of the class bits, as the table
// says, for every byte value at every alignment, placed anywhere within span
// bytes; the byte before the text would stop it, were it read.
template <typename Find>
void
expect_stops_where_the_table_says(Find find, std::uint16_t bits, std::size_t span, char before)
{
    alignas(16) char buffer[320];
    ASSERT_LT(span + 32, sizeof buffer);
    for (std::size_t offset = 0; offset < 16; ++offset) {
        for (int c = 1; c < 256; ++c) {
            std::memset(buffer, 'a', sizeof buffer);
            buffer[sizeof buffer - 1] = '\0';
            if (offset > 0)
                buffer[offset - 1] = before;
            char* text = buffer + offset;
            const std::size_t at = (offset * 17 + static_cast<std::size_t>(c)) % span;
            text[at] = static_cast<char>(c);
            std::size_t expected = 0;
            while (has_class(static_cast<unsigned char>(text[expected]), bits))
                ++expected;
            EXPECT_EQ(find(text), text + expected) << offset << " " << c;
        }
    }
}

}  // namespace

// A URL ends at the same byte as the class table says, with the strict
// characters (a referrer's, or a request's with StripCGI) and with the loose
// ones (a request's); in the C locale the ranges are the ones tested, not the
// table.
TEST(FindUrlEnd, StopsWhereTheTableSays)
{
    load_char_classes();
    EXPECT_TRUE(g_url_chars_plain);
    expect_stops_where_the_table_says([](const char* t) { return find_url_end(t); },
                                      cc_url_strict_text, 30, '"');
    expect_stops_where_the_table_says([](const char* t) { return find_url_end<true>(t); },
                                      cc_url_loose_text, 30, '"');
}

// Counts saturate at the largest value, from the first digit that would pass
// it: the last one that fits, one beyond, and one beyond in the tens.
TEST(ScanU64, DigitsUpToTheLargestValueThenSaturated)
{
    EXPECT_EQ(scan_u64("18446744073709551615"), ~0ULL);
    EXPECT_EQ(scan_u64("18446744073709551614 x"), ~0ULL - 1);
    EXPECT_EQ(scan_u64("18446744073709551616"), ~0ULL);
    EXPECT_EQ(scan_u64("18446744073709551620"), ~0ULL);
    EXPECT_EQ(scan_u64("184467440737095516150"), ~0ULL);
    EXPECT_EQ(scan_u64("0007-1"), 7u);
    EXPECT_EQ(scan_u64("-1"), 0u);
    EXPECT_EQ(scan_u64(""), 0u);
}

// A host's characters end where the class table says, in a text as long as
// a host may be.
TEST(FindHostEnd, StopsWhereTheTableSays)
{
    load_char_classes();
    EXPECT_TRUE(g_host_chars_plain);
    expect_stops_where_the_table_says([](const char* t) { return find_host_end(t); }, cc_host, 260,
                                      '_');
}
