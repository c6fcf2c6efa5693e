// How every report file is opened: never through a symbolic link.
#pragma once

#include <cstdio>

/// Opens the path for writing (created or truncated).  Refuses a symbolic
/// link.  Reports a failure (verbosity at least 1) and returns nullptr.
std::FILE* report_file_open(const char* path);
