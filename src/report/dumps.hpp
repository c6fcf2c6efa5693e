// Tab-separated dump files of the month's tables, for other programs.
#pragma once

#include "report/sort_arrays.hpp"

/// Each writes the kind's file from its array, sorted by hits: group entries
/// are left out, hidden ones are written.
void dump_sites(const sort_array<hnode>& a, int year, int month);
void dump_urls(const sort_array<unode>& a, int year, int month);
void dump_referrers(const sort_array<rnode>& a, int year, int month);
void dump_agents(const sort_array<anode>& a, int year, int month);
void dump_users(const sort_array<inode>& a, int year, int month);
void dump_search_strings(const sort_array<snode>& a, int year, int month);
