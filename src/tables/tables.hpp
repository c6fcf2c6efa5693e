// The counting tables of the open month (hosts, URLs, referrers, agents,
// search strings, users) and the DNS work table.
//
// Each table has two views of its entries.  The 4096 chains (`bucket`,
// linked by `next`) are what the state file and the reports see: buckets 0
// to 4095, newest entry first in each.  Lookups never walk them: they go
// through the table's name index, an open-addressing array that grows with
// the table, keyed by a hash with a random key of this run, so a lookup
// costs the same at any size and no client can pick names that pile up in
// one place.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/records.hpp"
#include "common/types.hpp"

inline constexpr int table_size = 4096;

enum node_kind : int { kind_regular = 0, kind_hidden = 1, kind_group = 2 };

struct unode;

// In every entry the hash and length lead, so that a lookup that finds its
// entry reads one cache line of it; the name follows the entry (name_of).
// No byte is spare: a table of a million names is a hundred megabytes, and
// the memory is most of the time it takes to fill.
using entry_length = std::uint16_t;  // every entry kind's capacity fits
using entry_kind = std::int16_t;     // a node_kind
static_assert(host_name_capacity <= UINT16_MAX && url_name_capacity <= UINT16_MAX &&
              referrer_name_capacity <= UINT16_MAX && agent_name_capacity <= UINT16_MAX &&
              user_name_capacity <= UINT16_MAX);

struct hnode {
    std::uint32_t hash;   // the low half of the name's name_hash
    entry_length length;  // of the name
    entry_kind kind;
    hnode* next;  // in its bucket's chain
    u64 hits, files, visits;
    u64 last_time;    // time of the last page request
    unode* last_url;  // that page's url_table entry, or nullptr: url_table and
                      // site_table are only ever cleared together
    double bytes;
};

struct unode {
    std::uint32_t hash;
    entry_length length;
    entry_kind kind;
    unode* next;
    u64 hits, files, entries, exits;
    double bytes;
};

struct rnode {
    std::uint32_t hash;
    entry_length length;
    entry_kind kind;
    rnode* next;
    u64 hits;
};

using anode = rnode;  // agents have the referrers' shape

struct snode {
    std::uint32_t hash;
    std::uint32_t length;
    snode* next;
    u64 hits;
};

struct inode {
    std::uint32_t hash;
    entry_length length;
    entry_kind kind;
    inode* next;
    u64 hits, files, visits;
    u64 last_time;
    double bytes;
};

struct dnode {
    std::uint32_t hash;
    std::uint32_t length;
    dnode* next;
    unsigned char addr[128];
    int addr_len;
    dnode* work_next;  // the resolver's work list
};

inline constexpr int recent_slots = 256;

/// Where a table's entries live: blocks that are handed out in order and
/// freed together when the table is cleared.
struct entry_arena {
    struct block {
        block* next;
        char* used_end;     // of its entries, once a newer block was begun
        std::size_t bytes;  // of the block, this head included
        // Its entries follow its head.
        char* entries() { return reinterpret_cast<char*>(this + 1); }
        const char* entries() const { return reinterpret_cast<const char*>(this + 1); }
    };
    block* blocks = nullptr;
    char* cursor = nullptr;
    char* end = nullptr;
    std::size_t next_block = 0;  // bytes of the next block
};

/// A table: the heads of its 4096 chains (new entries go to the head), the
/// name index over the same entries, and the entries counted lately, which a
/// name counted again finds without hashing its whole text.
template <typename Node> struct chained_table {
    Node* bucket[table_size] = {};
    // Each index slot is 0 or an entry's address with 16 bits mixed from its
    // name's hash in the top bits, so a probe reads an entry only when its
    // name is likely the one sought.
    std::uint64_t* index = nullptr;  // nullptr until the first entry
    std::size_t index_size = 0;
    std::size_t entries = 0;
    entry_arena arena;
    // Non-group entries only; a hint, never the truth.  Each slot keeps the
    // key it was filled under, so a name that is not there is told without
    // reading the entry, which is seldom in the cache.
    struct recent_slot {
        Node* entry;
        std::uint64_t key;
    };
    recent_slot recent[recent_slots] = {};
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

/// The bucket of a name: the low 12 bits of its SuperFastHash.
int table_hash(const char* name);

/// SipHash with c compression and d finalization rounds, keyed by k0 and k1.
template <int c, int d>
std::uint64_t sip_hash(const void* data, std::size_t length, std::uint64_t k0, std::uint64_t k1);

/// The key of the name indexes: SipHash-1-3 under this run's random key.
std::uint64_t name_hash(const char* text, std::size_t length);

/// A name measured once and hashed at most once.  An adding operation that
/// cuts or rewrites the text updates length and hashes with it.
struct hashed_name {
    char* text;
    std::size_t length;
    std::uint64_t hash;        // name_hash of the text, or 0 until it is needed
    std::uint64_t recent = 0;  // its key among the recent entries, or 0 until needed
};

/// The text as a name, its hash not taken yet.
hashed_name measured_name(char* text);

/// The request being counted: the host and user tables read its URL for
/// their visits, and count its entry page.
struct current_request {
    const char* url;
    std::size_t length;
    std::uint64_t hash;  // name_hash of the URL, or 0 until it is needed
    bool is_page;
    unode* entry;  // the URL's non-group url_table entry, when known
};
extern current_request g_request;

/// Sets the request being counted from a bare URL, or from the record's own
/// with its entry when the caller knows it.
void set_current_url(const char* url, bool is_page);
void set_current_url(const hashed_name& url, bool is_page, unode* entry);

/// The names of one record, each measured and hashed once, and the entries
/// that the recent hints found for them (nullptr: not among the recent ones).
/// account_record owns one for the record it counts and passes each name
/// with its hint to the adding operations.
struct record_names {
    hashed_name host, url, referrer, agent, user;
    hnode* site_hint;
    hnode* daily_hint;
    unode* url_hint;
    rnode* referrer_hint;
    anode* agent_hint;
    inode* user_hint;
};

/// Fills the names from the record's final fields (their lengths from
/// lengths when it is given) and starts loading the index chains of those
/// not found among the recent entries, so that the inserts do not wait for
/// memory one after another.
void prepare_record_names(record_names& names, counted_record& r,
                          const text_lengths* lengths = nullptr);

// The adding operations return 0 (also when the name is skipped) or 1 when
// memory is exhausted; then nothing was added and the caller reports it.
// A name longer than the entry's capacity is cut, in the caller's buffer too.
// Each comes in two forms: with a hashed name and its hint (the record's own
// names), and with a plain text.  A hint is the table's non-group entry of
// that name; it is used only when the requested kind is not group.
int add_host(hashed_name& name, hnode* hint, int kind, u64 hits, u64 files, u64& unique,
             u64 restored_visits, double bytes, u64 time, const char* last_url_name,
             host_table& table);
int add_host(char* name, int kind, u64 hits, u64 files, u64& unique, u64 restored_visits,
             double bytes, u64 time, const char* last_url_name, host_table& table);
// add_url sets its hint to the entry it counted in (nullptr for a skipped name).
int add_url(hashed_name& name, unode*& hint, int kind, u64 hits, u64& unique, u64 entries,
            u64 exits, double bytes);
int add_url(char* name, int kind, u64 hits, u64& unique, u64 entries, u64 exits, double bytes);
// The referrer's text needs room for "- (Direct Request)".
int add_referrer(hashed_name& name, rnode* hint, int kind, u64 hits, u64& unique);
int add_referrer(char* name, int kind, u64 hits, u64& unique);
int add_agent(hashed_name& name, anode* hint, int kind, u64 hits, u64& unique);
int add_agent(char* name, int kind, u64 hits, u64& unique);
int add_search(char* name, u64 hits);
int add_user(hashed_name& name, inode* hint, int kind, u64 hits, u64 files, u64& unique,
             u64 restored_visits, double bytes, u64 time);
int add_user(char* name, int kind, u64 hits, u64 files, u64& unique, u64 restored_visits,
             double bytes, u64 time);
int add_dns(char* name, const void* addr, int addr_len);

/// The name of the first url_table entry with that name, or no_url.
const char* lookup_url_name(const char* name);

/// Counts the exit pages of the month's visits idle for VisitTimeout at time.
void close_open_visits(u64 time);

/// The sum of the visits of the table's non-group entries.
u64 count_table_visits(const host_table& table);

/// Frees every entry of the table and its hints.  The memory of its index
/// and its newest arena block is kept for the entries to come.
template <typename Node> void clear_table(chained_table<Node>& table);

/// The bytes the table holds: its arena's blocks and its index.
template <typename Node> std::size_t table_memory(const chained_table<Node>& table);
/// The bytes its index holds.
template <typename Node> std::size_t index_memory(const chained_table<Node>& table);

/// Empties the seven monthly tables (not dns_table).
void clear_month_tables();

/// Empties every table, dns_table too, and gives all their memory back.
void release_tables();

/// Calls f(node) for every entry: buckets 0 to 4095, each chain from its head.
template <typename Node, typename F>
void
for_each_node(const chained_table<Node>& table, F&& f)
{
    for (Node* head : table.bucket)
        for (Node* n = head; n != nullptr; n = n->next)
            f(n);
}

/// An entry's name, which follows the entry in its arena.
template <typename Node>
char*
name_of(const Node* n)
{
    return reinterpret_cast<char*>(const_cast<Node*>(n) + 1);
}

/// The size an entry of that name takes in its arena.
template <typename Node>
constexpr std::size_t
arena_size_of(std::size_t name_length)
{
    return (sizeof(Node) + name_length + 1 + 7) & ~static_cast<std::size_t>(7);
}

/// Calls f(node) for every entry in the order they lie in memory, which
/// reads them far faster than the chains do, for callers to whom the order
/// does not matter (sums, and arrays that are sorted anyway).
template <typename Node, typename F>
void
for_each_entry(const chained_table<Node>& table, F&& f)
{
    for (const entry_arena::block* b = table.arena.blocks; b != nullptr; b = b->next) {
        const char* end = b == table.arena.blocks ? table.arena.cursor : b->used_end;
        for (const char* p = b->entries(); p < end;) {
            Node* n = reinterpret_cast<Node*>(const_cast<char*>(p));
            p += arena_size_of<Node>(n->length);
            f(n);
        }
    }
}

/// How table entries get their memory (in blocks of many entries); tests
/// replace it to exhaust it.  A replacement returns nullptr or what the
/// default would, since blocks are given back the default's way.
extern void* (*table_allocate)(std::size_t size);
