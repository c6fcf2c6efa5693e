#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "common/messages.hpp"
#include "report/chart_helper.hpp"

namespace {

// While the helper is held in its first chart, the charts handed over after
// it are left for finish(), which draws them on this thread.  Every message
// still comes out where a run drawing each chart in place would write it.
TEST(ChartHelper, FinishDrawsWhatTheHelperHasNotBegunWithItsMessagesInPlace)
{
    std::atomic<bool> first_begun{false};
    std::atomic<bool> release{false};
    std::vector<std::thread::id> drawn_by(3);
    const std::thread::id here = std::this_thread::get_id();
    testing::internal::CaptureStderr();
    {
        chart_helper charts(true);
        std::fprintf(diag_stream(), "page 1\n");
        charts.draw([&] {
            first_begun = true;
            // Not forever: a finish() that only waits would wait for this.
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            while (!release && std::chrono::steady_clock::now() < deadline)
                std::this_thread::yield();
            drawn_by[0] = std::this_thread::get_id();
            std::fprintf(diag_stream(), "chart 1\n");
        });
        while (!first_begun)
            std::this_thread::yield();
        std::fprintf(diag_stream(), "page 2\n");
        charts.draw([&] {
            drawn_by[1] = std::this_thread::get_id();
            std::fprintf(diag_stream(), "chart 2\n");
        });
        std::fprintf(diag_stream(), "page 3\n");
        charts.draw([&] {
            drawn_by[2] = std::this_thread::get_id();
            std::fprintf(diag_stream(), "chart 3\n");
            release = true;  // the first chart ends once finish() drew the others
        });
        std::fprintf(diag_stream(), "page 4\n");
        charts.finish();
        std::fprintf(diag_stream(), "after\n");
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "page 1\nchart 1\npage 2\nchart 2\npage 3\nchart 3\npage 4\nafter\n");
    EXPECT_NE(drawn_by[0], here);
    EXPECT_EQ(drawn_by[1], here);
    EXPECT_EQ(drawn_by[2], here);
}

}  // namespace
