// The record loop on several threads.  Every thread reads lines into a
// batch, one thread at a time and so in log order, and then prepares that
// batch: it parses and cleans every line, which depends on the settings
// alone.  The counting thread also takes the prepared batches in log order
// and does all that depends on the run's state: the time order, the clock,
// the tables.  The messages of the reading and preparing are kept with their
// line and written by the counting thread at the moment the one-thread loop
// would write them.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <sys/types.h>

#include "common/records.hpp"
#include "common/types.hpp"

/// One line of a batch, as it was read and then as it was prepared.
struct prepared_line {
    std::uint32_t raw;       // where the line starts in the batch's raw text
    std::uint32_t length;    // of the line
    bool oversized;          // read whole and reported: a bad line
    std::uint32_t read_end;  // its messages from the reading end here in read_messages
    int kind;
    record_time when;
    std::uint32_t text;         // where its packed record starts in the batch's packed text
    std::uint32_t begin;        // its messages in messages: from here...
    std::uint32_t checked_end;  // ...those up to the time check end here...
    std::uint32_t cleaned_end;  // ...and those of its cleaning here
};

/// A batch's lines: room for a batch's most, in the pipeline's memory.
class batch_lines {
  public:
    void place(prepared_line* room) { items_ = room; }
    prepared_line* begin() const { return items_; }
    prepared_line* end() const { return items_ + count_; }
    std::size_t size() const { return count_; }
    void clear() { count_ = 0; }
    void push_back(const prepared_line& p) { items_[count_++] = p; }

  private:
    prepared_line* items_ = nullptr;
    std::size_t count_ = 0;
};

struct record_batch {
    static constexpr std::size_t max_lines = 2048;
    static constexpr std::size_t max_text = 1 << 19;  // a batch ends before it holds more

    u64 sequence = 0;    // its place in the log
    u64 first_line = 0;  // the number of its first line
    batch_lines lines;
    // The lines as read, each with a NUL: the reader reads each line
    // straight into the free space after the last, which holds a longest line.
    static constexpr std::size_t raw_capacity = max_text + line_capacity;
    char* raw = nullptr;  // the pipeline's memory
    std::size_t raw_size = 0;
    std::string read_messages;  // what the reading said, in line order
    // The prepared records' fields, packed, with a piece to spare after them:
    // in the pipeline's memory, or in grown once they outgrew it.
    char* packed = nullptr;
    std::size_t packed_size = 0;
    std::size_t packed_capacity = 0;
    std::unique_ptr<char[]> grown;
    std::string messages;  // every message of the batch, in line order
    bool last = false;     // the log ended with this batch

    void clear();
    bool full() const
    {
        return lines.size() == max_lines || raw_size + read_messages.size() >= max_text;
    }
    char (&line_space())[line_capacity]
    {
        return *reinterpret_cast<char(*)[line_capacity]>(raw + raw_size);
    }
    /// Keeps the line just read into line_space(), its first length bytes.
    void keep_line(std::size_t length, bool oversized);
};

/// Appends the record's fields to the batch's text, all but its date: the
/// counting goes by the time the line carries.
void pack_record(const log_record& r, record_batch& b);

/// Points r at the packed record that starts at offset, its host copied,
/// and gives the lengths of its texts.  r's texts stay valid, and may be
/// written over within their room, while the batch is being counted.
void view_packed_record(record_batch& b, std::uint32_t offset, counted_record& r,
                        text_lengths& lengths);

/// A stream whose bytes are appended to a text, for a thread's messages.
class batch_sink {
  public:
    batch_sink();
    ~batch_sink();
    batch_sink(const batch_sink&) = delete;
    batch_sink& operator=(const batch_sink&) = delete;

    std::FILE* stream() const { return stream_; }
    void set_messages(std::string* to) { to_ = to; }

  private:
    static ssize_t write(void* self, const char* bytes, std::size_t n);
    std::FILE* stream_ = nullptr;
    std::string* to_ = nullptr;
};

/// What the pipeline gives a thread: a batch to read (and then prepare), the
/// next batch to count, or nothing more to do.
struct batch_work {
    enum class task { read, prepare, count, none } what;
    record_batch* batch;
};

/// The batches between the threads: a few in flight, handed back for reuse,
/// so that memory stays bounded and nothing is allocated per line.  Every
/// thread reads and prepares batches, one thread reading at a time, so that
/// the batches enter the log in order; the counting thread also counts them,
/// in that order, whenever the next one is ready.
class record_pipeline {
  public:
    /// ordered: lines must also be prepared in log order, since a line may
    /// change how the lines after it are parsed; then the reading thread
    /// prepares its batch before the next thread may read.
    record_pipeline(int threads, bool ordered);
    ~record_pipeline();
    record_pipeline(const record_pipeline&) = delete;
    record_pipeline& operator=(const record_pipeline&) = delete;

    /// Once every thread runs: until then nothing is read, so that a run
    /// refused a thread can still read the whole log on one.
    void start();
    /// Waits for work.  The counting thread takes the next batch in log
    /// order first.  Then a thread reads when no other is reading and fewer
    /// than two read batches wait, so that a thread finding the log taken
    /// has one to prepare; else it prepares the oldest read batch, else
    /// reads.  (Ordered: the reading thread prepares what it read, at once.)
    /// A helper gets none once finish was called.
    batch_work next(bool counting);
    void read(record_batch* b);       // the reading is done (b->last: the log ended)
    void prepared(record_batch* b);   // and so is the preparing
    void give_back(record_batch* b);  // counting thread
    void finish();                    // counting thread, after the last batch

  private:
    // Read batches kept waiting: one is there for a thread that finds the
    // log taken, instead of an idle wait for it.
    static constexpr std::size_t read_ahead = 2;
    batch_work take_to_read();  // with the lock held

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<record_batch> batches_;
    // The batches' texts, in huge pages, or from the heap when none are had.
    char* memory_ = nullptr;
    std::size_t mapped_ = 0;
    std::unique_ptr<char[]> heap_;
    std::vector<record_batch*> empty_;
    std::vector<record_batch*> waiting_;   // read, to be prepared; any order
    std::vector<record_batch*> prepared_;  // any order
    u64 next_read_ = 0;
    u64 next_counted_ = 0;
    u64 lines_read_ = 0;
    bool ordered_;
    bool started_ = false;
    bool reading_ = false;  // one thread holds the log
    bool ended_ = false;    // the log has been read to its end
    bool finished_ = false;
};
