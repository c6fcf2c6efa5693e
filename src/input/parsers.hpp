// The log format parsers.  Each fills g_record from the line, working in place
// on the line buffer when it splits it (field ends become NUL bytes); none
// allocates.
#pragma once

#include <cstddef>

/// Marks field ends in place: blanks outside quotes, brackets and parentheses
/// become NUL bytes.  A quote after a backslash does not count.
void split_fields(char* line);

/// A cut field's warning, from verbosity 1; with Debug the field follows.
void warn_cut(const char* message, const char* field_start);

/// Parses a common or combined log line into g_record: its text up to its
/// first NUL.  Returns 1 when the line is a record, 0 when it is not (no
/// message: the record loop decides).
int parse_clf(char* line, std::size_t length);  // length: of the line, line[length] its NUL

/// parse_clf for every line: the fields split in place first.  parse_clf
/// takes a line of the usual shape in one pass instead, to the same record.
int parse_split_clf(char* line, std::size_t length);  // length: strlen(line)

/// Empties g_record and runs the parser of the configured LogType on the
/// line's text, up to its first NUL.  Returns 1 when the line yielded a
/// record, 0 when it did not.
int parse_line(char* line);
int parse_line(char* line, std::size_t length);  // length: of the line, line[length] its NUL

/// Parses a line of an FTP server transfer log (xferlog) into g_record: the
/// transfer becomes a GET, or a POST for an upload, of the file name.
int parse_ftp(char* line, std::size_t length);

/// Parses a line of a squid proxy's native access log into g_record.
int parse_squid(char* line, std::size_t length);

/// Parses a line of a W3C extended log into g_record.  A Fields directive is
/// no record: it sets the columns of the data lines after it (g_w3c_layout).
int parse_w3c(char* line, std::size_t length);

/// The fields of a W3C data line that a record takes.
enum w3c_field : int {
    w3c_date,
    w3c_time,
    w3c_c_ip,
    w3c_method,
    w3c_uri_stem,
    w3c_uri_query,
    w3c_status,
    w3c_referrer,
    w3c_bytes,
    w3c_agent,
    w3c_username,
    w3c_known_fields
};

/// The columns announced by the last W3C Fields directive of the run.
struct w3c_layout {
    int count = 0;                            // fields of a data line; 0 before the first directive
    int position[w3c_known_fields]{};         // 1-based column of each known field, 0 when absent
    int wanted = 0;                           // known fields present
    unsigned char order[w3c_known_fields]{};  // those, by increasing position
};

extern w3c_layout g_w3c_layout;
