#include "resolve/resolver.hpp"

#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <initializer_list>

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/catalog.hpp"
#include "common/messages.hpp"
#include "common/records.hpp"
#include "common/settings.hpp"
#include "input/log_reader.hpp"
#include "input/parsers.hpp"
#include "resolve/dns_cache.hpp"

namespace {

// ---- the children

// Bytes a read takes from either pipe: more than any request or reply.
constexpr std::size_t message_capacity = 256;

// The longest reply a child sends; a longer name keeps its end, which holds
// the domain.
constexpr std::size_t reply_max = dns_record_name_max;

void
close_descriptors(unsigned first, unsigned last)
{
    if (first > last)
        return;
#if defined(CLOSE_RANGE_CLOEXEC)
    if (close_range(first, last, 0) == 0)
        return;
#endif
    rlimit limit{};
    unsigned end = 65535;
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
        limit.rlim_cur - 1 < end)
        end = static_cast<unsigned>(limit.rlim_cur - 1);
    if (last < end)
        end = last;
    for (unsigned fd = first; fd <= end; ++fd)
        close(static_cast<int>(fd));
}

// A child needs its two pipe ends and the standard streams.  Everything else
// goes: the other children's pipes (a copy of another slot's write end would
// keep that child from ever seeing the end of its input), the cache file, the
// log.
void
keep_only(int a, int b)
{
    if (a > b) {
        const int t = a;
        a = b;
        b = t;
    }
    unsigned next = 3;
    for (const int keep : {a, b}) {
        if (keep < 3 || static_cast<unsigned>(keep) < next)
            continue;
        close_descriptors(next, static_cast<unsigned>(keep) - 1);
        next = static_cast<unsigned>(keep) + 1;
    }
    close_descriptors(next, ~0U);
}

// Debug lines of the parent and its children share standard output: each
// goes out whole, in one write, so that none is cut by another's.
[[gnu::format(printf, 1, 2)]] void
trace(const char* fmt, ...)
{
    if (!g_settings.debug)
        return;
    va_list args;
    va_start(args, fmt);
    std::vprintf(fmt, args);
    va_end(args);
    std::fflush(stdout);
}

// Never returns: the child ends with _exit, so none of the parent's exit
// handlers run in it and none of its buffers are written twice.
[[noreturn]] void
serve_requests(int slot, int requests, int replies)
{
    keep_only(requests, replies);
    for (;;) {
        alignas(sockaddr_storage) unsigned char request[message_capacity];
        const ssize_t n = read(requests, request, sizeof request);
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0) {
            close(requests);
            close(replies);
            trace("Child %d got closed input, shutting down\n", slot);
            std::fflush(stdout);
            _exit(0);
        }
        if (n < 0) {
            std::perror("read error");
            _exit(1);
        }

        char name[1025] = {};
        const void* reply = request;
        std::size_t length = static_cast<std::size_t>(n);
        if (getnameinfo(reinterpret_cast<const sockaddr*>(request), static_cast<socklen_t>(n), name,
                        sizeof name, nullptr, 0, NI_NAMEREQD) != 0) {
            trace("Child %d getnameinfo failed!\n", slot);
        } else if (const std::size_t name_length = std::strlen(name); name_length < 4) {
            trace("Child %d getnameinfo bad hbuf!\n", slot);
        } else {
            const std::size_t kept = name_length < reply_max ? name_length : reply_max;
            reply = name + (name_length - kept);
            length = kept;
        }

        ssize_t written;
        do
            written = write(replies, reply, length);
        while (written < 0 && errno == EINTR);
        if (written < 0) {
            std::perror("write error");
            _exit(1);
        }
    }
}

// ---- the parent's view of them

enum : int { slot_idle = 1, slot_alive = 2 };

struct resolver_slot {
    int inpipe = -1;   // read end of the replies
    int outpipe = -1;  // write end of the requests
    pid_t pid = 0;     // 0 once reaped
    int flags = 0;
    dnode* entry = nullptr;     // the address being resolved
    std::int64_t deadline = 0;  // monotonic ms by which it must answer or end; 0: none
};

volatile std::sig_atomic_t child_exits = 0;

void
count_child_exit(int)
{
    child_exits = child_exits + 1;
}

std::int64_t
now_ms()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return std::int64_t{t.tv_sec} * 1000 + t.tv_nsec / 1000000;
}

void
close_fd(int& fd)
{
    if (fd >= 0)
        close(fd);
    fd = -1;
}

// The child may say no more: it sees the end of its input and ends, and is
// given the reply limit to do so.
void
stop_feeding(resolver_slot& s, std::int64_t deadline)
{
    close_fd(s.outpipe);
    s.flags &= ~slot_alive;
    s.deadline = deadline;
}

void
reap_children(resolver_slot* slots, int count, int& living)
{
    for (int i = 0; i < count; ++i) {
        resolver_slot& s = slots[i];
        if (s.pid == 0)
            continue;
        pid_t r;
        do
            r = waitpid(s.pid, nullptr, WNOHANG);
        while (r < 0 && errno == EINTR);
        if (r == 0)
            continue;
        // r < 0 (ECHILD) means someone else took it: it is gone all the same.
        trace("Reaped Child %d\n", static_cast<int>(s.pid));
        s.pid = 0;
        s.flags = 0;
        s.entry = nullptr;
        s.deadline = 0;
        close_fd(s.inpipe);
        close_fd(s.outpipe);
        --living;
    }
}

// A child past its deadline is stuck in a lookup that will not end, or
// ignores the end of its input.  SIGKILL ends it even when it is stopped;
// its exit signal then gets it reaped.
void
stop_overdue(resolver_slot* slots, int count, std::int64_t now)
{
    for (int i = 0; i < count; ++i) {
        resolver_slot& s = slots[i];
        if (s.pid == 0 || s.deadline == 0 || now < s.deadline)
            continue;
        trace("Child %d does not answer, stopping it\n", i);
        kill(s.pid, SIGKILL);
        s.entry = nullptr;
        stop_feeding(s, 0);
    }
}

// A request is one write of at most 128 bytes: far below PIPE_BUF, so it
// arrives whole, and the pipe never holds more than that one request, so the
// write cannot block.
int
send_request(int fd, const dnode* entry)
{
    const std::size_t length = static_cast<std::size_t>(entry->addr_len) < sizeof entry->addr
                                   ? static_cast<std::size_t>(entry->addr_len)
                                   : sizeof entry->addr;
    ssize_t written;
    do
        written = write(fd, entry->addr, length);
    while (written < 0 && errno == EINTR);
    return written == static_cast<ssize_t>(length) ? 0 : 1;
}

// A child that keeps to the protocol says nothing more until it is asked
// again.  Bytes beyond one reply would pass for the answer to the next
// request: true when there are some.
bool
says_more(int fd)
{
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 0) != 1 || (p.revents & POLLIN) == 0)
        return false;
    char junk[message_capacity];
    return read(fd, junk, sizeof junk) > 0;
}

void
take_reply(resolver_slot& s, int slot, std::int64_t now, std::int64_t limit_ms)
{
    char reply[message_capacity + 1];
    ssize_t n;
    do
        n = read(s.inpipe, reply, message_capacity);
    while (n < 0 && errno == EINTR);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
        return;
    if (n <= 0) {
        // A reply is lost with the child: its address is tried again next run.
        if (n < 0)
            std::perror("Could not read from pipe");
        else
            trace("Child %d wants to be reaped\n", slot);
        s.entry = nullptr;
        stop_feeding(s, now + limit_ms);
        return;
    }
    if (says_more(s.inpipe)) {
        // Nothing it says can be trusted any more, this reply included.
        trace("Child %d broke the protocol, stopping it\n", slot);
        kill(s.pid, SIGKILL);
        s.entry = nullptr;
        stop_feeding(s, 0);
        return;
    }
    reply[n] = '\0';

    dnode* e = s.entry;
    s.entry = nullptr;
    s.flags |= slot_idle;
    s.deadline = 0;
    if (e == nullptr)
        return;
    const bool echoed = n == static_cast<ssize_t>(e->addr_len) &&
                        std::memcmp(reply, e->addr, static_cast<std::size_t>(n)) == 0;
    const bool resolved =
        !echoed && std::strlen(reply) >= 2 && static_cast<std::size_t>(n) <= reply_max;
    if (resolved) {
        trace("Child %d Got a result: %s -> %s\n", slot, name_of(e), reply);
        dns_cache_store(name_of(e), reply, 0);
    } else {
        trace("Child %d could not resolve: %s (%s)\n", slot, name_of(e),
              g_settings.cache_ips ? "cache" : "no cache");
        if (g_settings.cache_ips)
            dns_cache_store(name_of(e), name_of(e), 1);
    }
    trace("Child %d back in task pool\n", slot);
}

// Ends the children of a pool that could not be completed: without their
// pipes they would wait, blocked, until the program ends.
void
end_children(resolver_slot* slots, int count)
{
    for (int i = 0; i < count; ++i) {
        resolver_slot& s = slots[i];
        close_fd(s.inpipe);
        close_fd(s.outpipe);
        if (s.pid == 0)
            continue;
        kill(s.pid, SIGKILL);
        while (waitpid(s.pid, nullptr, 0) < 0 && errno == EINTR) {
        }
        s.pid = 0;
    }
}

// Starts the children.  Returns how many run; failed is set when a pipe or
// fork failed (the message is printed here).
int
start_children(resolver_slot* slots, int wanted, const sigset_t& child_mask, bool& failed)
{
    failed = false;
    for (int i = 0; i < wanted; ++i) {
        int in[2];
        int out[2];
        if (pipe(in) != 0) {
            warn("INPIPE creation error");
            failed = true;
            return i;
        }
        if (pipe(out) != 0) {
            close(in[0]);
            close(in[1]);
            warn("OUTPIPE creation error");
            failed = true;
            return i;
        }
        // The child would write out whatever the parent had not yet.
        std::fflush(stdout);
        std::fflush(stderr);
        const pid_t pid = fork();
        if (pid < 0) {
            close(in[0]);
            close(in[1]);
            close(out[0]);
            close(out[1]);
            warn("FORK error");
            failed = true;
            return i;
        }
        if (pid == 0) {
            sigprocmask(SIG_SETMASK, &child_mask, nullptr);
            serve_requests(i, out[0], in[1]);
        }
        resolver_slot& s = slots[i];
        s = resolver_slot{};
        s.inpipe = in[0];
        s.outpipe = out[1];
        s.pid = pid;
        s.flags = slot_idle | slot_alive;
        close(in[1]);
        close(out[0]);
        set_fl(s.inpipe, O_NONBLOCK);
        // Never waits on a child that stopped reading.
        set_fl(s.outpipe, O_NONBLOCK);
    }
    return wanted;
}

// ---- the pre-pass

bool
is_oversized(const char* line, std::size_t length)
{
    return length == line_capacity - 1 && line[length - 1] != '\n';
}

// A record the cache cannot use: expired, or too damaged to hold a name.
bool
needs_resolving(const dns_cache_record& r, std::int64_t now)
{
    return r.name[0] == '\0' || dns_record_is_stale(r.cache_time, now, g_settings.cache_ttl);
}

void
collect_addresses(log_reader& log, std::int64_t now)
{
    static char line[line_capacity];
    // Logs bunch the requests of one client: a host judged on the line before
    // is neither parsed as an address nor looked up again.
    char previous[host_name_capacity + 1] = "";
    std::size_t length = 0;
    while (log.next_line(line, length)) {
        if (is_oversized(line, length)) {
            while (is_oversized(line, length) && log.next_line(line, length)) {
            }
            continue;
        }
        if (parse_line(line, std::strlen(line)) == 0)
            continue;
        char* host = g_record.host;
        if (std::strcmp(host, previous) == 0)
            continue;
        std::memcpy(previous, host, std::strlen(host) + 1);
        if (!may_be_numeric(host))
            continue;

        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_flags = AI_NUMERICHOST;
        addrinfo* found = nullptr;
        if (getaddrinfo(host, "0", &hints, &found) != 0)
            continue;
        dns_cache_record r;
        const dns_fetch_result known = dns_cache_fetch(host, r);
        if (known == dns_missing || (known == dns_found && needs_resolving(r, now)))
            add_dns(host, found->ai_addr, static_cast<int>(found->ai_addrlen));
        freeaddrinfo(found);
    }
}

// The list runs in reverse of the walk over the buckets.
dnode*
chain_work(std::uint64_t& count)
{
    dnode* list = nullptr;
    count = 0;
    for_each_node(dns_table, [&](dnode* n) {
        n->work_next = list;
        list = n;
        ++count;
    });
    return list;
}

}  // namespace

int
set_fl(int fd, int flags)
{
    const int current = fcntl(fd, F_GETFL, 0);
    if (current < 0) {
        warn("set_fl F_GETFL error\n");
        return 1;
    }
    if (fcntl(fd, F_SETFL, current | flags) < 0) {
        warn("set_fl F_SETFL error\n");
        return 1;
    }
    return 0;
}

int
run_resolver_pool(dnode* first, int reply_limit_seconds)
{
    struct sigaction counting {};
    counting.sa_handler = count_child_exit;
    sigemptyset(&counting.sa_mask);
    counting.sa_flags = SA_RESTART | SA_NOCLDSTOP;
    sigaction(SIGCHLD, &counting, nullptr);
    child_exits = 0;

    int wanted = g_settings.dns_children;
    if (wanted > resolver_children_max)
        wanted = resolver_children_max;
    int entries = 0;
    for (const dnode* e = first; e != nullptr && entries < wanted; e = e->work_next)
        ++entries;
    if (entries < wanted)
        wanted = entries;  // a child without an address would only be closed again
    if (wanted <= 0)
        return 0;

    // The exit signal is let in only while the parent waits, so that one
    // arriving just before the wait cuts the wait short instead of being
    // noticed five seconds later.
    sigset_t exits;
    sigset_t previous;
    sigemptyset(&exits);
    sigaddset(&exits, SIGCHLD);
    sigprocmask(SIG_BLOCK, &exits, &previous);
    sigset_t waiting = previous;
    sigdelset(&waiting, SIGCHLD);

    resolver_slot slots[resolver_children_max];
    bool failed = false;
    const int started = start_children(slots, wanted, previous, failed);
    if (failed) {
        end_children(slots, started);
        sigprocmask(SIG_SETMASK, &previous, nullptr);
        return 1;
    }

    const std::int64_t limit_ms =
        std::int64_t{reply_limit_seconds > 0 ? reply_limit_seconds : 1} * 1000;
    int living = started;
    dnode* next = first;
    pollfd polled[resolver_children_max];
    int polled_slot[resolver_children_max];
    while (living != 0) {
        if (child_exits != 0) {
            reap_children(slots, started, living);
            child_exits = child_exits - 1;
            continue;
        }
        std::int64_t now = now_ms();
        stop_overdue(slots, started, now);

        int count = 0;
        for (int i = 0; i < started; ++i) {
            resolver_slot& s = slots[i];
            if ((s.flags & slot_alive) == 0)
                continue;
            if ((s.flags & slot_idle) != 0) {
                s.flags &= ~slot_idle;
                while (next != nullptr && next->addr_len <= 0)
                    next = next->work_next;  // nothing to ask about
                if (next == nullptr) {
                    stop_feeding(s, now + limit_ms);
                    continue;
                }
                if (send_request(s.outpipe, next) != 0) {
                    std::perror("Could not write to pipe");
                    stop_feeding(s, now + limit_ms);
                    continue;  // the address waits for the next idle child
                }
                s.entry = next;
                s.deadline = now + limit_ms;
                trace("Giving %d bytes to Child %d\n", next->addr_len, i);
                next = next->work_next;
            }
            polled[count] = pollfd{s.inpipe, POLLIN, 0};
            polled_slot[count] = i;
            ++count;
        }

        std::int64_t wait_ms = 5000;
        for (int i = 0; i < started; ++i)
            if (slots[i].pid != 0 && slots[i].deadline != 0 && slots[i].deadline - now < wait_ms)
                wait_ms = slots[i].deadline - now > 0 ? slots[i].deadline - now : 0;
        const timespec wait{static_cast<time_t>(wait_ms / 1000),
                            static_cast<long>(wait_ms % 1000) * 1000000};
        const int ready = ppoll(polled, static_cast<nfds_t>(count), &wait, &waiting);
        if (ready < 0) {
            if (errno != EINTR) {
                std::perror("Error in select");
                // The exit signals come in only during the wait: look for
                // exits directly, and do not spin on a wait that keeps failing.
                reap_children(slots, started, living);
                const timespec pause{0, 100 * 1000000};
                nanosleep(&pause, nullptr);
            }
            continue;
        }
        if (ready == 0) {
            trace("tick\n");
            continue;
        }
        now = now_ms();
        int left = ready;
        for (int k = 0; k < count && left > 0; ++k) {
            if (polled[k].revents == 0)
                continue;
            --left;
            take_reply(slots[polled_slot[k]], polled_slot[k], now, limit_ms);
        }
    }
    end_children(slots, started);  // every one is reaped: this only closes
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    return 0;
}

void
print_dns_summary(std::uint64_t entries, double elapsed_seconds)
{
    const bool progress_on = progress_enabled();
    if (!g_settings.time_me && !progress_on)
        return;
    if (g_settings.time_me && !progress_on)
        std::printf("DNS: ");
    std::printf("%llu %s ", static_cast<unsigned long long>(entries), msg::addresses_word);
    float elapsed = static_cast<float>(elapsed_seconds);
    if (elapsed == 0.0f)
        elapsed = 1.0f;
    std::printf("%s %.0f %s", msg::in_word, static_cast<double>(elapsed), msg::seconds_word);
    const float rate = static_cast<float>(entries) / elapsed;
    if (rate < 1.0f || rate > static_cast<float>(entries))
        std::printf("\n");
    else
        std::printf(", %d/sec\n", static_cast<int>(rate));
}

int
dns_prepass(log_reader& log)
{
    const std::time_t store_time = std::time(nullptr);
    const std::time_t start = std::time(nullptr);
    settings& s = startup_settings();
    if (dns_cache_open_write(store_time) != 0) {
        s.dns_cache.reset();
        return 1;
    }

    // A child that died leaves a pipe whose writes would otherwise kill the
    // whole run.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ignore.sa_flags = SA_RESTART;
    sigaction(SIGPIPE, &ignore, nullptr);

    // The accounting pass reports the log's faults; reading it twice must
    // not report them twice.
    const int verbosity = s.verbosity;
    s.verbosity = 0;
    collect_addresses(log, store_time);
    s.verbosity = verbosity;

    std::uint64_t count = 0;
    dnode* work = chain_work(count);
    if (work == nullptr) {
        progress("%s\n", msg::no_addresses);
    } else {
        run_resolver_pool(work);
        const std::time_t end = std::time(nullptr);
        print_dns_summary(count, std::difftime(end, start));
    }
    clear_table(dns_table);
    dns_cache_close();
    return 0;
}
