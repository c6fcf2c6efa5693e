// The record loop: turns log lines into clean records and counts the run.
#pragma once

#include "common/records.hpp"

class log_reader;

/// The run counts.  Records accounted = total - ignored - bad.
struct run_counts {
    u64 total = 0;             // every line read; an oversized line counts once
    u64 ignored = 0;           // headers, comments and records skipped by the rules
    u64 bad = 0;               // rejected lines, oversized lines and bad dates
    bool good_record = false;  // some record passed the date check
};

extern run_counts g_run;

/// The month 1 to 12 of a lower-case English three-letter abbreviation, or 0.
int month_of(const char* letters);

/// Reads the record's date and time from the fixed positions of date_text
/// (month letters already lower-cased).  Returns false for a bad date.
bool read_record_time(const char (&date_text)[sizeof log_record::date_text], record_time& t);

/// Runs the loop until the log ends.
void record_loop(log_reader& log);
