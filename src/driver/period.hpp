// The period clock: the seconds arithmetic, the counting of a record into the
// month, day and hour, and the closes of an hour, a day and a month.
#pragma once

#include "common/counters.hpp"
#include "common/records.hpp"

/// The seconds value of a log time: its wall-clock reading taken as UTC.
long long seconds_of(const record_time& t);

/// Puts the record's date and time on the clock (not its timestamp).
void set_clock_to(const record_time& t);

/// The date and time on the clock.
record_time clock_time();

/// Zeroes the month's counters (hour_hits excepted), days, hours and responses.
void reset_counters();

/// reset_counters and empty month tables: the start of a new month.
void start_new_month();

/// Moves the clock to the record's time, closing the hour, the day and the
/// month as due, in that order.
void advance_clock(const record_time& t);

/// Finishes the open month: visits, exit pages, history row, report; then
/// starts a new one.
void close_month();

/// The report close_month writes (month_report); tests replace it to see
/// the month as its report sees it.
extern int (*report_closed_month)();

/// The end of the input: the open day's sites and visits, the month's visits,
/// the largest hourly hits.  Nothing is cleared.
void end_of_input();

/// Counts an accounted record into the month, day d and hour h.
void count_record(int day, int hour, int status, u64 bytes, bool is_page);
