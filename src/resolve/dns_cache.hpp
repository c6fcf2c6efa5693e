// The DNS cache file: a Berkeley DB hash from address texts to
// dns_cache_record values.  The analyzer's pre-pass writes it and the record
// loop reads it; parvakeep edits it.  The record layout, the store rule, the
// expiry rule and the lock are inline here, so that parvakeep shares them
// without linking the analyzer or reading its settings.
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include <db.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/records.hpp"
#include "resolve/db_handles.hpp"

// ---- the record, shared by both programs

/// The value stored under an address.  Integers are in the host's byte order.
struct dns_cache_record {
    std::int64_t cache_time;  // seconds since 1970 when stored; 0 never expires
    std::int32_t unresolved;  // 1: no reverse name, the name is the address itself
    char name[260];           // the name and its zero byte, then zero padding
};
static_assert(offsetof(dns_cache_record, unresolved) == 8);
static_assert(offsetof(dns_cache_record, name) == 12);
static_assert(sizeof(dns_cache_record) == 272);

/// Bytes before the name: the time and the flag.
inline constexpr std::size_t dns_record_header = offsetof(dns_cache_record, name);

/// The longest name a record holds; longer names keep their last characters,
/// which carry the domain.
inline constexpr std::size_t dns_record_name_max = 255;

/// The longest address parvakeep adds, imports or shows.
inline constexpr std::size_t dns_key_max = 47;

/// A record's length: (n + 24) rounded down to a multiple of 8.
constexpr std::size_t
dns_record_length(std::size_t name_length)
{
    return (name_length + 24) & ~std::size_t{7};
}
static_assert(dns_record_length(dns_record_name_max) == sizeof(dns_cache_record));

/// Fills r (zeroed first) and returns its length.  A name longer than
/// dns_record_name_max keeps its last characters.  The case is left alone.
inline std::size_t
dns_record_fill(dns_cache_record& r, std::int64_t cache_time, std::int32_t unresolved,
                const char* name, std::size_t name_length)
{
    if (name_length > dns_record_name_max) {
        name += name_length - dns_record_name_max;
        name_length = dns_record_name_max;
    }
    std::memset(&r, 0, sizeof r);
    r.cache_time = cache_time;
    r.unresolved = unresolved;
    std::memcpy(r.name, name, name_length);
    return dns_record_length(name_length);
}

/// Copies a stored value into r, at most sizeof r bytes, zero-filling what
/// the value lacks and ending the name within the buffer whatever the file
/// holds.  Returns false when the value is too short to hold even an empty
/// name (a damaged or foreign record).
inline bool
dns_record_read(const void* data, std::size_t size, dns_cache_record& r)
{
    const std::size_t n = size < sizeof r ? size : sizeof r;
    std::memset(&r, 0, sizeof r);
    if (n != 0)
        std::memcpy(&r, data, n);
    r.name[sizeof r.name - 1] = '\0';
    return size > dns_record_header;
}

/// Puts the record's first length bytes under the key, replacing any
/// record there.  Returns 0 or the Berkeley DB error code.
inline int
dns_record_put(DB* db, const char* key, std::size_t key_length, const dns_cache_record& r,
               std::size_t length)
{
    DBT k{};
    DBT d{};
    k.data = const_cast<char*>(key);
    k.size = static_cast<u_int32_t>(key_length);
    d.data = const_cast<dns_cache_record*>(&r);
    d.size = static_cast<u_int32_t>(length);
    return db->put(db, nullptr, &k, &d, 0);
}

/// Seconds from cache_time to now, saturated instead of overflowing on a
/// time no clock ever gave.
inline std::int64_t
dns_record_age(std::int64_t cache_time, std::int64_t now)
{
    std::int64_t age;
    if (__builtin_sub_overflow(now, cache_time, &age))
        return cache_time < 0 ? INT64_MAX : INT64_MIN;
    return age;
}

/// True when a record stored at cache_time needs resolving again: it has a
/// time, and it is more than ttl_days days old.
inline bool
dns_record_is_stale(std::int64_t cache_time, std::int64_t now, int ttl_days)
{
    return cache_time != 0 && dns_record_age(cache_time, now) > std::int64_t{ttl_days} * 86400;
}

/// Takes (F_RDLCK, F_WRLCK) or releases (F_UNLCK) the whole-file lock on
/// fd without waiting.  Returns 0, or the errno of a refusal.
inline int
dns_cache_lock(int fd, short type)
{
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 0;  // to the end, however the file grows
    return fcntl(fd, F_SETLK, &lock) == 0 ? 0 : errno;
}

/// Berkeley DB makes a new database under "__db." and its name, in the same
/// directory, and only then renames it into place.  A run killed in between
/// leaves that file behind, and every later creation waits for it for well
/// over a minute and then fails.  Called before creating a database at path
/// that does not exist, it removes such a leftover (a regular file only).
inline void
dns_cache_clear_creation(const char* path)
{
    std::string temporary(path);
    const std::size_t slash = temporary.rfind('/');
    temporary.insert(slash == std::string::npos ? 0 : slash + 1, "__db.");
    struct stat st;
    if (lstat(temporary.c_str(), &st) == 0 && S_ISREG(st.st_mode))
        unlink(temporary.c_str());
}

/// Keeps the library's own messages off standard error, where each program
/// prints its own texts instead.
inline void
dns_cache_silence(DB* db)
{
    db->set_errcall(db, [](const DB_ENV*, const char*, const char*) {});
}

// ---- the analyzer's one open cache

/// The cache the analyzer has open, if any.
/// The pre-pass does not write the named file in place: a run killed while
/// the library writes its pages out would leave them disagreeing.  Its first
/// store copies the file to a successor beside it, and the close renames the
/// written successor over the file, so the name always leads to a whole
/// database, the old one or the new one.
struct dns_cache_handle {
    owned_db db;                  // null while no cache is open; the successor once made
    int fd = -1;                  // the descriptor of the named file, which carries the lock
    owned_db named;               // the named file's handle while db is the successor
    std::string target;           // the file the successor replaces (links resolved)
    std::string successor;        // the successor's path; empty while there is none
    bool successor_due = false;   // the pre-pass's first store is still to make it
    std::int64_t store_time = 0;  // cache_time of the records the pre-pass stores
};

/// The one process-wide handle (defined in dns_cache.cpp for now).
extern dns_cache_handle g_dns_cache;

/// Opens or creates the DNSCache file for the pre-pass under the exclusive
/// lock; records stored until the close get store_time.  Returns 0 when the
/// cache is open, 1 when there is none (no DNSCache, or it cannot be
/// examined, opened or locked: the messages are printed here).
[[nodiscard]] int dns_cache_open_write(std::int64_t store_time);

/// Opens the DNSCache file read-only under the shared lock for the record
/// loop and says so at verbosity 2.  Returns 0 when it is open, 1 as above;
/// on 1 the caller forgets DNSCache for the rest of the run.
[[nodiscard]] int dns_cache_open_read();

/// True while a cache is open.
inline bool
dns_cache_is_open()
{
    return g_dns_cache.db != nullptr;
}

/// False for a text that cannot be a numeric address: those are made of
/// hexadecimal digits, ".", ":" and "x" up to their scope ("%eth0").  Most
/// names fail here without a library call.
inline bool
may_be_numeric(const char* text)
{
    if (*text == '\0')
        return false;
    for (const char* p = text; *p != '\0' && *p != '%'; ++p) {
        const char c = *p;
        const bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        if (!hex && c != '.' && c != ':' && c != 'x' && c != 'X')
            return false;
    }
    return true;
}

/// True when getaddrinfo takes the text as a numeric address (AI_NUMERICHOST).
bool is_numeric_address(const char* text);

/// The record loop's lookup: when a cache is open and host is a numeric
/// address with a record, host becomes the record's name (at most 255
/// characters).  Names and unknown addresses stay as they are.  Returns true
/// when host was replaced.  Debug traces each lookup on standard error.
bool dns_cache_lookup(char (&host)[host_name_capacity + 1]);

/// A name that is the two bytes 16, 2 is the start of an IPv4 socket
/// address stored by mistake: the record loop puts the logged address back.
inline bool
dns_name_is_socket_address(const char* name)
{
    return name[0] == 0x10 && name[1] == 0x02 && name[2] == '\0';
}

/// What the pre-pass learns of an address.
enum dns_fetch_result : int { dns_found = 0, dns_missing = 1, dns_failed = 2 };

/// Reads the record stored under the address text as it is.
dns_fetch_result dns_cache_fetch(const char* address, dns_cache_record& out);

/// Stores name under address, both lower-cased, with the open cache's store
/// time; replaces an older record.  Returns 0, or 1 when no cache is open or
/// the put fails ("db_put fail!" at verbosity 2).
int dns_cache_store(const char* address, const char* name, int unresolved);

/// Writes the cache out (renaming a pre-pass's successor over the file),
/// releases the lock and closes the file.  Harmless when nothing is open.
void dns_cache_close();
