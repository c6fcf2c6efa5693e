#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "common/counters.hpp"
#include "common/settings.hpp"
#include "driver/command_line.hpp"
#include "driver/counting.hpp"
#include "tables/tables.hpp"
#include "test_support.hpp"

namespace {

class Counting : public scratch_test {
  protected:
    void SetUp() override
    {
        scratch_test::SetUp();
        derive_settings(nullptr);
        g_clock.month = 3;
        g_clock.year = 2024;
    }
    /// Accounts one clean record on 5 March at 10:00.
    void count(const char* host, const char* url, int status, const char* referrer = "-",
               const char* agent = "agent", const char* search = "")
    {
        std::memset(&g_record, 0, sizeof g_record);
        std::snprintf(g_record.host, sizeof g_record.host, "%s", host);
        std::snprintf(g_record.request, sizeof g_record.request, "%s", url);
        std::snprintf(g_record.referrer, sizeof g_record.referrer, "%s", referrer);
        std::snprintf(g_record.agent, sizeof g_record.agent, "%s", agent);
        std::snprintf(g_record.search_text, sizeof g_record.search_text, "%s", search);
        std::snprintf(g_record.user, sizeof g_record.user, "%s", "user");
        g_record.status = status;
        g_record.bytes = 100;
        counted_record counted;
        view_record(g_record, counted);
        account_record({5, 3, 2024, 10, 0, 0}, counted);
    }
    template <typename Node>
    static const Node* find(const chained_table<Node>& t, const char* name, int kind = -1)
    {
        const Node* found = nullptr;
        for_each_node(t, [&](const Node* n) {
            if (std::strcmp(name_of(n), name) == 0 && (kind < 0 || n->kind == kind))
                found = n;
        });
        return found;
    }
};

}  // namespace

TEST_F(Counting, IncludeListsOnlyOverrideIgnoreLists)
{
    append_nlist("bot", startup_settings().ignore_site);
    append_nlist("/keep", startup_settings().include_url);
    append_nlist("nothing-matches", startup_settings().include_site);
    count("bot.example", "/keep", 200);
    count("bot.example", "/other", 200);
    count("www.example", "/other", 200);
    EXPECT_EQ(g_month.hits, 2u);
    EXPECT_EQ(g_run.ignored, 1u);
    EXPECT_TRUE(g_run.good_record);
}

TEST_F(Counting, NotFoundCountsEverywhereButUrlsAndUsers)
{
    append_glist("/missing* Missing", startup_settings().group_url);
    count("h", "/missing.html", 404, "http://ref/", "agent");
    EXPECT_EQ(g_month.hits, 1u);
    EXPECT_EQ(g_response[21].count, 1u);
    EXPECT_EQ(g_month.urls, 0u);
    EXPECT_EQ(g_month.users, 0u);
    EXPECT_EQ(g_month.sites, 1u);
    EXPECT_EQ(g_month.referrers, 1u);
    EXPECT_EQ(g_month.agents, 1u);
    ASSERT_NE(find(url_table, "Missing", kind_group), nullptr);
    EXPECT_EQ(find(url_table, "Missing")->hits, 1u);
}

TEST_F(Counting, FilesDifferBetweenMonthHostsAndGroups)
{
    append_glist("h* Hosts", startup_settings().group_site);
    count("h", "/a.gif", 206);
    count("h", "/a.gif", 304);
    count("h", "/a.gif", 200);
    EXPECT_EQ(g_month.files, 1u) << "the month counts 200 only";
    EXPECT_EQ(find(site_table, "h", kind_regular)->files, 2u) << "a host counts 200 and 206";
    EXPECT_EQ(find(site_table, "Hosts", kind_group)->files, 1u) << "a group host counts 200";
    EXPECT_EQ(find(url_table, "/a.gif")->hits, 3u);
}

TEST_F(Counting, ReferrerAndAgentCountsCanBeOffButGroupsStillCount)
{
    startup_settings().top_referrers = 0;
    startup_settings().top_agents = 0;
    append_glist("http://ref* Refs", startup_settings().group_referrer);
    append_glist("agent Agents", startup_settings().group_agent);
    count("h", "/a.html", 200, "http://ref/x", "agent");
    EXPECT_EQ(g_month.referrers, 0u);
    EXPECT_EQ(g_month.agents, 0u);
    EXPECT_NE(find(referrer_table, "Refs", kind_group), nullptr);
    EXPECT_NE(find(agent_table, "Agents", kind_group), nullptr);
    EXPECT_EQ(find(referrer_table, "http://ref/x"), nullptr);
}

TEST_F(Counting, DomainGrouping)
{
    startup_settings().group_domains = 2;
    append_glist("*.example.org Example", startup_settings().group_site);
    count("a.b.c.d.lan", "/", 200);
    count("10.0.0.1", "/", 200);
    count("lan", "/", 200);
    count("www.example.org", "/", 200);
    EXPECT_NE(find(site_table, "c.d.lan", kind_group), nullptr);
    EXPECT_NE(find(site_table, "lan", kind_group), nullptr);
    EXPECT_NE(find(site_table, "Example", kind_group), nullptr);
    EXPECT_EQ(find(site_table, "example.org", kind_group), nullptr);
    int groups = 0;
    for_each_node(site_table, [&](const hnode* n) { groups += n->kind == kind_group; });
    EXPECT_EQ(groups, 3) << "addresses are not grouped by domain";
    EXPECT_EQ(g_month.sites, 4u);
}

TEST_F(Counting, SearchStringsOnlyFromPages)
{
    count("h", "/logo.gif", 200, "http://www.google.com/search", "a", "?q=logo");
    EXPECT_EQ(search_table.bucket[table_hash("logo")], nullptr);
    count("h", "/page.html", 200, "http://www.google.com/search", "a", "?q=page");
    EXPECT_NE(search_table.bucket[table_hash("page")], nullptr);
    EXPECT_EQ(g_month.pages, 1u);
}
