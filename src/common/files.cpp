#include "common/files.hpp"

#include <cerrno>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

int
open_no_follow(const char* path, int flags, int mode)
{
    const int fd = open(path, flags | O_NOFOLLOW, mode);
#if defined(__FreeBSD__) || defined(__DragonFly__)
    // These systems say EMLINK where POSIX says ELOOP for a refused link.
    if (fd < 0 && errno == EMLINK)
        errno = ELOOP;
#elif defined(__NetBSD__)
    if (fd < 0 && errno == EFTYPE)
        errno = ELOOP;
#endif
    return fd;
}

bool
copy_contents(int from, int to)
{
    std::vector<char> buffer(std::size_t{1} << 16);
    off_t offset = 0;
    for (;;) {
        const ssize_t n = pread(from, buffer.data(), buffer.size(), offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n == 0;
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = write(to, buffer.data() + done, static_cast<std::size_t>(n - done));
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0)
                return false;
            done += w;
        }
        offset += n;
    }
}

bool
sync_path(const char* path)
{
    const int fd = open_no_follow(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = fsync(fd) == 0;
    const int saved = errno;
    const bool closed = close(fd) == 0;
    if (!synced)
        errno = saved;
    return synced && closed;
}

owned_file
open_regular_for_reading(const char* path)
{
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat st;
    std::FILE* f = nullptr;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
        f = fdopen(fd, "r");
    if (f == nullptr)
        close(fd);
    return owned_file(f);
}

bool
read_cut_line(std::FILE* f, char* line, std::size_t capacity)
{
    int c = std::getc(f);
    if (c == EOF)
        return false;
    std::size_t n = 0;
    for (; c != EOF && c != '\n'; c = std::getc(f))
        if (n + 1 < capacity)
            line[n++] = static_cast<char>(c);
    line[n] = '\0';
    return true;
}

owned_file
open_for_writing(const char* path)
{
    // The open neither truncates nor waits, so that what stands at the name
    // is looked at first: a FIFO would hold a plain open until someone read
    // it (without waiting it fails at once, or opens when a reader is
    // there), and truncating a file that has other names empties them all.
    int fd = open_no_follow(path, O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0)
        return nullptr;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        errno = ENXIO;
        return nullptr;
    }
    if (st.st_nlink > 1) {
        // The name gets a file of its own; the other names keep theirs.
        close(fd);
        if (unlink(path) != 0)
            return nullptr;
        fd = open_no_follow(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0)
            return nullptr;
    } else if (const int flags = fcntl(fd, F_GETFL);
               flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0 || ftruncate(fd, 0) != 0) {
        const int saved = errno;
        close(fd);
        errno = saved;
        return nullptr;
    }
    std::FILE* f = fdopen(fd, "w");
    if (f == nullptr) {
        const int saved = errno;
        close(fd);
        errno = saved;
    }
    return owned_file(f);
}

bool
close_written(owned_file& f)
{
    std::FILE* s = f.release();
    if (s == nullptr)
        return false;
    bool written = std::fflush(s) == 0 && std::ferror(s) == 0;
    if (s != stdout && s != stderr && std::fclose(s) != 0)
        written = false;
    return written;
}

namespace {

bool
is_symbolic_link(const char* path)
{
    struct stat st;
    return lstat(path, &st) == 0 && S_ISLNK(st.st_mode);
}

// The work file is always a new file of our own.  Whatever else stands at
// its name goes first: truncating it in place would write through a hard
// link into every other name of that file, and a FIFO there would block the
// open until someone read it.  O_EXCL refuses anything that appears between
// the two, a link included.
owned_file
create_work_file(const char* work, replace_status& refused)
{
    if (is_symbolic_link(work)) {
        refused = replace_work_is_link;
        return nullptr;
    }
    refused = replace_cant_open;
    if (unlink(work) != 0 && errno != ENOENT)
        return nullptr;
    const int fd = open_no_follow(work, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        if (errno == EEXIST && is_symbolic_link(work))
            refused = replace_work_is_link;
        return nullptr;
    }
    std::FILE* f = fdopen(fd, "w");
    if (f == nullptr)
        close(fd);
    return owned_file(f);
}

}  // namespace

replace_status
replace_file(const char* live_name, fill_callback fill, void* context)
{
    const std::string work = std::string(live_name) + ".new";
    replace_status refused = replace_cant_open;
    owned_file f = create_work_file(work.c_str(), refused);
    if (!f)
        return refused;

    // The flush and the error flag together cover every write of fill.
    bool failed = fill(f.get(), context) != 0;
    if (std::fflush(f.get()) != 0 || std::ferror(f.get()) != 0)
        failed = true;
    // Without the sync a crash soon after the rename can leave an empty file
    // under the live name: the rename may reach the disk before the data.
    if (!failed && fsync(fileno(f.get())) != 0)
        failed = true;
    if (!close_written(f))
        failed = true;
    if (failed) {
        unlink(work.c_str());
        return replace_write_failed;
    }
    if (std::rename(work.c_str(), live_name) != 0) {
        unlink(work.c_str());
        return replace_rename_failed;
    }
    return replace_done;
}
