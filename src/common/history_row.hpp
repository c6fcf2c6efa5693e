// One month of totals as the history keeps it, and the window of the last
// 120 months that the index page and the yearly chart read.
#pragma once

#include "common/types.hpp"

struct history_row {
    int year = 0;
    int month = 0;  // 1 to 12; 0 in a window not yet set up
    int first_day = 0;
    int last_day = 0;
    u64 hits = 0;
    u64 files = 0;
    u64 sites = 0;
    u64 pages = 0;
    u64 visits = 0;
    double kbytes = 0;
};

inline constexpr int history_months = 120;

struct history_window {
    history_row rows[history_months];  // 0 the oldest month, 119 the newest
    bool is_set = false;               // rows numbered from a first month
    bool gap_of_a_year = false;        // a gap of 12 months or more was recorded this run
};

extern history_window g_history;
