#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include <bzlib.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include "input/log_reader.hpp"
#include "test_support.hpp"

namespace {

class LogReader : public scratch_test {
  protected:
    static void write_gzip(const std::string& name, const std::string& content)
    {
        gzFile f = gzopen(name.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        gzwrite(f, content.data(), static_cast<unsigned>(content.size()));
        gzclose(f);
    }
    static void write_bzip2(const std::string& name, const std::string& content,
                            const char* mode = "wb")
    {
        // The stream API appends a whole new stream for mode "ab".
        std::FILE* raw = std::fopen(name.c_str(), mode[0] == 'a' ? "ab" : "wb");
        ASSERT_NE(raw, nullptr);
        int err;
        BZFILE* b = BZ2_bzWriteOpen(&err, raw, 9, 0, 0);
        BZ2_bzWrite(&err, b, const_cast<char*>(content.data()), static_cast<int>(content.size()));
        BZ2_bzWriteClose(&err, b, 0, nullptr, nullptr);
        std::fclose(raw);
    }
    /// Every line the reader delivers.
    static std::vector<std::string> lines_of(log_reader& r)
    {
        std::vector<std::string> out;
        char line[line_capacity];
        std::size_t length;
        while (r.next_line(line, length)) {
            EXPECT_EQ(length, std::strlen(line));
            out.emplace_back(line, length);
        }
        return out;
    }
    static std::vector<std::string> lines_of(const char* name)
    {
        log_reader r;
        EXPECT_EQ(r.open(name), 0);
        return lines_of(r);
    }
    /// Every line the reader delivers, with its length as a text: up to its
    /// first NUL, where the parsers stop.
    static std::vector<std::pair<std::string, std::size_t>> text_lines_of(const char* name)
    {
        log_reader r;
        EXPECT_EQ(r.open(name), 0);
        char line[line_capacity];
        std::size_t length = 0;
        std::vector<std::pair<std::string, std::size_t>> out;
        while (r.next_line(line, length)) {
            EXPECT_EQ(line[length], '\0');
            out.emplace_back(std::string(line, length), std::strlen(line));
        }
        return out;
    }
};

}  // namespace

TEST_F(LogReader, KindFollowsTheName)
{
    EXPECT_EQ(log_kind_of("access.log.gz"), log_kind::gzip);
    EXPECT_EQ(log_kind_of("access.log.bz2"), log_kind::bzip2);
    EXPECT_EQ(log_kind_of("access.gz.log"), log_kind::plain);
    EXPECT_EQ(log_kind_of("gz"), log_kind::plain);
}

TEST_F(LogReader, LastLineWithoutNewlineIsDeliveredForEveryKind)
{
    const std::string content = "one\ntwo\nthree";
    const std::vector<std::string> expected{"one\n", "two\n", "three"};
    write_file("a.log", content);
    write_gzip("a.log.gz", content);
    write_bzip2("a.log.bz2", content);
    EXPECT_EQ(lines_of("a.log"), expected);
    EXPECT_EQ(lines_of("a.log.gz"), expected);
    EXPECT_EQ(lines_of("a.log.bz2"), expected);
}

TEST_F(LogReader, LongLinesComeInPiecesOf4095)
{
    const std::string fits(4094, 'a');
    const std::string exact(4095, 'b');
    const std::string huge(10000, 'c');
    const std::string content = fits + "\n" + exact + "\n" + huge + "\nend\n";
    for (const char* name : {"l.log", "l.log.gz", "l.log.bz2"}) {
        if (name == std::string("l.log"))
            write_file(name, content);
        else if (name == std::string("l.log.gz"))
            write_gzip(name, content);
        else
            write_bzip2(name, content);
        const std::vector<std::string> expected{fits + "\n",
                                                exact,
                                                "\n",
                                                std::string(4095, 'c'),
                                                std::string(4095, 'c'),
                                                std::string(10000 - 8190, 'c') + "\n",
                                                "end\n"};
        EXPECT_EQ(lines_of(name), expected) << name;
    }
}

TEST_F(LogReader, LinesSpanningBlockBoundariesStayWhole)
{
    std::string content;
    std::vector<std::string> expected;
    for (int i = 0; i < 3000; ++i) {
        std::string line =
            "line " + std::to_string(i) + std::string(static_cast<std::size_t>(i % 37), 'x') + "\n";
        content += line;
        expected.push_back(line);
    }
    write_gzip("b.log.gz", content);
    write_file("b.log", content);
    EXPECT_EQ(lines_of("b.log.gz"), expected);
    EXPECT_EQ(lines_of("b.log"), expected);
}

TEST_F(LogReader, EveryGzipMemberAndBzip2StreamIsRead)
{
    write_gzip("m1.gz", "a\nb\n");
    write_gzip("m2.gz", "c\n");
    std::string joined;
    for (const char* part : {"m1.gz", "m2.gz"}) {
        std::FILE* f = std::fopen(part, "rb");
        char buf[4096];
        const std::size_t n = std::fread(buf, 1, sizeof buf, f);
        joined.append(buf, n);
        std::fclose(f);
    }
    write_file("joined.log.gz", joined);
    EXPECT_EQ(lines_of("joined.log.gz"), (std::vector<std::string>{"a\n", "b\n", "c\n"}));

    write_bzip2("joined.log.bz2", "a\nb");
    write_bzip2("joined.log.bz2", "\nc\n", "ab");
    EXPECT_EQ(lines_of("joined.log.bz2"), (std::vector<std::string>{"a\n", "b\n", "c\n"}));
}

TEST_F(LogReader, RewindStartsAgainAtTheFirstLine)
{
    const std::string content = "first\nsecond\n";
    write_file("r.log", content);
    write_gzip("r.log.gz", content);
    write_bzip2("r.log.bz2", content);
    for (const char* name : {"r.log", "r.log.gz", "r.log.bz2"}) {
        log_reader r;
        ASSERT_EQ(r.open(name), 0);
        char line[line_capacity];
        std::size_t length;
        ASSERT_TRUE(r.next_line(line, length));
        EXPECT_EQ(r.rewind(), 0) << name;
        EXPECT_EQ(lines_of(r), (std::vector<std::string>{"first\n", "second\n"})) << name;
        EXPECT_EQ(r.rewind(), 0) << name;
        EXPECT_EQ(lines_of(r).size(), 2u) << name;
    }
}

TEST_F(LogReader, StandardInputIsNamedByADashAndCannotRewind)
{
    log_reader r;
    EXPECT_EQ(r.open("-"), 0);
    EXPECT_TRUE(r.is_stdin());
    EXPECT_EQ(r.rewind(), 1);
    r.close();
    EXPECT_EQ(r.open(nullptr), 0);
    EXPECT_TRUE(r.is_stdin());
    r.close();
    EXPECT_NE(fcntl(0, F_GETFD), -1) << "standard input stays open";
    EXPECT_EQ(std::ferror(stdin), 0);
}

TEST_F(LogReader, EmptyLogHasNoLines)
{
    write_file("e.log", "");
    write_gzip("e.log.gz", "");
    EXPECT_TRUE(lines_of("e.log").empty());
    EXPECT_TRUE(lines_of("e.log.gz").empty());
}

TEST_F(LogReader, CorruptCompressedDataEndsTheInput)
{
    write_file("bad.log.bz2", "this is not bzip2 data\n");
    EXPECT_TRUE(lines_of("bad.log.bz2").empty());
    write_gzip("cut.log.gz", std::string(100000, 'x') + "\n");
    std::FILE* f = std::fopen("cut.log.gz", "rb");
    char buf[64];
    const std::size_t n = std::fread(buf, 1, sizeof buf, f);
    std::fclose(f);
    write_file("cut.log.gz", std::string(buf, n / 2));
    lines_of("cut.log.gz");  // must end, whatever it delivers
}

TEST_F(LogReader, FailuresGiveTheirExitStatuses)
{
    write_file("real.log", "x\n");
    ASSERT_EQ(symlink("real.log", "link.log"), 0);
    log_reader r;
    testing::internal::CaptureStderr();
    EXPECT_EQ(r.open("link.log"), 9);
    EXPECT_EQ(r.open("absent.log.gz"), 2);
    EXPECT_EQ(r.open("absent.log.bz2"), 2);
    EXPECT_EQ(r.open("absent.log"), 1);
    EXPECT_EQ(utf8_of_latin2(testing::internal::GetCapturedStderr()),
              "Błąd: Nie mogę otworzyć pliku logu link.log (symlink)\n"
              "Błąd: Nie mogę otworzyć pliku logu absent.log.gz (2)\n"
              "Błąd: Nie mogę otworzyć pliku logu absent.log.bz2 (2)\n"
              "Błąd: Nie mogę otworzyć pliku logu absent.log\n");

    startup_settings().verbosity = 0;
    testing::internal::CaptureStderr();
    EXPECT_EQ(r.open("link.log"), 9);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST_F(LogReader, LinksAreRefusedForEveryKindDanglingOrNot)
{
    write_file("real.log", "x\n");
    write_gzip("real.log.gz", "x\n");
    write_bzip2("real.log.bz2", "x\n");
    ASSERT_EQ(symlink("real.log", "link.log"), 0);
    ASSERT_EQ(symlink("real.log.gz", "link.log.gz"), 0);
    ASSERT_EQ(symlink("real.log.bz2", "link.log.bz2"), 0);
    ASSERT_EQ(symlink("nowhere.gz", "gone.log.gz"), 0);
    log_reader r;
    testing::internal::CaptureStderr();
    for (const char* name : {"link.log", "link.log.gz", "link.log.bz2", "gone.log.gz"}) {
        EXPECT_EQ(r.open(name), 9) << name;
        EXPECT_FALSE(r.is_open()) << name;
    }
    EXPECT_EQ(utf8_of_latin2(testing::internal::GetCapturedStderr()),
              "Błąd: Nie mogę otworzyć pliku logu link.log (symlink)\n"
              "Błąd: Nie mogę otworzyć pliku logu link.log.gz (symlink)\n"
              "Błąd: Nie mogę otworzyć pliku logu link.log.bz2 (symlink)\n"
              "Błąd: Nie mogę otworzyć pliku logu gone.log.gz (symlink)\n");
}

TEST_F(LogReader, Bzip2RewindRefusesALinkPutInThePlaceOfTheLog)
{
    write_bzip2("r.log.bz2", "first\n");
    write_bzip2("other.bz2", "not this one\n");
    log_reader r;
    ASSERT_EQ(r.open("r.log.bz2"), 0);
    char line[line_capacity];
    std::size_t length;
    ASSERT_TRUE(r.next_line(line, length));
    ASSERT_EQ(unlink("r.log.bz2"), 0);
    ASSERT_EQ(symlink("other.bz2", "r.log.bz2"), 0);
    EXPECT_EQ(r.rewind(), 1);
    EXPECT_FALSE(r.is_open());
    EXPECT_FALSE(r.next_line(line, length));
}

TEST_F(LogReader, OpeningAndClosingKeepsNoDescriptor)
{
    const auto open_descriptors = [] {
        int n = 0;
        for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/fd"))
            ++n;
        return n;
    };
    write_file("d.log", "x\n");
    write_gzip("d.log.gz", "x\n");
    write_bzip2("d.log.bz2", "x\ny\n");
    ASSERT_EQ(symlink("d.log", "l.log"), 0);
    const int before = open_descriptors();
    testing::internal::CaptureStderr();
    for (int i = 0; i < 20; ++i) {
        log_reader r;
        for (const char* name : {"d.log", "d.log.gz", "d.log.bz2"}) {
            ASSERT_EQ(r.open(name), 0);
            ASSERT_EQ(r.rewind(), 0);
            lines_of(r);
        }
        EXPECT_EQ(r.open("l.log"), 9);
        EXPECT_EQ(r.open("absent.log.bz2"), 2);
        EXPECT_EQ(r.open("d.log.gz"), 0);  // left open for the destructor
    }
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(open_descriptors(), before);
}

// A line comes whole with its NULs, and so its text ends at its first NUL,
// wherever it falls: at the start, twice in a line, in a line cut at the
// longest a line may be, across the reader's blocks (plain and gzip, whose
// buffers differ), and in a last line without its newline.
TEST_F(LogReader, TextLengthEndsAtTheFirstNul)
{
    std::string text;
    text += std::string("\0abc\n", 5);
    text += std::string("ab\0cd\0ef\n", 9);
    text += "plain line\n";
    // Lines up to near the end of the reader's first block, then one whose
    // NUL lies in the next block.
    std::vector<std::size_t> expected = {0, 2, 11};
    while (text.size() + 2002 < log_reader::block_size) {
        text += std::string(1000, 'x') + "\n";
        expected.push_back(1001);
    }
    const std::size_t before = log_reader::block_size - text.size() + 100;
    text += std::string(before, 'a') + std::string("\0yyy\n", 5);
    expected.insert(expected.end(), {before, line_capacity - 1, 105, 4});
    text += std::string(5000, 'z').replace(4200, 1, 1, '\0') + "\n";  // read in two pieces
    text += std::string("last\0line", 9);
    write_file("n.log", text);
    write_gzip("n.log.gz", text);
    for (const char* name : {"n.log", "n.log.gz"}) {
        SCOPED_TRACE(name);
        std::vector<std::size_t> lengths;
        for (const auto& line : text_lines_of(name))
            lengths.push_back(line.second);
        EXPECT_EQ(lengths, expected);
    }
}

// Lines of every length around the reader's sixteen-byte steps, each with
// its NUL at every place or none, and NULs after a newline in the same
// step: each line comes whole, and ends as a text at its own first NUL.
TEST_F(LogReader, EveryLineLengthAndNulPlaceIsRead)
{
    std::string text;
    std::vector<std::pair<std::string, std::size_t>> expected;
    for (std::size_t n = 0; n <= 50; ++n) {
        for (std::size_t nul = 0; nul <= n; ++nul) {
            std::string line(n, 'a');
            for (std::size_t i = 0; i < n; ++i)
                line[i] = static_cast<char>('a' + (i + n) % 26);
            if (nul < n)
                line[nul] = '\0';
            line += '\n';
            text += line;
            expected.emplace_back(line, nul < n ? nul : n + 1);  // the newline is text
        }
        // A short line, then one whose step starts with a NUL after the newline.
        text += std::string("x\n\0y\n", 5);
        expected.emplace_back("x\n", 2);
        expected.emplace_back(std::string("\0y\n", 3), 0);
    }
    text += std::string(33, 'q');  // no newline at the end
    expected.emplace_back(std::string(33, 'q'), 33);
    write_file("e.log", text);
    write_gzip("e.log.gz", text);
    for (const char* name : {"e.log", "e.log.gz"})
        EXPECT_EQ(text_lines_of(name), expected) << name;
}
