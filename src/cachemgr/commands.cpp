// The commands that read or change single records: list, stats, find, add,
// delete and create, and the helpers every command shares.
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include <sys/stat.h>

#include "cachemgr/parvakeep.hpp"

int
open_cache(DB* db, const char* path, u_int32_t flags)
{
    struct stat st;
    if ((flags & DB_CREATE) != 0 && lstat(path, &st) != 0 && errno == ENOENT)
        dns_cache_clear_creation(path);
    const int rc = db->open(db, nullptr, path, nullptr, DB_HASH, flags, 0644);
    if (rc != 0) {
        std::fprintf(stderr, "Error: %s: %s\n", path, db_strerror(rc));
        return 1;
    }
    return 0;
}

int
close_cache(owned_db& db, const char* path)
{
    DB* raw = db.release();
    const int rc = raw->close(raw, 0);
    if (rc != 0) {
        std::fprintf(stderr, "Error: %s: %s\n", path, db_strerror(rc));
        return 1;
    }
    return 0;
}

owned_cursor
open_cursor(DB* db)
{
    DBC* c = nullptr;
    if (db->cursor(db, nullptr, &c, 0) != 0) {
        std::fprintf(stderr, "Error: Unable to create cursor!\n");
        return nullptr;
    }
    return owned_cursor(c);
}

int
next_record(DBC* c, DBT& key, DBT& data, const char* path)
{
    key = DBT{};
    data = DBT{};
    const int rc = c->get(c, &key, &data, DB_NEXT);
    if (rc != 0 && rc != DB_NOTFOUND)
        std::fprintf(stderr, "Error: %s: %s\n", path, db_strerror(rc));
    return rc;
}

key_text::key_text(const DBT& key)
{
    std::size_t n = key.size < dns_key_max ? key.size : dns_key_max;
    if (const void* nul = std::memchr(key.data, '\0', n))
        n = static_cast<std::size_t>(static_cast<const char*>(nul) - static_cast<char*>(key.data));
    std::memcpy(text, key.data, n);
    text[n] = '\0';
}

void
format_age(char (&out)[48], std::int64_t seconds)
{
    const long long days = seconds / 86400;
    const auto rest = static_cast<int>(seconds % 86400);
    std::snprintf(out, sizeof out, "%02lldd:%02dh:%02dm", days, rest / 3600, rest % 3600 / 60);
}

age_text::age_text(std::int64_t cache_time, std::int64_t now)
{
    if (cache_time == 0)
        std::snprintf(text, sizeof text, "%s", "-permanent-");
    else
        format_age(text, dns_record_age(cache_time, now));
}

void
lower_text(std::string& s)
{
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

namespace {

std::int64_t
clock_now()
{
    return static_cast<std::int64_t>(std::time(nullptr));
}

/// ctime's text, or a stand-in for a time it cannot show (it gives null
/// for years beyond its range, which a damaged record can hold).
const char*
time_text(std::int64_t t)
{
    const auto when = static_cast<std::time_t>(t);
    const char* text = std::ctime(&when);
    return text != nullptr ? text : "(not a valid time)\n";
}

}  // namespace

int
keep_list(const keep_options& o, owned_db db)
{
    if (open_cache(db.get(), o.cache_file, DB_RDONLY) != 0)
        return 1;
    const owned_cursor c = open_cursor(db.get());
    if (!c)
        return 1;
    const std::int64_t now = clock_now();
    if (o.verbose) {
        std::printf("Parvalyte DNS Cache file listing generated %s\n", time_text(now));
        std::printf("IP Address         TTL Age    Hostname\n");
        std::printf("--------------- ------------- "
                    "-----------------------------------------------\n");
    }
    u64 count = 0;
    DBT key;
    DBT data;
    int rc;
    while ((rc = next_record(c.get(), key, data, o.cache_file)) == 0) {
        dns_cache_record r;
        dns_record_read(data.data, data.size, r);
        std::printf("%-15s [%s] %s\n", key_text(key).text, age_text(r.cache_time, now).text,
                    r.name);
        ++count;
    }
    if (rc != DB_NOTFOUND)
        return 1;
    if (o.verbose) {
        std::printf(
            "-----------------------------------------------------------------------------\n");
        std::printf("Filename: %s  (%llu records)\n", o.cache_file, count);
    }
    return 0;
}

int
keep_stats(const keep_options& o, owned_db db)
{
    if (open_cache(db.get(), o.cache_file, DB_RDONLY) != 0)
        return 1;
    const owned_cursor c = open_cursor(db.get());
    if (!c)
        return 1;
    const std::int64_t now = clock_now();
    const std::int64_t ttl_seconds = std::int64_t{o.ttl_days} * 86400;
    u64 total = 0, resolved = 0, unresolved = 0, permanent = 0, over_ttl = 0, size_errors = 0;
    bool aged = false;
    std::int64_t newest = 0;
    std::int64_t oldest = 0;
    DBT key;
    DBT data;
    int rc;
    while ((rc = next_record(c.get(), key, data, o.cache_file)) == 0) {
        ++total;
        dns_cache_record r;
        // Longer than any record with a name of at most 255 characters, or
        // too short to end a name: not a record of ours.
        if (data.size > sizeof r || !dns_record_read(data.data, data.size, r)) {
            ++size_errors;
            continue;
        }
        if (r.unresolved == 0)
            ++resolved;
        else
            ++unresolved;
        if (r.cache_time == 0) {
            ++permanent;
            continue;
        }
        const std::int64_t age = dns_record_age(r.cache_time, now);
        if (!aged || age < newest)
            newest = age;
        if (!aged || age > oldest)
            oldest = age;
        aged = true;
        if (age > ttl_seconds)
            ++over_ttl;
    }
    if (rc != DB_NOTFOUND)
        return 1;
    char newest_text[48];
    char oldest_text[48];
    format_age(newest_text, newest);
    format_age(oldest_text, oldest);
    std::printf("Report generated on: %s", time_text(now));
    std::printf("DNS Cache Filename : %s\n", o.cache_file);
    std::printf("Total Records      : %llu\n", total);
    std::printf("Total Resolved     : %llu\n", resolved);
    std::printf("Total Unresolved   : %llu\n", unresolved);
    std::printf("Total Permanent    : %llu\n", permanent);
    std::printf("Newest Record age  : %s\n", newest_text);
    std::printf("Oldest Record age  : %s\n", oldest_text);
    std::printf("Total over %02d days : %llu\n", o.ttl_days, over_ttl);
    if (size_errors != 0)
        std::printf("Record Size Errors : %llu\n", size_errors);
    std::printf("\n");
    return 0;
}

int
keep_find(const keep_options& o, owned_db db)
{
    if (open_cache(db.get(), o.cache_file, DB_RDONLY) != 0)
        return 1;
    DBT key{};
    DBT data{};
    key.data = const_cast<char*>(o.address.data());
    key.size = static_cast<u_int32_t>(o.address.size());
    const int rc = db->get(db.get(), nullptr, &key, &data, 0);
    if (rc == DB_NOTFOUND) {
        std::printf("%s not found!\n", o.address.c_str());
        return 0;
    }
    if (rc != 0) {
        std::printf("Error: %s\n", db_strerror(rc));
        return 1;
    }
    dns_cache_record r;
    dns_record_read(data.data, data.size, r);
    const std::int64_t now = clock_now();
    if (!o.verbose) {
        std::printf("%-15s [%s] %s\n", key_text(key).text, age_text(r.cache_time, now).text,
                    r.name);
        return 0;
    }
    std::printf("Address  : %s\n", key_text(key).text);
    std::printf("Hostname : %s\n", r.name);
    std::printf("Resolved : %s\n", r.unresolved != 0 ? "No" : "Yes");
    if (r.cache_time != 0) {
        std::printf("Timestamp: %s", time_text(r.cache_time));
        std::printf("TTL age  : %s\n\n", age_text(r.cache_time, now).text);
    } else {
        std::printf("Timestamp: N/A\n");
        std::printf("TTL age  : Permanent\n");
    }
    return 0;
}

int
keep_add(const keep_options& o, owned_db db)
{
    if (o.address.empty()) {
        std::fprintf(stderr, "Error: No IP address specified!\n");
        return 1;
    }
    if (o.address.size() > dns_key_max) {
        std::fprintf(stderr, "Error: IP address too long!\n");
        return 1;
    }
    std::string address = o.address;
    std::string name = o.host_name;
    lower_text(address);
    lower_text(name);
    if (open_cache(db.get(), o.cache_file, 0) != 0)
        return 1;

    DBT key{};
    DBT data{};
    key.data = address.data();
    key.size = static_cast<u_int32_t>(address.size());
    const int rc = db->get(db.get(), nullptr, &key, &data, 0);
    if (rc == 0) {
        std::fprintf(stderr, "Error: %s already exists in cache!\n", address.c_str());
        return 1;
    }
    if (rc != DB_NOTFOUND) {
        std::fprintf(stderr, "Error: %s\n", db_strerror(rc));
        return 1;
    }

    if (name.empty())
        name = address;
    const std::int64_t cache_time = o.ttl_days == 0 ? 0 : clock_now();
    dns_cache_record r;
    const std::size_t length =
        dns_record_fill(r, cache_time, name == address ? 1 : 0, name.data(), name.size());
    if (const int put = dns_record_put(db.get(), address.data(), address.size(), r, length)) {
        std::fprintf(stderr, "Error: db_put fail: %s!\n", db_strerror(put));
        return 1;
    }
    if (close_cache(db, o.cache_file) != 0)
        return 1;
    if (o.verbose)
        std::printf("%s sucessfully added to cache file\n", address.c_str());
    return 0;
}

int
keep_delete(const keep_options& o, owned_db db)
{
    if (o.address.empty()) {
        std::fprintf(stderr, "Error: No IP address specified!\n");
        return 1;
    }
    std::string address = o.address;
    lower_text(address);
    if (open_cache(db.get(), o.cache_file, 0) != 0)
        return 1;
    DBT key{};
    key.data = address.data();
    key.size = static_cast<u_int32_t>(address.size());
    int rc = db->del(db.get(), nullptr, &key, 0);
    if (rc == DB_NOTFOUND && address != o.address) {
        // An import keeps the letter case it reads: such a key is deleted
        // as it was given.
        key.data = const_cast<char*>(o.address.data());
        rc = db->del(db.get(), nullptr, &key, 0);
    }
    if (rc == DB_NOTFOUND) {
        std::printf("%s not found in cache!\n", address.c_str());
        return 1;
    }
    if (rc != 0) {
        std::fprintf(stderr, "Error: %s\n", db_strerror(rc));
        return 1;
    }
    if (close_cache(db, o.cache_file) != 0)
        return 1;
    if (o.verbose)
        std::printf("%s sucessfully deleted from cache file\n", address.c_str());
    return 0;
}

int
keep_create(const keep_options& o, owned_db db)
{
    if (open_cache(db.get(), o.cache_file, DB_CREATE | DB_EXCL) != 0)
        return 1;
    if (close_cache(db, o.cache_file) != 0)
        return 1;
    if (o.verbose)
        std::printf("Cache file %s created successfully\n", o.cache_file);
    return 0;
}
