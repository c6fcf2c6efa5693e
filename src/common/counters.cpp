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
