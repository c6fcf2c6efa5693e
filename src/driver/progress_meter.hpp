// The status line of a run at a terminal: how much of the log has been read,
// how fast, and the month being counted.  Shown on standard error at
// verbosity 2 once a run has lasted half a second, then a few times a
// second, and cleared when the record loop ends.
#pragma once

#include <chrono>

#include "common/types.hpp"

class log_reader;

class progress_meter {
  public:
    explicit progress_meter(const log_reader& log);
    ~progress_meter();
    progress_meter(const progress_meter&) = delete;
    progress_meter& operator=(const progress_meter&) = delete;

    /// One more line counted; every few thousand lines the clock is read.
    void line_counted()
    {
        if ((++lines_ & 4095) == 0 && active_)
            tick();
    }

  private:
    void tick();

    const log_reader& log_;
    bool active_;
    u64 lines_ = 0;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point next_;
};

/// The status line's text: lines counted, their rate, bytes read (of size,
/// when known, as a percentage), and the month being counted (0: none yet).
void progress_text(char* to, std::size_t capacity, u64 lines, double seconds, u64 bytes, u64 size,
                   int month, int year);
