#include "report/month_page.hpp"

#include "common/catalog.hpp"
#include "common/counters.hpp"
#include "common/settings.hpp"
#include "report/page_frame.hpp"

namespace {

constexpr const char* table_start = "<TABLE WIDTH=510 BORDER=2 CELLSPACING=1 CELLPADDING=1>\n";
constexpr const char* spacer = "<TR><TH HEIGHT=4></TH></TR>\n";
constexpr const char* label_colour = "#C0C0C0";
constexpr const char* weekend_colour = "#D0D0E0";

// A damaged or crafted state file can put any number on the clock.
const char*
month_text()
{
    const int month = g_clock.month;
    return msg::month_name[(month >= 1 && month <= 12) ? month : 0];
}

// The days the averages are taken over.  A state file whose last day lies
// before its first would make this zero or negative: never divide by that.
u64
report_days()
{
    const long long days = static_cast<long long>(g_month.last_day) - g_month.first_day + 1;
    return days < 1 ? 1 : static_cast<u64>(days);
}

// The last row of the daily table, kept inside the 31 day slots.
int
last_day_shown()
{
    const int last = g_month.last_day;
    return last > 31 ? 31 : last;
}

bool
is_weekend(int day)
{
    // Years before the count's start (a damaged clock) give negative counts.
    const long long weekday = (day_number(day, g_clock.month, g_clock.year) % 7 + 7) % 7;
    return weekday == 0 || weekday == 6;
}

void
link(std::FILE* out, const char* anchor, const char* label)
{
    std::fprintf(out, "<A HREF=\"#%s\">[%s]</A>\n", anchor, label);
}

void
count_row(std::FILE* out, const char* label, u64 value)
{
    std::fprintf(out,
                 "<TR><TD WIDTH=380><FONT SIZE=\"-1\">%s</FONT></TD>\n<TD ALIGN=right "
                 "COLSPAN=2><FONT SIZE=\"-1\"><B>%llu</B></FONT></TD></TR>\n",
                 label, value);
}

void
average_row(std::FILE* out, const char* label, u64 average, u64 maximum)
{
    std::fprintf(out,
                 "<TR><TD><FONT SIZE=\"-1\">%s</FONT></TD>\n<TD ALIGN=right WIDTH=65><FONT "
                 "SIZE=\"-1\"><B>%llu</B></FONT></TD>\n<TD WIDTH=65 ALIGN=right><FONT "
                 "SIZE=-1><B>%llu</B></FONT></TD></TR>\n",
                 label, average, maximum);
}

// A count and its share of the month, as the daily table prints them.
void
day_pair(std::FILE* out, u64 part, u64 total)
{
    std::fprintf(out,
                 "<TD ALIGN=right><FONT SIZE=\"-1\"><B>%llu</B></FONT></TD>\n<TD "
                 "ALIGN=right><FONT SIZE=\"-2\">%3.02f%%</FONT></TD>\n",
                 part, percent_double(static_cast<double>(part), static_cast<double>(total)));
}

// Average, count and share of the month, as the hourly table prints them.
void
hour_triple(std::FILE* out, u64 part, u64 total, u64 days)
{
    std::fprintf(out,
                 "<TD ALIGN=right><FONT SIZE=\"-1\"><B>%llu</B></FONT></TD>\n<TD "
                 "ALIGN=right><FONT SIZE=\"-1\"><B>%llu</B></FONT></TD>\n<TD ALIGN=right><FONT "
                 "SIZE=\"-2\">%3.02f%%</FONT></TD>\n",
                 part / days, part,
                 percent_double(static_cast<double>(part), static_cast<double>(total)));
}

}  // namespace

void
section_links(std::FILE* out)
{
    const settings& s = g_settings;
    std::fputs("<SMALL>\n", out);
    if (s.daily_graph || s.daily_stats)
        link(out, "DAYSTATS", msg::daily_stats_link);
    if (s.hourly_graph || s.hourly_stats)
        link(out, "HOURSTATS", msg::hourly_stats_link);
    if (s.top_k_urls != 0 || s.top_urls != 0)
        link(out, "TOPURLS", msg::urls_link);
    if (s.top_entry != 0)
        link(out, "TOPENTRY", msg::entry_link);
    if (s.top_exit != 0)
        link(out, "TOPEXIT", msg::exit_link);
    if (s.top_k_sites != 0 || s.top_sites != 0)
        link(out, "TOPSITES", msg::sites_heading);
    if (s.top_referrers != 0 && g_month.referrers > 0)
        link(out, "TOPREFS", msg::referrers_heading);
    if (s.top_search != 0)
        link(out, "TOPSEARCH", msg::search_link);
    if (s.top_users != 0 && g_month.users > 0)
        link(out, "TOPUSERS", msg::users_link);
    if (s.top_agents != 0 && g_month.agents > 0)
        link(out, "TOPAGENTS", msg::agents_link);
    if (s.top_countries != 0)
        link(out, "TOPCTRYS", msg::countries_link);
    std::fputs("</SMALL>\n<P>\n", out);
}

void
month_summary_table(std::FILE* out)
{
    const month_counters& m = g_month;
    const u64 days = report_days();

    // The maxima look at every day slot, not only the days the averages cover.
    daily_counters most;
    for (const daily_counters& d : g_daily) {
        most.hits = d.hits > most.hits ? d.hits : most.hits;
        most.files = d.files > most.files ? d.files : most.files;
        most.pages = d.pages > most.pages ? d.pages : most.pages;
        most.sites = d.sites > most.sites ? d.sites : most.sites;
        most.visits = d.visits > most.visits ? d.visits : most.visits;
        most.bytes = d.bytes > most.bytes ? d.bytes : most.bytes;
    }

    std::fputs(table_start, out);
    std::fputs(spacer, out);
    std::fprintf(out, "<TR><TH COLSPAN=3 ALIGN=center BGCOLOR=\"%s\">%s %s %d</TH></TR>\n",
                 label_colour, msg::month_statistics, month_text(), g_clock.year);
    std::fputs(spacer, out);

    count_row(out, msg::total_hits, m.hits);
    count_row(out, msg::total_files, m.files);
    const char* pair_row = "<TR><TD WIDTH=380><FONT SIZE=\"-1\">%s %s</FONT></TD>\n<TD "
                           "ALIGN=right COLSPAN=2><FONT SIZE=\"-1\"><B>%llu</B></FONT></TD></TR>\n";
    std::fprintf(out, pair_row, msg::all_word, msg::pages_heading, m.pages);
    std::fprintf(out, pair_row, msg::all_word, msg::visits_heading, m.visits);
    std::fprintf(out,
                 "<TR><TD WIDTH=380><FONT SIZE=\"-1\">%s</FONT></TD>\n<TD ALIGN=right "
                 "COLSPAN=2><FONT SIZE=\"-1\"><B>%.0f</B></FONT></TD></TR>\n",
                 msg::total_kb, kilobytes(m.bytes));
    std::fputs(spacer, out);

    count_row(out, msg::total_sites, m.sites);
    count_row(out, msg::total_urls, m.urls);
    if (m.referrers != 0)
        count_row(out, msg::total_referrers, m.referrers);
    if (m.users != 0)
        count_row(out, msg::total_users, m.users);
    if (m.agents != 0)
        count_row(out, msg::total_agents, m.agents);
    std::fputs(spacer, out);

    std::fprintf(out,
                 "<TR><TH WIDTH=380 BGCOLOR=\"%s\"><FONT SIZE=-1 COLOR=\"%s\">.</FONT></TH>\n<TH "
                 "WIDTH=65 BGCOLOR=\"%s\" ALIGN=right><FONT SIZE=-1>%s </FONT></TH>\n<TH WIDTH=65 "
                 "BGCOLOR=\"%s\" ALIGN=right><FONT SIZE=-1>%s </FONT></TH></TR>\n",
                 label_colour, label_colour, label_colour, msg::average_word, label_colour,
                 msg::maximum_word);
    std::fputs(spacer, out);

    average_row(out, msg::hits_per_hour, m.hits / (days * 24), m.max_hour_hits);
    average_row(out, msg::hits_per_day, m.hits / days, most.hits);
    average_row(out, msg::files_per_day, m.files / days, most.files);
    average_row(out, msg::pages_per_day, m.pages / days, most.pages);
    average_row(out, msg::sites_per_day, m.sites / days, most.sites);
    average_row(out, msg::visits_per_day, m.visits / days, most.visits);
    std::fprintf(out,
                 "<TR><TD><FONT SIZE=\"-1\">%s</FONT></TD>\n<TD ALIGN=right WIDTH=65><FONT "
                 "SIZE=\"-1\"><B>%.0f</B></FONT></TD>\n<TD WIDTH=65 ALIGN=right><FONT "
                 "SIZE=-1><B>%.0f</B></FONT></TD></TR>\n",
                 msg::kb_per_day, kilobytes(m.bytes) / static_cast<double>(days),
                 kilobytes(most.bytes));
    std::fputs(spacer, out);

    std::fprintf(out,
                 "<TR><TH COLSPAN=3 ALIGN=center BGCOLOR=\"%s\">\n<FONT "
                 "SIZE=\"-1\">%s</FONT></TH></TR>\n",
                 label_colour, msg::hits_by_response);
    std::fputs(spacer, out);
    for (const response_row& r : g_response) {
        if (r.count == 0)
            continue;
        std::fprintf(out,
                     "<TR><TD><FONT SIZE=\"-1\">%s</FONT></TD>\n<TD ALIGN=right><FONT "
                     "SIZE=\"-2\">%3.02f%%</FONT></TD>\n<TD ALIGN=right><FONT "
                     "SIZE=\"-1\"><B>%llu</B></FONT></TD></TR>\n",
                     r.description,
                     percent_double(static_cast<double>(r.count), static_cast<double>(m.hits)),
                     r.count);
    }
    std::fputs(spacer, out);
    std::fputs("</TABLE>\n", out);
    std::fputs("<P>\n", out);
}

void
day_table(std::FILE* out)
{
    const settings& s = g_settings;
    const month_counters& m = g_month;
    const int last = last_day_shown();

    std::fputs(table_start, out);
    std::fputs(spacer, out);
    std::fprintf(out, "<TR><TH BGCOLOR=\"%s\" COLSPAN=13 ALIGN=center>%s %s %d</TH></TR>\n",
                 label_colour, msg::daily_statistics, month_text(), g_clock.year);
    std::fputs(spacer, out);

    std::fprintf(out, "<TR><TH ALIGN=center BGCOLOR=\"%s\"><FONT SIZE=\"-1\">%s</FONT></TH>\n",
                 label_colour, msg::day_heading);
    const char* cell =
        "<TH ALIGN=center BGCOLOR=\"%s\" COLSPAN=2><FONT SIZE=\"-1\">%s</FONT></TH>\n";
    std::fprintf(out, cell, s.color_hit.text, msg::hits_heading);
    std::fprintf(out, cell, s.color_file.text, msg::files_heading);
    std::fprintf(out, cell, s.color_page.text, msg::pages_heading);
    std::fprintf(out, cell, s.color_visit.text, msg::visits_heading);
    std::fprintf(out, cell, s.color_site.text, msg::sites_heading);
    std::fprintf(out,
                 "<TH ALIGN=center BGCOLOR=\"%s\" COLSPAN=2><FONT "
                 "SIZE=\"-1\">%s</FONT></TH></TR>\n",
                 s.color_kbyte.text, msg::kb_heading);
    std::fputs(spacer, out);

    int first = 1;
    while (first <= last && g_daily[first - 1].hits == 0)
        ++first;
    if (first > last)
        first = 1;
    for (int day = first; day <= last; ++day) {
        const daily_counters& d = g_daily[day - 1];
        if (is_weekend(day))
            std::fprintf(out, "<TR BGCOLOR=\"%s\"><TD ALIGN=center>", weekend_colour);
        else
            std::fputs("<TR><TD ALIGN=center>", out);
        std::fprintf(out, "<FONT SIZE=\"-1\"><B>%d</B></FONT></TD>\n", day);
        day_pair(out, d.hits, m.hits);
        day_pair(out, d.files, m.files);
        day_pair(out, d.pages, m.pages);
        day_pair(out, d.visits, m.visits);
        day_pair(out, d.sites, m.sites);
        std::fprintf(out,
                     "<TD ALIGN=right><FONT SIZE=\"-1\"><B>%.0f</B></FONT></TD>\n<TD "
                     "ALIGN=right><FONT SIZE=\"-2\">%3.02f%%</FONT></TD></TR>\n",
                     kilobytes(d.bytes), percent_double(d.bytes, m.bytes));
    }
    std::fputs(spacer, out);
    std::fputs("</TABLE>\n", out);
    std::fputs("<P>\n", out);
}

void
hour_table(std::FILE* out)
{
    const settings& s = g_settings;
    const month_counters& m = g_month;
    const u64 days = report_days();

    std::fputs(table_start, out);
    std::fputs(spacer, out);
    std::fprintf(out, "<TR><TH BGCOLOR=\"%s\" COLSPAN=13 ALIGN=center>%s %s %d</TH></TR>\n",
                 label_colour, msg::hourly_statistics, month_text(), g_clock.year);
    std::fputs(spacer, out);

    std::fprintf(out,
                 "<TR><TH ALIGN=center ROWSPAN=2 BGCOLOR=\"%s\"><FONT "
                 "SIZE=\"-1\">%s</FONT></TH>\n",
                 label_colour, msg::hour_heading);
    const char* cell =
        "<TH ALIGN=center BGCOLOR=\"%s\" COLSPAN=3><FONT SIZE=\"-1\">%s</FONT></TH>\n";
    std::fprintf(out, cell, s.color_hit.text, msg::hits_heading);
    std::fprintf(out, cell, s.color_file.text, msg::files_heading);
    std::fprintf(out, cell, s.color_page.text, msg::pages_heading);
    std::fprintf(out,
                 "<TH ALIGN=center BGCOLOR=\"%s\" COLSPAN=3><FONT "
                 "SIZE=\"-1\">%s</FONT></TH></TR>\n",
                 s.color_kbyte.text, msg::kb_heading);

    const char* const colours[4] = {s.color_hit.text, s.color_file.text, s.color_page.text,
                                    s.color_kbyte.text};
    std::fputs("<TR>", out);
    for (int i = 0; i < 4; ++i)
        std::fprintf(out,
                     "<TH ALIGN=center BGCOLOR=\"%s\"><FONT SIZE=\"-2\">%s</FONT></TH>\n<TH "
                     "ALIGN=center BGCOLOR=\"%s\" COLSPAN=2><FONT SIZE=\"-2\">%s</FONT></TH>%s\n",
                     colours[i], msg::average_word, colours[i], msg::all_word,
                     i == 3 ? "</TR>" : "");
    std::fputs(spacer, out);

    for (int hour = 0; hour < 24; ++hour) {
        const hourly_counters& h = g_hourly[hour];
        std::fprintf(out, "<TR><TD ALIGN=center><FONT SIZE=\"-1\"><B>%d</B></FONT></TD>\n", hour);
        hour_triple(out, h.hits, m.hits, days);
        hour_triple(out, h.files, m.files, days);
        hour_triple(out, h.pages, m.pages, days);
        std::fprintf(out,
                     "<TD ALIGN=right><FONT SIZE=\"-1\"><B>%.0f</B></FONT></TD>\n<TD "
                     "ALIGN=right><FONT SIZE=\"-1\"><B>%.0f</B></FONT></TD>\n<TD "
                     "ALIGN=right><FONT SIZE=\"-2\">%3.02f%%</FONT></TD></TR>\n",
                     h.bytes / static_cast<double>(days) / 1024.0, kilobytes(h.bytes),
                     percent_double(h.bytes, m.bytes));
    }
    std::fputs(spacer, out);
    std::fputs("</TABLE>\n<P>\n", out);
}
