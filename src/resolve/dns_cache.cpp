#include "resolve/dns_cache.hpp"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include <fcntl.h>
#include <netdb.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/catalog.hpp"
#include "common/char_classes.hpp"
#include "common/files.hpp"
#include "common/messages.hpp"
#include "common/settings.hpp"

namespace {

// A pre-pass that opened the file just before parvakeep renamed a purged copy
// over it would lock, and fill, a file that no name leads to any more.
constexpr int replaced_file_retries = 3;

bool
same_file(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

int
open_cache(bool for_writing)
{
    dns_cache_close();
    if (!g_settings.dns_cache)
        return 1;
    const char* path = g_settings.dns_cache->c_str();

    // An empty file is no database: the library refuses it, so it goes.
    struct stat st;
    bool missing = false;
    if (stat(path, &st) == 0) {
        if (st.st_size == 0 && unlink(path) == 0)
            missing = true;
    } else if (errno != ENOENT) {
        return 1;
    } else {
        missing = true;
    }
    if (missing && for_writing)
        dns_cache_clear_creation(path);

    for (int attempt = 0;; ++attempt) {
        DB* raw = nullptr;
        if (db_create(&raw, nullptr, 0) != 0) {
            warn("%s %s\n", msg::cant_open_dns_cache, path);
            return 1;
        }
        owned_db db(raw);
        dns_cache_silence(raw);
        const u_int32_t flags = for_writing ? DB_CREATE : DB_RDONLY;
        int fd = -1;
        if (db->open(db.get(), nullptr, path, nullptr, DB_HASH, flags, 0644) != 0 ||
            db->fd(db.get(), &fd) != 0) {
            warn("%s %s\n", msg::cant_open_dns_cache, path);
            return 1;
        }
        if (dns_cache_lock(fd, for_writing ? F_WRLCK : F_RDLCK) != 0) {
            warn("%s %s\n", msg::cant_lock_dns_cache, path);
            return 1;
        }
        if (for_writing) {
            struct stat opened;
            struct stat named;
            const bool current =
                fstat(fd, &opened) == 0 && stat(path, &named) == 0 && same_file(opened, named);
            if (!current) {
                if (attempt + 1 < replaced_file_retries)
                    continue;  // closing the handle releases the lock
                warn("%s %s\n", msg::cant_lock_dns_cache, path);
                return 1;
            }
        }
        g_dns_cache.db = std::move(db);
        g_dns_cache.fd = fd;
        return 0;
    }
}

// parvakeep's purge writes its successor under ".new" and refuses to start
// over a leftover one: a killed pre-pass must not leave it that name.
constexpr const char* successor_suffix = ".next";

// Moves the pre-pass's writes to a copy of the named file.  False when no
// copy can be made (a directory the run may not write in, say): the stores
// then go to the file itself, as they must without one.
bool
begin_successor()
{
    dns_cache_handle& c = g_dns_cache;
    DB* named = c.db.get();
    struct stat st;
    if (named->sync(named, 0) != 0 || fstat(c.fd, &st) != 0)
        return false;
    // A link stays a link: the successor goes beside the file it leads to.
    char* real = realpath(g_settings.dns_cache->c_str(), nullptr);
    if (real == nullptr)
        return false;
    c.target = real;
    std::free(real);
    const std::string next = c.target + successor_suffix;

    // Only the holder of the file's lock makes a successor: one found now is
    // what a killed run left.
    struct stat left;
    if (lstat(next.c_str(), &left) == 0 && !S_ISDIR(left.st_mode))
        unlink(next.c_str());
    const int out = open_no_follow(next.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (out < 0)
        return false;
    // The copy keeps the file's owner where the run may give it (as root),
    // so that the owner's own runs can still write the cache it becomes.
    if (fchown(out, st.st_uid, st.st_gid) != 0 && errno != EPERM) {
        close(out);
        unlink(next.c_str());
        return false;
    }
    bool copied = fchmod(out, st.st_mode & 07777) == 0 && copy_contents(c.fd, out);
    copied = close(out) == 0 && copied;
    DB* raw = nullptr;
    if (copied && db_create(&raw, nullptr, 0) == 0) {
        owned_db copy(raw);
        dns_cache_silence(raw);
        if (raw->open(raw, nullptr, next.c_str(), nullptr, DB_HASH, 0, 0) == 0) {
            c.named = std::move(c.db);
            c.db = std::move(copy);
            c.successor = next;
            return true;
        }
    }
    unlink(next.c_str());
    return false;
}

// Puts the written successor in the file's place.  On any failure the file
// keeps its old records, whole, and the successor goes.
void
commit_successor()
{
    dns_cache_handle& c = g_dns_cache;
    DB* db = c.db.release();
    // Closing writes every page out; the data reaches the disk before the
    // rename, or a crash soon after it could leave a cache with nothing in it.
    const bool written = db->close(db, 0) == 0 && sync_path(c.successor.c_str()) &&
                         std::rename(c.successor.c_str(), c.target.c_str()) == 0;
    if (!written) {
        warn("%s %s\n", msg::cant_write_file, c.successor.c_str());
        unlink(c.successor.c_str());
    }
}

// Gets the stored value of the key, at most one record's bytes of it.
// Returns the library's code; size is the number of bytes read.
int
get_record(const char* key, std::size_t key_length, dns_cache_record& r, std::size_t& size)
{
    DB* db = g_dns_cache.db.get();
    DBT k{};
    DBT d{};
    k.data = const_cast<char*>(key);
    k.size = static_cast<u_int32_t>(key_length);
    d.data = &r;
    d.ulen = sizeof r;
    d.dlen = sizeof r;
    d.doff = 0;
    d.flags = DB_DBT_USERMEM | DB_DBT_PARTIAL;
    const int rc = db->get(db, nullptr, &k, &d, 0);
    size = rc == 0 ? d.size : 0;
    return rc;
}

}  // namespace

int
dns_cache_open_write(std::int64_t store_time)
{
    if (open_cache(true) != 0)
        return 1;
    g_dns_cache.store_time = store_time;
    g_dns_cache.successor_due = true;
    return 0;
}

int
dns_cache_open_read()
{
    if (open_cache(false) != 0)
        return 1;
    progress("%s %s\n", msg::using_dns_cache, g_settings.dns_cache->c_str());
    return 0;
}

bool
is_numeric_address(const char* text)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST;
    addrinfo* result = nullptr;
    if (getaddrinfo(text, "0", &hints, &result) != 0)
        return false;
    freeaddrinfo(result);
    return true;
}

bool
dns_cache_lookup(char (&host)[host_name_capacity + 1])
{
    if (!dns_cache_is_open() || !may_be_numeric(host) || !is_numeric_address(host))
        return false;
    const bool debug = g_settings.debug;
    if (debug)
        std::fprintf(stderr, "Checking %s...", host);

    dns_cache_record r;
    std::size_t size = 0;
    const int rc = get_record(host, std::strlen(host), r, size);
    if (rc == DB_NOTFOUND) {
        if (debug)
            std::fprintf(stderr, " not found\n");
        return false;
    }
    if (rc != 0) {
        if (debug)
            std::fprintf(stderr, " error (%d)\n", rc);
        return false;
    }

    // The file may hold anything: read the name only within the bytes the
    // record has, and never past the host buffer.
    std::size_t length = 0;
    if (size > dns_record_header) {
        const std::size_t room = size - dns_record_header;
        const void* end = std::memchr(r.name, '\0', room);
        length = end != nullptr ? static_cast<std::size_t>(static_cast<const char*>(end) - r.name)
                                : room;
        if (length > host_name_capacity)
            length = host_name_capacity;
    }
    if (length == 0) {
        // An empty name would turn a known address into "Invalid".
        if (debug)
            std::fprintf(stderr, " damaged record\n");
        return false;
    }
    std::memcpy(host, r.name, length);
    host[length] = '\0';
    if (debug)
        std::fprintf(stderr, " found: %s (%ld)\n", host, static_cast<long>(r.cache_time));
    return true;
}

dns_fetch_result
dns_cache_fetch(const char* address, dns_cache_record& out)
{
    if (!dns_cache_is_open())
        return dns_failed;
    dns_cache_record raw;
    std::size_t size = 0;
    const int rc = get_record(address, std::strlen(address), raw, size);
    if (rc == DB_NOTFOUND)
        return dns_missing;
    if (rc != 0)
        return dns_failed;
    dns_record_read(&raw, size, out);
    return dns_found;
}

int
dns_cache_store(const char* address, const char* name, int unresolved)
{
    if (!dns_cache_is_open())
        return 1;
    if (g_dns_cache.successor_due) {
        g_dns_cache.successor_due = false;
        begin_successor();
    }
    char key[host_name_capacity + 1];
    const std::size_t key_length = std::strlen(address);
    int rc = 1;
    if (key_length < sizeof key) {
        for (std::size_t i = 0; i < key_length; ++i)
            key[i] = to_lower(address[i]);
        key[key_length] = '\0';
        dns_cache_record r;
        const std::size_t length =
            dns_record_fill(r, g_dns_cache.store_time, unresolved, name, std::strlen(name));
        lower_locale(r.name, sizeof r.name);
        rc = dns_record_put(g_dns_cache.db.get(), key, key_length, r, length);
    }
    if (rc != 0) {
        if (progress_enabled())
            std::fprintf(stderr, "db_put fail!\n");
        return 1;
    }
    return 0;
}

void
dns_cache_close()
{
    if (!dns_cache_is_open())
        return;
    // The pre-pass's pages reach the file while its lock still keeps the
    // readers out: a reader let in first would find a half-written database.
    dns_cache_handle& c = g_dns_cache;
    if (!c.successor.empty()) {
        commit_successor();
    } else {
        DB* db = c.db.get();
        db->sync(db, 0);
    }
    dns_cache_lock(c.fd, F_UNLCK);
    c.db.reset();
    c.named.reset();
    c.fd = -1;
    c.target.clear();
    c.successor.clear();
    c.successor_due = false;
    c.store_time = 0;
}
