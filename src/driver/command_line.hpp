// The command line of parvalyte: options, usage and version texts, and the
// settings derived once every option is known.
#pragma once

/// Reads the options from left to right into the settings; -c reads its
/// configuration file where it stands.  Returns -1 to go on, or the exit
/// status after -h or -V (which print their texts).  operand is set to the
/// index of the first operand (argc when there is none).
int parse_options(int argc, char** argv, int& operand);

/// The usage text of -h, on standard output.
void print_usage(const char* program);

/// The one-line banner "Parvalyte V2.23-08 (system release machine) Polish".
void print_banner();

/// The version text of -V; the long form when Debug is on.
void print_version();

/// Applies the defaults and clamps that depend on the final option values:
/// the log file operand, index aliases, page types, clamps, FTP limits,
/// built-in search engines, entry and exit limits and the cache lifetime.
/// Every number setting that counts or sizes something ends in its useful
/// range (never negative), so that nothing computed from it overflows.
void derive_settings(const char* operand);
