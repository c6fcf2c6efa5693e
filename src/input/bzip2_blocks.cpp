#include "input/bzip2_blocks.hpp"

#include <array>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include <bzlib.h>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr std::uint64_t block_magic = 0x314159265359;
constexpr std::uint64_t end_magic = 0x177245385090;
constexpr std::uint64_t magic_mask = 0xffffffffffff;
// The log reader always asked BZ2_bzRead for this much; what it gives before
// a fault depends on it, so the sequential path asks the same.
constexpr int sequential_call = 16384;
// That reader gives nothing of a call that meets a fault, so the data of a
// stream goes out only this far behind what has decoded cleanly: a fault
// found later can then be answered with exactly the stream reader's bytes.
constexpr std::size_t held_back = 2 * sequential_call;
constexpr std::size_t read_chunk = 1 << 20;
// libbz2 takes at most 900000 symbols a block, none longer than 20 bits, and
// the tables before them: a longer stretch between two markers is damage.
constexpr std::size_t max_block_bytes = 3 << 20;
constexpr std::size_t window_capacity = max_block_bytes + read_chunk;
constexpr std::size_t window_padding = 8;  // an 8-byte load may start at any byte

enum class item_kind { block, empty_stream, sequential, end };

// One place of the ring: a block to decode, or a mark the scanner left in
// the order of the blocks.
struct bz_job {
    item_kind kind = item_kind::end;
    bool done = false;               // set under the reader's lock
    bool ok = false;                 // decoded with no fault so far
    bool open = false;               // output full before the block ended: strm goes on
    bool ends_stream = false;        // the stream's last block
    bool stream_ok = false;          // its end marker's CRC is that of the blocks
    std::uint64_t stream_start = 0;  // byte offset of the block's stream header
    int level = 9;
    std::vector<unsigned char> packed;  // the block framed as a stream of its own
    std::size_t block_bytes = 0;        // of packed, up to the block's last bit
    // Both buffers hold out_capacity + held_back bytes; a decode fills at most
    // out_capacity, so a short last piece can join the one before it.
    std::unique_ptr<char[]> out;
    std::unique_ptr<char[]> spare;  // an open block's next piece
    std::size_t out_capacity = 0;
    std::size_t out_len = 0;
    std::size_t spare_len = 0;  // not yet given out
    bz_stream strm{};
};

enum class bz_mode { parallel, sequential, ended };

constexpr std::array<std::uint16_t, 256>
make_shift_table()
{
    // Whatever the marker's bit offset s in its first byte, its second byte is
    // made of marker bits only: that byte tells which offsets may hold one.
    std::array<std::uint16_t, 256> table{};
    for (unsigned s = 0; s < 8; ++s) {
        table[(block_magic >> (32 + s)) & 0xff] |= static_cast<std::uint16_t>(1u << s);
        table[(end_magic >> (32 + s)) & 0xff] |= static_cast<std::uint16_t>(0x100u << s);
    }
    return table;
}

constexpr std::array<std::uint16_t, 256> shift_table = make_shift_table();

std::uint64_t
load_be64(const unsigned char* p)
{
    std::uint64_t v = 0;
    for (int i = 0; i < 8; ++i)
        v = (v << 8) | p[i];
    return v;
}

}  // namespace

struct bzip2_reader {
    int fd = -1;
    int workers_wanted = 0;
    bz_mode how = bz_mode::ended;

    // The sequential path: libbz2's stream reader on the descriptor.
    std::FILE* file = nullptr;
    BZFILE* bz = nullptr;
    std::uint64_t skip = 0;  // decoded bytes it gives again that were given out
    std::unique_ptr<char[]> sequential_buffer;

    // The scanner: compressed bytes from win_pos on, and where it stands.
    std::unique_ptr<unsigned char[]> win;
    std::size_t win_len = 0;
    std::uint64_t win_pos = 0;
    bool eof = false;
    bool in_block = false;
    bool scan_done = false;
    std::uint64_t stream_start = 0;  // byte offset of the current stream's header
    int level = 9;
    std::uint64_t block_bit = 0;   // the current block's marker
    std::uint64_t search_bit = 0;  // the first bit not yet searched for a marker
    std::uint32_t combined = 0;    // the stream's CRC from its blocks' CRCs so far

    // The ring of blocks in flight, by ever growing index.
    std::vector<bz_job> ring;
    std::uint64_t head = 0;              // the next to give out
    std::uint64_t tail = 0;              // the next the scanner fills
    std::uint64_t next_decode = 0;       // the next a worker takes
    bool delivering = false;             // ring[head]'s output was given out last
    std::uint64_t stream_delivered = 0;  // bytes given out of the current stream

    std::mutex lock;
    std::condition_variable work_ready;
    std::condition_variable job_done;
    bool stop = false;
    std::vector<std::thread> workers;
};

namespace {

bz_job&
slot(bzip2_reader& r, std::uint64_t index)
{
    return r.ring[index % r.ring.size()];
}

// ---- the sequential path ------------------------------------------------

bool
open_sequential_stream(bzip2_reader& r, const char* unused, int unused_count)
{
    int bzerror;
    // The library reads the leftover bytes of the previous stream from its own
    // copy, so they may come from that stream's buffer.
    BZFILE* b = BZ2_bzReadOpen(&bzerror, r.file, 0, 0, const_cast<char*>(unused), unused_count);
    if (bzerror != BZ_OK) {
        if (b != nullptr)
            BZ2_bzReadClose(&bzerror, b);
        return false;
    }
    r.bz = b;
    return true;
}

void
close_sequential_stream(bzip2_reader& r)
{
    if (r.bz == nullptr)
        return;
    int bzerror;
    BZ2_bzReadClose(&bzerror, r.bz);
    r.bz = nullptr;
}

int
read_sequential_block(bzip2_reader& r)
{
    char* buffer = r.sequential_buffer.get();
    // A bzip2 file may hold several streams one after another (parallel
    // compressors write them, and so does cat): read them all, as bunzip2 does.
    while (r.bz != nullptr) {
        int bzerror;
        const int got = BZ2_bzRead(&bzerror, r.bz, buffer, sequential_call);
        if (bzerror == BZ_OK)
            return got;
        if (bzerror != BZ_STREAM_END)
            return -1;

        void* unused = nullptr;
        int unused_count = 0;
        char leftover[BZ_MAX_UNUSED];
        BZ2_bzReadGetUnused(&bzerror, r.bz, &unused, &unused_count);
        if (bzerror == BZ_OK && unused_count > 0)
            std::memcpy(leftover, unused, static_cast<std::size_t>(unused_count));
        else
            unused_count = 0;
        close_sequential_stream(r);

        bool more = unused_count > 0;
        if (!more) {
            const int c = std::getc(r.file);
            more = c != EOF;
            if (more)
                std::ungetc(c, r.file);
        }
        if (more)
            open_sequential_stream(r, leftover, unused_count);
        if (got > 0)
            return got;
    }
    return 0;
}

std::size_t
read_sequential(bzip2_reader& r, const char*& data)
{
    while (r.how == bz_mode::sequential) {
        const int got = read_sequential_block(r);
        if (got <= 0) {
            r.how = bz_mode::ended;
            break;
        }
        std::size_t n = static_cast<std::size_t>(got);
        if (r.skip >= n) {
            r.skip -= n;
            continue;
        }
        data = r.sequential_buffer.get() + r.skip;
        n -= static_cast<std::size_t>(r.skip);
        r.skip = 0;
        return n;
    }
    return 0;
}

// ---- the workers --------------------------------------------------------

void
stop_workers(bzip2_reader& r)
{
    {
        std::lock_guard<std::mutex> guard(r.lock);
        r.stop = true;
    }
    r.work_ready.notify_all();
    for (std::thread& t : r.workers)
        t.join();
    r.workers.clear();
    for (bz_job& job : r.ring)
        if (job.open)
            BZ2_bzDecompressEnd(&job.strm);
    // The blocks in flight are what the reader holds most of: give it back.
    r.ring.clear();
    r.ring.shrink_to_fit();
    r.win.reset();
}

// Decodes into the buffer from where the job's stream stands; returns the
// bytes written.
std::size_t
decode_more(bz_job& job, char* into)
{
    job.strm.next_out = into;
    job.strm.avail_out = static_cast<unsigned>(job.out_capacity);
    const int status = BZ2_bzDecompress(&job.strm);
    const std::size_t n = job.out_capacity - job.strm.avail_out;
    // A block that fills the buffer goes out in pieces before its CRC is
    // read, so it must be the block the stream holds: libbz2 gives output
    // only once it has read the block's last code, a byte at a time, and a
    // true block's last code ends where the next marker starts.  A false
    // marker cuts a block short, and the decoder then reads the end marker
    // framed after it as codes: what it makes of them is no part of the log.
    if (status == BZ_OK && job.strm.avail_out == 0 && job.strm.total_in_lo32 == job.block_bytes)
        return n;
    // Anything else ends the job; BZ_OK with room left means the input ran
    // out before the block's end.
    job.ok = status == BZ_STREAM_END;
    job.open = false;
    BZ2_bzDecompressEnd(&job.strm);
    return n;
}

void
decode_job(bz_job& job)
{
    // A block holds level * 100000 bytes before its runs of equal bytes are
    // expanded; a log's runs seldom add half as much.  More is decoded later,
    // by the reader, from the same stream.
    const std::size_t capacity = static_cast<std::size_t>(job.level) * 150000;
    if (job.out_capacity < capacity) {
        job.out.reset(new (std::nothrow) char[capacity + held_back]);
        job.spare.reset();
        job.out_capacity = job.out ? capacity : 0;
    }
    job.ok = false;
    job.open = false;
    job.out_len = 0;
    job.spare_len = 0;
    if (!job.out)
        return;
    job.strm = bz_stream{};
    if (BZ2_bzDecompressInit(&job.strm, 0, 0) != BZ_OK)
        return;
    job.ok = true;
    job.open = true;
    job.strm.next_in = reinterpret_cast<char*>(job.packed.data());
    job.strm.avail_in = static_cast<unsigned>(job.packed.size());
    job.out_len = decode_more(job, job.out.get());
}

bool
has_work(bzip2_reader& r)
{
    while (r.next_decode < r.tail && slot(r, r.next_decode).kind != item_kind::block)
        ++r.next_decode;
    return r.next_decode < r.tail;
}

void
worker_main(bzip2_reader* r)
{
    std::unique_lock<std::mutex> guard(r->lock);
    for (;;) {
        r->work_ready.wait(guard, [r] { return r->stop || has_work(*r); });
        if (r->stop)
            return;
        bz_job& job = slot(*r, r->next_decode++);
        guard.unlock();
        decode_job(job);
        guard.lock();
        job.done = true;
        r->job_done.notify_one();
    }
}

void
wait_done(bzip2_reader& r, bz_job& job)
{
    std::unique_lock<std::mutex> guard(r.lock);
    r.job_done.wait(guard, [&job] { return job.done; });
}

// ---- the scanner --------------------------------------------------------

// The first byte the scanner may still need.
std::uint64_t
kept_from(const bzip2_reader& r)
{
    return r.in_block ? r.block_bit / 8 : r.stream_start;
}

// Drops the window's bytes before the kept ones and reads more after the
// rest.  False when nothing more comes.
bool
fill_window(bzip2_reader& r)
{
    if (r.eof)
        return false;
    const std::size_t drop = static_cast<std::size_t>(kept_from(r) - r.win_pos);
    if (drop > 0) {
        std::memmove(r.win.get(), r.win.get() + drop, r.win_len - drop);
        r.win_len -= drop;
        r.win_pos += drop;
    }
    std::size_t room = window_capacity - r.win_len;
    if (room > read_chunk)
        room = read_chunk;
    if (room == 0)
        return false;
    for (;;) {
        const ssize_t got = ::read(r.fd, r.win.get() + r.win_len, room);
        if (got < 0 && errno == EINTR)
            continue;
        // A read error ends the scan; the sequential path meets it again.
        if (got <= 0) {
            r.eof = true;
            return false;
        }
        r.win_len += static_cast<std::size_t>(got);
        std::memset(r.win.get() + r.win_len, 0, window_padding);
        return true;
    }
}

// True when the window holds the bytes before the absolute offset end.
bool
have_bytes(bzip2_reader& r, std::uint64_t end)
{
    while (r.win_pos + r.win_len < end)
        if (!fill_window(r))
            return false;
    return true;
}

// n <= 32 bits from the absolute bit position, which the window holds.
std::uint32_t
bits_at(const bzip2_reader& r, std::uint64_t bit, unsigned n)
{
    const std::uint64_t v = load_be64(r.win.get() + (bit / 8 - r.win_pos));
    return static_cast<std::uint32_t>((v >> (64 - bit % 8 - n)) & ((std::uint64_t{1} << n) - 1));
}

// The first marker of either kind at a bit position from r.search_bit on
// that the window holds whole.  When there is none, the search is moved past
// the positions tested.
bool
find_marker(bzip2_reader& r, std::uint64_t& at, bool& is_end)
{
    const unsigned char* w = r.win.get();
    if (r.win_len < 7)
        return false;
    const std::size_t end = r.win_len - 6;  // a marker starting there has 48 bits
    std::size_t i = static_cast<std::size_t>(r.search_bit / 8 - r.win_pos);
    for (; i < end; ++i) {
        const unsigned candidates = shift_table[w[i + 1]];
        if (candidates == 0)
            continue;
        const std::uint64_t v = load_be64(w + i);
        for (unsigned s = 0; s < 8; ++s) {
            const std::uint64_t bit = (r.win_pos + i) * 8 + s;
            if (bit < r.search_bit)
                continue;
            const std::uint64_t m = (v >> (16 - s)) & magic_mask;
            if (((candidates >> s) & 1) != 0 && m == block_magic) {
                at = bit;
                is_end = false;
                return true;
            }
            if (((candidates >> (8 + s)) & 1) != 0 && m == end_magic) {
                at = bit;
                is_end = true;
                return true;
            }
        }
    }
    if ((r.win_pos + i) * 8 > r.search_bit)
        r.search_bit = (r.win_pos + i) * 8;
    return false;
}

// Frames the bits [from, to) of a block as a stream of one block: the header,
// the block's bits moved to start at a byte, the end marker and, as the
// stream's CRC, the block's own.
void
frame_block(const bzip2_reader& r, bz_job& job, std::uint64_t from, std::uint64_t to,
            std::uint32_t crc)
{
    const std::uint64_t bits = to - from;
    const std::size_t whole = static_cast<std::size_t>(bits / 8);
    job.packed.resize(4 + whole + 12);
    job.block_bytes = 4 + static_cast<std::size_t>((bits + 7) / 8);
    unsigned char* o = job.packed.data();
    o[0] = 'B';
    o[1] = 'Z';
    o[2] = 'h';
    o[3] = static_cast<unsigned char>('0' + r.level);
    o += 4;
    const unsigned char* src = r.win.get() + (from / 8 - r.win_pos);
    const unsigned shift = from % 8;
    if (shift == 0) {
        std::memcpy(o, src, whole);
    } else {
        for (std::size_t j = 0; j < whole; ++j)
            o[j] = static_cast<unsigned char>((src[j] << shift) | (src[j + 1] >> (8 - shift)));
    }
    o += whole;

    std::uint64_t acc = 0;
    unsigned pending = 0;
    const auto put = [&](std::uint64_t value, unsigned n) {
        acc = (acc << n) | value;
        pending += n;
        while (pending >= 8) {
            pending -= 8;
            *o++ = static_cast<unsigned char>(acc >> pending);
        }
    };
    const unsigned rest = static_cast<unsigned>(bits % 8);
    if (rest > 0)
        put(bits_at(r, from + whole * 8, rest), rest);
    put(end_magic >> 24, 24);
    put(end_magic & 0xffffff, 24);
    put(crc, 32);
    if (pending > 0)
        *o++ = static_cast<unsigned char>(acc << (8 - pending));
    job.packed.resize(static_cast<std::size_t>(o - job.packed.data()));
}

void
give_up_scan(bzip2_reader& r, bz_job& job, item_kind kind)
{
    job.kind = kind;
    r.scan_done = true;
}

// Fills the job with the next item in the file's order.  Whatever the
// scanner cannot follow, from a header on, is left to the sequential path.
void
scan_item(bzip2_reader& r, bz_job& job)
{
    job.done = true;
    job.ok = true;
    job.open = false;
    job.ends_stream = false;
    job.stream_ok = true;
    job.out_len = 0;
    job.stream_start = r.stream_start;
    for (;;) {
        if (!r.in_block) {
            // "BZh", the level, and at once a block marker or the end marker
            // with its CRC.
            const std::uint64_t b = r.stream_start;
            have_bytes(r, b + 14);
            const std::size_t avail = static_cast<std::size_t>(r.win_pos + r.win_len - b);
            if (avail == 0 && r.eof)
                return give_up_scan(r, job, item_kind::end);
            const unsigned char* h = r.win.get() + (b - r.win_pos);
            if (avail < 14 || h[0] != 'B' || h[1] != 'Z' || h[2] != 'h' || h[3] < '1' || h[3] > '9')
                return give_up_scan(r, job, item_kind::sequential);
            r.level = h[3] - '0';
            r.combined = 0;
            const std::uint64_t marker = load_be64(h + 4) >> 16;
            if (marker == end_magic) {
                job.kind = item_kind::empty_stream;
                job.stream_ok = bits_at(r, (b + 10) * 8, 32) == 0;
                r.stream_start = b + 14;
                return;
            }
            if (marker != block_magic)
                return give_up_scan(r, job, item_kind::sequential);
            r.in_block = true;
            r.block_bit = (b + 4) * 8;
            r.search_bit = r.block_bit + 80;
            continue;
        }

        std::uint64_t at = 0;
        bool is_end = false;
        if (!find_marker(r, at, is_end)) {
            if (r.win_pos + r.win_len - r.block_bit / 8 > max_block_bytes || !fill_window(r))
                return give_up_scan(r, job, item_kind::sequential);
            continue;
        }
        if (is_end && !have_bytes(r, (at + 80 + 7) / 8))
            return give_up_scan(r, job, item_kind::sequential);
        const std::uint32_t crc = bits_at(r, r.block_bit + 48, 32);
        frame_block(r, job, r.block_bit, at, crc);
        r.combined = ((r.combined << 1) | (r.combined >> 31)) ^ crc;
        job.kind = item_kind::block;
        job.done = false;
        job.level = r.level;
        if (is_end) {
            job.ends_stream = true;
            job.stream_ok = bits_at(r, at + 48, 32) == r.combined;
            r.in_block = false;
            r.stream_start = (at + 80 + 7) / 8;
        } else {
            r.block_bit = at;
            r.search_bit = at + 80;
        }
        return;
    }
}

void
top_up(bzip2_reader& r)
{
    while (!r.scan_done && r.tail - r.head < r.ring.size()) {
        scan_item(r, slot(r, r.tail));
        {
            std::lock_guard<std::mutex> guard(r.lock);
            ++r.tail;
        }
        r.work_ready.notify_one();
    }
}

// ---- the reader ---------------------------------------------------------

// Leaves the rest of the file, from the header of the stream at offset on, to
// libbz2's stream reader, which gives again what was given out of that stream.
void
go_sequential(bzip2_reader& r, std::uint64_t offset)
{
    stop_workers(r);
    r.skip = r.stream_delivered;
    r.how = bz_mode::ended;
    if (!r.sequential_buffer)
        r.sequential_buffer.reset(new (std::nothrow) char[sequential_call]);
    if (!r.sequential_buffer)
        return;
    if (::lseek(r.fd, static_cast<off_t>(offset), SEEK_SET) != static_cast<off_t>(offset))
        return;
    r.file = fdopen(r.fd, "rb");
    if (r.file == nullptr)
        return;
    r.fd = -1;  // the stream owns it now
    if (open_sequential_stream(r, nullptr, 0))
        r.how = bz_mode::sequential;
}

bool
start_workers(bzip2_reader& r)
{
    int n = r.workers_wanted > bzip2_max_workers ? bzip2_max_workers : r.workers_wanted;
    // Two blocks for each worker: one it decodes, one decoded waiting.  And
    // two for the reader: the one given out, and the next, which must have
    // decoded cleanly before it.
    r.ring.resize(static_cast<std::size_t>(2 * n + 2));
    r.win.reset(new (std::nothrow) unsigned char[window_capacity + window_padding]);
    if (!r.win)
        return false;
    try {
        for (int i = 0; i < n; ++i)
            r.workers.emplace_back(worker_main, &r);
    } catch (const std::system_error&) {
        if (r.workers.empty())
            return false;
    }
    return true;
}

// Whether the stream goes on cleanly for held_back bytes after the block at
// the head, or to its checked end.  A false marker inside a block splits it
// into pieces that fail to decode, so nothing goes out before that is known.
// Blocks too small to hold that much in the whole ring (a compressor that
// flushed often) are let through: waiting for more would wait forever.
bool
goes_on_cleanly(bzip2_reader& r)
{
    std::size_t after = 0;
    for (std::uint64_t i = r.head + 1; i < r.tail; ++i) {
        bz_job& next = slot(r, i);
        wait_done(r, next);
        if (next.kind != item_kind::block || !next.ok)
            return false;
        if (next.open)
            return true;
        after += next.out_len;
        if (next.ends_stream)
            return next.stream_ok;
        if (after >= held_back)
            return true;
    }
    return true;
}

// An open block goes on decoding here, into its two buffers by turns.  Its
// piece in out may go out once the next piece has decoded cleanly and holds
// held_back bytes (spare_len is then left set); a shorter last piece joins
// out, and the block is then whole like any other.  False on a fault.
bool
continue_open_block(bz_job& job)
{
    if (!job.spare) {
        job.spare.reset(new (std::nothrow) char[job.out_capacity + held_back]);
        if (!job.spare) {
            BZ2_bzDecompressEnd(&job.strm);
            job.open = false;
            return false;
        }
    }
    job.spare_len = decode_more(job, job.spare.get());
    if (!job.ok)
        return false;
    if (job.open || job.spare_len >= held_back)
        return true;
    std::memcpy(job.out.get() + job.out_len, job.spare.get(), job.spare_len);
    job.out_len += job.spare_len;
    job.spare_len = 0;
    return true;
}

// Gives out the next block that has decoded cleanly and is followed by
// enough that has too, or by its stream's checked end; on anything else the
// rest is read sequentially from the stream's header.
std::size_t
read_parallel(bzip2_reader& r, const char*& data)
{
    if (r.delivering) {
        r.delivering = false;
        bz_job& current = slot(r, r.head);
        if (current.spare_len > 0) {
            // The next piece of an open block becomes the one to give out.
            std::swap(current.out, current.spare);
            current.out_len = current.spare_len;
            current.spare_len = 0;
        } else {
            if (current.ends_stream)
                r.stream_delivered = 0;
            ++r.head;
        }
    }
    for (;;) {
        top_up(r);
        bz_job& job = slot(r, r.head);
        wait_done(r, job);
        bool clean = job.ok;
        switch (job.kind) {
        case item_kind::end:
            stop_workers(r);
            r.how = bz_mode::ended;
            return 0;
        case item_kind::sequential: clean = false; break;
        case item_kind::empty_stream:
            if (job.stream_ok) {
                ++r.head;
                r.stream_delivered = 0;
                continue;
            }
            clean = false;
            break;
        case item_kind::block:
            if (clean && job.open)
                clean = continue_open_block(job);
            if (!clean || job.spare_len > 0)
                break;
            clean = job.ends_stream ? job.stream_ok : goes_on_cleanly(r);
            break;
        }
        if (!clean) {
            go_sequential(r, job.stream_start);
            return read_sequential(r, data);
        }
        r.delivering = true;
        if (job.out_len == 0)
            return read_parallel(r, data);
        data = job.out.get();
        r.stream_delivered += job.out_len;
        return job.out_len;
    }
}

}  // namespace

bzip2_reader*
bzip2_reader_open(int fd, int threads)
{
    auto* r = new (std::nothrow) bzip2_reader;
    if (r == nullptr) {
        ::close(fd);
        return nullptr;
    }
    r->fd = fd;
    r->workers_wanted = threads;
    if (threads >= 2) {
        r->how = bz_mode::parallel;
        return r;
    }
    go_sequential(*r, 0);
    if (r->how != bz_mode::sequential) {
        bzip2_reader_close(r);
        return nullptr;
    }
    return r;
}

void
bzip2_reader_close(bzip2_reader* r)
{
    if (r == nullptr)
        return;
    stop_workers(*r);
    close_sequential_stream(*r);
    if (r->file != nullptr)
        std::fclose(r->file);
    if (r->fd >= 0)
        ::close(r->fd);
    delete r;
}

std::size_t
bzip2_reader_read(bzip2_reader& r, const char*& data)
{
    switch (r.how) {
    case bz_mode::ended: return 0;
    case bz_mode::sequential: return read_sequential(r, data);
    case bz_mode::parallel:
        if (r.ring.empty() && !start_workers(r)) {
            stop_workers(r);
            go_sequential(r, 0);
            return read_sequential(r, data);
        }
        return read_parallel(r, data);
    }
    return 0;
}
