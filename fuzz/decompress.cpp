// A compressed log, whole or damaged, through the readers that replace the
// libraries' own: the block-parallel bzip2 reader against libbz2's stream
// reader (one thread), ISA-L's gzip stream against zlib's gzread.  They must
// give the same bytes, the same prefix of a file that is cut or corrupt, and
// a gzip stream the same again after a rewind.  The first byte picks the
// format (bit 0: bzip2) and the bzip2 reader's threads (bits 1-2: 2 to 5);
// the rest is the file.
#include <cstddef>
#include <cstdint>
#include <string>

#include <fcntl.h>
#include <zlib.h>

#include "fuzz_scratch.hpp"
#include "input/bzip2_blocks.hpp"
#include "input/gzip_stream.hpp"

PARVA_FUZZ_INITIALIZE_SCRATCH

namespace {

// A few bytes can stand for gigabytes of runs: each side stops here, and the
// two are compared this far.
constexpr std::size_t output_cap = 8 << 20;

// What a reader gives, chunk by chunk, up to the cap.
template <class Read>
std::string
capped_bytes(Read read)
{
    std::string out;
    const char* data;
    while (out.size() < output_cap) {
        const std::size_t n = read(data);
        if (n == 0)
            break;
        out.append(data, n);
    }
    if (out.size() > output_cap)
        out.resize(output_cap);
    return out;
}

std::string
bzip2_bytes(int threads)
{
    bzip2_reader* r = bzip2_reader_open(::open("in.log", O_RDONLY), threads);
    if (r == nullptr)
        __builtin_trap();
    std::string out = capped_bytes([r](const char*& data) { return bzip2_reader_read(*r, data); });
    // Closed with blocks still in flight when the cap cut the reading short.
    bzip2_reader_close(r);
    return out;
}

std::string
gzread_bytes()
{
    gzFile f = gzopen("in.log", "rb");
    if (f == nullptr)
        __builtin_trap();
    char buffer[16384];
    std::string out = capped_bytes([f, &buffer](const char*& data) {
        const int n = gzread(f, buffer, sizeof buffer);
        data = buffer;
        return n > 0 ? static_cast<std::size_t>(n) : 0;
    });
    gzclose(f);
    return out;
}

std::string
gzip_bytes(gzip_stream& g)
{
    return capped_bytes([&g](const char*& data) { return gzip_stream_read(g, data); });
}

}  // namespace

extern "C" int
LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0 || !fuzz::write_file("in.log", data + 1, size - 1))
        return 0;
    if ((data[0] & 1) != 0) {
        const int threads = 2 + ((data[0] >> 1) & 3);
        if (bzip2_bytes(threads) != bzip2_bytes(1))
            __builtin_trap();
        return 0;
    }
    const std::string expected = gzread_bytes();
    gzip_stream* g = gzip_stream_open(::open("in.log", O_RDONLY));
    if (g == nullptr)
        __builtin_trap();
    // Read from the start, after a rewind from part way and from the end.
    const char* ignored;
    gzip_stream_read(*g, ignored);
    if (gzip_stream_rewind(*g) != 0 || gzip_bytes(*g) != expected)
        __builtin_trap();
    if (gzip_stream_rewind(*g) != 0 || gzip_bytes(*g) != expected)
        __builtin_trap();
    gzip_stream_close(g);
    return 0;
}
