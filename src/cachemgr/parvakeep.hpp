// parvakeep: one command per run on the DNS cache file.  Every command
// returns the program's exit status, 0 done or 1 failed, and closes what it
// opened before it returns.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include <db.h>

#include "common/types.hpp"
#include "resolve/db_handles.hpp"
#include "resolve/dns_cache.hpp"

/// What the command line asked for.
struct keep_options {
    char command = 'l';        // a add, c create, d delete, f find, i import, l list,
                               // p purge, s stats, x export
    std::string address;       // -a, -d, -f
    std::string host_name;     // -n
    std::string text_file;     // -i, -x
    int ttl_days = 7;          // -t, or the number attached to -p
    bool create = false;       // -c: import into a new file
    bool verbose = false;      // -v
    const char* cache_file{};  // the operand
};

int keep_list(const keep_options& o, owned_db db);
int keep_stats(const keep_options& o, owned_db db);
int keep_find(const keep_options& o, owned_db db);
int keep_add(const keep_options& o, owned_db db);
int keep_delete(const keep_options& o, owned_db db);
int keep_create(const keep_options& o, owned_db db);
int keep_purge(const keep_options& o, owned_db db);
int keep_export(const keep_options& o, owned_db db);
int keep_import(const keep_options& o, owned_db db);

// ---- helpers shared by the commands

struct cursor_closer {
    void operator()(DBC* c) const noexcept { c->close(c); }
};
using owned_cursor = std::unique_ptr<DBC, cursor_closer>;

/// Opens the cache as a hash with the flags, mode 0644.  Prints
/// "Error: path: reason" and returns 1 on failure.
int open_cache(DB* db, const char* path, u_int32_t flags);

/// Closes the handle, which writes out what it changed.  Prints the error
/// and returns 1 when that fails: the changes may be lost.
int close_cache(owned_db& db, const char* path);

/// A fresh cursor, or null after "Error: Unable to create cursor!".
owned_cursor open_cursor(DB* db);

/// The next record of the walk: 0, DB_NOTFOUND at the end, or the error
/// code (already printed with the path).  key and data point into the
/// cursor's memory until the next call.
int next_record(DBC* c, DBT& key, DBT& data, const char* path);

/// The address as shown: at most dns_key_max characters, ended at a zero byte.
struct key_text {
    char text[dns_key_max + 1];
    explicit key_text(const DBT& key);
};

/// "-permanent-" or the age as days, hours and minutes ("03d:04h:05m").
struct age_text {
    char text[48];
    age_text(std::int64_t cache_time, std::int64_t now);
};

/// The age text of a number of seconds.
void format_age(char (&out)[48], std::int64_t seconds);

/// Lower-cases through the locale, in place.
void lower_text(std::string& s);
