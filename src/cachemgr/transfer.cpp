// The commands that walk the whole cache into another file: purge (into the
// cache's successor), export (into a tab-separated text) and import (back).
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cachemgr/parvakeep.hpp"
#include "common/files.hpp"

namespace {

std::int64_t
clock_now()
{
    return static_cast<std::int64_t>(std::time(nullptr));
}

// ---- the text format: address, time, flag and name, separated by blanks
// or tabs, one record a line

/// The blanks that end a field, in every locale alike.
bool
is_field_space(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

bool
has_field_space(const char* p, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i)
        if (is_field_space(p[i]) || p[i] == '\0')
            return true;
    return false;
}

struct field {
    const char* text;
    std::size_t length;
};

/// The next field from p on; an empty field at the end of the text.
field
next_field(const char*& p)
{
    while (is_field_space(*p))
        ++p;
    const char* start = p;
    while (*p != '\0' && !is_field_space(*p))
        ++p;
    return {start, static_cast<std::size_t>(p - start)};
}

bool
read_unsigned(field f, u64& value)
{
    if (f.length == 0)
        return false;
    value = 0;
    for (std::size_t i = 0; i < f.length; ++i) {
        const char c = f.text[i];
        if (c < '0' || c > '9')
            return false;
        const auto digit = static_cast<u64>(c - '0');
        if (value > (~0ULL - digit) / 10)
            return false;
        value = value * 10 + digit;
    }
    return true;
}

bool
read_int(field f, int& value)
{
    bool negative = false;
    if (f.length != 0 && (f.text[0] == '-' || f.text[0] == '+')) {
        negative = f.text[0] == '-';
        ++f.text;
        --f.length;
    }
    u64 magnitude;
    if (!read_unsigned(f, magnitude) || magnitude > u64{INT_MAX} + (negative ? 1 : 0))
        return false;
    value = negative ? static_cast<int>(-static_cast<long long>(magnitude))
                     : static_cast<int>(magnitude);
    return true;
}

enum line_kind { line_record, line_comment, line_bad };

struct import_record {
    field address;
    std::int64_t cache_time;
    int unresolved;
    field name;
};

/// Reads one line of an exported file.  An address longer than parvakeep
/// keeps would name another address if it were cut, so it makes the line
/// bad; a long name is cut by the store rule.
line_kind
parse_import_line(const char* line, import_record& r)
{
    const char* p = line;
    r.address = next_field(p);
    if (r.address.length != 0 && r.address.text[0] == '#')
        return line_comment;
    u64 cache_time;
    if (r.address.length == 0 || r.address.length > dns_key_max ||
        !read_unsigned(next_field(p), cache_time) || !read_int(next_field(p), r.unresolved))
        return line_bad;
    r.cache_time = static_cast<std::int64_t>(cache_time);
    r.name = next_field(p);
    return r.name.length != 0 ? line_record : line_bad;
}

/// True when the record comes back unchanged from its line: an address
/// and a name without blanks, the address short enough to import and not
/// taken for a comment.
bool
exportable(const DBT& key, const DBT& data, const dns_cache_record& r)
{
    const auto* address = static_cast<const char*>(key.data);
    const std::size_t name_length = std::strlen(r.name);
    return key.size != 0 && key.size <= dns_key_max && address[0] != '#' &&
           !has_field_space(address, key.size) && data.size > dns_record_header &&
           name_length != 0 && !has_field_space(r.name, name_length);
}

/// Removes the purge's successor file after a failure, so that the next
/// purge can create it again.
int
give_up_successor(owned_db& out, const std::string& path)
{
    out.reset();
    unlink(path.c_str());
    return 1;
}

}  // namespace

int
keep_purge(const keep_options& o, owned_db db)
{
    if (o.verbose)
        std::printf("Purging records over %d days from '%s'\n", o.ttl_days, o.cache_file);
    if (open_cache(db.get(), o.cache_file, 0) != 0)
        return 1;
    int fd = -1;
    int refused = db->fd(db.get(), &fd) != 0 ? EBADF : 0;
    if (refused == 0)
        refused = dns_cache_lock(fd, F_WRLCK);
    if (refused != 0) {
        std::printf("Error: Unable to lock cache file: %s\n", std::strerror(refused));
        return 1;
    }
    owned_cursor c = open_cursor(db.get());
    if (!c)
        return 1;

    DB* raw = nullptr;
    if (db_create(&raw, nullptr, 0) != 0) {
        std::fprintf(stderr, "Error: unable to create output db handle!\n");
        return 1;
    }
    owned_db out(raw);
    dns_cache_silence(raw);
    const std::string new_path = std::string(o.cache_file) + ".new";
    struct stat st;
    if (lstat(new_path.c_str(), &st) != 0 && errno == ENOENT)
        dns_cache_clear_creation(new_path.c_str());
    if (const int rc = out->open(out.get(), nullptr, new_path.c_str(), nullptr, DB_HASH,
                                 DB_CREATE | DB_EXCL, 0644)) {
        std::fprintf(stderr, "Error: %s: %s\n", new_path.c_str(), db_strerror(rc));
        return 1;
    }

    const std::int64_t now = clock_now();
    // Unsigned, so that a time in the future counts as expired too.
    const auto ttl_seconds = static_cast<u64>(std::int64_t{o.ttl_days} * 86400);
    u64 total = 0;
    u64 purged = 0;
    DBT key;
    DBT data;
    int rc;
    while ((rc = next_record(c.get(), key, data, o.cache_file)) == 0) {
        ++total;
        dns_cache_record r;
        dns_record_read(data.data, data.size, r);
        const u64 age = static_cast<u64>(now) - static_cast<u64>(r.cache_time);
        if (r.cache_time != 0 && age > ttl_seconds) {
            ++purged;
            if (o.verbose)
                std::printf("Purging %-16s [%s]\n", key_text(key).text,
                            age_text(r.cache_time, now).text);
            continue;
        }
        // The whole key and value go over as they are, however long.
        if (const int put = out->put(out.get(), nullptr, &key, &data, 0)) {
            std::fprintf(stderr, "Error: db_put fail: %s!\n", db_strerror(put));
            return give_up_successor(out, new_path);
        }
    }
    // A walk cut short would make the purge drop every record after the fault.
    if (rc != DB_NOTFOUND)
        return give_up_successor(out, new_path);
    c.reset();
    if (close_cache(out, new_path.c_str()) != 0) {
        unlink(new_path.c_str());
        return 1;
    }
    if (!sync_path(new_path.c_str())) {
        std::fprintf(stderr, "Error: %s: %s\n", new_path.c_str(), std::strerror(errno));
        unlink(new_path.c_str());
        return 1;
    }
    // The lock is held until the successor has the name: a pre-pass let in
    // earlier would write into the file the rename then throws away.
    if (std::rename(new_path.c_str(), o.cache_file) != 0) {
        std::fprintf(stderr, "Error renaming file: %s\n", std::strerror(errno));
        unlink(new_path.c_str());
        return 1;
    }
    dns_cache_lock(fd, F_UNLCK);
    db.reset();
    if (o.verbose)
        std::printf("%llu of %llu records purged from '%s'\n", purged, total, o.cache_file);
    return 0;
}

int
keep_export(const keep_options& o, owned_db db)
{
    const char* name = o.text_file.c_str();
    if (o.text_file == o.cache_file) {
        std::fprintf(stderr, "Error: Bad export filename: %s\n", name);
        return 1;
    }
    if (open_cache(db.get(), o.cache_file, DB_RDONLY) != 0)
        return 1;
    const owned_cursor c = open_cursor(db.get());
    if (!c)
        return 1;

    // Opened without truncating first: under another name, a hard link or
    // "./" in front, the text file may still be the cache itself.
    const int fd = open_no_follow(name, O_WRONLY | O_CREAT, 0666);
    if (fd < 0) {
        std::fprintf(
            stderr, "%s %s\n",
            errno == ELOOP ? "Error: File is a symlink:" : "Error: Cannot create file:", name);
        return 1;
    }
    owned_file f(fdopen(fd, "w"));
    if (!f) {
        close(fd);
        std::fprintf(stderr, "%s %s\n", "Error: Cannot create file:", name);
        return 1;
    }
    struct stat text_st;
    if (fstat(fd, &text_st) != 0) {
        std::fprintf(stderr, "%s %s\n", "Error: Cannot create file:", name);
        return 1;
    }
    int cache_fd = -1;
    struct stat cache_st;
    if (db->fd(db.get(), &cache_fd) == 0 && fstat(cache_fd, &cache_st) == 0 &&
        text_st.st_dev == cache_st.st_dev && text_st.st_ino == cache_st.st_ino) {
        std::fprintf(stderr, "Error: Bad export filename: %s\n", name);
        return 1;
    }
    if (S_ISREG(text_st.st_mode) && ftruncate(fd, 0) != 0) {
        std::fprintf(stderr, "%s %s\n", "Error: Cannot create file:", name);
        return 1;
    }

    u64 count = 0;
    u64 skipped = 0;
    DBT key;
    DBT data;
    int rc;
    while ((rc = next_record(c.get(), key, data, o.cache_file)) == 0) {
        dns_cache_record r;
        dns_record_read(data.data, data.size, r);
        if (!exportable(key, data, r)) {
            std::fprintf(stderr, "Error: Record of %s cannot be exported: %s\n", key_text(key).text,
                         "its address or name does not fit a line");
            ++skipped;
            continue;
        }
        std::fprintf(f.get(), "%.*s\t%lu\t%d\t%s\n", static_cast<int>(key.size),
                     static_cast<const char*>(key.data), static_cast<unsigned long>(r.cache_time),
                     r.unresolved, r.name);
        ++count;
    }
    const bool written = std::fflush(f.get()) == 0 && std::ferror(f.get()) == 0;
    const bool closed = std::fclose(f.release()) == 0;
    if (rc != DB_NOTFOUND)
        return 1;
    if (!written || !closed) {
        std::fprintf(stderr, "%s %s\n", "Error: Cannot write file:", name);
        return 1;
    }
    if (o.verbose)
        std::printf("%llu records exported from '%s' to file '%s'\n", count, o.cache_file, name);
    return skipped == 0 ? 0 : 1;
}

int
keep_import(const keep_options& o, owned_db db)
{
    const char* name = o.text_file.c_str();
    if (open_cache(db.get(), o.cache_file, o.create ? DB_CREATE | DB_EXCL : 0) != 0)
        return 1;
    const owned_file f(std::fopen(name, "r"));
    if (!f) {
        std::fprintf(stderr, "Error: File not found: %s\n", name);
        close_cache(db, o.cache_file);
        return 1;
    }

    u64 count = 0;
    char line[4096];
    while (std::fgets(line, sizeof line, f.get()) != nullptr) {
        std::size_t length = std::strlen(line);
        const bool whole = (length != 0 && line[length - 1] == '\n') || std::feof(f.get());
        if (length != 0 && line[length - 1] == '\n')
            line[--length] = '\0';
        import_record r;
        const line_kind kind = parse_import_line(line, r);
        if (!whole) {
            // The rest of a long line is no line of its own.
            int ch;
            while ((ch = std::fgetc(f.get())) != EOF && ch != '\n') {
            }
        }
        if (kind == line_comment)
            continue;
        if (kind == line_bad || !whole) {
            std::fprintf(stderr, "Error reading tab file %s\n", name);
            return 1;
        }
        dns_cache_record value;
        const std::size_t value_length =
            dns_record_fill(value, r.cache_time, r.unresolved, r.name.text, r.name.length);
        if (const int put =
                dns_record_put(db.get(), r.address.text, r.address.length, value, value_length)) {
            std::fprintf(stderr, "Error: db_put fail: %s!\n", db_strerror(put));
            std::fprintf(stderr, "Error inserting cache record:\n%s\n", line);
            return 1;
        }
        ++count;
    }
    if (std::ferror(f.get())) {
        std::fprintf(stderr, "Error reading tab file %s\n", name);
        return 1;
    }
    if (close_cache(db, o.cache_file) != 0)
        return 1;
    if (o.verbose)
        std::printf("%llu records imported into '%s' from file '%s'\n", count, o.cache_file, name);
    return 0;
}
