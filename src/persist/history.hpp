// The history: one row of totals per month for the last 120 months, read at
// start-up, given every month the run closes and written back at the end.
#pragma once

#include "common/history_row.hpp"

/// Reads HistoryName into g_history.  A missing file is normal (the window
/// stays unset); bad lines are skipped with a message.  Returns 0, or 1 when
/// reading stopped on an error.
int load_history();

/// Puts the open month's totals (g_clock, g_month) into its row, moving the
/// window forward when the month is newer than the window.  Returns 0, or 1
/// when nothing was recorded: a month before the window or a clock with no
/// valid month.
int record_month_in_history();

/// Writes g_history to HistoryName through a work file that takes the live
/// name only once it is complete and on disk; after a gap of a year the old
/// file is kept under the ".sav" name.  Returns 0, or 1 when the history was
/// not replaced.
int store_history();

/// Numbers the window's rows so that row 119 is (month, year); every counter
/// is zeroed.  The year must be at least 1970.
void set_up_history_window(int month, int year);

/// Moves a set-up window forward until row 119 holds (month, year): older
/// rows drop out, the months between come in empty.  Nothing moves when the
/// month is not newer than row 119.
void move_history_window_to(int month, int year);
