// Reads the log line by line: plain, gzip, bzip2 or standard input, from the
// decoder's own buffer or, for plain logs, one 16384-byte block buffer,
// without allocating per line.  One thread at a time may use a reader; it
// need not be the one that opened it.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>

#include "common/files.hpp"
#include "common/records.hpp"
#include "common/types.hpp"
#include "input/compressed_handles.hpp"

enum class log_kind { plain, gzip, bzip2 };

/// The kind a log name selects: ".gz" gzip, ".bz2" bzip2, anything else plain.
log_kind log_kind_of(const char* name);

class log_reader {
  public:
    // A plain log is read in large blocks: every read costs a trip into the kernel.
    static constexpr std::size_t block_size = 256 * 1024;

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
    /// a NUL.  A last line without a newline is delivered as well.  A NUL
    /// in the line is delivered as it is: the parsers read the line up to
    /// it.  Returns false at the end of the input (or on a read error).
    bool next_line(char (&line)[line_capacity], std::size_t& length);

    /// Starts the input again at its first line.  The bzip2 reader runs ahead
    /// on its threads, so that kind is closed and opened again under its name,
    /// as open does.
    /// Returns 0, or 1 for standard input or when the log cannot be opened again.
    int rewind();

    /// Closes the log; standard input stays open.
    void close();

    log_kind kind() const { return kind_; }
    bool is_stdin() const { return is_stdin_; }
    bool is_open() const { return file_ != nullptr || gz_ != nullptr || bz_ != nullptr; }

    /// Bytes read so far (decompressed), readable from any thread.
    u64 bytes_read() const { return bytes_read_.load(std::memory_order_relaxed); }
    /// The size of a plain log that is a regular file, else 0.
    u64 size() const { return size_; }

  private:
    int attach(int fd);
    std::size_t read_block();
    void empty_block_buffer();

    log_kind kind_ = log_kind::plain;
    std::string name_;
    bool is_stdin_ = false;
    bool ended_ = false;

    owned_file file_;  // plain log or standard input
    owned_gzip_stream gz_;
    owned_bzip2_reader bz_;

    char block_buffer_[block_size];
    const char* data_ = block_buffer_;  // the bytes being delivered
    std::size_t count_ = 0;             // valid bytes at data_
    std::size_t cursor_ = 0;            // next byte to deliver
    std::atomic<u64> bytes_read_{0};
    u64 size_ = 0;
};
