#include "input/search_engines.hpp"

// A referrer has to contain the fragment for its query key to be looked up;
// the first one is a whole name label so that it matches every country domain.
const char* const builtin_search_engines[builtin_search_engine_count] = {
    ".google.      q=",     "yahoo.com     p=",          "bing.com      q=",
    "lycos.com     query=", "duckduckgo    q=",          "ask.com       q=",
    "search.aol    query=", "hotbot.com    MT=",         "ecosia.org    q=",
    "looksmart     qt=",    "webcrawler    searchText=", "excite.com    search=",
    "netscape.com  query=", "mamma.com     query=",      "alltheweb     q=",
    "northernlight qr=",
};
