#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "common/counters.hpp"
#include "common/settings.hpp"
#include "report/month_page.hpp"
#include "test_support.hpp"

namespace {

// What a section writer puts into a page, as UTF-8.
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

// The number of times needle occurs in text.
int
occurrences(const std::string& text, const std::string& needle)
{
    int n = 0;
    for (std::size_t at = text.find(needle); at != std::string::npos;
         at = text.find(needle, at + needle.size()))
        ++n;
    return n;
}

class MonthPage : public scratch_test {
  protected:
    // March 2024 (the 1st a Friday), seen from the 2nd to the 5th: four days
    // for the averages, the 3rd without hits.
    static void set_up_march()
    {
        g_clock.year = 2024;
        g_clock.month = 3;
        g_month.hits = 221;
        g_month.files = 25;
        g_month.pages = 12;
        g_month.visits = 6;
        g_month.bytes = 13988;
        g_month.sites = 7;
        g_month.urls = 9;
        g_month.users = 2;
        g_month.max_hour_hits = 7;
        g_month.first_day = 2;
        g_month.last_day = 5;
        g_daily[1] = {10, 8, 4, 2048, 3, 2};
        g_daily[3] = {200, 12, 6, 10240, 5, 3};
        g_daily[4] = {11, 5, 2, 1700, 1, 1};
        g_response[3].count = 200;  // 200
        g_response[21].count = 21;  // 404
    }
    static std::string links() { return written(section_links); }
    static std::string totals() { return written(month_summary_table); }
    static std::string days() { return written(day_table); }
    static std::string hours() { return written(hour_table); }
};

TEST_F(MonthPage, LinkBarFollowsSettingsAndCounts)
{
    EXPECT_EQ(links(), "<SMALL>\n"
                       "<A HREF=\"#DAYSTATS\">[Statystyki dzienne]</A>\n"
                       "<A HREF=\"#HOURSTATS\">[Statystyki godzinne]</A>\n"
                       "<A HREF=\"#TOPURLS\">[URL'e]</A>\n"
                       "<A HREF=\"#TOPENTRY\">[Wejścia]</A>\n"
                       "<A HREF=\"#TOPEXIT\">[Wyjścia]</A>\n"
                       "<A HREF=\"#TOPSITES\">[Lokalizacje]</A>\n"
                       "<A HREF=\"#TOPSEARCH\">[Poszukiwane]</A>\n"
                       "<A HREF=\"#TOPCTRYS\">[Kraje]</A>\n"
                       "</SMALL>\n<P>\n")
        << "defaults, a month without referrers, users or agents";

    g_month.referrers = 1;
    g_month.users = 1;
    g_month.agents = 1;
    const std::string all = links();
    EXPECT_NE(all.find("<A HREF=\"#TOPSEARCH\">[Poszukiwane]</A>\n"
                       "<A HREF=\"#TOPUSERS\">[Użytkownicy]</A>\n"
                       "<A HREF=\"#TOPAGENTS\">[Przeglądarki]</A>\n"
                       "<A HREF=\"#TOPCTRYS\">[Kraje]</A>\n"),
              std::string::npos)
        << all;
    EXPECT_NE(all.find("<A HREF=\"#TOPSITES\">[Lokalizacje]</A>\n"
                       "<A HREF=\"#TOPREFS\">[Odnośniki]</A>\n"
                       "<A HREF=\"#TOPSEARCH\">"),
              std::string::npos)
        << all;

    settings& s = startup_settings();
    s.daily_graph = false;  // the table alone still has its link
    s.hourly_graph = false;
    s.hourly_stats = false;
    s.top_urls = 0;  // by volume alone still links the URLs
    s.top_sites = 0;
    s.top_k_sites = 0;
    s.top_entry = 0;
    s.top_referrers = 0;  // no table, though the month has referrers
    s.top_countries = 0;
    EXPECT_EQ(links(), "<SMALL>\n"
                       "<A HREF=\"#DAYSTATS\">[Statystyki dzienne]</A>\n"
                       "<A HREF=\"#TOPURLS\">[URL'e]</A>\n"
                       "<A HREF=\"#TOPEXIT\">[Wyjścia]</A>\n"
                       "<A HREF=\"#TOPSEARCH\">[Poszukiwane]</A>\n"
                       "<A HREF=\"#TOPUSERS\">[Użytkownicy]</A>\n"
                       "<A HREF=\"#TOPAGENTS\">[Przeglądarki]</A>\n"
                       "</SMALL>\n<P>\n");

    s.daily_stats = false;
    s.top_k_urls = 0;
    s.top_exit = 0;
    s.top_search = 0;
    s.top_users = 0;
    s.top_agents = 0;
    EXPECT_EQ(links(), "<SMALL>\n</SMALL>\n<P>\n");
}

TEST_F(MonthPage, TotalsTableWholeMonth)
{
    set_up_march();
    // Averages over 4 days: 221 / 96 = 2 per hour, 221 / 4 = 55, 25 / 4 = 6,
    // 12 / 4 = 3, 7 / 4 = 1, 6 / 4 = 1; kilobytes 13988 / 1024 = 13.66, per
    // day 3.41; the largest day 10240 bytes.
    EXPECT_EQ(totals(),
              "<TABLE WIDTH=510 BORDER=2 CELLSPACING=1 CELLPADDING=1>\n"
              "<TR><TH HEIGHT=4></TH></TR>\n"
              "<TR><TH COLSPAN=3 ALIGN=center BGCOLOR=\"#C0C0C0\">Statystyka w miesiącu: marzec "
              "2024</TH></TR>\n"
              "<TR><TH HEIGHT=4></TH></TR>\n"
              "<TR><TD WIDTH=380><FONT SIZE=\"-1\">Całkowita liczba wywołań</FONT></TD>\n"
              "<TD ALIGN=right COLSPAN=2><FONT SIZE=\"-1\"><B>221</B></FONT></TD></TR>\n"
              "<TR><TD WIDTH=380><FONT SIZE=\"-1\">Całkowita liczba plików</FONT></TD>\n"
              "<TD ALIGN=right COLSPAN=2><FONT SIZE=\"-1\"><B>25</B></FONT></TD></TR>\n"
              "<TR><TD WIDTH=380><FONT SIZE=\"-1\">Wszystkie Strony</FONT></TD>\n"
              "<TD ALIGN=right COLSPAN=2><FONT SIZE=\"-1\"><B>12</B></FONT></TD></TR>\n"
              "<TR><TD WIDTH=380><FONT SIZE=\"-1\">Wszystkie Wizyty</FONT></TD>\n"
              "<TD ALIGN=right COLSPAN=2><FONT SIZE=\"-1\"><B>6</B></FONT></TD></TR>\n"
              "<TR><TD WIDTH=380><FONT SIZE=\"-1\">Całkowita liczba KB</FONT></TD>\n"
              "<TD ALIGN=right COLSPAN=2><FONT SIZE=\"-1\"><B>14</B></FONT></TD></TR>\n"
              "<TR><TH HEIGHT=4></TH></TR>\n"
              "<TR><TD WIDTH=380><FONT SIZE=\"-1\">Całkowita liczba unikalnych "
              "lokalizacji</FONT></TD>\n"
              "<TD ALIGN=right COLSPAN=2><FONT SIZE=\"-1\"><B>7</B></FONT></TD></TR>\n"
              "<TR><TD WIDTH=380><FONT SIZE=\"-1\">Całkowita liczba unikalnych URLi</FONT></TD>\n"
              "<TD ALIGN=right COLSPAN=2><FONT SIZE=\"-1\"><B>9</B></FONT></TD></TR>\n"
              "<TR><TD WIDTH=380><FONT SIZE=\"-1\">Całkowita liczba unikalnych "
              "użytkowników</FONT></TD>\n"
              "<TD ALIGN=right COLSPAN=2><FONT SIZE=\"-1\"><B>2</B></FONT></TD></TR>\n"
              "<TR><TH HEIGHT=4></TH></TR>\n"
              "<TR><TH WIDTH=380 BGCOLOR=\"#C0C0C0\"><FONT SIZE=-1 "
              "COLOR=\"#C0C0C0\">.</FONT></TH>\n"
              "<TH WIDTH=65 BGCOLOR=\"#C0C0C0\" ALIGN=right><FONT SIZE=-1>Średnio </FONT></TH>\n"
              "<TH WIDTH=65 BGCOLOR=\"#C0C0C0\" ALIGN=right><FONT SIZE=-1>Maks. </FONT></TH></TR>\n"
              "<TR><TH HEIGHT=4></TH></TR>\n"
              "<TR><TD><FONT SIZE=\"-1\">Wywołań na godzinę</FONT></TD>\n"
              "<TD ALIGN=right WIDTH=65><FONT SIZE=\"-1\"><B>2</B></FONT></TD>\n"
              "<TD WIDTH=65 ALIGN=right><FONT SIZE=-1><B>7</B></FONT></TD></TR>\n"
              "<TR><TD><FONT SIZE=\"-1\">Wywołań dziennie</FONT></TD>\n"
              "<TD ALIGN=right WIDTH=65><FONT SIZE=\"-1\"><B>55</B></FONT></TD>\n"
              "<TD WIDTH=65 ALIGN=right><FONT SIZE=-1><B>200</B></FONT></TD></TR>\n"
              "<TR><TD><FONT SIZE=\"-1\">Plików dziennie</FONT></TD>\n"
              "<TD ALIGN=right WIDTH=65><FONT SIZE=\"-1\"><B>6</B></FONT></TD>\n"
              "<TD WIDTH=65 ALIGN=right><FONT SIZE=-1><B>12</B></FONT></TD></TR>\n"
              "<TR><TD><FONT SIZE=\"-1\">Stron dziennie</FONT></TD>\n"
              "<TD ALIGN=right WIDTH=65><FONT SIZE=\"-1\"><B>3</B></FONT></TD>\n"
              "<TD WIDTH=65 ALIGN=right><FONT SIZE=-1><B>6</B></FONT></TD></TR>\n"
              "<TR><TD><FONT SIZE=\"-1\">Lokalizacji dziennie</FONT></TD>\n"
              "<TD ALIGN=right WIDTH=65><FONT SIZE=\"-1\"><B>1</B></FONT></TD>\n"
              "<TD WIDTH=65 ALIGN=right><FONT SIZE=-1><B>5</B></FONT></TD></TR>\n"
              "<TR><TD><FONT SIZE=\"-1\">Wizyt dziennie</FONT></TD>\n"
              "<TD ALIGN=right WIDTH=65><FONT SIZE=\"-1\"><B>1</B></FONT></TD>\n"
              "<TD WIDTH=65 ALIGN=right><FONT SIZE=-1><B>3</B></FONT></TD></TR>\n"
              "<TR><TD><FONT SIZE=\"-1\">Kilobajtów dziennie</FONT></TD>\n"
              "<TD ALIGN=right WIDTH=65><FONT SIZE=\"-1\"><B>3</B></FONT></TD>\n"
              "<TD WIDTH=65 ALIGN=right><FONT SIZE=-1><B>10</B></FONT></TD></TR>\n"
              "<TR><TH HEIGHT=4></TH></TR>\n"
              "<TR><TH COLSPAN=3 ALIGN=center BGCOLOR=\"#C0C0C0\">\n"
              "<FONT SIZE=\"-1\">Wywołania według kodu odpowiedzi</FONT></TH></TR>\n"
              "<TR><TH HEIGHT=4></TH></TR>\n"
              "<TR><TD><FONT SIZE=\"-1\">Code 200 - OK</FONT></TD>\n"
              "<TD ALIGN=right><FONT SIZE=\"-2\">90.50%</FONT></TD>\n"
              "<TD ALIGN=right><FONT SIZE=\"-1\"><B>200</B></FONT></TD></TR>\n"
              "<TR><TD><FONT SIZE=\"-1\">Code 404 - Nie znaleziono</FONT></TD>\n"
              "<TD ALIGN=right><FONT SIZE=\"-2\">9.50%</FONT></TD>\n"
              "<TD ALIGN=right><FONT SIZE=\"-1\"><B>21</B></FONT></TD></TR>\n"
              "<TR><TH HEIGHT=4></TH></TR>\n"
              "</TABLE>\n"
              "<P>\n");
}

TEST_F(MonthPage, TotalsRowsThatNeedCounts)
{
    // An empty month still shows sites and URLs, with 0.
    const std::string empty = totals();
    EXPECT_NE(empty.find("unikalnych lokalizacji</FONT></TD>\n<TD ALIGN=right COLSPAN=2><FONT "
                         "SIZE=\"-1\"><B>0</B>"),
              std::string::npos);
    EXPECT_NE(empty.find("unikalnych URLi</FONT></TD>\n<TD ALIGN=right COLSPAN=2><FONT "
                         "SIZE=\"-1\"><B>0</B>"),
              std::string::npos);
    EXPECT_EQ(empty.find("odnośników"), std::string::npos);
    EXPECT_EQ(empty.find("użytkowników"), std::string::npos);
    EXPECT_EQ(empty.find("przeglądarek"), std::string::npos);
    EXPECT_EQ(empty.find("Code "), std::string::npos) << "no response row without hits";
    EXPECT_NE(empty.find("<FONT SIZE=\"-1\">Wywołania według kodu odpowiedzi</FONT></TH></TR>\n"
                         "<TR><TH HEIGHT=4></TH></TR>\n<TR><TH HEIGHT=4></TH></TR>\n</TABLE>\n"),
              std::string::npos);

    g_month.hits = 4;
    g_month.referrers = 3;
    g_month.users = 1;
    g_month.agents = 2;
    g_response[0].count = 1;   // a code outside the table
    g_response[40].count = 3;  // the last row
    const std::string full = totals();
    EXPECT_NE(full.find("Całkowita liczba unikalnych odnośników</FONT></TD>\n<TD ALIGN=right "
                        "COLSPAN=2><FONT SIZE=\"-1\"><B>3</B>"),
              std::string::npos);
    EXPECT_NE(full.find("Całkowita liczba unikalnych użytkowników</FONT></TD>\n<TD ALIGN=right "
                        "COLSPAN=2><FONT SIZE=\"-1\"><B>1</B>"),
              std::string::npos);
    EXPECT_NE(full.find("Całkowita liczba unikalnych przeglądarek</FONT></TD>\n<TD ALIGN=right "
                        "COLSPAN=2><FONT SIZE=\"-1\"><B>2</B>"),
              std::string::npos);
    EXPECT_NE(full.find("<TR><TD><FONT SIZE=\"-1\">Niezdefiniowany kod odpowiedzi</FONT></TD>\n"
                        "<TD ALIGN=right><FONT SIZE=\"-2\">25.00%</FONT></TD>\n"
                        "<TD ALIGN=right><FONT SIZE=\"-1\"><B>1</B></FONT></TD></TR>\n"
                        "<TR><TD><FONT SIZE=\"-1\">Code 505 - Nieobsługiwana wersja HTTP</FONT>"
                        "</TD>\n<TD ALIGN=right><FONT SIZE=\"-2\">75.00%</FONT></TD>\n"),
              std::string::npos)
        << full;
    EXPECT_EQ(occurrences(full, "Code "), 1);
}

TEST_F(MonthPage, TotalsMaximaFromEveryDaySlot)
{
    // A slot outside the days seen (as a restored state can leave one) still
    // counts for the maxima, not for the averages.
    set_up_march();
    g_daily[29] = {300, 1, 1, 20480, 1, 1};
    const std::string t = totals();
    EXPECT_NE(t.find("Wywołań dziennie</FONT></TD>\n<TD ALIGN=right WIDTH=65><FONT "
                     "SIZE=\"-1\"><B>55</B></FONT></TD>\n<TD WIDTH=65 ALIGN=right><FONT "
                     "SIZE=-1><B>300</B>"),
              std::string::npos);
    EXPECT_NE(t.find("Kilobajtów dziennie</FONT></TD>\n<TD ALIGN=right WIDTH=65><FONT "
                     "SIZE=\"-1\"><B>3</B></FONT></TD>\n<TD WIDTH=65 ALIGN=right><FONT "
                     "SIZE=-1><B>20</B>"),
              std::string::npos);
}

TEST_F(MonthPage, DailyTableFromFirstDayWithHits)
{
    set_up_march();
    g_month.first_day = 1;  // day 1 seen, but without hits: the rows begin at day 2
    const std::string t = days();
    EXPECT_EQ(
        t.find("<TABLE WIDTH=510 BORDER=2 CELLSPACING=1 CELLPADDING=1>\n"
               "<TR><TH HEIGHT=4></TH></TR>\n"
               "<TR><TH BGCOLOR=\"#C0C0C0\" COLSPAN=13 ALIGN=center>Dzienne statystyki -  "
               "marzec 2024</TH></TR>\n"
               "<TR><TH HEIGHT=4></TH></TR>\n"
               "<TR><TH ALIGN=center BGCOLOR=\"#C0C0C0\"><FONT SIZE=\"-1\">Dzień</FONT></TH>\n"
               "<TH ALIGN=center BGCOLOR=\"#00805c\" COLSPAN=2><FONT "
               "SIZE=\"-1\">Wywołania</FONT></TH>\n"
               "<TH ALIGN=center BGCOLOR=\"#0040ff\" COLSPAN=2><FONT "
               "SIZE=\"-1\">Pliki</FONT></TH>\n"
               "<TH ALIGN=center BGCOLOR=\"#00e0ff\" COLSPAN=2><FONT "
               "SIZE=\"-1\">Strony</FONT></TH>\n"
               "<TH ALIGN=center BGCOLOR=\"#ffff00\" COLSPAN=2><FONT "
               "SIZE=\"-1\">Wizyty</FONT></TH>\n"
               "<TH ALIGN=center BGCOLOR=\"#ff8000\" COLSPAN=2><FONT "
               "SIZE=\"-1\">Lokalizacje</FONT></TH>\n"
               "<TH ALIGN=center BGCOLOR=\"#ff0000\" COLSPAN=2><FONT "
               "SIZE=\"-1\">KB</FONT></TH></TR>\n"
               "<TR><TH HEIGHT=4></TH></TR>\n"
               // 2 March 2024, a Saturday.
               "<TR BGCOLOR=\"#D0D0E0\"><TD ALIGN=center><FONT "
               "SIZE=\"-1\"><B>2</B></FONT></TD>\n"
               "<TD ALIGN=right><FONT SIZE=\"-1\"><B>10</B></FONT></TD>\n"
               "<TD ALIGN=right><FONT SIZE=\"-2\">4.52%</FONT></TD>\n"
               "<TD ALIGN=right><FONT SIZE=\"-1\"><B>8</B></FONT></TD>\n"
               "<TD ALIGN=right><FONT SIZE=\"-2\">32.00%</FONT></TD>\n"
               "<TD ALIGN=right><FONT SIZE=\"-1\"><B>4</B></FONT></TD>\n"
               "<TD ALIGN=right><FONT SIZE=\"-2\">33.33%</FONT></TD>\n"
               "<TD ALIGN=right><FONT SIZE=\"-1\"><B>2</B></FONT></TD>\n"
               "<TD ALIGN=right><FONT SIZE=\"-2\">33.33%</FONT></TD>\n"
               "<TD ALIGN=right><FONT SIZE=\"-1\"><B>3</B></FONT></TD>\n"
               "<TD ALIGN=right><FONT SIZE=\"-2\">42.86%</FONT></TD>\n"
               "<TD ALIGN=right><FONT SIZE=\"-1\"><B>2</B></FONT></TD>\n"
               "<TD ALIGN=right><FONT SIZE=\"-2\">14.64%</FONT></TD></TR>\n"
               // The 3rd, a Sunday without hits.
               "<TR BGCOLOR=\"#D0D0E0\"><TD ALIGN=center><FONT "
               "SIZE=\"-1\"><B>3</B></FONT></TD>\n"
               "<TD ALIGN=right><FONT SIZE=\"-1\"><B>0</B></FONT></TD>\n"
               "<TD ALIGN=right><FONT SIZE=\"-2\">0.00%</FONT></TD>\n"
               "<TD ALIGN=right><FONT SIZE=\"-1\"><B>0</B></FONT></TD>\n"
               "<TD ALIGN=right><FONT SIZE=\"-2\">0.00%</FONT></TD>\n"
               "<TD ALIGN=right><FONT SIZE=\"-1\"><B>0</B></FONT></TD>\n"
               "<TD ALIGN=right><FONT SIZE=\"-2\">0.00%</FONT></TD>\n"
               "<TD ALIGN=right><FONT SIZE=\"-1\"><B>0</B></FONT></TD>\n"
               "<TD ALIGN=right><FONT SIZE=\"-2\">0.00%</FONT></TD>\n"
               "<TD ALIGN=right><FONT SIZE=\"-1\"><B>0</B></FONT></TD>\n"
               "<TD ALIGN=right><FONT SIZE=\"-2\">0.00%</FONT></TD>\n"
               "<TD ALIGN=right><FONT SIZE=\"-1\"><B>0</B></FONT></TD>\n"
               "<TD ALIGN=right><FONT SIZE=\"-2\">0.00%</FONT></TD></TR>\n"
               // Monday the 4th, a working day.
               "<TR><TD ALIGN=center><FONT SIZE=\"-1\"><B>4</B></FONT></TD>\n"
               "<TD ALIGN=right><FONT SIZE=\"-1\"><B>200</B></FONT></TD>\n"
               "<TD ALIGN=right><FONT SIZE=\"-2\">90.50%</FONT></TD>\n"),
        0u)
        << t;
    // The last row is day 5, 1700 bytes: 1.66 KB, 12.15 % of the month.
    const std::string last_row = "<TR><TD ALIGN=center><FONT SIZE=\"-1\"><B>5</B></FONT></TD>\n";
    const std::size_t at = t.find(last_row);
    ASSERT_NE(at, std::string::npos) << t;
    EXPECT_EQ(t.substr(at + last_row.size()),
              "<TD ALIGN=right><FONT SIZE=\"-1\"><B>11</B></FONT></TD>\n"
              "<TD ALIGN=right><FONT SIZE=\"-2\">4.98%</FONT></TD>\n"
              "<TD ALIGN=right><FONT SIZE=\"-1\"><B>5</B></FONT></TD>\n"
              "<TD ALIGN=right><FONT SIZE=\"-2\">20.00%</FONT></TD>\n"
              "<TD ALIGN=right><FONT SIZE=\"-1\"><B>2</B></FONT></TD>\n"
              "<TD ALIGN=right><FONT SIZE=\"-2\">16.67%</FONT></TD>\n"
              "<TD ALIGN=right><FONT SIZE=\"-1\"><B>1</B></FONT></TD>\n"
              "<TD ALIGN=right><FONT SIZE=\"-2\">16.67%</FONT></TD>\n"
              "<TD ALIGN=right><FONT SIZE=\"-1\"><B>1</B></FONT></TD>\n"
              "<TD ALIGN=right><FONT SIZE=\"-2\">14.29%</FONT></TD>\n"
              "<TD ALIGN=right><FONT SIZE=\"-1\"><B>2</B></FONT></TD>\n"
              "<TD ALIGN=right><FONT SIZE=\"-2\">12.15%</FONT></TD></TR>\n"
              "<TR><TH HEIGHT=4></TH></TR>\n"
              "</TABLE>\n"
              "<P>\n");
    EXPECT_EQ(occurrences(t, "<TD ALIGN=center>"), 4) << "days 2 to 5";
}

TEST_F(MonthPage, DailyWeekendsByCalendarDate)
{
    // 1 January 2000 was a Saturday; 29 February 2000 a Tuesday, 4 March a Saturday.
    g_clock.year = 2000;
    g_clock.month = 1;
    g_month.last_day = 3;
    for (int d = 0; d < 3; ++d)
        g_daily[d].hits = 1;
    std::string t = days();
    EXPECT_NE(t.find("<TR BGCOLOR=\"#D0D0E0\"><TD ALIGN=center><FONT SIZE=\"-1\"><B>1</B>"),
              std::string::npos);
    EXPECT_NE(t.find("<TR BGCOLOR=\"#D0D0E0\"><TD ALIGN=center><FONT SIZE=\"-1\"><B>2</B>"),
              std::string::npos);
    EXPECT_NE(t.find("<TR><TD ALIGN=center><FONT SIZE=\"-1\"><B>3</B>"), std::string::npos);

    g_clock.month = 2;
    g_month.first_day = 29;
    g_month.last_day = 29;
    g_daily[28].hits = 1;
    t = days();
    EXPECT_NE(t.find("<TR><TD ALIGN=center><FONT SIZE=\"-1\"><B>1</B>"), std::string::npos)
        << "day 1 has hits, so the rows begin there";
    EXPECT_NE(t.find("<TR><TD ALIGN=center><FONT SIZE=\"-1\"><B>29</B>"), std::string::npos);
    EXPECT_NE(t.find("<TR BGCOLOR=\"#D0D0E0\"><TD ALIGN=center><FONT SIZE=\"-1\"><B>26</B>"),
              std::string::npos);

    g_clock.month = 3;
    g_month.first_day = 4;
    g_month.last_day = 4;
    for (auto& d : g_daily)
        d = {};
    g_daily[3].hits = 1;
    t = days();
    EXPECT_EQ(occurrences(t, "<TD ALIGN=center>"), 1);
    EXPECT_NE(t.find("<TR BGCOLOR=\"#D0D0E0\"><TD ALIGN=center><FONT SIZE=\"-1\"><B>4</B>"),
              std::string::npos);
}

TEST_F(MonthPage, DailyTableWithoutHitsOrBeyondTheMonth)
{
    g_clock.year = 2024;
    g_clock.month = 3;
    g_month.first_day = 1;
    g_month.last_day = 2;
    std::string t = days();
    EXPECT_EQ(occurrences(t, "<TD ALIGN=center>"), 2) << "no hits at all: from day 1";
    EXPECT_NE(t.find("<FONT SIZE=\"-1\"><B>1</B></FONT></TD>\n"), std::string::npos);

    // A damaged state file: the rows stop at the 31 day slots.
    g_month.last_day = 1000;
    g_daily[30].hits = 1;
    t = days();
    EXPECT_EQ(occurrences(t, "<TD ALIGN=center>"), 1);
    EXPECT_NE(t.find("<B>31</B>"), std::string::npos);

    g_month.last_day = -5;
    t = days();
    EXPECT_EQ(occurrences(t, "<TD ALIGN=center>"), 0);
    EXPECT_NE(t.find("</TABLE>\n<P>\n"), std::string::npos);
}

TEST_F(MonthPage, HourlyTableAllHours)
{
    set_up_march();
    g_hourly[0] = {9, 3, 1, 4096};
    g_hourly[13] = {212, 22, 11, 9892};
    const std::string t = hours();
    const std::string head =
        "<TABLE WIDTH=510 BORDER=2 CELLSPACING=1 CELLPADDING=1>\n"
        "<TR><TH HEIGHT=4></TH></TR>\n"
        "<TR><TH BGCOLOR=\"#C0C0C0\" COLSPAN=13 ALIGN=center>Godzinowe statystyki -  marzec "
        "2024</TH></TR>\n"
        "<TR><TH HEIGHT=4></TH></TR>\n"
        "<TR><TH ALIGN=center ROWSPAN=2 BGCOLOR=\"#C0C0C0\"><FONT "
        "SIZE=\"-1\">Godzina</FONT></TH>\n"
        "<TH ALIGN=center BGCOLOR=\"#00805c\" COLSPAN=3><FONT SIZE=\"-1\">Wywołania</FONT></TH>\n"
        "<TH ALIGN=center BGCOLOR=\"#0040ff\" COLSPAN=3><FONT SIZE=\"-1\">Pliki</FONT></TH>\n"
        "<TH ALIGN=center BGCOLOR=\"#00e0ff\" COLSPAN=3><FONT SIZE=\"-1\">Strony</FONT></TH>\n"
        "<TH ALIGN=center BGCOLOR=\"#ff0000\" COLSPAN=3><FONT SIZE=\"-1\">KB</FONT></TH></TR>\n"
        "<TR><TH ALIGN=center BGCOLOR=\"#00805c\"><FONT SIZE=\"-2\">Średnio</FONT></TH>\n"
        "<TH ALIGN=center BGCOLOR=\"#00805c\" COLSPAN=2><FONT SIZE=\"-2\">Wszystkie</FONT></TH>\n"
        "<TH ALIGN=center BGCOLOR=\"#0040ff\"><FONT SIZE=\"-2\">Średnio</FONT></TH>\n"
        "<TH ALIGN=center BGCOLOR=\"#0040ff\" COLSPAN=2><FONT SIZE=\"-2\">Wszystkie</FONT></TH>\n"
        "<TH ALIGN=center BGCOLOR=\"#00e0ff\"><FONT SIZE=\"-2\">Średnio</FONT></TH>\n"
        "<TH ALIGN=center BGCOLOR=\"#00e0ff\" COLSPAN=2><FONT SIZE=\"-2\">Wszystkie</FONT></TH>\n"
        "<TH ALIGN=center BGCOLOR=\"#ff0000\"><FONT SIZE=\"-2\">Średnio</FONT></TH>\n"
        "<TH ALIGN=center BGCOLOR=\"#ff0000\" COLSPAN=2><FONT "
        "SIZE=\"-2\">Wszystkie</FONT></TH></TR>\n"
        "<TR><TH HEIGHT=4></TH></TR>\n"
        // Hour 0 over 4 days: 9 / 4 = 2, 3 / 4 = 0, 1 / 4 = 0; 4096 bytes are 4 KB, 1 a day.
        "<TR><TD ALIGN=center><FONT SIZE=\"-1\"><B>0</B></FONT></TD>\n"
        "<TD ALIGN=right><FONT SIZE=\"-1\"><B>2</B></FONT></TD>\n"
        "<TD ALIGN=right><FONT SIZE=\"-1\"><B>9</B></FONT></TD>\n"
        "<TD ALIGN=right><FONT SIZE=\"-2\">4.07%</FONT></TD>\n"
        "<TD ALIGN=right><FONT SIZE=\"-1\"><B>0</B></FONT></TD>\n"
        "<TD ALIGN=right><FONT SIZE=\"-1\"><B>3</B></FONT></TD>\n"
        "<TD ALIGN=right><FONT SIZE=\"-2\">12.00%</FONT></TD>\n"
        "<TD ALIGN=right><FONT SIZE=\"-1\"><B>0</B></FONT></TD>\n"
        "<TD ALIGN=right><FONT SIZE=\"-1\"><B>1</B></FONT></TD>\n"
        "<TD ALIGN=right><FONT SIZE=\"-2\">8.33%</FONT></TD>\n"
        "<TD ALIGN=right><FONT SIZE=\"-1\"><B>1</B></FONT></TD>\n"
        "<TD ALIGN=right><FONT SIZE=\"-1\"><B>4</B></FONT></TD>\n"
        "<TD ALIGN=right><FONT SIZE=\"-2\">29.28%</FONT></TD></TR>\n"
        // Hour 1, without hits, is written all the same.
        "<TR><TD ALIGN=center><FONT SIZE=\"-1\"><B>1</B></FONT></TD>\n"
        "<TD ALIGN=right><FONT SIZE=\"-1\"><B>0</B></FONT></TD>\n"
        "<TD ALIGN=right><FONT SIZE=\"-1\"><B>0</B></FONT></TD>\n"
        "<TD ALIGN=right><FONT SIZE=\"-2\">0.00%</FONT></TD>\n";
    EXPECT_EQ(t.find(head), 0u) << t;
    // Hour 13: 212 / 4 = 53, 22 / 4 = 5, 11 / 4 = 2; 9892 bytes are 9.66 KB,
    // 2.42 a day, 70.72 % of the month.
    EXPECT_NE(t.find("<TR><TD ALIGN=center><FONT SIZE=\"-1\"><B>13</B></FONT></TD>\n"
                     "<TD ALIGN=right><FONT SIZE=\"-1\"><B>53</B></FONT></TD>\n"
                     "<TD ALIGN=right><FONT SIZE=\"-1\"><B>212</B></FONT></TD>\n"
                     "<TD ALIGN=right><FONT SIZE=\"-2\">95.93%</FONT></TD>\n"
                     "<TD ALIGN=right><FONT SIZE=\"-1\"><B>5</B></FONT></TD>\n"
                     "<TD ALIGN=right><FONT SIZE=\"-1\"><B>22</B></FONT></TD>\n"
                     "<TD ALIGN=right><FONT SIZE=\"-2\">88.00%</FONT></TD>\n"
                     "<TD ALIGN=right><FONT SIZE=\"-1\"><B>2</B></FONT></TD>\n"
                     "<TD ALIGN=right><FONT SIZE=\"-1\"><B>11</B></FONT></TD>\n"
                     "<TD ALIGN=right><FONT SIZE=\"-2\">91.67%</FONT></TD>\n"
                     "<TD ALIGN=right><FONT SIZE=\"-1\"><B>2</B></FONT></TD>\n"
                     "<TD ALIGN=right><FONT SIZE=\"-1\"><B>10</B></FONT></TD>\n"
                     "<TD ALIGN=right><FONT SIZE=\"-2\">70.72%</FONT></TD></TR>\n"),
              std::string::npos)
        << t;
    for (int hour = 0; hour < 24; ++hour)
        EXPECT_EQ(occurrences(t, "<TR><TD ALIGN=center><FONT SIZE=\"-1\"><B>" +
                                     std::to_string(hour) + "</B></FONT></TD>\n"),
                  1)
            << "hour " << hour;
    EXPECT_EQ(occurrences(t, "<TR><TD ALIGN=center>"), 24);
    const std::string end = "<TD ALIGN=right><FONT SIZE=\"-2\">0.00%</FONT></TD></TR>\n"
                            "<TR><TH HEIGHT=4></TH></TR>\n</TABLE>\n<P>\n";
    ASSERT_GE(t.size(), end.size());
    EXPECT_EQ(t.substr(t.size() - end.size()), end) << "hour 23 last, then the closing rows";
}

TEST_F(MonthPage, OneDayMonthAveragesEqualTotals)
{
    g_clock.year = 2024;
    g_clock.month = 3;
    g_month.first_day = 15;
    g_month.last_day = 15;
    g_month.hits = 100;
    g_month.files = 40;
    g_month.pages = 10;
    g_month.sites = 5;
    g_month.visits = 3;
    g_month.bytes = 51200;
    g_month.max_hour_hits = 60;
    g_daily[14] = {100, 40, 10, 51200, 5, 3};
    g_hourly[9] = {100, 40, 10, 51200};

    const std::string t = totals();
    const auto row = [](const char* label, const char* average, const char* maximum) {
        return std::string("<TR><TD><FONT SIZE=\"-1\">") + label +
               "</FONT></TD>\n<TD ALIGN=right WIDTH=65><FONT SIZE=\"-1\"><B>" + average +
               "</B></FONT></TD>\n<TD WIDTH=65 ALIGN=right><FONT SIZE=-1><B>" + maximum +
               "</B></FONT></TD></TR>\n";
    };
    EXPECT_NE(t.find(row("Wywołań na godzinę", "4", "60")), std::string::npos) << "100 / 24";
    EXPECT_NE(t.find(row("Wywołań dziennie", "100", "100")), std::string::npos);
    EXPECT_NE(t.find(row("Plików dziennie", "40", "40")), std::string::npos);
    EXPECT_NE(t.find(row("Stron dziennie", "10", "10")), std::string::npos);
    EXPECT_NE(t.find(row("Lokalizacji dziennie", "5", "5")), std::string::npos);
    EXPECT_NE(t.find(row("Wizyt dziennie", "3", "3")), std::string::npos);
    EXPECT_NE(t.find(row("Kilobajtów dziennie", "50", "50")), std::string::npos);

    const std::string h = hours();
    EXPECT_NE(h.find("<TR><TD ALIGN=center><FONT SIZE=\"-1\"><B>9</B></FONT></TD>\n"
                     "<TD ALIGN=right><FONT SIZE=\"-1\"><B>100</B></FONT></TD>\n"
                     "<TD ALIGN=right><FONT SIZE=\"-1\"><B>100</B></FONT></TD>\n"
                     "<TD ALIGN=right><FONT SIZE=\"-2\">100.00%</FONT></TD>\n"
                     "<TD ALIGN=right><FONT SIZE=\"-1\"><B>40</B></FONT></TD>\n"
                     "<TD ALIGN=right><FONT SIZE=\"-1\"><B>40</B></FONT></TD>\n"
                     "<TD ALIGN=right><FONT SIZE=\"-2\">100.00%</FONT></TD>\n"
                     "<TD ALIGN=right><FONT SIZE=\"-1\"><B>10</B></FONT></TD>\n"
                     "<TD ALIGN=right><FONT SIZE=\"-1\"><B>10</B></FONT></TD>\n"
                     "<TD ALIGN=right><FONT SIZE=\"-2\">100.00%</FONT></TD>\n"
                     "<TD ALIGN=right><FONT SIZE=\"-1\"><B>50</B></FONT></TD>\n"
                     "<TD ALIGN=right><FONT SIZE=\"-1\"><B>50</B></FONT></TD>\n"
                     "<TD ALIGN=right><FONT SIZE=\"-2\">100.00%</FONT></TD></TR>\n"),
              std::string::npos)
        << h;
}

TEST_F(MonthPage, DaysBelowOneCountAsOne)
{
    // A last day before the first, as only a damaged state file can give:
    // the averages divide by one day instead of zero or a negative count.
    for (const auto& [first, last] :
         {std::pair{20, 3}, std::pair{2, 1}, std::pair{INT_MAX, INT_MIN},
          std::pair{INT_MIN + 1, INT_MIN}}) {
        SCOPED_TRACE(std::to_string(first) + " to " + std::to_string(last));
        reset_run_state();
        g_clock.year = 2024;
        g_clock.month = 3;
        g_month.first_day = first;
        g_month.last_day = last;
        g_month.hits = 48;
        g_month.files = 7;
        g_month.bytes = 3072;
        g_hourly[5] = {48, 7, 0, 3072};

        const std::string t = totals();
        EXPECT_NE(t.find("Wywołań na godzinę</FONT></TD>\n<TD ALIGN=right WIDTH=65><FONT "
                         "SIZE=\"-1\"><B>2</B>"),
                  std::string::npos)
            << t;
        EXPECT_NE(t.find("Wywołań dziennie</FONT></TD>\n<TD ALIGN=right WIDTH=65><FONT "
                         "SIZE=\"-1\"><B>48</B>"),
                  std::string::npos);
        EXPECT_NE(t.find("Plików dziennie</FONT></TD>\n<TD ALIGN=right WIDTH=65><FONT "
                         "SIZE=\"-1\"><B>7</B>"),
                  std::string::npos);
        EXPECT_NE(t.find("Kilobajtów dziennie</FONT></TD>\n<TD ALIGN=right WIDTH=65><FONT "
                         "SIZE=\"-1\"><B>3</B>"),
                  std::string::npos);

        const std::string h = hours();
        EXPECT_NE(h.find("<TR><TD ALIGN=center><FONT SIZE=\"-1\"><B>5</B></FONT></TD>\n"
                         "<TD ALIGN=right><FONT SIZE=\"-1\"><B>48</B></FONT></TD>\n"
                         "<TD ALIGN=right><FONT SIZE=\"-1\"><B>48</B></FONT></TD>\n"),
                  std::string::npos)
            << h;
        EXPECT_NE(h.find("<TD ALIGN=right><FONT SIZE=\"-1\"><B>3</B></FONT></TD>\n"
                         "<TD ALIGN=right><FONT SIZE=\"-1\"><B>3</B></FONT></TD>\n"
                         "<TD ALIGN=right><FONT SIZE=\"-2\">100.00%</FONT></TD></TR>\n"),
                  std::string::npos);
    }
}

TEST_F(MonthPage, MonthOffTheClockHasNoName)
{
    // A clock a damaged state left outside 1 to 12 must not index past the names.
    g_clock.year = 2024;
    g_clock.month = 13;
    EXPECT_NE(totals().find("Statystyka w miesiącu:  2024</TH>"), std::string::npos);
    g_clock.month = -1;
    EXPECT_NE(days().find("Dzienne statystyki -   2024</TH>"), std::string::npos);
    EXPECT_NE(hours().find("Godzinowe statystyki -   2024</TH>"), std::string::npos);
}

}  // namespace
