#include "driver/record_pipeline.hpp"

#include <algorithm>
#include <cstddef>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "common/huge_pages.hpp"
#include "common/messages.hpp"

void
record_batch::clear()
{
    lines.clear();
    raw_size = 0;
    read_messages.clear();
    packed_size = 0;
    messages.clear();
    last = false;
}

void
record_batch::keep_line(std::size_t length, bool oversized)
{
    prepared_line p{};
    p.raw = static_cast<std::uint32_t>(raw_size);
    p.length = static_cast<std::uint32_t>(length);
    p.oversized = oversized;
    p.read_end = static_cast<std::uint32_t>(read_messages.size());
    raw[raw_size + length] = '\0';
    raw_size += length + 1;
    lines.push_back(p);
}

namespace {

// A packed record: status, bytes, the lengths of the six texts, then the
// texts, each with its NUL, so that unpacking copies known lengths.  The date
// stays behind: the line carries the time read from it, and the counting
// reads nothing else of it.
struct packed_head {
    int status;
    u64 bytes;
    std::uint16_t length[6];
};

// The texts are copied in whole pieces, a few wide moves instead of a call:
// every text's array in the record is whole pieces long, and the packed text
// keeps a piece to spare after its end, so a copy may run on to the end of
// its last piece.  The next text's copy, or the next record's, writes over
// what ran on.
constexpr std::size_t piece = 32;

// A packed referrer's room: its text and NUL, and at least what the
// referrer table may write over it.
std::size_t
referrer_room(std::size_t n)
{
    return std::max(n + 1, direct_referrer_room);
}

// Copies the text in from, its NUL included, in whole pieces and returns its
// length: the copy finds the NUL, so the text is read once.  A piece is read
// only up to the piece that holds the NUL, which is inside the array.
template <std::size_t N>
std::size_t
copy_text(char* to, const char (&from)[N])
{
    static_assert(N % piece == 0);
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (std::size_t i = 0;; i += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + i), bytes);
        const auto nul = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, zero)));
        if (nul != 0)
            return i + static_cast<std::size_t>(__builtin_ctz(nul));
    }
#else
    const std::size_t n = std::strlen(from);
    std::memcpy(to, from, n + 1);
    return n;
#endif
}

// The most a packed record takes.
constexpr std::size_t most_packed = sizeof(packed_head) + sizeof log_record::host +
                                    sizeof log_record::request + sizeof log_record::referrer +
                                    sizeof log_record::agent + sizeof log_record::search_text +
                                    sizeof log_record::user;

// Room for a record and the spare piece; the packed records move to the new
// space, which a batch keeps for the rest of the run.
void
make_room(record_batch& b)
{
    const std::size_t wanted = b.packed_size + most_packed + piece;
    if (wanted <= b.packed_capacity)
        return;
    const std::size_t capacity = std::max({wanted, 2 * b.packed_capacity, std::size_t{1} << 18});
    std::unique_ptr<char[]> more(new char[capacity]);
    if (b.packed_size != 0)
        std::memcpy(more.get(), b.packed, b.packed_size);
    b.grown = std::move(more);
    b.packed = b.grown.get();
    b.packed_capacity = capacity;
}

}  // namespace

// The texts, each copy measuring its text, and the head with their lengths.
void
pack_record(const log_record& r, record_batch& b)
{
    make_room(b);
    char* const start = b.packed + b.packed_size;
    // The head is written field by field where it goes: one wide copy of a
    // head just written piece by piece on the stack would wait for every
    // store before it, the texts' too.
    std::memcpy(start + offsetof(packed_head, status), &r.status, sizeof r.status);
    std::memcpy(start + offsetof(packed_head, bytes), &r.bytes, sizeof r.bytes);
    char* to = start + sizeof(packed_head);
    const auto add = [&](int i, const auto& text) {
        const std::size_t n = copy_text(to, text);
        const auto length = static_cast<std::uint16_t>(n);
        std::memcpy(start + offsetof(packed_head, length) + i * sizeof length, &length,
                    sizeof length);
        to += n + 1;
        return n;
    };
    add(0, r.host);
    add(1, r.request);
    const std::size_t referrer = add(2, r.referrer);
    to += referrer_room(referrer) - (referrer + 1);
    add(3, r.agent);
    add(4, r.search_text);
    add(5, r.user);
    b.packed_size = static_cast<std::size_t>(to - b.packed);
}

void
view_packed_record(record_batch& b, std::uint32_t offset, counted_record& r, text_lengths& lengths)
{
    packed_head head;
    std::memcpy(&head, b.packed + offset, sizeof head);
    r.status = head.status;
    r.bytes = head.bytes;
    char* p = b.packed + offset + sizeof head;
    static_assert(sizeof r.host % piece == 0);
    for (std::size_t i = 0; i <= head.length[0]; i += piece)
        std::memcpy(r.host + i, p + i, piece);
    p += head.length[0] + 1;
    r.request = p;
    p += head.length[1] + 1;
    r.referrer = p;
    p += referrer_room(head.length[2]);
    r.agent = p;
    p += head.length[3] + 1;
    r.search_text = p;
    p += head.length[4] + 1;
    r.user = p;
    lengths = {head.length[1], head.length[2], head.length[3], head.length[5]};
}

batch_sink::batch_sink() : stream_(open_message_stream(this, &batch_sink::write)) {}

batch_sink::~batch_sink()
{
    if (stream_ != nullptr)
        std::fclose(stream_);
}

ssize_t
batch_sink::write(void* self, const char* bytes, std::size_t n)
{
    auto* sink = static_cast<batch_sink*>(self);
    if (sink->to_ != nullptr)
        sink->to_->append(bytes, n);
    return static_cast<ssize_t>(n);
}

namespace {

// A batch's packed records take about as much as its lines; more is grown.
constexpr std::size_t packed_room = record_batch::max_text + record_batch::max_lines * 64;
constexpr std::size_t lines_room = record_batch::max_lines * sizeof(prepared_line);
constexpr std::size_t raw_room = (record_batch::raw_capacity + 63) / 64 * 64;
constexpr std::size_t batch_room = lines_room + raw_room + packed_room;
static_assert(alignof(prepared_line) <= 64 && lines_room % 64 == 0);

}  // namespace

// Two batches for each thread and two more keep every thread fed.  Their
// texts are taken once for the run, in huge pages: in small ones, the first
// pass over them would fault thousands of times.
record_pipeline::record_pipeline(int threads, bool ordered)
    : batches_(2 * static_cast<std::size_t>(threads) + 2), ordered_(ordered)
{
    const std::size_t bytes = batches_.size() * batch_room;
    memory_ = static_cast<char*>(map_huge_pages(whole_huge_pages(bytes)));
    if (memory_ != nullptr) {
        mapped_ = whole_huge_pages(bytes);
    } else {
        heap_.reset(new char[bytes]);
        memory_ = heap_.get();
    }
    char* at = memory_;
    for (record_batch& b : batches_) {
        b.lines.place(reinterpret_cast<prepared_line*>(at));
        b.raw = at + lines_room;
        b.packed = at + lines_room + raw_room;
        b.packed_capacity = packed_room;
        at += batch_room;
        empty_.push_back(&b);
    }
}

record_pipeline::~record_pipeline()
{
    if (mapped_ != 0)
        unmap_huge_pages(memory_, mapped_);
}

void
record_pipeline::start()
{
    {
        std::lock_guard lock(mutex_);
        started_ = true;
    }
    changed_.notify_all();
}

batch_work
record_pipeline::take_to_read()
{
    record_batch* b = empty_.back();
    empty_.pop_back();
    reading_ = true;
    b->clear();
    b->sequence = next_read_++;
    b->first_line = lines_read_ + 1;
    return {batch_work::task::read, b};
}

batch_work
record_pipeline::next(bool counting)
{
    std::unique_lock lock(mutex_);
    for (;;) {
        if (counting) {
            const auto found =
                std::find_if(prepared_.begin(), prepared_.end(),
                             [&](const record_batch* p) { return p->sequence == next_counted_; });
            if (found != prepared_.end()) {
                record_batch* b = *found;
                prepared_.erase(found);
                ++next_counted_;
                return {batch_work::task::count, b};
            }
        }
        const bool can_read = started_ && !reading_ && !ended_ && !empty_.empty();
        if (can_read && waiting_.size() < read_ahead)
            return take_to_read();
        if (!waiting_.empty()) {
            const auto oldest = std::min_element(waiting_.begin(), waiting_.end(),
                                                 [](const record_batch* a, const record_batch* b) {
                                                     return a->sequence < b->sequence;
                                                 });
            record_batch* b = *oldest;
            waiting_.erase(oldest);
            return {batch_work::task::prepare, b};
        }
        if (can_read)
            return take_to_read();
        if (!counting && finished_)
            return {batch_work::task::none, nullptr};
        changed_.wait(lock);
    }
}

void
record_pipeline::read(record_batch* b)
{
    {
        std::lock_guard lock(mutex_);
        lines_read_ += b->lines.size();
        ended_ = ended_ || b->last;
        if (!ordered_) {
            reading_ = false;
            waiting_.push_back(b);
        }
    }
    changed_.notify_all();
}

void
record_pipeline::prepared(record_batch* b)
{
    {
        std::lock_guard lock(mutex_);
        prepared_.push_back(b);
        if (ordered_)
            reading_ = false;
    }
    changed_.notify_all();
}

void
record_pipeline::give_back(record_batch* b)
{
    {
        std::lock_guard lock(mutex_);
        empty_.push_back(b);
    }
    changed_.notify_all();
}

void
record_pipeline::finish()
{
    {
        std::lock_guard lock(mutex_);
        finished_ = true;
    }
    changed_.notify_all();
}
