// Where numeric addresses come from: a Terrabase file (a Berkeley DB B-tree
// of address ranges, each under its last address) or a GeoIP2 country
// database, never both; and the attribution of a month's hosts to the rows
// of the country table.
#pragma once

#include <memory>

#include "resolve/countries.hpp"
#include "resolve/db_handles.hpp"

struct settings;

/// The open sources of the run.  A source that failed to open, or that was
/// switched off, holds no handle.
struct geo_sources {
    owned_db terrabase;
    DBC* cursor = nullptr;  // on terrabase; closed with it
    owned_mmdb geoip;
};
extern geo_sources g_geo;

/// The TopCountries slots of the month: rows by hits, descending, ties in
/// table order.  Allocated at start-up, emptied with the month.
struct top_country_slots {
    std::unique_ptr<country_row*[]> slots;
    int count = 0;
};
extern top_country_slots g_top_countries;

/// Opens the sources the settings ask for.  Terrabase wins: with it on,
/// GeoIP is switched off even when the Terrabase file fails to open.  A
/// source that cannot be opened is switched off with its messages.
void geo_open(settings& s);

/// Closes whatever geo_open opened.
void geo_close();

/// The code of an address, two characters and a zero, "--" when the text is
/// no address, the address lies in no range, or no Terrabase file is open.
/// IPv4-mapped and 6to4 addresses are looked up as their IPv4 address.
const char* terrabase_lookup(const char* address);

/// The version text stored in the open Terrabase file, or "Unknown".  In one
/// static buffer.
const char* terrabase_version();

/// The code GeoIP2 gives an address, lower-cased, or "" when it gives none
/// (or no GeoIP2 database is open).  In one static buffer.
const char* geoip_lookup(const char* address);

/// Adds every host of the month's site table but the groups to the counters of its
/// country row: named hosts by top-level domain, numeric ones by the open
/// source.
void attribute_countries();

/// Fills the TopCountries slots from the counters and returns the number of
/// rows with hits (row 0 included).
int select_top_countries();

/// Makes count empty slots; false when memory is short.
bool allocate_top_countries(int count);

/// Empties the slots.
void clear_top_countries();
