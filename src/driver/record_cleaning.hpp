// The clean-up of a parsed record's fields, in the record loop's order; each
// step works in place on the record.
#pragma once

#include "common/records.hpp"

/// The bare URL from the quoted request: method and quotes dropped, the query
/// cut, normalised, index aliases removed.
void clean_url(log_record& r);

/// The referrer without quotes, its query part moved to search_text, scheme
/// and host lower-cased.
void clean_referrer(log_record& r);

/// Referrer and URL cut to what the tables hold, with a warning that names
/// the line.
void limit_lengths(log_record& r, u64 line_number);

/// The agent without its enclosing quotes or parentheses, cut at markup.
void clean_agent(log_record& r);

/// "-" for no user; the name cut at a control character or quote, unescaped.
void clean_user(log_record& r);

/// A host that is not a valid name or address becomes "Invalid"; a cached
/// name that is not valid gives way to the logged address (saved_host).
/// saved_host is the host itself when no cached name replaced it.
void check_host(char (&host)[host_name_capacity + 1], const char* saved_host);
