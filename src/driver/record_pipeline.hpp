// The record loop on two threads: one reads, parses and cleans lines in
// batches (everything that depends on the settings alone), the other takes
// the batches in log order and counts them (everything that depends on the
// run's state).  The messages the first thread writes are kept with their
// record and written by the second at the moment the one-thread loop would
// write them.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "common/records.hpp"

/// True when the loop runs on two threads: more than one processor is
/// online and PARVA_THREADS is not 1.
bool prepare_ahead();

/// One line as the first thread left it.
struct prepared_line {
    int kind;
    record_time when;
    std::uint32_t text;         // where its packed record starts in the batch's text
    std::uint32_t checked_end;  // its messages up to the time check end here...
    std::uint32_t cleaned_end;  // ...and those of its cleaning here
};

struct record_batch {
    static constexpr std::size_t max_lines = 4096;
    static constexpr std::size_t max_text = 1 << 20;  // a batch ends before it holds more

    std::vector<prepared_line> lines;
    std::string text;      // the records' fields, packed
    std::string messages;  // every message of the batch, in order
    bool last = false;     // the log ended with this batch

    void clear()
    {
        lines.clear();
        text.clear();
        messages.clear();
        last = false;
    }
    bool full() const { return lines.size() == max_lines || text.size() >= max_text; }
};

/// Appends the record's fields to the batch's text.
void pack_record(const log_record& r, record_batch& b);

/// Copies the packed record that starts at offset into r.
void unpack_record(const record_batch& b, std::uint32_t offset, log_record& r);

/// A stream whose bytes are appended to the batch set with set_batch; for the
/// first thread's messages.
class batch_sink {
  public:
    batch_sink();
    ~batch_sink();
    batch_sink(const batch_sink&) = delete;
    batch_sink& operator=(const batch_sink&) = delete;

    std::FILE* stream() const { return stream_; }
    void set_batch(record_batch* b) { batch_ = b; }

  private:
    static ssize_t write(void* self, const char* bytes, std::size_t n);
    std::FILE* stream_ = nullptr;
    record_batch* batch_ = nullptr;
};

/// The batches between the threads: a few in flight, handed back for reuse,
/// so that memory stays bounded and nothing is allocated per line.
class batch_queue {
  public:
    static constexpr int in_flight = 4;

    record_batch* take_empty();       // first thread
    void publish(record_batch* b);    // first thread
    record_batch* take_ready();       // second thread, in log order
    void give_back(record_batch* b);  // second thread

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    record_batch batches_[in_flight];
    std::vector<record_batch*> empty_ = {&batches_[0], &batches_[1], &batches_[2], &batches_[3]};
    std::vector<record_batch*> ready_;  // oldest first
};
