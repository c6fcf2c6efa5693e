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

std::string
bzip2_bytes(int threads)
{
    bzip2_reader* r = bzip2_reader_open(::open("in.log", O_RDONLY), threads);
    if (r == nullptr)
        __builtin_trap();
    std::string out;
    const char* data;
    while (out.size() < output_cap) {
        const std::size_t n = bzip2_reader_read(*r, data);
        if (n == 0)
            break;
        out.append(data, n);
    }
    // Closed with blocks still in flight when the cap cut the reading short.
    bzip2_reader_close(r);
    if (out.size() > output_cap)
        out.resize(output_cap);
    return out;
}

std::string
gzread_bytes()
{
    gzFile f = gzopen("in.log", "rb");
    if (f == nullptr)
        __builtin_trap();
    std::string out;
    char buffer[16384];
    int n;
    while (out.size() < output_cap && (n = gzread(f, buffer, sizeof buffer)) > 0)
        out.append(buffer, static_cast<std::size_t>(n));
    gzclose(f);
    if (out.size() > output_cap)
        out.resize(output_cap);
    return out;
}

std::string
gzip_bytes(gzip_stream& g)
{
    std::string out;
    const char* data;
    while (out.size() < output_cap) {
        const std::size_t n = gzip_stream_read(g, data);
        if (n == 0)
            break;
        out.append(data, n);
    }
    if (out.size() > output_cap)
        out.resize(output_cap);
    return out;
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
