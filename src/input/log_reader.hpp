// Reads the log line by line: plain, gzip, bzip2 or standard input, through
// one 16384-byte block buffer, without allocating per line.
#pragma once

#include <cstddef>
#include <string>

#include "common/files.hpp"
#include "common/records.hpp"
#include "input/compressed_handles.hpp"

enum class log_kind { plain, gzip, bzip2 };

/// The kind a log name selects: ".gz" gzip, ".bz2" bzip2, anything else plain.
log_kind log_kind_of(const char* name);

class log_reader {
  public:
    static constexpr std::size_t block_size = 16384;

    log_reader() = default;
    log_reader(const log_reader&) = delete;
    log_reader& operator=(const log_reader&) = delete;
    ~log_reader() { close(); }

    /// Opens the log; no name, or one beginning with "-", is standard input.
    /// A symbolic link is refused by the open itself, never followed.
    /// Returns 0, or the exit status after printing why it cannot: 9 for a
    /// symbolic link, 2 for a compressed log, 1 for a plain one.
    int open(const char* name);

    /// Fills the line with the next line: the characters up to and including
    /// the next newline, or 4095 characters when no newline comes first, then
    /// a NUL.  A last line without a newline is delivered as well.  Returns
    /// false at the end of the input (or on a read error).
    bool next_line(char (&line)[line_capacity], std::size_t& length);

    /// Starts the input again at its first line.  bzip2 streams cannot seek, so
    /// that kind is closed and opened again under its name, as open does.
    /// Returns 0, or 1 for standard input or when the log cannot be opened again.
    int rewind();

    /// Closes the log; standard input stays open.
    void close();

    log_kind kind() const { return kind_; }
    bool is_stdin() const { return is_stdin_; }
    bool is_open() const { return file_ != nullptr || gz_ != nullptr; }

  private:
    int attach(int fd);
    int read_block();
    int read_bzip2_block();
    bool open_bzip2_stream(const char* unused, int unused_count);
    void empty_block_buffer();

    log_kind kind_ = log_kind::plain;
    std::string name_;
    bool is_stdin_ = false;
    bool ended_ = false;

    // Declared so that the bzip2 stream is closed before the file under it.
    owned_file file_;  // plain log, standard input, or the file under bzip2
    owned_gz gz_;
    owned_bz_read bz_;

    char block_buffer_[block_size];
    int count_ = 0;   // valid bytes in the block buffer
    int cursor_ = 0;  // next byte to deliver
};
