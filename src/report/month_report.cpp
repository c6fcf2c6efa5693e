#include "report/month_report.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "common/catalog.hpp"
#include "common/counters.hpp"
#include "common/messages.hpp"
#include "common/settings.hpp"
#include "graphs/charts.hpp"
#include "report/chart_helper.hpp"
#include "report/dumps.hpp"
#include "report/month_page.hpp"
#include "report/page_frame.hpp"
#include "report/report_file.hpp"
#include "report/sort_arrays.hpp"
#include "report/top_tables.hpp"
#include "resolve/geolocation.hpp"

namespace {

// Names are formed in buffers of these sizes; longer ones are cut.
constexpr std::size_t page_name_capacity = 256;
constexpr std::size_t chart_name_capacity = 256;
constexpr std::size_t chart_title_capacity = 256;
constexpr std::size_t period_capacity = 256;

// The array of one kind, alive only while that kind is written.
template <typename Node> class kind_array {
  public:
    /// Collects every entry of the table; reports when memory is short.
    kind_array(const chained_table<Node>& table, const char* array_name, const char* no_memory)
    {
        const std::size_t n = table.entries;
        if (n == 0)
            return;
        storage_.reset(new (std::nothrow) Node*[n]);
        if (!storage_) {
            warn("%s [%s]\n", no_memory, array_name);
            return;
        }
        a_.items = storage_.get();
        // The arrays are sorted, so the entries are taken in memory order.
        for_each_entry(table, [&](Node* node) { a_.items[a_.count++] = node; });
    }
    bool empty() const { return a_.count == 0; }
    template <auto Key> void sort(by_key<Key>) { sort_by_key<Key>(a_.items, a_.count); }
    /// Sorts only as far as a table of `rows` visible rows reads: those rows
    /// and every hidden entry that may come before them.  The comparators
    /// break every tie, so the leading entries are those of a full sort.
    template <typename Less> void sort_leading(Less less, int rows)
    {
        std::size_t needed = static_cast<std::size_t>(rows > 0 ? rows : 0);
        if constexpr (requires { a_.items[0]->kind; }) {
            for (std::size_t i = 0; i < a_.count && needed < a_.count; ++i)
                if (a_.items[i]->kind == kind_hidden)
                    ++needed;
        }
        if (needed >= a_.count)
            sort(less);
        else
            std::partial_sort(a_.items, a_.items + needed, a_.items + a_.count, less);
    }
    const sort_array<Node>& get() const { return a_; }

  private:
    std::unique_ptr<Node*[]> storage_;
    sort_array<Node> a_;
};

void
report_urls(std::FILE* page, int year, int month)
{
    const settings& s = g_settings;
    kind_array<unode> u(url_table, "u_array", msg::no_memory_top_urls);
    if (u.empty())
        return;
    if (s.dump_urls || s.top_urls != 0) {
        // The dump and the listing of them all read the whole order; the
        // table alone reads its rows.
        if (s.dump_urls || s.all_urls)
            u.sort(by_key<&unode::hits>{});
        else
            u.sort_leading(by_key<&unode::hits>{}, s.top_urls);
        if (s.top_urls != 0)
            url_leaders(page, u.get(), false);
        if (s.dump_urls)
            dump_urls(u.get(), year, month);
    }
    if (s.top_k_urls != 0) {
        // Without the by-hits table this one writes the whole listing page.
        if (s.top_urls == 0 && s.all_urls)
            u.sort(by_key<&unode::bytes>{});
        else
            u.sort_leading(by_key<&unode::bytes>{}, s.top_k_urls);
        url_leaders(page, u.get(), true);
    }
    if (s.top_entry != 0) {
        u.sort_leading(by_key<&unode::entries>{}, s.top_entry);
        entry_exit_leaders(page, u.get(), false);
        if (s.top_exit != 0) {
            u.sort_leading(by_key<&unode::exits>{}, s.top_exit);
            entry_exit_leaders(page, u.get(), true);
        }
    }
}

void
report_sites(std::FILE* page, int year, int month)
{
    const settings& s = g_settings;
    kind_array<hnode> h(site_table, "h_array", msg::no_memory_top_sites);
    if (h.empty())
        return;
    if (s.dump_sites || s.top_sites != 0) {
        if (s.dump_sites || s.all_sites)
            h.sort(by_key<&hnode::hits>{});
        else
            h.sort_leading(by_key<&hnode::hits>{}, s.top_sites);
        if (s.top_sites != 0)
            site_leaders(page, h.get(), false);
        if (s.dump_sites)
            dump_sites(h.get(), year, month);
    }
    if (s.top_k_sites != 0) {
        if (s.top_sites == 0 && s.all_sites)
            h.sort(by_key<&hnode::bytes>{});
        else
            h.sort_leading(by_key<&hnode::bytes>{}, s.top_k_sites);
        site_leaders(page, h.get(), true);
    }
}

// Referrers, search strings, users and agents: one order, one table, one
// dump.  Only the dump and the listing of them all (all) read the whole order.
template <typename Node>
void
report_by_hits(std::FILE* page, const chained_table<Node>& table, const char* array_name,
               const char* no_memory, bool dump, bool all, int top,
               void (*write_table)(std::FILE*, const sort_array<Node>&),
               void (*write_dump)(const sort_array<Node>&, int, int), int year, int month)
{
    kind_array<Node> a(table, array_name, no_memory);
    if (a.empty() || !(dump || top != 0))
        return;
    if (dump || all)
        a.sort(by_key<&Node::hits>{});
    else
        a.sort_leading(by_key<&Node::hits>{}, top);
    if (top != 0)
        write_table(page, a.get());
    if (dump)
        write_dump(a.get(), year, month);
}

// The month's hosts by country: the pie of the leading ten and the table of
// the TopCountries leading rows.
void
country_section(std::FILE* out, const char* month_name, int year, int month, chart_helper& charts)
{
    const settings& s = g_settings;
    attribute_countries();
    const int total = select_top_countries();
    const int top = g_top_countries.count;
    country_row* const* slots = g_top_countries.slots.get();

    std::fputs("<A NAME=\"TOPCTRYS\"></A>\n", out);
    if (s.country_graph) {
        u64 values[10] = {};
        const char* labels[10] = {};
        for (int i = 0; i < top && i < 10; ++i) {
            if (slots[i] == nullptr)
                continue;
            values[i] = slots[i]->hits;
            labels[i] = slots[i]->description;
        }
        char title[48];
        std::snprintf(title, sizeof title, "%s %s %d", msg::country_chart_title, month_name, year);
        char chart[chart_name_capacity];
        std::snprintf(chart, sizeof chart, "ctry_usage_%04d%02d.png", year, month);
        charts.draw([chart, title, total = g_month.hits, values, labels] {
            draw_pie_chart(chart, title, total, values, labels);
        });
        std::fprintf(out, "<IMG SRC=\"%s\" ALT=\"%s\" HEIGHT=300 WIDTH=512><P>\n", chart, title);
    }
    int shown = 0;
    for (int i = 0; i < top; ++i)
        if (slots[i] != nullptr && slots[i]->hits != 0)
            ++shown;
    country_leaders(out, slots, top, shown, total);
}

}  // namespace

int
month_report()
{
    chart_helper in_place(false);
    return month_report(in_place);
}

int
month_report(chart_helper& charts)
{
    const settings& s = g_settings;
    const int year = g_clock.year;
    const int month = g_clock.month;
    const char* month_name = msg::month_name[(month >= 1 && month <= 12) ? month : 0];
    progress("%s %s %d\n", msg::generating_report, month_name, year);

    char page_name[page_name_capacity];
    std::snprintf(page_name, sizeof page_name, "usage_%04d%02d.%s", year, month,
                  s.html_extension.c_str());
    char daily_chart[chart_name_capacity];
    std::snprintf(daily_chart, sizeof daily_chart, "daily_usage_%04d%02d.png", year, month);
    char hourly_chart[chart_name_capacity];
    std::snprintf(hourly_chart, sizeof hourly_chart, "hourly_usage_%04d%02d.png", year, month);
    char daily_title[chart_title_capacity];
    std::snprintf(daily_title, sizeof daily_title, "%s %s %d", msg::daily_chart_title, month_name,
                  year);
    char hourly_title[chart_title_capacity];
    std::snprintf(hourly_title, sizeof hourly_title, "%s %s %d", msg::hourly_chart_title,
                  month_name, year);
    if (s.daily_graph)
        charts.draw([daily_chart, daily_title, month, year] {
            draw_daily_chart(daily_chart, daily_title, month, year, g_daily);
        });
    if (s.hourly_graph)
        charts.draw([hourly_chart, hourly_title] {
            draw_hourly_chart(hourly_chart, hourly_title, g_hourly);
        });

    report_file page(page_name);
    if (!page)
        return 1;
    std::FILE* out = page.get();
    char period[period_capacity];
    std::snprintf(period, sizeof period, "%s %d", month_name, year);
    page_head(out, period);
    section_links(out);
    month_summary_table(out);
    if (s.daily_stats || s.daily_graph) {
        std::fputs("<A NAME=\"DAYSTATS\"></A>\n", out);
        if (s.daily_graph)
            std::fprintf(out, "<IMG SRC=\"%s\" ALT=\"%s\" HEIGHT=400 WIDTH=512><P>\n", daily_chart,
                         daily_title);
        if (s.daily_stats)
            day_table(out);
    }
    if (s.hourly_stats || s.hourly_graph) {
        std::fputs("<A NAME=\"HOURSTATS\"></A>\n", out);
        if (s.hourly_graph)
            std::fprintf(out, "<IMG SRC=\"%s\" ALT=\"%s\" HEIGHT=256 WIDTH=512><P>\n", hourly_chart,
                         hourly_title);
        if (s.hourly_stats)
            hour_table(out);
    }

    report_urls(out, year, month);
    report_sites(out, year, month);
    report_by_hits(out, referrer_table, "r_array", msg::no_memory_top_referrers, s.dump_referrers,
                   s.all_referrers, s.top_referrers, referrer_leaders, dump_referrers, year, month);
    report_by_hits(out, search_table, "s_array", msg::no_memory_top_search, s.dump_search_str,
                   s.all_search_str, s.top_search, search_leaders, dump_search_strings, year,
                   month);
    report_by_hits(out, user_table, "i_array", msg::no_memory_top_users, s.dump_users, s.all_users,
                   s.top_users, user_leaders, dump_users, year, month);
    report_by_hits(out, agent_table, "a_array", msg::no_memory_top_agents, s.dump_agents,
                   s.all_agents, s.top_agents, agent_leaders, dump_agents, year, month);
    if (s.top_countries != 0 && g_top_countries.count != 0)
        country_section(out, month_name, year, month, charts);
    page_tail(out);
    return page.finish() ? 0 : 1;
}
