#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "common/catalog.hpp"
#include "common/char_classes.hpp"
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
    auto* p = reinterpret_cast<unsigned char*>(line);
    for (;; ++p) {
        if (quoted) {
            // Inside quotes only the closing quote matters, and quoted text
            // is most of a combined line: jump to the next quote.
            p = reinterpret_cast<unsigned char*>(std::strchr(reinterpret_cast<char*>(p), '"'));
            if (p == nullptr)
                return;
            if (p[-1] != '\\')
                quoted = false;
            continue;
        }
        while (!has_class(*p, cc_field))
            ++p;
        switch (*p) {
        case '\0': return;
        case ' ':
        case '\t':
            if (brackets == 0 && parens == 0)
                *p = '\0';
            break;
        case '"':
            if (p == reinterpret_cast<unsigned char*>(line) || p[-1] != '\\')
                quoted = true;
            break;
        case '[': ++brackets; break;
        case '(': ++parens; break;
        case ']':
            if (brackets > 0)
                --brackets;
            break;
        case ')':
            if (parens > 0)
                --parens;
            break;
        default: break;
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

    clf_line(char* line, std::size_t length)
        : text(line), end(length),
          copy_stop(length > 0 && line[length - 1] == '\n' ? length - 1 : length)
    {
    }

    std::size_t limit(std::size_t p, std::size_t capacity) const
    {
        return p + capacity - 1 >= end ? copy_stop : p + capacity - 1;
    }
    // Most fields skipped so are a few characters: no library call.
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

// Copies the text up to its first NUL, at most `most` bytes, and returns the
// number copied.  Both ends lie within the line and the field, so reading and
// writing sixteen bytes at a time never passes them; a field of a few bytes
// costs no more than one library call would.  With find_percent, percent
// becomes true when a "%" was among the bytes read (which may run past the
// NUL): the copy may then hold an escape.
template <bool find_percent>
std::size_t
copy_to_nul(char* dst, const char* from, std::size_t most, bool& percent)
{
#if defined(__SSE2__)
    if (most >= 16) {
        const __m128i zero = _mm_setzero_si128();
        const __m128i percent_sign = _mm_set1_epi8('%');
        __m128i percents = _mm_setzero_si128();
        const auto found = [&](std::size_t n) {
            if constexpr (find_percent)
                percent = _mm_movemask_epi8(percents) != 0;
            return n;
        };
        std::size_t i = 0;
        for (; i + 16 <= most; i += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), v);
            if constexpr (find_percent)
                percents = _mm_or_si128(percents, _mm_cmpeq_epi8(v, percent_sign));
            if (const unsigned nul =
                    static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, zero))))
                return found(i + static_cast<std::size_t>(__builtin_ctz(nul)));
        }
        if (i == most)
            return found(most);
        // The last bytes as one block ending at the limit, overlapping the
        // ones copied already, which hold no NUL.
        const std::size_t last = most - 16;
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + last));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + last), v);
        if constexpr (find_percent)
            percents = _mm_or_si128(percents, _mm_cmpeq_epi8(v, percent_sign));
        const auto nul = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, zero)));
        return found(nul != 0 ? last + static_cast<std::size_t>(__builtin_ctz(nul)) : most);
    }
#endif
    std::size_t n = 0;
    bool seen = false;
    while (n < most && from[n] != '\0') {
        dst[n] = from[n];
        seen = seen || from[n] == '%';
        ++n;
    }
    if constexpr (find_percent)
        percent = seen;
    return n;
}

// Copies from p up to the limit or a NUL.  The line's newline lies beyond
// every limit, so no field takes it.  Returns true when the copy was
// shortened: it stopped at the capacity with characters of the field left.
// Reaching the end of the line is not shortening, so an empty line does not
// warn about its host.
template <std::size_t N>
bool
bounded_copy(char (&dst)[N], const clf_line& l, std::size_t& p, std::size_t* copied = nullptr,
             bool* plain = nullptr)
{
    const std::size_t lim = l.limit(p, N);
    std::size_t n = 0;
    bool percent = false;
    if (p < lim) {
        n = plain != nullptr ? copy_to_nul<true>(dst, l.text + p, lim - p, percent)
                             : copy_to_nul<false>(dst, l.text + p, lim - p, percent);
        p += n;
    }
    if (plain != nullptr)
        *plain = !percent;
    dst[n] = '\0';
    if (copied != nullptr)
        *copied = n;
    return p == lim && lim != l.copy_stop && l.text[p] != '\0';
}

// Drops the protocol token: the last "HTTP" that follows a blank.  The blank
// becomes the closing quote, so a URL holding the letters HTTP stays whole.
void
remove_protocol(char* request, std::size_t n)
{
    for (std::size_t i = n >= 5 ? n - 5 + 1 : 0; i-- > 0;) {
        if (request[i] == ' ' && std::memcmp(request + i + 1, "HTTP", 4) == 0) {
            request[i] = '"';
            request[i + 1] = '\0';
            return;
        }
    }
}

#if defined(__SSE2__)
// The splitter's stops among sixteen bytes, one bit each: blank, tab, quote,
// brackets, parentheses and NUL.
struct field_stops {
    unsigned operator()(__m128i v) const
    {
        const auto is = [v](char c) { return _mm_cmpeq_epi8(v, _mm_set1_epi8(c)); };
        // "(" and ")" differ in their lowest bit alone.
        const __m128i parens =
            _mm_cmpeq_epi8(_mm_or_si128(v, _mm_set1_epi8(1)), _mm_set1_epi8(')'));
        const __m128i blanks = _mm_or_si128(is(' '), is('\t'));
        const __m128i quote_nul = _mm_or_si128(is('"'), is('\0'));
        const __m128i brackets = _mm_or_si128(is('['), is(']'));
        return static_cast<unsigned>(_mm_movemask_epi8(
            _mm_or_si128(_mm_or_si128(blanks, quote_nul), _mm_or_si128(brackets, parens))));
    }
};

// What ends quoted text for the splitter, a quote or the NUL, with the
// percent signs among the bytes read gathered on the way.
struct quote_stops {
    __m128i percents = _mm_setzero_si128();
    unsigned operator()(__m128i v)
    {
        percents = _mm_or_si128(percents, _mm_cmpeq_epi8(v, _mm_set1_epi8('%')));
        return static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(
            _mm_cmpeq_epi8(v, _mm_set1_epi8('"')), _mm_cmpeq_epi8(v, _mm_setzero_si128()))));
    }
    bool saw_percent() const { return _mm_movemask_epi8(percents) != 0; }
};

// The first stop at or after p.  text[end] is the line's NUL, a stop of both
// kinds, so there is one, and no read passes it: the last bytes are read as
// the sixteen that end with it.  The line holds at least sixteen bytes.
template <typename Stops>
std::size_t
find_stop(const char* text, std::size_t p, std::size_t end, Stops& stops)
{
    for (; p + 16 <= end + 1; p += 16)
        if (const unsigned m = stops(_mm_loadu_si128(reinterpret_cast<const __m128i*>(text + p))))
            return p + static_cast<std::size_t>(__builtin_ctz(m));
    const std::size_t last = end + 1 - 16;
    const unsigned m = stops(_mm_loadu_si128(reinterpret_cast<const __m128i*>(text + last)));
    return p + static_cast<std::size_t>(__builtin_ctz(m >> (p - last)));
}

// The splitter's stops among the line's first 64 bytes, found in one pass:
// host, ident, user and date lie there in nearly every line, and a scan
// for each of them read the same sixteen bytes again and again.  A stop
// past them is looked for as before.
class head_stops {
  public:
    head_stops(const char* text, std::size_t end) : text_(text), end_(end)
    {
        if (end + 1 < head)  // a shorter line is scanned as before
            return;
        for (std::size_t i = 0; i < head; i += 16)
            bits_ |=
                std::uint64_t{stops_(_mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i)))}
                << i;
        scanned_ = head;
    }
    /// The first stop at or after p, which is at most the line's end.
    std::size_t next(std::size_t p)
    {
        if (p < scanned_) {
            if (const std::uint64_t rest = bits_ >> p; rest != 0)
                return p + static_cast<std::size_t>(__builtin_ctzll(rest));
            p = scanned_;
        }
        return find_stop(text_, p, end_, stops_);
    }

  private:
    static constexpr std::size_t head = 64;
    const char* text_;
    std::size_t end_;
    std::size_t scanned_ = 0;  // the bits hold the stops before it
    field_stops stops_;
    std::uint64_t bits_ = 0;
};

bool
is_digit(char c)
{
    return c >= '0' && c <= '9';
}

// A line of the shape nearly every common or combined line has, parsed in
// one pass without marking its fields: host, ident and user with one blank
// after each, "[date]", the quoted request, status and byte count and, in a
// combined line, the quoted referrer and the quoted agent that ends the line,
// no field cut and no escaped quote.  The record is then what the splitting
// parse gives.  Any other line returns false with the record untouched, for
// the splitting parse to take.
bool
parse_usual_clf(const char* text, std::size_t end, std::size_t copy_stop, log_record& r)
{
    if (end < 16)
        return false;
    head_stops stops(text, end);
    const std::size_t host_end = stops.next(0);
    if (host_end == 0 || text[host_end] != ' ' || host_end >= sizeof r.host)
        return false;
    const std::size_t ident_end = stops.next(host_end + 1);
    if (ident_end == host_end + 1 || text[ident_end] != ' ')
        return false;
    // The splitting parse takes the user's closing blank too, so it must fit.
    const std::size_t user_start = ident_end + 1;
    const std::size_t user_end = stops.next(user_start);
    if (user_end == user_start || text[user_end] != ' ' || text[user_end + 1] != '[' ||
        user_end + 1 - user_start >= sizeof r.user)
        return false;

    // Blanks inside the brackets do not end the date.
    const std::size_t date_start = user_end + 1;
    std::size_t date_end = date_start;
    do
        date_end = stops.next(date_end + 1);
    while (text[date_end] == ' ');
    const std::size_t date_length = date_end + 1 - date_start;
    if (text[date_end] != ']' || date_length >= sizeof r.date_text || date_length < 4 ||
        text[date_start + 3] != '/' || text[date_end + 1] != ' ' || text[date_end + 2] != '"')
        return false;

    const std::size_t request_start = date_end + 2;
    quote_stops request_stops;
    const std::size_t request_end = find_stop(text, request_start + 1, end, request_stops);
    if (text[request_end] != '"' || text[request_end - 1] == '\\' || text[request_end + 1] != ' ')
        return false;

    // Status and byte count are read as their digits are found, saturated as
    // scan_int and scan_u64 saturate them.
    const std::size_t status_start = request_end + 2;
    std::size_t p = status_start;
    long long status = 0;
    for (; is_digit(text[p]); ++p)
        status = std::min(status * 10 + (text[p] - '0'), static_cast<long long>(INT_MAX));
    if (p == status_start || text[p] != ' ')
        return false;
    const std::size_t bytes_start = p + 1;
    p = bytes_start;
    u64 bytes = 0;
    for (; is_digit(text[p]); ++p)
        bytes = append_digit(bytes, text[p]);
    if (p == bytes_start && text[p] == '-')
        ++p;
    if (p == bytes_start)
        return false;

    std::size_t referrer_start = 0;
    std::size_t referrer_length = 0;
    std::size_t agent_start = 0;
    std::size_t agent_length = 0;
    quote_stops referrer_stops;
    if (p != copy_stop) {
        if (text[p] != ' ' || text[p + 1] != '"')
            return false;
        referrer_start = p + 1;
        const std::size_t referrer_end = find_stop(text, referrer_start + 1, end, referrer_stops);
        referrer_length = referrer_end + 1 - referrer_start;
        if (text[referrer_end] != '"' || text[referrer_end - 1] == '\\' ||
            referrer_length >= sizeof r.referrer || text[referrer_end + 1] != ' ' ||
            text[referrer_end + 2] != '"')
            return false;
        agent_start = referrer_end + 2;
        quote_stops agent_stops;
        const std::size_t agent_end = find_stop(text, agent_start + 1, end, agent_stops);
        if (agent_end + 1 != copy_stop || text[agent_end] != '"' || text[agent_end - 1] == '\\')
            return false;
        // An agent too long for its field is cut without a word.
        agent_length = std::min(copy_stop - agent_start, sizeof r.agent - 1);
    }

    std::memcpy(r.host, text, host_end);
    r.host[host_end] = '\0';
    std::memcpy(r.user, text + user_start, user_end - user_start);
    r.user[user_end - user_start] = '\0';
    std::memcpy(r.date_text, text + date_start, date_length);
    const std::size_t request_length = request_end + 1 - request_start;
    std::memcpy(r.request, text + request_start, request_length);
    r.request[request_length] = '\0';
    r.plain_request = !request_stops.saw_percent();
    remove_protocol(r.request, request_length);
    r.status = static_cast<int>(status);
    r.bytes = bytes;
    // As the splitting parse, which finds an empty referrer in a common line.
    r.plain_referrer = !referrer_stops.saw_percent();
    std::memcpy(r.referrer, text + referrer_start, referrer_length);
    r.referrer[referrer_length] = '\0';
    std::memcpy(r.agent, text + agent_start, agent_length);
    r.agent[agent_length] = '\0';
    return true;
}
#else
bool
parse_usual_clf(const char*, std::size_t, std::size_t, log_record&)
{
    return false;
}
#endif

}  // namespace

void
warn_cut(const char* message, const char* field_start)
{
    if (!warnings_enabled())
        return;
    if (g_settings.debug)
        std::fprintf(diag_stream(), "%s: %s\n", message, field_start);
    else
        std::fprintf(diag_stream(), "%s\n", message);
}

// The usual shape has no NUL before its end: any other line is read as the
// text up to its first NUL.
int
parse_clf(char* text, std::size_t length)
{
    const clf_line l(text, length);
    if (parse_usual_clf(text, l.end, l.copy_stop, g_record))
        return 1;
    return parse_split_clf(text, std::strlen(text));
}

int
parse_split_clf(char* text, std::size_t length)
{
    log_record& r = g_record;
    clf_line l(text, length);
    split_fields(text);

    std::size_t p = 0;
    std::size_t start = p;
    if (bounded_copy(r.host, l, p)) {
        warn_cut(msg::cut_host, text + start);
        l.to_field_end(p);
    }
    l.step_over_field_end(p);

    l.to_field_end(p);  // the ident field
    l.step_over_field_end(p);

    // A user name may hold blanks: the splitter's field ends up to the date
    // are turned back into spaces.
    const std::size_t user_start = p;
    std::size_t user_length = 0;
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
        user_length = n;
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
    for (std::size_t n = user_length; n > 0 && r.user[n - 1] == ' ';)
        r.user[--n] = '\0';

    start = p;
    std::size_t date_length = 0;
    if (bounded_copy(r.date_text, l, p, &date_length)) {
        warn_cut(msg::cut_date, text + start);
        l.to_field_end(p);
    }
    // The date is read at fixed places, also past the end of a short one:
    // what the copy's blocks wrote there from the rest of the line must go.
    std::memset(r.date_text + date_length, 0, sizeof r.date_text - date_length);
    l.step_over_field_end(p);
    if (r.date_text[0] != '[' || r.date_text[3] != '/' || p >= l.end)
        return 0;

    start = p;
    std::size_t request_length;
    if (bounded_copy(r.request, l, p, &request_length, &r.plain_request)) {
        warn_cut(msg::cut_request, text + start);
        l.to_field_end(p);
    }
    l.step_over_field_end(p);
    if (r.request[0] != '"' || p >= l.end)
        return 0;
    remove_protocol(r.request, request_length);

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
    if (bounded_copy(r.referrer, l, p, nullptr, &r.plain_referrer)) {
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
    return parse_line(line, std::strlen(line));
}

int
parse_line(char* line, std::size_t length)
{
    clear_record(g_record);
    switch (g_settings.log_type) {
    case log_ftp: return parse_ftp(line, std::strlen(line));
    case log_squid: return parse_squid(line, std::strlen(line));
    case log_w3c: return parse_w3c(line, std::strlen(line));
    default: return parse_clf(line, length);
    }
}
