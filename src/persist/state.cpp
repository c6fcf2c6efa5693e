#include "persist/state.hpp"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/catalog.hpp"
#include "common/counters.hpp"
#include "common/files.hpp"
#include "common/messages.hpp"
#include "common/records.hpp"
#include "common/settings.hpp"
#include "common/text.hpp"
#include "common/version.hpp"
#include "tables/tables.hpp"

namespace {

// Results of load_state, one per part of the file that can be missing.
enum load_result : int {
    loaded = 0,
    empty_file = 1,
    no_clock = 2,
    no_totals = 3,
    no_running_values = 4,
    few_days = 5,
    few_hours = 6,
    few_responses = 7,
    bad_monthly_sites = 8,
    bad_daily_sites = 9,
    bad_urls = 10,
    bad_referrers = 11,
    bad_agents = 12,
    bad_search = 13,
    bad_users = 14,
    unknown_version = 99,
};

// A state of the time of 40 response codes has no row for code 505.
constexpr int old_response_rows = 40;

// A restored clock must name a time a record could have: years the seconds
// scale and the history hold, and no later than records are accepted.
constexpr int first_year = 1970;
constexpr int last_year = 2100;

// ---- writing

void
write_clock_text(std::FILE* f, const period_clock& c)
{
    std::fprintf(f, "%02d/%02d/%04d %02d:%02d:%02d", c.month, c.day, c.year, c.hour, c.minute,
                 c.second);
}

void
write_counters(std::FILE* f)
{
    const period_clock& c = g_clock;
    const month_counters& m = g_month;
    std::fprintf(f, "# Parvalyte V%s-%s Incremental Data - ", program_version, program_edition);
    write_clock_text(f, c);
    std::fputc('\n', f);
    std::fprintf(f, "%d %d %d %d %d %d\n", c.year, c.month, c.day, c.hour, c.minute, c.second);
    std::fprintf(f, "%llu %llu %llu %llu %llu %llu %.0f %llu %llu %llu\n", m.hits, m.files, m.sites,
                 m.urls, m.referrers, m.agents, m.bytes, m.pages, m.visits, m.users);
    std::fprintf(f, "%llu %llu %llu %d %d\n", m.day_sites, m.hour_hits, m.max_hour_hits,
                 m.first_day, m.last_day);
    for (const daily_counters& d : g_daily)
        std::fprintf(f, "%llu %llu %.0f %llu %llu %llu\n", d.hits, d.files, d.bytes, d.sites,
                     d.pages, d.visits);
    for (const hourly_counters& h : g_hourly)
        std::fprintf(f, "%llu %llu %.0f %llu\n", h.hits, h.files, h.bytes, h.pages);
    for (const response_row& r : g_response)
        std::fprintf(f, "%llu\n", r.count);
}

// The names' capacities keep every record far below the 4095 characters a
// reader's line holds, so records are written as they are.
void
write_hosts(std::FILE* f, const host_table& table)
{
    for_each_node(table, [f](const hnode* n) {
        std::fprintf(f, "%s\n%d %llu %llu %.0f %llu %llu\n%s\n", name_of(n), n->kind, n->hits,
                     n->files, n->bytes, n->visits, n->last_time,
                     n->last_url != nullptr ? name_of(n->last_url) : "-");
    });
}

void
write_named_counts(std::FILE* f, const chained_table<rnode>& table)
{
    for_each_node(table, [f](const rnode* n) {
        std::fprintf(f, "%s\n%d %llu\n", name_of(n), n->kind, n->hits);
    });
}

void
write_tables(std::FILE* f)
{
    std::fputs("# -urls- \n", f);
    for_each_node(url_table, [f](const unode* n) {
        // URLs count no files: the field is there for the layout's sake.
        std::fprintf(f, "%s\n%d %llu %llu %.0f %llu %llu\n", name_of(n), n->kind, n->hits, 0ULL,
                     n->bytes, n->entries, n->exits);
    });
    std::fputs("# End Of Table - urls\n", f);

    std::fputs("# -sites- (monthly)\n", f);
    write_hosts(f, site_table);
    std::fputs("# End Of Table - sites (monthly)\n", f);

    std::fputs("# -sites- (daily)\n", f);
    write_hosts(f, daily_site_table);
    std::fputs("# End Of Table - sites (daily)\n", f);

    std::fputs("# -referrers- \n", f);
    if (g_month.referrers != 0)
        write_named_counts(f, referrer_table);
    std::fputs("# End Of Table - referrers\n", f);

    std::fputs("# -agents- \n", f);
    if (g_month.agents != 0)
        write_named_counts(f, agent_table);
    std::fputs("# End Of Table - agents\n", f);

    std::fputs("# -search strings- \n", f);
    for_each_node(search_table,
                  [f](const snode* n) { std::fprintf(f, "%s\n%llu\n", name_of(n), n->hits); });
    std::fputs("# End Of Table - search strings\n", f);

    std::fputs("# -usernames- \n", f);
    for_each_node(user_table, [f](const inode* n) {
        std::fprintf(f, "%s\n%d %llu %llu %.0f %llu %llu\n", name_of(n), n->kind, n->hits, n->files,
                     n->bytes, n->visits, n->last_time);
    });
    std::fputs("# End Of Table - usernames\n", f);
}

int
write_state(std::FILE* f)
{
    if (progress_enabled()) {
        std::printf("%s [", msg::saving_state);
        write_clock_text(stdout, g_clock);
        std::printf("]\n");
    }
    write_counters(f);
    write_tables(f);
    return 0;
}

// ---- reading

// A line is read up to this many characters; the rest of a longer one is
// passed over, never taken for the next line.
constexpr std::size_t line_characters = line_capacity - 1;

// The file's lines, one at a time, with one line of look-ahead and the
// current line given back once for a caller that did not want it.
struct state_reader {
    std::FILE* f = nullptr;
    char buffers[2][line_characters + 1];
    int current = 0;
    bool ahead = false;  // the other buffer holds the next line
    bool again = false;  // the current line is given once more

    const char* line() const { return buffers[current]; }

    bool next()
    {
        if (again) {
            again = false;
            return true;
        }
        if (ahead) {
            current = 1 - current;
            ahead = false;
            return true;
        }
        return read_cut_line(f, buffers[current], sizeof buffers[current]);
    }

    /// The line after the current one, or nullptr at the end of the file.
    const char* peek()
    {
        if (!ahead) {
            if (!read_cut_line(f, buffers[1 - current], sizeof buffers[1 - current]))
                return nullptr;
            ahead = true;
        }
        return buffers[1 - current];
    }

    void give_back() { again = true; }
};

// Each reader takes one field at p as scanf would (white space before it
// skipped) and moves p past it.  A field that is missing, malformed or
// beyond what its counter can hold cannot be read: the reader returns false
// and leaves both the value and p as they were, so that the field and those
// after it keep their values.

bool
read_int(const char*& p, int& value, long low, long high)
{
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(p, &end, 10);
    if (end == p || errno == ERANGE || v < low || v > high)
        return false;
    value = static_cast<int>(v);
    p = end;
    return true;
}

// Infinite, NaN or negative volumes would come out of the pages as nonsense.
// The pages round volumes through single precision, which holds what 2^64
// records of 2^64 bytes each come to, and nothing larger.
bool
read_bytes(const char*& p, double& bytes)
{
    char* end = nullptr;
    const double v = std::strtod(p, &end);
    if (end == p || !std::isfinite(v) || v < 0 || v > std::numeric_limits<float>::max())
        return false;
    bytes = v + 0.0;  // -0 becomes 0
    p = end;
    return true;
}

// Days index the 31 daily rows and divide the month's averages.
bool
read_day(const char*& p, int& day)
{
    return read_int(p, day, 1, 31);
}

bool
read_kind(const char*& p, int& kind)
{
    return read_int(p, kind, kind_regular, kind_group);
}

void
read_totals(const char* p)
{
    month_counters& m = g_month;
    (void)(read_count(p, m.hits) && read_count(p, m.files) && read_count(p, m.sites) &&
           read_count(p, m.urls) && read_count(p, m.referrers) && read_count(p, m.agents) &&
           read_bytes(p, m.bytes) && read_count(p, m.pages) && read_count(p, m.visits) &&
           read_count(p, m.users));
}

void
read_running_values(const char* p)
{
    month_counters& m = g_month;
    (void)(read_count(p, m.day_sites) && read_count(p, m.hour_hits) &&
           read_count(p, m.max_hour_hits) && read_day(p, m.first_day) && read_day(p, m.last_day));
}

void
read_day_row(const char* p, daily_counters& d)
{
    (void)(read_count(p, d.hits) && read_count(p, d.files) && read_bytes(p, d.bytes) &&
           read_count(p, d.sites) && read_count(p, d.pages) && read_count(p, d.visits));
}

void
read_hour_row(const char* p, hourly_counters& h)
{
    (void)(read_count(p, h.hits) && read_count(p, h.files) && read_bytes(p, h.bytes) &&
           read_count(p, h.pages));
}

int
days_in_month(int month, int year)
{
    static constexpr int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

// The clock is taken whole or not at all: the month, day and hour index the
// counters and name the pages, and the resume rule compares with its time.
bool
read_clock(const char* p)
{
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!read_int(p, year, first_year, last_year) || !read_int(p, month, 1, 12) ||
        !read_int(p, day, 1, 31) || day > days_in_month(month, year) || !read_int(p, hour, 0, 23) ||
        !read_int(p, minute, 0, 59) || !read_int(p, second, 0, 60))
        return false;
    period_clock& c = g_clock;
    c.year = year;
    c.month = month;
    c.day = day;
    c.hour = hour;
    c.minute = minute;
    c.second = second;
    c.timestamp = static_cast<u64>((day_number(day, month, year) - 719534) * 86400 + hour * 3600LL +
                                   minute * 60LL + second);
    return true;
}

bool
known_header(const char* line)
{
    char current[32];
    std::snprintf(current, sizeof current, "# Parvalyte V%s    ", program_version);
    // Up to and including the "2.2" of the version: any 2.2x state is read.
    return std::strncmp(line, current, 16) == 0 ||
           std::strncmp(line, "# Parvalyte V2.01-1", 19) == 0;
}

bool
starts_with(const char* line, const char* prefix)
{
    return std::strncmp(line, prefix, std::strlen(prefix)) == 0;
}

// Whatever the locale calls a digit, the file's numbers are ASCII.
bool
starts_with_digit(const char* line)
{
    return line[0] >= '0' && line[0] <= '9';
}

// A name line keeps its first capacity characters.  The buffer leaves room
// for the longest name and for the referrer table's "- (Direct Request)".
struct name_text {
    char text[url_name_capacity + 1];
};

void
copy_name(name_text& name, const char* line, std::size_t capacity)
{
    std::size_t n = std::strlen(line);
    if (n > capacity)
        n = capacity;
    std::memcpy(name.text, line, n);
    name.text[n] = '\0';
}

// The fields of a data line; those not read stay 0.  URLs, hosts and users
// have six: kind, hits, files, bytes, and entries and exits (URLs) or visits
// and last time.  Referrers and agents have kind and hits, search strings hits.
struct record_values {
    int kind = kind_regular;
    u64 hits = 0, files = 0;
    double bytes = 0;
    u64 fifth = 0, sixth = 0;
};

// Takes the data line after a name: false when it is missing or does not
// begin with a digit.
bool
read_data_line(state_reader& in, record_values& v, int fields)
{
    if (!in.next() || !starts_with_digit(in.line()))
        return false;
    const char* p = in.line();
    if (fields == 1)
        (void)read_count(p, v.hits);
    else if (fields == 2)
        (void)(read_kind(p, v.kind) && read_count(p, v.hits));
    else
        (void)(read_kind(p, v.kind) && read_count(p, v.hits) && read_count(p, v.files) &&
               read_bytes(p, v.bytes) && read_count(p, v.fifth) && read_count(p, v.sixth));
    return true;
}

// A saved visit count is given to the table plus one; the largest count
// would come back as none restored.
u64
restored_visits(u64 visits)
{
    return visits == ULLONG_MAX ? visits : visits + 1;
}

void
report_skipped(int status, const char* message, const char* name)
{
    if (status != 0)
        warn("%s %s\n", message, name);
}

// Each restorer takes one record whose name line is the reader's current
// line, and adds it with a throwaway distinct count: the month's totals
// come from the totals line.  Returns false for a bad record.

bool
restore_url(state_reader& in)
{
    name_text name;
    copy_name(name, in.line(), url_name_capacity);
    record_values v;
    if (!read_data_line(in, v, 6))
        return false;
    u64 unique = 0;
    // The files field is always 0: URLs count none.
    report_skipped(add_url(name.text, v.kind, v.hits, unique, v.fifth, v.sixth, v.bytes),
                   msg::cant_add_url, name.text);
    return true;
}

bool
restore_host(state_reader& in, host_table& table, const char* message)
{
    name_text name;
    copy_name(name, in.line(), host_name_capacity);
    record_values v;
    if (!read_data_line(in, v, 6) || !in.next())
        return false;
    name_text last_url;
    copy_name(last_url, in.line(), url_name_capacity);
    // The URL section came first, so the last page is found among its entries.
    const char* last = std::strcmp(last_url.text, "-") == 0 ? nullptr : last_url.text;
    u64 unique = 0;
    report_skipped(add_host(name.text, v.kind, v.hits, v.files, unique, restored_visits(v.fifth),
                            v.bytes, v.sixth, last, table),
                   message, name.text);
    return true;
}

using named_count_add = int (*)(char* name, int kind, u64 hits, u64& unique);

bool
restore_named_count(state_reader& in, std::size_t capacity, named_count_add add,
                    const char* message)
{
    name_text name;
    copy_name(name, in.line(), capacity);
    record_values v;
    if (!read_data_line(in, v, 2))
        return false;
    u64 unique = 0;
    report_skipped(add(name.text, v.kind, v.hits, unique), message, name.text);
    return true;
}

bool
restore_referrer(state_reader& in)
{
    return restore_named_count(in, referrer_name_capacity,
                               static_cast<named_count_add>(add_referrer), msg::cant_add_referrer);
}

bool
restore_agent(state_reader& in)
{
    return restore_named_count(in, agent_name_capacity, static_cast<named_count_add>(add_agent),
                               msg::cant_add_agent);
}

bool
restore_search(state_reader& in)
{
    name_text name;
    copy_name(name, in.line(), search_name_capacity);
    record_values v;
    if (!read_data_line(in, v, 1))
        return false;
    report_skipped(add_search(name.text, v.hits), msg::cant_add_search, name.text);
    return true;
}

bool
restore_user(state_reader& in)
{
    name_text name;
    copy_name(name, in.line(), user_name_capacity);
    record_values v;
    if (!read_data_line(in, v, 6))
        return false;
    u64 unique = 0;
    report_skipped(add_user(name.text, v.kind, v.hits, v.files, unique, restored_visits(v.fifth),
                            v.bytes, v.sixth),
                   msg::cant_add_user, name.text);
    return true;
}

bool
is_end_line(const char* line)
{
    return std::strncmp(line, "# End Of Table ", 15) == 0;
}

// One section: its start line, then records until an end line or the end of
// the file.  A name from the log may itself read like an end line; it is
// told from one by the data line that follows it, while a true end line is
// followed by the next start line or by nothing.  Returns 0 or error.
template <typename Restore>
int
read_section(state_reader& in, const char* start, int error, Restore&& restore)
{
    if (!in.next() || !starts_with(in.line(), start))
        return error;
    while (in.next()) {
        if (is_end_line(in.line())) {
            const char* after = in.peek();
            if (after == nullptr || !starts_with_digit(after))
                return loaded;
        }
        if (!restore(in))
            return error;
    }
    return loaded;
}

int
read_counters(state_reader& in)
{
    if (!in.next())
        return empty_file;
    if (!known_header(in.line()))
        return unknown_version;
    if (!in.next() || !read_clock(in.line()))
        return no_clock;
    if (!in.next())
        return no_totals;
    read_totals(in.line());
    if (!in.next())
        return no_running_values;
    read_running_values(in.line());
    for (daily_counters& d : g_daily) {
        if (!in.next())
            return few_days;
        read_day_row(in.line(), d);
    }
    for (hourly_counters& h : g_hourly) {
        if (!in.next())
            return few_hours;
        read_hour_row(in.line(), h);
    }
    for (int i = 0; i < response_rows; ++i) {
        if (!in.next())
            return few_responses;
        // A state of the time of 40 response codes goes on with its URLs.
        if (i == old_response_rows && starts_with(in.line(), "# -urls- ")) {
            g_response[i].count = 0;
            in.give_back();
            break;
        }
        const char* p = in.line();
        (void)read_count(p, g_response[i].count);
    }
    return loaded;
}

int
read_tables(state_reader& in)
{
    if (const int e = read_section(in, "# -urls- ", bad_urls, restore_url))
        return e;
    if (const int e = read_section(in, "# -sites- ", bad_monthly_sites, [](state_reader& r) {
            return restore_host(r, site_table, msg::cant_add_monthly_host);
        }))
        return e;
    if (const int e = read_section(in, "# -sites- ", bad_daily_sites, [](state_reader& r) {
            return restore_host(r, daily_site_table, msg::cant_add_daily_host);
        }))
        return e;
    if (const int e = read_section(in, "# -referrers- ", bad_referrers, restore_referrer))
        return e;
    if (const int e = read_section(in, "# -agents- ", bad_agents, restore_agent))
        return e;
    if (const int e = read_section(in, "# -search string", bad_search, restore_search))
        return e;
    return read_section(in, "# -usernam", bad_users, restore_user);
}

}  // namespace

int
store_state()
{
    const std::string& live = g_settings.incremental_name;
    switch (replace_file(live.c_str(), [](std::FILE* f) { return write_state(f); })) {
    case replace_done: return 0;
    case replace_work_is_link:
        warn("%s %s.new (symlink)\n", msg::cant_open_file, live.c_str());
        return 9;
    case replace_rename_failed:
        warn("Failed renaming %s.new to %s\n", live.c_str(), live.c_str());
        return 1;
    case replace_cant_open:
    case replace_write_failed: break;
    }
    return 1;
}

int
load_state()
{
    const settings& s = g_settings;
    if (s.ignore_state)
        return loaded;
    const char* name = s.incremental_name.c_str();
    const owned_file f = open_regular_for_reading(name);
    if (!f) {
        progress("%s\n", msg::no_state);
        return loaded;
    }
    progress("%s %s\n", msg::reading_state, name);

    // The restore counts no request: a host or user met twice must not take
    // a visit from whatever request was current.
    set_current_url("", false);
    state_reader in;
    in.f = f.get();
    if (const int e = read_counters(in))
        return e;
    if (const int e = read_tables(in))
        return e;
    g_clock.resume_skip = true;
    return loaded;
}
