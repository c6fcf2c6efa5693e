// The report of one month: its page with the fixed tables, the per-kind sort
// arrays and the dump files.
#pragma once

/// Writes the report of the month on the period clock.  Returns 0, or 1 when
/// the month page cannot be opened: then nothing else of the month is written.
int month_report();

class chart_helper;

/// The same with the charts handed to the helper.
int month_report(chart_helper& charts);
