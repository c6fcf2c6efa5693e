#include "common/counters.hpp"

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

long long
day_number(int day, int month, int year)
{
    static const int days_before[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    const long long y = year;
    long long n = 365 * y + (y + 4) / 4 - y / 100 + y / 400 + day +
                  days_before[(month >= 1 && month <= 12) ? month - 1 : 0];
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (leap && (month == 1 || month == 2))
        --n;
    return n + 5;
}
