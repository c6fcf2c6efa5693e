#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/history_row.hpp"
#include "common/settings.hpp"
#include "persist/history.hpp"
#include "report/index_page.hpp"
#include "test_support.hpp"

namespace {

class IndexPage : public scratch_test {
  protected:
    void SetUp() override
    {
        scratch_test::SetUp();
        startup_settings().verbosity = 1;
        startup_settings().host_name = "www.example.pl";
        set_up_history_window(3, 2024);  // row 119 is March 2024
    }

    // Gives row 119 - back a month of data.
    static void month(int back, u64 hits, int first_day = 1, int last_day = 10)
    {
        history_row& r = g_history.rows[history_months - 1 - back];
        r.hits = hits;
        r.files = hits / 2;
        r.pages = hits / 4;
        r.visits = hits / 5;
        r.sites = 7;
        r.kbytes = static_cast<double>(hits) * 2;
        r.first_day = first_day;
        r.last_day = last_day;
    }

    static std::string page()
    {
        EXPECT_EQ(index_report(), 0);
        return utf8_of_latin2(content_of("index.html"));
    }

    // The positions of the needles in the page, in the order given; -1 for a missing one.
    static std::vector<long> order(const std::string& text, const std::vector<std::string>& needles)
    {
        std::vector<long> at;
        for (const std::string& n : needles) {
            const std::size_t p = text.find(n);
            at.push_back(p == std::string::npos ? -1 : static_cast<long>(p));
        }
        return at;
    }
};

bool
ascending(const std::vector<long>& positions)
{
    for (std::size_t i = 0; i < positions.size(); ++i)
        if (positions[i] < 0 || (i > 0 && positions[i] <= positions[i - 1]))
            return false;
    return true;
}

}  // namespace

TEST_F(IndexPage, ListsMonthsNewestFirstAndStopsAtTheOldestData)
{
    month(0, 300);
    month(2, 100, 5, 5);  // one day: its averages are its totals
    const std::string p = page();
    EXPECT_TRUE(ascending(order(p, {"Mar 2024", "Lut 2024", "Sty 2024", ">Suma<"})));
    EXPECT_EQ(p.find("Gru 2023"), std::string::npos) << "older empty months are not listed";
    // The month between two reported ones is listed without a link, all zero.
    EXPECT_NE(p.find("<TR><TD NOWRAP><FONT SIZE=\"-1\">Lut 2024</FONT></A></TD>\n"
                     "<TD ALIGN=right><FONT SIZE=\"-1\">0</FONT></TD>\n"),
              std::string::npos);
    EXPECT_NE(p.find("<A HREF=\"usage_202401.html\"><FONT SIZE=\"-1\">Sty 2024</FONT></A></TD>\n"
                     "<TD ALIGN=right><FONT SIZE=\"-1\">100</FONT></TD>\n"
                     "<TD ALIGN=right><FONT SIZE=\"-1\">50</FONT></TD>\n"),
              std::string::npos);
    // March: 300 hits over days 1 to 10.
    EXPECT_NE(
        p.find("Mar 2024</FONT></A></TD>\n<TD ALIGN=right><FONT SIZE=\"-1\">30</FONT></TD>\n"),
        std::string::npos);
    EXPECT_NE(
        p.find("<TH BGCOLOR=\"#C0C0C0\" ALIGN=right><FONT SIZE=\"-1\">400</FONT></TH></TR>\n"),
        std::string::npos)
        << "the grand total of hits";
    EXPECT_EQ(p.find("2023</TH>"), std::string::npos) << "no year rows with 12 months";
    EXPECT_NE(p.find("<IMG SRC=\"usage.png\" ALT=\"Raport sumaryczny www.example.pl\" HEIGHT=256 "
                     "WIDTH=512><P>\n"),
              std::string::npos);
    EXPECT_TRUE(exists("usage.png"));
}

TEST_F(IndexPage, YearTotalsAndHeadersFromSeventeenMonths)
{
    startup_settings().index_months = 24;
    month(0, 10);   // March 2024
    month(3, 20);   // December 2023
    month(14, 40);  // January 2023
    const std::string p = page();
    const std::string total_2024 =
        "<TR><TH COLSPAN=6 BGCOLOR=\"#D0D0E0\" ALIGN=left><FONT SIZE=\"-1\"><STRONG>2024</TH>\n";
    const std::string header_2023 =
        "<TR><TH COLSPAN=11 BGCOLOR=\"#C0C0C0\" ALIGN=center>2023</TH></TR>\n";
    const std::string total_2023 =
        "<TR><TH COLSPAN=6 BGCOLOR=\"#D0D0E0\" ALIGN=left><FONT SIZE=\"-1\"><STRONG>2023</TH>\n";
    EXPECT_TRUE(ascending(order(
        p, {"Mar 2024", total_2024, header_2023, "Gru 2023", "Sty 2023", total_2023, ">Suma<"})));
    EXPECT_EQ(p.find("ALIGN=center>2024</TH>"), std::string::npos)
        << "the newest year has no header";
    EXPECT_EQ(p.find("Gru 2022"), std::string::npos);
    // The year total row is left open; the year's hits end it.
    EXPECT_NE(p.find("<FONT SIZE=\"-1\">60</TH><TR>"), std::string::npos);

    startup_settings().year_headers = false;
    startup_settings().year_totals = false;
    const std::string plain = page();
    EXPECT_EQ(plain.find("<STRONG>20"), std::string::npos);
    EXPECT_EQ(plain.find(header_2023), std::string::npos);
}

TEST_F(IndexPage, DamagedDaysAverageOverOneDay)
{
    month(0, 90, 20, 3);  // last day before the first
    const std::string p = page();
    EXPECT_NE(
        p.find("Mar 2024</FONT></A></TD>\n<TD ALIGN=right><FONT SIZE=\"-1\">90</FONT></TD>\n"),
        std::string::npos);
}

TEST_F(IndexPage, HtaccessIsCreatedOnceAndNeverThroughALink)
{
    startup_settings().htaccess = true;
    month(0, 1);
    page();
    EXPECT_EQ(content_of(".htaccess"), "DirectoryIndex index.html\n");

    write_file(".htaccess", "Options -Indexes\n");
    testing::internal::CaptureStderr();
    page();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(content_of(".htaccess"), "Options -Indexes\n");

    ASSERT_EQ(unlink(".htaccess"), 0);
    ASSERT_EQ(symlink("target", ".htaccess"), 0);
    page();
    EXPECT_FALSE(exists("target")) << "nothing is created through a dangling link";
}

TEST_F(IndexPage, APageThatCannotBeOpenedIsTold)
{
    month(0, 1);
    ASSERT_EQ(mkdir("index.html", 0755), 0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(index_report(), 1);
    EXPECT_EQ(utf8_of_latin2(testing::internal::GetCapturedStderr()),
              "Błąd: Nie mogę otworzyć pliku index.html!\n");
    EXPECT_TRUE(exists("usage.png")) << "the chart comes first";
}
