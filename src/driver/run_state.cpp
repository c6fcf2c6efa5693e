// Every process-wide object of the analyzer, defined here once.  New state
// is defined here too and put back by reset_run_state.
#include "driver/run_state.hpp"

#include "common/catalog.hpp"
#include "common/char_classes.hpp"
#include "common/counters.hpp"
#include "common/history_row.hpp"
#include "common/records.hpp"
#include "common/settings.hpp"
#include "driver/accounting.hpp"
#include "input/parsers.hpp"
#include "resolve/countries.hpp"
#include "resolve/dns_cache.hpp"
#include "resolve/geolocation.hpp"
#include "tables/tables.hpp"

// ---- start-up's: chosen once, read by everything after

namespace {
settings the_settings;
}

const settings& g_settings = the_settings;

settings&
startup_settings()
{
    return the_settings;
}

void
reset_settings()
{
    the_settings = settings();
}

std::uint16_t g_char_class[256];
unsigned char g_lower[256];

namespace {
// Usable before start-up sets the locale (tests, tools, the benchmark).
const bool classes_loaded = (load_char_classes(), true);
}  // namespace

// ---- the run's

run_counts g_run;
thread_local log_record g_record;

period_clock g_clock;
month_counters g_month;
daily_counters g_daily[31];
hourly_counters g_hourly[24];
response_row g_response[response_rows];
history_window g_history;
dns_cache_handle g_dns_cache;
w3c_layout g_w3c_layout;
country_row ctry_table[country_rows + 1];
top_country_slots g_top_countries;
geo_sources g_geo;

host_table site_table;
host_table daily_site_table;
chained_table<unode> url_table;
chained_table<rnode> referrer_table;
chained_table<anode> agent_table;
chained_table<snode> search_table;
chained_table<inode> user_table;
chained_table<dnode> dns_table;
current_request g_request;

static_assert(sizeof msg::response_description / sizeof msg::response_description[0] ==
                  response_rows,
              "one description per response row");

namespace {

void
reset_responses()
{
    for (int i = 0; i < response_rows; ++i)
        g_response[i] = {msg::response_description[i], 0};
}

// The response and country rows name themselves before anything counts in them.
const bool responses_named = (reset_responses(), true);
const bool countries_named = (reset_country_table(), true);

}  // namespace

void
reset_run_state()
{
    g_run = run_counts{};
    clear_record(g_record);
    g_clock = period_clock{};
    g_month = month_counters{};
    for (auto& d : g_daily)
        d = daily_counters{};
    for (auto& h : g_hourly)
        h = hourly_counters{};
    reset_responses();
    g_history = history_window{};
    g_w3c_layout = w3c_layout{};
    reset_country_table();
    g_top_countries = top_country_slots{};
    dns_cache_close();
    geo_close();
    release_tables();
    set_current_url("", false);
}
