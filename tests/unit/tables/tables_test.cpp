#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "common/settings.hpp"
#include "tables/tables.hpp"
#include "test_support.hpp"

namespace {

class Tables : public scratch_test {
  protected:
    u64 unique = 0;

    hnode* host(const char* name, const host_table& table = site_table)
    {
        for (hnode* n = table.bucket[table_hash(name)]; n != nullptr; n = n->next)
            if (std::string(name_of(n)) == name)
                return n;
        return nullptr;
    }
    unode* url(const char* name)
    {
        for (unode* n = url_table.bucket[table_hash(name)]; n != nullptr; n = n->next)
            if (std::string(name_of(n)) == name)
                return n;
        return nullptr;
    }
    template <typename Node> static int count(const chained_table<Node>& t)
    {
        int n = 0;
        for_each_node(t, [&](const Node*) { ++n; });
        return n;
    }
    // One page request of the host at the time, as the record loop makes it.
    void page_request(const char* h, const char* u, u64 time)
    {
        std::string name = u;
        add_url(name.data(), kind_regular, 1, unique, 0, 0, 100);
        set_current_url(u, true);
        std::string hn = h;
        ASSERT_EQ(
            add_host(hn.data(), kind_regular, 1, 1, unique, 0, 100, time, nullptr, site_table), 0);
    }
};

void*
no_memory(std::size_t)
{
    return nullptr;
}

}  // namespace

TEST(TableHash, IsSuperFastHashInTwelveBits)
{
    EXPECT_EQ(super_fast_hash("a", 1), 0x115ea782u);
    EXPECT_EQ(super_fast_hash("ab", 2), 0x516b8b44u);
    EXPECT_EQ(super_fast_hash("abc", 3), 0xd2be198au);
    EXPECT_EQ(super_fast_hash("abcd", 4), 0xdad8b8dbu);
    EXPECT_EQ(table_hash("/index.html"), 2593);
    EXPECT_EQ(table_hash("www.example.com"), 4038);
    EXPECT_EQ(table_hash("Mozilla/5.0 (X11; Linux)"), 1097);
    EXPECT_EQ(table_hash(""), 0);
}

TEST(TableHash, OddTailBytesCountAsSigned)
{
    EXPECT_EQ(super_fast_hash("\xe9", 1), 0x69ea06c0u);
    EXPECT_EQ(super_fast_hash("x\xe9\xe9", 3), 0x93939a25u);
}

TEST_F(Tables, GroupAndRegularEntriesOfOneNameStayApart)
{
    char name[] = "pc1.lan";
    add_host(name, kind_group, 1, 0, unique, 0, 0, 0, nullptr, site_table);
    add_host(name, kind_regular, 1, 0, unique, 0, 0, 0, nullptr, site_table);
    add_host(name, kind_hidden, 5, 0, unique, 0, 0, 0, nullptr, site_table);
    EXPECT_EQ(count(site_table), 2);
    EXPECT_EQ(unique, 1u) << "group entries never count as distinct hosts";
    const hnode* first = site_table.bucket[table_hash(name)];
    EXPECT_EQ(first->kind, kind_regular) << "newest first in its chain";
    EXPECT_EQ(first->hits, 6u);
    EXPECT_EQ(first->next->kind, kind_group);
}

TEST_F(Tables, DashNamesAreDirectRequestsOrSkipped)
{
    char ref[32] = "-";
    char agent[] = "-";
    char u[] = "-";
    char user[] = "-";
    char empty_user[] = "";
    add_referrer(ref, kind_regular, 1, unique);
    EXPECT_STREQ(ref, "- (Direct Request)");
    add_agent(agent, kind_regular, 1, unique);
    add_url(u, kind_regular, 1, unique, 0, 0, 0);
    add_user(user, kind_regular, 1, 0, unique, 0, 0, 0);
    add_user(empty_user, kind_regular, 1, 0, unique, 0, 0, 0);
    EXPECT_EQ(count(referrer_table), 1);
    EXPECT_EQ(count(agent_table) + count(url_table) + count(user_table), 0);
    EXPECT_EQ(unique, 1u);
}

TEST_F(Tables, VisitsEndAfterThePauseAndMoveEntryAndExitPages)
{
    page_request("h", "/a", 1000);
    page_request("h", "/b", 1100);
    EXPECT_EQ(host("h")->visits, 1u);
    EXPECT_EQ(url("/a")->entries, 1u);
    page_request("h", "/c", 2900);  // 1800 s after /b
    EXPECT_EQ(host("h")->visits, 2u);
    EXPECT_EQ(url("/b")->exits, 1u);
    EXPECT_EQ(url("/c")->entries, 1u);
    EXPECT_EQ(url("/a")->exits, 0u);

    close_open_visits(2900 + 1799);
    EXPECT_EQ(url("/c")->exits, 0u) << "still open";
    close_open_visits(2900 + 1800);
    EXPECT_EQ(url("/c")->exits, 1u);
    EXPECT_EQ(count_table_visits(site_table), 2u);
}

TEST_F(Tables, NonPageRequestsDoNotTouchVisits)
{
    const u64 t = 1'000'000'000;
    set_current_url("/logo.gif", false);
    char h[] = "h";
    add_host(h, kind_regular, 1, 1, unique, 0, 10, t, nullptr, site_table);
    EXPECT_EQ(host("h")->visits, 0u);
    EXPECT_EQ(host("h")->last_time, 0u);
    page_request("h", "/a", t + 600);
    EXPECT_EQ(host("h")->visits, 1u) << "the first page opens the first visit";
    EXPECT_EQ(host("h")->last_time, t + 600);
}

TEST_F(Tables, GroupHostsCountVisitsButNotPagesAgain)
{
    page_request("h", "/a", 1000);
    set_current_url("/a", true);
    char label[] = "lan";
    add_host(label, kind_group, 1, 0, unique, 0, 0, 1000, nullptr, site_table);
    page_request("h", "/b", 5000);
    set_current_url("/b", true);
    add_host(label, kind_group, 1, 0, unique, 0, 0, 5000, nullptr, site_table);
    const hnode* group = site_table.bucket[table_hash("lan")];
    ASSERT_EQ(group->kind, kind_group);
    EXPECT_EQ(group->visits, 2u);
    EXPECT_EQ(url("/a")->entries, 1u);
    EXPECT_EQ(url("/a")->exits, 1u);
    EXPECT_EQ(url("/b")->entries, 1u);
    EXPECT_EQ(count_table_visits(site_table), 2u) << "group visits are not summed";
}

TEST_F(Tables, LongNamesAreCutOnceWithAWarning)
{
    std::string long_url = "/" + std::string(2999, 'u');
    std::string copy = long_url;
    testing::internal::CaptureStderr();
    add_url(copy.data(), kind_regular, 1, unique, 0, 0, 0);
    EXPECT_EQ(utf8_of_latin2(testing::internal::GetCapturedStderr()),
              "[new_unode] Ostrzeżenie: Napis przekracza dopuszczalną wielkość (3000)\n");
    EXPECT_EQ(std::strlen(copy.c_str()), 2047u) << "cut in the caller's buffer too";
    copy = long_url;
    testing::internal::CaptureStderr();
    add_url(copy.data(), kind_regular, 1, unique, 0, 0, 0);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(count(url_table), 1);
    EXPECT_EQ(url(long_url.substr(0, 2047).c_str())->hits, 2u);
}

TEST_F(Tables, HideListsMarkNewEntriesHidden)
{
    append_nlist("*.lan", startup_settings().hide_site);
    append_nlist("/private*", startup_settings().hide_url);
    append_nlist("bot", startup_settings().hide_agent);
    char h1[] = "pc1.lan", h2[] = "www.example.com", u[] = "/private/x", a[] = "somebot/1";
    add_host(h1, kind_regular, 1, 0, unique, 0, 0, 0, nullptr, site_table);
    add_host(h2, kind_regular, 1, 0, unique, 0, 0, 0, nullptr, site_table);
    add_url(u, kind_regular, 1, unique, 0, 0, 0);
    add_agent(a, kind_regular, 1, unique);
    EXPECT_EQ(host("pc1.lan")->kind, kind_hidden);
    EXPECT_EQ(host("www.example.com")->kind, kind_regular);
    EXPECT_EQ(url("/private/x")->kind, kind_hidden);
    EXPECT_EQ(agent_table.bucket[table_hash("somebot/1")]->kind, kind_hidden);

    startup_settings().hide_all_sites = true;
    char h3[] = "other.example.com";
    add_host(h3, kind_regular, 1, 0, unique, 0, 0, 0, nullptr, site_table);
    EXPECT_EQ(host("other.example.com")->kind, kind_hidden);
}

TEST_F(Tables, ExhaustedMemoryAddsNothing)
{
    void* (*const saved)(std::size_t) = table_allocate;
    table_allocate = no_memory;
    char h[] = "h", u[] = "/u", s[] = "word";
    EXPECT_EQ(add_host(h, kind_regular, 1, 0, unique, 0, 0, 0, nullptr, site_table), 1);
    EXPECT_EQ(add_url(u, kind_regular, 1, unique, 0, 0, 0), 1);
    EXPECT_EQ(add_search(s, 1), 1);
    table_allocate = saved;
    EXPECT_EQ(count(site_table) + count(url_table) + count(search_table), 0);
    EXPECT_EQ(unique, 0u);
}

TEST_F(Tables, UsersCountVisitsWithoutPages)
{
    set_current_url("/a", true);
    char u1[] = "anna";
    add_user(u1, kind_regular, 1, 1, unique, 0, 10, 1000);
    add_user(u1, kind_regular, 1, 0, unique, 0, 10, 2000);
    add_user(u1, kind_regular, 1, 0, unique, 0, 10, 3800);
    const inode* n = user_table.bucket[table_hash("anna")];
    EXPECT_EQ(n->visits, 2u);
    EXPECT_EQ(n->hits, 3u);
    EXPECT_EQ(n->files, 1u);
    EXPECT_EQ(n->bytes, 30.0);
}

TEST_F(Tables, RecentEntriesNeverChangeTheCounts)
{
    // Far more names than recent slots, many sharing their first and last
    // bytes, counted in turns: every count must still land in its own entry.
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < 2000; ++i) {
            std::string name = "/catalogue/item-" + std::to_string(i * 7919 % 2000) + ".html";
            add_url(name.data(), kind_regular, 1, unique, 0, 0, 1);
            std::string agent = "agent " + std::to_string(i % 37);
            add_agent(agent.data(), kind_regular, 1, unique);
        }
    }
    EXPECT_EQ(count(url_table), 2000);
    for_each_node(url_table, [](const unode* n) { EXPECT_EQ(n->hits, 3u) << name_of(n); });
    EXPECT_EQ(count(agent_table), 37);

    char group_name[] = "agent 1";
    add_agent(group_name, kind_group, 1, unique);
    EXPECT_EQ(count(agent_table), 38) << "a group entry is never found among the recent ones";

    clear_table(url_table);
    char again[] = "/catalogue/item-5.html";
    add_url(again, kind_regular, 1, unique, 0, 0, 1);
    EXPECT_EQ(url("/catalogue/item-5.html")->hits, 1u) << "cleared entries are not found again";
    int walked = 0;
    for_each_entry(url_table, [&](const unode*) { ++walked; });
    EXPECT_EQ(walked, 1) << "the kept block holds only the new entry";
}

TEST_F(Tables, DnsEntriesKeepTheirFirstAddress)
{
    char name[] = "10.0.0.1";
    const unsigned char addr[4] = {10, 0, 0, 1};
    EXPECT_EQ(add_dns(name, addr, 4), 0);
    EXPECT_EQ(add_dns(name, nullptr, 0), 0);
    const dnode* d = dns_table.bucket[table_hash(name)];
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->next, nullptr);
    EXPECT_EQ(d->addr_len, 4);
    EXPECT_EQ(d->addr[0], 10);
    EXPECT_EQ(d->addr[5], 0);
}

TEST(NameHash, SipHashMatchesItsReferenceVector)
{
    // The reference vector of SipHash-2-4: key 00..0f, message 00..0e.
    unsigned char message[15];
    for (int i = 0; i < 15; ++i)
        message[i] = static_cast<unsigned char>(i);
    const std::uint64_t k0 = 0x0706050403020100ULL;
    const std::uint64_t k1 = 0x0f0e0d0c0b0a0908ULL;
    EXPECT_EQ((sip_hash<2, 4>(message, 15, k0, k1)), 0xa129ca6149be45e5ULL);
    EXPECT_EQ((sip_hash<2, 4>(message, 0, k0, k1)), 0x726fdb47dd0e0e31ULL);
    EXPECT_NE((sip_hash<1, 3>(message, 15, k0, k1)), (sip_hash<1, 3>(message, 15, k0, k1 + 1)));
}

TEST_F(Tables, GrowingIndexKeepsEveryNameAndTheBucketOrder)
{
    // Enough names for the index to grow many times; each is counted in
    // turns, so every count must find its own entry again.
    std::vector<std::string> names;
    for (int i = 0; i < 20000; ++i)
        names.push_back("/dir-" + std::to_string(i % 97) + "/page-" + std::to_string(i) + ".html");
    for (int round = 0; round < 2; ++round)
        for (std::string name : names)
            ASSERT_EQ(add_url(name.data(), kind_regular, 1, unique, 0, 0, 1), 0);
    EXPECT_EQ(unique, names.size());

    // The order the reports and the state file see: buckets 0 to 4095, and
    // in each the newest entry first.
    std::vector<std::pair<int, int>> expected;  // bucket, minus the order of creation
    for (std::size_t i = 0; i < names.size(); ++i)
        expected.emplace_back(table_hash(names[i].c_str()), -static_cast<int>(i));
    std::sort(expected.begin(), expected.end());
    std::size_t at = 0;
    for_each_node(url_table, [&](const unode* n) {
        ASSERT_LT(at, expected.size());
        EXPECT_EQ(name_of(n), names[static_cast<std::size_t>(-expected[at].second)]);
        EXPECT_EQ(n->hits, 2u) << name_of(n);
        ++at;
    });
    EXPECT_EQ(at, names.size());

    // The walk in memory order, across the arena's blocks, meets each entry once.
    std::vector<std::string> walked;
    for_each_entry(url_table, [&](const unode* n) { walked.emplace_back(name_of(n)); });
    std::sort(walked.begin(), walked.end());
    std::vector<std::string> sorted = names;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(walked, sorted);
}

TEST_F(Tables, LargeTablesFindEveryNameAgainAfterAClear)
{
    // Enough names for arena blocks and an index that come straight from
    // the system in huge pages; the table is then cleared, keeping some of
    // that memory, and filled again, as in a log of many months.
    constexpr std::size_t names = 150000;
    auto fill = [&](char first) {
        unique = 0;
        for (int pass = 0; pass < 2; ++pass)
            for (std::size_t i = 0; i < names; ++i) {
                std::string name = first + std::to_string(i) + ".example.net";
                ASSERT_EQ(
                    add_host(name.data(), kind_regular, 1, 0, unique, 0, 1, 0, nullptr, site_table),
                    0);
            }
        EXPECT_EQ(unique, names);  // the second pass found every entry
        u64 hits = 0;
        for_each_entry(site_table, [&](const hnode* n) { hits += n->hits; });
        EXPECT_EQ(hits, 2 * names);
    };
    fill('a');
    const std::size_t full = table_memory(site_table);
    EXPECT_GT(full, names * sizeof(hnode));
    clear_table(site_table);
    EXPECT_EQ(count(site_table), 0);
    EXPECT_GT(table_memory(site_table), 0u);
    EXPECT_LT(table_memory(site_table), full);
    fill('b');
    EXPECT_EQ(host("a7.example.net"), nullptr);
    ASSERT_NE(host("b149999.example.net"), nullptr);
    EXPECT_EQ(host("b149999.example.net")->hits, 2u);
    release_tables();
    EXPECT_EQ(table_memory(site_table), 0u);
}

TEST_F(Tables, NamesSharingABucketStayApart)
{
    // Agents chosen to fall into one bucket, as a client could send them.
    std::vector<std::string> agents;
    for (int k = 0; agents.size() < 300; ++k) {
        std::string agent = "probe/" + std::to_string(k);
        if (table_hash(agent.c_str()) == 7)
            agents.push_back(agent);
    }
    for (int round = 0; round < 3; ++round)
        for (std::string agent : agents)
            add_agent(agent.data(), kind_regular, 1, unique);
    EXPECT_EQ(count(agent_table), 300);
    int in_bucket = 0;
    for (const anode* n = agent_table.bucket[7]; n != nullptr; n = n->next, ++in_bucket)
        EXPECT_EQ(n->hits, 3u) << name_of(n);
    EXPECT_EQ(in_bucket, 300);
}

TEST_F(Tables, RecordNamesFollowTheTextsTheTablesRewrite)
{
    log_record& r = g_record;
    clear_record(r);
    std::strcpy(r.host, "h.example");
    std::strcpy(r.request, "/a.html");
    std::strcpy(r.referrer, "-");
    std::strcpy(r.agent, "x");
    std::strcpy(r.user, "-");
    counted_record counted;
    view_record(r, counted);
    record_names names;
    prepare_record_names(names, counted);
    add_referrer(names.referrer, names.referrer_hint, kind_regular, 1, unique);
    EXPECT_STREQ(r.referrer, "- (Direct Request)");
    EXPECT_EQ(names.referrer.length, std::strlen(r.referrer));
    char again[] = "- (Direct Request)";
    add_referrer(again, kind_regular, 1, unique);
    EXPECT_EQ(count(referrer_table), 1) << "the rewritten name was indexed under its new text";
    EXPECT_EQ(referrer_table.bucket[table_hash(again)]->hits, 2u);

    // The same record counted again finds its entries through the hints.
    prepare_record_names(names, counted);
    EXPECT_NE(names.referrer_hint, nullptr);
    add_host(names.host, names.site_hint, kind_regular, 1, 0, unique, 0, 0, 0, nullptr, site_table);
    prepare_record_names(names, counted);
    ASSERT_NE(names.site_hint, nullptr);
    EXPECT_EQ(names.daily_hint, nullptr) << "the daily table has its own entries";
    add_host(names.host, names.site_hint, kind_regular, 1, 0, unique, 0, 0, 0, nullptr, site_table);
    EXPECT_EQ(host("h.example")->hits, 2u);
}
