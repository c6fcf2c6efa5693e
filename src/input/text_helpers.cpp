#include "input/text_helpers.hpp"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "common/catalog.hpp"
#include "common/messages.hpp"
#include "common/settings.hpp"
#include "tables/tables.hpp"

namespace {

bool
is_blank(unsigned char c)
{
    return std::isspace(c) != 0;
}

// The rewritten agent, built within the field's capacity.
class agent_builder {
  public:
    agent_builder(char* out, std::size_t capacity) : out_(out), capacity_(capacity) {}
    void put(char c)
    {
        if (c != '\0' && n_ + 1 < capacity_)
            out_[n_++] = c;
    }
    void finish() { out_[n_] = '\0'; }

  private:
    char* out_;
    std::size_t capacity_;
    std::size_t n_ = 0;
};

// Copies from p up to (not including) the first "." or the end, with every
// "/" turned into a space: the name part that begins with "Opera".
const char*
put_opera_name(agent_builder& b, const char* p)
{
    for (; *p != '\0' && *p != '.'; ++p)
        b.put(*p == '/' ? ' ' : *p);
    return p;
}

// Levels 4 and 3 after the name part: ".x" after a stop at "." and one more
// digit.  Returns the reading position, or nullptr when the level is reached.
const char*
put_version(agent_builder& b, const char* p, int level)
{
    if (*p == '.') {
        b.put('.');
        ++p;
        if (*p != '\0')
            b.put(*p++);
    }
    if (level == 4)
        return nullptr;
    if (std::isdigit(static_cast<unsigned char>(*p)))
        b.put(*p++);
    if (level == 3)
        return nullptr;
    return p;
}

// Level 1 of the Opera and Mozilla forms: the first parenthesised part, up to
// its first ";".
void
put_first_comment(agent_builder& b, const char* p)
{
    while (*p == ' ')
        ++p;
    if (*p != '(')
        return;
    b.put(' ');
    b.put('(');
    for (++p; *p != '\0' && *p != ';' && *p != ')'; ++p)
        b.put(*p);
    b.put(')');
}

void
mangle_compatible(agent_builder& b, const char* agent, const char* semicolon, int level)
{
    const char* p;
    if (const char* opera = std::strstr(agent, "Opera")) {
        p = put_opera_name(b, opera);
    } else {
        p = semicolon + 1;
        while (*p == ' ')
            ++p;
        for (; *p != '\0' && *p != '.' && *p != ';'; ++p)
            b.put(*p);
    }
    if (level >= 5)
        return;
    p = put_version(b, p, level);
    if (p == nullptr)
        return;
    for (; *p != '\0' && *p != ' ' && *p != '(' && *p != ';'; ++p)
        b.put(*p);
    if (level == 2)
        return;

    const char* close = std::strchr(p, ')');
    if (close == nullptr)
        return;
    const char* open = close;
    while (open > agent && open[-1] != '(' && open[-1] != ';')
        --open;
    while (*open == ' ')
        ++open;
    b.put(' ');
    b.put('(');
    for (; *open != '\0' && *open != ')'; ++open)
        b.put(*open);
    b.put(')');
}

// The Opera and Mozilla forms after their name part.
void
mangle_rest(agent_builder& b, const char* p, int level)
{
    if (level >= 5)
        return;
    p = put_version(b, p, level);
    if (p == nullptr)
        return;
    for (; *p != '\0' && *p != ' ' && *p != '('; ++p)
        b.put(*p);
    if (level == 2)
        return;
    put_first_comment(b, p);
}

}  // namespace

void
unescape_url(char* text)
{
    char* w = std::strchr(text, '%');
    if (w == nullptr)
        return;
    const char* r = w;
    while (*r != '\0') {
        const int high = *r == '%' ? hex_digit_value(r[1]) : -1;
        if (high < 0) {
            *w++ = *r++;
            continue;
        }
        r += 2;
        if (*r == '\0')
            break;  // "%4" at the end: the byte is dropped
        // "%4G": a second character that is no digit counts as 0.
        const int low = hex_digit_value(*r);
        unsigned char byte = static_cast<unsigned char>(high * 16 + (low < 0 ? 0 : low));
        ++r;
        if (byte < 32 || byte == 127)
            byte = '_';
        *w++ = static_cast<char>(byte);
    }
    *w = '\0';
}

void
mangle_agent_text(char* agent, std::size_t capacity, int level)
{
    char result[sizeof log_record::agent];
    agent_builder b(result, capacity < sizeof result ? capacity : sizeof result);

    if (const char* compatible = std::strstr(agent, "ompatible")) {
        const char* semicolon = std::strchr(compatible, ';');
        if (semicolon == nullptr || std::strcmp(semicolon + 1, ")\"") == 0)
            return;
        mangle_compatible(b, agent, semicolon, level);
    } else if (const char* opera = std::strstr(agent, "Opera")) {
        mangle_rest(b, put_opera_name(b, opera), level);
    } else if (const char* mozilla = std::strstr(agent, "Mozilla")) {
        const char* p = mozilla;
        for (; *p != '\0' && *p != '/' && *p != ' '; ++p)
            b.put(*p);
        if (*p != '\0') {
            b.put('/');
            for (++p; *p != '\0' && *p != '.'; ++p)
                b.put(*p);
        }
        mangle_rest(b, p, level);
    } else {
        return;
    }
    b.finish();
    std::strcpy(agent, result);
}

bool
is_page_url(const char* url, std::size_t length)
{
    const settings& s = g_settings;
    if (match_nlist(s.omit_page, url) != nullptr)
        return false;
    // The extension's dot is near the end: look for it from there.
    const char* dot = nullptr;
    for (const char* p = url + length; p != url;) {
        if (*--p == '.') {
            dot = p;
            break;
        }
    }
    if (dot == nullptr || dot == url)
        return true;
    if (url[length - 1] == '/')
        return true;
    for (const nlist_entry* e = s.page_prefix.first(); e != nullptr; e = e->next)
        if (std::strncmp(url, e->pattern, std::strlen(e->pattern)) == 0)
            return true;
    return match_nlist(s.page_type, dot + 1) != nullptr;
}

void
extract_search(const char* query, const char* referrer)
{
    // Without "?" or "&" no key can be found: spare the engine patterns.
    if (std::strpbrk(query, "?&") == nullptr)
        return;
    const char* label = match_glist(g_settings.search_engines, referrer);
    if (label == nullptr)
        return;
    // "?" or "&", the key's first 78 characters and the NUL.
    constexpr std::size_t key_capacity = 80;
    char key[key_capacity];
    key[0] = '?';
    std::snprintf(key + 1, key_capacity - 1, "%s", label);
    const char* p = std::strstr(query, key);
    if (p == nullptr) {
        key[0] = '&';
        p = std::strstr(query, key);
    }
    if (p == nullptr)
        return;
    p = std::strchr(p, '=');
    p = p == nullptr ? query + std::strlen(query) : p + 1;

    char text[sizeof log_record::search_text];
    std::size_t n = 0;
    for (; *p != '\0' && *p != '&' && n < sizeof text - 1; ++p) {
        char c = *p;
        if (c == '"' || c == ',' || c == '?')
            continue;
        if (c == '+')
            c = ' ';
        if (c == ' ' && n > 0 && text[n - 1] == ' ')
            continue;
        if (g_settings.search_case_i)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        text[n++] = c;
    }
    while (n > 0 && is_blank(static_cast<unsigned char>(text[n - 1])))
        --n;
    text[n] = '\0';
    char* start = text;
    while (*start != '\0' && is_blank(static_cast<unsigned char>(*start)))
        ++start;
    if (*start == '\0')
        return;
    for (char* c = start; *c != '\0'; ++c)
        if (static_cast<unsigned char>(*c) < 32 || *c == 127)
            *c = '_';
    if (add_search(start, 1) != 0)
        warn("%s %s\n", msg::cant_add_search, start);
}

const char*
group_domain_of(const char* host, int levels)
{
    const std::size_t n = std::strlen(host);
    if (n <= 1 || levels < 0)
        return host;
    // Counted against levels rather than levels + 1, which overflows at INT_MAX.
    std::size_t periods = 0;
    for (std::size_t i = n - 1; i > 0; --i) {
        if (host[i] == '.' && periods++ == static_cast<std::size_t>(levels))
            return host + i + 1;
    }
    return host;
}

int
ip_address_kind(const char* text)
{
    if (std::strchr(text, ':') != nullptr) {
        bool dotted = false;
        for (const char* p = text; *p != '\0'; ++p) {
            const char c = *p;
            if (c == '.')
                dotted = true;
            else if (c != ':' && !(c >= '0' && c <= '9') && !(c >= 'a' && c <= 'f'))
                return -1;
        }
        return dotted ? 2 : 3;
    }
    if (text[0] == '\0')
        return -1;
    int periods = 0;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p == '.')
            ++periods;
        else if (!(*p >= '0' && *p <= '9'))
            return 0;
    }
    return periods == 3 ? 1 : -1;
}

int
hex_digit_value(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}
