// The clock and counters of the open month.  One instance each, for the whole run.
#pragma once

#include "common/types.hpp"

struct period_clock {
    int year = 0;
    int month = 0;  // 1 to 12; 0 until a record is accounted or a state restored
    int day = 0, hour = 0, minute = 0, second = 0;  // of the last accepted record
    u64 timestamp = 0;                              // seconds value of the last accepted record
    u64 previous_timestamp = 0;                     // timestamp before the current record
    u64 record_timestamp = 0;                       // seconds value of the current record
    bool resume_skip = false;                       // set by the state restore
};

struct month_counters {
    u64 hits = 0;
    u64 files = 0;
    u64 pages = 0;
    double bytes = 0;
    u64 sites = 0;
    u64 urls = 0;
    u64 referrers = 0;
    u64 agents = 0;
    u64 users = 0;
    u64 visits = 0;
    u64 day_sites = 0;
    u64 hour_hits = 0;
    u64 max_hour_hits = 0;
    int first_day = 1;
    int last_day = 1;
};

struct daily_counters {
    u64 hits = 0, files = 0, pages = 0;
    double bytes = 0;
    u64 sites = 0, visits = 0;
};

struct hourly_counters {
    u64 hits = 0, files = 0, pages = 0;
    double bytes = 0;
};

struct response_row {
    const char* description;
    u64 count;
};

inline constexpr int response_rows = 41;

extern period_clock g_clock;
extern month_counters g_month;
extern daily_counters g_daily[31];    // row d-1 holds day d
extern hourly_counters g_hourly[24];  // row h holds hour h
extern response_row g_response[response_rows];

/// The response_table row that counts a response code (row 0: any other code).
int response_row_of(int code);

/// The day count, 719534 for 1 January 1970; modulo 7 it is the weekday (0 Sunday).
long long day_number(int day, int month, int year);
