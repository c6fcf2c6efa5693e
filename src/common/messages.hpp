// Console messages gated by the verbosity: warnings and errors on standard
// error from level 1, progress lines on standard output at level 2.
#pragma once

/// Writes to standard error when the verbosity is at least 1.
[[gnu::format(printf, 1, 2)]] void warn(const char* fmt, ...);

/// Writes to standard output when the verbosity is 2.
[[gnu::format(printf, 1, 2)]] void progress(const char* fmt, ...);

/// True when warnings and errors are printed (verbosity at least 1).
bool warnings_enabled();

/// True when progress lines are printed (verbosity 2).
bool progress_enabled();
