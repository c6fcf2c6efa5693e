// Table entries made by hand for the page tests, laid out as the tables lay
// them out (each name right after its entry), in the order given, as the
// month report would hand them over after sorting.
#pragma once

#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "report/sort_arrays.hpp"

template <typename Node> struct entries {
    std::vector<std::unique_ptr<char[]>> memory;
    std::vector<Node*> items;

    Node& add(const char* name, int kind = kind_regular)
    {
        const std::size_t length = std::strlen(name);
        memory.push_back(std::make_unique<char[]>(arena_size_of<Node>(length)));
        Node* n = new (memory.back().get()) Node{};
        std::memcpy(name_of(n), name, length + 1);
        n->length = static_cast<entry_length>(length);
        if constexpr (requires { n->kind; })
            n->kind = static_cast<entry_kind>(kind);
        items.push_back(n);
        return *n;
    }
    sort_array<Node> array() { return {items.data(), items.size()}; }
};
