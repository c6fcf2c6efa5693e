// The per-kind arrays of table entries that the month report sorts, and the
// orders it sorts them in.  The tables themselves are never reordered.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <type_traits>

#include "tables/tables.hpp"

/// Entries of one table in the order the reports want them.
template <typename Node> struct sort_array {
    Node** items = nullptr;
    std::size_t count = 0;
};

/// Orders entries by a descending key (by_key<&unode::hits>, &unode::bytes,
/// &unode::entries ...), equal keys by name, byte-wise ascending.  A group
/// entry and a regular one of the same name and key are ordered by kind, so
/// that the order never depends on how the array was collected.
template <auto Key> struct by_key {
    template <typename Node> bool operator()(const Node* a, const Node* b) const
    {
        if (a->*Key != b->*Key)
            return a->*Key > b->*Key;
        const int by_name = std::strcmp(name_of(a), name_of(b));
        if constexpr (requires { a->kind; })
            if (by_name == 0)
                return a->kind < b->kind;
        return by_name < 0;
    }
};

/// Sorts the entries as by_key<Key> orders them.  The comparisons work on
/// copies of each entry's key and of its name's first eight bytes, laid out
/// side by side, and reach the entries themselves, which lie all over memory,
/// only for equal keys and equal first bytes.  Without memory for the copies
/// the entries are sorted directly, in the same order.
template <auto Key, typename Node>
void
sort_by_key(Node** items, std::size_t count)
{
    using key_type = std::remove_cvref_t<decltype(std::declval<const Node&>().*Key)>;
    struct item {
        key_type key;
        std::uint64_t head;  // the name's first bytes, big-endian, NULs after its end
        Node* node;
    };
    const std::unique_ptr<item[]> copies(new (std::nothrow) item[count]);
    if (!copies) {
        std::sort(items, items + count, by_key<Key>{});
        return;
    }
    for (std::size_t i = 0; i < count; ++i) {
        const auto* name = reinterpret_cast<const unsigned char*>(name_of(items[i]));
        std::uint64_t head = 0;
        for (int b = 0; b < 8 && name[b] != 0; ++b)
            head |= std::uint64_t{name[b]} << (56 - 8 * b);
        copies[i] = {items[i]->*Key, head, items[i]};
    }
    // Byte-wise order of the names is the order of their big-endian heads,
    // as far as the heads go.
    std::sort(copies.get(), copies.get() + count, [](const item& a, const item& b) {
        if (a.key != b.key)
            return a.key > b.key;
        if (a.head != b.head)
            return a.head < b.head;
        return by_key<Key>{}(a.node, b.node);
    });
    for (std::size_t i = 0; i < count; ++i)
        items[i] = copies[i].node;
}
