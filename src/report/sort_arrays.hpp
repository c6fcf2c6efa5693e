// The per-kind arrays of table entries that the month report sorts, and the
// orders it sorts them in.  The tables themselves are never reordered.
#pragma once

#include <cstddef>
#include <cstring>

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
