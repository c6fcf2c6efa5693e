// The incremental state: everything the open month has counted, saved at the
// end of a run so that the next run, fed the next piece of the log, goes on
// with the same month as if the log had been read in one go.
#pragma once

/// Writes the clock, the month's counters and the seven monthly tables to
/// IncrementalName.  The file is written under its ".new" work name, synced,
/// and only then renamed over the live one, so a failure never leaves a
/// half-written state under the live name.  Returns 0; 9 when a symbolic
/// link stands at the work name (nothing is written through it); 1 when the
/// work file cannot be created or written or cannot take the live name.
int store_state();

/// Reads IncrementalName back into the clock, the counters and the tables,
/// and sets the clock's resume_skip.  Returns 0 when the state was restored,
/// IgnoreState is on or there is no state file; otherwise the number of what
/// is missing or unusable: 1 empty file, 99 unknown version, 2 clock (also a
/// clock that names no date and time a record can have), 3 totals,
/// 4 running values, 5 days, 6 hours, 7 responses, then the sections and
/// their records: 10 URLs, 8 monthly hosts, 9 daily hosts, 11 referrers,
/// 12 agents, 13 search strings, 14 users.  Whatever was restored before an
/// error stays: the caller ends the run.
int load_state();
