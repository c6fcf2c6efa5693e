#include "report/chart_helper.hpp"

#include <system_error>

#include "common/messages.hpp"

chart_helper::holder::holder(std::FILE* target)
    : stream_(open_message_stream(this, &holder::write)), target_(target)
{
}

chart_helper::holder::~holder()
{
    if (stream_ != nullptr)
        std::fclose(stream_);
}

ssize_t
chart_helper::holder::write(void* self, const char* bytes, std::size_t n)
{
    auto* h = static_cast<holder*>(self);
    if (h->to_ != nullptr) {
        if (h->to_->empty() || h->to_->back().stream != h->target_)
            h->to_->push_back({h->target_, {}});
        h->to_->back().text.append(bytes, n);
    }
    return static_cast<ssize_t>(n);
}

chart_helper::chart_helper(bool threaded)
{
    if (!threaded)
        return;
    try {
        diag_here_ = std::make_unique<holder>(stderr);
        progress_here_ = std::make_unique<holder>(stdout);
        if (diag_here_->stream() == nullptr || progress_here_->stream() == nullptr)
            return;
        thread_ = std::thread(&chart_helper::work, this);
    } catch (const std::system_error&) {
        // No second thread: the charts are drawn in place.
    }
}

chart_helper::~chart_helper()
{
    finish();
    if (thread_.joinable()) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }
}

void
chart_helper::hold_here(stretch* to)
{
    diag_here_->hold_into(to);
    progress_here_->hold_into(to);
    set_diag_stream(to != nullptr ? diag_here_->stream() : nullptr);
    set_progress_stream(to != nullptr ? progress_here_->stream() : nullptr);
}

void
chart_helper::draw(std::function<void()> chart)
{
    if (!thread_.joinable()) {
        chart();
        return;
    }
    // The chart's messages come after this thread's so far and before its next.
    stretch* const messages = &stretches_.emplace_back();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        waiting_.push_back({std::move(chart), messages});
    }
    changed_.notify_all();
    hold_here(&stretches_.emplace_back());
}

void
chart_helper::work()
{
    holder diag(stderr);
    holder progress_lines(stdout);
    set_diag_stream(diag.stream());
    set_progress_stream(progress_lines.stream());
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || !waiting_.empty(); });
        if (waiting_.empty())
            break;
        job next = std::move(waiting_.front());
        waiting_.pop_front();
        ++running_;
        lock.unlock();
        diag.hold_into(next.messages);
        progress_lines.hold_into(next.messages);
        next.chart();
        diag.hold_into(nullptr);
        progress_lines.hold_into(nullptr);
        lock.lock();
        --running_;
        changed_.notify_all();
    }
    set_diag_stream(nullptr);
    set_progress_stream(nullptr);
}

void
chart_helper::finish()
{
    if (!thread_.joinable() || stretches_.empty())
        return;
    {
        // The pages are written: the charts not begun yet are drawn here
        // too, each with its messages where the helper would keep them.
        std::unique_lock<std::mutex> lock(mutex_);
        while (!waiting_.empty()) {
            job next = std::move(waiting_.front());
            waiting_.pop_front();
            lock.unlock();
            hold_here(next.messages);
            next.chart();
            lock.lock();
        }
        changed_.wait(lock, [this] { return running_ == 0; });
    }
    hold_here(nullptr);
    for (const stretch& s : stretches_)
        for (const piece& p : s)
            std::fwrite(p.text.data(), 1, p.text.size(), p.stream);
    stretches_.clear();
}
