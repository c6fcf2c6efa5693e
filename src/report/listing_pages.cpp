#include "report/listing_pages.hpp"

#include <cstdio>

#include "common/catalog.hpp"
#include "common/counters.hpp"
#include "common/messages.hpp"
#include "common/settings.hpp"
#include "report/number_text.hpp"
#include "report/page_frame.hpp"
#include "report/report_file.hpp"

namespace {

const char* const wide_rule =
    "----------------  ----------------  ----------------  ----------------  "
    "--------------------\n\n";

const char*
month_text()
{
    const int month = g_clock.month;
    return msg::month_name[(month >= 1 && month <= 12) ? month : 0];
}

// Opens "<prefix>YYYYMM.<ext>" and writes the frame's head and the start of
// the preformatted block.  An extension too long for the name fails like an
// open, rather than writing a file under a cut name.
report_file
open_listing(const char* prefix, const char* label)
{
    char name[256];
    const int length = std::snprintf(name, sizeof name, "%s%04d%02d.%s", prefix, g_clock.year,
                                     g_clock.month, g_settings.html_extension.c_str());
    if (length < 0 || static_cast<std::size_t>(length) >= sizeof name) {
        warn("%s %s%04d%02d.%s!\n", msg::cant_open_file, prefix, g_clock.year, g_clock.month,
             g_settings.html_extension.c_str());
        return {};
    }
    report_file page(name);
    if (!page)
        return page;
    char period[256];
    std::snprintf(period, sizeof period, "%s %d - %s", month_text(), g_clock.year, label);
    page_head(page.get(), period);
    std::fputs("<FONT SIZE=\"-1\"></CENTER><PRE>\n", page.get());
    return page;
}

void
close_listing(report_file& page)
{
    std::fputs("</PRE></FONT>\n", page.get());
    page_tail(page.get());
    page.finish();
}

// The group block (and its closing empty line) and then the regular entries,
// each walk stopping once its known number is written.
template <typename Node, typename Line>
void
write_entries(std::FILE* out, const sort_array<Node>& entries, u64 regular, u64 groups,
              bool with_regular, Line line)
{
    if (groups > 0) {
        u64 written = 0;
        for (std::size_t i = 0; i < entries.count && written < groups; ++i)
            if (entries.items[i]->kind == kind_group) {
                line(out, *entries.items[i]);
                ++written;
            }
        std::fputs("\n", out);
    }
    if (!with_regular)
        return;
    u64 written = 0;
    for (std::size_t i = 0; i < entries.count && written < regular; ++i)
        if (entries.items[i]->kind == kind_regular) {
            line(out, *entries.items[i]);
            ++written;
        }
}

void
wide_heading(std::FILE* out, const char* name_heading)
{
    std::fprintf(out, " %12s      %12s      %12s      %12s      %s\n", msg::hits_heading,
                 msg::files_heading, msg::kb_heading, msg::visits_heading, name_heading);
    std::fputs(wide_rule, out);
}

// " %6.02f%%  ": a share after its count, and the gap after it.
void
share(number_line& line, double percent)
{
    line.text(" ");
    line.fixed(percent, 6, 2);
    line.text("%  ");
}

// "%-8llu %6.02f%%  ": hits and their share, before a name.
void
hits_numbers(std::FILE* out, u64 hits, double percent)
{
    number_line line;
    line.count(hits, 8, true);
    share(line, percent);
    line.write(out);
}

// The numbers of a site or user line, up to the name.
template <typename Node>
void
wide_numbers(std::FILE* out, const Node& n)
{
    // "%-8llu %6.02f%%  %8llu %6.02f%%  %8.0f %6.02f%%  %8llu %6.02f%%  "
    const month_counters& m = g_month;
    number_line line;
    line.count(n.hits, 8, true);
    share(line, percent_single(n.hits, m.hits));
    line.count(n.files, 8);
    share(line, percent_single(n.files, m.files));
    line.fixed(kilobytes(n.bytes), 8, 0);
    share(line, percent_single_bytes(n.bytes, m.bytes));
    line.count(n.visits, 8);
    share(line, percent_single(n.visits, m.visits));
    line.write(out);
}

// A referrer or agent line: hits, their share of the month's, the name.
void
hits_line(std::FILE* out, const rnode& n)
{
    hits_numbers(out, n.hits, percent_single(n.hits, g_month.hits));
    write_html_text(out, name_of(&n));
    std::fputs("\n", out);
}

bool
hits_page(const char* prefix, const char* label, const char* rule, const sort_array<rnode>& entries,
          u64 regular, u64 groups)
{
    report_file page = open_listing(prefix, label);
    if (!page)
        return false;
    std::fprintf(page.get(), " %12s      %s\n", msg::hits_heading, label);
    std::fputs(rule, page.get());
    write_entries(page.get(), entries, regular, groups, true, hits_line);
    close_listing(page);
    return true;
}

}  // namespace

bool
site_listing_page(const sort_array<hnode>& sites, u64 regular, u64 groups)
{
    report_file page = open_listing("site_", msg::sites_heading);
    if (!page)
        return false;
    wide_heading(page.get(), msg::host_heading);
    write_entries(page.get(), sites, regular, groups, !g_settings.hide_all_sites,
                  [](std::FILE* out, const hnode& n) {
                      wide_numbers(out, n);
                      // Only a name that a browser would fetch as a page is a link.
                      if (n.kind == kind_regular && is_link_scheme(name_of(&n))) {
                          std::fputs("<A HREF=\"", out);
                          write_html_text(out, name_of(&n));
                          std::fputs("\">", out);
                          write_html_text(out, name_of(&n));
                          std::fputs("</A>\n", out);
                      } else {
                          write_html_text(out, name_of(&n));
                          std::fputs("\n", out);
                      }
                  });
    close_listing(page);
    return true;
}

bool
user_listing_page(const sort_array<inode>& users, u64 regular, u64 groups)
{
    report_file page = open_listing("user_", msg::user_heading);
    if (!page)
        return false;
    wide_heading(page.get(), msg::user_heading);
    write_entries(page.get(), users, regular, groups, true, [](std::FILE* out, const inode& n) {
        wide_numbers(out, n);
        write_html_text(out, name_of(&n));
        std::fputs("\n", out);
    });
    close_listing(page);
    return true;
}

bool
url_listing_page(const sort_array<unode>& urls, u64 regular, u64 groups)
{
    report_file page = open_listing("url_", msg::url_heading);
    if (!page)
        return false;
    std::fprintf(page.get(), " %12s      %12s      %s\n", msg::hits_heading, msg::kb_heading,
                 msg::url_heading);
    std::fputs("----------------  ----------------  --------------------\n\n", page.get());
    write_entries(page.get(), urls, regular, groups, true, [](std::FILE* out, const unode& n) {
        // "%-8llu %6.02f%%  %8.0f %6.02f%%  "
        number_line line;
        line.count(n.hits, 8, true);
        share(line, percent_single(n.hits, g_month.hits));
        line.fixed(kilobytes(n.bytes), 8, 0);
        share(line, percent_single_bytes(n.bytes, g_month.bytes));
        line.write(out);
        write_html_text(out, name_of(&n));
        std::fputs("\n", out);
    });
    close_listing(page);
    return true;
}

bool
referrer_listing_page(const sort_array<rnode>& referrers, u64 regular, u64 groups)
{
    return hits_page("ref_", msg::referrers_heading, "----------------  --------------------\n\n",
                     referrers, regular, groups);
}

bool
agent_listing_page(const sort_array<anode>& agents, u64 regular, u64 groups)
{
    return hits_page("agent_", msg::agent_heading, "----------------  ----------------------\n\n",
                     agents, regular, groups);
}

bool
search_listing_page(const sort_array<snode>& searches, u64 count, u64 hit_sum)
{
    if (searches.count == 0 || count == 0)
        return false;
    report_file page = open_listing("search_", msg::search_heading);
    if (!page)
        return false;
    std::FILE* out = page.get();
    std::fprintf(out, " %12s      %s\n", msg::hits_heading, msg::search_heading);
    std::fputs("----------------  ----------------------\n\n", out);
    for (std::size_t i = 0; i < searches.count && i < count; ++i) {
        const snode& n = *searches.items[i];
        hits_numbers(out, n.hits, percent_single(n.hits, hit_sum));
        write_html_text(out, name_of(&n));
        std::fputs("\n", out);
    }
    close_listing(page);
    return true;
}
