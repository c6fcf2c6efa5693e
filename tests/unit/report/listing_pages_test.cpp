#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

#include "common/counters.hpp"
#include "common/settings.hpp"
#include "hand_entries.hpp"
#include "report/listing_pages.hpp"
#include "test_support.hpp"

namespace {

template <typename Node>
Node&
wide(entries<Node>& e, const char* name, u64 hits, u64 files, double bytes, u64 visits,
     int kind = kind_regular)
{
    Node& n = e.add(name, kind);
    n.hits = hits;
    n.files = files;
    n.bytes = bytes;
    n.visits = visits;
    return n;
}

// The preformatted body of a page, as UTF-8; empty when the page is missing
// or has no such body.
std::string
body_of(const std::string& name)
{
    const std::string page = utf8_of_latin2(content_of(name));
    const std::string start = "<FONT SIZE=\"-1\"></CENTER><PRE>\n";
    const std::size_t from = page.find(start);
    const std::size_t to = page.find("</PRE></FONT>\n");
    if (from == std::string::npos || to == std::string::npos || to < from)
        return {};
    return page.substr(from + start.size(), to - from - start.size());
}

const char* const wide_rule = "----------------  ----------------  ----------------  "
                              "----------------  --------------------\n\n";

class ListingPages : public scratch_test {
  protected:
    void SetUp() override
    {
        scratch_test::SetUp();
        g_clock.year = 2024;
        g_clock.month = 3;
        g_month.hits = 200;
        g_month.files = 100;
        g_month.bytes = 204800;
        g_month.visits = 10;
        startup_settings().host_name = "www.example.org";
        startup_settings().verbosity = 0;
    }
};

TEST_F(ListingPages, SitesPageListsGroupsFirstThenRegularEntries)
{
    entries<hnode> sites;
    wide(sites, "a.example.org", 100, 50, 102400, 5);
    wide(sites, "hidden.example.org", 60, 20, 40960, 3, kind_hidden);
    wide(sites, ".pl", 50, 25, 51200, 2, kind_group);
    wide(sites, "http://proxy.example.net/", 8, 4, 2048, 1);
    wide(sites, "javascript://x", 2, 1, 0, 0);
    ASSERT_TRUE(site_listing_page(sites.array(), 3, 1));

    const std::string page = utf8_of_latin2(content_of("site_202403.html"));
    EXPECT_TRUE(page.find("<TITLE>Statystyki serwera dla www.example.org - marzec 2024 - "
                          "Lokalizacje</TITLE>") != std::string::npos);
    EXPECT_TRUE(page.find("\n</BODY>\n</HTML>\n") != std::string::npos);
    EXPECT_EQ(body_of("site_202403.html"),
              std::string("    Wywołania             Pliki                KB            Wizyty"
                          "      Nazwa hosta\n") +
                  wide_rule +
                  "50        25.00%        25  25.00%        50  25.00%         2  20.00%  .pl\n"
                  "\n"
                  "100       50.00%        50  50.00%       100  50.00%         5  50.00%  "
                  "a.example.org\n"
                  "8          4.00%         4   4.00%         2   1.00%         1  10.00%  "
                  "<A HREF=\"http://proxy.example.net/\">http://proxy.example.net/</A>\n"
                  "2          1.00%         1   1.00%         0   0.00%         0   0.00%  "
                  "javascript://x\n");
}

TEST_F(ListingPages, GroupBlockAndItsEmptyLineOnlyWhenThereAreGroups)
{
    entries<hnode> sites;
    wide(sites, "a.example.org", 1, 1, 0, 0);
    ASSERT_TRUE(site_listing_page(sites.array(), 1, 0));
    const std::string only = body_of("site_202403.html");
    EXPECT_EQ(only.substr(only.find(wide_rule) + std::string(wide_rule).size()),
              "1          0.50%         1   1.00%         0   0.00%         0   0.00%  "
              "a.example.org\n");

    entries<hnode> groups;
    wide(groups, "hidden", 1, 1, 0, 0, kind_hidden);
    wide(groups, ".pl", 1, 1, 0, 0, kind_group);
    ASSERT_TRUE(site_listing_page(groups.array(), 0, 1));
    const std::string body = body_of("site_202403.html");
    EXPECT_EQ(body.substr(body.size() - 5), ".pl\n\n");
    EXPECT_EQ(body.find("hidden"), std::string::npos);

    // HideAllSites leaves only the group block.
    wide(groups, "b.example.org", 1, 1, 0, 0);
    startup_settings().hide_all_sites = true;
    ASSERT_TRUE(site_listing_page(groups.array(), 1, 1));
    EXPECT_EQ(body_of("site_202403.html"), body);
}

TEST_F(ListingPages, EachKindHasItsHeadingRuleAndLines)
{
    entries<unode> urls;
    unode& u = urls.add("/index.html");
    u.hits = 20;
    u.bytes = 10240;
    urls.add("/img/*", kind_group).hits = 30;
    ASSERT_TRUE(url_listing_page(urls.array(), 1, 1));
    EXPECT_EQ(body_of("url_202403.html"),
              "    Wywołania                KB      URL\n"
              "----------------  ----------------  --------------------\n\n"
              "30        15.00%         0   0.00%  /img/*\n\n"
              "20        10.00%        10   5.00%  /index.html\n");

    entries<rnode> refs;
    refs.add("http://e.com/").hits = 4;
    ASSERT_TRUE(referrer_listing_page(refs.array(), 1, 0));
    EXPECT_EQ(body_of("ref_202403.html"), "    Wywołania      Odnośniki\n"
                                          "----------------  --------------------\n\n"
                                          "4          2.00%  http://e.com/\n");
    EXPECT_NE(utf8_of_latin2(content_of("ref_202403.html")).find("marzec 2024 - Odnośniki"),
              std::string::npos);

    entries<anode> agents;
    agents.add("Lynx/2.8").hits = 1;
    ASSERT_TRUE(agent_listing_page(agents.array(), 1, 0));
    EXPECT_EQ(body_of("agent_202403.html"), "    Wywołania      Przeglądarka\n"
                                            "----------------  ----------------------\n\n"
                                            "1          0.50%  Lynx/2.8\n");

    entries<inode> users;
    wide(users, "jan", 10, 5, 1024, 1);
    ASSERT_TRUE(user_listing_page(users.array(), 1, 0));
    EXPECT_EQ(body_of("user_202403.html"),
              std::string("    Wywołania             Pliki                KB            Wizyty"
                          "      Użytkownik\n") +
                  wide_rule +
                  "10         5.00%         5   5.00%         1   0.50%         1  10.00%  jan\n");
}

TEST_F(ListingPages, SearchPageTakesSharesOfItsOwnSum)
{
    entries<snode> none;
    EXPECT_FALSE(search_listing_page(none.array(), 0, 0));
    EXPECT_FALSE(exists("search_202403.html"));

    entries<snode> s;
    s.add("parvalyte").hits = 3;
    s.add("logi").hits = 1;
    ASSERT_TRUE(search_listing_page(s.array(), 2, 4));
    EXPECT_EQ(body_of("search_202403.html"), "    Wywołania      Wyszukiwany ciąg znaków\n"
                                             "----------------  ----------------------\n\n"
                                             "3         75.00%  parvalyte\n"
                                             "1         25.00%  logi\n");
}

TEST_F(ListingPages, PageThatCannotBeOpenedIsNotWritten)
{
    entries<rnode> refs;
    refs.add("x").hits = 1;
    ASSERT_EQ(symlink("elsewhere.html", "ref_202403.html"), 0);
    EXPECT_FALSE(referrer_listing_page(refs.array(), 1, 0));
    EXPECT_FALSE(exists("elsewhere.html"));

    // A name that would not fit is refused, not cut into another name.
    startup_settings().html_extension = std::string(300, 'h');
    EXPECT_FALSE(agent_listing_page(refs.array(), 1, 0));
    EXPECT_FALSE(exists("agent_202403." + std::string(300 - 16, 'h')));
}

TEST_F(ListingPages, HostileNamesAreEscapedAndNeverLinks)
{
    const char* hostile = "<script>alert(\"x\")</script>&";
    const std::string escaped = "&lt;script&gt;alert(&quot;x&quot;)&lt;/script&gt;&amp;";
    entries<hnode> sites;
    wide(sites, hostile, 1, 1, 0, 0);
    wide(sites, (std::string("http://e.com/\">") + hostile).c_str(), 1, 1, 0, 0);
    wide(sites, "JAVASCRIPT://%0Aalert(1)", 1, 1, 0, 0);
    ASSERT_TRUE(site_listing_page(sites.array(), 3, 0));
    std::string body = body_of("site_202403.html");
    EXPECT_EQ(body.find("<script>"), std::string::npos);
    EXPECT_NE(body.find("  " + escaped + "\n"), std::string::npos);
    EXPECT_NE(body.find("<A HREF=\"http://e.com/&quot;&gt;" + escaped + "\">"), std::string::npos);
    EXPECT_NE(body.find("  JAVASCRIPT://%0Aalert(1)\n"), std::string::npos);
    EXPECT_EQ(body.find("HREF=\"JAVASCRIPT"), std::string::npos);

    entries<unode> urls;
    urls.add(hostile).hits = 1;
    ASSERT_TRUE(url_listing_page(urls.array(), 1, 0));
    entries<rnode> refs;
    refs.add(hostile).hits = 1;
    ASSERT_TRUE(referrer_listing_page(refs.array(), 1, 0));
    ASSERT_TRUE(agent_listing_page(refs.array(), 1, 0));
    entries<inode> users;
    users.add(hostile).hits = 1;
    ASSERT_TRUE(user_listing_page(users.array(), 1, 0));
    entries<snode> searches;
    searches.add(hostile).hits = 1;
    ASSERT_TRUE(search_listing_page(searches.array(), 1, 1));
    for (const char* name : {"url_202403.html", "ref_202403.html", "agent_202403.html",
                             "user_202403.html", "search_202403.html"}) {
        body = body_of(name);
        EXPECT_EQ(body.find("<script>"), std::string::npos) << name;
        EXPECT_NE(body.find("  " + escaped + "\n"), std::string::npos) << name;
    }
}

}  // namespace
