#include "driver/period.hpp"

#include "persist/history.hpp"
#include "report/month_report.hpp"
#include "resolve/countries.hpp"
#include "resolve/geolocation.hpp"
#include "tables/tables.hpp"

long long
seconds_of(const record_time& t)
{
    return (day_number(t.day, t.month, t.year) - 719534) * 86400 + t.hour * 3600LL +
           t.minute * 60LL + t.second;
}

void
set_clock_to(const record_time& t)
{
    g_clock.year = t.year;
    g_clock.month = t.month;
    g_clock.day = t.day;
    g_clock.hour = t.hour;
    g_clock.minute = t.minute;
    g_clock.second = t.second;
}

record_time
clock_time()
{
    const period_clock& c = g_clock;
    return {c.day, c.month, c.year, c.hour, c.minute, c.second};
}

void
reset_counters()
{
    const u64 hour_hits = g_month.hour_hits;
    g_month = month_counters{};
    g_month.hour_hits = hour_hits;
    for (auto& d : g_daily)
        d = daily_counters{};
    for (auto& h : g_hourly)
        h = hourly_counters{};
    for (auto& r : g_response)
        r.count = 0;
    clear_country_counters();
}

void
start_new_month()
{
    reset_counters();
    clear_month_tables();
    clear_top_countries();
}

namespace {

void
close_day()
{
    daily_counters& row = g_daily[g_clock.day - 1];
    row.sites = g_month.day_sites;
    row.visits = count_table_visits(daily_site_table);
}

bool
day_in_rows(int day)
{
    return day >= 1 && day <= 31;
}

}  // namespace

void
advance_clock(const record_time& t)
{
    period_clock& c = g_clock;
    if (c.month == 0) {
        set_clock_to(t);
        g_month.first_day = t.day;
    }
    // A record of a later month must not stretch the closing month's days.
    const bool same_month = t.month == c.month && t.year == c.year;
    if (same_month && t.day > g_month.last_day)
        g_month.last_day = t.day;
    c.second = t.second;
    c.minute = t.minute;
    if (t.hour != c.hour) {
        if (g_month.hour_hits > g_month.max_hour_hits)
            g_month.max_hour_hits = g_month.hour_hits;
        g_month.hour_hits = 0;
        c.hour = t.hour;
    }
    if (t.day != c.day) {
        if (day_in_rows(c.day))
            close_day();
        g_month.day_sites = 0;
        clear_table(daily_site_table);
        c.day = t.day;
    }
    if (!same_month) {
        close_month();
        c.month = t.month;
        c.year = t.year;
        g_month.last_day = t.day;
        g_month.first_day = t.day;
    }
}

int (*report_closed_month)() = month_report;

void
close_month()
{
    g_month.visits = count_table_visits(site_table);
    close_open_visits(g_clock.previous_timestamp);
    record_month_in_history();
    report_closed_month();
    start_new_month();
}

void
end_of_input()
{
    if (day_in_rows(g_clock.day))
        close_day();
    g_month.visits = count_table_visits(site_table);
    if (g_month.hour_hits > g_month.max_hour_hits)
        g_month.max_hour_hits = g_month.hour_hits;
}

void
count_record(int day, int hour, int status, u64 bytes, bool is_page)
{
    const double size = static_cast<double>(bytes);
    daily_counters& d = g_daily[day - 1];
    hourly_counters& h = g_hourly[hour];
    ++g_month.hits;
    ++g_month.hour_hits;
    g_month.bytes += size;
    ++d.hits;
    d.bytes += size;
    ++h.hits;
    h.bytes += size;
    if (status == 200) {
        ++g_month.files;
        ++d.files;
        ++h.files;
    }
    if (is_page) {
        ++g_month.pages;
        ++d.pages;
        ++h.pages;
    }
}
