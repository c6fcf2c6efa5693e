#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

#include <gdfontmb.h>
#include <gdfonts.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/catalog.hpp"
#include "common/files.hpp"
#include "common/settings.hpp"
#include "graphs/charts.hpp"
#include "test_support.hpp"

namespace {

// The chart as a reader of the file sees it: palette indices survive PNG.
owned_image
read_png(const char* path)
{
    const owned_file f(std::fopen(path, "rb"));
    return owned_image(f ? gdImageCreateFromPng(f.get()) : nullptr);
}

int
px(const owned_image& im, int x, int y)
{
    return gdImageGetPixel(im.get(), x, y);
}

int
count(const owned_image& im, int colour, int x0, int y0, int x1, int y1)
{
    int n = 0;
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x)
            n += px(im, x, y) == colour;
    return n;
}

// True when the text drawn at (x, y) is exactly what the chart shows in that
// colour within the text's box, up to column x_last.
bool
shows(const owned_image& chart, int x, int y, const char* s, int colour, bool up = false,
      gdFont* font = gdFontGetSmall(), int x_last = INT_MAX)
{
    const owned_image ref(gdImageCreate(gdImageSX(chart.get()), gdImageSY(chart.get())));
    gdImageColorAllocate(ref.get(), 0, 0, 0);
    auto* text = reinterpret_cast<unsigned char*>(const_cast<char*>(s));
    const int n = static_cast<int>(std::strlen(s));
    (up ? gdImageStringUp : gdImageString)(ref.get(), font, x, y, text, 1);
    const int x1 = std::min(x_last, x + (up ? font->h : n * font->w) - 1);
    const int y0 = up ? y - n * font->w + 1 : y, y1 = up ? y : y + font->h - 1;
    for (int py = y0; py <= y1; ++py)
        for (int px_ = x; px_ <= x1; ++px_)
            if ((gdImageGetPixel(ref.get(), px_, py) == 1) != (px(chart, px_, py) == colour))
                return false;
    return true;
}

// An axis value: upwards, its upper end at the panel top, left of the border.
bool
shows_axis(const owned_image& chart, int top, const char* s)
{
    const int len = static_cast<int>(std::strlen(s));
    return shows(chart, 8, top + 6 * len, s, chart_black, true, gdFontGetSmall(), 18);
}

int
hourly(const u64 (&hits)[24], const u64 (&files)[24], const char* path = "h.png")
{
    const u64 pages[24] = {};
    return draw_hourly_chart(path, "T", hits, files, pages);
}

using Chart = scratch_test;

}  // namespace

TEST_F(Chart, DigitPairsWithAnythingElseCountingAsZero)
{
    const auto is = [](const char* text, int r, int g, int b) {
        const rgb c = parse_colour(text);
        return c.red == r && c.green == g && c.blue == b;
    };
    EXPECT_TRUE(is("#00805c", 0, 128, 92));
    EXPECT_TRUE(is("FFa0Bb", 255, 160, 187)) << "the # is optional, case is not";
    EXPECT_TRUE(is("#zz12g9", 0, 0x12, 9));
    EXPECT_TRUE(is("##1234", 1, 0x23, 0x40)) << "only one # is skipped";
    EXPECT_TRUE(is("#fA", 250, 0, 0)) << "the end counts as 0, and nothing past it is read";
    EXPECT_TRUE(is("", 0, 0, 0));
}

TEST_F(Chart, BevelBorderTitleAndFixedPaletteOrder)
{
    startup_settings().color_hit = {"#010203"};
    startup_settings().color_visit = {"#0a0b0c"};
    const u64 none[24] = {};
    ASSERT_EQ(hourly(none, none), 0);
    const owned_image im = read_png("h.png");
    ASSERT_TRUE(im && !gdImageTrueColor(im.get()));
    const int rgb_of[11] = {0xc0c0c0, 0x808080, 0x000000, 0xffffff, 0x0000ff, 0x010203,
                            0xff8000, 0x0040ff, 0xff0000, 0x00e0ff, 0x0a0b0c};
    for (int i = 0; i < 11; ++i)
        EXPECT_EQ(gdImageRed(im.get(), i) << 16 | gdImageGreen(im.get(), i) << 8 |
                      gdImageBlue(im.get(), i),
                  rgb_of[i])
            << "palette index " << i;
    EXPECT_TRUE(px(im, 0, 0) == chart_black && px(im, 511, 255) == chart_black);
    for (int k = 1; k <= 4; ++k) {
        EXPECT_TRUE(px(im, k, 100) == chart_white && px(im, 100, k) == chart_white) << k;
        EXPECT_TRUE(px(im, 511 - k, 100) == chart_dark_grey &&
                    px(im, 100, 255 - k) == chart_dark_grey)
            << k;
    }
    // Inside the bevel, the plot border lit inside its top and left.
    EXPECT_TRUE(px(im, 5, 100) == chart_grey && px(im, 19, 100) == chart_white &&
                px(im, 20, 100) == chart_black && px(im, 100, 24) == chart_white &&
                px(im, 100, 25) == chart_black && px(im, 491, 100) == chart_black &&
                px(im, 100, 235) == chart_black);
    EXPECT_TRUE(shows(im, 20, 8, "T", chart_blue, false, gdFontGetMediumBold()));
}

TEST_F(Chart, HourlyBarsScaleToTheTopAndLaterSeriesOverlap)
{
    u64 hits[24] = {}, files[24] = {};
    hits[3] = 100;
    files[3] = 50;
    startup_settings().graph_lines = 20;
    ASSERT_EQ(hourly(hits, files), 0);
    owned_image im = read_png("h.png");
    ASSERT_TRUE(im);
    // Hits of hour 3 span x 86 to 96, files 89 to 99; the maximum reaches 232 - 203.
    EXPECT_EQ(px(im, 87, 28), chart_grey);
    EXPECT_TRUE(px(im, 87, 29) == chart_black && px(im, 87, 30) == chart_hit);
    EXPECT_EQ(px(im, 95, 129), chart_hit) << "files over hits";
    EXPECT_TRUE(px(im, 95, 130) == chart_black && px(im, 95, 131) == chart_file)
        << "half the maximum: trunc(232 - 101.5)";
    EXPECT_TRUE(shows_axis(im, 26, "100"));
    EXPECT_EQ(count(im, chart_dark_grey, 300, 26, 300, 234), 20);
    EXPECT_TRUE(px(im, 300, 35) == chart_dark_grey && px(im, 300, 225) == chart_dark_grey)
        << "20 lines, 210 div 21 apart";

    startup_settings().graph_lines = 0;
    ASSERT_EQ(hourly(hits, files), 0);
    im = read_png("h.png");
    EXPECT_EQ(count(im, chart_dark_grey, 21, 26, 489, 234), 0);
}

TEST_F(Chart, EmptyMonthHasAllLabelsAxesOfOneAndNoBars)
{
    const daily_counters none[31] = {};
    ASSERT_EQ(draw_daily_chart("d.png", "T", 2, 2023, none), 0);
    const owned_image im = read_png("d.png");
    ASSERT_TRUE(im);
    for (int colour = chart_blue; colour <= chart_visit; ++colour)
        EXPECT_EQ(count(im, colour, 21, 26, 489, 376), 0) << colour;
    EXPECT_TRUE(shows_axis(im, 26, "1") && shows_axis(im, 180, "1") && shows_axis(im, 280, "0"));
    // 1 February 2023 is a Wednesday; February too shows 31 days.
    EXPECT_TRUE(shows(im, 70, 382, " 4", chart_hit) && shows(im, 85, 382, " 5", chart_hit));
    EXPECT_TRUE(shows(im, 100, 382, " 6", chart_black) && shows(im, 475, 382, "31", chart_black));
}

TEST_F(Chart, DailyPanelsEachScaleToTheirOwnTop)
{
    daily_counters days[31] = {};
    days[0] = {.hits = 40, .bytes = 5 * 1024.0 * 1024, .sites = 7, .visits = 14};
    days[1].hits = 20;
    ASSERT_EQ(draw_daily_chart("d.png", "T", 3, 2024, days), 0);
    const owned_image im = read_png("d.png");
    ASSERT_TRUE(im);
    EXPECT_TRUE(px(im, 26, 29) == chart_black && px(im, 26, 30) == chart_hit);
    EXPECT_TRUE(px(im, 41, 102) == chart_black && px(im, 41, 103) == chart_hit)
        << "half: trunc(176 - 73.5)";
    EXPECT_TRUE(px(im, 26, 184) == chart_black && px(im, 26, 185) == chart_visit);
    EXPECT_TRUE(px(im, 34, 229) == chart_grey && px(im, 34, 230) == chart_black &&
                px(im, 32, 231) == chart_site)
        << "half the visits, drawn over them";
    EXPECT_TRUE(px(im, 30, 284) == chart_black && px(im, 30, 285) == chart_kbyte);
    EXPECT_TRUE(shows_axis(im, 26, "40") && shows_axis(im, 180, "14"));
    EXPECT_TRUE(shows_axis(im, 280, "5120"));
}

// A month of one day, its last, with the largest count there is: one bar per
// series at day 31 and the longest axis value, twenty digits.
TEST_F(Chart, OneDayMonthAndTheLongestAxisValue)
{
    daily_counters days[31] = {};
    days[30] = {.hits = ~0ULL, .files = 1, .bytes = 1024, .sites = 1, .visits = 1};
    ASSERT_EQ(draw_daily_chart("d.png", "T", 12, 2024, days), 0);
    const owned_image im = read_png("d.png");
    ASSERT_TRUE(im);
    EXPECT_TRUE(px(im, 476, 29) == chart_black && px(im, 476, 30) == chart_hit);
    EXPECT_TRUE(px(im, 480, 284) == chart_black && px(im, 480, 285) == chart_kbyte);
    EXPECT_EQ(count(im, chart_hit, 21, 30, 470, 175), 0) << "no bar before day 31";
    EXPECT_EQ(count(im, chart_kbyte, 21, 285, 470, 374), 0);
    EXPECT_TRUE(shows_axis(im, 26, "18446744073709551615"));
}

TEST_F(Chart, LegendsBesideThePanelsOnlyWhenAsked)
{
    const u64 none[24] = {};
    const auto len = [](const char* s) { return 6 * static_cast<int>(std::strlen(s)); };
    ASSERT_EQ(hourly(none, none), 0);
    owned_image im = read_png("h.png");
    EXPECT_TRUE(shows(im, 493, len(msg::hits_heading) + 27, msg::hits_heading, chart_hit, true));
    EXPECT_GT(count(im, chart_dark_grey, 494, 26, 506, 234), 0) << "shadows";
    const daily_counters days[31] = {};
    ASSERT_EQ(draw_daily_chart("d.png", "T", 1, 2024, days), 0);
    im = read_png("d.png");
    EXPECT_TRUE(shows(im, 493, 375, msg::kb_heading, chart_kbyte, true));
    static const history_row rows[history_months] = {};
    ASSERT_EQ(draw_yearly_chart("y.png", "T", rows), 0);
    im = read_png("y.png");
    EXPECT_TRUE(shows(im, 490 - len(msg::kb_heading), 236, msg::kb_heading, chart_kbyte));
    const int lp = len(msg::pages_heading), lf = len(msg::files_heading);
    EXPECT_TRUE(shows(im, 5, 206 - lp - lf, msg::hits_heading, chart_hit, true));

    startup_settings().graph_legend = false;
    ASSERT_EQ(hourly(none, none), 0);
    im = read_png("h.png");
    EXPECT_EQ(count(im, chart_hit, 0, 0, 511, 255) + count(im, chart_dark_grey, 494, 26, 506, 234),
              0);
}

TEST_F(Chart, MonthLabelsFollowGraphMonths)
{
    static history_row rows[history_months];
    for (int i = history_months - 1, y = 2024, m = 3; i >= 0; --i, m = m == 1 ? 12 : m - 1) {
        rows[i] = {.year = y, .month = m, .hits = 10};
        y -= m == 1;
    }
    const auto chart = [&](int months) {
        startup_settings().graph_months = months;
        EXPECT_EQ(draw_yearly_chart("y.png", "T", rows), 0);
        return read_png("y.png");
    };
    owned_image im = chart(12);  // April 2023 to March 2024
    ASSERT_TRUE(im);
    EXPECT_TRUE(shows(im, 27, 236, "Kwi", chart_black) && shows(im, 284, 236, "Mar", chart_black));
    EXPECT_TRUE(px(im, 283, 29) == chart_black && px(im, 283, 30) == chart_hit)
        << "equal bars reach the top";

    im = chart(24);  // from April 2022: January 2023 is the tenth
    EXPECT_TRUE(shows(im, 26, 236, "K", chart_black) && shows(im, 131, 236, "S", chart_blue));
    EXPECT_EQ(count(im, chart_blue, 21, 236, 303, 248),
              2 * count(im, chart_blue, 131, 236, 136, 248));

    im = chart(36);  // from April 2021
    EXPECT_TRUE(shows(im, 46, 236, "2021", chart_black) && shows(im, 90, 236, "|", chart_blue));
    EXPECT_TRUE(shows(im, 127, 236, "2022", chart_black) && shows(im, 277, 236, "|", chart_blue));
    EXPECT_EQ(count(im, chart_black, 279, 236, 303, 248), 0) << "no room for 2024";
}

TEST_F(Chart, SlicesRemainderAndOverfullPie)
{
    const char* const labels[10] = {"A", "B", "C", "D"};
    const auto pie = [&](u64 total, const u64(&values)[10]) {
        EXPECT_EQ(draw_pie_chart("p.png", "T", total, values, labels), 0);
        return read_png("p.png");
    };
    gdFont* const bold = gdFontGetMediumBold();
    startup_settings().pie_color4 = {"#fefdfc"};
    owned_image im = pie(100, {60, 40});
    ASSERT_TRUE(im);
    EXPECT_EQ(gdImageColorsTotal(im.get()), 15) << "the pie colours follow the eleven";
    EXPECT_TRUE(gdImageRed(im.get(), chart_pie1) == 0x80 &&
                gdImageBlue(im.get(), chart_pie4) == 0xfc);
    // The mid-points of 0 to 60 % and 60 to 100 %, and a point just above angle 0.
    EXPECT_EQ(px(im, 131, 212), chart_hit);
    EXPECT_TRUE(px(im, 180, 87) == chart_site && px(im, 250, 140) == chart_site);
    EXPECT_TRUE(shows(im, 431, 47, "A (60%)", chart_hit, false, bold));
    EXPECT_TRUE(shows(im, 431, 67, "B (40%)", chart_site, false, bold));
    EXPECT_EQ(count(im, chart_white, 36, 50, 276, 250), 0) << "no remainder slice";

    im = pie(1000, {500, 250, 4, 3});  // 0.4 % ends the walk
    EXPECT_EQ(px(im, 212, 103), chart_white);
    EXPECT_TRUE(shows(im, 410, 87, "Inne (25%)", chart_white, false, bold));
    EXPECT_EQ(count(im, chart_file, 0, 0, 511, 299) + count(im, chart_kbyte, 0, 0, 511, 299), 0);

    im = pie(100, {70, 20});  // the remainder is what the legend lines leave
    EXPECT_TRUE(shows(im, 410, 87, "Inne (10%)", chart_white, false, bold));

    im = pie(100, {50, 30, 25});  // 105 %: the last slice ends just above the start line
    EXPECT_TRUE(px(im, 220, 111) == chart_file && px(im, 270, 149) == chart_black);
    EXPECT_TRUE(shows(im, 431, 87, "C (25%)", chart_file, false, bold));
    EXPECT_EQ(count(im, chart_white, 36, 50, 276, 250), 0);
    EXPECT_EQ(count(im, chart_white, 300, 100, 489, 120), 0) << "no remainder legend";
}

TEST_F(Chart, LinksAreRefusedOtherFailuresSkippedSilently)
{
    const u64 none[24] = {};
    write_file("target", "keep\n");
    ASSERT_EQ(symlink("target", "h.png"), 0);
    ASSERT_EQ(symlink("nowhere", "dangling.png"), 0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(hourly(none, none), 9);
    EXPECT_EQ(utf8_of_latin2(testing::internal::GetCapturedStderr()),
              "Błąd: Nie mogę otworzyć pliku h.png (symlink)\n");
    struct stat st;
    EXPECT_TRUE(lstat("h.png", &st) == 0 && S_ISLNK(st.st_mode));
    EXPECT_EQ(content_of("target"), "keep\n");

    startup_settings().verbosity = 0;
    testing::internal::CaptureStderr();
    EXPECT_EQ(hourly(none, none, "dangling.png"), 9);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_FALSE(exists("nowhere"));

    startup_settings().verbosity = 2;
    ASSERT_EQ(mkdir("ro", 0555), 0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(hourly(none, none, "target/h.png") + hourly(none, none, "missing/h.png"), 0);
    EXPECT_EQ(hourly(none, none, "ro/h.png"), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    if (geteuid() != 0) {  // root writes into a read-only directory all the same
        EXPECT_FALSE(exists("ro/h.png"));
    }
}
