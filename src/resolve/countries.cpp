#include "resolve/countries.hpp"

#include <cstring>

#include "common/catalog.hpp"

const char* const country_code[country_rows] = {
    "",       "com",  "edu",  "gov",  "int",  "mil",  "net",  "org",  "biz",  "cat",  "pro",
    "tel",    "aero", "asia", "coop", "info", "jobs", "mobi", "name", "arpa", "nato", "museum",
    "travel", "ac",   "ad",   "ae",   "af",   "ag",   "ai",   "al",   "am",   "an",   "ao",
    "aq",     "ar",   "as",   "at",   "au",   "aw",   "ax",   "az",   "ba",   "bb",   "bd",
    "be",     "bf",   "bg",   "bh",   "bi",   "bj",   "bl",   "bm",   "bn",   "bo",   "br",
    "bs",     "bt",   "bv",   "bw",   "by",   "bz",   "ca",   "cc",   "cd",   "cf",   "cg",
    "ch",     "ci",   "ck",   "cl",   "cm",   "cn",   "co",   "cr",   "cu",   "cv",   "cx",
    "cy",     "cz",   "de",   "dj",   "dk",   "dm",   "do",   "dz",   "ec",   "ee",   "eg",
    "eh",     "er",   "es",   "et",   "eu",   "fi",   "fj",   "fk",   "fm",   "fo",   "fr",
    "ga",     "gb",   "gd",   "ge",   "gf",   "gg",   "gh",   "gi",   "gl",   "gm",   "gn",
    "gp",     "gq",   "gr",   "gs",   "gt",   "gu",   "gw",   "gy",   "hk",   "hm",   "hn",
    "hr",     "ht",   "hu",   "id",   "ie",   "il",   "im",   "in",   "io",   "iq",   "ir",
    "is",     "it",   "je",   "jm",   "jo",   "jp",   "ke",   "kg",   "kh",   "ki",   "km",
    "kn",     "kp",   "kr",   "kw",   "ky",   "kz",   "la",   "lb",   "lc",   "li",   "lk",
    "lr",     "ls",   "lt",   "lu",   "lv",   "ly",   "ma",   "mc",   "md",   "me",   "mf",
    "mg",     "mh",   "mk",   "ml",   "mm",   "mn",   "mo",   "mp",   "mq",   "mr",   "ms",
    "mt",     "mu",   "mv",   "mw",   "mx",   "my",   "mz",   "na",   "nc",   "ne",   "nf",
    "ng",     "ni",   "nl",   "no",   "np",   "nr",   "nu",   "nz",   "om",   "pa",   "pe",
    "pf",     "pg",   "ph",   "pk",   "pl",   "pm",   "pn",   "pr",   "ps",   "pt",   "pw",
    "py",     "qa",   "re",   "ro",   "rs",   "ru",   "rw",   "sa",   "sb",   "sc",   "sd",
    "se",     "sg",   "sh",   "si",   "sj",   "sk",   "sl",   "sm",   "sn",   "so",   "sr",
    "st",     "su",   "sv",   "sy",   "sz",   "tc",   "td",   "tf",   "tg",   "th",   "tj",
    "tk",     "tl",   "tm",   "tn",   "to",   "tp",   "tr",   "tt",   "tv",   "tw",   "tz",
    "ua",     "ug",   "uk",   "um",   "us",   "uy",   "uz",   "va",   "vc",   "ve",   "vg",
    "vi",     "vn",   "vu",   "wf",   "ws",   "ye",   "yt",   "yu",   "za",   "zm",   "zw",
    "a1",     "a2",   "o1",   "ap",   "lan",
};

void
reset_country_table()
{
    for (int i = 0; i < country_rows; ++i)
        ctry_table[i] = {encode_country(country_code[i]), msg::country_description[i], 0, 0, 0};
    ctry_table[country_rows] = {0, nullptr, 0, 0, 0};
}

void
clear_country_counters()
{
    for (country_row* row = ctry_table; row->description != nullptr; ++row) {
        row->hits = 0;
        row->files = 0;
        row->bytes = 0;
    }
}

const char*
decode_country(std::int64_t value)
{
    static char text[7];
    std::memset(text, 0, sizeof text);
    if (value == 0)
        return text;
    const auto low32 = static_cast<std::uint32_t>(value);
    const auto low = static_cast<int>(value & 0x7f);
    // A letter followed by a digit: the digit's negative letter value
    // borrowed from the letter's field, leaving the low seven bits high.
    if (low >= 33) {
        text[0] = static_cast<char>((low32 >> 7) + 97);
        text[1] = static_cast<char>(low - 32);
        return text;
    }
    text[5] = static_cast<char>(low + 96);
    for (int i = 0; i < 4; ++i) {
        const unsigned field = (low32 >> (7 + 5 * i)) & 0x1f;
        text[4 - i] = field == 0 ? ' ' : static_cast<char>(field + 96);
    }
    text[0] = low32 < (1u << 27) ? ' ' : static_cast<char>((low32 >> 27) + 96);
    if (text[0] == ' ') {
        int skip = 0;
        while (text[skip] == ' ')
            ++skip;
        std::memmove(text, text + skip, sizeof text - skip);
    }
    return text;
}

country_row&
country_by_value(std::int64_t value)
{
    if (value != 0)
        for (country_row* row = ctry_table; row->description != nullptr; ++row)
            if (row->code_value == value)
                return *row;
    return ctry_table[0];
}

country_row&
country_by_name(const char* name)
{
    const char* dot = std::strrchr(name, '.');
    if (dot == nullptr || dot == name)
        return ctry_table[0];
    return country_by_value(encode_country(dot + 1));
}
