// The charts of the last reports drawn on a second thread while this one
// writes the pages: drawing and PNG coding take about half of a run's final
// reports.  Every message keeps its place: from the first chart handed over
// on, this thread's messages (warnings and progress alike) are held, in order,
// with each chart's at the point where it was handed over, and finish()
// writes them all as a run that draws each chart in place would.
#pragma once

#include <condition_variable>
#include <cstdio>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class chart_helper {
  public:
    /// threaded false, or a machine that refuses the thread: every chart
    /// is drawn in place, when it is handed over.
    explicit chart_helper(bool threaded);
    ~chart_helper();
    chart_helper(const chart_helper&) = delete;
    chart_helper& operator=(const chart_helper&) = delete;

    /// Draws the chart, now or on the helper.  It may read only what this
    /// thread leaves unchanged until finish().
    void draw(std::function<void()> chart);

    /// Draws the charts the helper has not begun, waits for the ones it
    /// has, then writes the held messages.
    void finish();

    /// A message held for one stream.
    struct piece {
        std::FILE* stream;
        std::string text;
    };
    /// The messages of one chart, or of this thread between two charts.
    using stretch = std::vector<piece>;

    /// A stream whose bytes go into a stretch, for one thread.
    class holder {
      public:
        explicit holder(std::FILE* target);
        ~holder();
        holder(const holder&) = delete;
        holder& operator=(const holder&) = delete;
        std::FILE* stream() const { return stream_; }
        void hold_into(stretch* to) { to_ = to; }

      private:
        static ssize_t write(void* self, const char* bytes, std::size_t n);
        std::FILE* stream_ = nullptr;
        std::FILE* target_;
        stretch* to_ = nullptr;
    };

  private:
    struct job {
        std::function<void()> chart;
        stretch* messages;
    };

    void work();
    void hold_here(stretch* to);

    std::deque<stretch> stretches_;  // in the order of the run; stable addresses
    std::deque<job> waiting_;
    int running_ = 0;
    bool stopping_ = false;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::thread thread_;
    std::unique_ptr<holder> diag_here_, progress_here_;
};
