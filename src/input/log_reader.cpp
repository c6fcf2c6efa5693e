#include "input/log_reader.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/catalog.hpp"
#include "common/messages.hpp"
#include "input/bzip2_blocks.hpp"
#include "input/gzip_stream.hpp"
#include "input/reader_threads.hpp"

void
gzip_stream_closer::operator()(gzip_stream* g) const noexcept
{
    gzip_stream_close(g);
}

void
bzip2_reader_closer::operator()(bzip2_reader* r) const noexcept
{
    bzip2_reader_close(r);
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
    size_ = 0;
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

// Hands the open descriptor to the reader of the log's kind, which then owns
// it.  Returns 0, or 1 (the descriptor closed) when the reader cannot be made.
int
log_reader::attach(int fd)
{
    if (kind_ == log_kind::gzip) {
        gz_.reset(gzip_stream_open(fd));
        return gz_ ? 0 : 1;
    }
    if (kind_ == log_kind::bzip2) {
        bz_.reset(bzip2_reader_open(fd, reader_threads()));
        return bz_ ? 0 : 1;
    }
    struct stat st {};
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
        size_ = static_cast<u64>(st.st_size);
    file_.reset(fdopen(fd, "r"));
    if (!file_) {
        ::close(fd);
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
    case log_kind::gzip: return gz_ && gzip_stream_rewind(*gz_) == 0 ? 0 : 1;
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
    data_ = block_buffer_;
    count_ = 0;
    cursor_ = 0;
    ended_ = false;
    bytes_read_.store(0, std::memory_order_relaxed);
}

// Points data_ at the next bytes and returns their count, 0 at the end.
std::size_t
log_reader::read_block()
{
    switch (kind_) {
    case log_kind::gzip: return gz_ ? gzip_stream_read(*gz_, data_) : 0;
    case log_kind::bzip2: return bz_ ? bzip2_reader_read(*bz_, data_) : 0;
    case log_kind::plain:
        data_ = block_buffer_;
        return file_ ? std::fread(block_buffer_, 1, block_size, file_.get()) : 0;
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
            const std::size_t got = ended_ ? 0 : read_block();
            if (got == 0) {
                ended_ = true;
                break;
            }
            count_ = got;
            cursor_ = 0;
            bytes_read_.fetch_add(got, std::memory_order_relaxed);
        }
        std::size_t want = count_ - cursor_;
        if (want > max_chars - n)
            want = max_chars - n;
        const char* from = data_ + cursor_;
        const auto* newline = static_cast<const char*>(std::memchr(from, '\n', want));
        const std::size_t take =
            newline != nullptr ? static_cast<std::size_t>(newline - from) + 1 : want;
        std::memcpy(line + n, from, take);
        n += take;
        cursor_ += take;
        if (newline != nullptr)
            break;
    }
    line[n] = '\0';
    length = n;
    // A last line without its newline is still a record, whatever the kind.
    return n > 0;
}
