#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "report/number_text.hpp"

namespace {

std::string
line_text(number_line& line)
{
    char* data = nullptr;
    std::size_t size = 0;
    std::FILE* f = open_memstream(&data, &size);
    line.write(f);
    std::fclose(f);
    std::string text(data, size);
    std::free(data);
    return text;
}

std::string
fixed_text(double v, int width, int decimals)
{
    number_line line;
    line.fixed(v, width, decimals);
    return line_text(line);
}

std::string
printf_text(double v, int width, int decimals)
{
    char text[512];
    std::snprintf(text, sizeof text, "%*.*f", width, decimals, v);
    return text;
}

}  // namespace

// Every value must come out as printf writes it, the halves included: printf
// rounds the exact binary value, ties to even.
TEST(NumberLine, FixedIsWhatPrintfWrites)
{
    const double edges[] = {0.0,          -0.0,
                            0.005,        0.015,
                            0.125,        0.375,
                            2.5,          3.5,
                            10.5,         99.995,
                            100.0,        1e-310,
                            12.345,       1e16,
                            1e17,         1e300,
                            -1.5,         std::numeric_limits<double>::infinity(),
                            std::nan(""), 4503599627370495.5,
                            0.285,        1.005};
    for (const double v : edges)
        for (const int decimals : {0, 2})
            EXPECT_EQ(fixed_text(v, 6, decimals), printf_text(v, 6, decimals)) << v;

    std::mt19937_64 random(7);
    for (int i = 0; i < 50000; ++i) {
        // Shares as the pages make them, kilobyte counts, and halves of both.
        const float share =
            static_cast<float>(random() % 100000) / static_cast<float>(1 + random() % 100000);
        const double kb = static_cast<double>(random() % 100000000) / 1024.0;
        const double half = static_cast<double>(random() % 20000) / 8.0;
        for (const double v : {static_cast<double>(share) * 100.0, kb, half}) {
            ASSERT_EQ(fixed_text(v, 6, 2), printf_text(v, 6, 2)) << v;
            ASSERT_EQ(fixed_text(v, 8, 0), printf_text(v, 8, 0)) << v;
        }
    }
}

TEST(NumberLine, CountsPadLeftOrRight)
{
    number_line line;
    line.count(42, 8, true);
    line.text("|");
    line.count(42, 8);
    line.text("|");
    line.count(18446744073709551615ULL, 8);
    line.text("|");
    line.count(0, 0);
    EXPECT_EQ(line_text(line), "42      |      42|18446744073709551615|0");
}
