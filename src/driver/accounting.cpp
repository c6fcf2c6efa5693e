#include "driver/accounting.hpp"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "common/catalog.hpp"
#include "common/char_classes.hpp"
#include "common/counters.hpp"
#include "common/messages.hpp"
#include "common/settings.hpp"
#include "common/text.hpp"
#include "driver/counting.hpp"
#include "driver/period.hpp"
#include "driver/record_cleaning.hpp"
#include "input/log_reader.hpp"
#include "input/parsers.hpp"
#include "input/text_helpers.hpp"
#include "resolve/dns_cache.hpp"

namespace {

char line_buffer[line_capacity];
char line_copy[line_capacity];

bool
is_oversized(const char* line, std::size_t length)
{
    return length == line_capacity - 1 && line[length - 1] != '\n';
}

// An oversized line is one bad record: its first piece is reported, the rest
// is read and thrown away (and echoed in Debug mode so the whole line shows).
void
skip_oversized(log_reader& log, char (&line)[line_capacity], std::size_t length)
{
    const bool echo = g_settings.debug && warnings_enabled();
    if (warnings_enabled()) {
        if (g_settings.debug)
            std::fprintf(stderr, "%s:\n%s", msg::oversized_record, line);
        else
            std::fprintf(stderr, "%s\n", msg::oversized_record);
    }
    ++g_run.bad;
    while (is_oversized(line, length) && log.next_line(line, length)) {
        if (echo)
            std::fputs(line, stderr);
    }
    if (echo)
        std::fputc('\n', stderr);
}

void
report_line(const char* line)
{
    if (g_settings.debug)
        std::fprintf(stderr, ":\n%s\n", line);
    else
        std::fputc('\n', stderr);
}

}  // namespace

namespace {

constexpr unsigned
month_key(char a, char b, char c)
{
    return static_cast<unsigned char>(a) << 16 | static_cast<unsigned char>(b) << 8 |
           static_cast<unsigned char>(c);
}

}  // namespace

int
month_of(const char* l)
{
    switch (month_key(l[0], l[1], l[2])) {
    case month_key('j', 'a', 'n'): return 1;
    case month_key('f', 'e', 'b'): return 2;
    case month_key('m', 'a', 'r'): return 3;
    case month_key('a', 'p', 'r'): return 4;
    case month_key('m', 'a', 'y'): return 5;
    case month_key('j', 'u', 'n'): return 6;
    case month_key('j', 'u', 'l'): return 7;
    case month_key('a', 'u', 'g'): return 8;
    case month_key('s', 'e', 'p'): return 9;
    case month_key('o', 'c', 't'): return 10;
    case month_key('n', 'o', 'v'): return 11;
    case month_key('d', 'e', 'c'): return 12;
    default: return 0;
    }
}

namespace {

int
days_in_month(int month, int year)
{
    static constexpr int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

// Two digits at p, or -1 when they are not both digits.
int
two_digits(const char* p)
{
    const unsigned d0 = static_cast<unsigned char>(p[0]) - '0';
    const unsigned d1 = static_cast<unsigned char>(p[1]) - '0';
    return d0 <= 9 && d1 <= 9 ? static_cast<int>(d0 * 10 + d1) : -1;
}

}  // namespace

bool
read_record_time(const char (&date_text)[sizeof log_record::date_text], record_time& t)
{
    t.month = month_of(date_text + 4);
    const int day = two_digits(date_text + 1);
    const int century = two_digits(date_text + 8);
    const int year = two_digits(date_text + 10);
    const int hour = two_digits(date_text + 13);
    const int minute = two_digits(date_text + 16);
    const int second = two_digits(date_text + 19);
    // The usual layout is read directly; anything else the way atoi reads it.
    if (day >= 0 && century >= 0 && year >= 0 && hour >= 0 && minute >= 0 && second >= 0 &&
        date_text[3] == '/' && date_text[7] == '/' && date_text[12] == ':' &&
        date_text[15] == ':' && date_text[18] == ':' &&
        !std::isdigit(static_cast<unsigned char>(date_text[21]))) {
        t.day = day;
        t.year = century * 100 + year;
        t.hour = hour;
        t.minute = minute;
        t.second = second;
    } else {
        t.day = scan_int(date_text + 1);
        t.year = scan_int(date_text + 8);
        t.hour = scan_int(date_text + 13);
        t.minute = scan_int(date_text + 16);
        t.second = scan_int(date_text + 19);
    }
    if (t.hour >= 24)
        t.hour = 0;
    // Day, hour, minute and second index the counters: a value outside their
    // rows is a bad date, not a record to count somewhere else.  A day beyond
    // its month's end would be counted as a day of the next month, and a year
    // far ahead would put every later record out of sequence.
    return t.year >= 1990 && t.year <= 2100 && t.month != 0 && t.day >= 1 &&
           t.day <= days_in_month(t.month, t.year) && t.hour >= 0 && t.minute >= 0 &&
           t.minute < 60 && t.second >= 0 && t.second < 61;
}

namespace {

// The resume rule after a state restore, and the out-of-sequence rule.
// Returns false when the record is skipped.
bool
in_time_order(record_time& when)
{
    period_clock& c = g_clock;
    if (c.resume_skip) {
        if (c.record_timestamp <= c.timestamp)
            return false;
        c.resume_skip = false;
        if (when.month != c.month || when.year != c.year) {
            start_new_month();
            // The restored open hour belongs to the month the earlier run
            // reported: its hits would count again in the new month's first
            // hour, and a month read in pieces would differ from the month
            // read in one go.
            g_month.hour_hits = 0;
            set_clock_to(when);
            c.timestamp = c.record_timestamp;
            g_month.first_day = g_month.last_day = when.day;
        }
    }
    const u64 slot = c.record_timestamp / 3600;
    const u64 clock_slot = c.timestamp / 3600;
    if (slot < clock_slot) {
        if (!g_settings.fold_seq_err && slot + 1 < clock_slot)
            return false;
        when = clock_time();
        c.record_timestamp = c.timestamp;
    }
    c.timestamp = c.record_timestamp;
    return true;
}

}  // namespace

void
record_loop(log_reader& log)
{
    std::size_t length;
    while (log.next_line(line_buffer, length)) {
        ++g_run.total;
        if (is_oversized(line_buffer, length)) {
            skip_oversized(log, line_buffer, length);
            continue;
        }

        // The parser cuts the line into fields; only Debug messages show it whole.
        if (g_settings.debug)
            std::memcpy(line_copy, line_buffer, length + 1);
        const bool header = g_run.total == 1 && std::strncmp(line_buffer, "format=", 7) == 0;
        // A NUL byte inside the line ends it for the parser.
        if (parse_line(line_buffer, std::strlen(line_buffer)) == 0) {
            if (header) {
                progress("%s\n", msg::skipping_netscape_header);
                ++g_run.ignored;
            } else if (line_buffer[0] == '#' || line_buffer[0] == '\0') {
                ++g_run.ignored;
            } else {
                ++g_run.bad;
                if (warnings_enabled()) {
                    std::fprintf(stderr, "%s (%llu)", msg::skipping_bad_record, g_run.total);
                    report_line(line_copy);
                }
            }
            continue;
        }

        log_record& r = g_record;
        lower_locale(r.date_text + 4, 3);
        lower_locale(r.host, sizeof r.host);

        record_time when;
        if (!read_record_time(r.date_text, when)) {
            ++g_run.bad;
            if (warnings_enabled()) {
                std::fprintf(stderr, "%s: %s [%llu]", msg::skipping_bad_date, r.date_text,
                             g_run.total);
                report_line(line_copy);
            }
            continue;
        }

        g_clock.previous_timestamp = g_clock.timestamp;
        g_clock.record_timestamp = static_cast<u64>(seconds_of(when));
        if (!in_time_order(when)) {
            ++g_run.ignored;
            g_run.good_record = true;
            continue;
        }

        clean_url(r);
        clean_referrer(r);
        if (g_settings.mangle_agents != 0)
            mangle_agent(r.agent, g_settings.mangle_agents);
        limit_lengths(r);
        clean_agent(r);
        clean_user(r);

        advance_clock(when);

        // A cached name replaces a numeric host; the logged address is kept
        // to give way to a name that turns out bad.
        if (dns_cache_is_open()) {
            char saved_host[sizeof r.host];
            std::memcpy(saved_host, r.host, sizeof saved_host);
            if (dns_cache_lookup(r.host) && dns_name_is_socket_address(r.host))
                std::memcpy(r.host, saved_host, sizeof saved_host);
            check_host(r, saved_host);
        } else {
            check_host(r, r.host);
        }

        account_record(when);
    }
}
