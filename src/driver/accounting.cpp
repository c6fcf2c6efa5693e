#include "driver/accounting.hpp"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "common/catalog.hpp"
#include "common/char_classes.hpp"
#include "common/messages.hpp"
#include "common/scan.hpp"
#include "common/settings.hpp"
#include "common/text.hpp"
#include "common/counters.hpp"
#include "driver/counting.hpp"
#include "driver/period.hpp"
#include "input/parsers.hpp"
#include "input/text_helpers.hpp"
#include "tables/tables.hpp"

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

// Lower-cases through the locale, up to n characters or the end of the text.
void
lower_in_place(char* p, std::size_t n)
{
    for (const char* end = p + n; p < end && *p != '\0'; ++p)
        *p = to_lower(*p);
}

}  // namespace

int
month_of(const char* l)
{
    switch (l[0]) {
    case 'j':
        return l[1] == 'a' && l[2] == 'n' ? 1 : l[1] == 'u' && l[2] == 'n' ? 6 : l[1] == 'u' && l[2] == 'l' ? 7 : 0;
    case 'f':
        return l[1] == 'e' && l[2] == 'b' ? 2 : 0;
    case 'm':
        return l[1] == 'a' && l[2] == 'r' ? 3 : l[1] == 'a' && l[2] == 'y' ? 5 : 0;
    case 'a':
        return l[1] == 'p' && l[2] == 'r' ? 4 : l[1] == 'u' && l[2] == 'g' ? 8 : 0;
    case 's':
        return l[1] == 'e' && l[2] == 'p' ? 9 : 0;
    case 'o':
        return l[1] == 'c' && l[2] == 't' ? 10 : 0;
    case 'n':
        return l[1] == 'o' && l[2] == 'v' ? 11 : 0;
    case 'd':
        return l[1] == 'e' && l[2] == 'c' ? 12 : 0;
    default:
        return 0;
    }
}

namespace {

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
        date_text[15] == ':' && date_text[18] == ':' && !std::isdigit(static_cast<unsigned char>(date_text[21]))) {
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
    // rows is a bad date, not a record to count somewhere else.
    return t.year >= 1990 && t.month != 0 && t.day >= 1 && t.day <= 31 && t.hour >= 0 &&
           t.minute >= 0 && t.minute < 60 && t.second >= 0 && t.second < 61;
}

namespace {

bool
is_control(unsigned char c)
{
    return c < 32 || c == 127;
}

// Lower-cases the ASCII capitals of [p, end), a stretch of text without NUL.
void
lower_ascii(char* p, const char* end)
{
    for (; p < end; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (static_cast<unsigned>(c - 'A') < 26u)
            *p = static_cast<char>(c | 0x20);
    }
}

template <std::size_t N>
void
set_text(char (&field)[N], const char* text)
{
    copy_cut(field, text);
}

// "/./" becomes "/" until none is left.
void
remove_dot_segments(char* url)
{
    while (char* p = std::strstr(url, "/./"))
        std::memmove(p, p + 2, std::strlen(p + 2) + 1);
}

// Where "://" begins within the first characters of the URL (positions
// first to 5), or nullptr.
char*
scheme_end_of(char* url, std::size_t length, std::size_t first)
{
    for (std::size_t i = first; i <= 5 && i + 3 <= length; ++i)
        if (url[i] == ':' && url[i + 1] == '/' && url[i + 2] == '/')
            return url + i;
    return nullptr;
}

void
normalise_url(log_record& r, std::size_t length)
{
    char* url = r.request;
    if (const char* scheme_end = scheme_end_of(url, length, 0)) {
        const char* path = std::strchr(scheme_end + 3, '/');
        const char* from = path != nullptr ? path : scheme_end + 2;
        std::memmove(url, from, std::strlen(from) + 1);
    }
    remove_dot_segments(url);
    if (url[0] != '/') {
        if (r.status == 200 || r.status == 304 || r.status == 206) {
            if (g_settings.debug)
                std::fprintf(stderr, "Converted URL '%s' to '/'\n", url);
            set_text(r.request, "/");
        } else {
            if (g_settings.debug)
                std::fprintf(stderr, "Invalid URL: '%s'\n", url);
            set_text(r.request, "/INVALID-URL");
        }
    }
    for (std::size_t n = std::strlen(url); n > 0 && url[n - 1] == '?';)
        url[--n] = '\0';
}

void
remove_index_alias(char* url)
{
    for (const nlist_entry* e = g_settings.index_alias.first(); e != nullptr; e = e->next) {
        char* found = std::strstr(url, e->pattern);
        if (found == nullptr || found == url || found[-1] != '/')
            continue;
        const char* query = g_settings.strip_cgi ? nullptr : std::strchr(found, '?');
        if (query != nullptr)
            std::memmove(found, query, std::strlen(query) + 1);
        else
            *found = '\0';
        return;
    }
}

}  // namespace

void
clean_url(log_record& r)
{
    char* request = r.request;
    unescape_url(request);
    const char* from = request;  // without a blank the request is taken as it is
    if (request[0] != '\0' && request[1] == '-') {
        set_text(r.request, "/INVALID-URL");
    } else if (char* blank = request[0] != '\0' ? std::strchr(request + 1, ' ') : nullptr) {
        from = blank;
        while (*from == ' ')
            ++from;
        if (from[0] == '/' && from[1] == '/') {
            while (from[1] == '/')
                ++from;
        }
    }

    // The URL runs up to its first character that cannot belong to it: the
    // closing quote, or the query part with StripCGI, or "%", "#", "<" and the like.
    const auto* text = reinterpret_cast<const unsigned char*>(from);
    const std::uint8_t url_chars = g_settings.strip_cgi ? cc_url_strict_text : cc_url_loose_text;
    std::size_t length = 0;
    while (has_class(text[length], url_chars))
        ++length;
    std::memmove(request, from, length);
    request[length] = '\0';
    if (length == 0) {
        set_text(r.request, "/");
        length = 1;
    }

    if (g_settings.log_type == log_clf && r.status != 404 && g_settings.normalize_url) {
        normalise_url(r, length);
    } else if (char* scheme_end = scheme_end_of(request, length, 1)) {
        lower_ascii(request, scheme_end);
    }
    remove_index_alias(request);
}

void
clean_referrer(log_record& r)
{
    char* ref = r.referrer;
    unescape_url(ref);
    if (ref[0] == '\0')
        return;

    // The text that counts: after the opening quote, up to a control byte,
    // DEL or "<"; without one, the last character (the closing quote) goes.
    std::size_t start = 0;
    std::size_t end;
    std::size_t query;  // first character that cannot belong to a URL
    auto* text = reinterpret_cast<unsigned char*>(ref);
    if (ref[0] == '"') {
        start = 1;
        std::size_t i = 1;
        // A URL character is never a referrer's stop, but for the end itself.
        while (has_class(text[i], cc_url_strict_text))
            ++i;
        query = i;
        while (!has_class(text[i], cc_ref_stop))
            ++i;
        end = text[i] != '\0' ? i : i - 1;
    } else {
        std::size_t i = 0;
        while (has_class(text[i], cc_url_strict_text))
            ++i;
        query = i;
        end = query + std::strlen(ref + query);
    }
    if (end <= start) {
        ref[0] = '\0';  // nothing was between the quotes
        return;
    }

    // From the first character that cannot belong to a URL on, the text is
    // the query part; the referrer ends there.
    std::size_t length = end - start;
    if (query < end) {
        const std::size_t n = std::min(end - query, sizeof r.search_text - 1);
        std::memcpy(r.search_text, ref + query, n);
        r.search_text[n] = '\0';
        length = query - start;
    }
    std::memmove(ref, ref + start, length);
    ref[length] = '\0';
    if (length == 0)
        set_text(r.referrer, "-");

    if (ref[0] == 'h' || ref[0] == 'H') {
        char* slash = std::strchr(ref, '/');
        char* scheme_end = slash != nullptr ? slash : ref + length;
        lower_ascii(ref, scheme_end);
        if (slash != nullptr && slash[1] == '/') {
            char* host = slash + 2;
            char* host_end = std::strchr(host, '/');
            lower_ascii(host, host_end != nullptr ? host_end : ref + length);
        }
    }
}

void
limit_lengths(log_record& r)
{
    if (std::strlen(r.referrer) >= 256) {
        warn("%s [%llu]\n", msg::cut_referrer, g_run.total);
        r.referrer[255] = '\0';
    }
    if (std::strlen(r.request) >= 2048) {
        warn("%s [%llu]\n", msg::cut_request, g_run.total);
        r.request[2047] = '\0';
    }
}

void
clean_agent(log_record& r)
{
    char* agent = r.agent;
    // Quoted or parenthesised: the text between the first and the last
    // character, up to its first control byte, "<" or ">".
    const bool enclosed = agent[0] == '(' || agent[0] == '"';
    char* text = agent + (enclosed ? 1 : 0);
    // The end of the text is a control byte too.
    std::size_t n = static_cast<std::size_t>(find_markup(text) - text);
    if (!enclosed) {
        agent[n] = '\0';
        return;
    }
    if (text[n] == '\0' && n > 0)
        --n;  // the closing quote or parenthesis
    std::memmove(agent, text, n);
    agent[n] = '\0';
}

void
clean_user(log_record& r)
{
    if (r.user[0] == '\0') {
        set_text(r.user, "-");
        return;
    }
    for (char* p = r.user; *p != '\0'; ++p) {
        if (is_control(static_cast<unsigned char>(*p)) || *p == '"') {
            *p = '\0';
            break;
        }
    }
    unescape_url(r.user);
}

void
check_host(log_record& r, const char* saved_host)
{
    char* host = r.host;
    const auto c0 = static_cast<unsigned char>(host[0]);
    if (!(has_class(c0, cc_alnum) || c0 == ':')) {
        set_text(r.host, "Invalid");
        return;
    }
    // A host as logged was lower-cased already; a name from the cache may
    // still have capitals.
    const bool from_cache = saved_host != host && std::strcmp(host, saved_host) != 0;
    bool seen_dot = false;
    char* p = host;
    for (; *p != '\0'; ++p) {
        if (from_cache && *p >= 'A' && *p <= 'Z')
            *p = static_cast<char>(*p - 'A' + 'a');
        const auto c = static_cast<unsigned char>(*p);
        if (has_class(c, cc_host)) {
            seen_dot |= c == '.';
            continue;
        }
        if (c == '_' && !seen_dot)
            continue;
        if (from_cache)
            set_text(r.host, saved_host);
        else
            set_text(r.host, "Invalid");
        return;
    }
    if (!has_class(static_cast<unsigned char>(p[-1]), cc_alnum))
        set_text(r.host, "Invalid");
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

        // Cached names replace numeric hosts here once the DNS cache lands;
        // the logged address is kept then, to give way to a bad name.
        check_host(r, r.host);

        account_record(when);
    }
}
