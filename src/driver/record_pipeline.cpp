#include "driver/record_pipeline.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include <unistd.h>

bool
prepare_ahead()
{
    const char* forced = std::getenv("PARVA_THREADS");
    if (forced != nullptr && std::strcmp(forced, "1") == 0)
        return false;
    return sysconf(_SC_NPROCESSORS_ONLN) > 1;
}

namespace {

// Each text with its terminating NUL; the date at its fixed size, since it is
// read at fixed positions.
void
put_text(std::string& to, const char* text)
{
    to.append(text, std::strlen(text) + 1);
}

const char*
get_text(const char* from, char* to, std::size_t capacity)
{
    const std::size_t n = std::strlen(from);
    std::memcpy(to, from, std::min(n + 1, capacity));
    to[capacity - 1] = '\0';
    return from + n + 1;
}

}  // namespace

void
pack_record(const log_record& r, record_batch& b)
{
    std::string& t = b.text;
    t.append(reinterpret_cast<const char*>(&r.status), sizeof r.status);
    t.append(reinterpret_cast<const char*>(&r.bytes), sizeof r.bytes);
    t.append(r.date_text, sizeof r.date_text);
    put_text(t, r.host);
    put_text(t, r.request);
    put_text(t, r.referrer);
    put_text(t, r.agent);
    put_text(t, r.search_text);
    put_text(t, r.user);
}

void
unpack_record(const record_batch& b, std::uint32_t offset, log_record& r)
{
    const char* p = b.text.data() + offset;
    std::memcpy(&r.status, p, sizeof r.status);
    p += sizeof r.status;
    std::memcpy(&r.bytes, p, sizeof r.bytes);
    p += sizeof r.bytes;
    std::memcpy(r.date_text, p, sizeof r.date_text);
    p += sizeof r.date_text;
    p = get_text(p, r.host, sizeof r.host);
    p = get_text(p, r.request, sizeof r.request);
    p = get_text(p, r.referrer, sizeof r.referrer);
    p = get_text(p, r.agent, sizeof r.agent);
    p = get_text(p, r.search_text, sizeof r.search_text);
    get_text(p, r.user, sizeof r.user);
}

batch_sink::batch_sink()
{
    cookie_io_functions_t io{};
    io.write = &batch_sink::write;
    stream_ = fopencookie(this, "w", io);
    // Unbuffered: every byte reaches the batch before the next line begins.
    if (stream_ != nullptr)
        std::setvbuf(stream_, nullptr, _IONBF, 0);
}

batch_sink::~batch_sink()
{
    if (stream_ != nullptr)
        std::fclose(stream_);
}

ssize_t
batch_sink::write(void* self, const char* bytes, std::size_t n)
{
    auto* sink = static_cast<batch_sink*>(self);
    if (sink->batch_ != nullptr)
        sink->batch_->messages.append(bytes, n);
    return static_cast<ssize_t>(n);
}

record_batch*
batch_queue::take_empty()
{
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return !empty_.empty(); });
    record_batch* b = empty_.back();
    empty_.pop_back();
    b->clear();
    return b;
}

void
batch_queue::publish(record_batch* b)
{
    {
        std::lock_guard lock(mutex_);
        ready_.push_back(b);
    }
    changed_.notify_all();
}

record_batch*
batch_queue::take_ready()
{
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return !ready_.empty(); });
    record_batch* b = ready_.front();
    ready_.erase(ready_.begin());
    return b;
}

void
batch_queue::give_back(record_batch* b)
{
    {
        std::lock_guard lock(mutex_);
        empty_.push_back(b);
    }
    changed_.notify_all();
}
