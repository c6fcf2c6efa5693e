#include <gtest/gtest.h>

#include "common/counters.hpp"
#include "driver/period.hpp"
#include "report/month_report.hpp"
#include "test_support.hpp"

TEST(DayNumber, CountsDaysAndWeekdays)
{
    EXPECT_EQ(day_number(1, 1, 1970), 719534);
    EXPECT_EQ(day_number(1, 1, 1970) % 7, 4) << "Thursday";
    EXPECT_EQ(day_number(1, 3, 2000) - day_number(28, 2, 2000), 2);
    EXPECT_EQ(day_number(1, 3, 1900) - day_number(28, 2, 1900), 1);
    EXPECT_EQ(day_number(1, 1, 2001) - day_number(31, 12, 2000), 1);
    EXPECT_EQ(seconds_of({1, 1, 1970, 0, 0, 0}), 0);
    EXPECT_EQ(seconds_of({9, 12, 2026, 6, 20, 54}), 1796797254);
}

TEST(ResponseRows, EveryCodeFindsItsRow)
{
    EXPECT_EQ(response_row_of(100), 1);
    EXPECT_EQ(response_row_of(206), 9);
    EXPECT_EQ(response_row_of(304), 14);
    EXPECT_EQ(response_row_of(307), 16);
    EXPECT_EQ(response_row_of(404), 21);
    EXPECT_EQ(response_row_of(417), 34);
    EXPECT_EQ(response_row_of(505), 40);
    for (int code : {0, 99, 102, 199, 207, 299, 306, 308, 418, 499, 506, 999, -200})
        EXPECT_EQ(response_row_of(code), 0) << code;
    for (int row = 1; row < response_rows; ++row) {
        const int code = std::atoi(g_response[row].description + 5);
        EXPECT_EQ(response_row_of(code), row) << g_response[row].description;
    }
}

class Period : public scratch_test {};

TEST_F(Period, MonthChangeClosesHourDayAndMonth)
{
    advance_clock({31, 1, 2024, 23, 59, 59});
    count_record(31, 23, 200, 100, true);
    count_record(31, 23, 200, 100, true);
    g_month.day_sites = 2;
    advance_clock({1, 2, 2024, 0, 0, 0});
    EXPECT_EQ(g_clock.month, 2);
    EXPECT_EQ(g_month.first_day, 1);
    EXPECT_EQ(g_month.last_day, 1);
    EXPECT_EQ(g_month.hits, 0u) << "January was reported and cleared";
    EXPECT_EQ(g_month.max_hour_hits, 0u);
}

TEST_F(Period, HourHitsSurviveTheNewMonth)
{
    advance_clock({31, 1, 2024, 23, 10, 0});
    count_record(31, 23, 200, 1, false);
    advance_clock({1, 2, 2024, 23, 20, 0});  // same hour of the day
    EXPECT_EQ(g_month.hour_hits, 1u);
    advance_clock({1, 2, 2024, 23, 30, 0});
    EXPECT_EQ(g_month.hour_hits, 1u);
}

namespace {

int reported_first_day;
int reported_last_day;

int
remember_reported_days()
{
    reported_first_day = g_month.first_day;
    reported_last_day = g_month.last_day;
    return 0;
}

}  // namespace

TEST_F(Period, LaterMonthDoesNotStretchTheClosingMonth)
{
    struct restore_reporter {
        ~restore_reporter() { report_closed_month = month_report; }
    } restore;
    report_closed_month = remember_reported_days;
    advance_clock({3, 3, 2024, 10, 0, 0});
    advance_clock({15, 3, 2024, 10, 0, 0});
    advance_clock({20, 4, 2024, 10, 0, 0});
    EXPECT_EQ(reported_first_day, 3);
    EXPECT_EQ(reported_last_day, 15) << "March's report ends on its own last day";
    EXPECT_EQ(g_month.first_day, 20) << "April starts at its own first day";
    EXPECT_EQ(g_month.last_day, 20);
}

TEST_F(Period, CountsFilesPagesAndVolume)
{
    advance_clock({5, 3, 2024, 7, 0, 0});
    count_record(5, 7, 200, 1000, true);
    count_record(5, 7, 304, 0, false);
    count_record(5, 7, 206, 500, false);
    EXPECT_EQ(g_month.hits, 3u);
    EXPECT_EQ(g_month.files, 1u) << "only 200 is a file here";
    EXPECT_EQ(g_month.pages, 1u);
    EXPECT_EQ(g_month.bytes, 1500.0);
    EXPECT_EQ(g_daily[4].hits, 3u);
    EXPECT_EQ(g_hourly[7].files, 1u);
    end_of_input();
    EXPECT_EQ(g_month.max_hour_hits, 3u);
}

TEST_F(Period, ResetKeepsOnlyTheOpenHour)
{
    g_month.hits = 5;
    g_month.hour_hits = 3;
    g_daily[3].hits = 2;
    g_response[3].count = 9;
    reset_counters();
    EXPECT_EQ(g_month.hits, 0u);
    EXPECT_EQ(g_month.hour_hits, 3u);
    EXPECT_EQ(g_month.first_day, 1);
    EXPECT_EQ(g_daily[3].hits, 0u);
    EXPECT_EQ(g_response[3].count, 0u);
}
