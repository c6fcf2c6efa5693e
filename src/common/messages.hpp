// Console messages gated by the verbosity: warnings and errors on standard
// error from level 1, progress lines on standard output at level 2.
#pragma once

#include <cstddef>
#include <cstdio>

#include <sys/types.h>

/// Writes to standard error when the verbosity is at least 1.
[[gnu::format(printf, 1, 2)]] void warn(const char* fmt, ...);

/// Writes to standard output when the verbosity is 2.
[[gnu::format(printf, 1, 2)]] void progress(const char* fmt, ...);

/// True when warnings and errors are printed (verbosity at least 1).
bool warnings_enabled();

/// True when progress lines are printed (verbosity 2).
bool progress_enabled();

/// Where this thread's warnings and errors go: standard error, or on a
/// thread that prepares records ahead of the counting, a stream that keeps
/// them until the counting thread writes them in the order of the lines.
std::FILE* diag_stream();

/// Sends this thread's warnings and errors to the stream (nullptr: standard
/// error again).
void set_diag_stream(std::FILE* stream);

/// Where this thread's progress lines go: standard output, or a stream that
/// holds them in order with other threads' messages.
std::FILE* progress_stream();

/// Sends this thread's progress lines to the stream (nullptr: standard
/// output again).
void set_progress_stream(std::FILE* stream);

/// An unbuffered stream that hands every write to write(self, bytes, n), so
/// that a message reaches whoever holds it before the next one begins; the
/// streams that keep messages for later are made with it.  Null on failure.
std::FILE* open_message_stream(void* self, ssize_t (*write)(void*, const char*, std::size_t));
