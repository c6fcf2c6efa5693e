// The compressed-log readers against the library readers they replace: ISA-L
// against zlib's gzread, the block-parallel bzip2 reader against libbz2's
// stream reader (the path PARVA_THREADS=1 takes).
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <bzlib.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include "input/bzip2_blocks.hpp"
#include "input/gzip_stream.hpp"
#include "input/log_reader.hpp"
#include "input/reader_threads.hpp"
#include "test_support.hpp"

namespace {

/// Log-like lines, the same for the same seed.
std::string
log_text(std::size_t bytes, unsigned seed)
{
    std::mt19937 random(seed);
    std::string out;
    char line[256];
    while (out.size() < bytes) {
        const unsigned r = static_cast<unsigned>(random());
        std::snprintf(line, sizeof line,
                      "10.%u.%u.%u - - [10/Oct/2000:13:%02u:%02u -0700] \"GET /p/%u.html "
                      "HTTP/1.0\" %u %u\n",
                      r % 7, (r >> 3) % 256, (r >> 11) % 256, (r >> 5) % 60, (r >> 13) % 60,
                      (r >> 7) % 5000, r % 3 == 0 ? 404u : 200u, (r >> 9) % 90000);
        out += line;
    }
    return out;
}

/// Text of the given letters only, in lines.
std::string
text_of_letters(const std::string& letters, std::size_t bytes, unsigned seed)
{
    std::mt19937 random(seed);
    std::string out;
    while (out.size() < bytes) {
        for (int i = 0; i < 60; ++i)
            out += letters[random() % letters.size()];
        out += '\n';
    }
    return out;
}

std::string
bzip2_of(const std::string& content, int level)
{
    std::string out(content.size() + content.size() / 50 + 1024, '\0');
    unsigned length = static_cast<unsigned>(out.size());
    EXPECT_EQ(BZ2_bzBuffToBuffCompress(out.data(), &length, const_cast<char*>(content.data()),
                                       static_cast<unsigned>(content.size()), level, 0, 0),
              BZ_OK);
    out.resize(length);
    return out;
}

/// The bit offsets at which the 48-bit pattern stands.
std::vector<std::uint64_t>
positions_of(const std::string& bytes, std::uint64_t pattern)
{
    std::vector<std::uint64_t> at;
    std::uint64_t reg = 0;
    std::uint64_t bit = 0;
    for (const char c : bytes)
        for (int b = 7; b >= 0; --b) {
            reg = ((reg << 1) | ((static_cast<unsigned char>(c) >> b) & 1)) & 0xffffffffffff;
            if (++bit >= 48 && reg == pattern)
                at.push_back(bit - 48);
        }
    return at;
}

/// The byte values of three groups of sixteen, from first_group on, whose
/// used-byte bitmaps in a block header spell the 48-bit pattern.
std::string
letters_spelling(std::uint64_t pattern, int first_group)
{
    std::string letters;
    for (int k = 0; k < 3; ++k) {
        const unsigned map = static_cast<unsigned>(pattern >> (32 - 16 * k)) & 0xffff;
        for (int j = 0; j < 16; ++j)
            if (map & (0x8000u >> j))
                letters += static_cast<char>(16 * (first_group + k) + j);
    }
    return letters;
}

std::string
bzip2_read_all(const std::string& name, int threads)
{
    bzip2_reader* r = bzip2_reader_open(::open(name.c_str(), O_RDONLY), threads);
    EXPECT_NE(r, nullptr);
    std::string out;
    const char* data;
    while (std::size_t n = r != nullptr ? bzip2_reader_read(*r, data) : 0)
        out.append(data, n);
    bzip2_reader_close(r);
    return out;
}

/// What the log reader gave for a gzip log before ISA-L: gzread's bytes.
std::string
gzread_all(const std::string& name)
{
    gzFile f = gzopen(name.c_str(), "rb");
    EXPECT_NE(f, nullptr);
    std::string out;
    char buffer[16384];
    int n;
    while ((n = gzread(f, buffer, sizeof buffer)) > 0)
        out.append(buffer, static_cast<std::size_t>(n));
    gzclose(f);
    return out;
}

std::string
gzip_read_all(gzip_stream& g)
{
    std::string out;
    const char* data;
    while (std::size_t n = gzip_stream_read(g, data))
        out.append(data, n);
    return out;
}

std::string
gzip_read_all(const std::string& name)
{
    gzip_stream* g = gzip_stream_open(::open(name.c_str(), O_RDONLY));
    EXPECT_NE(g, nullptr);
    std::string out = g != nullptr ? gzip_read_all(*g) : "";
    gzip_stream_close(g);
    return out;
}

void
put_le32(std::string& s, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        s += static_cast<char>((v >> (8 * i)) & 0xff);
}

enum member_fault { no_fault, bad_crc, bad_length, bad_header_crc };

/// One gzip member written field by field, so that every header field and
/// every fault can be had.
std::string
gzip_member(const std::string& content, unsigned flags = 0, member_fault fault = no_fault)
{
    std::string m = "\x1f\x8b\x08";
    m += static_cast<char>(flags);
    m += std::string("\x01\x02\x03\x04\x00\x03", 6);
    if (flags & 4)
        m += std::string("\x04\x00"
                         "abcd",
                         6);
    if (flags & 8)
        m += std::string("access.log\0", 11);
    if (flags & 16)
        m += std::string("rotated\0", 8);
    if (flags & 2) {
        std::uint32_t h = static_cast<std::uint32_t>(
            crc32(0, reinterpret_cast<const Bytef*>(m.data()), static_cast<uInt>(m.size())));
        if (fault == bad_header_crc)
            h ^= 1;
        m += static_cast<char>(h & 0xff);
        m += static_cast<char>((h >> 8) & 0xff);
    }
    z_stream z{};
    EXPECT_EQ(deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY), Z_OK);
    std::string raw(deflateBound(&z, static_cast<uLong>(content.size())), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(content.data()));
    z.avail_in = static_cast<uInt>(content.size());
    z.next_out = reinterpret_cast<Bytef*>(raw.data());
    z.avail_out = static_cast<uInt>(raw.size());
    EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    raw.resize(z.total_out);
    deflateEnd(&z);
    m += raw;
    const std::uint32_t crc = static_cast<std::uint32_t>(crc32(
        0, reinterpret_cast<const Bytef*>(content.data()), static_cast<uInt>(content.size())));
    put_le32(m, fault == bad_crc ? crc ^ 0x100 : crc);
    put_le32(m, static_cast<std::uint32_t>(content.size()) + (fault == bad_length ? 1 : 0));
    return m;
}

std::string
flipped(std::string s, std::size_t at)
{
    s[at] = static_cast<char>(s[at] ^ 0x55);
    return s;
}

class CompressedLog : public scratch_test {
  protected:
    void TearDown() override
    {
        unsetenv("PARVA_THREADS");
        scratch_test::TearDown();
    }
};

}  // namespace

TEST_F(CompressedLog, ThreadCountComesFromTheEnvironment)
{
    const long online = sysconf(_SC_NPROCESSORS_ONLN);
    unsetenv("PARVA_THREADS");
    EXPECT_EQ(reader_threads(), online < 1 ? 1 : online > 64 ? 64 : online);
    const struct {
        const char* value;
        int threads;
    } cases[] = {{"1", 1}, {"3", 3}, {"500", 64}, {"0", 1}, {"-2", 1}, {"two", 1}, {"", 1}};
    for (const auto& c : cases) {
        setenv("PARVA_THREADS", c.value, 1);
        EXPECT_EQ(reader_threads(), c.threads) << '"' << c.value << '"';
    }
}

TEST_F(CompressedLog, Bzip2BlocksReadBackWholeOnThreadsAndWithout)
{
    // Small blocks (level 1), streams of several levels one after another, an
    // empty stream and a stream of one line.
    const std::string a = log_text(3'000'000, 1);
    const std::string b = log_text(700'000, 2);
    const std::string c = "one line without newline";
    const std::string content = a + b + c;
    write_file("multi.log.bz2", bzip2_of(a, 1) + bzip2_of(b, 9) + bzip2_of("", 5) + bzip2_of(c, 3));
    ASSERT_GT(positions_of(content_of("multi.log.bz2"), 0x314159265359).size(), 30u);
    for (const int threads : {1, 2, 3, bzip2_max_workers + 2})
        EXPECT_TRUE(bzip2_read_all("multi.log.bz2", threads) == content) << threads;

    // Runs of equal bytes decode to far more than a block holds.
    std::string runs;
    for (int i = 0; runs.size() < 12'000'000; ++i)
        runs += std::string(5000 + i % 3000, static_cast<char>('a' + i % 3)) + "\n";
    write_file("runs.log.bz2", bzip2_of(runs, 1) + bzip2_of(a.substr(0, 400'000), 1));
    EXPECT_TRUE(bzip2_read_all("runs.log.bz2", 2) == runs + a.substr(0, 400'000));

    // The log reader takes PARVA_THREADS; its lines put together are the log,
    // read on a thread of its own as the record loop reads it, and again
    // after a rewind.
    for (const char* threads : {"1", "2"}) {
        setenv("PARVA_THREADS", threads, 1);
        log_reader r;
        ASSERT_EQ(r.open("multi.log.bz2"), 0);
        const auto joined_lines = [&r] {
            std::string joined;
            char line[line_capacity];
            std::size_t length;
            while (r.next_line(line, length))
                joined.append(line, length);
            return joined;
        };
        std::string first;
        std::thread([&] { first = joined_lines(); }).join();
        EXPECT_TRUE(first == content) << threads;
        ASSERT_EQ(r.rewind(), 0);
        EXPECT_TRUE(joined_lines() == content) << threads;
    }
}

TEST_F(CompressedLog, FalseBlockMarkersInsideBlocksAreNoBoundaries)
{
    // After a block's marker, CRC, randomised bit and origin pointer come the
    // bitmaps of the bytes it uses, sixteen bits for each group of sixteen
    // byte values: a block of text in the right letters carries a marker there,
    // right after the bitmap of group 0 (the newline).
    constexpr std::uint64_t block_magic = 0x314159265359;
    constexpr std::uint64_t end_magic = 0x177245385090;
    constexpr std::uint64_t bitmap_offset = 48 + 32 + 1 + 24 + 16 + 16;
    const std::string normal = log_text(350'000, 3);
    const std::string tail = log_text(200'000, 6);
    const std::string marked = text_of_letters(letters_spelling(block_magic, 4), 250'000, 4);
    const std::string ended = text_of_letters(letters_spelling(end_magic, 1), 250'000, 5);
    const struct {
        const char* name;
        std::string content;
        std::string file;
        std::uint64_t pattern;
    } cases[] = {
        {"block marker", normal + marked + tail, bzip2_of(normal + marked + tail, 1), block_magic},
        {"end marker", normal + ended + tail, bzip2_of(normal + ended + tail, 1), end_magic},
        {"second stream", tail + marked, bzip2_of(tail, 1) + bzip2_of(marked, 1), block_magic},
    };
    for (const auto& c : cases) {
        const std::vector<std::uint64_t> blocks = positions_of(c.file, block_magic);
        const std::vector<std::uint64_t> crafted = positions_of(c.file, c.pattern);
        int false_markers = 0;
        for (const std::uint64_t p : blocks)
            false_markers += std::count(crafted.begin(), crafted.end(), p + bitmap_offset) > 0;
        EXPECT_GE(false_markers, 2) << c.name;
        write_file("false.log.bz2", c.file);
        for (const int threads : {1, 2})
            EXPECT_TRUE(bzip2_read_all("false.log.bz2", threads) == c.content) << c.name;
    }
}

TEST_F(CompressedLog, DamagedBzip2EndsWhereTheStreamReaderStops)
{
    const std::string a = log_text(1'200'000, 7);
    const std::string b = log_text(500'000, 8);
    const std::string one = bzip2_of(a, 1);
    const std::string two = one + bzip2_of(b, 2);
    const std::size_t n = one.size();
    const struct {
        const char* name;
        std::string file;
    } cases[] = {
        {"cut in the middle", two.substr(0, n / 2)},
        {"cut in the first block", one.substr(0, 3000)},
        {"cut in the header", one.substr(0, 3)},
        {"cut in the end marker", one.substr(0, n - 8)},
        {"cut in the stream CRC", one.substr(0, n - 2)},
        {"cut in the second stream", two.substr(0, n + 9000)},
        {"damaged first block", flipped(one, 100)},
        {"damaged block in the middle", flipped(two, n / 2)},
        {"damaged last block", flipped(one, n - 3000)},
        {"damaged block CRC", flipped(one, 8)},
        {"damaged stream CRC", flipped(one, n - 2)},
        {"damaged second stream", flipped(two, n + 5000)},
        {"garbage after the stream", one + "garbage\n"},
        {"a header and garbage after it", one + "BZh9garbage and more garbage\n"},
        {"a stream cut short after it", one + one.substr(0, 5000)},
        {"no bzip2 at all", "plain text\n"},
        {"empty", ""},
    };
    for (const auto& c : cases) {
        write_file("bad.log.bz2", c.file);
        const std::string sequential = bzip2_read_all("bad.log.bz2", 1);
        EXPECT_TRUE(bzip2_read_all("bad.log.bz2", 2) == sequential)
            << c.name << ": " << bzip2_read_all("bad.log.bz2", 2).size() << " bytes against "
            << sequential.size();
        EXPECT_LE(sequential.size(), (a + b).size()) << c.name;
    }
}

TEST_F(CompressedLog, GzipGivesWhatGzreadGave)
{
    const std::string small = "first line\nsecond line\n";
    const std::string big = log_text(3'000'000, 9);
    const std::string big_member = gzip_member(big);
    const std::size_t n = big_member.size();
    const struct {
        const char* name;
        std::string file;
    } cases[] = {
        {"one member", gzip_member(small)},
        {"members one after another",
         gzip_member(small) + gzip_member("") + big_member + gzip_member("last line, no newline")},
        {"every header field", gzip_member(small, 2 | 4 | 8 | 16)},
        {"bad header CRC", gzip_member(small, 2, bad_header_crc)},
        {"reserved header flag", gzip_member(small, 0x20)},
        {"reserved flag in the second member", gzip_member(small) + gzip_member(small, 0x80)},
        {"no deflate method", flipped(gzip_member(small), 2)},
        {"bad CRC", gzip_member(big, 0, bad_crc)},
        {"bad CRC in the first of two", gzip_member(small, 0, bad_crc) + gzip_member(small)},
        {"bad CRC after a good member", big_member + gzip_member(big, 0, bad_crc)},
        {"bad length", gzip_member(small, 0, bad_length)},
        {"damaged early", flipped(big_member, 2000)},
        {"damaged late", flipped(big_member, n - n / 10)},
        {"damaged second member", gzip_member(small) + flipped(big_member, n / 2)},
        {"cut in the header", big_member.substr(0, 5)},
        {"cut in the data", big_member.substr(0, n / 2)},
        {"cut in the trailer", big_member.substr(0, n - 3)},
        {"cut before the trailer", big_member.substr(0, n - 8)},
        {"cut in the second member", big_member + big_member.substr(0, n / 3)},
        {"garbage after a member", big_member + "garbage\n"},
        {"one magic byte after a member", gzip_member(small) + "\x1f"},
        {"magic and garbage after a member", gzip_member(small) + "\x1f\x8bgarbage"},
        {"zeros after a member", gzip_member(small) + std::string(100, '\0')},
        {"no gzip", "plain text\nnot compressed\n"},
        {"one magic byte", "\x1f"},
        {"the magic alone", "\x1f\x8b"},
        {"empty", ""},
    };
    for (const auto& c : cases) {
        write_file("case.log.gz", c.file);
        const std::string expected = gzread_all("case.log.gz");
        const std::string got = gzip_read_all("case.log.gz");
        EXPECT_TRUE(got == expected)
            << c.name << ": " << got.size() << " bytes, gzread gave " << expected.size();
    }
}

TEST_F(CompressedLog, GzipRewindStartsAtTheFirstByteInEveryMode)
{
    const std::string big = log_text(2'000'000, 10);
    const std::string member = gzip_member(big);
    for (const std::string& file : {member + member, flipped(member, member.size() / 2),
                                    std::string("plain text, not compressed\n")}) {
        write_file("r.log.gz", file);
        const std::string expected = gzread_all("r.log.gz");
        gzip_stream* g = gzip_stream_open(::open("r.log.gz", O_RDONLY));
        ASSERT_NE(g, nullptr);
        const char* data;
        ASSERT_GT(gzip_stream_read(*g, data), 0u);
        ASSERT_EQ(gzip_stream_rewind(*g), 0);
        EXPECT_TRUE(gzip_read_all(*g) == expected);
        ASSERT_EQ(gzip_stream_rewind(*g), 0);
        EXPECT_TRUE(gzip_read_all(*g) == expected);
        gzip_stream_close(g);
    }
}
