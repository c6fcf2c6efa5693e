// Defines each process-wide object once.
#include "common/catalog.hpp"
#include "common/settings.hpp"

settings::settings() : report_title(msg::default_report_title) {}

namespace {
settings the_settings;
}

const settings& g_settings = the_settings;

settings&
startup_settings()
{
    return the_settings;
}

void
reset_settings()
{
    the_settings = settings();
}

#include "common/records.hpp"

log_record g_record;

#include "common/counters.hpp"

period_clock g_clock;
month_counters g_month;
daily_counters g_daily[31];
hourly_counters g_hourly[24];
response_row g_response[response_rows] = {
#define ROW(i)                                                                                     \
    {                                                                                              \
        msg::response_description[i], 0                                                            \
    }
    ROW(0),  ROW(1),  ROW(2),  ROW(3),  ROW(4),  ROW(5),  ROW(6),  ROW(7),  ROW(8),
    ROW(9),  ROW(10), ROW(11), ROW(12), ROW(13), ROW(14), ROW(15), ROW(16), ROW(17),
    ROW(18), ROW(19), ROW(20), ROW(21), ROW(22), ROW(23), ROW(24), ROW(25), ROW(26),
    ROW(27), ROW(28), ROW(29), ROW(30), ROW(31), ROW(32), ROW(33), ROW(34), ROW(35),
    ROW(36), ROW(37), ROW(38), ROW(39), ROW(40),
#undef ROW
};

int
response_row_of(int code)
{
    // Rows 1 to 40 are in code order; codes without a row of their own count in row 0.
    if (code >= 100 && code <= 101)
        return code - 99;
    if (code >= 200 && code <= 206)
        return code - 197;
    if (code >= 300 && code <= 305)
        return code - 290;
    if (code == 307)
        return 16;
    if (code >= 400 && code <= 417)
        return code - 383;
    if (code >= 500 && code <= 505)
        return code - 465;
    return 0;
}
