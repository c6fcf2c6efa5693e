#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "report/sort_arrays.hpp"

namespace {

rnode
entry(const char* name, int kind, u64 hits)
{
    rnode n{};
    n.name = const_cast<char*>(name);
    n.length = static_cast<std::uint32_t>(std::strlen(name));
    n.kind = kind;
    n.hits = hits;
    return n;
}

}  // namespace

TEST(SortArrays, OrderDoesNotDependOnHowTheArrayWasCollected)
{
    rnode group = entry("lan", kind_group, 5);
    rnode regular = entry("lan", kind_regular, 5);
    rnode more = entry("zeta", kind_hidden, 9);
    rnode fewer = entry("alpha", kind_regular, 5);
    std::vector<rnode*> a = {&group, &fewer, &more, &regular};
    std::vector<rnode*> b = {&regular, &more, &fewer, &group};
    std::sort(a.begin(), a.end(), by_key<&rnode::hits>{});
    std::sort(b.begin(), b.end(), by_key<&rnode::hits>{});
    EXPECT_EQ(a, b);
    EXPECT_EQ(a[0], &more) << "the larger key first";
    EXPECT_EQ(a[1], &fewer) << "equal keys by name";
    EXPECT_EQ(a[2], &regular) << "a name's regular entry before its group";
    EXPECT_EQ(a[3], &group);
}
