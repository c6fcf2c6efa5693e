// Everything a user can choose: one field per configuration keyword.  Built
// from defaults, configuration files and options during start-up, then read-only.
#pragma once

#include <optional>
#include <string>

#include "common/name_lists.hpp"

enum log_type_code : int { log_clf = 0, log_ftp = 1, log_squid = 2, log_w3c = 3 };

/// A colour setting: "#" and six hexadecimal digits (shorter when configured so).
struct colour {
    char text[8];
};

struct settings {
    int verbosity = 2;  // Quiet, ReallyQuiet, -q, -Q, -v: 0 silent, 1 errors, 2 progress

    std::optional<std::string> output_dir;               // OutputDir
    std::optional<std::string> log_file;                 // LogFile (none: standard input)
    std::string report_title;                            // ReportTitle (catalog default)
    std::optional<std::string> host_name;                // HostName (none: node name)
    bool ignore_hist = false;                            // IgnoreHist
    bool time_me = false;                                // TimeMe
    bool debug = false;                                  // Debug
    bool hourly_graph = true;                            // HourlyGraph
    bool hourly_stats = true;                            // HourlyStats
    int top_sites = 30;                                  // TopSites
    int top_urls = 30;                                   // TopURLs
    int top_referrers = 30;                              // TopReferrers
    int top_agents = 15;                                 // TopAgents
    int top_countries = 30;                              // TopCountries
    nlist hide_site;                                     // HideSite
    nlist hide_url;                                      // HideURL
    nlist hide_referrer;                                 // HideReferrer
    nlist hide_agent;                                    // HideAgent
    nlist index_alias;                                   // IndexAlias
    nlist html_head;                                     // HTMLHead
    nlist html_post;                                     // HTMLPost
    nlist html_tail;                                     // HTMLTail
    int mangle_agents = 0;                               // MangleAgents
    nlist ignore_site;                                   // IgnoreSite
    nlist ignore_url;                                    // IgnoreURL
    nlist ignore_referrer;                               // IgnoreReferrer
    nlist ignore_agent;                                  // IgnoreAgent
    bool gmt_time = false;                               // GMTTime
    glist group_url;                                     // GroupURL
    glist group_site;                                    // GroupSite
    glist group_referrer;                                // GroupReferrer
    glist group_agent;                                   // GroupAgent
    bool group_shading = true;                           // GroupShading
    bool group_highlight = true;                         // GroupHighlight
    bool incremental = false;                            // Incremental
    std::string incremental_name = "parvalyte.current";  // IncrementalName
    std::string history_name = "parvalyte.hist";         // HistoryName
    std::string html_extension = "html";                 // HTMLExtension
    nlist html_pre;                                      // HTMLPre
    nlist html_body;                                     // HTMLBody
    nlist html_end;                                      // HTMLEnd
    bool use_https = false;                              // UseHTTPS
    nlist include_site;                                  // IncludeSite
    nlist include_url;                                   // IncludeURL
    nlist include_referrer;                              // IncludeReferrer
    nlist include_agent;                                 // IncludeAgent
    nlist page_type;                                     // PageType
    int visit_timeout = 1800;                            // VisitTimeout (seconds)
    bool graph_legend = true;                            // GraphLegend
    int graph_lines = 2;                                 // GraphLines
    bool fold_seq_err = false;                           // FoldSeqErr
    bool country_graph = true;                           // CountryGraph
    int top_k_sites = 10;                                // TopKSites
    int top_k_urls = 10;                                 // TopKURLs
    int top_entry = 10;                                  // TopEntry
    int top_exit = 10;                                   // TopExit
    int top_search = 20;                                 // TopSearch
    int log_type = log_clf;                              // LogType
    glist search_engines;                                // SearchEngine
    int group_domains = 0;                               // GroupDomains
    bool hide_all_sites = false;                         // HideAllSites
    bool all_sites = false;                              // AllSites
    bool all_urls = false;                               // AllURLs
    bool all_referrers = false;                          // AllReferrers
    bool all_agents = false;                             // AllAgents
    bool all_search_str = false;                         // AllSearchStr
    bool all_users = false;                              // AllUsers
    int top_users = 20;                                  // TopUsers
    nlist hide_user;                                     // HideUser
    nlist ignore_user;                                   // IgnoreUser
    nlist include_user;                                  // IncludeUser
    glist group_user;                                    // GroupUser
    std::optional<std::string> dump_path;                // DumpPath
    std::string dump_extension = "tab";                  // DumpExtension
    bool dump_header = false;                            // DumpHeader
    bool dump_sites = false;                             // DumpSites
    bool dump_urls = false;                              // DumpURLs
    bool dump_referrers = false;                         // DumpReferrers
    bool dump_agents = false;                            // DumpAgents
    bool dump_users = false;                             // DumpUsers
    bool dump_search_str = false;                        // DumpSearchStr
    std::optional<std::string> dns_cache;                // DNSCache
    int dns_children = 0;                                // DNSChildren
    bool daily_graph = true;                             // DailyGraph
    bool daily_stats = true;                             // DailyStats
    bool link_referrer = false;                          // LinkReferrer
    nlist page_prefix;                                   // PagePrefix
    colour color_hit{"#00805c"};                         // ColorHit
    colour color_file{"#0040ff"};                        // ColorFile
    colour color_site{"#ff8000"};                        // ColorSite
    colour color_kbyte{"#ff0000"};                       // ColorKbyte
    colour color_page{"#00e0ff"};                        // ColorPage
    colour color_visit{"#ffff00"};                       // ColorVisit
    colour color_misc{"#00e0ff"};                        // ColorMisc
    colour pie_color1{"#800080"};                        // PieColor1
    colour pie_color2{"#80ffc0"};                        // PieColor2
    colour pie_color3{"#ff00ff"};                        // PieColor3
    colour pie_color4{"#ffc080"};                        // PieColor4
    bool cache_ips = false;                              // CacheIPs
    int cache_ttl = 7;                                   // CacheTTL (days)
    bool terrabase = false;                              // Terrabase
    std::optional<std::string> terrabase_database;       // TerrabaseDatabase
    bool strip_cgi = true;                               // StripCGI
    int trim_squid_url = 0;                              // TrimSquidURL
    nlist omit_page;                                     // OmitPage
    bool htaccess = false;                               // HTAccess
    bool ignore_state = false;                           // IgnoreState
    bool default_index = true;                           // DefaultIndex
    bool geoip = false;                                  // GeoIP
    std::optional<std::string> geoip_database;           // GeoIPDatabase
    bool normalize_url = true;                           // NormalizeURL
    int index_months = 12;                               // IndexMonths
    int graph_months = 12;                               // GraphMonths
    bool year_headers = true;                            // YearHeaders
    bool year_totals = true;                             // YearTotals
    bool country_flags = false;                          // CountryFlags
    std::string flag_dir = "flags";                      // FlagDir
    bool search_case_i = true;                           // SearchCaseI

    settings();
};

/// Everyone reads the settings through this reference.
extern const settings& g_settings;

/// Start-up (defaults, configuration files, options, derived values) writes here.
settings& startup_settings();

/// Puts every setting back to its built-in default (start of a run; tests).
void reset_settings();
