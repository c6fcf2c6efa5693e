#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "common/terminal.hpp"
#include "driver/progress_meter.hpp"

TEST(Terminal, EveryLatin2ByteBecomesItsCharacterInUtf8)
{
    std::string all;
    for (int c = 1; c < 256; ++c)
        all += static_cast<char>(c);
    const std::string utf8 = latin2_to_utf8(all.data(), all.size());
    // ASCII stays one byte; each of the 128 others takes two.
    EXPECT_EQ(utf8.size(), 127u + 2 * 128u);
    EXPECT_EQ(utf8.substr(0, 127), all.substr(0, 127));
    EXPECT_EQ(latin2_to_utf8("\xb1\xbf\xea\xb3\xa0", 5), "ążęł\u00a0");
    EXPECT_EQ(latin2_to_utf8("U\xbfywam", 6), "Używam");
    EXPECT_EQ(latin2_to_utf8("", 0), "");
}

TEST(ProgressMeter, StatusTextNamesCountRateBytesShareAndMonth)
{
    char text[256];
    progress_text(text, sizeof text, 1000, 2.0, 2500000, 10000000, 3, 2024);
    EXPECT_STREQ(text, "Czytam: 1000 zapis\xf3w (500/s), 2.5 MB (25%), marzec 2024");
    // Unknown size: no share; no month counted yet: no month; read past a
    // size that grew since it was taken: at most all of it.
    progress_text(text, sizeof text, 7, 0.0, 1000, 0, 0, 0);
    EXPECT_STREQ(text, "Czytam: 7 zapis\xf3w (0/s), 0.0 MB");
    progress_text(text, sizeof text, 7, 1.0, 200, 100, 12, 2025);
    EXPECT_STREQ(text, "Czytam: 7 zapis\xf3w (7/s), 0.0 MB (100%), grudzie\xf1 2025");
    // A short buffer is cut, never overrun.
    char small[12];
    std::memset(small, 'x', sizeof small);
    progress_text(small, 10, 123456789, 1.0, 1, 2, 5, 2024);
    EXPECT_EQ(std::strlen(small), 9u);
    EXPECT_EQ(small[11], 'x');
}
