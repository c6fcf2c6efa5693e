// The top tables of the month page: the first entries of each kind, written
// into the open page right after the month report sorted the kind's array in
// the table's order.  Tables with a full listing page decide whether it is
// needed, write it and link to it.
#pragma once

#include <cstdio>

#include "report/sort_arrays.hpp"
#include "resolve/countries.hpp"

/// Sites by hits (TopSites) or, with by_kb, by kilobytes (TopKSites).
void site_leaders(std::FILE* page, const sort_array<hnode>& sites, bool by_kb);

/// URLs by hits (TopURLs) or, with by_kb, by kilobytes (TopKURLs).
void url_leaders(std::FILE* page, const sort_array<unode>& urls, bool by_kb);

/// Entry pages (TopEntry) or, with exits, exit pages (TopExit), from the URLs
/// sorted by that count.
void entry_exit_leaders(std::FILE* page, const sort_array<unode>& urls, bool exits);

void referrer_leaders(std::FILE* page, const sort_array<rnode>& referrers);
void agent_leaders(std::FILE* page, const sort_array<anode>& agents);
void search_leaders(std::FILE* page, const sort_array<snode>& searches);
void user_leaders(std::FILE* page, const sort_array<inode>& users);

/// The country table: a row for each of the first top slots whose row has
/// hits, under a title of shown rows out of total countries with hits.
void country_leaders(std::FILE* page, country_row* const* slots, int top, int shown, int total);
