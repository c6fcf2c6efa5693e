#include <climits>
#include <cstddef>
#include <cstdio>
#include <cstring>

#include "common/catalog.hpp"
#include "common/messages.hpp"
#include "common/records.hpp"
#include "common/settings.hpp"
#include "common/text.hpp"
#include "input/parsers.hpp"

void
split_fields(char* line)
{
    bool quoted = false;
    int brackets = 0;
    int parens = 0;
    for (char* p = line; *p != '\0'; ++p) {
        switch (*p) {
        case ' ':
        case '\t':
            if (!quoted && brackets == 0 && parens == 0)
                *p = '\0';
            break;
        case '"':
            if (p == line || p[-1] != '\\')
                quoted = !quoted;
            break;
        case '[':
            if (!quoted)
                ++brackets;
            break;
        case '(':
            if (!quoted)
                ++parens;
            break;
        case ']':
            if (!quoted && brackets > 0)
                --brackets;
            break;
        case ')':
            if (!quoted && parens > 0)
                --parens;
            break;
        default:
            break;
        }
    }
}

namespace {

// One line being parsed: positions are offsets into it.  A field copy never
// takes the line's closing newline; a last line that has none keeps all its
// characters.
struct clf_line {
    char* text;
    std::size_t end;        // E: just past the last character
    std::size_t copy_stop;  // where a copy that runs to the end of the line stops

    std::size_t limit(std::size_t p, std::size_t capacity) const
    {
        return p + capacity - 1 >= end ? copy_stop : p + capacity - 1;
    }
    void to_field_end(std::size_t& p) const
    {
        while (text[p] != '\0')
            ++p;
    }
    void step_over_field_end(std::size_t& p) const
    {
        if (p < end)
            ++p;
    }
};

// Copies from p up to the limit or a NUL (or, with stop_at_newline, a
// newline).  Returns true when the copy was shortened: it stopped at the
// capacity with characters of the field left.  Reaching the end of the line
// is not shortening, so an empty line does not warn about its host.
template <std::size_t N>
bool
bounded_copy(char (&dst)[N], const clf_line& l, std::size_t& p, bool stop_at_newline = false)
{
    const std::size_t lim = l.limit(p, N);
    std::size_t n = 0;
    while (l.text[p] != '\0' && p != lim && !(stop_at_newline && l.text[p] == '\n'))
        dst[n++] = l.text[p++];
    dst[n] = '\0';
    const bool at_capacity = p == lim && lim != l.copy_stop;
    return at_capacity && l.text[p] != '\0' && !(stop_at_newline && l.text[p] == '\n');
}

void
warn_cut(const char* message, const char* field_start)
{
    if (!warnings_enabled())
        return;
    if (g_settings.debug)
        std::fprintf(stderr, "%s: %s\n", message, field_start);
    else
        std::fprintf(stderr, "%s\n", message);
}

// Drops the protocol token: the last "HTTP" that follows a blank.  The blank
// becomes the closing quote, so a URL holding the letters HTTP stays whole.
void
remove_protocol(char* request)
{
    char* token = nullptr;
    for (char* p = std::strstr(request, " HTTP"); p != nullptr; p = std::strstr(p + 1, " HTTP"))
        token = p;
    if (token != nullptr) {
        token[0] = '"';
        token[1] = '\0';
    }
}

}  // namespace

int
parse_clf(char* text)
{
    log_record& r = g_record;
    clf_line l{text, std::strlen(text), 0};
    l.copy_stop = (l.end > 0 && text[l.end - 1] == '\n') ? l.end - 1 : l.end;
    split_fields(text);

    std::size_t p = 0;
    std::size_t start = p;
    if (bounded_copy(r.host, l, p)) {
        warn_cut(msg::cut_host, text + start);
        l.to_field_end(p);
    }
    l.step_over_field_end(p);

    while (text[p] != '\0' && p < l.end)  // ident
        ++p;
    l.step_over_field_end(p);

    // A user name may hold blanks: the splitter's field ends up to the date
    // are turned back into spaces.
    const std::size_t user_start = p;
    {
        const std::size_t lim = l.limit(p, sizeof r.user);
        std::size_t n = 0;
        if (text[p] != '[') {
            while (text[p] != '[' && p < lim) {
                if (text[p] == '\0')
                    text[p] = ' ';
                r.user[n++] = text[p++];
            }
        }
        r.user[n] = '\0';
    }
    if (p >= l.end)
        return 0;
    if (text[p] != '[') {
        // Only a user name that filled its field was cut; a line that merely
        // has no date is rejected below without this warning.
        if (p != l.copy_stop)
            warn_cut(msg::cut_user, text + user_start);
        while (p < l.end && text[p] != '[')
            ++p;
    }
    for (std::size_t n = std::strlen(r.user); n > 0 && r.user[n - 1] == ' ';)
        r.user[--n] = '\0';

    start = p;
    if (bounded_copy(r.date_text, l, p)) {
        warn_cut(msg::cut_date, text + start);
        l.to_field_end(p);
    }
    l.step_over_field_end(p);
    if (r.date_text[0] != '[' || r.date_text[3] != '/' || p >= l.end)
        return 0;

    start = p;
    if (bounded_copy(r.request, l, p)) {
        warn_cut(msg::cut_request, text + start);
        l.to_field_end(p);
    }
    l.step_over_field_end(p);
    if (r.request[0] != '"' || p >= l.end)
        return 0;
    remove_protocol(r.request);

    r.status = scan_int(text + p);
    l.to_field_end(p);
    l.step_over_field_end(p);
    r.bytes = scan_u64(text + p);
    if (p >= l.end)
        return 1;  // a common-format line ends here

    while (text[p] != '\0' && text[p] != '\n' && p < l.end)
        ++p;
    l.step_over_field_end(p);

    start = p;
    if (bounded_copy(r.referrer, l, p, true)) {
        warn_cut(msg::cut_referrer, text + start);
        l.to_field_end(p);
    }
    l.step_over_field_end(p);

    bounded_copy(r.agent, l, p);
    return 1;
}

int
parse_line(char* line)
{
    std::memset(&g_record, 0, sizeof g_record);
    // FTP, squid and W3C logs get parsers of their own; until then every
    // LogType reads the common/combined format.
    return parse_clf(line);
}
