#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/counters.hpp"
#include "common/settings.hpp"
#include "hand_entries.hpp"
#include "report/top_tables.hpp"
#include "test_support.hpp"

namespace {

hnode&
site(entries<hnode>& e, const char* name, u64 hits, u64 files, double bytes, u64 visits,
     int kind = kind_regular)
{
    hnode& n = e.add(name, kind);
    n.hits = hits;
    n.files = files;
    n.bytes = bytes;
    n.visits = visits;
    return n;
}

template <typename Writer>
std::string
written(Writer write)
{
    char* data = nullptr;
    std::size_t size = 0;
    std::FILE* f = open_memstream(&data, &size);
    EXPECT_NE(f, nullptr);
    if (!f)
        return {};
    write(f);
    std::fclose(f);
    std::string bytes(data, size);
    std::free(data);
    return utf8_of_latin2(bytes);
}

bool
contains(const std::string& text, const std::string& needle)
{
    return text.find(needle) != std::string::npos;
}

class TopTables : public scratch_test {
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
        g_month.sites = 3;
        g_month.urls = 4;
        g_month.referrers = 3;
        g_month.agents = 2;
        g_month.users = 2;
        startup_settings().host_name = "www.example.org";
        startup_settings().verbosity = 0;
    }

    // A regular site, a hidden one that must not show, and a group.
    void three_sites()
    {
        site(sites_, "a.example.org", 100, 50, 102400, 5);
        site(sites_, "hidden.example.org", 60, 20, 40960, 3, kind_hidden);
        site(sites_, ".pl", 50, 25, 51200, 2, kind_group);
    }
    std::string sites_table(bool by_kb)
    {
        return written([&](std::FILE* f) { site_leaders(f, sites_.array(), by_kb); });
    }

    entries<hnode> sites_;
};

const char* const sites_by_hits =
    "<A NAME=\"TOPSITES\"></A>\n"
    "<TABLE WIDTH=510 BORDER=2 CELLSPACING=1 CELLPADDING=1>\n"
    "<TR><TH HEIGHT=4></TH></TR>\n"
    "<TR><TH BGCOLOR=\"#C0C0C0\" ALIGN=CENTER COLSPAN=10>Pierwsze 2 z ogólnej liczby 3 "
    "lokalizacji</TH></TR>\n"
    "<TR><TH HEIGHT=4></TH></TR>\n"
    "<TR><TH BGCOLOR=\"#C0C0C0\" ALIGN=center><FONT SIZE=\"-1\">#</FONT></TH>\n"
    "<TH BGCOLOR=\"#00805c\" ALIGN=center COLSPAN=2><FONT SIZE=\"-1\">Wywołania</FONT></TH>\n"
    "<TH BGCOLOR=\"#0040ff\" ALIGN=center COLSPAN=2><FONT SIZE=\"-1\">Pliki</FONT></TH>\n"
    "<TH BGCOLOR=\"#ff0000\" ALIGN=center COLSPAN=2><FONT SIZE=\"-1\">KB</FONT></TH>\n"
    "<TH BGCOLOR=\"#ffff00\" ALIGN=center COLSPAN=2><FONT SIZE=\"-1\">Wizyty</FONT></TH>\n"
    "<TH BGCOLOR=\"#00e0ff\" ALIGN=center><FONT SIZE=\"-1\">Nazwa hosta</FONT></TH></TR>\n"
    "<TR><TH HEIGHT=4></TH></TR>\n"
    "<TR>\n"
    "<TD ALIGN=center><FONT SIZE=\"-1\"><B>1</B></FONT></TD>\n"
    "<TD ALIGN=right><FONT SIZE=\"-1\"><B>100</B></FONT></TD>\n"
    "<TD ALIGN=right><FONT SIZE=\"-2\">50.00%</FONT></TD>\n"
    "<TD ALIGN=right><FONT SIZE=\"-1\"><B>50</B></FONT></TD>\n"
    "<TD ALIGN=right><FONT SIZE=\"-2\">50.00%</FONT></TD>\n"
    "<TD ALIGN=right><FONT SIZE=\"-1\"><B>100</B></FONT></TD>\n"
    "<TD ALIGN=right><FONT SIZE=\"-2\">50.00%</FONT></TD>\n"
    "<TD ALIGN=right><FONT SIZE=\"-1\"><B>5</B></FONT></TD>\n"
    "<TD ALIGN=right><FONT SIZE=\"-2\">50.00%</FONT></TD>\n"
    "<TD ALIGN=left NOWRAP><FONT SIZE=\"-1\">a.example.org</FONT></TD></TR>\n"
    "<TR BGCOLOR=\"#D0D0E0\">\n"
    "<TD ALIGN=center><FONT SIZE=\"-1\"><B>2</B></FONT></TD>\n"
    "<TD ALIGN=right><FONT SIZE=\"-1\"><B>50</B></FONT></TD>\n"
    "<TD ALIGN=right><FONT SIZE=\"-2\">25.00%</FONT></TD>\n"
    "<TD ALIGN=right><FONT SIZE=\"-1\"><B>25</B></FONT></TD>\n"
    "<TD ALIGN=right><FONT SIZE=\"-2\">25.00%</FONT></TD>\n"
    "<TD ALIGN=right><FONT SIZE=\"-1\"><B>50</B></FONT></TD>\n"
    "<TD ALIGN=right><FONT SIZE=\"-2\">25.00%</FONT></TD>\n"
    "<TD ALIGN=right><FONT SIZE=\"-1\"><B>2</B></FONT></TD>\n"
    "<TD ALIGN=right><FONT SIZE=\"-2\">20.00%</FONT></TD>\n"
    "<TD ALIGN=left NOWRAP><FONT SIZE=\"-1\"><STRONG>.pl</STRONG></FONT></TD></TR>\n"
    "<TR><TH HEIGHT=4></TH></TR>\n"
    "</TABLE>\n"
    "<P>\n";

TEST_F(TopTables, SitesTableByHitsIsWrittenByteForByteWithoutHiddenEntries)
{
    three_sites();
    EXPECT_EQ(sites_table(false), sites_by_hits);
    EXPECT_FALSE(exists("site_202403.html"));
}

TEST_F(TopTables, GroupShadingAndHighlightFollowTheirSettings)
{
    three_sites();
    startup_settings().group_shading = false;
    std::string t = sites_table(false);
    EXPECT_FALSE(contains(t, "<TR BGCOLOR=\"#D0D0E0\">"));
    EXPECT_TRUE(contains(t, "<STRONG>.pl</STRONG>"));

    startup_settings().group_shading = true;
    startup_settings().group_highlight = false;
    t = sites_table(false);
    EXPECT_TRUE(contains(t, "<TR BGCOLOR=\"#D0D0E0\">\n<TD ALIGN=center><FONT SIZE=\"-1\"><B>2<"));
    EXPECT_FALSE(contains(t, "<STRONG>"));
    EXPECT_TRUE(contains(t, "<FONT SIZE=\"-1\">.pl</FONT></TD></TR>\n"));
}

TEST_F(TopTables, AKindWithOnlyHiddenEntriesWritesNothing)
{
    site(sites_, "a", 1, 1, 1, 1, kind_hidden);
    site(sites_, "b", 1, 1, 1, 1, kind_hidden);
    EXPECT_EQ(sites_table(false), "");
    EXPECT_EQ(sites_table(true), "");
    entries<unode> none;
    EXPECT_EQ(written([&](std::FILE* f) { url_leaders(f, none.array(), false); }), "");
}

TEST_F(TopTables, ListingPageOnlyWhenMoreVisibleEntriesThanTop)
{
    three_sites();
    startup_settings().all_sites = true;
    const char* link_row = "<TR BGCOLOR=\"#D0D0E0\"><TD COLSPAN=10 ALIGN=\"center\">\n"
                           "<FONT SIZE=\"-1\"><A HREF=\"./site_202403.html\">"
                           "Podgląd wszystkich lokalizacji</A></TD></TR>\n</TABLE>\n<P>\n";

    startup_settings().top_sites = 3;  // fewer visible than top
    std::string t = sites_table(false);
    EXPECT_TRUE(contains(t, "Pierwsze 2 z ogólnej"));
    EXPECT_FALSE(contains(t, "site_202403"));
    EXPECT_FALSE(exists("site_202403.html"));

    startup_settings().top_sites = 2;  // as many as top
    t = sites_table(false);
    EXPECT_FALSE(contains(t, "site_202403"));
    EXPECT_FALSE(exists("site_202403.html"));

    startup_settings().top_sites = 1;  // more than top
    t = sites_table(false);
    EXPECT_TRUE(contains(t, "Pierwsze 1 z ogólnej liczby 3 lokalizacji"));
    EXPECT_FALSE(contains(t, "<STRONG>.pl"));
    EXPECT_TRUE(contains(t, link_row)) << t;
    EXPECT_TRUE(exists("site_202403.html"));

    // The by-KB table leaves page and anchor to the by-hits table.
    std::filesystem::remove("site_202403.html");
    t = sites_table(true);
    EXPECT_FALSE(contains(t, "TOPSITES"));
    EXPECT_FALSE(contains(t, "site_202403"));
    EXPECT_FALSE(exists("site_202403.html"));
    EXPECT_TRUE(contains(t, "lokalizacji uszeregowane wg KB</TH></TR>\n"));
}

TEST_F(TopTables, ByKilobyteTableTakesOverWhenTopSitesIsZero)
{
    site(sites_, "big.example.org", 10, 1, 150000, 1);
    site(sites_, "busy.example.org", 90, 1, 1024, 1);
    startup_settings().top_sites = 0;
    startup_settings().top_k_sites = 10;
    std::string t = sites_table(true);
    EXPECT_TRUE(contains(t, "<A NAME=\"TOPSITES\"></A>\n"));
    EXPECT_FALSE(contains(t, "site_202403"));  // AllSites off

    startup_settings().all_sites = true;
    t = sites_table(true);
    EXPECT_EQ(t.find("<A NAME=\"TOPSITES\"></A>\n"), 0u);
    EXPECT_TRUE(contains(t, "<A HREF=\"./site_202403.html\">Podgląd wszystkich lokalizacji</A>"));
    const std::string page = content_of("site_202403.html");
    const std::size_t big = page.find("big.example.org");
    ASSERT_NE(big, std::string::npos);
    EXPECT_LT(big, page.find("busy.example.org"));  // the array's order, by KB
}

TEST_F(TopTables, ListingPageThatCannotBeWrittenGetsNoLinkRow)
{
    three_sites();
    startup_settings().all_sites = true;
    startup_settings().top_sites = 1;
    ASSERT_EQ(symlink("/dev/null", "site_202403.html"), 0);
    const std::string t = sites_table(false);
    EXPECT_FALSE(contains(t, "site_202403"));
    EXPECT_TRUE(contains(t, "<TR><TH HEIGHT=4></TH></TR>\n</TABLE>\n<P>\n"));
}

class TopTablesUrls : public TopTables {
  protected:
    unode& url(const char* name, u64 hits, double bytes, int kind = kind_regular)
    {
        unode& n = urls_.add(name, kind);
        n.hits = hits;
        n.bytes = bytes;
        return n;
    }
    std::string table(bool by_kb = false)
    {
        return written([&](std::FILE* f) { url_leaders(f, urls_.array(), by_kb); });
    }
    std::string entry_exit(bool exits)
    {
        return written([&](std::FILE* f) { entry_exit_leaders(f, urls_.array(), exits); });
    }
    entries<unode> urls_;
};

TEST_F(TopTablesUrls, NamesBecomeLinksByTheirFormAndTheLogType)
{
    url("/index.html", 100, 2048);
    url("http://mirror.example.net/a", 50, 1024);
    url("javascript://%0Aalert(1)", 20, 0);
    url("/images/*", 10, 0, kind_group);
    std::string t = table();
    EXPECT_TRUE(contains(t, "<A NAME=\"TOPURLS\"></A>\n"));
    EXPECT_TRUE(contains(t, "COLSPAN=6>Pierwsze 4 z ogólnej liczby 4 URLi</TH></TR>\n"));
    EXPECT_TRUE(contains(t, "<TD ALIGN=right><FONT SIZE=\"-1\"><B>2</B></FONT></TD>\n"
                            "<TD ALIGN=right><FONT SIZE=\"-2\">1.00%</FONT></TD>\n"
                            "<TD ALIGN=left NOWRAP><FONT SIZE=\"-1\"><A "
                            "HREF=\"http://www.example.org/index.html\">/index.html</A></FONT></"
                            "TD></TR>\n"));
    EXPECT_TRUE(contains(t, "<A HREF=\"http://mirror.example.net/a\">http://mirror.example.net/"
                            "a</A></FONT></TD></TR>\n"));
    EXPECT_TRUE(contains(t, "<FONT SIZE=\"-1\">javascript://%0Aalert(1)</FONT></TD></TR>\n"));
    EXPECT_TRUE(contains(t, "<STRONG>/images/*</STRONG></FONT></TD></TR>\n"));
    EXPECT_FALSE(contains(t, "HREF=\"javascript"));

    startup_settings().use_https = true;
    t = table();
    EXPECT_TRUE(contains(t, "<A HREF=\"https://www.example.org/index.html\">/index.html</A>"));

    startup_settings().log_type = log_ftp;
    t = table();
    EXPECT_TRUE(contains(t, "<FONT SIZE=\"-1\">/index.html</FONT></TD></TR>\n"));
    EXPECT_TRUE(contains(t, "<A HREF=\"http://mirror.example.net/a\">"));
}

TEST_F(TopTablesUrls, ByKilobyteTableAndItsListingPage)
{
    url("/big", 1, 204800);
    url("/small", 9, 1024);
    startup_settings().all_urls = true;
    std::string t = table(true);
    EXPECT_FALSE(contains(t, "TOPURLS"));
    EXPECT_TRUE(contains(t, "URLi uszeregowane wg KB</TH></TR>\n"));
    EXPECT_FALSE(exists("url_202403.html"));

    startup_settings().top_urls = 0;
    t = table(true);
    EXPECT_TRUE(contains(t, "<A NAME=\"TOPURLS\"></A>\n"));
    EXPECT_TRUE(contains(t, "<TR BGCOLOR=\"#D0D0E0\"><TD COLSPAN=6 ALIGN=\"center\">\n<FONT "
                            "SIZE=\"-1\"><A HREF=\"./url_202403.html\">Podgląd wszystkich "
                            "URL'i</A></TD></TR>\n"));
    EXPECT_TRUE(exists("url_202403.html"));
}

TEST_F(TopTablesUrls, EntryAndExitPagesCountTheirOwnShares)
{
    url("/a", 40, 0).entries = 3;
    url("/b", 30, 0).entries = 1;
    url("/hidden", 90, 0, kind_hidden).entries = 50;
    url("/c", 20, 0).exits = 2;  // no entries: not counted
    std::string t = entry_exit(false);
    EXPECT_EQ(t.find("<A NAME=\"TOPENTRY\"></A>\n"), 0u);
    EXPECT_TRUE(contains(t, "COLSPAN=6>Pierwsze 2 z ogólnej liczby 2 stron wejściowych</TH>"));
    EXPECT_TRUE(contains(t, "<TH BGCOLOR=\"#ffff00\" ALIGN=center COLSPAN=2><FONT "
                            "SIZE=\"-1\">Wizyty</FONT></TH>\n"));
    EXPECT_TRUE(contains(t, "<TR>\n<TD ALIGN=center><FONT SIZE=\"-1\"><B>1</B></FONT></TD>\n"
                            "<TD ALIGN=right><FONT SIZE=\"-1\"><B>40</B></FONT></TD>\n"
                            "<TD ALIGN=right><FONT SIZE=\"-2\">20.00%</FONT></TD>\n"
                            "<TD ALIGN=right><FONT SIZE=\"-1\"><B>3</B></FONT></TD>\n"
                            "<TD ALIGN=right><FONT SIZE=\"-2\">75.00%</FONT></TD>\n"
                            "<TD ALIGN=left NOWRAP><FONT SIZE=\"-1\"><A "
                            "HREF=\"http://www.example.org/a\">/a</A></FONT></TD></TR>\n"));
    EXPECT_TRUE(contains(t, "<B>1</B></FONT></TD>\n<TD ALIGN=right><FONT "
                            "SIZE=\"-2\">25.00%</FONT></TD>\n"));
    EXPECT_FALSE(contains(t, "/hidden"));
    EXPECT_FALSE(contains(t, "/c<"));
    EXPECT_TRUE(contains(t, "</TD></TR>\n<TR><TH HEIGHT=4></TH></TR>\n</TABLE>\n<P>\n"));

    // The month report hands the exit table the array sorted by exits.
    std::sort(urls_.items.begin(), urls_.items.end(), by_key<&unode::exits>{});
    t = entry_exit(true);
    EXPECT_EQ(t.find("<A NAME=\"TOPEXIT\"></A>\n"), 0u);
    EXPECT_TRUE(contains(t, "Pierwsze 1 z ogólnej liczby 1 stron wyjściowych"));
    EXPECT_TRUE(contains(t, "<B>2</B></FONT></TD>\n<TD ALIGN=right><FONT "
                            "SIZE=\"-2\">100.00%</FONT></TD>\n"));

    startup_settings().top_exit = 0;
    EXPECT_EQ(entry_exit(true), "");
}

TEST_F(TopTables, ReferrersLinkOnlyWithLinkReferrerAndAFetchableScheme)
{
    entries<rnode> refs;
    refs.add("http://search.example.com/?q=a").hits = 50;
    refs.add("-").hits = 30;
    refs.add("javascript://x").hits = 10;
    refs.add("Wyszukiwarki", kind_group).hits = 5;
    auto table = [&] { return written([&](std::FILE* f) { referrer_leaders(f, refs.array()); }); };
    std::string t = table();
    EXPECT_EQ(t.find("<A NAME=\"TOPREFS\"></A>\n"), 0u);
    EXPECT_TRUE(contains(t, "COLSPAN=4>Pierwsze 4 z ogólnej liczby 3 odnośników</TH>"));
    EXPECT_FALSE(contains(t, "<A HREF"));
    EXPECT_TRUE(contains(t, "<TD ALIGN=right><FONT SIZE=\"-2\">25.00%</FONT></TD>\n"
                            "<TD ALIGN=left NOWRAP><FONT SIZE=\"-1\">http://search.example.com/"
                            "?q=a</FONT></TD></TR>\n"));

    startup_settings().link_referrer = true;
    t = table();
    EXPECT_TRUE(contains(t, "<A HREF=\"http://search.example.com/?q=a\" "
                            "rel=\"nofollow\">http://search.example.com/?q=a</A></FONT>"));
    EXPECT_TRUE(contains(t, "<FONT SIZE=\"-1\">-</FONT>"));
    EXPECT_TRUE(contains(t, "<FONT SIZE=\"-1\">javascript://x</FONT>"));
    EXPECT_TRUE(contains(t, "<STRONG>Wyszukiwarki</STRONG>"));
    EXPECT_EQ(t.find("<A HREF"), t.rfind("<A HREF"));

    startup_settings().all_referrers = true;
    startup_settings().top_referrers = 2;
    t = table();
    EXPECT_TRUE(contains(t, "<A HREF=\"./ref_202403.html\">Podgląd wszystkich odnośników</A>"));
    EXPECT_TRUE(exists("ref_202403.html"));

    g_month.referrers = 0;
    EXPECT_EQ(table(), "");
}

TEST_F(TopTables, AgentsAndUsersTables)
{
    entries<anode> agents;
    agents.add("Mozilla/5.0").hits = 150;
    agents.add("Roboty", kind_group).hits = 50;
    std::string t = written([&](std::FILE* f) { agent_leaders(f, agents.array()); });
    EXPECT_EQ(t.find("<A NAME=\"TOPAGENTS\"></A>\n"), 0u);
    EXPECT_TRUE(contains(t, "COLSPAN=4>Pierwsze 2 z ogólnej liczby 2 przeglądarek</TH>"));
    EXPECT_TRUE(contains(t, "<FONT SIZE=\"-1\">Przeglądarka</FONT></TH></TR>\n"));
    EXPECT_TRUE(contains(t, "<FONT SIZE=\"-2\">75.00%</FONT></TD>\n<TD ALIGN=left NOWRAP><FONT "
                            "SIZE=\"-1\">Mozilla/5.0</FONT></TD></TR>\n"));
    EXPECT_TRUE(contains(t, "<TR BGCOLOR=\"#D0D0E0\">\n"));
    g_month.agents = 0;
    EXPECT_EQ(written([&](std::FILE* f) { agent_leaders(f, agents.array()); }), "");

    entries<inode> users;
    inode& u = users.add("jan");
    u.hits = 20;
    u.files = 10;
    u.bytes = 20480;
    u.visits = 1;
    users.add("ewa").hits = 1;
    startup_settings().all_users = true;
    startup_settings().top_users = 1;
    t = written([&](std::FILE* f) { user_leaders(f, users.array()); });
    EXPECT_EQ(t.find("<A NAME=\"TOPUSERS\"></A>\n"), 0u);
    EXPECT_TRUE(contains(t, "COLSPAN=10>Pierwsze 1 z ogólnej liczby 2 użytkowników</TH>"));
    EXPECT_TRUE(contains(t, "<B>20</B></FONT></TD>\n<TD ALIGN=right><FONT "
                            "SIZE=\"-2\">10.00%</FONT></TD>\n"));
    EXPECT_TRUE(contains(t, "<TD COLSPAN=10 ALIGN=\"center\">\n<FONT SIZE=\"-1\"><A "
                            "HREF=\"./user_202403.html\">Podgląd wszystkich użytkowników</A>"));
    EXPECT_TRUE(contains(content_of("user_202403.html"), "ewa\n"));
}

TEST_F(TopTables, SearchSharesAreOfTheirOwnSum)
{
    entries<snode> s;
    s.add("parvalyte").hits = 3;
    s.add("logi").hits = 1;
    startup_settings().top_search = 1;
    std::string t = written([&](std::FILE* f) { search_leaders(f, s.array()); });
    EXPECT_EQ(t.find("<A NAME=\"TOPSEARCH\"></A>\n"), 0u);
    EXPECT_TRUE(contains(t, "COLSPAN=4>Pierwsze 1 z ogólnej liczby 2 szukanych ciągów "
                            "znaków</TH>"));
    EXPECT_TRUE(contains(t, "<TR>\n<TD ALIGN=center><FONT SIZE=\"-1\"><B>1</B></FONT></TD>\n"
                            "<TD ALIGN=right><FONT SIZE=\"-1\"><B>3</B></FONT></TD>\n"
                            "<TD ALIGN=right><FONT SIZE=\"-2\">75.00%</FONT></TD>\n"
                            "<TD ALIGN=left NOWRAP><FONT SIZE=\"-1\">parvalyte</FONT></TD></TR>\n"
                            "<TR><TH HEIGHT=4></TH></TR>\n</TABLE>\n"));
    EXPECT_FALSE(exists("search_202403.html"));

    startup_settings().all_search_str = true;
    t = written([&](std::FILE* f) { search_leaders(f, s.array()); });
    EXPECT_TRUE(contains(t, "<A HREF=\"./search_202403.html\">Podgląd wszystkich ciągów "
                            "znaków</A>"));
    EXPECT_TRUE(contains(content_of("search_202403.html"), "1         25.00%  logi\n"));

    entries<snode> none;
    EXPECT_EQ(written([&](std::FILE* f) { search_leaders(f, none.array()); }), "");
}

TEST_F(TopTables, HostileNamesAreEscapedAndNeverLinks)
{
    const char* hostile = "<script>alert(\"x\")</script>&";
    const char* escaped = "&lt;script&gt;alert(&quot;x&quot;)&lt;/script&gt;&amp;";
    auto no_markup = [&](const std::string& t) {
        EXPECT_FALSE(contains(t, "<script>")) << t;
        EXPECT_FALSE(contains(t, "HREF=\"javascript")) << t;
        EXPECT_TRUE(contains(t, escaped)) << t;
    };
    startup_settings().link_referrer = true;

    site(sites_, hostile, 10, 1, 1, 1);
    no_markup(sites_table(false));

    entries<unode> urls;
    urls.add(hostile).hits = 5;
    urls.items[0]->entries = 1;
    urls.add("javascript://x\"><script>").hits = 4;
    std::string t = written([&](std::FILE* f) { url_leaders(f, urls.array(), false); });
    no_markup(t);
    EXPECT_TRUE(contains(t, std::string("<A HREF=\"http://www.example.org") + escaped + "\">" +
                                escaped + "</A>"));
    EXPECT_TRUE(contains(t, "javascript://x&quot;&gt;&lt;script&gt;</FONT>"));
    no_markup(written([&](std::FILE* f) { entry_exit_leaders(f, urls.array(), false); }));

    entries<rnode> refs;
    refs.add((std::string("http://e.com/\"onmouseover=\"") + hostile).c_str()).hits = 3;
    refs.add("JavaScript://%0Aalert(1)").hits = 2;
    t = written([&](std::FILE* f) { referrer_leaders(f, refs.array()); });
    EXPECT_TRUE(contains(t, std::string("<A HREF=\"http://e.com/&quot;onmouseover=&quot;") +
                                escaped + "\" rel=\"nofollow\">"));
    EXPECT_TRUE(contains(t, ">JavaScript://%0Aalert(1)</FONT>"));
    EXPECT_FALSE(contains(t, "HREF=\"JavaScript"));

    entries<anode> agents;
    agents.add(hostile).hits = 1;
    no_markup(written([&](std::FILE* f) { agent_leaders(f, agents.array()); }));
    entries<snode> searches;
    searches.add(hostile).hits = 1;
    no_markup(written([&](std::FILE* f) { search_leaders(f, searches.array()); }));
    entries<inode> users;
    users.add(hostile).hits = 1;
    no_markup(written([&](std::FILE* f) { user_leaders(f, users.array()); }));
}

}  // namespace
