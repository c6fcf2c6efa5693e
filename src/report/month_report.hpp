// The report of one month: for now the per-kind sort arrays and the dump files.
#pragma once

#include <cstddef>

#include "tables/tables.hpp"

/// Writes the report of the month on the period clock.  Returns 0 (the month
/// page, which could fail to open, comes with the page writer).
int month_report();

/// Entries of one table in the order the reports want them.
template <typename Node> struct sort_array {
    Node** items = nullptr;
    std::size_t count = 0;
};

/// Orders by descending hits, equal counts by name (byte-wise ascending).
template <typename Node> bool by_hits(const Node* a, const Node* b);

/// Orders by descending volume, equal volumes by name.
template <typename Node> bool by_bytes(const Node* a, const Node* b);
