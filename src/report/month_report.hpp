// The report of one month: for now the per-kind sort arrays and the dump files.
#pragma once

#include <cstddef>
#include <cstring>

#include "tables/tables.hpp"

/// Writes the report of the month on the period clock.  Returns 0 (the month
/// page, which could fail to open, comes with the page writer).
int month_report();

/// Entries of one table in the order the reports want them.
template <typename Node> struct sort_array {
    Node** items = nullptr;
    std::size_t count = 0;
};

/// Orders entries by a descending key (by_key<&unode::hits>, &unode::bytes,
/// &unode::entries ...), equal keys by name, byte-wise ascending.
template <auto Key> struct by_key {
    template <typename Node> bool operator()(const Node* a, const Node* b) const
    {
        if (a->*Key != b->*Key)
            return a->*Key > b->*Key;
        return std::strcmp(a->name, b->name) < 0;
    }
};
