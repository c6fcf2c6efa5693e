// How every report file is written: never through a symbolic link, and never
// cut short without a word.
#pragma once

#include <cstdio>
#include <string>
#include <utility>

#include "common/files.hpp"

/// Opens the path for writing (created or truncated).  Refuses a symbolic
/// link, dangling or not.  Reports a failure (verbosity at least 1) and
/// returns an empty handle.
owned_file report_file_open(const char* path);

/// Closes a report file, saying when a write failed (a full disk, a file
/// size limit): the file under the name is then incomplete.  False then.
bool report_file_close(owned_file& f, const char* path);

/// A report file open for writing under its name, closed (and checked) by
/// finish() or at the end of its scope.
class report_file {
  public:
    report_file() = default;
    explicit report_file(const char* path) : file_(report_file_open(path)), path_(path) {}
    report_file(report_file&&) = default;
    report_file& operator=(report_file&& other) noexcept
    {
        finish();
        file_ = std::move(other.file_);
        path_ = std::move(other.path_);
        return *this;
    }
    ~report_file() { finish(); }

    explicit operator bool() const { return file_ != nullptr; }
    std::FILE* get() const { return file_.get(); }

    /// Closes the file; false when it could not be opened or written whole.
    bool finish() { return file_ && report_file_close(file_, path_.c_str()); }

  private:
    owned_file file_;
    std::string path_;
};
