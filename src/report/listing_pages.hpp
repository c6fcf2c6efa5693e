// The full listing pages: every visible entry of one kind for the month, as
// preformatted text beside the month page.  Each is written from its top
// table, from the array in the order that table has just used.
#pragma once

#include "common/types.hpp"
#include "report/sort_arrays.hpp"

// Each takes the array's numbers of regular and of group entries, which the
// caller has counted already, and returns true when the page was written.
bool site_listing_page(const sort_array<hnode>& sites, u64 regular, u64 groups);
bool url_listing_page(const sort_array<unode>& urls, u64 regular, u64 groups);
bool referrer_listing_page(const sort_array<rnode>& referrers, u64 regular, u64 groups);
bool agent_listing_page(const sort_array<anode>& agents, u64 regular, u64 groups);
bool user_listing_page(const sort_array<inode>& users, u64 regular, u64 groups);

/// Search strings have no kinds: every entry is listed, its share taken of the
/// strings' own hit sum.  No page for an empty array.
bool search_listing_page(const sort_array<snode>& searches, u64 count, u64 hit_sum);
