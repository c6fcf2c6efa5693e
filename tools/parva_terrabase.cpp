// Builds a Terrabase file, the analyzer's country table, from a text list of
// address ranges "first,last,cc": a Berkeley DB B-tree keyed by 16-byte
// addresses, each range stored under its last address.
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include <arpa/inet.h>
#include <db.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "resolve/db_handles.hpp"

namespace {

constexpr const char* prog = "parva_terrabase";

using u64 = unsigned long long;

/// An address as the table keys it: IPv6 in network byte order, IPv4 as ::a.b.c.d.
struct address {
    unsigned char b[16];
};

/// The bytes of a key for memcmp, which is the B-tree's default order.
int
compare(const address& x, const address& y)
{
    return std::memcmp(x.b, y.b, sizeof x.b);
}

/// True for the keys of the IPv4 block, ::0.0.0.0 to ::255.255.255.255.
bool
in_ipv4_block(const address& a)
{
    for (int i = 0; i < 12; ++i)
        if (a.b[i] != 0)
            return false;
    return true;
}

bool
is_zero(const address& a)
{
    return in_ipv4_block(a) && a.b[12] == 0 && a.b[13] == 0 && a.b[14] == 0 && a.b[15] == 0;
}

/// The address one below a, which must not be all zero.
address
one_below(address a)
{
    for (int i = 15; i >= 0; --i)
        if (a.b[i]-- != 0)
            break;
    return a;
}

/// Reads an address text, NUL-terminated, into its key.  Returns 0, or 1 when
/// the text is no IPv4 or IPv6 address.
int
parse_address(const char* text, address& a)
{
    if (std::strchr(text, ':') == nullptr) {
        std::memset(a.b, 0, 12);
        return inet_pton(AF_INET, text, a.b + 12) == 1 ? 0 : 1;
    }
    if (inet_pton(AF_INET6, text, a.b) != 1)
        return 1;
    // The analyzer turns a looked-up ::ffff:a.b.c.d into ::a.b.c.d before it
    // searches the table, so a range kept in the mapped form could never be found.
    static const unsigned char mapped_prefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
    if (std::memcmp(a.b, mapped_prefix, sizeof mapped_prefix) == 0) {
        a.b[10] = 0;
        a.b[11] = 0;
    }
    return 0;
}

// ---- reading the list

constexpr std::size_t line_capacity = 64 * 1024;

/// Hands out the input's lines in place, in one buffer read in large blocks.
struct line_reader {
    std::FILE* f = nullptr;
    std::size_t begin = 0;  // the first byte not yet handed out
    std::size_t end = 0;    // one past the last byte read
    bool at_eof = false;
    char buf[line_capacity];
};

enum line_status : int {
    line_ok = 0,
    line_end = 1,       // no line left
    line_too_long = 2,  // the line fills the buffer; its start is at buf[0]
    line_read_error = 3,
};

/// Sets line and length to the next line, its newline dropped (the last line
/// may lack one).  The bytes stay valid until the next call and may be changed.
line_status
next_line(line_reader& r, char*& line, std::size_t& length)
{
    for (;;) {
        char* start = r.buf + r.begin;
        const std::size_t held = r.end - r.begin;
        if (auto* newline = static_cast<char*>(std::memchr(start, '\n', held))) {
            line = start;
            length = static_cast<std::size_t>(newline - start);
            r.begin += length + 1;
            return line_ok;
        }
        if (r.at_eof) {
            if (held == 0)
                return line_end;
            line = start;
            length = held;
            r.begin = r.end;
            return line_ok;
        }
        if (r.begin != 0) {
            std::memmove(r.buf, start, held);
            r.begin = 0;
            r.end = held;
        }
        if (r.end == sizeof r.buf)
            return line_too_long;
        const std::size_t got = std::fread(r.buf + r.end, 1, sizeof r.buf - r.end, r.f);
        r.end += got;
        if (got == 0) {
            if (std::ferror(r.f))
                return line_read_error;
            r.at_eof = true;
        }
    }
}

/// Passes over the rest of a line that line_too_long reported.
line_status
skip_long_line(line_reader& r)
{
    for (;;) {
        r.begin = 0;
        r.end = std::fread(r.buf, 1, sizeof r.buf, r.f);
        if (r.end == 0)
            return std::ferror(r.f) ? line_read_error : line_end;
        if (auto* newline = static_cast<char*>(std::memchr(r.buf, '\n', r.end))) {
            r.begin = static_cast<std::size_t>(newline - r.buf) + 1;
            return line_ok;
        }
    }
}

bool
is_blank(char c)
{
    return c == ' ' || c == '\t';
}

/// A field of a line, blanks trimmed off both ends.
struct field {
    char* text;
    std::size_t length;
};

field
trimmed(char* from, char* to)
{
    while (from < to && is_blank(*from))
        ++from;
    while (to > from && is_blank(to[-1]))
        --to;
    return {from, static_cast<std::size_t>(to - from)};
}

/// Copies a piece of input into shown for a message: cut, with control and
/// non-ASCII bytes written as \xNN so that no input can drive the terminal.
void
show_text(char (&shown)[160], const char* text, std::size_t length)
{
    std::size_t n = 0;
    const std::size_t room = sizeof shown - 8;  // an escape and "..." still fit
    for (std::size_t i = 0; i < length; ++i) {
        if (n >= room) {
            std::memcpy(shown + n, "...", 3);
            n += 3;
            break;
        }
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c < 0x7f && c != '\\') {
            shown[n++] = static_cast<char>(c);
        } else {
            std::snprintf(shown + n, sizeof shown - n, "\\x%02x", c);
            n += 4;
        }
    }
    shown[n] = '\0';
}

// ---- writing the table

/// What one run knows about the input and the table so far.
struct table_run {
    const char* input_name = nullptr;  // as messages name it
    const char* work_path = nullptr;   // the table being built
    DB* db = nullptr;
    bool created = false;         // the work file is this run's, to be removed on failure
    unsigned long line = 0;       // the line being read, from 1
    unsigned long prev_line = 0;  // the line of the range before, 0 before the first
    address prev_last{};          // the last address of the range before
    u64 ranges = 0;
    u64 gaps = 0;
};

[[gnu::format(printf, 2, 3)]] int
refuse_line(const table_run& t, const char* fmt, ...)
{
    std::fprintf(stderr, "%s: %s:%lu: ", prog, t.input_name, t.line);
    std::va_list ap;
    va_start(ap, fmt);
    std::vfprintf(stderr, fmt, ap);
    va_end(ap);
    std::fputc('\n', stderr);
    return 1;
}

int
put_record(const table_run& t, const address& key, const void* data, std::size_t size)
{
    DBT k;
    DBT d;
    std::memset(&k, 0, sizeof k);
    std::memset(&d, 0, sizeof d);
    k.data = const_cast<unsigned char*>(key.b);
    k.size = sizeof key.b;
    d.data = const_cast<void*>(data);
    d.size = static_cast<u_int32_t>(size);
    if (const int rc = t.db->put(t.db, nullptr, &k, &d, DB_NOOVERWRITE)) {
        std::fprintf(stderr, "%s: %s: %s\n", prog, t.work_path, db_strerror(rc));
        return 1;
    }
    return 0;
}

/// Reads an address field in place (its end is overwritten).  Returns 0, or 1
/// after the message.
int
read_address(const table_run& t, field f, address& a)
{
    const bool has_nul = std::memchr(f.text, '\0', f.length) != nullptr;
    // The byte after a first or last field is a blank or the comma: free to overwrite.
    f.text[f.length] = '\0';
    if (!has_nul && parse_address(f.text, a) == 0)
        return 0;
    char shown[160];
    show_text(shown, f.text, f.length);
    return refuse_line(t, "not an address: '%s'", shown);
}

/// Stores the range of one line and the gap before it.  Returns 0, or 1 after
/// the message.
int
add_line(table_run& t, char* line, std::size_t length)
{
    if (length != 0 && line[length - 1] == '\r')
        --length;
    const field whole = trimmed(line, line + length);
    if (whole.length == 0 || whole.text[0] == '#')
        return 0;

    char* end = line + length;
    auto* comma1 = static_cast<char*>(std::memchr(line, ',', length));
    char* comma2 = nullptr;
    if (comma1 != nullptr)
        comma2 = static_cast<char*>(std::memchr(comma1 + 1, ',', end - comma1 - 1));
    if (comma2 == nullptr || std::memchr(comma2 + 1, ',', end - comma2 - 1) != nullptr)
        return refuse_line(t, "expected first,last,cc");
    const field first_text = trimmed(line, comma1);
    const field last_text = trimmed(comma1 + 1, comma2);
    const field code = trimmed(comma2 + 1, end);

    address first;
    address last;
    if (read_address(t, first_text, first) != 0 || read_address(t, last_text, last) != 0)
        return 1;
    auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    if (code.length != 2 || !letter(code.text[0]) || !letter(code.text[1]))
        return refuse_line(t, "country code must be two letters");
    // Keyed together, a range from the IPv4 block into IPv6 would tie an IPv4
    // address to a code for some IPv6 net, or the other way round.
    if (in_ipv4_block(first) != in_ipv4_block(last))
        return refuse_line(t, "first and last address are of different families");
    if (compare(first, last) > 0)
        return refuse_line(t, "first address above the last");
    if (t.prev_line != 0 && compare(first, t.prev_last) <= 0)
        return refuse_line(t, "range overlaps or precedes the one before (line %lu)", t.prev_line);

    // A look-up finds the first key at or above the address, so an address
    // between two ranges would take the upper range's code: a "--" record
    // just below the range closes the gap.  Under the first range the key
    // one below may be the all-zero one, which holds the version.
    const bool gap = t.prev_line != 0 ? compare(one_below(first), t.prev_last) > 0
                                      : !is_zero(first) && !is_zero(one_below(first));
    if (gap) {
        if (put_record(t, one_below(first), "--", 3) != 0)
            return 1;
        ++t.gaps;
    }
    if (is_zero(last)) {
        // The range is the single address ::0, whose key holds the version;
        // its data begins with "--", so the address reads as no country anyway.
        std::fprintf(
            stderr,
            "%s: %s:%lu: the range of the single address :: is not stored: its key holds the version\n",
            prog, t.input_name, t.line);
    } else {
        const char data[3] = {static_cast<char>(code.text[0] | 0x20),
                              static_cast<char>(code.text[1] | 0x20), '\0'};
        if (put_record(t, last, data, sizeof data) != 0)
            return 1;
        ++t.ranges;
    }
    t.prev_last = last;
    t.prev_line = t.line;
    return 0;
}

/// Reads the whole list into the table.  Returns 0, or 1 after the message.
int
add_lines(table_run& t, line_reader& r)
{
    for (;;) {
        char* line = nullptr;
        std::size_t length = 0;
        line_status s = next_line(r, line, length);
        if (s == line_end)
            return 0;
        ++t.line;
        if (s == line_too_long) {
            const field start = trimmed(r.buf, r.buf + r.end);
            if (start.length == 0 || start.text[0] != '#')
                return refuse_line(t, "line too long");
            s = skip_long_line(r);
            if (s == line_ok)
                continue;
            if (s == line_end)
                return 0;
        }
        if (s == line_read_error) {
            std::fprintf(stderr, "%s: %s: %s\n", prog, t.input_name, std::strerror(errno));
            return 1;
        }
        if (add_line(t, line, length) != 0)
            return 1;
    }
}

/// Refuses a symbolic link or anything but a regular file under path.  A
/// missing path is fine.  Returns 0, or 1 after the message.
int
check_target(const char* path, bool& exists)
{
    struct stat st;
    exists = false;
    if (lstat(path, &st) != 0) {
        if (errno == ENOENT)
            return 0;
        std::fprintf(stderr, "%s: %s: %s\n", prog, path, std::strerror(errno));
        return 1;
    }
    if (S_ISLNK(st.st_mode)) {
        std::fprintf(stderr, "%s: %s: is a symbolic link, not written through\n", prog, path);
        return 1;
    }
    if (!S_ISREG(st.st_mode)) {
        std::fprintf(stderr, "%s: %s: not a regular file\n", prog, path);
        return 1;
    }
    exists = true;
    return 0;
}

/// Writes the file's data to the disk before the rename gives it the name:
/// otherwise a crash soon after can leave an empty table under it.
int
sync_file(const char* path)
{
    const int fd = open(path, O_RDONLY | O_NOFOLLOW);
    if (fd < 0)
        return 1;
    const bool synced = fsync(fd) == 0;
    return close(fd) == 0 && synced ? 0 : 1;
}

/// Builds the table at work_path, which does not exist yet.  Returns 0, or 1
/// after the message; the caller removes what is left.
int
build_table(table_run& t, line_reader& r, const char* version)
{
    DB* raw = nullptr;
    if (const int rc = db_create(&raw, nullptr, 0)) {
        std::fprintf(stderr, "%s: %s\n", prog, db_strerror(rc));
        return 1;
    }
    owned_db db(raw);
    db->set_errcall(raw, [](const DB_ENV*, const char*, const char*) {});
    // Real lists run to a million ranges; a larger cache keeps the pages
    // being filled from going out and in again.
    db->set_cachesize(raw, 0, 32 * 1024 * 1024, 1);
    // DB_EXCL makes the open fail on anything already at the name, a
    // symbolic link put there since the check included.
    if (const int rc =
            db->open(raw, nullptr, t.work_path, nullptr, DB_BTREE, DB_CREATE | DB_EXCL, 0644)) {
        std::fprintf(stderr, "%s: %s: %s\n", prog, t.work_path, db_strerror(rc));
        return 1;
    }
    t.db = raw;
    t.created = true;

    std::string version_data("--", 3);
    version_data += version;
    if (put_record(t, address{}, version_data.data(), version_data.size()) != 0)
        return 1;
    if (add_lines(t, r) != 0)
        return 1;

    t.db = nullptr;
    if (const int rc = db.release()->close(raw, 0)) {
        std::fprintf(stderr, "%s: %s: %s\n", prog, t.work_path, db_strerror(rc));
        return 1;
    }
    if (sync_file(t.work_path) != 0) {
        std::fprintf(stderr, "%s: %s: %s\n", prog, t.work_path, std::strerror(errno));
        return 1;
    }
    return 0;
}

void
usage(std::FILE* to)
{
    std::fprintf(to,
                 "Usage: %s [-v VERSION] INPUT OUTPUT\n"
                 "Builds the Terrabase file OUTPUT from INPUT (\"-\" for standard input),\n"
                 "one range a line: first,last,cc (e.g. 1.0.0.0,1.0.0.255,AU), sorted\n"
                 "and without overlaps.\n"
                 "  -v VERSION  the version text stored in the file (default \"unversioned\")\n"
                 "  -h          this help\n",
                 prog);
}

}  // namespace

int
main(int argc, char** argv)
{
    const char* version = "unversioned";
    int opt;
    while ((opt = getopt(argc, argv, "hv:")) != -1) {
        switch (opt) {
        case 'v': version = optarg; break;
        case 'h': usage(stdout); return 0;
        default: usage(stderr); return 1;
        }
    }
    if (argc - optind != 2) {
        usage(stderr);
        return 1;
    }
    const char* input = argv[optind];
    const char* output = argv[optind + 1];
    const bool from_stdin = std::strcmp(input, "-") == 0;

    std::FILE* in = from_stdin ? stdin : std::fopen(input, "r");
    if (in == nullptr) {
        std::fprintf(stderr, "%s: %s: %s\n", prog, input, std::strerror(errno));
        return 1;
    }
    struct input_closer {
        void operator()(std::FILE* f) const noexcept
        {
            if (f != stdin)
                std::fclose(f);
        }
    };
    const std::unique_ptr<std::FILE, input_closer> in_owner(in);

    const std::string work = std::string(output) + ".new";
    bool output_exists = false;
    bool work_exists = false;
    if (check_target(output, output_exists) != 0 || check_target(work.c_str(), work_exists) != 0)
        return 1;
    // A regular .new is what a run that was killed leaves behind.
    if (work_exists && unlink(work.c_str()) != 0) {
        std::fprintf(stderr, "%s: %s: %s\n", prog, work.c_str(), std::strerror(errno));
        return 1;
    }

    auto reader = std::make_unique<line_reader>();
    reader->f = in;
    table_run t;
    t.input_name = from_stdin ? "(standard input)" : input;
    t.work_path = work.c_str();
    if (build_table(t, *reader, version) != 0) {
        // What stands at the name when the exclusive create failed is not ours.
        if (t.created)
            unlink(work.c_str());
        return 1;
    }
    // rename replaces a link that appeared at OUTPUT since the check rather
    // than writing through it.
    if (std::rename(work.c_str(), output) != 0) {
        std::fprintf(stderr, "%s: %s: %s\n", prog, output, std::strerror(errno));
        unlink(work.c_str());
        return 1;
    }
    std::printf("%llu ranges, %llu gaps written to %s\n", t.ranges, t.gaps, output);
    return 0;
}
