// The counting tables of the open month (hosts, URLs, referrers, agents,
// search strings, users) and the DNS work table: 4096 chained buckets each.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/records.hpp"

inline constexpr int table_size = 4096;

enum node_kind : int { kind_regular = 0, kind_hidden = 1, kind_group = 2 };

struct hnode {
    hnode* next;           // in its chain; next and hash lead, so a chain walk
    std::uint32_t hash;    // reads one cache line per entry it passes
    std::uint32_t length;  // of the name
    char* name;
    int kind;
    u64 hits, files, visits;
    u64 last_time;         // time of the last page request
    const char* last_url;  // the name of that page's url_table entry itself, or no_url:
                           // url_table and site_table are only ever cleared together
    double bytes;
};

struct unode {
    unode* next;           // in its chain; next and hash lead, so a chain walk
    std::uint32_t hash;    // reads one cache line per entry it passes
    std::uint32_t length;  // of the name
    char* name;
    int kind;
    u64 hits, files, entries, exits;
    double bytes;
};

struct rnode {
    rnode* next;           // in its chain; next and hash lead, so a chain walk
    std::uint32_t hash;    // reads one cache line per entry it passes
    std::uint32_t length;  // of the name
    char* name;
    int kind;
    u64 hits;
};

using anode = rnode;  // agents have the referrers' shape

struct snode {
    snode* next;           // in its chain; next and hash lead, so a chain walk
    std::uint32_t hash;    // reads one cache line per entry it passes
    std::uint32_t length;  // of the name
    char* name;
    u64 hits;
};

struct inode {
    inode* next;           // in its chain; next and hash lead, so a chain walk
    std::uint32_t hash;    // reads one cache line per entry it passes
    std::uint32_t length;  // of the name
    char* name;
    int kind;
    u64 hits, files, visits;
    u64 last_time;
    double bytes;
};

struct dnode {
    dnode* next;           // in its chain; next and hash lead, so a chain walk
    std::uint32_t hash;    // reads one cache line per entry it passes
    std::uint32_t length;  // of the name
    char* name;
    unsigned char addr[128];
    int addr_len;
    dnode* work_next;  // the resolver's work list
};

inline constexpr int recent_slots = 256;

/// A table: the heads of its 4096 chains (new entries go to the head), and
/// the entries counted lately, which a name counted again finds without
/// hashing its whole text.
template <typename Node> struct chained_table {
    Node* bucket[table_size] = {};
    Node* recent[recent_slots] = {};  // non-group entries only; a hint, never the truth
};

using host_table = chained_table<hnode>;

extern host_table site_table;
extern host_table daily_site_table;
extern chained_table<unode> url_table;
extern chained_table<rnode> referrer_table;
extern chained_table<anode> agent_table;
extern chained_table<snode> search_table;
extern chained_table<inode> user_table;
extern chained_table<dnode> dns_table;

/// The shared text meaning "no last URL".
extern const char* const no_url;

/// SuperFastHash of the bytes of the text (full 32 bits).
std::uint32_t super_fast_hash(const char* text, std::size_t length);

/// The bucket of a name: the low 12 bits of its hash.
int table_hash(const char* name);

/// The URL of the record being counted, and whether it is a page: the host
/// and user tables read them for their visits.
void set_current_url(const char* url, bool is_page);

/// Hashes the names of the record about to be counted and starts loading
/// their chains, so that the inserts do not wait for memory one after
/// another.  The inserts reuse these hashes for texts that are unchanged
/// (same place, same length) until forget_record_names.
void prepare_record_names(const char* host, const char* url, const char* referrer,
                          const char* agent, const char* user);
void forget_record_names();

// The adding operations return 0 (also when the name is skipped) or 1 when
// memory is exhausted; then nothing was added and the caller reports it.
// A name longer than the entry's capacity is cut, in the caller's buffer too.
int add_host(char* name, int kind, u64 hits, u64 files, u64& unique, u64 restored_visits,
             double bytes, u64 time, const char* last_url_name, host_table& table);
int add_url(char* name, int kind, u64 hits, u64& unique, u64 entries, u64 exits, double bytes);
int add_referrer(char* name, int kind, u64 hits, u64& unique);  // name: room for 19 bytes
int add_agent(char* name, int kind, u64 hits, u64& unique);
int add_search(char* name, u64 hits);
int add_user(char* name, int kind, u64 hits, u64 files, u64& unique, u64 restored_visits,
             double bytes, u64 time);
int add_dns(char* name, const void* addr, int addr_len);

/// The name of the first url_table entry with that name, or no_url.
const char* lookup_url_name(const char* name);

/// Counts the exit pages of the month's visits idle for VisitTimeout at time.
void close_open_visits(u64 time);

/// The sum of the visits of the table's non-group entries.
u64 count_table_visits(const host_table& table);

/// Frees every entry of the table.
template <typename Node> void clear_table(chained_table<Node>& table);

/// Empties the seven monthly tables (not dns_table).
void clear_month_tables();

/// Calls f(node) for every entry: buckets 0 to 4095, each chain from its head.
template <typename Node, typename F>
void
for_each_node(const chained_table<Node>& table, F&& f)
{
    for (Node* head : table.bucket)
        for (Node* n = head; n != nullptr; n = n->next)
            f(n);
}

/// How table entries get their memory; tests replace it to exhaust it.
extern void* (*table_allocate)(std::size_t size);
