#include "input/log_reader.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <bzlib.h>
#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include "common/catalog.hpp"
#include "common/messages.hpp"

void
gz_closer::operator()(gzFile_s* f) const noexcept
{
    gzclose(f);
}

void
bz_read_closer::operator()(void* b) const noexcept
{
    int bzerror;
    BZ2_bzReadClose(&bzerror, b);
}

namespace {

bool
ends_with(const char* name, const char* suffix)
{
    const std::size_t n = std::strlen(name);
    const std::size_t s = std::strlen(suffix);
    return n >= s && std::strcmp(name + n - s, suffix) == 0;
}

}  // namespace

log_kind
log_kind_of(const char* name)
{
    if (ends_with(name, ".gz"))
        return log_kind::gzip;
    if (ends_with(name, ".bz2"))
        return log_kind::bzip2;
    return log_kind::plain;
}

int
log_reader::open(const char* name)
{
    close();
    empty_block_buffer();
    if (name == nullptr || name[0] == '-') {
        kind_ = log_kind::plain;
        name_.clear();
        is_stdin_ = true;
        file_.reset(stdin);
        return 0;
    }

    is_stdin_ = false;
    name_ = name;
    kind_ = log_kind_of(name);
    const int fd = open_no_follow(name, O_RDONLY);
    if (fd < 0 && errno == ELOOP) {
        warn("%s %s (symlink)\n", msg::cant_open_log, name);
        return 9;
    }
    if (fd >= 0 && attach(fd) == 0)
        return 0;
    if (kind_ == log_kind::plain) {
        std::fprintf(stderr, "%s %s\n", msg::cant_open_log, name);
        return 1;
    }
    std::fprintf(stderr, "%s %s (%d)\n", msg::cant_open_log, name, 2);
    return 2;
}

// Hands the open descriptor to the library of the log's kind, which then owns
// it.  Returns 0, or 1 (the descriptor closed) when the library refuses it.
int
log_reader::attach(int fd)
{
    if (kind_ == log_kind::gzip) {
        gz_.reset(gzdopen(fd, "rb"));
        if (!gz_) {
            ::close(fd);
            return 1;
        }
        return 0;
    }
    file_.reset(fdopen(fd, kind_ == log_kind::plain ? "r" : "rb"));
    if (!file_) {
        ::close(fd);
        return 1;
    }
    if (kind_ == log_kind::bzip2 && !open_bzip2_stream(nullptr, 0)) {
        file_.reset();
        return 1;
    }
    return 0;
}

void
log_reader::close()
{
    bz_.reset();
    gz_.reset();
    file_.reset();
}

int
log_reader::rewind()
{
    empty_block_buffer();
    switch (kind_) {
    case log_kind::plain:
        if (is_stdin_ || !file_)
            return 1;
        std::rewind(file_.get());
        return 0;
    case log_kind::gzip: return gz_ && gzrewind(gz_.get()) == 0 ? 0 : 1;
    case log_kind::bzip2: {
        close();
        const int fd = open_no_follow(name_.c_str(), O_RDONLY);
        return fd >= 0 && attach(fd) == 0 ? 0 : 1;
    }
    }
    return 1;
}

void
log_reader::empty_block_buffer()
{
    count_ = 0;
    cursor_ = 0;
    ended_ = false;
}

bool
log_reader::open_bzip2_stream(const char* unused, int unused_count)
{
    int bzerror;
    // The library reads the leftover bytes of the previous stream from its own
    // copy, so they may come from that stream's buffer.
    BZFILE* b =
        BZ2_bzReadOpen(&bzerror, file_.get(), 0, 0, const_cast<char*>(unused), unused_count);
    if (bzerror != BZ_OK) {
        if (b != nullptr)
            BZ2_bzReadClose(&bzerror, b);
        return false;
    }
    bz_.reset(b);
    return true;
}

int
log_reader::read_bzip2_block()
{
    // A bzip2 file may hold several streams one after another (parallel
    // compressors write them, and so does cat): read them all, as bunzip2 does.
    while (bz_) {
        int bzerror;
        const int got =
            BZ2_bzRead(&bzerror, bz_.get(), block_buffer_, static_cast<int>(block_size));
        if (bzerror == BZ_OK)
            return got;
        if (bzerror != BZ_STREAM_END)
            return -1;

        void* unused = nullptr;
        int unused_count = 0;
        char leftover[BZ_MAX_UNUSED];
        BZ2_bzReadGetUnused(&bzerror, bz_.get(), &unused, &unused_count);
        if (bzerror == BZ_OK && unused_count > 0)
            std::memcpy(leftover, unused, static_cast<std::size_t>(unused_count));
        else
            unused_count = 0;
        bz_.reset();

        bool more = unused_count > 0;
        if (!more) {
            const int c = std::getc(file_.get());
            more = c != EOF;
            if (more)
                std::ungetc(c, file_.get());
        }
        if (more)
            open_bzip2_stream(leftover, unused_count);
        if (got > 0)
            return got;
    }
    return 0;
}

int
log_reader::read_block()
{
    switch (kind_) {
    case log_kind::gzip: return gzread(gz_.get(), block_buffer_, static_cast<unsigned>(block_size));
    case log_kind::bzip2: return read_bzip2_block();
    case log_kind::plain: {
        const std::size_t got = std::fread(block_buffer_, 1, block_size, file_.get());
        return static_cast<int>(got);
    }
    }
    return 0;
}

bool
log_reader::next_line(char (&line)[line_capacity], std::size_t& length)
{
    constexpr std::size_t max_chars = line_capacity - 1;
    std::size_t n = 0;
    while (n < max_chars) {
        if (cursor_ >= count_) {
            const int got = ended_ ? 0 : read_block();
            if (got <= 0) {
                ended_ = true;
                break;
            }
            count_ = got;
            cursor_ = 0;
        }
        std::size_t want = static_cast<std::size_t>(count_ - cursor_);
        if (want > max_chars - n)
            want = max_chars - n;
        const char* from = block_buffer_ + cursor_;
        const void* newline = std::memchr(from, '\n', want);
        const std::size_t take =
            newline != nullptr
                ? static_cast<std::size_t>(static_cast<const char*>(newline) - from) + 1
                : want;
        std::memcpy(line + n, from, take);
        n += take;
        cursor_ += static_cast<int>(take);
        if (newline != nullptr)
            break;
    }
    line[n] = '\0';
    length = n;
    // A last line without its newline is still a record, whatever the kind.
    return n > 0;
}
