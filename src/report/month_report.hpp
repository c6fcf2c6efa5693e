// The report of one month: for now the per-kind sort arrays and the dump files.
#pragma once

/// Writes the report of the month on the period clock.  Returns 0 (the month
/// page, which could fail to open, comes with the page writer).
int month_report();
