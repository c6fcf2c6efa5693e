#include "graphs/charts.hpp"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <numbers>
#include <utility>

#include <gdfontmb.h>
#include <gdfonts.h>

#include "common/catalog.hpp"
#include "common/files.hpp"
#include "common/messages.hpp"
#include "common/settings.hpp"

namespace {

// The start-up clamps; kept here too so that no setting can make a loop run
// away or an index leave the history window.
constexpr int most_graph_lines = 20;
constexpr int fewest_graph_months = 12;
constexpr int most_graph_months = 72;

const char* const number_label[32] = {
    " 0", " 1", " 2", " 3", " 4", " 5", " 6", " 7", " 8", " 9", "10", "11", "12", "13", "14", "15",
    "16", "17", "18", "19", "20", "21", "22", "23", "24", "25", "26", "27", "28", "29", "30", "31"};

int
hex_digit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return 0;
}

int
allocate(gdImage* im, const colour& c)
{
    const rgb v = parse_colour(c.text);
    return gdImageColorAllocate(im, v.red, v.green, v.blue);
}

gdFont*
small_font()
{
    return gdFontGetSmall();
}

gdFont*
bold_font()
{
    return gdFontGetMediumBold();
}

unsigned char*
gd_text(const char* s)
{
    // libgd's string calls only read the text; their prototypes lack the const.
    return reinterpret_cast<unsigned char*>(const_cast<char*>(s != nullptr ? s : ""));
}

int
text_width(const char* s)
{
    return 6 * static_cast<int>(std::strlen(s));
}

void
text(gdImage* im, int x, int y, const char* s, int colour)
{
    gdImageString(im, small_font(), x, y, gd_text(s), colour);
}

void
text_up(gdImage* im, int x, int y, const char* s, int colour)
{
    gdImageStringUp(im, small_font(), x, y, gd_text(s), colour);
}

/// A legend text at (x, y), over its shadow one pixel right and down.
void
legend(gdImage* im, int x, int y, const char* s, int colour)
{
    text(im, x + 1, y + 1, s, chart_dark_grey);
    text(im, x, y, s, colour);
}

void
legend_up(gdImage* im, int x, int y, const char* s, int colour)
{
    text_up(im, x + 1, y + 1, s, chart_dark_grey);
    text_up(im, x, y, s, colour);
}

void
background_lines(gdImage* im, int y0, int span, int x_from, int x_to)
{
    const int n = std::min(g_settings.graph_lines, most_graph_lines);
    if (n <= 0)
        return;
    const int step = span / (n + 1);
    for (int k = 1; k <= n; ++k)
        gdImageLine(im, x_from, y0 + k * step, x_to, y0 + k * step, chart_dark_grey);
}

/// The maximum printed upwards so that its upper end meets the panel top.
void
axis_value(gdImage* im, int x, int top, const char* value)
{
    text_up(im, x, top + text_width(value), value, chart_black);
}

void
axis_count(gdImage* im, int x, int top, u64 maximum)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%llu", maximum);
    axis_value(im, x, top, buffer);
}

void
axis_amount(gdImage* im, int x, int top, double amount)
{
    char buffer[512];  // room for the largest double printed whole
    std::snprintf(buffer, sizeof buffer, "%.0f", amount);
    axis_value(im, x, top, buffer);
}

float
ratio(u64 value, u64 maximum)
{
    return static_cast<float>(value) / static_cast<float>(maximum);
}

/// One bar of the ratio r of the panel height above the bottom line.
void
bar(gdImage* im, float r, int bottom, int height, int x1, int x2, int colour, bool outline = true)
{
    if (!(r > 0.0f))
        return;
    const int top = static_cast<int>(r * static_cast<float>(-height) + static_cast<float>(bottom));
    gdImageFilledRectangle(im, x1, top, x2, bottom, colour);
    if (outline)
        gdImageRectangle(im, x1, top, x2, bottom, chart_black);
}

/// The largest value of the series at the same index, 1 when all are 0.
template <std::size_t N, typename... More>
u64
largest_or_one(const u64 (&first)[N], const More&... more)
{
    u64 m = 0;
    for (std::size_t i = 0; i < N; ++i)
        m = std::max({m, first[i], more[i]...});
    return m != 0 ? m : 1;
}

/// Hits, files and pages named upwards along the right edge, as the hourly
/// chart and the daily chart's top panel have it.
void
hit_file_page_legend_right(gdImage* im)
{
    const int lh = text_width(msg::hits_heading);
    const int lf = text_width(msg::files_heading);
    const int lp = text_width(msg::pages_heading);
    legend_up(im, 493, lh + lf + lp + 51, msg::pages_heading, chart_page);
    legend_up(im, 493, lh + lf + 48, "/", chart_black);
    legend_up(im, 493, lh + lf + 39, msg::files_heading, chart_file);
    legend_up(im, 493, lh + 36, "/", chart_black);
    legend_up(im, 493, lh + 27, msg::hits_heading, chart_hit);
}

}  // namespace

rgb
parse_colour(const char* text)
{
    const char* p = text != nullptr ? text : "";
    if (*p == '#')
        ++p;
    int digit[6];
    for (int& d : digit) {
        d = hex_digit(*p);
        if (*p != '\0')  // past the end every digit is 0; never read beyond it
            ++p;
    }
    return rgb{16 * digit[0] + digit[1], 16 * digit[2] + digit[3], 16 * digit[4] + digit[5]};
}

owned_image
chart_frame(int width, int height, const char* title)
{
    owned_image image(gdImageCreate(width, height));
    if (!image)
        return image;
    gdImage* im = image.get();
    const settings& s = g_settings;
    gdImageColorAllocate(im, 192, 192, 192);
    gdImageColorAllocate(im, 128, 128, 128);
    gdImageColorAllocate(im, 0, 0, 0);
    gdImageColorAllocate(im, 255, 255, 255);
    gdImageColorAllocate(im, 0, 0, 255);
    allocate(im, s.color_hit);
    allocate(im, s.color_site);
    allocate(im, s.color_file);
    allocate(im, s.color_kbyte);
    allocate(im, s.color_page);
    allocate(im, s.color_visit);

    const int w = width, h = height;
    gdImageRectangle(im, 0, 0, w - 1, h - 1, chart_black);
    for (int k = 1; k <= 4; ++k) {
        gdImageLine(im, k, k, w - 2 - k, k, chart_white);
        gdImageLine(im, k, k, k, h - 2 - k, chart_white);
        gdImageLine(im, k + 1, h - 1 - k, w - 1 - k, h - 1 - k, chart_dark_grey);
        gdImageLine(im, w - 1 - k, k + 1, w - 1 - k, h - 1 - k, chart_dark_grey);
    }
    gdImageRectangle(im, 20, 25, w - 21, h - 21, chart_black);
    gdImageRectangle(im, 19, 24, w - 22, h - 22, chart_white);
    gdImageString(im, bold_font(), 20, 8, gd_text(title), chart_blue);
    return image;
}

int
chart_write(owned_image image, const char* path)
{
    if (!image)
        return chart_no_memory;
    // O_NOFOLLOW refuses a link in the open itself: a check before the open
    // would leave a moment in which a link could be planted.
    owned_file f = open_for_writing(path);
    if (!f) {
        if (errno == ELOOP) {
            warn("%s %s (symlink)\n", msg::cant_open_file, path);
            return chart_is_link;
        }
        return 0;
    }
    gdImagePng(image.get(), f.get());
    if (!close_written(f))
        warn("%s %s!\n", msg::cant_write_file, path);
    return 0;
}

int
draw_hourly_chart(const char* path, const char* title, const u64 (&hits)[24],
                  const u64 (&files)[24], const u64 (&pages)[24])
{
    owned_image image = chart_frame(512, 256, title);
    if (!image)
        return chart_no_memory;
    gdImage* im = image.get();
    background_lines(im, 25, 210, 21, 489);
    for (int h = 0; h < 24; ++h)
        text(im, 33 + 19 * h, 238, number_label[h], chart_black);

    const u64 m = largest_or_one(hits, files, pages);
    axis_count(im, 8, 26, m);
    if (g_settings.graph_legend)
        hit_file_page_legend_right(im);

    for (int h = 0; h < 24; ++h)
        bar(im, ratio(hits[h], m), 232, 203, 29 + 19 * h, 39 + 19 * h, chart_hit);
    for (int h = 0; h < 24; ++h)
        bar(im, ratio(files[h], m), 232, 203, 32 + 19 * h, 42 + 19 * h, chart_file);
    for (int h = 0; h < 24; ++h)
        bar(im, ratio(pages[h], m), 232, 203, 35 + 19 * h, 45 + 19 * h, chart_page);
    return chart_write(std::move(image), path);
}

int
draw_hourly_chart(const char* path, const char* title, const hourly_counters (&hours)[24])
{
    u64 hits[24], files[24], pages[24];
    for (int h = 0; h < 24; ++h) {
        hits[h] = hours[h].hits;
        files[h] = hours[h].files;
        pages[h] = hours[h].pages;
    }
    return draw_hourly_chart(path, title, hits, files, pages);
}

int
draw_daily_chart(const char* path, const char* title, int month, int year, const u64 (&hits)[31],
                 const u64 (&files)[31], const u64 (&sites)[31], const double (&bytes)[31],
                 const u64 (&pages)[31], const u64 (&visits)[31])
{
    owned_image image = chart_frame(512, 400, title);
    if (!image)
        return chart_no_memory;
    gdImage* im = image.get();
    gdImageLine(im, 21, 180, 490, 180, chart_black);
    gdImageLine(im, 21, 179, 490, 179, chart_white);
    gdImageLine(im, 21, 280, 490, 280, chart_black);
    gdImageLine(im, 21, 279, 490, 279, chart_white);
    background_lines(im, 25, 154, 21, 489);
    background_lines(im, 180, 100, 21, 489);
    background_lines(im, 280, 100, 21, 489);

    // Every month shows 31 labels; a shorter one just has no bars at its end.
    long long weekday = ((day_number(1, month, year) % 7) + 7) % 7;
    for (int d = 1; d <= 31; ++d, weekday = (weekday + 1) % 7) {
        const bool weekend = weekday == 0 || weekday == 6;
        text(im, 25 + 15 * (d - 1), 382, number_label[d], weekend ? chart_hit : chart_black);
    }

    const u64 m1 = largest_or_one(hits, files, pages);
    axis_count(im, 8, 26, m1);
    for (int i = 0; i < 31; ++i)
        bar(im, ratio(hits[i], m1), 176, 147, 25 + 15 * i, 32 + 15 * i, chart_hit);
    for (int i = 0; i < 31; ++i)
        bar(im, ratio(files[i], m1), 176, 147, 27 + 15 * i, 34 + 15 * i, chart_file);
    for (int i = 0; i < 31; ++i)
        bar(im, ratio(pages[i], m1), 176, 147, 29 + 15 * i, 36 + 15 * i, chart_page);

    const u64 m2 = largest_or_one(sites, visits);
    axis_count(im, 8, 180, m2);
    for (int i = 0; i < 31; ++i)
        bar(im, ratio(visits[i], m2), 276, 92, 25 + 15 * i, 33 + 15 * i, chart_visit);
    for (int i = 0; i < 31; ++i)
        bar(im, ratio(sites[i], m2), 276, 92, 29 + 15 * i, 36 + 15 * i, chart_site);

    double k = 0;
    for (const double b : bytes)
        k = std::max(k, b);
    if (!(k > 0))
        k = 1.0;
    axis_amount(im, 8, 280, k / 1024);
    for (int i = 0; i < 31; ++i) {
        const float r = static_cast<float>(bytes[i] / k);
        bar(im, r, 375, 91, 26 + 15 * i, 36 + 15 * i, chart_kbyte);
    }

    if (g_settings.graph_legend) {
        legend_up(im, 493, 375, msg::kb_heading, chart_kbyte);
        const int ls = text_width(msg::sites_heading);
        legend_up(im, 493, 275, msg::sites_heading, chart_site);
        legend_up(im, 493, 272 - ls, "/", chart_black);
        legend_up(im, 493, 263 - ls, msg::visits_heading, chart_visit);
        hit_file_page_legend_right(im);
    }
    return chart_write(std::move(image), path);
}

int
draw_daily_chart(const char* path, const char* title, int month, int year,
                 const daily_counters (&days)[31])
{
    u64 hits[31], files[31], sites[31], pages[31], visits[31];
    double bytes[31];
    for (int i = 0; i < 31; ++i) {
        hits[i] = days[i].hits;
        files[i] = days[i].files;
        sites[i] = days[i].sites;
        bytes[i] = days[i].bytes;
        pages[i] = days[i].pages;
        visits[i] = days[i].visits;
    }
    return draw_daily_chart(path, title, month, year, hits, files, sites, bytes, pages, visits);
}

int
draw_yearly_chart(const char* path, const char* title, const history_row (&rows)[history_months])
{
    owned_image image = chart_frame(512, 256, title);
    if (!image)
        return chart_no_memory;
    gdImage* im = image.get();
    const int n = std::clamp(g_settings.graph_months, fewest_graph_months, most_graph_months);
    const history_row* shown = rows + (history_months - n);

    gdImageLine(im, 305, 25, 305, 233, chart_black);
    gdImageLine(im, 304, 25, 304, 233, chart_white);
    gdImageLine(im, 305, 130, 490, 130, chart_black);
    gdImageLine(im, 305, 129, 490, 129, chart_white);
    background_lines(im, 25, 210, 21, 303);
    background_lines(im, 25, 105, 306, 489);
    background_lines(im, 130, 105, 306, 489);

    if (g_settings.graph_legend) {
        const int lk = text_width(msg::kb_heading);
        legend(im, 490 - lk, 236, msg::kb_heading, chart_kbyte);
        const int lv = text_width(msg::visits_heading);
        const int ls = text_width(msg::sites_heading);
        legend(im, 478 - lv - ls, 10, msg::visits_heading, chart_visit);
        legend(im, 481 - ls, 10, "/", chart_black);
        legend(im, 490 - ls, 10, msg::sites_heading, chart_site);
        const int lp = text_width(msg::pages_heading);
        const int lf = text_width(msg::files_heading);
        legend_up(im, 5, 230, msg::pages_heading, chart_page);
        legend_up(im, 5, 227 - lp, "/", chart_black);
        legend_up(im, 5, 218 - lp, msg::files_heading, chart_file);
        legend_up(im, 5, 215 - lp - lf, "/", chart_black);
        legend_up(im, 5, 206 - lp - lf, msg::hits_heading, chart_hit);
    }

    // The layout is worked in single precision, as the bars' edges depend on
    // where each truncation falls.
    const float w = static_cast<float>(280.0 / n);
    const float c = w * 0.5f;
    const int g = 48 / n >= 2 ? 48 / n : 1;
    const float gf = static_cast<float>(g);
    const float e = (c - gf) * 0.5f + 22.0f;
    const auto at = [](int i, float width) { return static_cast<float>(i) * width; };

    if (n <= 15) {
        const float u = (c + 2.0f * gf - 18.0f) * 0.5f;
        for (int i = 0; i < n; ++i) {
            const int x = static_cast<int>(at(i, w) + e + u + 1.0f);
            text(im, x, 236, msg::month_short[std::clamp(shown[i].month, 1, 12)], chart_black);
        }
    } else if (n <= 35) {
        const float v = (c + 2.0f * gf - 6.0f) * 0.5f;
        for (int i = 0; i < n; ++i) {
            const int month = std::clamp(shown[i].month, 1, 12);
            const int x = static_cast<int>(at(i, w) + e + v + 1.0f);
            const auto first = static_cast<unsigned char>(msg::month_short[month][0]);
            gdImageChar(im, small_font(), x, 236, first, month == 1 ? chart_blue : chart_black);
        }
    } else {
        int year_handled = INT_MIN;
        for (int i = 0; i < n; ++i) {
            const history_row& row = shown[i];
            if (row.year == year_handled)
                continue;
            if (row.month == 1 && i != 0)
                gdImageChar(im, small_font(), static_cast<int>(at(i, w) + e - 3.0f), 236, '|',
                            chart_blue);
            // The year's label is centred on the room its months take in the chart.
            int room = static_cast<int>(static_cast<float>(13 - row.month) * w);
            room = std::min(room, static_cast<int>(static_cast<float>(n - i) * w));
            if (room >= 29) {
                char label[16];
                std::snprintf(label, sizeof label, "%04d", row.year);
                const float x = at(i, w) + e + static_cast<float>(room / 2) - 12.0f;
                text(im, static_cast<int>(x), 236, label, chart_black);
            }
            year_handled = row.year;
        }
    }

    u64 m1 = 1;
    for (int i = 0; i < n; ++i)
        m1 = std::max({m1, shown[i].hits, shown[i].files, shown[i].pages});
    axis_count(im, 6, 26, m1);
    const bool outline = c > 2.0f;
    const auto left_bars = [&](u64 history_row::*series, float offset, int colour) {
        for (int i = 0; i < n; ++i) {
            const int x1 = static_cast<int>(at(i, w) + offset);
            const int x2 = static_cast<int>(static_cast<float>(x1) + c);
            bar(im, ratio(shown[i].*series, m1), 232, 203, x1, x2, colour, outline);
        }
    };
    left_bars(&history_row::hits, e, chart_hit);
    left_bars(&history_row::files, e + gf, chart_file);
    left_bars(&history_row::pages, e + 2.0f * gf, chart_page);

    u64 m2 = 0;
    for (int i = 0; i < n; ++i)
        m2 = std::max({m2, shown[i].sites, shown[i].visits});
    if (m2 == 0)
        m2 = 1;
    axis_count(im, 493, 26, m2);
    const float w2 = static_cast<float>(180.0 / n);
    const float c2 = w2 * 0.5f;
    const float e2 = (c2 - gf) * 0.5f + 308.0f;
    for (int i = 0; i < n; ++i) {
        const int x1 = static_cast<int>(at(i, w2) + e2);
        const int x2 = static_cast<int>(static_cast<float>(x1) + c2);
        bar(im, ratio(shown[i].visits, m2), 127, 98, x1, x2, chart_visit, c2 > 2.0f);
    }
    for (int i = 0; i < n; ++i) {
        const int x1 = static_cast<int>(at(i, w2) + e2 + gf);
        const int x2 = static_cast<int>(static_cast<float>(x1) + c2);
        bar(im, ratio(shown[i].sites, m2), 127, 98, x1, x2, chart_site, c2 > 2.0f);
    }

    double k = 0;
    for (int i = 0; i < n; ++i)
        k = std::max(k, shown[i].kbytes);
    if (!(k > 0))
        k = 1.0;
    axis_amount(im, 493, 130, k);
    const float u3 = gf * 0.5f + w2 * 0.5f;
    const float e3 = (u3 - gf) * 0.5f + 308.0f;
    for (int i = 0; i < n; ++i) {
        const int x1 = static_cast<int>(at(i, w2) + e3);
        const int x2 = static_cast<int>(static_cast<float>(x1) + u3);
        const float r = static_cast<float>(shown[i].kbytes) / static_cast<float>(k);
        bar(im, r, 232, 98, x1, x2, chart_kbyte, u3 > 2.0f);
    }
    return chart_write(std::move(image), path);
}

namespace {

struct point {
    int x, y;
};

/// The point at a fraction of the full turn on an ellipse about the centre.
point
on_ellipse(double fraction, double rx, double ry)
{
    const double angle = fraction * 2.0 * std::numbers::pi;
    return point{static_cast<int>(std::cos(angle) * rx + 156.0),
                 static_cast<int>(std::sin(angle) * ry + 150.0)};
}

void
pie_legend(gdImage* im, int y, const char* label, int percent, int colour)
{
    char line[128];
    std::snprintf(line, sizeof line, "%s (%d%%)", label, percent);
    const int n = static_cast<int>(std::strlen(line));
    gdImageString(im, bold_font(), 481 - 7 * n, y + 1, gd_text(line), chart_black);
    gdImageString(im, bold_font(), 480 - 7 * n, y, gd_text(line), colour);
}

}  // namespace

int
draw_pie_chart(const char* path, const char* title, u64 total, const u64 (&values)[10],
               const char* const (&labels)[10])
{
    owned_image image = chart_frame(512, 300, title);
    if (!image)
        return chart_no_memory;
    gdImage* im = image.get();
    const settings& set = g_settings;
    allocate(im, set.pie_color1);
    allocate(im, set.pie_color2);
    allocate(im, set.pie_color3);
    allocate(im, set.pie_color4);

    gdImageArc(im, 156, 150, 240, 200, 0, 360, chart_black);
    gdImageArc(im, 156, 160, 238, 198, 2, 178, chart_black);
    gdImageFillToBorder(im, 156, 251, chart_black, chart_black);
    gdImageLine(im, 156, 150, 275, 150, chart_black);

    const double t = static_cast<double>(total);
    double s = 0.0;
    int placed = 0;  // the whole percentages written beside the slices
    int y = 47;
    for (int k = 0; k < 10; ++k) {
        if (values[k] == 0 || s >= 1.0)
            continue;
        // A total below the value (0 included) gives a share past 100 %:
        // held within int, it simply closes the pie.
        const double share = (static_cast<double>(values[k]) / t + 0.005) * 100.0;
        const int p = share >= static_cast<double>(INT_MAX) ? INT_MAX : static_cast<int>(share);
        if (p <= 0)
            break;
        const double s2 = p / 100.0 + s;
        float f = 1.0f;
        point end{275, 149};
        if (s2 < 1.0) {
            f = static_cast<float>(s2);
            end = on_ellipse(f, 119.0, 99.0);
        }
        const float mid = (static_cast<float>(s) + f) * 0.5f;
        const point inner = on_ellipse(mid, 80.0, 66.0);
        gdImageLine(im, 156, 150, end.x, end.y, chart_black);
        gdImageFill(im, inner.x, inner.y, chart_hit + k);
        pie_legend(im, y, labels[k] != nullptr ? labels[k] : "", p, chart_hit + k);
        y += 20;
        s = s2 < 1.0 ? s2 : 1.0;
        placed = s2 < 1.0 ? placed + p : 100;
    }
    if (s < 1.0) {
        const float mid = (static_cast<float>(s) + 1.0f) * 0.5f;
        const point inner = on_ellipse(mid, 80.0, 66.0);
        gdImageFill(im, inner.x, inner.y, chart_white);
        // The rest of the percentages written, not of the fractions summed:
        // 70 % and 20 % sum to 0.8999..., which would leave 11 %.
        pie_legend(im, y, msg::other_slice, 100 - placed, chart_white);
    }
    return chart_write(std::move(image), path);
}
