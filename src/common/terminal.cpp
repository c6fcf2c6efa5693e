#include "common/terminal.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <iconv.h>
#include <langinfo.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

struct terminal_stream {
    int fd;
    bool utf8;  // the locale's characters are UTF-8: the bytes are converted
};

terminal_stream g_out{STDOUT_FILENO, false};
terminal_stream g_err{STDERR_FILENO, false};
bool g_err_is_terminal = false;
bool g_status_shown = false;
iconv_t g_to_utf8 = reinterpret_cast<iconv_t>(-1);

bool
write_all(int fd, const char* p, std::size_t n)
{
    while (n > 0) {
        const ssize_t w = ::write(fd, p, n);
        if (w < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += w;
        n -= static_cast<std::size_t>(w);
    }
    return true;
}

bool
write_text(const terminal_stream& t, const char* p, std::size_t n)
{
    if (!t.utf8)
        return write_all(t.fd, p, n);
    const std::string utf8 = latin2_to_utf8(p, n);
    return write_all(t.fd, utf8.data(), utf8.size());
}

ssize_t
stream_write(void* cookie, const char* bytes, std::size_t n)
{
    terminal_clear_status();
    return write_text(*static_cast<terminal_stream*>(cookie), bytes, n) ? static_cast<ssize_t>(n)
                                                                        : -1;
}

// The stream in place of *stream when fd is a terminal; buffered as the C
// library buffers a terminal.
void
take_over(std::FILE*& stream, terminal_stream& t, int buffering)
{
    cookie_io_functions_t io{};
    io.write = &stream_write;
    std::FILE* ours = fopencookie(&t, "w", io);
    if (ours == nullptr)
        return;
    std::setvbuf(ours, nullptr, buffering, buffering == _IONBF ? 0 : BUFSIZ);
    stream = ours;
}

std::size_t
terminal_width()
{
    winsize size{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1)
        return size.ws_col;
    return 80;
}

}  // namespace

std::string
latin2_to_utf8(const char* text, std::size_t n)
{
    std::string out;
    if (g_to_utf8 == reinterpret_cast<iconv_t>(-1))
        g_to_utf8 = iconv_open("UTF-8", "ISO-8859-2");
    if (g_to_utf8 == reinterpret_cast<iconv_t>(-1))
        return std::string(text, n);
    // A Latin-2 character takes at most two bytes in UTF-8.
    out.resize(2 * n);
    char* in = const_cast<char*>(text);
    std::size_t in_left = n;
    char* to = out.data();
    std::size_t out_left = out.size();
    while (in_left > 0) {
        if (iconv(g_to_utf8, &in, &in_left, &to, &out_left) != static_cast<std::size_t>(-1))
            break;
        // Not expected for this character set; such a byte goes as it is.
        *to++ = *in++;
        --in_left;
        --out_left;
    }
    out.resize(static_cast<std::size_t>(to - out.data()));
    return out;
}

void
terminal_setup()
{
    const bool utf8 = std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;
    if (isatty(STDOUT_FILENO) == 1) {
        g_out.utf8 = utf8;
        take_over(stdout, g_out, _IOLBF);
    }
    if (isatty(STDERR_FILENO) == 1) {
        g_err.utf8 = utf8;
        g_err_is_terminal = true;
        take_over(stderr, g_err, _IONBF);
    }
}

bool
terminal_shows_status()
{
    return g_err_is_terminal;
}

void
terminal_show_status(const char* text)
{
    if (!g_err_is_terminal)
        return;
    // Whatever standard output holds goes first, so that the line is last.
    std::fflush(stdout);
    std::size_t n = std::strlen(text);
    const std::size_t width = terminal_width() - 1;
    if (n > width)
        n = width;
    std::string line = "\r";
    line.append(text, n);
    line += "\033[K";
    write_text(g_err, line.data(), line.size());
    g_status_shown = true;
}

void
terminal_clear_status()
{
    if (!g_status_shown)
        return;
    g_status_shown = false;
    write_all(STDERR_FILENO, "\r\033[K", 4);
}
