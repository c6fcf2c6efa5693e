// The PNG charts: daily, hourly, yearly bars and the country pie, drawn into
// palette images of one fixed palette order and written without ever
// following a symbolic link.
#pragma once

#include "common/counters.hpp"
#include "common/history_row.hpp"
#include "common/types.hpp"
#include "graphs/gd_handles.hpp"

/// The palette index of every chart colour: each chart allocates them in
/// this order, so an index names the same colour in every chart.
enum chart_colour : int {
    chart_grey = 0,  // background
    chart_dark_grey = 1,
    chart_black = 2,
    chart_white = 3,
    chart_blue = 4,
    chart_hit = 5,  // ColorHit, then one per colour setting in this order
    chart_site = 6,
    chart_file = 7,
    chart_kbyte = 8,
    chart_page = 9,
    chart_visit = 10,
    chart_pie1 = 11,  // PieColor1 to PieColor4: the pie chart only
    chart_pie2 = 12,
    chart_pie3 = 13,
    chart_pie4 = 14,
};

/// What chart_write and the draw operations return besides 0.
inline constexpr int chart_no_memory = 1;  // the image could not be created
inline constexpr int chart_is_link = 9;    // a symbolic link at the path: nothing written

struct rgb {
    int red = 0, green = 0, blue = 0;
};

/// A colour setting's text: an optional leading "#", then two hexadecimal
/// digits each for red, green and blue.  A character that is no hexadecimal
/// digit counts as 0, and so does every digit past the end of the text.
rgb parse_colour(const char* text);

/// A width x height palette image with the eleven colours allocated, the
/// bevelled frame, the plot border and the title.  Null when out of memory.
owned_image chart_frame(int width, int height, const char* title);

/// Writes the image as PNG to path, never through a symbolic link, and
/// releases it.  Returns 0 (also when the file cannot be opened, silently,
/// or written whole, with a message) or chart_is_link, after the message
/// unless the verbosity is 0.
int chart_write(owned_image image, const char* path);

/// The daily chart of a month: six series indexed by day - 1.  Returns 0,
/// chart_is_link or chart_no_memory.
int draw_daily_chart(const char* path, const char* title, int month, int year,
                     const u64 (&hits)[31], const u64 (&files)[31], const u64 (&sites)[31],
                     const double (&bytes)[31], const u64 (&pages)[31], const u64 (&visits)[31]);

/// The same from the month's daily counters (row d - 1 holds day d).
int draw_daily_chart(const char* path, const char* title, int month, int year,
                     const daily_counters (&days)[31]);

/// The hourly chart of a month: three series indexed by hour.
int draw_hourly_chart(const char* path, const char* title, const u64 (&hits)[24],
                      const u64 (&files)[24], const u64 (&pages)[24]);

/// The same from the month's hourly counters.
int draw_hourly_chart(const char* path, const char* title, const hourly_counters (&hours)[24]);

/// The yearly chart of the last GraphMonths rows of the history window
/// (oldest first; every shown row has a year and month).
int draw_yearly_chart(const char* path, const char* title,
                      const history_row (&rows)[history_months]);

/// The pie of ten values of the total, in descending order, 0 where unused;
/// what the walk does not place goes to the "other" slice.  A label may be
/// null where its value is 0.
int draw_pie_chart(const char* path, const char* title, u64 total, const u64 (&values)[10],
                   const char* const (&labels)[10]);
