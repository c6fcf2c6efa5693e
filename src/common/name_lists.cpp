#include "common/name_lists.hpp"

#include <cstdio>
#include <cstring>
#include <new>

#include "common/catalog.hpp"
#include "common/messages.hpp"

namespace {

// Only the single-byte whitespace characters separate a pattern from its
// label; bytes of the upper half never do, whatever the locale says.
bool
is_list_blank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

template <std::size_t N>
void
copy_prefix(char (&dst)[N], const char* src, std::size_t len)
{
    if (len > N - 1)
        len = N - 1;
    std::memcpy(dst, src, len);
    dst[len] = '\0';
}

bool
suffix_form_matches(const char* pattern, std::size_t n, const char* text, std::size_t t)
{
    // The leading star stands for at least one character, so the part after
    // it has to end the text without reaching the text's first character.
    std::size_t done = 0;
    for (;;) {
        if (done == n - 1)
            return true;
        if (done + 1 >= t)  // also covers the empty text
            return false;
        const char p = pattern[n - 1 - done];
        if (p == '*')
            return true;
        if (p != text[t - 1 - done])
            return false;
        ++done;
    }
}

bool
prefix_form_matches(const char* pattern, const char* text)
{
    for (std::size_t i = 0;; ++i) {
        if (text[i] == '\0')
            return pattern[i] == '*';
        if (pattern[i] == '*')
            return true;
        if (pattern[i] != text[i])
            return false;
    }
}

}  // namespace

bool
pattern_matches(const char* pattern, const char* text)
{
    return pattern_matches(pattern, std::strlen(pattern), text);
}

bool
pattern_matches(const char* pattern, std::size_t n, const char* text)
{
    if (n >= 2 && pattern[0] == '*' && pattern[n - 1] == '*') {
        // "*MSIE 6*" means "contains MSIE 6": match the inner part on its own.
        char inner[sizeof(nlist_entry::pattern)];
        copy_prefix(inner, pattern + 1, n - 2);
        return pattern_matches(inner, n - 2, text);
    }
    if (n > 0 && pattern[0] == '*')
        return suffix_form_matches(pattern, n, text, std::strlen(text));
    if (n > 0 && pattern[n - 1] == '*')
        return prefix_form_matches(pattern, text);
    return std::strstr(text, pattern) != nullptr;
}

int
append_nlist(const char* value, nlist& list)
{
    auto* entry = new (std::nothrow) nlist_entry;
    if (entry == nullptr)
        return 1;
    const std::size_t len = std::strlen(value);
    if (len > sizeof entry->pattern - 1)
        warn("[new_nlist] %s\n", msg::string_too_long);
    copy_prefix(entry->pattern, value, len);
    entry->length = static_cast<unsigned char>(std::strlen(entry->pattern));
    list.push_back(entry);
    return 0;
}

int
append_glist(const char* value, glist& list)
{
    auto* entry = new (std::nothrow) glist_entry;
    if (entry == nullptr)
        return 1;

    char text[sizeof entry->pattern];
    const char* end;
    if (value[0] == '"' || value[0] == '\'') {
        copy_prefix(text, value + 1, std::strlen(value + 1));
        end = std::strchr(text, value[0]);
    } else {
        copy_prefix(text, value, std::strlen(value));
        end = text;
        while (*end != '\0' && !is_list_blank(*end))
            ++end;
        if (*end == '\0')
            end = nullptr;
    }

    if (end == nullptr) {
        copy_prefix(entry->pattern, text, std::strlen(text));
        copy_prefix(entry->label, text, std::strlen(text));
    } else {
        copy_prefix(entry->pattern, text, static_cast<std::size_t>(end - text));
        const char* label = end + 1;
        while (*label != '\0' && is_list_blank(*label))
            ++label;
        if (*label == '\0')
            copy_prefix(entry->label, entry->pattern, std::strlen(entry->pattern));
        else
            copy_prefix(entry->label, label, std::strlen(label));
    }
    entry->length = static_cast<unsigned char>(std::strlen(entry->pattern));
    list.push_back(entry);
    return 0;
}

const char*
match_nlist_entries(const nlist& list, const char* text)
{
    for (const nlist_entry* e = list.first(); e != nullptr; e = e->next)
        if (pattern_matches(e->pattern, e->length, text))
            return e->pattern;
    return nullptr;
}

const char*
match_glist_entries(const glist& list, const char* text)
{
    for (const glist_entry* e = list.first(); e != nullptr; e = e->next)
        if (pattern_matches(e->pattern, e->length, text))
            return e->label;
    return nullptr;
}
