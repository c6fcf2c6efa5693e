#include "report/top_tables.hpp"

#include <cstring>
#include <initializer_list>

#include "common/catalog.hpp"
#include "common/counters.hpp"
#include "common/settings.hpp"
#include "report/listing_pages.hpp"
#include "report/page_frame.hpp"
#include "resolve/countries.hpp"

namespace {

using ull = unsigned long long;

const char* const table_start = "<TABLE WIDTH=510 BORDER=2 CELLSPACING=1 CELLPADDING=1>\n";
const char* const spacer = "<TR><TH HEIGHT=4></TH></TR>\n";
const char* const title_colour = "#C0C0C0";
const char* const shade_colour = "#D0D0E0";

struct kind_counts {
    u64 regular = 0;
    u64 groups = 0;
    u64 visible() const { return regular + groups; }
};

template <typename Node>
kind_counts
count_kinds(const sort_array<Node>& entries)
{
    kind_counts counts;
    for (std::size_t i = 0; i < entries.count; ++i) {
        const int kind = entries.items[i]->kind;
        if (kind == kind_regular)
            ++counts.regular;
        else if (kind == kind_group)
            ++counts.groups;
    }
    return counts;
}

u64
smaller(u64 a, int top)
{
    const u64 limit = top > 0 ? static_cast<u64>(top) : 0;
    return a < limit ? a : limit;
}

bool
more_than(u64 count, int top)
{
    return count > static_cast<u64>(top > 0 ? top : 0);
}

void
anchor(std::FILE* out, const char* name)
{
    std::fprintf(out, "<A NAME=\"%s\"></A>\n", name);
}

// The table start, the title row and the spacer after it.
void
table_title(std::FILE* out, int columns, u64 shown, u64 total, const char* noun, bool by_kb)
{
    std::fputs(table_start, out);
    std::fputs(spacer, out);
    if (by_kb)
        std::fprintf(
            out,
            "<TR><TH BGCOLOR=\"%s\" ALIGN=CENTER COLSPAN=%d>%s %llu %s %llu %s %s %s</TH></TR>\n",
            title_colour, columns, msg::top_first, static_cast<ull>(shown), msg::top_of_total,
            static_cast<ull>(total), noun, msg::top_ranked_by, msg::kb_heading);
    else
        std::fprintf(
            out, "<TR><TH BGCOLOR=\"%s\" ALIGN=CENTER COLSPAN=%d>%s %llu %s %llu %s</TH></TR>\n",
            title_colour, columns, msg::top_first, static_cast<ull>(shown), msg::top_of_total,
            static_cast<ull>(total), noun);
    std::fputs(spacer, out);
}

struct column {
    const char* colour;
    const char* label;
};

// The "#" header, one two-column header per value, the name header, a spacer.
void
column_headers(std::FILE* out, std::initializer_list<column> values, const char* name_heading)
{
    std::fprintf(out, "<TR><TH BGCOLOR=\"%s\" ALIGN=center><FONT SIZE=\"-1\">#</FONT></TH>\n",
                 title_colour);
    for (const column& c : values)
        std::fprintf(out,
                     "<TH BGCOLOR=\"%s\" ALIGN=center COLSPAN=2><FONT SIZE=\"-1\">%s</FONT></TH>\n",
                     c.colour, c.label);
    std::fprintf(out, "<TH BGCOLOR=\"%s\" ALIGN=center><FONT SIZE=\"-1\">%s</FONT></TH></TR>\n",
                 g_settings.color_misc.text, name_heading);
    std::fputs(spacer, out);
}

void
row_start(std::FILE* out, int kind)
{
    if (kind == kind_group && g_settings.group_shading)
        std::fprintf(out, "<TR BGCOLOR=\"%s\">\n", shade_colour);
    else
        std::fputs("<TR>\n", out);
}

void
position_cell(std::FILE* out, u64 position)
{
    std::fprintf(out, "<TD ALIGN=center><FONT SIZE=\"-1\"><B>%d</B></FONT></TD>\n",
                 static_cast<int>(position));
}

void
count_cells(std::FILE* out, u64 count, double share)
{
    std::fprintf(out,
                 "<TD ALIGN=right><FONT SIZE=\"-1\"><B>%llu</B></FONT></TD>\n"
                 "<TD ALIGN=right><FONT SIZE=\"-2\">%3.02f%%</FONT></TD>\n",
                 static_cast<ull>(count), share);
}

void
kilobyte_cells(std::FILE* out, double bytes, double share)
{
    std::fprintf(out,
                 "<TD ALIGN=right><FONT SIZE=\"-1\"><B>%.0f</B></FONT></TD>\n"
                 "<TD ALIGN=right><FONT SIZE=\"-2\">%3.02f%%</FONT></TD>\n",
                 kilobytes(bytes), share);
}

void
name_cell_start(std::FILE* out)
{
    std::fputs("<TD ALIGN=left NOWRAP><FONT SIZE=\"-1\">", out);
}

const char* const name_cell_end = "</FONT></TD></TR>\n";

// A name that is never a link: bold for a group entry with GroupHighlight.
void
plain_name(std::FILE* out, const char* name, int kind)
{
    const bool strong = kind == kind_group && g_settings.group_highlight;
    if (strong)
        std::fputs("<STRONG>", out);
    write_html_text(out, name);
    if (strong)
        std::fputs("</STRONG>", out);
}

void
link_to(std::FILE* out, const char* name, const char* attributes)
{
    std::fputs("<A HREF=\"", out);
    write_html_text(out, name);
    std::fprintf(out, "\"%s>", attributes);
    write_html_text(out, name);
    std::fputs("</A>", out);
}

// A URL as a link: an absolute name of a fetchable scheme as it stands, a
// path under this server.  A name that only looks absolute ("javascript://")
// is written as text.
void
url_link(std::FILE* out, const char* name)
{
    if (is_link_scheme(name)) {
        link_to(out, name, "");
    } else if (std::strstr(name, "://")) {
        write_html_text(out, name);
    } else {
        const char* host = g_settings.host_name ? g_settings.host_name->c_str() : "";
        std::fprintf(out, "<A HREF=\"%s://%s", g_settings.use_https ? "https" : "http", host);
        write_html_text(out, name);
        std::fputs("\">", out);
        write_html_text(out, name);
        std::fputs("</A>", out);
    }
}

// The closing spacer, the listing row when the page was written, the end.
void
table_end(std::FILE* out, bool listed, int columns, const char* prefix, const char* label)
{
    std::fputs(spacer, out);
    if (listed) {
        std::fprintf(out, "<TR BGCOLOR=\"%s\">", shade_colour);
        std::fprintf(out, "<TD COLSPAN=%d ALIGN=\"center\">\n", columns);
        std::fputs("<FONT SIZE=\"-1\">", out);
        std::fprintf(out, "<A HREF=\"./%s%04d%02d.%s\">", prefix, g_clock.year, g_clock.month,
                     g_settings.html_extension.c_str());
        std::fprintf(out, "%s</A></TD></TR>\n", label);
    }
    std::fputs("</TABLE>\n<P>\n", out);
}

// What tells the ten-column tables of sites and of users apart.
struct wide_table {
    int top;
    const char* anchor_name;  // nullptr: the other table of the kind carries it
    bool by_kb;
    u64 total;
    const char* noun;
    const char* name_heading;
    bool wants_listing;  // before the page itself is known to be written
    const char* prefix;
    const char* listing_label;
};

// Writes one row for each of the first shown entries that are not hidden:
// its start (shaded for a group entry when shade is set), its position, and
// then the cells that write_cells writes.
template <typename Node, typename Cells>
void
visible_rows(std::FILE* out, const sort_array<Node>& entries, u64 shown, bool shade,
             Cells&& write_cells)
{
    u64 written = 0;
    for (std::size_t i = 0; i < entries.count && written < shown; ++i) {
        const Node& n = *entries.items[i];
        if (n.kind == kind_hidden)
            continue;
        ++written;
        if (shade)
            row_start(out, n.kind);
        else
            std::fputs("<TR>\n", out);
        position_cell(out, written);
        write_cells(n);
    }
}

template <typename Node, typename Listing>
void
write_wide_table(std::FILE* out, const sort_array<Node>& entries, const wide_table& t,
                 Listing listing)
{
    const kind_counts counts = count_kinds(entries);
    if (counts.visible() == 0)
        return;
    const u64 shown = smaller(counts.visible(), t.top);
    const settings& s = g_settings;
    const month_counters& m = g_month;
    if (t.anchor_name)
        anchor(out, t.anchor_name);
    table_title(out, 10, shown, t.total, t.noun, t.by_kb);
    column_headers(out,
                   {{s.color_hit.text, msg::hits_heading},
                    {s.color_file.text, msg::files_heading},
                    {s.color_kbyte.text, msg::kb_heading},
                    {s.color_visit.text, msg::visits_heading}},
                   t.name_heading);
    visible_rows(out, entries, shown, true, [&](const Node& n) {
        count_cells(out, n.hits, percent_single(n.hits, m.hits));
        count_cells(out, n.files, percent_single(n.files, m.files));
        kilobyte_cells(out, n.bytes, percent_single_bytes(n.bytes, m.bytes));
        count_cells(out, n.visits, percent_single(n.visits, m.visits));
        name_cell_start(out);
        plain_name(out, name_of(&n), n.kind);
        std::fputs(name_cell_end, out);
    });
    const bool listed = t.wants_listing && listing(entries, counts.regular, counts.groups);
    table_end(out, listed, 10, t.prefix, t.listing_label);
}

// What tells the four-column tables of referrers and agents apart.
struct narrow_table {
    int top;
    const char* anchor_name;
    u64 total;
    const char* noun;
    const char* name_heading;
    bool all;
    const char* prefix;
    const char* listing_label;
    bool linked;  // regular names of a fetchable scheme become links
};

void
write_narrow_table(std::FILE* out, const sort_array<rnode>& entries, const narrow_table& t,
                   bool (*listing)(const sort_array<rnode>&, u64, u64))
{
    if (t.total == 0)
        return;
    const kind_counts counts = count_kinds(entries);
    if (counts.visible() == 0)
        return;
    const u64 shown = smaller(counts.visible(), t.top);
    anchor(out, t.anchor_name);
    table_title(out, 4, shown, t.total, t.noun, false);
    column_headers(out, {{g_settings.color_hit.text, msg::hits_heading}}, t.name_heading);
    visible_rows(out, entries, shown, true, [&](const rnode& n) {
        count_cells(out, n.hits, percent_single(n.hits, g_month.hits));
        name_cell_start(out);
        if (n.kind == kind_regular && t.linked && is_link_scheme(name_of(&n)))
            link_to(out, name_of(&n), " rel=\"nofollow\"");
        else
            plain_name(out, name_of(&n), n.kind);
        std::fputs(name_cell_end, out);
    });
    const bool listed = t.all && more_than(counts.visible(), t.top) &&
                        listing(entries, counts.regular, counts.groups);
    table_end(out, listed, 4, t.prefix, t.listing_label);
}

}  // namespace

void
site_leaders(std::FILE* page, const sort_array<hnode>& sites, bool by_kb)
{
    const settings& s = g_settings;
    const kind_counts counts = count_kinds(sites);
    const wide_table t{
        by_kb ? s.top_k_sites : s.top_sites,
        (!by_kb || s.top_sites == 0) ? "TOPSITES" : nullptr,
        by_kb,
        g_month.sites,
        msg::top_sites_noun,
        msg::host_heading,
        s.all_sites && (by_kb ? s.top_sites == 0 : more_than(counts.visible(), s.top_sites)),
        "site_",
        msg::view_all_sites,
    };
    write_wide_table(page, sites, t, site_listing_page);
}

void
user_leaders(std::FILE* page, const sort_array<inode>& users)
{
    const settings& s = g_settings;
    const kind_counts counts = count_kinds(users);
    const wide_table t{
        s.top_users,
        "TOPUSERS",
        false,
        g_month.users,
        msg::top_users_noun,
        msg::user_heading,
        s.all_users && more_than(counts.visible(), s.top_users),
        "user_",
        msg::view_all_users,
    };
    write_wide_table(page, users, t, user_listing_page);
}

void
url_leaders(std::FILE* page, const sort_array<unode>& urls, bool by_kb)
{
    const settings& s = g_settings;
    const month_counters& m = g_month;
    const kind_counts counts = count_kinds(urls);
    if (counts.visible() == 0)
        return;
    const u64 shown = smaller(counts.visible(), by_kb ? s.top_k_urls : s.top_urls);
    if (!by_kb || s.top_urls == 0)
        anchor(page, "TOPURLS");
    table_title(page, 6, shown, m.urls, msg::top_urls_noun, by_kb);
    column_headers(page,
                   {{s.color_hit.text, msg::hits_heading}, {s.color_kbyte.text, msg::kb_heading}},
                   msg::url_heading);
    visible_rows(page, urls, shown, true, [&](const unode& n) {
        count_cells(page, n.hits, percent_single(n.hits, m.hits));
        kilobyte_cells(page, n.bytes, percent_single_bytes(n.bytes, m.bytes));
        name_cell_start(page);
        if (n.kind == kind_group)
            plain_name(page, name_of(&n), n.kind);
        else if (s.log_type == log_ftp && !std::strstr(name_of(&n), "://"))
            write_html_text(page, name_of(&n));
        else
            url_link(page, name_of(&n));
        std::fputs(name_cell_end, page);
    });
    const bool wanted =
        s.all_urls && (by_kb ? s.top_urls == 0 : more_than(counts.visible(), s.top_urls));
    const bool listed = wanted && url_listing_page(urls, counts.regular, counts.groups);
    table_end(page, listed, 6, "url_", msg::view_all_urls);
}

void
entry_exit_leaders(std::FILE* page, const sort_array<unode>& urls, bool exits)
{
    const settings& s = g_settings;
    u64 counted = 0;
    u64 sum = 0;
    for (std::size_t i = 0; i < urls.count; ++i) {
        const unode& n = *urls.items[i];
        const u64 value = exits ? n.exits : n.entries;
        if (n.kind == kind_regular && value != 0) {
            ++counted;
            sum += value;
        }
    }
    const u64 shown = smaller(counted, exits ? s.top_exit : s.top_entry);
    if (shown == 0)
        return;
    anchor(page, exits ? "TOPEXIT" : "TOPENTRY");
    table_title(page, 6, shown, counted, exits ? msg::top_exit_noun : msg::top_entry_noun, false);
    column_headers(
        page, {{s.color_hit.text, msg::hits_heading}, {s.color_visit.text, msg::visits_heading}},
        msg::url_heading);
    visible_rows(page, urls, shown, false, [&](const unode& n) {
        const u64 value = exits ? n.exits : n.entries;
        count_cells(page, n.hits, percent_single(n.hits, g_month.hits));
        count_cells(page, value, percent_single(value, sum));
        name_cell_start(page);
        url_link(page, name_of(&n));
        std::fputs(name_cell_end, page);
    });
    std::fputs(spacer, page);
    std::fputs("</TABLE>\n<P>\n", page);
}

void
referrer_leaders(std::FILE* page, const sort_array<rnode>& referrers)
{
    const settings& s = g_settings;
    const narrow_table t{
        s.top_referrers,
        "TOPREFS",
        g_month.referrers,
        msg::top_referrers_noun,
        msg::referrers_heading,
        s.all_referrers,
        "ref_",
        msg::view_all_referrers,
        s.link_referrer,
    };
    write_narrow_table(page, referrers, t, referrer_listing_page);
}

void
agent_leaders(std::FILE* page, const sort_array<anode>& agents)
{
    const settings& s = g_settings;
    const narrow_table t{
        s.top_agents,
        "TOPAGENTS",
        g_month.agents,
        msg::top_agents_noun,
        msg::agent_heading,
        s.all_agents,
        "agent_",
        msg::view_all_agents,
        false,
    };
    write_narrow_table(page, agents, t, agent_listing_page);
}

void
search_leaders(std::FILE* page, const sort_array<snode>& searches)
{
    const settings& s = g_settings;
    if (searches.count == 0)
        return;
    u64 sum = 0;
    for (std::size_t i = 0; i < searches.count; ++i)
        sum += searches.items[i]->hits;
    const u64 shown = smaller(searches.count, s.top_search);
    anchor(page, "TOPSEARCH");
    table_title(page, 4, shown, searches.count, msg::top_search_noun, false);
    column_headers(page, {{s.color_hit.text, msg::hits_heading}}, msg::search_heading);
    for (std::size_t i = 0; i < searches.count && i < shown; ++i) {
        const snode& n = *searches.items[i];
        std::fputs("<TR>\n", page);
        position_cell(page, i + 1);
        count_cells(page, n.hits, percent_single(n.hits, sum));
        name_cell_start(page);
        write_html_text(page, name_of(&n));
        std::fputs(name_cell_end, page);
    }
    const bool listed = s.all_search_str && more_than(searches.count, s.top_search) &&
                        search_listing_page(searches, searches.count, sum);
    table_end(page, listed, 4, "search_", msg::view_all_search);
}

void
country_leaders(std::FILE* page, country_row* const* slots, int top, int shown, int total)
{
    const settings& s = g_settings;
    const month_counters& m = g_month;
    table_title(page, 8, static_cast<u64>(shown), static_cast<u64>(total), msg::countries_noun,
                false);
    column_headers(page,
                   {{s.color_hit.text, msg::hits_heading},
                    {s.color_file.text, msg::files_heading},
                    {s.color_kbyte.text, msg::kb_heading}},
                   msg::country_heading);
    for (int i = 0; i < top; ++i) {
        const country_row* row = slots[i];
        if (row == nullptr || row->hits == 0)
            continue;
        std::fputs("<TR>", page);
        position_cell(page, static_cast<u64>(i) + 1);
        count_cells(page, row->hits, percent_single(row->hits, m.hits));
        count_cells(page, row->files, percent_single(row->files, m.files));
        kilobyte_cells(page, row->bytes, percent_single_bytes(row->bytes, m.bytes));
        std::fputs("<TD ALIGN=left NOWRAP>", page);
        if (s.country_flags && row->code_value != 0) {
            const char* code = decode_country(row->code_value);
            // Generic domains (three letters or more) and Asia/Pacific have no flag.
            if (std::strlen(code) <= 2 && std::strcmp(code, "ap") != 0) {
                std::fputs("<IMG SRC=\"", page);
                write_html_text(page, s.flag_dir.c_str());
                std::fputs("/", page);
                write_html_text(page, code);
                std::fputs(".png\" ALT=\"", page);
                write_html_text(page, row->description);
                std::fputs("\" WIDTH=18 HEIGHT=12> ", page);
            }
        }
        std::fputs("<FONT SIZE=\"-1\">", page);
        write_html_text(page, row->description);
        std::fputs(name_cell_end, page);
    }
    table_end(page, false, 8, "", "");
}
