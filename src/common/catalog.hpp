// The message catalog: every Polish text of the analyzer, as ISO-8859-2 bytes.
// The texts are written as UTF-8 in catalog.cpp and converted at compile time.
#pragma once

#include <cstddef>

namespace msg {

// Log input
extern const char* const cant_open_log;
extern const char* const oversized_record;
extern const char* const cut_host;
extern const char* const cut_user;
extern const char* const cut_date;
extern const char* const cut_request;
extern const char* const cut_referrer;

// Pattern lists and configuration
extern const char* const string_too_long;
extern const char* const cant_open_config;
extern const char* const bad_keyword;

// Command line and run sequence
extern const char* const usage;
extern const char* const usage_arguments;
extern const char* const help_lines[];
extern const std::size_t help_line_count;
extern const char* const using_log;
extern const char* const cant_change_dir;
extern const char* const no_dns_cache;
extern const char* const dns_searching;
extern const char* const using_dns_cache;
extern const char* const writing_output_in;
extern const char* const current_directory;
extern const char* const report_for_host;
extern const char* const ignoring_history;
extern const char* const cant_read_state;
extern const char* const cant_write_state;
extern const char* const no_memory_top_countries;
extern const char* const no_valid_records;
extern const char* const records_word;
extern const char* const bad_word;
extern const char* const ignored_word;
extern const char* const in_word;
extern const char* const seconds_word;
extern const char* const reading_word;

// Record loop
extern const char* const skipping_netscape_header;
extern const char* const skipping_bad_record;
extern const char* const skipping_bad_date;

// Counting
extern const char* const cant_add_url;
extern const char* const cant_add_user;
extern const char* const cant_add_referrer;
extern const char* const cant_add_daily_host;
extern const char* const cant_add_monthly_host;
extern const char* const cant_add_agent;
extern const char* const cant_add_search;

// Month report
extern const char* const generating_report;
extern const char* const daily_chart_title;   // "Raport Dzienny - "
extern const char* const hourly_chart_title;  // "Raport Godzinowy - "
extern const char* const cant_open_file;
extern const char* const cant_write_file;  // a page, chart or dump cut short
extern const char* const no_memory_top_urls;
extern const char* const no_memory_top_sites;
extern const char* const no_memory_top_referrers;
extern const char* const no_memory_top_search;
extern const char* const no_memory_top_users;
extern const char* const no_memory_top_agents;
extern const char* const hits_heading;
extern const char* const files_heading;
extern const char* const kb_heading;
extern const char* const visits_heading;
extern const char* const host_heading;
extern const char* const url_heading;
extern const char* const referrers_heading;
extern const char* const agent_heading;
extern const char* const user_heading;
extern const char* const search_heading;

// Top tables and full listing pages
extern const char* const top_first;      // "Pierwsze"
extern const char* const top_of_total;   // "z ogólnej liczby"
extern const char* const top_ranked_by;  // "uszeregowane wg"
extern const char* const top_sites_noun;
extern const char* const top_urls_noun;
extern const char* const top_entry_noun;
extern const char* const top_exit_noun;
extern const char* const top_referrers_noun;
extern const char* const top_search_noun;
extern const char* const top_users_noun;
extern const char* const top_agents_noun;
extern const char* const view_all_sites;
extern const char* const view_all_urls;
extern const char* const view_all_referrers;
extern const char* const view_all_search;
extern const char* const view_all_users;
extern const char* const view_all_agents;

// Month page: link bar, totals, daily and hourly tables
extern const char* const daily_stats_link;
extern const char* const hourly_stats_link;
extern const char* const urls_link;
extern const char* const entry_link;
extern const char* const exit_link;
extern const char* const search_link;
extern const char* const users_link;
extern const char* const agents_link;
extern const char* const countries_link;
extern const char* const sites_heading;
extern const char* const pages_heading;
extern const char* const all_word;
extern const char* const average_word;
extern const char* const maximum_word;
extern const char* const month_statistics;
extern const char* const total_hits;
extern const char* const total_files;
extern const char* const total_kb;
extern const char* const total_sites;
extern const char* const total_urls;
extern const char* const total_referrers;
extern const char* const total_users;
extern const char* const total_agents;
extern const char* const hits_per_hour;
extern const char* const hits_per_day;
extern const char* const files_per_day;
extern const char* const pages_per_day;
extern const char* const sites_per_day;
extern const char* const visits_per_day;
extern const char* const kb_per_day;
extern const char* const hits_by_response;
extern const char* const daily_statistics;
extern const char* const day_heading;
extern const char* const hourly_statistics;
extern const char* const hour_heading;

// Page frame
extern const char* const period_shown;
extern const char* const generated_at;
extern const char* const month_summary;

// Summary index page
extern const char* const generating_summary;
extern const char* const summary_title;
extern const char* const month_heading;
extern const char* const daily_average;
extern const char* const month_totals;
extern const char* const grand_total;

// History file
extern const char* const no_history;
extern const char* const reading_history;
extern const char* const bad_history_line;
extern const char* const cant_write_history;
extern const char* const saving_history;

// State file
extern const char* const saving_state;
extern const char* const no_state;
extern const char* const reading_state;

// Charts
extern const char* const other_slice;

// Geolocation and the country section
extern const char* const error_opening_file;
extern const char* const lookups_disabled;
extern const char* const using_word;
extern const char* const country_chart_title;  // "Odwołania wg krajów - "
extern const char* const countries_noun;
extern const char* const country_heading;

// DNS cache
extern const char* const cant_open_dns_cache;
extern const char* const cant_lock_dns_cache;
extern const char* const no_addresses;
extern const char* const addresses_word;

// Settings defaults
extern const char* const default_report_title;

// Month names, indexed 1 to 12; index 0 is an empty text.
extern const char* const month_name[13];
extern const char* const month_short[13];

// Descriptions of the 41 response-code rows, in row order.
extern const char* const response_description[41];

// Descriptions of the 280 country rows, in row order; row 0 is "Nieznany".
extern const char* const country_description[280];

}  // namespace msg
