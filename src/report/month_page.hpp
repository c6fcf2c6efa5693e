// The fixed sections of the month page: the link bar, the month totals, the
// daily and the hourly table.  Each writes into the open page the month on
// the period clock, from the month, day, hour and response counters.
#pragma once

#include <cstdio>

/// The line of links to the page's sections, as far as the settings and the
/// month's counts call for them.
void section_links(std::FILE* out);

/// Totals, averages per day (and hits per hour) with the maxima beside them,
/// and the hits of every response code that occurred.
void month_summary_table(std::FILE* out);

/// One row per day, from the first day with hits through the last day seen.
void day_table(std::FILE* out);

/// One row per hour of the day, all 24, with the average over the month's days.
void hour_table(std::FILE* out);
