#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "common/scan.hpp"

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
