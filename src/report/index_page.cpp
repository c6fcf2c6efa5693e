#include "report/index_page.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

#include "common/catalog.hpp"
#include "common/files.hpp"
#include "common/history_row.hpp"
#include "common/messages.hpp"
#include "common/settings.hpp"
#include "graphs/charts.hpp"
#include "report/chart_helper.hpp"
#include "report/page_frame.hpp"
#include "report/report_file.hpp"

namespace {

using ull = unsigned long long;

constexpr std::size_t title_capacity = 4096;
constexpr std::size_t page_name_capacity = 256;
constexpr const char* grey = "#C0C0C0";
constexpr const char* shade = "#D0D0E0";

// The grand total adds in doubles, a year's total in integers.
template <typename Count> struct sums {
    Count hits = 0, files = 0, pages = 0, visits = 0;
    double kbytes = 0;

    void add(const history_row& r)
    {
        hits += static_cast<Count>(r.hits);
        files += static_cast<Count>(r.files);
        pages += static_cast<Count>(r.pages);
        visits += static_cast<Count>(r.visits);
        kbytes += r.kbytes;
    }
};

// Names the page as the directory index, unless someone already did: an
// existing file or link at the name is never touched.
void
write_htaccess(const char* page_name)
{
    const int fd = open_no_follow(".htaccess", O_WRONLY | O_CREAT | O_EXCL,
                                  0644);  // NOLINT(hicpp-signed-bitwise)
    if (fd < 0) {
        if (errno != EEXIST)
            warn("Error: Failed to create .htaccess file: %s\n", std::strerror(errno));
        return;
    }
    owned_file f(fdopen(fd, "w"));
    if (!f) {
        close(fd);
        return;
    }
    std::fprintf(f.get(), "DirectoryIndex %s\n", page_name);
    report_file_close(f, ".htaccess");
}

void
header_rows(std::FILE* out)
{
    const settings& s = g_settings;
    std::fputs("<TABLE WIDTH=600 BORDER=2 CELLSPACING=1 CELLPADDING=1>\n"
               "<TR><TH HEIGHT=4></TH></TR>\n",
               out);
    std::fprintf(out, "<TR><TH COLSPAN=11 BGCOLOR=\"%s\" ALIGN=center>", grey);
    std::fprintf(out, "%s</TH></TR>\n", msg::month_summary);
    std::fputs("<TR><TH HEIGHT=4></TH></TR>\n", out);
    std::fprintf(out,
                 "<TR><TH ALIGN=left ROWSPAN=2 BGCOLOR=\"%s\"><FONT SIZE=\"-1\">%s</FONT></TH>\n",
                 grey, msg::month_heading);
    std::fprintf(out,
                 "<TH ALIGN=center COLSPAN=4 BGCOLOR=\"%s\"><FONT SIZE=\"-1\">%s</FONT></TH>\n",
                 grey, msg::daily_average);
    std::fprintf(
        out, "<TH ALIGN=center COLSPAN=6 BGCOLOR=\"%s\"><FONT SIZE=\"-1\">%s</FONT></TH></TR>\n",
        grey, msg::month_totals);
    std::fprintf(out, "<TR><TH ALIGN=center BGCOLOR=\"%s\"><FONT SIZE=\"-1\">%s</FONT></TH>\n",
                 s.color_hit.text, msg::hits_heading);
    const struct {
        const char* colour;
        const char* label;
    } middle[] = {
        {s.color_file.text, msg::files_heading},   {s.color_page.text, msg::pages_heading},
        {s.color_visit.text, msg::visits_heading}, {s.color_site.text, msg::sites_heading},
        {s.color_kbyte.text, msg::kb_heading},     {s.color_visit.text, msg::visits_heading},
        {s.color_page.text, msg::pages_heading},   {s.color_file.text, msg::files_heading},
    };
    for (const auto& cell : middle)
        std::fprintf(out, "<TH ALIGN=center BGCOLOR=\"%s\"><FONT SIZE=\"-1\">%s</FONT></TH>\n",
                     cell.colour, cell.label);
    std::fprintf(out, "<TH ALIGN=center BGCOLOR=\"%s\"><FONT SIZE=\"-1\">%s</FONT></TH></TR>\n",
                 s.color_hit.text, msg::hits_heading);
    std::fputs("<TR><TH HEIGHT=4></TH></TR>\n", out);
}

// The row is left open: the next row's <TR> follows it directly.
void
year_total_row(std::FILE* out, int year, const sums<u64>& y)
{
    std::fprintf(
        out, "<TR><TH COLSPAN=6 BGCOLOR=\"%s\" ALIGN=left><FONT SIZE=\"-1\"><STRONG>%04d</TH>\n",
        shade, year);
    std::fprintf(out, "<TH ALIGN=\"right\" BGCOLOR=\"%s\"><FONT SIZE=\"-1\">%.0f</TH>", shade,
                 y.kbytes);
    for (const u64 v : {y.visits, y.pages, y.files, y.hits})
        std::fprintf(out, "<TH ALIGN=\"right\" BGCOLOR=\"%s\"><FONT SIZE=\"-1\">%0llu</TH>", shade,
                     static_cast<ull>(v));
}

void
month_row(std::FILE* out, const history_row& r, u64 days)
{
    const char* short_name = msg::month_short[(r.month >= 1 && r.month <= 12) ? r.month : 0];
    std::fputs("<TR><TD NOWRAP>", out);
    if (r.hits != 0)
        std::fprintf(out, "<A HREF=\"usage_%04d%02d.%s\"><FONT SIZE=\"-1\">%s %d</FONT></A></TD>\n",
                     r.year, r.month, g_settings.html_extension.c_str(), short_name, r.year);
    else
        std::fprintf(out, "<FONT SIZE=\"-1\">%s %d</FONT></A></TD>\n", short_name, r.year);
    for (const u64 v : {r.hits, r.files, r.pages, r.visits})
        std::fprintf(out, "<TD ALIGN=right><FONT SIZE=\"-1\">%llu</FONT></TD>\n",
                     static_cast<ull>(v / days));
    std::fprintf(out, "<TD ALIGN=right><FONT SIZE=\"-1\">%llu</FONT></TD>\n",
                 static_cast<ull>(r.sites));
    std::fprintf(out, "<TD ALIGN=right><FONT SIZE=\"-1\">%.0f</FONT></TD>\n", r.kbytes);
    for (const u64 v : {r.visits, r.pages, r.files})
        std::fprintf(out, "<TD ALIGN=right><FONT SIZE=\"-1\">%llu</FONT></TD>\n",
                     static_cast<ull>(v));
    std::fprintf(out, "<TD ALIGN=right><FONT SIZE=\"-1\">%llu</FONT></TD></TR>\n",
                 static_cast<ull>(r.hits));
}

bool
older_data(int row)
{
    for (int i = row - 1; i >= 0; --i)
        if (g_history.rows[i].hits != 0)
            return true;
    return false;
}

void
month_rows(std::FILE* out)
{
    const settings& s = g_settings;
    const bool by_year = s.index_months > 16;
    const int newest = history_months - 1;
    const int listed = std::min(std::max(s.index_months, 0), history_months);
    int year = g_history.rows[newest].year;
    sums<double> grand;
    sums<u64> this_year;
    for (int i = newest; i > newest - listed; --i) {
        const history_row& r = g_history.rows[i];
        // A damaged history may hold a last day before the first: an average
        // is never taken over less than one day.
        u64 days = 1;
        if (r.hits != 0) {
            const long long span = static_cast<long long>(r.last_day) - r.first_day + 1;
            days = span >= 1 ? static_cast<u64>(span) : 1;
        } else if (!older_data(i)) {
            break;
        }
        if (r.year != year) {
            if (by_year && s.year_totals) {
                year_total_row(out, year, this_year);
                this_year = sums<u64>{};
            }
            year = r.year;
            if (by_year && s.year_headers)
                std::fprintf(out, "<TR><TH COLSPAN=11 BGCOLOR=\"%s\" ALIGN=center>%04d</TH></TR>\n",
                             grey, year);
        }
        month_row(out, r, days);
        grand.add(r);
        this_year.add(r);
    }
    if (by_year && s.year_totals)
        year_total_row(out, year, this_year);

    std::fputs("<TR><TH HEIGHT=4></TH></TR>\n", out);
    std::fprintf(out,
                 "<TR><TH BGCOLOR=\"%s\" COLSPAN=6 ALIGN=left><FONT SIZE=\"-1\">%s</FONT></TH>\n",
                 grey, msg::grand_total);
    for (const double v : {grand.kbytes, grand.visits, grand.pages, grand.files})
        std::fprintf(out, "<TH BGCOLOR=\"%s\" ALIGN=right><FONT SIZE=\"-1\">%.0f</FONT></TH>\n",
                     grey, v);
    std::fprintf(out, "<TH BGCOLOR=\"%s\" ALIGN=right><FONT SIZE=\"-1\">%.0f</FONT></TH></TR>\n",
                 grey, grand.hits);
}

}  // namespace

int
index_report()
{
    chart_helper in_place(false);
    return index_report(in_place);
}

int
index_report(chart_helper& charts)
{
    const settings& s = g_settings;
    progress("%s\n", msg::generating_summary);

    char title[title_capacity];
    std::snprintf(title, sizeof title, "%s %s", msg::summary_title,
                  s.host_name ? s.host_name->c_str() : "");
    charts.draw([title] { draw_yearly_chart("usage.png", title, g_history.rows); });

    char page_name[page_name_capacity];
    std::snprintf(page_name, sizeof page_name, "index.%s", s.html_extension.c_str());
    if (s.htaccess)
        write_htaccess(page_name);

    report_file page(page_name);
    if (!page)
        return 1;
    std::FILE* out = page.get();
    page_head(out, nullptr);
    std::fputs("<IMG SRC=\"usage.png\" ALT=\"", out);
    write_html_text(out, title);
    std::fputs("\" HEIGHT=256 WIDTH=512><P>\n", out);
    header_rows(out);
    month_rows(out);
    std::fputs("<TR><TH HEIGHT=4></TH></TR>\n</TABLE>\n", out);
    page_tail(out);
    return page.finish() ? 0 : 1;
}
