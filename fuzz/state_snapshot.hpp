// What a state file carries, as text: the clock, the month's counters and
// every entry of every table with its fields, each table's entries sorted
// (a restored table's chains come back in another order).  Two months that
// give the same text give the same state file.
#pragma once

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "common/counters.hpp"
#include "tables/tables.hpp"

namespace fuzz {

[[gnu::format(printf, 2, 3)]] inline void
add_line(std::string& s, const char* format, ...)
{
    char buf[4200];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buf, sizeof buf, format, args);
    va_end(args);
    s += buf;
    s += '\n';
}

// Referrers and agents are written only when the month counted some:
// without, they are left out.
inline std::string
state_snapshot()
{
    std::string s;
    const period_clock& c = g_clock;
    const month_counters& m = g_month;
    add_line(s, "%d %d %d %d %d %d %llu", c.year, c.month, c.day, c.hour, c.minute, c.second,
             c.timestamp);
    add_line(s, "%llu %llu %llu %.0f %llu %llu %llu %llu %llu %llu %llu %llu %llu %d %d", m.hits,
             m.files, m.pages, m.bytes, m.sites, m.urls, m.referrers, m.agents, m.users, m.visits,
             m.day_sites, m.hour_hits, m.max_hour_hits, m.first_day, m.last_day);
    for (const daily_counters& d : g_daily)
        add_line(s, "%llu %llu %llu %.0f %llu %llu", d.hits, d.files, d.pages, d.bytes, d.sites,
                 d.visits);
    for (const hourly_counters& h : g_hourly)
        add_line(s, "%llu %llu %llu %.0f", h.hits, h.files, h.pages, h.bytes);
    for (const response_row& r : g_response)
        add_line(s, "%llu", r.count);
    auto table = [&s](const auto& t, auto&& fields) {
        std::vector<std::string> rows;
        for_each_node(t, [&](const auto* n) {
            std::string row;
            fields(row, n);
            rows.push_back(row);
        });
        std::sort(rows.begin(), rows.end());
        s += "--\n";
        for (const std::string& r : rows)
            s += r;
    };
    table(url_table, [](std::string& row, const unode* n) {
        add_line(row, "%s %d %llu %.0f %llu %llu", name_of(n), n->kind, n->hits, n->bytes,
                 n->entries, n->exits);
    });
    for (const host_table* t : {&site_table, &daily_site_table})
        table(*t, [](std::string& row, const hnode* n) {
            add_line(row, "%s %d %llu %llu %.0f %llu %llu %s", name_of(n), n->kind, n->hits,
                     n->files, n->bytes, n->visits, n->last_time,
                     n->last_url != nullptr ? name_of(n->last_url) : "-");
        });
    if (m.referrers != 0)
        table(referrer_table, [](std::string& row, const rnode* n) {
            add_line(row, "%s %d %llu", name_of(n), n->kind, n->hits);
        });
    if (m.agents != 0)
        table(agent_table, [](std::string& row, const rnode* n) {
            add_line(row, "%s %d %llu", name_of(n), n->kind, n->hits);
        });
    table(search_table,
          [](std::string& row, const snode* n) { add_line(row, "%s %llu", name_of(n), n->hits); });
    table(user_table, [](std::string& row, const inode* n) {
        add_line(row, "%s %d %llu %llu %.0f %llu %llu", name_of(n), n->kind, n->hits, n->files,
                 n->bytes, n->visits, n->last_time);
    });
    return s;
}

}  // namespace fuzz
