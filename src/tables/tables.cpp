#include "tables/tables.hpp"

#include <cstdio>
#include <cstring>
#include <new>

#include "common/catalog.hpp"
#include "common/messages.hpp"
#include "common/settings.hpp"

host_table site_table;
host_table daily_site_table;
chained_table<unode> url_table;
chained_table<rnode> referrer_table;
chained_table<anode> agent_table;
chained_table<snode> search_table;
chained_table<inode> user_table;
chained_table<dnode> dns_table;

const char* const no_url = "";

namespace {

void*
allocate_nothrow(std::size_t size)
{
    return ::operator new(size, std::nothrow);
}

struct current_url_state {
    const char* url = "";
    bool is_page = false;
} current;

// The names of the record being counted are each looked up more than once
// (the host in two tables, the URL for its entry and as a host's last page):
// their lengths and hashes are kept while the record is counted.  Only the
// adding operations change a name meanwhile, and they forget it when they do.
struct hashed_name {
    const char* text;
    std::size_t length;
    std::uint32_t hash;
    void* entry[2];  // its recent entry in its own table, and for the host in the daily one
};
hashed_name record_names[5];
bool record_names_known = false;

const hashed_name*
known_name(const char* name)
{
    if (!record_names_known)
        return nullptr;
    for (const hashed_name& known : record_names)
        if (known.text == name)
            return &known;
    return nullptr;
}

void
forget_name(const char* name)
{
    for (hashed_name& known : record_names)
        if (known.text == name)
            known.text = nullptr;
}

std::size_t
length_of(const char* name)
{
    const hashed_name* known = known_name(name);
    return known != nullptr ? known->length : std::strlen(name);
}

std::uint32_t
hash_of(const char* name, std::size_t length)
{
    const hashed_name* known = known_name(name);
    if (known != nullptr && known->length == length)
        return known->hash;
    return super_fast_hash(name, length);
}

// Starts loading the first entry of the name's chain and the start of its
// name, which follows the entry.
template <typename Node>
void
prefetch_chain(const chained_table<Node>& table, std::uint32_t hash)
{
    const Node* head = table.bucket[hash & (table_size - 1)];
    __builtin_prefetch(head);
    __builtin_prefetch(reinterpret_cast<const char*>(head) + sizeof(Node));
}

// The recent slot of a name: a cheap key of its length and its first and
// last eight bytes, enough to tell most names of a table apart.
unsigned
recent_slot(const char* name, std::size_t length)
{
    std::uint64_t head = 0;
    std::uint64_t tail = 0;
    std::memcpy(&head, name, length < 8 ? length : 8);
    if (length > 8)
        std::memcpy(&tail, name + length - 8, 8);
    const std::uint64_t key =
        (head ^ (tail * 0x9E3779B97F4A7C15ULL) ^ length) * 0xC2B2AE3D27D4EB4FULL;
    return static_cast<unsigned>(key >> 56) % recent_slots;
}

template <typename Node>
Node*
find_recent(const chained_table<Node>& table, const char* name, std::size_t length)
{
    Node* n = table.recent[recent_slot(name, length)];
    if (n != nullptr && n->length == length && std::memcmp(n->name, name, length) == 0)
        return n;
    return nullptr;
}

template <typename Node>
void
remember(chained_table<Node>& table, Node* n)
{
    table.recent[recent_slot(n->name, n->length)] = n;
}

inline std::uint32_t
get16(const unsigned char* p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8);
}

// Cuts a name longer than the capacity, in place, with the entry's warning.
void
cut_name(char* name, std::size_t& length, std::size_t capacity, const char* entry)
{
    if (length <= capacity)
        return;
    forget_name(name);
    if (warnings_enabled()) {
        std::fprintf(stderr, "[%s] %s (%d)", entry, msg::string_too_long, static_cast<int>(length));
        if (g_settings.debug)
            std::fprintf(stderr, ":\n--> %s", name);
        std::fputc('\n', stderr);
    }
    name[capacity] = '\0';
    length = capacity;
}

// One allocation holds the entry and its name.
template <typename Node>
Node*
new_node(const char* name, std::size_t length, std::uint32_t hash)
{
    void* block = table_allocate(sizeof(Node) + length + 1);
    if (block == nullptr)
        return nullptr;
    Node* n = new (block) Node{};
    n->name = reinterpret_cast<char*>(n + 1);
    std::memcpy(n->name, name, length + 1);
    n->hash = hash;
    n->length = static_cast<std::uint32_t>(length);
    return n;
}

template <typename Node>
void
link_at_head(chained_table<Node>& table, Node* n, int kind)
{
    Node*& head = table.bucket[n->hash & (table_size - 1)];
    n->next = head;
    head = n;
    if (kind != kind_group)
        remember(table, n);
}

// A new entry of a kinded table, at the head of its chain; the table's
// distinct count goes up unless the entry is a group.  nullptr when memory
// is exhausted (nothing is added then).
template <typename Node>
Node*
new_counted_node(chained_table<Node>& table, const char* name, std::size_t length,
                 std::uint32_t hash, int kind, u64 hits, u64& unique)
{
    Node* n = new_node<Node>(name, length, hash);
    if (n == nullptr)
        return nullptr;
    n->kind = kind;
    n->hits = hits;
    link_at_head(table, n, kind);
    if (kind != kind_group)
        ++unique;
    return n;
}

// An entry matches by name when its kind equals the requested one, or
// neither is a group: regular and hidden entries of one name are one entry.
template <typename Node>
Node*
find_kind(const chained_table<Node>& table, const char* name, std::size_t length,
          std::uint32_t hash, int kind)
{
    for (Node* n = table.bucket[hash & (table_size - 1)]; n != nullptr; n = n->next)
        if (n->hash == hash && n->length == length && std::memcmp(n->name, name, length) == 0 &&
            (n->kind == kind || (n->kind != kind_group && kind != kind_group)))
            return n;
    return nullptr;
}

template <typename Node>
Node*
find_name(const chained_table<Node>& table, const char* name, std::size_t length,
          std::uint32_t hash)
{
    for (Node* n = table.bucket[hash & (table_size - 1)]; n != nullptr; n = n->next)
        if (n->hash == hash && n->length == length && std::memcmp(n->name, name, length) == 0)
            return n;
    return nullptr;
}

// The entry a request of that name and kind counts in: a recent entry first
// (a name has one non-group entry), else the chain.  hash is set when the
// chain was searched, for a new entry.
template <typename Node>
Node*
find_entry(chained_table<Node>& table, const char* name, std::size_t length, int kind,
           std::uint32_t& hash)
{
    if (kind != kind_group) {
        const hashed_name* known = known_name(name);
        if (known != nullptr && known->length == length) {
            // The record's names were looked up among the recent entries already.
            const int which = static_cast<const void*>(&table) == &daily_site_table ? 1 : 0;
            if (known->entry[which] != nullptr)
                return static_cast<Node*>(known->entry[which]);
        } else if (Node* n = find_recent(table, name, length)) {
            return n;
        }
    }
    hash = hash_of(name, length);
    Node* n = find_kind(table, name, length, hash, kind);
    if (n != nullptr && kind != kind_group)
        remember(table, n);
    return n;
}

// The first non-group url_table entry of that name.
unode*
find_page(const char* name)
{
    if (name == nullptr || name[0] == '\0')
        return nullptr;
    const std::size_t length = length_of(name);
    const std::uint32_t hash = hash_of(name, length);
    for (unode* n = url_table.bucket[hash & (table_size - 1)]; n != nullptr; n = n->next)
        if (n->hash == hash && n->length == length && n->kind != kind_group &&
            std::memcmp(n->name, name, length) == 0)
            return n;
    return nullptr;
}

void
count_entry(const char* url)
{
    if (unode* u = find_page(url))
        ++u->entries;
}

// A host's last page is the name text of a url_table entry (or no_url): the
// entry is found from its name, which lies right after it.  Only a group entry
// needs the search for the regular entry of that name.
void
count_exit(const char* last_url)
{
    if (last_url == nullptr || last_url == no_url || last_url[0] == '\0')
        return;
    unode* u = reinterpret_cast<unode*>(const_cast<char*>(last_url)) - 1;
    if (u->kind == kind_group)
        u = find_page(last_url);
    if (u != nullptr)
        ++u->exits;
}

// A page request after a pause of at least VisitTimeout begins a new visit.
// The pause is an unsigned difference: a request that comes earlier than the
// last one, within its hour, also begins one.
bool
starts_visit(u64 time, u64 last_time)
{
    return time - last_time >= static_cast<u64>(g_settings.visit_timeout);
}

bool
is_hidden_by(const nlist& list, const char* name)
{
    return match_nlist(list, name) != nullptr;
}

}  // namespace

void* (*table_allocate)(std::size_t size) = allocate_nothrow;

std::uint32_t
super_fast_hash(const char* text, std::size_t length)
{
    const auto* data = reinterpret_cast<const unsigned char*>(text);
    const int n = static_cast<int>(length);
    if (n <= 0)
        return 0;
    std::uint32_t h = static_cast<std::uint32_t>(n);
    const int rem = n & 3;
    const auto mix_group = [&h](const unsigned char* group) {
        h += get16(group);
        const std::uint32_t tmp = (get16(group + 2) << 11) ^ h;
        h = (h << 16) ^ tmp;
        h += h >> 11;
    };
    int groups = n >> 2;
    for (; groups >= 2; groups -= 2, data += 8) {
        mix_group(data);
        mix_group(data + 4);
    }
    if (groups == 1) {
        mix_group(data);
        data += 4;
    }
    // The tail's odd byte is read as a signed char, as in the original hash.
    switch (rem) {
    case 3:
        h += get16(data);
        h ^= h << 16;
        h ^= static_cast<std::uint32_t>(static_cast<signed char>(data[2])) << 18;
        h += h >> 11;
        break;
    case 2:
        h += get16(data);
        h ^= h << 11;
        h += h >> 17;
        break;
    case 1:
        h += static_cast<std::uint32_t>(static_cast<signed char>(data[0]));
        h ^= h << 10;
        h += h >> 1;
        break;
    default: break;
    }
    h ^= h << 3;
    h += h >> 5;
    h ^= h << 4;
    h += h >> 17;
    h ^= h << 25;
    h += h >> 6;
    return h;
}

int
table_hash(const char* name)
{
    return static_cast<int>(super_fast_hash(name, std::strlen(name)) & (table_size - 1));
}

void
set_current_url(const char* url, bool is_page)
{
    current.url = url;
    current.is_page = is_page;
}

namespace {

// The name's hash and recent entry: the hash is the entry's when it has one,
// else it is computed and the name's chain prefetched.
template <typename Node>
std::uint32_t
prepare_name(const chained_table<Node>& table, const char* name, std::size_t length, void*& entry)
{
    Node* n = find_recent(table, name, length);
    entry = n;
    if (n != nullptr)
        return n->hash;
    const std::uint32_t hash = super_fast_hash(name, length);
    prefetch_chain(table, hash);
    return hash;
}

}  // namespace

void
prepare_record_names(const char* host, const char* url, const char* referrer, const char* agent,
                     const char* user)
{
    const char* names[5] = {host, url, referrer, agent, user};
    for (int i = 0; i < 5; ++i)
        record_names[i] = {names[i], std::strlen(names[i]), 0, {nullptr, nullptr}};
    hashed_name* r = record_names;
    r[0].hash = prepare_name(site_table, host, r[0].length, r[0].entry[0]);
    r[1].hash = prepare_name(url_table, url, r[1].length, r[1].entry[0]);
    r[2].hash = prepare_name(referrer_table, referrer, r[2].length, r[2].entry[0]);
    r[3].hash = prepare_name(agent_table, agent, r[3].length, r[3].entry[0]);
    r[4].hash = prepare_name(user_table, user, r[4].length, r[4].entry[0]);
    r[0].entry[1] = find_recent(daily_site_table, host, r[0].length);
    if (r[0].entry[1] == nullptr)
        prefetch_chain(daily_site_table, r[0].hash);
    record_names_known = true;
}

void
forget_record_names()
{
    record_names_known = false;
}

const char*
lookup_url_name(const char* name)
{
    const std::size_t length = length_of(name);
    const unode* u = find_name(url_table, name, length, hash_of(name, length));
    return u != nullptr ? u->name : no_url;
}

int
add_host(char* name, int kind, u64 hits, u64 files, u64& unique, u64 restored_visits, double bytes,
         u64 time, const char* last_url_name, host_table& table)
{
    std::size_t length = length_of(name);
    cut_name(name, length, 255, "new_hnode");
    const std::uint32_t hash = hash_of(name, length);
    // Only the month's own host entries drive entry and exit pages; group
    // entries count their visits without counting the pages a second time.
    const bool tracks_pages = &table == &site_table && kind != kind_group;

    if (hnode* n = find_kind(table, name, length, hash, kind)) {
        n->hits += hits;
        n->files += files;
        n->bytes += bytes;
        if (current.is_page) {
            if (starts_visit(time, n->last_time)) {
                ++n->visits;
                if (tracks_pages) {
                    count_exit(n->last_url);
                    count_entry(current.url);
                }
            }
            n->last_url = lookup_url_name(current.url);
            n->last_time = time;
        }
        return 0;
    }

    hnode* n = new_counted_node(table, name, length, hash, kind, hits, unique);
    if (n == nullptr)
        return 1;
    n->files = files;
    n->bytes = bytes;
    n->last_url = no_url;

    if (restored_visits != 0) {
        n->visits = restored_visits - 1;
        n->last_url = lookup_url_name(last_url_name != nullptr ? last_url_name : "");
        n->last_time = time;
        return 0;
    }
    if (current.is_page) {
        if (tracks_pages)
            count_entry(current.url);
        n->last_url = lookup_url_name(current.url);
        n->last_time = time;
        n->visits = 1;
    }
    if (kind != kind_group &&
        (g_settings.hide_all_sites || is_hidden_by(g_settings.hide_site, name)))
        n->kind = kind_hidden;
    return 0;
}

int
add_url(char* name, int kind, u64 hits, u64& unique, u64 entries, u64 exits, double bytes)
{
    if (name[0] == '-')
        return 0;
    std::size_t length = length_of(name);
    cut_name(name, length, 2047, "new_unode");
    std::uint32_t hash = 0;
    if (unode* n = find_entry(url_table, name, length, kind, hash)) {
        n->hits += hits;
        n->bytes += bytes;
        return 0;
    }
    unode* n = new_counted_node(url_table, name, length, hash, kind, hits, unique);
    if (n == nullptr)
        return 1;
    n->bytes = bytes;
    n->entries = entries;
    n->exits = exits;
    if (kind != kind_group && is_hidden_by(g_settings.hide_url, name))
        n->kind = kind_hidden;
    return 0;
}

namespace {

int
add_named_count(chained_table<rnode>& table, char* name, std::size_t capacity, const char* entry,
                int kind, u64 hits, u64& unique, const nlist& hide)
{
    std::size_t length = length_of(name);
    cut_name(name, length, capacity, entry);
    std::uint32_t hash = 0;
    if (rnode* n = find_entry(table, name, length, kind, hash)) {
        n->hits += hits;
        return 0;
    }
    rnode* n = new_counted_node(table, name, length, hash, kind, hits, unique);
    if (n == nullptr)
        return 1;
    if (kind != kind_group && is_hidden_by(hide, name))
        n->kind = kind_hidden;
    return 0;
}

}  // namespace

int
add_referrer(char* name, int kind, u64 hits, u64& unique)
{
    if (name[0] == '-') {
        forget_name(name);
        std::strcpy(name, "- (Direct Request)");
    }
    return add_named_count(referrer_table, name, 255, "new_rnode", kind, hits, unique,
                           g_settings.hide_referrer);
}

int
add_agent(char* name, int kind, u64 hits, u64& unique)
{
    if (name[0] == '-')
        return 0;
    return add_named_count(agent_table, name, 127, "new_anode", kind, hits, unique,
                           g_settings.hide_agent);
}

int
add_search(char* name, u64 hits)
{
    if (name[0] == '\0' || name[0] == ' ')
        return 0;
    std::size_t length = length_of(name);
    cut_name(name, length, 127, "new_snode");
    const std::uint32_t hash = super_fast_hash(name, length);
    if (snode* n = find_name(search_table, name, length, hash)) {
        n->hits += hits;
        return 0;
    }
    snode* n = new_node<snode>(name, length, hash);
    if (n == nullptr)
        return 1;
    n->hits = hits;
    link_at_head(search_table, n, kind_regular);
    return 0;
}

int
add_user(char* name, int kind, u64 hits, u64 files, u64& unique, u64 restored_visits, double bytes,
         u64 time)
{
    if (name[0] == '\0' || name[0] == '-')
        return 0;
    std::size_t length = length_of(name);
    cut_name(name, length, 63, "new_inode");
    std::uint32_t hash = 0;
    if (inode* n = find_entry(user_table, name, length, kind, hash)) {
        n->hits += hits;
        n->files += files;
        n->bytes += bytes;
        if (current.is_page) {
            if (starts_visit(time, n->last_time))
                ++n->visits;
            n->last_time = time;
        }
        return 0;
    }
    inode* n = new_counted_node(user_table, name, length, hash, kind, hits, unique);
    if (n == nullptr)
        return 1;
    n->files = files;
    n->bytes = bytes;
    n->visits = 1;
    if (restored_visits != 0) {
        n->visits = restored_visits - 1;
        n->last_time = time;
        return 0;
    }
    if (current.is_page)
        n->last_time = time;
    if (kind != kind_group && is_hidden_by(g_settings.hide_user, name))
        n->kind = kind_hidden;
    return 0;
}

int
add_dns(char* name, const void* addr, int addr_len)
{
    if (name[0] == '\0' || name[0] == ' ')
        return 0;
    std::size_t length = length_of(name);
    cut_name(name, length, 255, "new_dnode");
    const std::uint32_t hash = super_fast_hash(name, length);
    if (find_name(dns_table, name, length, hash) != nullptr)
        return 0;
    dnode* n = new_node<dnode>(name, length, hash);
    if (n == nullptr)
        return 1;
    if (addr != nullptr && addr_len > 0) {
        const std::size_t len = static_cast<std::size_t>(addr_len) < sizeof n->addr
                                    ? static_cast<std::size_t>(addr_len)
                                    : sizeof n->addr;
        std::memcpy(n->addr, addr, len);
    }
    n->addr_len = addr_len;
    link_at_head(dns_table, n, kind_regular);
    return 0;
}

void
close_open_visits(u64 time)
{
    for_each_node(site_table, [&](const hnode* n) {
        if (n->kind != kind_group && starts_visit(time, n->last_time))
            count_exit(n->last_url);
    });
}

u64
count_table_visits(const host_table& table)
{
    u64 visits = 0;
    for_each_node(table, [&](const hnode* n) {
        if (n->kind != kind_group)
            visits += n->visits;
    });
    return visits;
}

template <typename Node>
void
clear_table(chained_table<Node>& table)
{
    for (Node*& head : table.bucket) {
        while (head != nullptr) {
            Node* next = head->next;
            head->~Node();
            ::operator delete(head);
            head = next;
        }
    }
    for (Node*& n : table.recent)
        n = nullptr;
}

template void clear_table(chained_table<hnode>&);
template void clear_table(chained_table<unode>&);
template void clear_table(chained_table<rnode>&);
template void clear_table(chained_table<snode>&);
template void clear_table(chained_table<inode>&);
template void clear_table(chained_table<dnode>&);

void
clear_month_tables()
{
    clear_table(daily_site_table);
    clear_table(url_table);
    clear_table(site_table);
    clear_table(referrer_table);
    clear_table(agent_table);
    clear_table(search_table);
    clear_table(user_table);
}
