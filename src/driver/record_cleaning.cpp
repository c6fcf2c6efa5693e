#include "driver/record_cleaning.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "common/catalog.hpp"
#include "common/char_classes.hpp"
#include "common/messages.hpp"
#include "common/scan.hpp"
#include "common/settings.hpp"
#include "common/text.hpp"
#include "driver/accounting.hpp"
#include "input/text_helpers.hpp"

namespace {

bool
is_control(unsigned char c)
{
    return c < 32 || c == 127;
}

// "/./" becomes "/" until none is left.
void
remove_dot_segments(char* url)
{
    while (char* p = std::strstr(url, "/./"))
        std::memmove(p, p + 2, std::strlen(p + 2) + 1);
}

// Where "://" begins within the first characters of the URL (positions
// first to 5), or nullptr.
char*
scheme_end_of(char* url, std::size_t length, std::size_t first)
{
    for (std::size_t i = first; i <= 5 && i + 3 <= length; ++i)
        if (url[i] == ':' && url[i + 1] == '/' && url[i + 2] == '/')
            return url + i;
    return nullptr;
}

void
normalise_url(log_record& r, std::size_t length)
{
    char* url = r.request;
    if (const char* scheme_end = scheme_end_of(url, length, 0)) {
        const char* path = std::strchr(scheme_end + 3, '/');
        const char* from = path != nullptr ? path : scheme_end + 2;
        std::memmove(url, from, std::strlen(from) + 1);
    }
    remove_dot_segments(url);
    if (url[0] != '/') {
        if (r.status == 200 || r.status == 304 || r.status == 206) {
            if (g_settings.debug)
                std::fprintf(diag_stream(), "Converted URL '%s' to '/'\n", url);
            copy_cut(r.request, "/");
        } else {
            if (g_settings.debug)
                std::fprintf(diag_stream(), "Invalid URL: '%s'\n", url);
            copy_cut(r.request, "/INVALID-URL");
        }
    }
    for (std::size_t n = std::strlen(url); n > 0 && url[n - 1] == '?';)
        url[--n] = '\0';
}

void
remove_index_alias(char* url)
{
    for (const nlist_entry* e = g_settings.index_alias.first(); e != nullptr; e = e->next) {
        char* found = std::strstr(url, e->pattern);
        if (found == nullptr || found == url || found[-1] != '/')
            continue;
        const char* query = g_settings.strip_cgi ? nullptr : std::strchr(found, '?');
        if (query != nullptr)
            std::memmove(found, query, std::strlen(query) + 1);
        else
            *found = '\0';
        return;
    }
}

}  // namespace

void
clean_url(log_record& r)
{
    char* request = r.request;
    if (!r.plain_request)
        unescape_url(request);
    const char* from = request;  // without a blank the request is taken as it is
    if (request[0] != '\0' && request[1] == '-') {
        copy_cut(r.request, "/INVALID-URL");
    } else if (char* blank = request[0] != '\0' ? std::strchr(request + 1, ' ') : nullptr) {
        from = blank;
        while (*from == ' ')
            ++from;
        if (from[0] == '/' && from[1] == '/') {
            while (from[1] == '/')
                ++from;
        }
    }

    // The URL runs up to its first character that cannot belong to it: the
    // closing quote, or the query part with StripCGI, or "%", "#", "<" and the like.
    auto length = static_cast<std::size_t>(
        (g_settings.strip_cgi ? find_url_end(from) : find_url_end<true>(from)) - from);
    std::memmove(request, from, length);
    request[length] = '\0';
    if (length == 0) {
        copy_cut(r.request, "/");
        length = 1;
    }

    if (g_settings.log_type == log_clf && r.status != 404 && g_settings.normalize_url) {
        normalise_url(r, length);
    } else if (char* scheme_end = scheme_end_of(request, length, 1)) {
        lower_ascii(request, scheme_end);
    }
    remove_index_alias(request);
}

void
clean_referrer(log_record& r)
{
    char* ref = r.referrer;
    if (!r.plain_referrer)
        unescape_url(ref);
    if (ref[0] == '\0')
        return;

    // The text that counts: after the opening quote, up to a control byte,
    // DEL or "<"; without one, the last character (the closing quote) goes.
    std::size_t start = 0;
    std::size_t end;
    std::size_t query;  // first character that cannot belong to a URL
    auto* text = reinterpret_cast<unsigned char*>(ref);
    if (ref[0] == '"') {
        start = 1;
        // A URL character is never a referrer's stop, but for the end itself.
        std::size_t i = static_cast<std::size_t>(find_url_end(ref + 1) - ref);
        query = i;
        while (!has_class(text[i], cc_ref_stop))
            ++i;
        end = text[i] != '\0' ? i : i - 1;
    } else {
        query = static_cast<std::size_t>(find_url_end(ref) - ref);
        end = query + std::strlen(ref + query);
    }
    if (end <= start) {
        ref[0] = '\0';  // nothing was between the quotes
        return;
    }

    // From the first character that cannot belong to a URL on, the text is
    // the query part; the referrer ends there.
    std::size_t length = end - start;
    if (query < end) {
        const std::size_t n = std::min(end - query, sizeof r.search_text - 1);
        std::memcpy(r.search_text, ref + query, n);
        r.search_text[n] = '\0';
        length = query - start;
    }
    std::memmove(ref, ref + start, length);
    ref[length] = '\0';
    if (length == 0)
        copy_cut(r.referrer, "-");

    if (ref[0] == 'h' || ref[0] == 'H') {
        char* slash = std::strchr(ref, '/');
        char* scheme_end = slash != nullptr ? slash : ref + length;
        lower_ascii(ref, scheme_end);
        if (slash != nullptr && slash[1] == '/') {
            char* host = slash + 2;
            char* host_end = std::strchr(host, '/');
            lower_ascii(host, host_end != nullptr ? host_end : ref + length);
        }
    }
}

void
limit_lengths(log_record& r, u64 line_number)
{
    if (std::strlen(r.referrer) > referrer_name_capacity) {
        warn("%s [%llu]\n", msg::cut_referrer, line_number);
        r.referrer[referrer_name_capacity] = '\0';
    }
    if (std::strlen(r.request) > url_name_capacity) {
        warn("%s [%llu]\n", msg::cut_request, line_number);
        r.request[url_name_capacity] = '\0';
    }
}

void
clean_agent(log_record& r)
{
    char* agent = r.agent;
    // Quoted or parenthesised: the text between the first and the last
    // character, up to its first control byte, "<" or ">".
    const bool enclosed = agent[0] == '(' || agent[0] == '"';
    char* text = agent + (enclosed ? 1 : 0);
    // The end of the text is a control byte too.
    std::size_t n = static_cast<std::size_t>(find_markup(text) - text);
    if (!enclosed) {
        agent[n] = '\0';
        return;
    }
    if (text[n] == '\0' && n > 0)
        --n;  // the closing quote or parenthesis
    std::memmove(agent, text, n);
    agent[n] = '\0';
}

void
clean_user(log_record& r)
{
    if (r.user[0] == '\0') {
        copy_cut(r.user, "-");
        return;
    }
    bool escapes = false;
    for (char* p = r.user; *p != '\0'; ++p) {
        if (is_control(static_cast<unsigned char>(*p)) || *p == '"') {
            *p = '\0';
            break;
        }
        escapes = escapes || *p == '%';
    }
    if (escapes)
        unescape_url(r.user);
}

void
check_host(char (&host)[host_name_capacity + 1], const char* saved_host)
{
    const auto c0 = static_cast<unsigned char>(host[0]);
    if (!(has_class(c0, cc_alnum) || c0 == ':')) {
        copy_cut(host, "Invalid");
        return;
    }
    // A host as logged was lower-cased already; a name from the cache may
    // still have capitals.
    const bool from_cache = saved_host != host && std::strcmp(host, saved_host) != 0;
    char* p = host;
    if (from_cache) {
        for (; *p != '\0'; ++p)
            if (*p >= 'A' && *p <= 'Z')
                *p = static_cast<char>(*p - 'A' + 'a');
        p = host;
    }
    // Nearly every host is host characters alone; an underscore is allowed
    // before the first dot.
    p += find_host_end(p) - p;
    for (; *p != '\0'; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (has_class(c, cc_host))
            continue;
        if (c == '_' && std::memchr(host, '.', static_cast<std::size_t>(p - host)) == nullptr)
            continue;
        if (from_cache)
            copy_cut(host, saved_host);
        else
            copy_cut(host, "Invalid");
        return;
    }
    if (!has_class(static_cast<unsigned char>(p[-1]), cc_alnum))
        copy_cut(host, "Invalid");
}
