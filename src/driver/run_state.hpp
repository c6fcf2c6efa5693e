// The state of a run.  Every process-wide object of the analyzer is defined
// in run_state.cpp, so that one function can put them all back.
#pragma once

/// Puts every object of a run back to its start: the run counts, the parsed
/// record, the period clock, the month, day, hour and response counters,
/// every counting table with its index and hints, and the request being
/// counted.  The settings and the character classes belong to start-up and
/// stay as they are (reset_settings and load_char_classes renew them).
void reset_run_state();
