// The FTP transfer log, squid native log and W3C extended log parsers.  Each
// turns its line into the record a web log gives: a quoted request, a date
// text in the bracketed layout, a status and a byte count.
#include <climits>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <initializer_list>

#include "common/catalog.hpp"
#include "common/messages.hpp"
#include "common/records.hpp"
#include "common/settings.hpp"
#include "common/text.hpp"
#include "input/parsers.hpp"

// Squid lines after January 2038 must not wrap to 1901.
static_assert(sizeof(std::time_t) >= 8, "time_t must hold times past 2038");

namespace {

// A line cut into fields by split_fields.  Positions are offsets; text[end]
// is the line's NUL, so no scan for a field's end passes the line's end.
struct split_line {
    char* text;
    std::size_t end;

    std::size_t field_end(std::size_t p) const { return p + std::strlen(text + p); }
    // The start of the next field: past the end of this one and the empty
    // fields after it (blanks in a row).
    std::size_t next_field(std::size_t p) const
    {
        p = field_end(p);
        while (p < end && text[p] == '\0')
            ++p;
        return p;
    }
    // Past the end of this field and one separator.
    std::size_t after_separator(std::size_t p) const
    {
        p = field_end(p);
        return p < end ? p + 1 : p;
    }
};

// Drops the line end (a carriage return too: logs copied from other systems
// have them), so no field takes it, then splits the line.
split_line
split_without_line_end(char* text, std::size_t length)
{
    while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r'))
        text[--length] = '\0';
    split_fields(text);
    return {text, length};
}

// Builds a record text piece by piece, cut at its capacity less the bytes
// kept back for its end (a request keeps room for its closing quote).
template <std::size_t N> struct field_writer {
    char (&dst)[N];
    std::size_t limit;
    std::size_t n = 0;
    bool cut = false;

    explicit field_writer(char (&d)[N], std::size_t kept_back = 0)
        : dst(d), limit(N - 1 - kept_back)
    {
    }
    void add(const char* s, std::size_t len)
    {
        if (len > limit - n) {
            len = limit - n;
            cut = true;
        }
        std::memcpy(dst + n, s, len);
        n += len;
    }
    void add(const char* s) { add(s, std::strlen(s)); }
    void add(char c) { add(&c, 1); }
    // Appends the kept-back end and terminates the text.
    void finish(char last)
    {
        dst[n++] = last;
        dst[n] = '\0';
    }
    void finish() { dst[n] = '\0'; }
};

// Copies one field (up to its NUL) into a record text, cut to its capacity.
// Returns true when cut.
template <std::size_t N>
bool
copy_field(char (&dst)[N], const char* field)
{
    std::size_t len = strnlen(field, N);
    const bool cut = len > N - 1;
    if (cut)
        len = N - 1;
    std::memcpy(dst, field, len);
    dst[len] = '\0';
    return cut;
}

void
plus_to_space(char* s)
{
    for (; *s != '\0'; ++s) {
        if (*s == '+')
            *s = ' ';
    }
}

void
put_two_digits(char* p, int value)
{
    p[0] = static_cast<char>('0' + value / 10);
    p[1] = static_cast<char>('0' + value % 10);
}

template <std::size_t N>
void
add_two_digits(field_writer<N>& w, int value)
{
    char digits[2];
    put_two_digits(digits, value);
    w.add(digits, 2);
}

constexpr char month_abbreviations[12][4] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                             "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// date_text for the local time of t, zone text "-0000".  False when the C
// library cannot convert t or its year does not fit the four digits of the
// layout.  Month names stay English whatever the locale.
bool
format_local_time(std::time_t t, char (&date)[sizeof log_record::date_text])
{
    std::tm tm;
    if (localtime_r(&t, &tm) == nullptr)
        return false;
    const long long year = tm.tm_year + 1900LL;
    if (year < 0 || year > 9999)
        return false;
    char* p = date;
    *p++ = '[';
    put_two_digits(p, tm.tm_mday);
    p += 2;
    *p++ = '/';
    std::memcpy(p, month_abbreviations[tm.tm_mon], 3);
    p += 3;
    *p++ = '/';
    put_two_digits(p, static_cast<int>(year / 100));
    put_two_digits(p + 2, static_cast<int>(year % 100));
    p += 4;
    for (const int part : {tm.tm_hour, tm.tm_min, tm.tm_sec}) {
        *p++ = ':';
        put_two_digits(p, part);
        p += 2;
    }
    std::memcpy(p, " -0000]", 8);
    return true;
}

// The integer part of a decimal number of seconds, with an optional sign,
// saturated to the range of a 64-bit time.
long long
scan_seconds(const char* s)
{
    bool negative = false;
    if (*s == '-' || *s == '+')
        negative = *s++ == '-';
    long long value = 0;
    for (; *s >= '0' && *s <= '9'; ++s) {
        const int digit = *s - '0';
        if (value > (LLONG_MAX - digit) / 10)
            return negative ? LLONG_MIN : LLONG_MAX;
        value = value * 10 + digit;
    }
    return negative ? -value : value;
}

// Days from 1 January 1970 to a date of the proleptic Gregorian calendar
// (month 1 to 12, any day: days past the month's end run on).
constexpr long long
days_from_civil(long long year, long long month, long long day)
{
    year -= month <= 2;
    const long long era = (year >= 0 ? year : year - 399) / 400;
    const long long year_of_era = year - era * 400;
    const long long day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const long long day_of_era =
        year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    return era * 146097 + day_of_era - 719468;
}

static_assert(days_from_civil(1970, 1, 1) == 0);
static_assert(days_from_civil(2000, 3, 1) == 11017);

// ---- FTP transfer log

// weekday month day time year transfer-time host size name type action
// direction access-mode user service method user-id completion
int
ftp_line(const split_line& l)
{
    log_record& r = g_record;
    char* const text = l.text;
    std::size_t p = l.next_field(0);  // over the weekday
    const char* month = text + p;
    p = l.next_field(p);
    const int day = scan_int(text + p);
    p = l.next_field(p);
    const char* time_text = text + p;
    p = l.next_field(p);
    const int year = scan_int(text + p);
    if (strnlen(time_text, 6) < 6 || time_text[2] != ':' || time_text[5] != ':' || year < 1990 ||
        year > 2100 || day < 1 || day > 31)
        return 0;

    field_writer date(r.date_text);
    date.add('[');
    add_two_digits(date, day);
    date.add('/');
    date.add(month);  // as written: the record loop checks it
    date.add('/');
    add_two_digits(date, year / 100);
    add_two_digits(date, year % 100);
    date.add(':');
    date.add(time_text);
    date.add(" -0000]");
    date.finish();

    p = l.next_field(p);       // the transfer time
    p = l.after_separator(p);  // a second blank here means no host
    if (text[p] == '\0') {
        copy_field(r.host, "NONE");
        if (g_settings.debug && warnings_enabled())
            std::fputs("Warning: Blank hostname found!\n", diag_stream());
    } else {
        copy_field(r.host, text + p);
    }
    p = l.next_field(p);
    r.bytes = scan_u64(text + p);
    p = l.next_field(p);
    const char* file_name = text + p;
    // A line cut short before its file name has no transfer to count.
    if (*file_name == '\0')
        return 0;
    p = l.next_field(p);  // transfer type
    p = l.next_field(p);  // action flag
    p = l.next_field(p);  // direction
    field_writer request(r.request, 1);
    request.add(text[p] == 'i' ? "\"POST " : "\"GET ");
    request.add(file_name);
    request.finish('"');

    p = l.after_separator(p);  // the direction
    p = l.next_field(p);       // the access mode
    copy_field(r.user, text + p);

    // The completion status is the line's last character.
    r.status = l.end > 0 && text[l.end - 1] == 'i' ? 206 : 200;
    return 1;
}

// ---- squid native log

// time elapsed client result/status size method URL ident hierarchy type
int
squid_line(const split_line& l)
{
    log_record& r = g_record;
    char* const text = l.text;
    if (!format_local_time(static_cast<std::time_t>(scan_seconds(text)), r.date_text))
        return 0;
    std::size_t p = l.next_field(0);  // elapsed time
    p = l.next_field(p);
    if (copy_field(r.host, text + p))
        warn_cut(msg::cut_host, text + p);
    p = l.next_field(p);
    if (const char* slash = std::strchr(text + p, '/'))
        r.status = scan_int(slash + 1);
    p = l.next_field(p);
    r.bytes = scan_u64(text + p);

    p = l.next_field(p);
    const char* method = text + p;
    field_writer request(r.request, 1);
    request.add('"');
    request.add(method);
    bool warned = false;
    if (request.cut) {
        warn_cut(msg::cut_request, method);
        warned = true;
    }
    request.add(' ');
    p = l.after_separator(p);
    const char* url = text + p;
    std::size_t url_length = std::strlen(url);
    // TrimSquidURL N keeps the scheme, the host and N - 1 directories.
    if (const int trim = g_settings.trim_squid_url; trim > 0) {
        int slashes = 0;
        for (std::size_t i = 1; i < url_length; ++i) {
            if (url[i] == '/' && ++slashes == trim + 2) {
                url_length = i;
                break;
            }
        }
    }
    request.add(url, url_length);
    if (request.cut && !warned)
        warn_cut(msg::cut_request, method);
    request.finish('"');

    p = l.after_separator(p);
    while (p < l.end && (text[p] == '\0' || text[p] == ' '))
        ++p;
    std::size_t n = 0;
    while (n < sizeof r.user - 1 && text[p] != '\0' && text[p] != ' ')
        r.user[n++] = text[p++];
    r.user[n] = '\0';
    // A squid line has fields after the ident: without them it was cut short.
    p = l.field_end(p);
    return p < l.end ? 1 : 0;
}

// ---- W3C extended log

constexpr const char* w3c_names[w3c_known_fields] = {
    "date",      "time",        "c-ip",     "cs-method",      "cs-uri-stem", "cs-uri-query",
    "sc-status", "cs(Referer)", "sc-bytes", "cs(User-Agent)", "cs-username"};

constexpr char fields_directive[] = "#Fields:";

// The columns named after "#Fields:", every field counting, empty ones too.
void
read_fields_directive(const split_line& l)
{
    w3c_layout layout;
    int count = 0;
    std::size_t p = sizeof fields_directive - 1;
    while (p < l.end) {
        ++p;
        ++count;
        const char* name = l.text + p;
        for (int k = 0; k < w3c_known_fields; ++k) {
            if (std::strcmp(name, w3c_names[k]) == 0)
                layout.position[k] = count;
        }
        p = l.field_end(p);
    }
    layout.count = count;
    for (int k = 0; k < w3c_known_fields; ++k) {
        if (layout.position[k] == 0)
            continue;
        int i = layout.wanted++;
        for (; i > 0 && layout.position[layout.order[i - 1]] > layout.position[k]; --i)
            layout.order[i] = layout.order[i - 1];
        layout.order[i] = static_cast<unsigned char>(k);
    }
    g_w3c_layout = layout;
}

// The moment named by a W3C date (YYYY-MM-DD) and time (hh:mm:ss), both
// UTC; an absent field counts as zeros.  False when a "-" or ":" is missing.
// Years before 1901 are read as already counted from 1900.
bool
w3c_moment(const char* date, const char* time_of_day, long long& seconds)
{
    long long year = 1900;
    long long month = 0;  // from 0
    long long day = 0;
    if (date != nullptr) {
        const long long written = scan_int(date);
        year = written >= 1901 ? written : written + 1900;
        const char* dash = std::strchr(date, '-');
        if (dash == nullptr)
            return false;
        month = scan_int(dash + 1) - 1LL;
        dash = std::strchr(dash + 1, '-');
        if (dash == nullptr)
            return false;
        day = scan_int(dash + 1);
    }
    long long hour = 0;
    long long minute = 0;
    long long second = 0;
    if (time_of_day != nullptr) {
        hour = scan_int(time_of_day);
        const char* colon = std::strchr(time_of_day, ':');
        if (colon == nullptr)
            return false;
        minute = scan_int(colon + 1);
        colon = std::strchr(colon + 1, ':');
        if (colon == nullptr)
            return false;
        second = scan_int(colon + 1);
    }
    // Months past December (or before January) run into the next years,
    // days and times into the next days, as the C library normalises them.
    long long year_shift = month / 12;
    month %= 12;
    if (month < 0) {
        month += 12;
        --year_shift;
    }
    const long long days = days_from_civil(year + year_shift, month + 1, 1) + day - 1;
    seconds = days * 86400 + hour * 3600 + minute * 60 + second;
    return true;
}

int
w3c_line(const split_line& l)
{
    log_record& r = g_record;
    char* const text = l.text;
    if (text[0] == '\0')
        return 0;  // an empty line, or one whose first field is empty
    if (text[0] == '#') {
        if (std::strcmp(text, fields_directive) == 0)
            read_fields_directive(l);
        return 0;
    }

    const w3c_layout& layout = g_w3c_layout;
    char* value[w3c_known_fields] = {};
    int next = 0;
    int count = 1;
    for (std::size_t p = 0;; ++count) {
        if (next < layout.wanted && layout.position[layout.order[next]] == count)
            value[layout.order[next++]] = text + p;
        p = l.field_end(p);
        if (p >= l.end)
            break;
        ++p;
    }
    if (count != layout.count || value[w3c_uri_stem] == nullptr)
        return 0;

    long long seconds;
    if (!w3c_moment(value[w3c_date], value[w3c_time], seconds) ||
        !format_local_time(static_cast<std::time_t>(seconds), r.date_text))
        return 0;

    plus_to_space(value[w3c_uri_stem]);
    const char* method = value[w3c_method];
    if (method == nullptr || std::strcmp(method, "-") == 0)
        method = "NONE";
    field_writer request(r.request, 1);
    request.add('"');
    request.add(method);
    request.add(' ');
    request.add(value[w3c_uri_stem]);
    if (const char* query = value[w3c_uri_query]; query != nullptr && query[0] != '-') {
        request.add('?');
        request.add(query);
    }
    request.finish('"');

    if (value[w3c_c_ip] != nullptr)
        copy_field(r.host, value[w3c_c_ip]);
    if (value[w3c_status] != nullptr)
        r.status = scan_int(value[w3c_status]);
    if (value[w3c_referrer] != nullptr)
        copy_field(r.referrer, value[w3c_referrer]);
    if (value[w3c_bytes] != nullptr)
        r.bytes = scan_u64(value[w3c_bytes]);
    if (value[w3c_agent] != nullptr) {
        copy_field(r.agent, value[w3c_agent]);
        plus_to_space(r.agent);
    }
    if (value[w3c_username] != nullptr)
        copy_field(r.user, value[w3c_username]);
    return 1;
}

}  // namespace

int
parse_ftp(char* line, std::size_t length)
{
    return ftp_line(split_without_line_end(line, length));
}

int
parse_squid(char* line, std::size_t length)
{
    return squid_line(split_without_line_end(line, length));
}

int
parse_w3c(char* line, std::size_t length)
{
    // Some servers end their lines, the Fields directive among them, with a
    // blank: counted as an empty last field it would make the directive one
    // field longer than every data line, and the whole log unreadable.
    while (length > 0 && (line[length - 1] == ' ' || line[length - 1] == '\t' ||
                          line[length - 1] == '\n' || line[length - 1] == '\r'))
        line[--length] = '\0';
    return w3c_line(split_without_line_end(line, length));
}
