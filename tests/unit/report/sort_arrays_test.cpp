#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "hand_entries.hpp"
#include "report/sort_arrays.hpp"

TEST(SortArrays, OrderDoesNotDependOnHowTheArrayWasCollected)
{
    entries<rnode> e;
    rnode* group = &e.add("lan", kind_group);
    rnode* regular = &e.add("lan", kind_regular);
    rnode* more = &e.add("zeta", kind_hidden);
    rnode* fewer = &e.add("alpha", kind_regular);
    group->hits = regular->hits = fewer->hits = 5;
    more->hits = 9;
    std::vector<rnode*> a = {group, fewer, more, regular};
    std::vector<rnode*> b = {regular, more, fewer, group};
    std::sort(a.begin(), a.end(), by_key<&rnode::hits>{});
    std::sort(b.begin(), b.end(), by_key<&rnode::hits>{});
    EXPECT_EQ(a, b);
    EXPECT_EQ(a[0], more) << "the larger key first";
    EXPECT_EQ(a[1], fewer) << "equal keys by name";
    EXPECT_EQ(a[2], regular) << "a name's regular entry before its group";
    EXPECT_EQ(a[3], group);
}

// The sort that compares copies of the keys and of the names' first bytes
// puts entries in exactly the order of the comparator: names equal in their
// first eight bytes or shorter than eight, bytes above 127 (which must
// count as large, as the comparator's unsigned comparison has them), equal
// keys, and a group beside a regular entry of the same name.
TEST(SortArrays, SortingByCopiesKeepsTheComparatorsOrder)
{
    const char* names[] = {"/index.html",  "/index.htm", "/index.html?a", "/",        "",
                           "/a",           "/\xb1\xbf",  "/\x7f",         "/abcdefg", "/abcdefgh",
                           "/abcdefg\x80", "lan",        "LAN",           "/index"};
    entries<unode> e;
    unsigned seed = 7;
    const auto next = [&] { return seed = seed * 1103515245u + 12345u; };
    for (int round = 0; round < 40; ++round) {
        for (const char* name : names) {
            unode& u = e.add(name, round % 3 == 0 ? kind_group : kind_regular);
            u.hits = next() % 4;
            u.bytes = static_cast<double>(next() % 3) * 1.5;
        }
    }
    std::vector<unode*> expected = e.items;
    std::vector<unode*> got = e.items;
    std::stable_sort(expected.begin(), expected.end(), by_key<&unode::hits>{});
    sort_by_key<&unode::hits>(got.data(), got.size());
    const auto names_of = [](const std::vector<unode*>& v) {
        std::vector<std::string> out;
        for (const unode* u : v)
            out.push_back(std::string(name_of(u)) + "/" + std::to_string(u->hits) + "/" +
                          std::to_string(u->kind));
        return out;
    };
    EXPECT_EQ(names_of(got), names_of(expected));

    std::stable_sort(expected.begin(), expected.end(), by_key<&unode::bytes>{});
    sort_by_key<&unode::bytes>(got.data(), got.size());
    EXPECT_EQ(names_of(got), names_of(expected));
}
