// How every report file is opened: never through a symbolic link.
#pragma once

#include "common/files.hpp"

/// Opens the path for writing (created or truncated).  Refuses a symbolic
/// link, dangling or not.  Reports a failure (verbosity at least 1) and
/// returns an empty handle.
owned_file report_file_open(const char* path);
