// The search engines known without configuration: host-name fragment and query key.
#pragma once

inline constexpr int builtin_search_engine_count = 16;

/// Values in the SearchEngine form: a host-name fragment, blanks, the query key.
extern const char* const builtin_search_engines[builtin_search_engine_count];
