// The frame every HTML page shares (head, tail, time stamp), the number rules
// that all report tables print by, and the escaping that keeps names from the
// log inert in a page.
#pragma once

#include <cstdio>
#include <ctime>

#include "common/types.hpp"

/// Writes everything of a page up to its body: document type, comments,
/// HEAD, BODY tag, the title and the period and time lines.  The period is
/// "month year" or "month year - column" text; nullptr for the summary index
/// page.  Write errors are left to the stream.
void page_head(std::FILE* out, const char* period);

/// Writes the footer table and the closing tags.
void page_tail(std::FILE* out);

/// The current time as "01-Mar-2024 12:00 UTC" (local time with its zone) or,
/// with GMTTime, "01-Mar-2024 12:00 GMT".  At most 47 characters, in one static
/// buffer that the next call overwrites; empty if the time cannot be converted.
const char* time_stamp();

/// Where time_stamp reads the clock.  Tests put in a fixed clock; nullptr
/// restores the system clock.  Returns the source that was in use.
using time_source = std::time_t (*)();
time_source set_time_source(time_source source);

/// The single-precision share of part in total, in percent, as the top tables
/// and listing pages print it: both converted to float and divided as floats.
/// A total of 0 gives 0.
double percent_single(u64 part, u64 total);

/// The single-precision kilobyte share: the entry's bytes rounded to float,
/// then divided in double precision.  A byte total of 0 gives 0.
double percent_single_bytes(double bytes, double total_bytes);

/// The double-precision share, as the daily, hourly and response-code tables
/// print it.  A part of 0 (or a total of 0) gives 0.
double percent_double(double part, double total);

/// Kilobytes as every table prints them with "%.0f".
inline double
kilobytes(double bytes)
{
    return bytes / 1024.0;
}

/// Writes a text into a page with &, <, > and " escaped as entities and every
/// other byte as it is.  Every name that comes from the log goes through here,
/// inside an element or inside a quoted attribute value.
void write_html_text(std::FILE* out, const char* text);

/// True when the name may become a link: it begins with "http://", "https://"
/// or "ftp://", letter case ignored.  Any other scheme ("javascript:",
/// "data:") is written as text.
bool is_link_scheme(const char* name);
