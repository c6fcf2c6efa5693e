// The log format parsers.  Each works in place on the line buffer (field ends
// become NUL bytes) and fills g_record; none allocates.
#pragma once

#include <cstddef>

/// Marks field ends in place: blanks outside quotes, brackets and parentheses
/// become NUL bytes.  A quote after a backslash does not count.
void split_fields(char* line);

/// Parses a common or combined log line into g_record.  Returns 1 when the
/// line is a record, 0 when it is not (no message: the record loop decides).
int parse_clf(char* line);
int parse_clf(char* line, std::size_t length);  // length: strlen(line), known to the caller

/// Empties g_record and runs the parser of the configured LogType.  Returns 1
/// when the line yielded a record, 0 when it did not.
int parse_line(char* line);
int parse_line(char* line, std::size_t length);
