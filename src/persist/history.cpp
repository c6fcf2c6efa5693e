#include "persist/history.hpp"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/catalog.hpp"
#include "common/counters.hpp"
#include "common/files.hpp"
#include "common/messages.hpp"
#include "common/settings.hpp"
#include "common/text.hpp"
#include "common/version.hpp"

namespace {

constexpr int newest_row = history_months - 1;

// A line is read up to this many characters; the rest of a longer one is
// passed over.
constexpr std::size_t line_characters = 4095;

// Months are counted from January of year 0 in 64 bits, so that neither a
// year near the top of int nor a gap of millions of years can overflow.
long long
month_index(int month, int year)
{
    return year * 12LL + (month - 1);
}

// The window's years are never below 1960 (lines and months before 1970 are
// refused): the index is never negative, so / and % give year and month.
void
number_row(history_row& row, long long index)
{
    row = history_row{};
    row.year = static_cast<int>(index / 12);
    row.month = static_cast<int>(index % 12) + 1;
}

// The row that holds (month, year), the window set up or moved forward for
// it first; nullptr for a month older than row 0.
history_row*
row_for(int month, int year)
{
    history_window& h = g_history;
    if (!h.is_set)
        set_up_history_window(month, year);
    move_history_window_to(month, year);
    const history_row& newest = h.rows[newest_row];
    const long long back = month_index(newest.month, newest.year) - month_index(month, year);
    return back < history_months ? &h.rows[newest_row - back] : nullptr;
}

// Each reader takes one field at p as scanf would (white space before it
// skipped, the number ending at the first character that cannot continue it)
// and moves p past it.  A missing or malformed field, or one outside what the
// row can hold, cannot be read: the reader returns false and leaves the value.

bool
read_int(const char*& p, int& value)
{
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(p, &end, 10);
    if (end == p || errno == ERANGE || v < INT_MIN || v > INT_MAX)
        return false;
    value = static_cast<int>(v);
    p = end;
    return true;
}

// Day 0 is what the rows without data carry.
bool
read_day(const char*& p, int& day)
{
    const char* q = p;
    int v = 0;
    if (!read_int(q, v) || v < 0 || v > 31)
        return false;
    day = v;
    p = q;
    return true;
}

// Infinity, NaN and negative volumes would come back out of the pages and
// the chart as nonsense.
bool
read_kbytes(const char*& p, double& kbytes)
{
    char* end = nullptr;
    const double v = std::strtod(p, &end);
    if (end == p || !std::isfinite(v) || v < 0)
        return false;
    kbytes = v + 0.0;  // -0 becomes 0
    p = end;
    return true;
}

// The fields after month and year, in the file's order, up to the first that
// cannot be read: lines of the older formats end before pages and visits.
void
read_totals(const char* p, history_row& row)
{
    (void)(read_count(p, row.hits) && read_count(p, row.files) && read_count(p, row.sites) &&
           read_kbytes(p, row.kbytes) && read_day(p, row.first_day) && read_day(p, row.last_day) &&
           read_count(p, row.pages) && read_count(p, row.visits));
}

bool
is_symlink(const char* name)
{
    struct stat st;
    return lstat(name, &st) == 0 && S_ISLNK(st.st_mode);
}

// The work file is always a new file of our own: whatever stood at its name
// goes first, and O_EXCL refuses anything that appears there meanwhile, a
// link included.  Truncating an old one in place would write into every other
// name it is linked to, and a FIFO there would block the open.
owned_file
create_work_file(const char* work)
{
    if (unlink(work) != 0 && errno != ENOENT)
        return nullptr;
    const int fd = open_no_follow(work, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return nullptr;
    std::FILE* f = fdopen(fd, "w");
    if (f == nullptr)
        close(fd);
    return owned_file(f);
}

// Flushes, syncs and closes: without the sync a crash soon after the rename
// can leave an empty file under the live name.  Returns 0 or 1.
int
finish_file(owned_file f)
{
    // stdio keeps a failed write in its error flag, so the flush and the flag
    // together cover every write before.
    bool failed = std::fflush(f.get()) != 0 || std::ferror(f.get()) != 0;
    if (!failed && fsync(fileno(f.get())) != 0)
        failed = true;
    if (std::fclose(f.release()) != 0)
        failed = true;
    return failed ? 1 : 0;
}

void
write_history(std::FILE* f)
{
    char stamp[64] = "";
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local) != nullptr)
        std::strftime(stamp, sizeof stamp, "%d/%b/%Y %H:%M:%S", &local);
    std::fprintf(f, "# Parvalyte V%s-%s History Data - %s (%d month)\n", program_version,
                 program_edition, stamp, history_months);
    for (int i = newest_row; i >= 0; --i) {
        const history_row& r = g_history.rows[i];
        std::fprintf(f, "%d %d %llu %llu %llu %.0f %d %d %llu %llu\n", r.month, r.year, r.hits,
                     r.files, r.sites, r.kbytes, r.first_day, r.last_day, r.pages, r.visits);
    }
}

// Copies from to a new file to, for a file system without hard links.
// Returns 0 or the errno of the failure; a partial copy is removed.
int
copy_file(const char* from, const char* to)
{
    const int in = open(from, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (in < 0)
        return errno;
    const int out = open_no_follow(to, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (out < 0) {
        const int e = errno;
        close(in);
        return e;
    }
    int e = copy_contents(in, out) ? 0 : errno;
    if (e == 0 && fsync(out) != 0)
        e = errno;
    if (close(out) != 0 && e == 0)
        e = errno;
    close(in);
    if (e != 0)
        unlink(to);
    return e;
}

// Keeps the old history under the backup name without ever taking it from
// its own name: a second link to it, or a copy where the file system has no
// links.  Only afterwards does the work file replace the live name, so at no
// moment is the live name missing, whatever fails or wherever the run is
// killed.
void
keep_backup(const char* live, const char* backup)
{
    int e = 0;
    if (unlink(backup) != 0 && errno != ENOENT)
        e = errno;
    // linkat without AT_SYMLINK_FOLLOW links a symbolic link itself, as a
    // rename of it would have moved it.
    else if (linkat(AT_FDCWD, live, AT_FDCWD, backup, 0) != 0) {
        e = errno;
        if (e == EPERM || e == EMLINK || e == EXDEV || e == ENOTSUP || e == EOPNOTSUPP)
            e = copy_file(live, backup);
    }
    if (e != 0 && e != ENOENT)  // no old history is nothing to keep
        warn("Failed renaming %s to %s: %s\n", live, backup, std::strerror(e));
}

}  // namespace

void
set_up_history_window(int month, int year)
{
    const long long newest = month_index(month, year);
    for (int i = 0; i < history_months; ++i)
        number_row(g_history.rows[i], newest - (newest_row - i));
    g_history.is_set = true;
}

void
move_history_window_to(int month, int year)
{
    history_row* rows = g_history.rows;
    const long long target = month_index(month, year);
    const long long shift = target - month_index(rows[newest_row].month, rows[newest_row].year);
    if (shift <= 0)
        return;
    // Past a whole window nothing stays, however long the gap: no loop per month.
    if (shift >= history_months) {
        set_up_history_window(month, year);
        return;
    }
    const int n = static_cast<int>(shift);
    std::copy(rows + n, rows + history_months, rows);
    for (int i = history_months - n; i < history_months; ++i)
        number_row(rows[i], target - (newest_row - i));
}

int
load_history()
{
    const char* name = g_settings.history_name.c_str();
    const owned_file f = open_regular_for_reading(name);
    if (!f) {
        progress("%s\n", msg::no_history);
        return 0;
    }
    progress("%s %s\n", msg::reading_history, name);

    char line[line_characters + 1];
    while (read_cut_line(f.get(), line, sizeof line)) {
        if (line[0] == '#')
            continue;
        const char* p = line;
        int month = 0;
        int year = 0;
        if (!read_int(p, month) || !read_int(p, year) || month < 1 || month > 12 || year < 1970) {
            warn("%s (mth=%d)\n", msg::bad_history_line, month);
            continue;
        }
        if (history_row* row = row_for(month, year))
            read_totals(p, *row);
    }
    return std::ferror(f.get()) != 0 ? 1 : 0;
}

int
record_month_in_history()
{
    const int month = g_clock.month;
    const int year = g_clock.year;
    // The history never holds a month before 1970: such a clock comes only
    // from a damaged state file.
    if (month < 1 || month > 12 || year < 1970)
        return 1;
    history_window& h = g_history;
    if (!h.is_set)
        set_up_history_window(month, year);

    const history_row& newest = h.rows[newest_row];
    const long long gap = month_index(month, year) - month_index(newest.month, newest.year);
    if (gap >= 3)
        warn("Warning! %lld month gap detected! (%d/%d to %d/%d)\n", gap, newest.month, newest.year,
             month, year);
    if (gap >= 12)
        h.gap_of_a_year = true;

    history_row* row = row_for(month, year);
    if (row == nullptr)
        return 1;
    const month_counters& m = g_month;
    row->year = year;
    row->month = month;
    row->hits = m.hits;
    row->files = m.files;
    row->pages = m.pages;
    row->visits = m.visits;
    row->sites = m.sites;
    row->kbytes = m.bytes / 1024;
    row->first_day = m.first_day;
    row->last_day = m.last_day;
    return 0;
}

int
store_history()
{
    // An unset window would replace the history by 120 lines no reader accepts.
    if (!g_history.is_set)
        return 1;
    const std::string& live = g_settings.history_name;
    const std::string work = live + ".new";
    if (is_symlink(work.c_str())) {
        warn("%s %s (symlink)\n", msg::cant_open_file, work.c_str());
        return 1;
    }
    owned_file f = create_work_file(work.c_str());
    if (!f) {
        warn("%s %s\n", msg::cant_write_history, work.c_str());
        return 1;
    }
    progress("%s\n", msg::saving_history);
    write_history(f.get());
    if (finish_file(std::move(f)) != 0) {
        unlink(work.c_str());
        warn("%s %s\n", msg::cant_write_history, work.c_str());
        return 1;
    }

    if (g_history.gap_of_a_year)
        keep_backup(live.c_str(), (live + ".sav").c_str());
    // The complete new history stays under the work name for the operator.
    if (std::rename(work.c_str(), live.c_str()) != 0) {
        warn("Failed renaming %s to %s\n", work.c_str(), live.c_str());
        return 1;
    }
    return 0;
}
