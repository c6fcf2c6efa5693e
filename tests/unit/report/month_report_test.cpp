#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "common/counters.hpp"
#include "common/settings.hpp"
#include "report/month_report.hpp"
#include "tables/tables.hpp"
#include "test_support.hpp"

namespace {

class MonthReport : public scratch_test {
  protected:
    void SetUp() override
    {
        scratch_test::SetUp();
        startup_settings().verbosity = 1;
        startup_settings().dump_sites = true;
        g_clock.year = 2024;
        g_clock.month = 3;
        char host[] = "h.example";
        u64 unique = 0;
        add_host(host, kind_regular, 1, 1, unique, 0, 100, 0, nullptr, site_table);
    }
};

}  // namespace

TEST_F(MonthReport, WritesThePageAndTheDumps)
{
    EXPECT_EQ(month_report(), 0);
    EXPECT_TRUE(exists("usage_202403.html"));
    EXPECT_TRUE(exists("site_202403.tab"));
    EXPECT_NE(content_of("usage_202403.html").find("</HTML>\n"), std::string::npos);
}

TEST_F(MonthReport, APageThatCannotBeOpenedStopsTheMonth)
{
    ASSERT_EQ(mkdir("usage_202403.html", 0755), 0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(month_report(), 1);
    EXPECT_EQ(utf8_of_latin2(testing::internal::GetCapturedStderr()),
              "Błąd: Nie mogę otworzyć pliku usage_202403.html!\n");
    EXPECT_FALSE(exists("site_202403.tab")) << "no dumps without the page";
}

namespace {

// The names of a table's rows, in order: the table starts at its title, and
// each name ends its row (as a link, unless told otherwise).
std::vector<std::string>
row_names(const std::string& page, const std::string& title,
          const std::string& link_end = "</A></FONT></TD></TR>\n")
{
    std::vector<std::string> names;
    std::size_t at = page.find(title);
    const std::size_t end = page.find("</TABLE>", at);
    while (at != std::string::npos && (at = page.find(link_end, at + 1)) < end) {
        const std::size_t start = page.rfind('>', at) + 1;
        names.push_back(page.substr(start, at - start));
    }
    return names;
}

}  // namespace

// The tables that show a few leading rows sort only that far: their rows
// must be those of a full sort, hidden entries skipped, ties by name.
TEST_F(MonthReport, LeadingRowsAreThoseOfAFullSort)
{
    startup_settings().dump_sites = false;
    startup_settings().top_urls = 0;
    startup_settings().host_name = "www.example.pl";
    struct url {
        std::string name;
        int kind;
        u64 entries;
        double bytes;
    };
    std::vector<url> urls;
    for (int i = 0; i < 300; ++i) {
        // Many ties, and hidden entries among the largest.
        const int kind = (i % 7 == 0) ? kind_hidden : kind_regular;
        urls.push_back({"/u" + std::to_string((i * 37) % 300), kind, u64((i * 13) % 17),
                        double(((i * 29) % 23) * 1024)});
    }
    u64 unique = 0;
    for (url& u : urls)
        add_url(u.name.data(), u.kind, 1, unique, u.entries, 0, u.bytes);
    g_month.urls = unique;
    g_month.hits = urls.size();

    auto expected = [&](auto key) {
        std::vector<url> sorted = urls;
        std::sort(sorted.begin(), sorted.end(), [&](const url& a, const url& b) {
            return key(a) != key(b) ? key(a) > key(b) : a.name < b.name;
        });
        std::vector<std::string> names;
        for (const url& u : sorted)
            if (u.kind != kind_hidden && names.size() < 10)
                names.push_back(u.name);
        return names;
    };
    ASSERT_EQ(month_report(), 0);
    const std::string page = content_of("usage_202403.html");
    EXPECT_EQ(row_names(page, "uszeregowane wg KB"),
              expected([](const url& u) { return u.bytes; }));
    EXPECT_EQ(row_names(page, "stron wej"), expected([](const url& u) { return u.entries; }));
}

// Without a dump or a listing of them all, the tables by hits also sort only
// as far as their rows: still the rows of a full sort, hidden entries (many
// among the largest) skipped, ties by name.
TEST_F(MonthReport, RowsByHitsAreThoseOfAFullSort)
{
    startup_settings().dump_sites = false;
    startup_settings().top_urls = 10;
    startup_settings().top_referrers = 6;
    startup_settings().host_name = "www.example.pl";
    struct entry {
        std::string name;
        int kind;
        u64 hits;
    };
    std::vector<entry> urls;
    std::vector<entry> referrers;
    for (int i = 0; i < 300; ++i) {
        const int kind = (i % 5 == 0) ? kind_hidden : kind_regular;
        const u64 hits = 1 + u64((i * 13) % 11);
        urls.push_back({"/u" + std::to_string((i * 37) % 300), kind, hits});
        referrers.push_back(
            {"http://r" + std::to_string((i * 41) % 300) + ".example/", kind, hits});
    }
    u64 unique = 0;
    for (entry& u : urls)
        add_url(u.name.data(), u.kind, u.hits, unique, 0, 0, 0);
    g_month.urls = unique;
    unique = 0;
    for (entry& r : referrers)
        add_referrer(r.name.data(), r.kind, r.hits, unique);
    g_month.referrers = unique;
    g_month.hits = 3000;

    const auto expected = [](std::vector<entry> all, std::size_t rows) {
        std::sort(all.begin(), all.end(), [](const entry& a, const entry& b) {
            return a.hits != b.hits ? a.hits > b.hits : a.name < b.name;
        });
        std::vector<std::string> names;
        for (const entry& e : all)
            if (e.kind != kind_hidden && names.size() < rows)
                names.push_back(e.name);
        return names;
    };
    ASSERT_EQ(month_report(), 0);
    const std::string page = content_of("usage_202403.html");
    EXPECT_EQ(row_names(page, "NAME=\"TOPURLS\""), expected(urls, 10));
    EXPECT_EQ(row_names(page, "NAME=\"TOPREFS\"", "</FONT></TD></TR>\n"), expected(referrers, 6));
}
