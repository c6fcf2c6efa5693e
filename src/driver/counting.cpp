#include "driver/counting.hpp"

#include <cstdio>

#include "common/catalog.hpp"
#include "common/counters.hpp"
#include "common/messages.hpp"
#include "common/settings.hpp"
#include "common/text.hpp"
#include "driver/accounting.hpp"
#include "driver/period.hpp"
#include "input/text_helpers.hpp"
#include "tables/tables.hpp"

namespace {

// Group entries want a unique-entry counter but never raise it.
u64 scratch_counter;

bool
matches(const nlist& list, const char* text)
{
    return match_nlist(list, text) != nullptr;
}

bool
included(const counted_record& r)
{
    const settings& s = g_settings;
    return matches(s.include_site, r.host) || matches(s.include_url, r.request) ||
           matches(s.include_referrer, r.referrer) || matches(s.include_agent, r.agent) ||
           matches(s.include_user, r.user);
}

bool
ignored(const counted_record& r)
{
    const settings& s = g_settings;
    return matches(s.ignore_site, r.host) || matches(s.ignore_url, r.request) ||
           matches(s.ignore_agent, r.agent) || matches(s.ignore_referrer, r.referrer) ||
           matches(s.ignore_user, r.user);
}

void
report_failure(int status, const char* message, const char* name)
{
    if (status != 0)
        warn("%s %s\n", message, name);
}

// A group label is counted under a copy, since the tables may cut or
// rewrite the name they are given.
struct label_copy {
    explicit label_copy(const char* label) { copy_cut(text, label); }
    char text[sizeof glist_entry::label + sizeof "- (Direct Request)"];
};

void
count_groups(counted_record& r, u64 files_if_200)
{
    const settings& s = g_settings;
    const u64 time = g_clock.record_timestamp;
    const double bytes = static_cast<double>(r.bytes);

    if (const char* label = match_glist(s.group_url, r.request)) {
        label_copy l(label);
        report_failure(add_url(l.text, kind_group, 1, scratch_counter, 0, 0, bytes),
                       msg::cant_add_url, l.text);
    }

    const char* site_label = match_glist(s.group_site, r.host);
    if (site_label == nullptr && s.group_domains != 0 && ip_address_kind(r.host) == 0)
        site_label = group_domain_of(r.host, s.group_domains);
    if (site_label != nullptr) {
        label_copy l(site_label);
        report_failure(add_host(l.text, kind_group, 1, files_if_200, scratch_counter, 0, bytes,
                                time, nullptr, site_table),
                       msg::cant_add_monthly_host, l.text);
    }

    if (const char* label = match_glist(s.group_referrer, r.referrer)) {
        label_copy l(label);
        report_failure(add_referrer(l.text, kind_group, 1, scratch_counter), msg::cant_add_referrer,
                       l.text);
    }
    if (const char* label = match_glist(s.group_agent, r.agent)) {
        label_copy l(label);
        report_failure(add_agent(l.text, kind_group, 1, scratch_counter), msg::cant_add_agent,
                       l.text);
    }
    if (const char* label = match_glist(s.group_user, r.user)) {
        label_copy l(label);
        report_failure(
            add_user(l.text, kind_group, 1, files_if_200, scratch_counter, 0, bytes, time),
            msg::cant_add_user, l.text);
    }
}

}  // namespace

void
account_record(const record_time& when, counted_record& r, const text_lengths* lengths)
{
    const settings& s = g_settings;
    if (!included(r) && ignored(r)) {
        ++g_run.ignored;
        g_run.good_record = true;
        return;
    }

    ++g_response[response_row_of(r.status)].count;

    record_names names;
    prepare_record_names(names, r, lengths);
    const bool is_page = is_page_url(names.url.text, names.url.length);
    const u64 time = g_clock.record_timestamp;
    const double bytes = static_cast<double>(r.bytes);
    const u64 files = (r.status == 200 || r.status == 206) ? 1 : 0;

    if (r.status == 200 || r.status == 206 || r.status == 304) {
        report_failure(
            add_url(names.url, names.url_hint, kind_regular, 1, g_month.urls, 0, 0, bytes),
            msg::cant_add_url, r.request);
    }
    // The host and user tables read the request for their visits.
    set_current_url(names.url, is_page, names.url_hint);
    if (r.status == 200 || r.status == 206 || r.status == 304) {
        report_failure(add_user(names.user, names.user_hint, kind_regular, 1, files, g_month.users,
                                0, bytes, time),
                       msg::cant_add_user, r.user);
    }
    if (s.top_referrers != 0 && r.referrer[0] != '\0')
        report_failure(
            add_referrer(names.referrer, names.referrer_hint, kind_regular, 1, g_month.referrers),
            msg::cant_add_referrer, r.referrer);
    report_failure(add_host(names.host, names.daily_hint, kind_regular, 1, files, g_month.day_sites,
                            0, bytes, time, nullptr, daily_site_table),
                   msg::cant_add_daily_host, r.host);
    report_failure(add_host(names.host, names.site_hint, kind_regular, 1, files, g_month.sites, 0,
                            bytes, time, nullptr, site_table),
                   msg::cant_add_monthly_host, r.host);
    if (s.top_agents != 0 && r.agent[0] != '\0')
        report_failure(add_agent(names.agent, names.agent_hint, kind_regular, 1, g_month.agents),
                       msg::cant_add_agent, r.agent);

    count_record(when.day, when.hour, r.status, r.bytes, is_page);
    if (is_page && s.top_search != 0)
        extract_search(r.search_text, r.referrer);

    count_groups(r, r.status == 200 ? 1 : 0);
    g_run.good_record = true;
}
