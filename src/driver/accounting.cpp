#include "driver/accounting.hpp"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <functional>
#include <system_error>
#include <thread>
#include <vector>

#include "common/catalog.hpp"
#include "common/char_classes.hpp"
#include "common/counters.hpp"
#include "common/messages.hpp"
#include "common/settings.hpp"
#include "common/text.hpp"
#include "driver/counting.hpp"
#include "driver/period.hpp"
#include "driver/progress_meter.hpp"
#include "driver/record_cleaning.hpp"
#include "driver/record_pipeline.hpp"
#include "input/log_reader.hpp"
#include "input/parsers.hpp"
#include "input/reader_threads.hpp"
#include "input/text_helpers.hpp"
#include "resolve/dns_cache.hpp"

namespace {

bool
is_oversized(const char* line, std::size_t length)
{
    return length == line_capacity - 1 && line[length - 1] != '\n';
}

// An oversized line is one bad record: its first piece is reported, the rest
// is read and thrown away (and echoed in Debug mode so the whole line shows).
void
skip_oversized(log_reader& log, char (&line)[line_capacity], std::size_t length)
{
    const bool echo = g_settings.debug && warnings_enabled();
    if (warnings_enabled()) {
        if (g_settings.debug)
            std::fprintf(diag_stream(), "%s:\n%s", msg::oversized_record, line);
        else
            std::fprintf(diag_stream(), "%s\n", msg::oversized_record);
    }
    while (is_oversized(line, length) && log.next_line(line, length)) {
        if (echo)
            std::fputs(line, diag_stream());
    }
    if (echo)
        std::fputc('\n', diag_stream());
}

void
report_line(const char* line)
{
    if (g_settings.debug)
        std::fprintf(diag_stream(), ":\n%s\n", line);
    else
        std::fputc('\n', diag_stream());
}

}  // namespace

namespace {

constexpr unsigned
month_key(char a, char b, char c)
{
    return static_cast<unsigned char>(a) << 16 | static_cast<unsigned char>(b) << 8 |
           static_cast<unsigned char>(c);
}

}  // namespace

int
month_of(const char* l)
{
    switch (month_key(l[0], l[1], l[2])) {
    case month_key('j', 'a', 'n'): return 1;
    case month_key('f', 'e', 'b'): return 2;
    case month_key('m', 'a', 'r'): return 3;
    case month_key('a', 'p', 'r'): return 4;
    case month_key('m', 'a', 'y'): return 5;
    case month_key('j', 'u', 'n'): return 6;
    case month_key('j', 'u', 'l'): return 7;
    case month_key('a', 'u', 'g'): return 8;
    case month_key('s', 'e', 'p'): return 9;
    case month_key('o', 'c', 't'): return 10;
    case month_key('n', 'o', 'v'): return 11;
    case month_key('d', 'e', 'c'): return 12;
    default: return 0;
    }
}

namespace {

int
days_in_month(int month, int year)
{
    static constexpr int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

// Two digits at p, or -1 when they are not both digits.
int
two_digits(const char* p)
{
    const unsigned d0 = static_cast<unsigned char>(p[0]) - '0';
    const unsigned d1 = static_cast<unsigned char>(p[1]) - '0';
    return d0 <= 9 && d1 <= 9 ? static_cast<int>(d0 * 10 + d1) : -1;
}

}  // namespace

bool
read_record_time(const char (&date_text)[sizeof log_record::date_text], record_time& t)
{
    t.month = month_of(date_text + 4);
    const int day = two_digits(date_text + 1);
    const int century = two_digits(date_text + 8);
    const int year = two_digits(date_text + 10);
    const int hour = two_digits(date_text + 13);
    const int minute = two_digits(date_text + 16);
    const int second = two_digits(date_text + 19);
    // The usual layout is read directly; anything else the way atoi reads it.
    if (day >= 0 && century >= 0 && year >= 0 && hour >= 0 && minute >= 0 && second >= 0 &&
        date_text[3] == '/' && date_text[7] == '/' && date_text[12] == ':' &&
        date_text[15] == ':' && date_text[18] == ':' &&
        !std::isdigit(static_cast<unsigned char>(date_text[21]))) {
        t.day = day;
        t.year = century * 100 + year;
        t.hour = hour;
        t.minute = minute;
        t.second = second;
    } else {
        t.day = scan_int(date_text + 1);
        t.year = scan_int(date_text + 8);
        t.hour = scan_int(date_text + 13);
        t.minute = scan_int(date_text + 16);
        t.second = scan_int(date_text + 19);
    }
    if (t.hour >= 24)
        t.hour = 0;
    // Day, hour, minute and second index the counters: a value outside their
    // rows is a bad date, not a record to count somewhere else.  A day beyond
    // its month's end would be counted as a day of the next month, and a year
    // far ahead would put every later record out of sequence.
    return t.year >= 1990 && t.year <= 2100 && t.month != 0 && t.day >= 1 &&
           t.day <= days_in_month(t.month, t.year) && t.hour >= 0 && t.minute >= 0 &&
           t.minute < 60 && t.second >= 0 && t.second < 61;
}

namespace {

// The resume rule after a state restore, and the out-of-sequence rule.
// Returns false when the record is skipped.
bool
in_time_order(record_time& when)
{
    period_clock& c = g_clock;
    if (c.resume_skip) {
        if (c.record_timestamp <= c.timestamp)
            return false;
        c.resume_skip = false;
        if (when.month != c.month || when.year != c.year) {
            start_new_month();
            // The restored open hour belongs to the month the earlier run
            // reported: its hits would count again in the new month's first
            // hour, and a month read in pieces would differ from the month
            // read in one go.
            g_month.hour_hits = 0;
            set_clock_to(when);
            c.timestamp = c.record_timestamp;
            g_month.first_day = g_month.last_day = when.day;
        }
    }
    const u64 slot = c.record_timestamp / 3600;
    const u64 clock_slot = c.timestamp / 3600;
    if (slot < clock_slot) {
        if (!g_settings.fold_seq_err && slot + 1 < clock_slot)
            return false;
        when = clock_time();
        c.record_timestamp = c.timestamp;
    }
    c.timestamp = c.record_timestamp;
    return true;
}

}  // namespace

namespace {

// What the first stage found in a line.
enum class line_kind { record, bad, ignored, header };

// Reads the next line into line, its length into length; an oversized line
// is read whole, reported and marked.  False at the end of the log.
bool
read_line(log_reader& log, char (&line)[line_capacity], std::size_t& length, bool& oversized)
{
    if (!log.next_line(line, length))
        return false;
    oversized = is_oversized(line, length);
    if (oversized)
        skip_oversized(log, line, length);
    return true;
}

// The first stage of a line that was read whole, which depends on the
// settings alone: parse it into this thread's g_record, classify it and read
// its time, with the messages of each step.
line_kind
prepare_line(char* line, std::size_t length, u64 line_number, record_time& when,
             char (&copy)[line_capacity])
{
    if (g_settings.debug)
        std::memcpy(copy, line, length + 1);
    const bool header = line_number == 1 && std::strncmp(line, "format=", 7) == 0;
    if (parse_line(line, length) == 0) {
        if (header)
            return line_kind::header;
        if (line[0] == '#' || line[0] == '\0')
            return line_kind::ignored;
        if (warnings_enabled()) {
            std::fprintf(diag_stream(), "%s (%llu)", msg::skipping_bad_record, line_number);
            report_line(copy);
        }
        return line_kind::bad;
    }
    log_record& r = g_record;
    lower_locale(r.date_text + 4, 3);
    lower_locale_text(r.host);
    if (!read_record_time(r.date_text, when)) {
        if (warnings_enabled()) {
            std::fprintf(diag_stream(), "%s: %s [%llu]", msg::skipping_bad_date, r.date_text,
                         line_number);
            report_line(copy);
        }
        return line_kind::bad;
    }
    return line_kind::record;
}

// The record's texts as the tables want them; depends on the settings alone.
void
clean_record(log_record& r, u64 line_number)
{
    clean_url(r);
    clean_referrer(r);
    if (g_settings.mangle_agents != 0)
        mangle_agent(r.agent, g_settings.mangle_agents);
    limit_lengths(r, line_number);
    clean_agent(r);
    clean_user(r);
}

// The second stage, in log order on the counting thread: the run counts, the
// time order, the clock, the DNS cache and the tables.  clean() makes r the
// cleaned record, or writes what an earlier cleaning said, when the record
// is counted.
template <typename Clean>
void
count_line(line_kind kind, record_time when, counted_record& r, Clean&& clean,
           const text_lengths* lengths = nullptr)
{
    ++g_run.total;
    switch (kind) {
    case line_kind::header:
        progress("%s\n", msg::skipping_netscape_header);
        ++g_run.ignored;
        return;
    case line_kind::ignored: ++g_run.ignored; return;
    case line_kind::bad: ++g_run.bad; return;
    case line_kind::record: break;
    }

    g_clock.previous_timestamp = g_clock.timestamp;
    g_clock.record_timestamp = static_cast<u64>(seconds_of(when));
    if (!in_time_order(when)) {
        ++g_run.ignored;
        g_run.good_record = true;
        return;
    }
    clean();
    advance_clock(when);

    // A cached name replaces a numeric host; the logged address is kept
    // to give way to a name that turns out bad.
    if (dns_cache_is_open()) {
        char saved_host[sizeof r.host];
        std::memcpy(saved_host, r.host, sizeof saved_host);
        if (dns_cache_lookup(r.host) && dns_name_is_socket_address(r.host))
            std::memcpy(r.host, saved_host, sizeof saved_host);
        check_host(r.host, saved_host);
    } else {
        check_host(r.host, r.host);
    }

    account_record(when, r, lengths);
}

void
sequential_loop(log_reader& log)
{
    static char line[line_capacity];
    static char copy[line_capacity];
    counted_record counted;
    std::size_t length;
    bool oversized;
    progress_meter meter(log);
    while (read_line(log, line, length, oversized)) {
        meter.line_counted();
        record_time when{};
        const line_kind kind =
            oversized ? line_kind::bad : prepare_line(line, length, g_run.total + 1, when, copy);
        count_line(kind, when, counted, [&] {
            clean_record(g_record, g_run.total);
            view_record(g_record, counted);
        });
    }
}

// Lines into an empty batch, in log order, until it is full or the log ends.
void
read_batch(log_reader& log, record_batch& b)
{
    std::size_t length;
    bool oversized = false;
    bool more = true;
    while (!b.full() && (more = read_line(log, b.line_space(), length, oversized)))
        b.keep_line(oversized ? 0 : length, oversized);
    b.last = !more;
}

// A read batch's lines parsed and cleaned, each record packed with the
// messages of its steps.
void
prepare_batch(record_batch& b)
{
    static thread_local char copy[line_capacity];
    std::size_t read_written = 0;
    u64 line_number = b.first_line;
    for (prepared_line& p : b.lines) {
        p.begin = static_cast<std::uint32_t>(b.messages.size());
        b.messages.append(b.read_messages, read_written, p.read_end - read_written);
        read_written = p.read_end;
        line_kind kind = line_kind::bad;
        if (!p.oversized)
            kind = prepare_line(b.raw + p.raw, p.length, line_number, p.when, copy);
        p.kind = static_cast<int>(kind);
        p.checked_end = static_cast<std::uint32_t>(b.messages.size());
        if (kind == line_kind::record) {
            clean_record(g_record, line_number);
            p.text = static_cast<std::uint32_t>(b.packed_size);
            pack_record(g_record, b);
        }
        p.cleaned_end = static_cast<std::uint32_t>(b.messages.size());
        ++line_number;
    }
}

// A batch read, or prepared, by this thread, its messages into the batch
// through the thread's sink (which diag_stream() is).  A batch that must be
// prepared in log order is prepared at once by the thread that read it.
void
read_or_prepare(log_reader& log, record_pipeline& pipeline, const batch_work& w, bool ordered,
                batch_sink& sink)
{
    record_batch* const b = w.batch;
    if (w.what == batch_work::task::read) {
        sink.set_messages(&b->read_messages);
        read_batch(log, *b);
        sink.set_messages(nullptr);
        pipeline.read(b);
        if (!ordered)
            return;
    }
    sink.set_messages(&b->messages);
    prepare_batch(*b);
    sink.set_messages(nullptr);
    pipeline.prepared(b);
}

// A helper thread: batches read and prepared until the counting is done.
void
help(log_reader& log, record_pipeline& pipeline, bool ordered)
{
    batch_sink sink;
    set_diag_stream(sink.stream());
    for (batch_work w; (w = pipeline.next(false)).what != batch_work::task::none;)
        read_or_prepare(log, pipeline, w, ordered, sink);
    set_diag_stream(nullptr);
}

void
write_messages(const std::string& messages, std::size_t from, std::size_t to)
{
    if (to > from)
        std::fwrite(messages.data() + from, 1, to - from, stderr);
}

void
count_batch(record_batch& b, progress_meter& meter)
{
    counted_record counted;
    text_lengths lengths{};
    for (const prepared_line& p : b.lines) {
        meter.line_counted();
        write_messages(b.messages, p.begin, p.checked_end);
        const auto kind = static_cast<line_kind>(p.kind);
        if (kind == line_kind::record)
            view_packed_record(b, p.text, counted, lengths);
        count_line(
            kind, p.when, counted,
            [&] { write_messages(b.messages, p.checked_end, p.cleaned_end); }, &lengths);
    }
}

// The counting thread counts the next batch whenever it is prepared and
// otherwise reads or prepares one itself, so that the work finds whichever
// thread is free.
void
pipelined_loop(log_reader& log, int threads)
{
    const bool ordered = g_settings.log_type == log_w3c;
    record_pipeline pipeline(threads, ordered);
    // Every helper before anything is read: a machine that refuses a thread
    // still gets the one-thread loop.
    std::vector<std::thread> helpers;
    try {
        for (int i = 1; i < threads; ++i)
            helpers.emplace_back(help, std::ref(log), std::ref(pipeline), ordered);
    } catch (const std::system_error&) {
        pipeline.finish();
        for (std::thread& h : helpers)
            h.join();
        sequential_loop(log);
        return;
    }
    pipeline.start();
    progress_meter meter(log);
    batch_sink sink;
    for (bool last = false; !last;) {
        const batch_work w = pipeline.next(true);
        if (w.what != batch_work::task::count) {
            set_diag_stream(sink.stream());
            read_or_prepare(log, pipeline, w, ordered, sink);
            set_diag_stream(nullptr);
            continue;
        }
        count_batch(*w.batch, meter);
        last = w.batch->last;
        pipeline.give_back(w.batch);
    }
    pipeline.finish();
    for (std::thread& h : helpers)
        h.join();
}

}  // namespace

void
record_loop(log_reader& log)
{
    const int threads = reader_threads();
    if (threads > 1)
        pipelined_loop(log, threads);
    else
        sequential_loop(log);
}
