#include "tables/tables.hpp"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <new>

#include <sys/random.h>
#include <unistd.h>

#include "common/catalog.hpp"
#include "common/huge_pages.hpp"
#include "common/messages.hpp"
#include "common/settings.hpp"

const char* const no_url = "";

namespace {

inline std::uint64_t
load64(const unsigned char* p)
{
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    return v;  // little-endian on every machine we build for
}

inline std::uint64_t
rotl(std::uint64_t x, int b)
{
    return (x << b) | (x >> (64 - b));
}

struct sip_state {
    std::uint64_t v0, v1, v2, v3;
    void round()
    {
        v0 += v1;
        v1 = rotl(v1, 13);
        v1 ^= v0;
        v0 = rotl(v0, 32);
        v2 += v3;
        v3 = rotl(v3, 16);
        v3 ^= v2;
        v0 += v3;
        v3 = rotl(v3, 21);
        v3 ^= v0;
        v2 += v1;
        v1 = rotl(v1, 17);
        v1 ^= v2;
        v2 = rotl(v2, 32);
    }
};

// The key of this run's name indexes.  It is secret and new every run, so
// that nobody can prepare names that share an index chain.
struct index_key {
    std::uint64_t k0, k1;
};

index_key
new_index_key()
{
    index_key key{};
    if (getrandom(&key, sizeof key, 0) != static_cast<ssize_t>(sizeof key)) {
        // Without the kernel's randomness, the next best the process has.
        const auto stack = reinterpret_cast<std::uintptr_t>(&key);
        key.k0 = static_cast<std::uint64_t>(std::time(nullptr)) * 0x9E3779B97F4A7C15ULL ^ stack;
        key.k1 = static_cast<std::uint64_t>(getpid()) * 0xC2B2AE3D27D4EB4FULL ^ (stack << 17);
    }
    return key;
}

const index_key run_key = new_index_key();

inline std::uint32_t
get16(const unsigned char* p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8);
}

// ---- recent entries

// The recent key of a name: its length and its first and last eight bytes,
// mixed; its top byte picks the slot.  Enough to tell most names of a table
// apart.
std::uint64_t
recent_key(const char* name, std::size_t length)
{
    std::uint64_t head = 0;
    std::uint64_t tail = 0;
    // Most names are longer than eight bytes: two plain loads.
    if (length >= 8) {
        std::memcpy(&head, name, 8);
        if (length > 8)
            std::memcpy(&tail, name + length - 8, 8);
    } else {
        std::memcpy(&head, name, length);
    }
    return (head ^ (tail * 0x9E3779B97F4A7C15ULL) ^ length) * 0xC2B2AE3D27D4EB4FULL;
}

inline unsigned
recent_slot_of(std::uint64_t key)
{
    return static_cast<unsigned>(key >> 56) % recent_slots;
}

// The name's recent key, taken once.  0 means not taken yet.
inline std::uint64_t
recent_key_of(hashed_name& name)
{
    if (name.recent == 0)
        name.recent = recent_key(name.text, name.length);
    return name.recent;
}

template <typename Node>
Node*
find_recent(const chained_table<Node>& table, hashed_name& name)
{
    const std::uint64_t key = recent_key_of(name);
    const auto& slot = table.recent[recent_slot_of(key)];
    Node* n = slot.entry;
    if (n != nullptr && slot.key == key && n->length == name.length &&
        std::memcmp(name_of(n), name.text, name.length) == 0)
        return n;
    return nullptr;
}

// n is the entry of that name.
template <typename Node>
void
remember(chained_table<Node>& table, Node* n, hashed_name& name)
{
    const std::uint64_t key = recent_key_of(name);
    table.recent[recent_slot_of(key)] = {n, key};
}

// ---- the name index

constexpr std::size_t first_index_size = 64;
constexpr std::size_t first_block = 16 * 1024 - 64;       // leaves room for the allocator's own
constexpr std::size_t last_block = 8 * 1024 * 1024 - 64;  // with its head, four huge pages

// Blocks and indexes this large come straight from the system, in whole
// huge pages: the allocator would serve them from its heap once one of them
// was freed (its threshold follows the largest chunk freed), in small pages
// that fault one by one and go back when the heap shrinks.  A table of
// millions of entries would take a page fault every few dozen entries.
// Rounded up to whole huge pages, a block is the larger for it (its entries
// fill all of it), and an index at most twice what it needs.
constexpr std::size_t mapped_size = huge_page / 2;
// Smaller ones from the heap, but their pages made present at once.
constexpr std::size_t populated_size = 64 * 1024;

// The size to ask for: a mapped one is whole huge pages.
std::size_t
memory_size(std::size_t bytes)
{
    return bytes < mapped_size ? bytes : whole_huge_pages(bytes);
}

// The default table_allocate, for a size from memory_size.
void*
allocate_table_memory(std::size_t size)
{
    if (size >= mapped_size)
        return map_huge_pages(size);
    void* memory = ::operator new(size, std::nothrow);
    if (memory != nullptr && size >= populated_size)
        populate_pages(memory, size);
    return memory;
}

// Gives back what allocate_table_memory gave for that size.
void
free_table_memory(void* memory, std::size_t size)
{
    if (size >= mapped_size)
        unmap_huge_pages(memory, size);
    else
        ::operator delete(memory);
}

// An index of that many empty slots (mapped memory comes zeroed).
std::uint64_t*
allocate_index(std::size_t slots)
{
    const std::size_t bytes = memory_size(slots * sizeof(std::uint64_t));
    void* index = allocate_table_memory(bytes);
    if (index != nullptr && bytes < mapped_size)
        std::memset(index, 0, bytes);
    return static_cast<std::uint64_t*>(index);
}

void
free_index(std::uint64_t* index, std::size_t slots)
{
    free_table_memory(index, memory_size(slots * sizeof(std::uint64_t)));
}

constexpr std::uint64_t address_bits = 0x0000FFFFFFFFFFFFULL;

// Slots are probed from the name's home slot on; the home slot is the low
// half of the hash scaled to the index size, so sizes need not be powers of
// two and the index can grow by half each time.
inline std::size_t
home_slot(std::uint32_t low_hash, std::size_t size)
{
    return static_cast<std::size_t>((static_cast<std::uint64_t>(low_hash) * size) >> 32);
}

// The top bits of a slot: 16 bits of the low half of the hash, mixed so
// that they differ among names whose home slots lie close together.  They
// come from the half an entry keeps, so that the index can be built again
// from the entries alone.
inline std::uint64_t
slot_tag(std::uint32_t low_hash)
{
    return (static_cast<std::uint64_t>(low_hash) * 0x9E3779B97F4A7C15ULL) & ~address_bits;
}

template <typename Node>
Node*
slot_entry(std::uint64_t slot)
{
    return reinterpret_cast<Node*>(static_cast<std::uintptr_t>(slot & address_bits));
}

template <typename Node>
void
place(std::uint64_t* index, std::size_t size, std::uint32_t low_hash, std::uint64_t slot)
{
    std::size_t i = home_slot(low_hash, size);
    while (index[i] != 0)
        if (++i == size)
            i = 0;
    index[i] = slot;
}

// Makes room in the index for one more entry: it holds at most four entries
// in five slots, which keeps probe runs short.  False only when the table
// has no index yet and none can be made; when a larger one cannot be made,
// the index fills further and lookups get slower, nothing is lost.
template <typename Node>
bool
reserve_index(chained_table<Node>& table)
{
    if (table.index == nullptr) {
        table.index = allocate_index(first_index_size);
        if (table.index == nullptr)
            return false;
        table.index_size = first_index_size;
        return true;
    }
    if ((table.entries + 1) * 5 <= table.index_size * 4)
        return true;
    const std::size_t size = table.index_size + table.index_size / 2;
    std::uint64_t* grown = allocate_index(size);
    if (grown == nullptr)
        return table.entries + 1 < table.index_size;  // a probe must always meet an empty slot
    // Every entry is in the index: read in memory order, they stream in,
    // where the old index's order would fetch each from anywhere.
    for_each_entry(table, [&](Node* n) {
        place<Node>(grown, size, n->hash, slot_tag(n->hash) | reinterpret_cast<std::uintptr_t>(n));
    });
    free_index(table.index, table.index_size);
    table.index = grown;
    table.index_size = size;
    return true;
}

// A name's hash is taken when first needed: a name found among the recent
// entries never needs it.  0 means not taken yet (a true 0 is only taken
// again).
inline void
ensure_hash(hashed_name& name)
{
    if (name.hash == 0)
        name.hash = name_hash(name.text, name.length);
}

// The first entry in probe order whose name is the name and that pleases
// the test.
template <typename Node, typename Test>
Node*
probe(const chained_table<Node>& table, hashed_name& name, Test&& test)
{
    ensure_hash(name);
    if (table.index == nullptr)
        return nullptr;
    const auto low = static_cast<std::uint32_t>(name.hash);
    const std::uint64_t tag = slot_tag(low);
    std::size_t i = home_slot(low, table.index_size);
    for (std::uint64_t slot; (slot = table.index[i]) != 0;) {
        if ((slot & ~address_bits) == tag) {
            Node* n = slot_entry<Node>(slot);
            if (n->hash == low && n->length == name.length &&
                std::memcmp(name_of(n), name.text, name.length) == 0 && test(n))
                return n;
        }
        if (++i == table.index_size)
            i = 0;
    }
    return nullptr;
}

// An entry of that name, whatever its kind.  A group entry and a regular
// one may share a name; which of them is found does not matter to callers.
template <typename Node>
Node*
find_name(const chained_table<Node>& table, hashed_name& name)
{
    return probe(table, name, [](const Node*) { return true; });
}

// An entry matches by name when its kind equals the requested one, or
// neither is a group: regular and hidden entries of one name are one entry.
template <typename Node>
Node*
find_kind(const chained_table<Node>& table, hashed_name& name, int kind)
{
    return probe(table, name, [kind](const Node* n) {
        return n->kind == kind || (n->kind != kind_group && kind != kind_group);
    });
}

// The entry a request of that name and kind counts in.  A name has one
// non-group entry, so a hint or a recent entry of that name is it.
template <typename Node>
Node*
find_entry(chained_table<Node>& table, hashed_name& name, int kind, Node* hint)
{
    if (kind == kind_group)
        return find_kind(table, name, kind);
    if (hint != nullptr)
        return hint;
    if (Node* n = find_recent(table, name))
        return n;
    Node* n = find_kind(table, name, kind);
    if (n != nullptr)
        remember(table, n, name);
    return n;
}

// The first non-group url_table entry of that name.
unode*
find_page(hashed_name& name)
{
    if (name.length == 0)
        return nullptr;
    return probe(url_table, name, [](const unode* n) { return n->kind != kind_group; });
}

void
count_entry()
{
    unode* u = g_request.entry;
    if (u == nullptr) {
        hashed_name url{const_cast<char*>(g_request.url), g_request.length, g_request.hash};
        u = find_page(url);
        g_request.hash = url.hash;
    }
    if (u != nullptr)
        ++u->entries;
}

// The current URL's url_table entry, which becomes a host's last page.  Any
// entry of the name does: a group entry's exit is counted in the regular one.
unode*
current_page()
{
    if (g_request.entry == nullptr && g_request.length != 0) {
        hashed_name url{const_cast<char*>(g_request.url), g_request.length, g_request.hash};
        g_request.entry = find_page(url);
        g_request.hash = url.hash;
        if (g_request.entry == nullptr)
            return find_name(url_table, url);
    }
    return g_request.entry;
}

// A group entry of the last page's name is not where its exit counts.
void
count_exit(unode* last_url)
{
    if (last_url == nullptr)
        return;
    unode* u = last_url;
    if (u->kind == kind_group) {
        hashed_name name{name_of(u), u->length, 0};
        u = find_page(name);
    }
    if (u != nullptr)
        ++u->exits;
}

// ---- entries

// Cuts a name longer than the capacity, in place, with the entry's warning.
// Returns true when it was cut.
bool
cut_name(hashed_name& name, std::size_t capacity, const char* entry)
{
    if (name.length <= capacity)
        return false;
    if (warnings_enabled()) {
        std::fprintf(stderr, "[%s] %s (%d)", entry, msg::string_too_long,
                     static_cast<int>(name.length));
        if (g_settings.debug)
            std::fprintf(stderr, ":\n--> %s", name.text);
        std::fputc('\n', stderr);
    }
    name.text[capacity] = '\0';
    name.length = capacity;
    name.hash = 0;
    name.recent = 0;
    return true;
}

// Room for an entry of that size in the table's arena; nullptr when memory
// is exhausted.  Each block is twice the one before, up to a limit, so that
// small tables stay small.
void*
arena_allocate(entry_arena& arena, std::size_t size)
{
    if (static_cast<std::size_t>(arena.end - arena.cursor) < size) {
        std::size_t data = arena.next_block;
        if (data < first_block)
            data = first_block;
        if (data < size)
            data = size;
        const std::size_t bytes = memory_size(sizeof(entry_arena::block) + data);
        auto* block = static_cast<entry_arena::block*>(table_allocate(bytes));
        if (block == nullptr)
            return nullptr;
        block->bytes = bytes;
        if (arena.blocks != nullptr)
            arena.blocks->used_end = arena.cursor;
        block->next = arena.blocks;
        block->used_end = nullptr;
        arena.blocks = block;
        arena.cursor = block->entries();
        arena.end = reinterpret_cast<char*>(block) + block->bytes;
        arena.next_block = data * 2 < last_block ? data * 2 : last_block;
    }
    void* p = arena.cursor;
    arena.cursor += size;
    return p;
}

// Frees the arena's blocks; with keep_newest, its newest block, the
// largest, stays for the entries to come.
void
empty_arena(entry_arena& arena, bool keep_newest)
{
    entry_arena::block* keep = keep_newest ? arena.blocks : nullptr;
    entry_arena::block* b = keep != nullptr ? keep->next : arena.blocks;
    while (b != nullptr) {
        entry_arena::block* next = b->next;
        free_table_memory(b, b->bytes);
        b = next;
    }
    arena.blocks = keep;
    if (keep != nullptr) {
        keep->next = nullptr;
        arena.cursor = keep->entries();
    } else {
        arena.cursor = arena.end = nullptr;
        arena.next_block = 0;
    }
}

// A new entry, at the head of its bucket's chain and in the index.  The
// entry's name follows it.  nullptr when memory is exhausted; nothing is
// added then.
template <typename Node>
Node*
new_node(chained_table<Node>& table, hashed_name& name, int kind)
{
    if (!reserve_index(table))
        return nullptr;
    void* memory = arena_allocate(table.arena, arena_size_of<Node>(name.length));
    if (memory == nullptr)
        return nullptr;
    const auto address = reinterpret_cast<std::uintptr_t>(memory);
    if ((address & ~address_bits) != 0) {
        // Never here: user addresses have 47 bits on the machines we build for.
        table.arena.cursor = static_cast<char*>(memory);
        return nullptr;
    }
    Node* n = new (memory) Node{};
    std::memcpy(name_of(n), name.text, name.length);
    name_of(n)[name.length] = '\0';
    n->hash = static_cast<std::uint32_t>(name.hash);
    n->length = static_cast<entry_length>(name.length);

    Node*& head = table.bucket[super_fast_hash(name.text, name.length) & (table_size - 1)];
    n->next = head;
    head = n;
    place<Node>(table.index, table.index_size, n->hash, slot_tag(n->hash) | address);
    ++table.entries;
    if (kind != kind_group)
        remember(table, n, name);
    return n;
}

// A new entry of a kinded table; the table's distinct count goes up unless
// the entry is a group.
template <typename Node>
Node*
new_counted_node(chained_table<Node>& table, hashed_name& name, int kind, u64 hits, u64& unique)
{
    Node* n = new_node(table, name, kind);
    if (n == nullptr)
        return nullptr;
    n->kind = static_cast<entry_kind>(kind);
    n->hits = hits;
    if (kind != kind_group)
        ++unique;
    return n;
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

// Referrers and agents: a count, a kind and a hide list.
int
add_named_count(chained_table<rnode>& table, hashed_name& name, rnode* hint, std::size_t capacity,
                const char* entry, int kind, u64 hits, u64& unique, const nlist& hide)
{
    if (cut_name(name, capacity, entry)) {
        hint = nullptr;
    }
    if (rnode* n = find_entry(table, name, kind, hint)) {
        n->hits += hits;
        return 0;
    }
    rnode* n = new_counted_node(table, name, kind, hits, unique);
    if (n == nullptr)
        return 1;
    if (kind != kind_group && is_hidden_by(hide, name_of(n)))
        n->kind = kind_hidden;
    return 0;
}

}  // namespace

int
add_host(hashed_name& name, hnode* hint, int kind, u64 hits, u64 files, u64& unique,
         u64 restored_visits, double bytes, u64 time, const char* last_url_name, host_table& table)
{
    if (cut_name(name, host_name_capacity, "new_hnode")) {
        hint = nullptr;
    }
    // Only the month's own host entries drive entry and exit pages; group
    // entries count their visits without counting the pages a second time.
    const bool tracks_pages = &table == &site_table && kind != kind_group;

    if (hnode* n = find_entry(table, name, kind, hint)) {
        n->hits += hits;
        n->files += files;
        n->bytes += bytes;
        if (g_request.is_page) {
            if (starts_visit(time, n->last_time)) {
                ++n->visits;
                if (tracks_pages) {
                    count_exit(n->last_url);
                    count_entry();
                }
            }
            n->last_url = current_page();
            n->last_time = time;
        }
        return 0;
    }

    hnode* n = new_counted_node(table, name, kind, hits, unique);
    if (n == nullptr)
        return 1;
    n->files = files;
    n->bytes = bytes;
    n->last_url = nullptr;

    if (restored_visits != 0) {
        n->visits = restored_visits - 1;
        if (last_url_name != nullptr && last_url_name[0] != '\0') {
            hashed_name last = measured_name(const_cast<char*>(last_url_name));
            n->last_url = find_name(url_table, last);
        }
        n->last_time = time;
        return 0;
    }
    if (g_request.is_page) {
        if (tracks_pages)
            count_entry();
        n->last_url = current_page();
        n->last_time = time;
        n->visits = 1;
    }
    if (kind != kind_group &&
        (g_settings.hide_all_sites || is_hidden_by(g_settings.hide_site, name_of(n))))
        n->kind = kind_hidden;
    return 0;
}

int
add_url(hashed_name& name, unode*& hint, int kind, u64 hits, u64& unique, u64 entries, u64 exits,
        double bytes)
{
    if (name.text[0] == '-') {
        hint = nullptr;
        return 0;
    }
    if (cut_name(name, url_name_capacity, "new_unode")) {
        hint = nullptr;
    }
    if (unode* n = find_entry(url_table, name, kind, hint)) {
        n->hits += hits;
        n->bytes += bytes;
        if (kind != kind_group)
            hint = n;
        return 0;
    }
    unode* n = new_counted_node(url_table, name, kind, hits, unique);
    if (kind != kind_group)
        hint = n;
    if (n == nullptr)
        return 1;
    n->bytes = bytes;
    n->entries = entries;
    n->exits = exits;
    if (kind != kind_group && is_hidden_by(g_settings.hide_url, name_of(n)))
        n->kind = kind_hidden;
    return 0;
}

int
add_referrer(hashed_name& name, rnode* hint, int kind, u64 hits, u64& unique)
{
    if (name.text[0] == '-') {
        static constexpr char direct[] = "- (Direct Request)";
        static_assert(sizeof direct == direct_referrer_room);
        std::memcpy(name.text, direct, sizeof direct);
        name.length = sizeof direct - 1;
        name.hash = 0;
        name.recent = 0;
        hint = nullptr;
    }
    return add_named_count(referrer_table, name, hint, referrer_name_capacity, "new_rnode", kind,
                           hits, unique, g_settings.hide_referrer);
}

int
add_agent(hashed_name& name, anode* hint, int kind, u64 hits, u64& unique)
{
    if (name.text[0] == '-')
        return 0;
    return add_named_count(agent_table, name, hint, agent_name_capacity, "new_anode", kind, hits,
                           unique, g_settings.hide_agent);
}

int
add_user(hashed_name& name, inode* hint, int kind, u64 hits, u64 files, u64& unique,
         u64 restored_visits, double bytes, u64 time)
{
    if (name.text[0] == '\0' || name.text[0] == '-')
        return 0;
    if (cut_name(name, user_name_capacity, "new_inode")) {
        hint = nullptr;
    }
    if (inode* n = find_entry(user_table, name, kind, hint)) {
        n->hits += hits;
        n->files += files;
        n->bytes += bytes;
        if (g_request.is_page) {
            if (starts_visit(time, n->last_time))
                ++n->visits;
            n->last_time = time;
        }
        return 0;
    }
    inode* n = new_counted_node(user_table, name, kind, hits, unique);
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
    if (g_request.is_page)
        n->last_time = time;
    if (kind != kind_group && is_hidden_by(g_settings.hide_user, name_of(n)))
        n->kind = kind_hidden;
    return 0;
}

namespace {

// The recent entry of one of the record's names, or, when there is none,
// its hash, with its home slot on its way into the cache.
template <typename Node>
Node*
prepare_name(const chained_table<Node>& table, hashed_name& name)
{
    if (Node* n = find_recent(table, name))
        return n;
    ensure_hash(name);
    if (table.index != nullptr)
        __builtin_prefetch(
            &table.index[home_slot(static_cast<std::uint32_t>(name.hash), table.index_size)]);
    return nullptr;
}

// The entry in the name's home slot, when it likely is the name's.
template <typename Node>
void
prefetch_entry(const chained_table<Node>& table, const hashed_name& name, const Node* hint)
{
    if (hint != nullptr || table.index == nullptr)
        return;
    const std::uint64_t slot =
        table.index[home_slot(static_cast<std::uint32_t>(name.hash), table.index_size)];
    if (slot != 0 && (slot & ~address_bits) == slot_tag(static_cast<std::uint32_t>(name.hash))) {
        const Node* n = slot_entry<Node>(slot);
        __builtin_prefetch(n);
        __builtin_prefetch(n + 1);
    }
}

}  // namespace

void* (*table_allocate)(std::size_t size) = allocate_table_memory;

template <int c, int d>
std::uint64_t
sip_hash(const void* data, std::size_t length, std::uint64_t k0, std::uint64_t k1)
{
    sip_state s{k0 ^ 0x736f6d6570736575ULL, k1 ^ 0x646f72616e646f6dULL, k0 ^ 0x6c7967656e657261ULL,
                k1 ^ 0x7465646279746573ULL};
    const auto* p = static_cast<const unsigned char*>(data);
    const unsigned char* end = p + (length & ~static_cast<std::size_t>(7));
    for (; p != end; p += 8) {
        const std::uint64_t m = load64(p);
        s.v3 ^= m;
        for (int i = 0; i < c; ++i)
            s.round();
        s.v0 ^= m;
    }
    std::uint64_t last = static_cast<std::uint64_t>(length) << 56;
    for (std::size_t i = 0; i < (length & 7); ++i)
        last |= static_cast<std::uint64_t>(p[i]) << (8 * i);
    s.v3 ^= last;
    for (int i = 0; i < c; ++i)
        s.round();
    s.v0 ^= last;
    s.v2 ^= 0xff;
    for (int i = 0; i < d; ++i)
        s.round();
    return s.v0 ^ s.v1 ^ s.v2 ^ s.v3;
}

template std::uint64_t sip_hash<1, 3>(const void*, std::size_t, std::uint64_t, std::uint64_t);
template std::uint64_t sip_hash<2, 4>(const void*, std::size_t, std::uint64_t, std::uint64_t);

std::uint64_t
name_hash(const char* text, std::size_t length)
{
    return sip_hash<1, 3>(text, length, run_key.k0, run_key.k1);
}

hashed_name
measured_name(char* text)
{
    return {text, std::strlen(text), 0};
}

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
    const std::size_t length = std::strlen(url);
    g_request = {url, length, 0, is_page, nullptr};
}

void
set_current_url(const hashed_name& url, bool is_page, unode* entry)
{
    g_request = {url.text, url.length, url.hash, is_page, entry};
}

void
prepare_record_names(record_names& names, counted_record& r, const text_lengths* lengths)
{
    names.host = {r.host, std::strlen(r.host), 0};
    if (lengths != nullptr) {
        names.url = {r.request, lengths->request, 0};
        names.referrer = {r.referrer, lengths->referrer, 0};
        names.agent = {r.agent, lengths->agent, 0};
        names.user = {r.user, lengths->user, 0};
    } else {
        names.url = {r.request, std::strlen(r.request), 0};
        names.referrer = {r.referrer, std::strlen(r.referrer), 0};
        names.agent = {r.agent, std::strlen(r.agent), 0};
        names.user = {r.user, std::strlen(r.user), 0};
    }

    // First every hash and index slot, then the chains' first entries: the
    // loads of one name overlap those of the others.
    names.site_hint = prepare_name(site_table, names.host);
    names.daily_hint = prepare_name(daily_site_table, names.host);
    names.url_hint = prepare_name(url_table, names.url);
    names.referrer_hint = prepare_name(referrer_table, names.referrer);
    names.agent_hint = prepare_name(agent_table, names.agent);
    names.user_hint = prepare_name(user_table, names.user);

    prefetch_entry(site_table, names.host, names.site_hint);
    prefetch_entry(daily_site_table, names.host, names.daily_hint);
    prefetch_entry(url_table, names.url, names.url_hint);
    prefetch_entry(referrer_table, names.referrer, names.referrer_hint);
    prefetch_entry(agent_table, names.agent, names.agent_hint);
    prefetch_entry(user_table, names.user, names.user_hint);
}

const char*
lookup_url_name(const char* name)
{
    hashed_name key = measured_name(const_cast<char*>(name));
    const unode* u = find_name(url_table, key);
    return u != nullptr ? name_of(u) : no_url;
}

int
add_host(char* name, int kind, u64 hits, u64 files, u64& unique, u64 restored_visits, double bytes,
         u64 time, const char* last_url_name, host_table& table)
{
    hashed_name key = measured_name(name);
    return add_host(key, nullptr, kind, hits, files, unique, restored_visits, bytes, time,
                    last_url_name, table);
}

int
add_url(char* name, int kind, u64 hits, u64& unique, u64 entries, u64 exits, double bytes)
{
    hashed_name key = measured_name(name);
    unode* entry = nullptr;
    return add_url(key, entry, kind, hits, unique, entries, exits, bytes);
}

int
add_referrer(char* name, int kind, u64 hits, u64& unique)
{
    hashed_name key = measured_name(name);
    return add_referrer(key, nullptr, kind, hits, unique);
}

int
add_agent(char* name, int kind, u64 hits, u64& unique)
{
    hashed_name key = measured_name(name);
    return add_agent(key, nullptr, kind, hits, unique);
}

int
add_user(char* name, int kind, u64 hits, u64 files, u64& unique, u64 restored_visits, double bytes,
         u64 time)
{
    hashed_name key = measured_name(name);
    return add_user(key, nullptr, kind, hits, files, unique, restored_visits, bytes, time);
}

int
add_search(char* name, u64 hits)
{
    if (name[0] == '\0' || name[0] == ' ')
        return 0;
    hashed_name key = measured_name(name);
    cut_name(key, search_name_capacity, "new_snode");
    if (snode* n = find_name(search_table, key)) {
        n->hits += hits;
        return 0;
    }
    snode* n = new_node(search_table, key, kind_regular);
    if (n == nullptr)
        return 1;
    n->hits = hits;
    return 0;
}

int
add_dns(char* name, const void* addr, int addr_len)
{
    if (name[0] == '\0' || name[0] == ' ')
        return 0;
    hashed_name key = measured_name(name);
    cut_name(key, dns_name_capacity, "new_dnode");
    if (find_name(dns_table, key) != nullptr)
        return 0;
    dnode* n = new_node(dns_table, key, kind_regular);
    if (n == nullptr)
        return 1;
    if (addr != nullptr && addr_len > 0) {
        const std::size_t len = static_cast<std::size_t>(addr_len) < sizeof n->addr
                                    ? static_cast<std::size_t>(addr_len)
                                    : sizeof n->addr;
        std::memcpy(n->addr, addr, len);
    }
    n->addr_len = addr_len;
    return 0;
}

void
close_open_visits(u64 time)
{
    for_each_entry(site_table, [&](hnode* n) {
        if (n->kind != kind_group && starts_visit(time, n->last_time))
            count_exit(n->last_url);
    });
}

u64
count_table_visits(const host_table& table)
{
    u64 visits = 0;
    for_each_entry(table, [&](const hnode* n) {
        if (n->kind != kind_group)
            visits += n->visits;
    });
    return visits;
}

namespace {

// Empties the table.  keep_memory: its index and newest arena block stay
// for the entries to come, since a table cleared every day or month mostly
// fills again as far; otherwise the system must find and zero that memory
// anew each time.
template <typename Node>
void
empty_table(chained_table<Node>& table, bool keep_memory)
{
    for (Node*& head : table.bucket)
        head = nullptr;
    empty_arena(table.arena, keep_memory);
    if (keep_memory && table.index != nullptr) {
        std::memset(table.index, 0, table.index_size * sizeof table.index[0]);
    } else {
        if (table.index != nullptr)
            free_index(table.index, table.index_size);
        table.index = nullptr;
        table.index_size = 0;
    }
    table.entries = 0;
    for (auto& slot : table.recent)
        slot = {};
}

}  // namespace

template <typename Node>
void
clear_table(chained_table<Node>& table)
{
    empty_table(table, true);
}

template <typename Node>
std::size_t
index_memory(const chained_table<Node>& table)
{
    return table.index != nullptr ? memory_size(table.index_size * sizeof table.index[0]) : 0;
}

template <typename Node>
std::size_t
table_memory(const chained_table<Node>& table)
{
    std::size_t bytes = index_memory(table);
    for (const entry_arena::block* b = table.arena.blocks; b != nullptr; b = b->next)
        bytes += b->bytes;
    return bytes;
}

template std::size_t index_memory(const chained_table<hnode>&);
template std::size_t index_memory(const chained_table<unode>&);
template std::size_t index_memory(const chained_table<rnode>&);
template std::size_t table_memory(const chained_table<hnode>&);
template std::size_t table_memory(const chained_table<unode>&);
template std::size_t table_memory(const chained_table<rnode>&);
template std::size_t table_memory(const chained_table<snode>&);
template std::size_t table_memory(const chained_table<inode>&);

template void clear_table(chained_table<hnode>&);
template void clear_table(chained_table<unode>&);
template void clear_table(chained_table<rnode>&);
template void clear_table(chained_table<snode>&);
template void clear_table(chained_table<inode>&);
template void clear_table(chained_table<dnode>&);

void
release_tables()
{
    g_request.entry = nullptr;
    empty_table(daily_site_table, false);
    empty_table(url_table, false);
    empty_table(site_table, false);
    empty_table(referrer_table, false);
    empty_table(agent_table, false);
    empty_table(search_table, false);
    empty_table(user_table, false);
    empty_table(dns_table, false);
}

void
clear_month_tables()
{
    g_request.entry = nullptr;
    clear_table(daily_site_table);
    clear_table(url_table);
    clear_table(site_table);
    clear_table(referrer_table);
    clear_table(agent_table);
    clear_table(search_table);
    clear_table(user_table);
}
