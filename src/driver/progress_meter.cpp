#include "driver/progress_meter.hpp"

#include <cstdio>

#include "common/catalog.hpp"
#include "common/counters.hpp"
#include "common/messages.hpp"
#include "common/terminal.hpp"
#include "input/log_reader.hpp"

namespace {

constexpr auto first_show = std::chrono::milliseconds(500);
constexpr auto show_every = std::chrono::milliseconds(250);

}  // namespace

void
progress_text(char* to, std::size_t capacity, u64 lines, double seconds, u64 bytes, u64 size,
              int month, int year)
{
    const double rate = seconds > 0 ? static_cast<double>(lines) / seconds : 0;
    int n = std::snprintf(to, capacity, "%s %llu %s (%.0f/s), %.1f MB", msg::reading_word, lines,
                          msg::records_word, rate, static_cast<double>(bytes) / 1e6);
    // What is left of the buffer after the text so far (snprintf says how
    // long the text would be, which may be more than it holds).
    auto room = [&] { return n >= 0 && static_cast<std::size_t>(n) < capacity; };
    if (size != 0 && room())
        n += std::snprintf(to + n, capacity - static_cast<std::size_t>(n), " (%.0f%%)",
                           100.0 * static_cast<double>(bytes < size ? bytes : size) /
                               static_cast<double>(size));
    if (month >= 1 && month <= 12 && room())
        std::snprintf(to + n, capacity - static_cast<std::size_t>(n), ", %s %d",
                      msg::month_name[month], year);
}

progress_meter::progress_meter(const log_reader& log)
    : log_(log), active_(progress_enabled() && terminal_shows_status()),
      start_(std::chrono::steady_clock::now()), next_(start_ + first_show)
{
}

progress_meter::~progress_meter()
{
    if (active_)
        terminal_clear_status();
}

void
progress_meter::tick()
{
    const auto now = std::chrono::steady_clock::now();
    if (now < next_)
        return;
    next_ = now + show_every;
    char text[256];
    const std::chrono::duration<double> seconds = now - start_;
    progress_text(text, sizeof text, lines_, seconds.count(), log_.bytes_read(), log_.size(),
                  g_clock.month, g_clock.year);
    terminal_show_status(text);
}
