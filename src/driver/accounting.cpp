#include "driver/accounting.hpp"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "common/catalog.hpp"
#include "common/messages.hpp"
#include "common/settings.hpp"
#include "common/text.hpp"
#include "input/parsers.hpp"

run_counts g_run;

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

void
lower_in_place(char* p, std::size_t n)
{
    for (std::size_t i = 0; i < n && p[i] != '\0'; ++i)
        p[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(p[i])));
}

}  // namespace

int
month_of(const char* letters)
{
    static const char names[] = "janfebmaraprmayjunjulaugsepoctnovdec";
    for (int m = 0; m < 12; ++m)
        if (std::strncmp(letters, names + 3 * m, 3) == 0)
            return m + 1;
    return 0;
}

bool
read_record_time(const char (&date_text)[sizeof log_record::date_text], record_time& t)
{
    t.month = month_of(date_text + 4);
    t.day = scan_int(date_text + 1);
    t.year = scan_int(date_text + 8);
    t.hour = scan_int(date_text + 13);
    t.minute = scan_int(date_text + 16);
    t.second = scan_int(date_text + 19);
    if (t.hour >= 24)
        t.hour = 0;
    // Day, hour, minute and second index the counters: a value outside their
    // rows is a bad date, not a record to count somewhere else.
    return t.year >= 1990 && t.month != 0 && t.day >= 1 && t.day <= 31 && t.hour >= 0 &&
           t.minute >= 0 && t.minute < 60 && t.second >= 0 && t.second < 61;
}

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

        std::memcpy(line_copy, line_buffer, length + 1);
        if (parse_line(line_buffer) == 0) {
            if (g_run.total == 1 && std::strncmp(line_copy, "format=", 7) == 0) {
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
        lower_in_place(r.date_text + 4, 3);
        lower_in_place(r.host, sizeof r.host);

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

        // Time order, field clean-up, the clock, host resolution and counting
        // follow here as their parts of the analyzer land.
        g_run.good_record = true;
    }
}
