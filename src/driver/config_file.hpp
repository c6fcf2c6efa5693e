// The configuration file: one "Keyword value" per line, keywords matched by
// prefix against the fixed keyword table.
#pragma once

#include <cstddef>

/// The configuration file read before the options, from the current directory
/// or else from default_config_dir, the system configuration directory of the
/// install prefix the build was configured for (src/driver/CMakeLists.txt).
inline constexpr const char* config_file_name = "pl-parvalyte.conf";
inline constexpr const char* default_config_dir = PARVA_CONFIG_DIR;

/// Number of entries of the keyword table; index 0 ("Undefined") is never valid.
inline constexpr int keyword_count = 121;

/// The keyword written at the given index of the table.
const char* keyword_name(int index);

/// The index of the first table entry that the written keyword is a prefix
/// of (case-insensitive through the locale), or -1 when there is none.
int find_keyword(const char* written);

/// The log type a word selects by its first letter, in any case: "f" FTP,
/// "s" squid, "w" W3C, anything else common/combined (LogType and -F).
int log_type_of(const char* word);

/// Converts the value by the keyword's type and stores it in the settings.
void apply_keyword(int index, const char* value);

/// Reads one configuration file and applies its lines in order.  A file that
/// cannot be opened is reported (unless the verbosity is 0) and skipped.
void read_config(const char* path);
