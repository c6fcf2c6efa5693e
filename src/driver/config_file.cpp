#include "driver/config_file.hpp"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <variant>

#include "common/catalog.hpp"
#include "common/char_classes.hpp"
#include "common/files.hpp"
#include "common/messages.hpp"
#include "common/settings.hpp"
#include "common/text.hpp"

namespace {

enum class kw_type {
    undefined,
    text,
    yes_y,  // on only when the value begins with y
    yes_n,  // off only when the value begins with n
    number,
    list,
    group,
    colour_text,
    log_type,
    quiet,
    really_quiet,
    flag_dir,
};

using field =
    std::variant<std::monostate, std::string settings::*, std::optional<std::string> settings::*,
                 bool settings::*, int settings::*, nlist settings::*, glist settings::*,
                 colour settings::*>;

struct keyword {
    const char* name;
    kw_type type;
    field target;
};

using enum kw_type;
using s = settings;

// The order is part of the file format: a shortened keyword selects the first
// entry it is a prefix of.
const keyword keyword_table[] = {
    {"Undefined", undefined, {}},
    {"OutputDir", text, &s::output_dir},
    {"LogFile", text, &s::log_file},
    {"ReportTitle", text, &s::report_title},
    {"HostName", text, &s::host_name},
    {"IgnoreHist", yes_y, &s::ignore_hist},
    {"Quiet", quiet, {}},
    {"TimeMe", yes_n, &s::time_me},
    {"Debug", yes_y, &s::debug},
    {"HourlyGraph", yes_n, &s::hourly_graph},
    {"HourlyStats", yes_n, &s::hourly_stats},
    {"TopSites", number, &s::top_sites},
    {"TopURLs", number, &s::top_urls},
    {"TopReferrers", number, &s::top_referrers},
    {"TopAgents", number, &s::top_agents},
    {"TopCountries", number, &s::top_countries},
    {"HideSite", list, &s::hide_site},
    {"HideURL", list, &s::hide_url},
    {"HideReferrer", list, &s::hide_referrer},
    {"HideAgent", list, &s::hide_agent},
    {"IndexAlias", list, &s::index_alias},
    {"HTMLHead", list, &s::html_head},
    {"HTMLPost", list, &s::html_post},
    {"HTMLTail", list, &s::html_tail},
    {"MangleAgents", number, &s::mangle_agents},
    {"IgnoreSite", list, &s::ignore_site},
    {"IgnoreURL", list, &s::ignore_url},
    {"IgnoreReferrer", list, &s::ignore_referrer},
    {"IgnoreAgent", list, &s::ignore_agent},
    {"ReallyQuiet", really_quiet, {}},
    {"GMTTime", yes_y, &s::gmt_time},
    {"GroupURL", group, &s::group_url},
    {"GroupSite", group, &s::group_site},
    {"GroupReferrer", group, &s::group_referrer},
    {"GroupAgent", group, &s::group_agent},
    {"GroupShading", yes_n, &s::group_shading},
    {"GroupHighlight", yes_n, &s::group_highlight},
    {"Incremental", yes_y, &s::incremental},
    {"IncrementalName", text, &s::incremental_name},
    {"HistoryName", text, &s::history_name},
    {"HTMLExtension", text, &s::html_extension},
    {"HTMLPre", list, &s::html_pre},
    {"HTMLBody", list, &s::html_body},
    {"HTMLEnd", list, &s::html_end},
    {"UseHTTPS", yes_y, &s::use_https},
    {"IncludeSite", list, &s::include_site},
    {"IncludeURL", list, &s::include_url},
    {"IncludeReferrer", list, &s::include_referrer},
    {"IncludeAgent", list, &s::include_agent},
    {"PageType", list, &s::page_type},
    {"VisitTimeout", number, &s::visit_timeout},
    {"GraphLegend", yes_n, &s::graph_legend},
    {"GraphLines", number, &s::graph_lines},
    {"FoldSeqErr", yes_y, &s::fold_seq_err},
    {"CountryGraph", yes_n, &s::country_graph},
    {"TopKSites", number, &s::top_k_sites},
    {"TopKURLs", number, &s::top_k_urls},
    {"TopEntry", number, &s::top_entry},
    {"TopExit", number, &s::top_exit},
    {"TopSearch", number, &s::top_search},
    {"LogType", log_type, &s::log_type},
    {"SearchEngine", group, &s::search_engines},
    {"GroupDomains", number, &s::group_domains},
    {"HideAllSites", yes_y, &s::hide_all_sites},
    {"AllSites", yes_y, &s::all_sites},
    {"AllURLs", yes_y, &s::all_urls},
    {"AllReferrers", yes_y, &s::all_referrers},
    {"AllAgents", yes_y, &s::all_agents},
    {"AllSearchStr", yes_y, &s::all_search_str},
    {"AllUsers", yes_y, &s::all_users},
    {"TopUsers", number, &s::top_users},
    {"HideUser", list, &s::hide_user},
    {"IgnoreUser", list, &s::ignore_user},
    {"IncludeUser", list, &s::include_user},
    {"GroupUser", group, &s::group_user},
    {"DumpPath", text, &s::dump_path},
    {"DumpExtension", text, &s::dump_extension},
    {"DumpHeader", yes_y, &s::dump_header},
    {"DumpSites", yes_y, &s::dump_sites},
    {"DumpURLs", yes_y, &s::dump_urls},
    {"DumpReferrers", yes_y, &s::dump_referrers},
    {"DumpAgents", yes_y, &s::dump_agents},
    {"DumpUsers", yes_y, &s::dump_users},
    {"DumpSearchStr", yes_y, &s::dump_search_str},
    {"DNSCache", text, &s::dns_cache},
    {"DNSChildren", number, &s::dns_children},
    {"DailyGraph", yes_n, &s::daily_graph},
    {"DailyStats", yes_n, &s::daily_stats},
    {"LinkReferrer", yes_y, &s::link_referrer},
    {"PagePrefix", list, &s::page_prefix},
    {"ColorHit", colour_text, &s::color_hit},
    {"ColorFile", colour_text, &s::color_file},
    {"ColorSite", colour_text, &s::color_site},
    {"ColorKbyte", colour_text, &s::color_kbyte},
    {"ColorPage", colour_text, &s::color_page},
    {"ColorVisit", colour_text, &s::color_visit},
    {"ColorMisc", colour_text, &s::color_misc},
    {"PieColor1", colour_text, &s::pie_color1},
    {"PieColor2", colour_text, &s::pie_color2},
    {"PieColor3", colour_text, &s::pie_color3},
    {"PieColor4", colour_text, &s::pie_color4},
    {"CacheIPs", yes_y, &s::cache_ips},
    {"CacheTTL", number, &s::cache_ttl},
    {"Terrabase", yes_y, &s::terrabase},
    {"TerrabaseDatabase", text, &s::terrabase_database},
    {"StripCGI", yes_n, &s::strip_cgi},
    {"TrimSquidURL", number, &s::trim_squid_url},
    {"OmitPage", list, &s::omit_page},
    {"HTAccess", yes_y, &s::htaccess},
    {"IgnoreState", yes_y, &s::ignore_state},
    {"DefaultIndex", yes_n, &s::default_index},
    {"GeoIP", yes_y, &s::geoip},
    {"GeoIPDatabase", text, &s::geoip_database},
    {"NormalizeURL", yes_n, &s::normalize_url},
    {"IndexMonths", number, &s::index_months},
    {"GraphMonths", number, &s::graph_months},
    {"YearHeaders", yes_n, &s::year_headers},
    {"YearTotals", yes_n, &s::year_totals},
    {"CountryFlags", yes_y, &s::country_flags},
    {"FlagDir", flag_dir, &s::flag_dir},
    {"SearchCaseI", yes_n, &s::search_case_i},
};
static_assert(sizeof keyword_table / sizeof keyword_table[0] == keyword_count,
              "keyword_count counts the table");

// A line of 4095 characters and its NUL; a longer line is read in pieces,
// each handled as a line of its own.
constexpr std::size_t config_line_capacity = 4096;
// A keyword is cut after 31 characters (the longest in the table has 17), and
// the rest of its run begins the value.
constexpr std::size_t keyword_capacity = 32;
// A value keeps its first 131 characters.
constexpr std::size_t value_capacity = 132;

bool
is_blank(char c)
{
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

void
store_colour(colour& c, const char* value)
{
    // A value written with its number sign ("#00ff00") means the same colour
    // as one written without it.
    if (value[0] == '#')
        ++value;
    c.text[0] = '#';
    std::size_t n = 0;
    for (; n < 6 && value[n] != '\0'; ++n)
        c.text[n + 1] = value[n];
    c.text[n + 1] = '\0';
}

}  // namespace

int
log_type_of(const char* word)
{
    switch (to_lower(word[0])) {
    case 'f': return log_ftp;
    case 's': return log_squid;
    case 'w': return log_w3c;
    default: return log_clf;
    }
}

const char*
keyword_name(int index)
{
    return keyword_table[index].name;
}

int
find_keyword(const char* written)
{
    const std::size_t n = std::strlen(written);
    for (int i = 0; i < keyword_count; ++i) {
        const char* name = keyword_table[i].name;
        std::size_t k = 0;
        while (k < n && name[k] != '\0' && to_lower(name[k]) == to_lower(written[k]))
            ++k;
        if (k == n)
            return i;
    }
    return -1;
}

void
apply_keyword(int index, const char* value)
{
    settings& st = startup_settings();
    const keyword& k = keyword_table[index];
    const char first = to_lower(value[0]);
    switch (k.type) {
    case undefined: break;
    case text:
        if (auto* plain = std::get_if<std::string settings::*>(&k.target))
            st.** plain = value;
        else
            st.*std::get<std::optional<std::string> settings::*>(k.target) = value;
        break;
    case yes_y: st.*std::get<bool settings::*>(k.target) = first == 'y'; break;
    case yes_n: st.*std::get<bool settings::*>(k.target) = first != 'n'; break;
    case number: st.*std::get<int settings::*>(k.target) = scan_int(value); break;
    case list: append_nlist(value, st.*std::get<nlist settings::*>(k.target)); break;
    case group: append_glist(value, st.*std::get<glist settings::*>(k.target)); break;
    case colour_text: store_colour(st.*std::get<colour settings::*>(k.target), value); break;
    case log_type: st.*std::get<int settings::*>(k.target) = log_type_of(value); break;
    case quiet: st.verbosity = first == 'y' ? 1 : 2; break;
    case really_quiet:
        if (first == 'y')
            st.verbosity = 0;
        break;
    case flag_dir:
        st.flag_dir = value;
        st.country_flags = true;
        break;
    }
}

void
read_config(const char* path)
{
    const owned_file f(std::fopen(path, "r"));
    if (!f) {
        warn("%s %s\n", msg::cant_open_config, path);
        return;
    }

    char line[config_line_capacity];
    while (std::fgets(line, sizeof line, f.get()) != nullptr) {
        if (line[0] == '#' || is_blank(line[0]))
            continue;

        char written[keyword_capacity];
        std::size_t k = 0;
        const char* p = line;
        while (k < sizeof written - 1 && has_class(static_cast<unsigned char>(*p), cc_alnum))
            written[k++] = *p++;
        written[k] = '\0';

        while (*p != '\n' && is_blank(*p))
            ++p;
        char value[value_capacity];
        std::size_t v = 0;
        while (v < sizeof value - 1 && p[v] != '\n' && p[v] != '\0') {
            value[v] = p[v];
            ++v;
        }
        while (v > 0 && is_blank(value[v - 1]))
            --v;
        value[v] = '\0';

        if (k == 0 || v == 0)
            continue;
        const int index = find_keyword(written);
        if (index <= 0) {
            std::printf("%s '%s' (%s)\n", msg::bad_keyword, written, path);
            continue;
        }
        apply_keyword(index, value);
    }
}
