#include "input/gzip_stream.hpp"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include <fcntl.h>
#include <isa-l/igzip_lib.h>
#include <unistd.h>
#include <zlib.h>

#include "common/huge_pages.hpp"

namespace {

constexpr std::size_t in_capacity = 256 * 1024;
constexpr std::size_t out_capacity = 1024 * 1024;
// The log reader always asked gzread for this much; gzread's output before an
// error depends on it, so the replay asks the same.
constexpr unsigned zlib_call = 16384;
// gzread gives nothing of a call that meets an error, which loses up to one
// call's bytes and the inflate output behind it.  Holding this much of ISA-L's
// output back until the input has ended cleanly means a fault found later
// can still be answered with exactly gzread's bytes.
constexpr std::size_t held_back = 64 * 1024;

enum class gz_mode { isal, zlib, ended };

}  // namespace

struct gzip_stream {
    int fd = -1;
    gz_mode how = gz_mode::ended;
    inflate_state state;
    std::unique_ptr<unsigned char[]> in;
    std::unique_ptr<char[]> out;
    std::size_t out_len = 0;      // decoded bytes in out
    std::size_t handed = 0;       // of them, the bytes the last call gave out
    bool input_done = false;      // read(2) met the end of the file
    bool clean_end = false;       // every member checked: nothing is held back
    std::uint64_t delivered = 0;  // bytes given out since the first byte
    gzFile gz = nullptr;          // gzread, replaying the file from its start
    std::uint64_t skip = 0;       // bytes gzread gives again that were given out
};

namespace {

// Moves the unread input to the front and reads more after it.
void
read_input(gzip_stream& g)
{
    inflate_state& s = g.state;
    if (s.avail_in > 0 && s.next_in != g.in.get())
        std::memmove(g.in.get(), s.next_in, s.avail_in);
    s.next_in = g.in.get();
    if (s.avail_in == in_capacity)
        return;
    for (;;) {
        const ssize_t got = ::read(g.fd, g.in.get() + s.avail_in, in_capacity - s.avail_in);
        if (got < 0 && errno == EINTR)
            continue;
        // A read error ends the input like its end; the replay meets the
        // error again and ends where gzread ends.
        if (got <= 0)
            g.input_done = true;
        else
            s.avail_in += static_cast<std::uint32_t>(got);
        return;
    }
}

void
close_zlib(gzip_stream& g)
{
    if (g.gz != nullptr)
        gzclose(g.gz);
    g.gz = nullptr;
}

// From here on gzread reads the file from its first byte, and the bytes that
// were already given out are passed over.
void
switch_to_zlib(gzip_stream& g)
{
    g.how = gz_mode::ended;
    g.out_len = 0;
    g.handed = 0;
    g.skip = g.delivered;
    if (::lseek(g.fd, 0, SEEK_SET) != 0)
        return;
    const int copy = ::dup(g.fd);
    if (copy < 0)
        return;
    g.gz = gzdopen(copy, "rb");
    if (g.gz == nullptr) {
        ::close(copy);
        return;
    }
    g.how = gz_mode::zlib;
}

void
start_member(inflate_state& s)
{
    isal_inflate_reset(&s);
    s.crc_flag = ISAL_GZIP;
}

bool
starts_member(const inflate_state& s)
{
    return s.avail_in >= 2 && s.next_in[0] == 0x1f && s.next_in[1] == 0x8b;
}

// zlib refuses a header with a reserved flag set, ISA-L reads on; the bytes
// after the magic are read first so that gzread can decide.
bool
isal_takes_member(gzip_stream& g)
{
    while (g.state.avail_in < 4 && !g.input_done)
        read_input(g);
    return g.state.avail_in < 4 || (g.state.next_in[3] & 0xe0) == 0;
}

enum class after_member { next, end, fault };

// After a member: another one, or the end of the input.  Anything but a
// member's magic ends it quietly, as gzread ignores trailing garbage.
after_member
next_member(gzip_stream& g)
{
    while (g.state.avail_in < 2 && !g.input_done)
        read_input(g);
    if (!starts_member(g.state))
        return after_member::end;
    if (!isal_takes_member(g))
        return after_member::fault;
    start_member(g.state);
    return after_member::next;
}

int
start(gzip_stream& g)
{
    close_zlib(g);
    g.out_len = 0;
    g.handed = 0;
    g.delivered = 0;
    g.skip = 0;
    g.input_done = false;
    g.clean_end = false;
    g.how = gz_mode::ended;
    if (::lseek(g.fd, 0, SEEK_SET) != 0)
        return 1;
    isal_inflate_init(&g.state);
    g.state.crc_flag = ISAL_GZIP;
    g.state.next_in = g.in.get();
    g.state.avail_in = 0;
    while (g.state.avail_in < 2 && !g.input_done)
        read_input(g);
    g.how = gz_mode::isal;
    // gzread passes a file without the gzip magic through as it is.
    if (!starts_member(g.state) || !isal_takes_member(g))
        switch_to_zlib(g);
    return 0;
}

// Decodes into out after what was held back.  Returns how many bytes from the
// front of out may be given out; 0 when the stream changed its mode or ended.
std::size_t
decode_isal(gzip_stream& g)
{
    if (g.handed > 0) {
        std::memmove(g.out.get(), g.out.get() + g.handed, g.out_len - g.handed);
        g.out_len -= g.handed;
        g.handed = 0;
    }
    inflate_state& s = g.state;
    while (!g.clean_end && g.out_len < out_capacity) {
        if (s.avail_in == 0 && !g.input_done)
            read_input(g);
        s.next_out = reinterpret_cast<std::uint8_t*>(g.out.get() + g.out_len);
        s.avail_out = static_cast<std::uint32_t>(out_capacity - g.out_len);
        const std::uint32_t in_before = s.avail_in;
        const int status = isal_inflate(&s);
        const bool moved = s.avail_in != in_before || out_capacity - s.avail_out != g.out_len;
        g.out_len = out_capacity - s.avail_out;
        // A call that neither reads nor writes would repeat forever.
        if (status < 0 || (!moved && s.block_state != ISAL_BLOCK_FINISH)) {
            switch_to_zlib(g);
            return 0;
        }
        if (s.block_state == ISAL_BLOCK_FINISH) {
            const after_member next = next_member(g);
            if (next == after_member::fault) {
                switch_to_zlib(g);
                return 0;
            }
            g.clean_end = next == after_member::end;
            continue;
        }
        // Output room left means ISA-L wants more input: none comes, so the
        // member is cut short, and gzread decides what of it is given.
        if (s.avail_out > 0 && s.avail_in == 0 && g.input_done) {
            switch_to_zlib(g);
            return 0;
        }
    }
    if (g.clean_end)
        return g.out_len;
    return g.out_len > held_back ? g.out_len - held_back : 0;
}

}  // namespace

gzip_stream*
gzip_stream_open(int fd)
{
    auto* g = new (std::nothrow) gzip_stream;
    if (g != nullptr) {
        g->in.reset(new (std::nothrow) unsigned char[in_capacity]);
        g->out.reset(new (std::nothrow) char[out_capacity]);
    }
    if (g == nullptr || !g->in || !g->out) {
        delete g;
        ::close(fd);
        return nullptr;
    }
    // Both buffers are filled whole from the first read on.
    populate_pages(g->in.get(), in_capacity);
    populate_pages(g->out.get(), out_capacity);
    g->fd = fd;
    start(*g);
    return g;
}

void
gzip_stream_close(gzip_stream* g)
{
    if (g == nullptr)
        return;
    close_zlib(*g);
    if (g->fd >= 0)
        ::close(g->fd);
    delete g;
}

std::size_t
gzip_stream_read(gzip_stream& g, const char*& data)
{
    for (;;) {
        switch (g.how) {
        case gz_mode::ended: return 0;
        case gz_mode::isal: {
            const std::size_t ready = decode_isal(g);
            if (ready == 0) {
                if (g.how == gz_mode::isal)
                    g.how = gz_mode::ended;
                continue;
            }
            g.handed = ready;
            g.delivered += ready;
            data = g.out.get();
            return ready;
        }
        case gz_mode::zlib: {
            const int got = gzread(g.gz, g.out.get(), zlib_call);
            if (got <= 0) {
                g.how = gz_mode::ended;
                return 0;
            }
            std::size_t n = static_cast<std::size_t>(got);
            if (g.skip >= n) {
                g.skip -= n;
                continue;
            }
            data = g.out.get() + g.skip;
            n -= static_cast<std::size_t>(g.skip);
            g.skip = 0;
            g.delivered += n;
            return n;
        }
        }
    }
}

int
gzip_stream_rewind(gzip_stream& g)
{
    return start(g);
}
