// The record loop: turns log lines into clean records and counts the run.
#pragma once

#include "common/records.hpp"
#include "input/log_reader.hpp"

/// The run counts.  Records accounted = total - ignored - bad.
struct run_counts {
    u64 total = 0;     // every line read; an oversized line counts once
    u64 ignored = 0;   // headers, comments and records skipped by the rules
    u64 bad = 0;       // rejected lines, oversized lines and bad dates
    bool good_record = false;  // some record passed the date check
};

extern run_counts g_run;

/// Date and time of a record, as read from its date_text.
struct record_time {
    int day, month, year, hour, minute, second;
};

/// The month 1 to 12 of a lower-case English three-letter abbreviation, or 0.
int month_of(const char* letters);

/// Reads the record's date and time from the fixed positions of date_text
/// (month letters already lower-cased).  Returns false for a bad date.
bool read_record_time(const char (&date_text)[sizeof log_record::date_text], record_time& t);

// The clean-up steps of a parsed record, in the loop's order; each works in
// place on g_record.

/// The bare URL from the quoted request: method and quotes dropped, the query
/// cut, normalised, index aliases removed.
void clean_url(log_record& r);

/// The referrer without quotes, its query part moved to search_text, scheme
/// and host lower-cased.
void clean_referrer(log_record& r);

/// Referrer and URL cut to what the tables hold, with a warning.
void limit_lengths(log_record& r);

/// The agent without its enclosing quotes or parentheses, cut at markup.
void clean_agent(log_record& r);

/// "-" for no user; the name cut at a control character or quote, unescaped.
void clean_user(log_record& r);

/// A host that is not a valid name or address becomes "Invalid"; a cached
/// name that is not valid gives way to the logged address (saved_host).
/// saved_host is the host itself when no cached name replaced it.
void check_host(log_record& r, const char* saved_host);

/// Runs the loop until the log ends.
void record_loop(log_reader& log);
