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
