#include <string>

#include <gd.h>
#include <gtest/gtest.h>

#include "common/counters.hpp"
#include "common/files.hpp"
#include "common/settings.hpp"
#include "driver/period.hpp"
#include "graphs/charts.hpp"
#include "report/month_report.hpp"
#include "resolve/geolocation.hpp"
#include "tables/tables.hpp"
#include "test_support.hpp"

namespace {

class CountrySection : public scratch_test {
  protected:
    void SetUp() override
    {
        scratch_test::SetUp();
        settings& s = startup_settings();
        s.verbosity = 1;
        s.top_countries = 3;
        s.flag_dir = "fl\"<x>&";
        s.country_flags = true;
        ASSERT_TRUE(allocate_top_countries(3));
        g_clock.year = 2024;
        g_clock.month = 3;
        host("a.example.pl", 50, 40, 51200);
        host("b.example.de", 30, 30, 10240);
        host("c.example.com", 15, 0, 0);
        host("localhost", 5, 5, 1024);
        g_month.hits = 100;
        g_month.files = 75;
        g_month.bytes = 62464;
    }

    static void host(const char* name, u64 hits, u64 files, double bytes)
    {
        std::string text = name;
        u64 unique = 0;
        ASSERT_EQ(add_host(text.data(), kind_regular, hits, files, unique, 0, bytes, 0, nullptr,
                           site_table),
                  0);
    }

    // The page from the section's anchor to the end of its table.
    static std::string section()
    {
        const std::string page = utf8_of_latin2(content_of("usage_202403.html"));
        const std::size_t from = page.find("<A NAME=\"TOPCTRYS\">");
        const std::size_t to = page.find("</TABLE>\n<P>\n", from);
        return from == std::string::npos || to == std::string::npos
                   ? page
                   : page.substr(from, to + 13 - from);
    }
};

std::string
row(int n, const char* hits, const char* hit_share, const char* files, const char* file_share,
    const char* kb, const char* kb_share, const std::string& name)
{
    return std::string("<TR><TD ALIGN=center><FONT SIZE=\"-1\"><B>") + std::to_string(n) +
           "</B></FONT></TD>\n<TD ALIGN=right><FONT SIZE=\"-1\"><B>" + hits +
           "</B></FONT></TD>\n<TD ALIGN=right><FONT SIZE=\"-2\">" + hit_share +
           "%</FONT></TD>\n<TD ALIGN=right><FONT SIZE=\"-1\"><B>" + files +
           "</B></FONT></TD>\n<TD ALIGN=right><FONT SIZE=\"-2\">" + file_share +
           "%</FONT></TD>\n<TD ALIGN=right><FONT SIZE=\"-1\"><B>" + kb +
           "</B></FONT></TD>\n<TD ALIGN=right><FONT SIZE=\"-2\">" + kb_share +
           "%</FONT></TD>\n<TD ALIGN=left NOWRAP>" + name + "</FONT></TD></TR>\n";
}

const std::string table_head =
    "<TABLE WIDTH=510 BORDER=2 CELLSPACING=1 CELLPADDING=1>\n"
    "<TR><TH HEIGHT=4></TH></TR>\n"
    "<TR><TH BGCOLOR=\"#C0C0C0\" ALIGN=CENTER COLSPAN=8>Pierwsze 3 z ogólnej liczby 4 krajów"
    "</TH></TR>\n"
    "<TR><TH HEIGHT=4></TH></TR>\n"
    "<TR><TH BGCOLOR=\"#C0C0C0\" ALIGN=center><FONT SIZE=\"-1\">#</FONT></TH>\n"
    "<TH BGCOLOR=\"#00805c\" ALIGN=center COLSPAN=2><FONT SIZE=\"-1\">Wywołania</FONT></TH>\n"
    "<TH BGCOLOR=\"#0040ff\" ALIGN=center COLSPAN=2><FONT SIZE=\"-1\">Pliki</FONT></TH>\n"
    "<TH BGCOLOR=\"#ff0000\" ALIGN=center COLSPAN=2><FONT SIZE=\"-1\">KB</FONT></TH>\n"
    "<TH BGCOLOR=\"#00e0ff\" ALIGN=center><FONT SIZE=\"-1\">Kraj</FONT></TH></TR>\n"
    "<TR><TH HEIGHT=4></TH></TR>\n";
const std::string table_end = "<TR><TH HEIGHT=4></TH></TR>\n</TABLE>\n<P>\n";

TEST_F(CountrySection, TheTableWithFlagsAndWithout)
{
    ASSERT_EQ(month_report(), 0);
    const std::string flag = "<IMG SRC=\"fl&quot;&lt;x&gt;&amp;/";
    EXPECT_EQ(
        section(),
        "<A NAME=\"TOPCTRYS\"></A>\n"
        "<IMG SRC=\"ctry_usage_202403.png\" ALT=\"Odwołania wg krajów -  marzec 2024\" "
        "HEIGHT=300 WIDTH=512><P>\n" +
            table_head +
            row(1, "50", "50.00", "40", "53.33", "50", "81.97",
                flag + "pl.png\" ALT=\"Polska\" WIDTH=18 HEIGHT=12> <FONT "
                       "SIZE=\"-1\">Polska") +
            row(2, "30", "30.00", "30", "40.00", "10", "16.39",
                flag + "de.png\" ALT=\"Niemcy\" WIDTH=18 HEIGHT=12> <FONT "
                       "SIZE=\"-1\">Niemcy") +
            row(3, "15", "15.00", "0", "0.00", "0", "0.00", "<FONT SIZE=\"-1\">Komercyjna (com)") +
            table_end);

    // The next month starts with empty counters and slots; without flags and
    // without the chart the table is the same but for its images.
    start_new_month();
    host("a.example.pl", 50, 40, 51200);
    host("b.example.de", 30, 30, 10240);
    host("c.example.com", 15, 0, 0);
    host("localhost", 5, 5, 1024);
    g_month.hits = 100;
    g_month.files = 75;
    g_month.bytes = 62464;
    startup_settings().country_flags = false;
    startup_settings().country_graph = false;
    std::remove("ctry_usage_202403.png");
    ASSERT_EQ(month_report(), 0);
    EXPECT_EQ(
        section(),
        "<A NAME=\"TOPCTRYS\"></A>\n" + table_head +
            row(1, "50", "50.00", "40", "53.33", "50", "81.97", "<FONT SIZE=\"-1\">Polska") +
            row(2, "30", "30.00", "30", "40.00", "10", "16.39", "<FONT SIZE=\"-1\">Niemcy") +
            row(3, "15", "15.00", "0", "0.00", "0", "0.00", "<FONT SIZE=\"-1\">Komercyjna (com)") +
            table_end);
    EXPECT_FALSE(exists("ctry_usage_202403.png"));
}

TEST_F(CountrySection, ThePieHasASliceForEachShownCountryAndTheRest)
{
    ASSERT_EQ(month_report(), 0);
    const owned_file f(std::fopen("ctry_usage_202403.png", "rb"));
    ASSERT_TRUE(f);
    gdImage* im = gdImageCreateFromPng(f.get());
    ASSERT_NE(im, nullptr);
    EXPECT_TRUE(gdImageSX(im) == 512 && gdImageSY(im) == 300);
    // Mid-angles of 0-50 %, 50-80 %, 80-95 % and the 5 % left, two-thirds out.
    EXPECT_EQ(gdImageGetPixel(im, 156, 216), chart_hit);
    EXPECT_EQ(gdImageGetPixel(im, 108, 96), chart_site);
    EXPECT_EQ(gdImageGetPixel(im, 212, 103), chart_file);
    EXPECT_EQ(gdImageGetPixel(im, 235, 139), chart_white);
    // One legend line in each slice's colour, top to bottom.
    const auto has = [&](int y0, int colour) {
        for (int y = y0; y < y0 + 14; ++y)
            for (int x = 300; x < 490; ++x)
                if (gdImageGetPixel(im, x, y) == colour)
                    return true;
        return false;
    };
    EXPECT_TRUE(has(47, chart_hit) && has(67, chart_site) && has(87, chart_file) &&
                has(107, chart_white));
    EXPECT_FALSE(has(127, chart_kbyte));
    gdImageDestroy(im);
}

}  // namespace
