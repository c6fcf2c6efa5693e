// Cleaning and classifying the texts of a record: escapes, URL characters,
// agent simplification, pages, search strings, domains and addresses.
// Byte-wise; character classes follow the locale; nothing allocates.
#pragma once

#include <cstddef>

#include "common/char_classes.hpp"

/// Decodes percent escapes in place.  A decoded control byte or DEL becomes "_".
void unescape_url(char* text);

/// True when c may belong to a URL; with strict off ";?&=" are accepted too.
/// The end-of-text byte counts as accepted.
inline bool
is_url_char(unsigned char c, bool strict)
{
    return has_class(c, strict ? cc_url_strict : cc_url_loose);
}

/// Rewrites the agent to its simpler form at the given level (1 to 5 and up).
template <std::size_t N> void mangle_agent(char (&agent)[N], int level);
void mangle_agent_text(char* agent, std::size_t capacity, int level);

template <std::size_t N>
void
mangle_agent(char (&agent)[N], int level)
{
    mangle_agent_text(agent, N, level);
}

/// True when the URL (of that length) counts as a page (OmitPage,
/// PagePrefix and PageType).
bool is_page_url(const char* url, std::size_t length);

/// Adds the search string of a search-engine referrer to the search table.
/// query is the referrer's query part, already decoded.
void extract_search(const char* query, const char* referrer);

/// The tail of the host holding its last levels + 1 name labels; the whole
/// host when it has fewer, or when levels is negative.
const char* group_domain_of(const char* host, int levels);

/// 0 a host name, 1 dotted IPv4, 2 IPv6 with a dot, 3 IPv6, -1 malformed.
int ip_address_kind(const char* text);

/// The value 0 to 15 of a hexadecimal digit (0-9, A-F, a-f); -1 for any other
/// character, which readers of escapes and colours count as 0.
int hex_digit_value(char c);
