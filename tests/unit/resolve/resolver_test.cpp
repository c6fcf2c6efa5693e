// The pre-pass and its children.  Outside a namespace only 127.0.0.1 is ever
// resolved, under many spellings that all mean that one address, which the
// machine's hosts file answers.  Every other address is resolved only in a
// copy of this binary run under `unshare -rnm`: no interface but loopback,
// and a hosts file, resolv.conf and nsswitch.conf of the test's own.
#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/settings.hpp"
#include "input/log_reader.hpp"
#include "resolve/dns_cache.hpp"
#include "resolve/resolver.hpp"
#include "test_support.hpp"

namespace {

constexpr const char* isolated_env = "PARVA_RESOLVER_ISOLATED";

/// Output written to a descriptor, children's too, between creation and
/// text().  Appending, so that no writer overwrites another's lines.
class capture {
  public:
    explicit capture(int fd) : fd_(fd), name_("captured-" + std::to_string(fd)), saved_(dup(fd))
    {
        std::fflush(nullptr);
        const int file = open(name_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND, 0600);
        dup2(file, fd_);
        close(file);
    }
    std::string text()
    {
        std::fflush(nullptr);
        dup2(saved_, fd_);
        close(saved_);
        return content_of(name_);
    }

  private:
    int fd_;
    std::string name_;
    int saved_;
};

std::string
clf_line(const std::string& host)
{
    return host + " - - [10/Oct/2000:13:55:36 -0700] \"GET /a HTTP/1.0\" 200 2326\n";
}

/// n distinct texts that getaddrinfo reads as 127.0.0.1.
std::vector<std::string>
loopback_spellings(int n)
{
    std::vector<std::string> out;
    for (int i = 0; static_cast<int>(out.size()) < n; ++i)
        out.push_back("127." + std::string(i % 5, '0') + "0." + std::string(i / 5 % 5, '0') + "0." +
                      std::string(i / 25, '0') + "1");
    return out;
}

int
count_of(const std::string& text, const std::string& what)
{
    int n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

std::set<int>
open_descriptors()
{
    std::set<int> out;
    for (const auto& e : std::filesystem::directory_iterator("/proc/self/fd"))
        out.insert(std::stoi(e.path().filename().string()));
    return out;
}

bool
no_child_left()
{
    return waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD;
}

class Resolver : public scratch_test {
  protected:
    void SetUp() override
    {
        scratch_test::SetUp();
        startup_settings().dns_cache = "dns.db";
        startup_settings().dns_children = 3;
    }
    void TearDown() override
    {
        dns_cache_close();
        scratch_test::TearDown();
    }

    /// Runs the pre-pass over the log text; returns its standard output.
    static std::string prepass(const std::string& log_text)
    {
        write_file("access.log", log_text);
        log_reader log;
        EXPECT_EQ(log.open("access.log"), 0);
        capture out(1);
        EXPECT_EQ(dns_prepass(log), 0);
        return utf8_of_latin2(out.text());
    }
    static std::string prepass(const std::vector<std::string>& hosts)
    {
        std::string log;
        for (const auto& h : hosts)
            log += clf_line(h);
        return prepass(log);
    }

    static std::optional<dns_cache_record> stored(const std::string& address)
    {
        EXPECT_EQ(dns_cache_open_write(0), 0);
        dns_cache_record r;
        const bool found = dns_cache_fetch(address.c_str(), r) == dns_found;
        dns_cache_close();
        return found ? std::optional(r) : std::nullopt;
    }
    static std::string name_of(const std::string& address)
    {
        const auto r = stored(address);
        return r ? r->name : "(missing)";
    }
    static void store(const char* address, const char* name, std::int64_t when)
    {
        ASSERT_EQ(dns_cache_open_write(when), 0);
        dns_cache_store(address, name, 0);
        dns_cache_close();
    }
};

using ResolverPrepass = Resolver;
using ResolverPool = Resolver;

TEST_F(ResolverPrepass, LoopbackIsResolvedOnceAndStoredAsLocalhost)
{
    // The oversized line's last piece reads as a record of its own: taken,
    // it would add a second address.
    std::string oversized = "127.0.0.1 - - [10/Oct/2000:13:55:36 -0700] \"GET /";
    oversized += std::string(4095 - oversized.size(), 'x') + clf_line("127.1");
    const std::time_t before = std::time(nullptr);
    const std::string out = prepass(clf_line("127.0.0.1") + clf_line("www.example.pl") +
                                    "not a record\n" + clf_line("127.0.0.1") + oversized +
                                    clf_line("10.0.0.1.example.pl") + clf_line("127.0.0.1"));
    EXPECT_EQ(out, "1 adres(ów) w 1 sekund, 1/sec\n");
    const auto r = stored("127.0.0.1");
    ASSERT_TRUE(r);
    EXPECT_STREQ(r->name, "localhost");
    EXPECT_EQ(r->unresolved, 0);
    EXPECT_GE(r->cache_time, before);
    EXPECT_LE(r->cache_time, std::time(nullptr));
    EXPECT_FALSE(stored("127.1"));
    EXPECT_FALSE(stored("www.example.pl"));
}

TEST_F(ResolverPrepass, OnlyMissingExpiredOrDamagedRecordsAreResolvedAgain)
{
    const std::int64_t now = std::time(nullptr);
    store("127.0.0.1", "fresh.example", now - 3600);
    store("127.0.0.01", "expired.example", now - 8 * 86400);
    store("127.0.0.001", "permanent.example", 0);
    store("127.0.0.0001", "", now);
    const std::vector<std::string> hosts = {"127.0.0.1", "127.0.0.01", "127.0.0.001",
                                            "127.0.0.0001", "127.0.0.00001"};
    EXPECT_EQ(prepass(hosts), "3 adres(ów) w 1 sekund, 3/sec\n");
    EXPECT_EQ(name_of("127.0.0.1"), "fresh.example");
    EXPECT_EQ(stored("127.0.0.1")->cache_time, now - 3600);
    EXPECT_EQ(name_of("127.0.0.01"), "localhost");
    EXPECT_GE(stored("127.0.0.01")->cache_time, now);
    EXPECT_EQ(name_of("127.0.0.001"), "permanent.example");
    EXPECT_EQ(name_of("127.0.0.0001"), "localhost");
    EXPECT_EQ(name_of("127.0.0.00001"), "localhost");

    EXPECT_EQ(prepass(hosts), "Brak adresów IP do przetworzenia\n");
    startup_settings().verbosity = 1;
    EXPECT_EQ(prepass(hosts), "");
}

TEST_F(ResolverPrepass, SummaryLineFollowsVerbosityAndTimeMe)
{
    auto line = [](std::uint64_t entries, double seconds) {
        capture out(1);
        print_dns_summary(entries, seconds);
        return utf8_of_latin2(out.text());
    };
    EXPECT_EQ(line(3, 0), "3 adres(ów) w 1 sekund, 3/sec\n");
    EXPECT_EQ(line(7, 2), "7 adres(ów) w 2 sekund, 3/sec\n");
    EXPECT_EQ(line(1, 5), "1 adres(ów) w 5 sekund\n");
    startup_settings().verbosity = 1;
    EXPECT_EQ(line(3, 0), "");
    startup_settings().time_me = true;
    EXPECT_EQ(line(3, 0), "DNS: 3 adres(ów) w 1 sekund, 3/sec\n");
    startup_settings().verbosity = 0;
    EXPECT_EQ(line(2, 1), "DNS: 2 adres(ów) w 1 sekund, 2/sec\n");
}

TEST_F(ResolverPrepass, UnusableCacheIsForgotten)
{
    startup_settings().dns_cache = "no/such/dir/dns.db";
    write_file("access.log", clf_line("127.0.0.1"));
    log_reader log;
    ASSERT_EQ(log.open("access.log"), 0);
    capture err(2);
    EXPECT_EQ(dns_prepass(log), 1);
    EXPECT_NE(utf8_of_latin2(err.text()).find("Nie mogę otworzyć pliku buforującego DNS"),
              std::string::npos);
    EXPECT_FALSE(g_settings.dns_cache);
    EXPECT_TRUE(no_child_left());
}

TEST_F(ResolverPool, ChildrenAreCappedAndEachSeesTheEndOfItsInput)
{
    startup_settings().debug = true;
    struct pool_case {
        int children;
        int addresses;
        int expected_children;
    };
    for (const pool_case c : {pool_case{150, 125, 100}, {4, 10, 4}, {8, 3, 3}}) {
        SCOPED_TRACE(c.children);
        reset_run_state();
        std::filesystem::remove("dns.db");
        startup_settings().dns_children = c.children;
        const auto hosts = loopback_spellings(c.addresses);
        const std::string out = prepass(hosts);

        std::set<int> slots;
        std::istringstream lines(out);
        for (std::string l; std::getline(lines, l);) {
            int bytes = 0;
            int slot = -1;
            if (std::sscanf(l.c_str(), "Giving %d bytes to Child %d", &bytes, &slot) == 2) {
                EXPECT_EQ(bytes, static_cast<int>(sizeof(sockaddr_in)));
                slots.insert(slot);
            }
        }
        EXPECT_EQ(static_cast<int>(slots.size()), c.expected_children);
        EXPECT_EQ(*slots.rbegin(), c.expected_children - 1);
        EXPECT_EQ(count_of(out, "Got a result"), c.addresses);
        EXPECT_EQ(count_of(out, "got closed input, shutting down"), c.expected_children);
        EXPECT_EQ(count_of(out, "Reaped Child"), c.expected_children);
        EXPECT_TRUE(no_child_left());
        for (const auto& h : hosts)
            EXPECT_EQ(name_of(h), "localhost") << h;
    }
}

TEST_F(ResolverPool, PipeFailureEndsThePoolAndLeavesNoChildOrDescriptor)
{
    startup_settings().dns_children = 50;
    std::string log_text;
    for (const auto& h : loopback_spellings(60))
        log_text += clf_line(h);
    write_file("access.log", log_text);
    log_reader log;
    ASSERT_EQ(log.open("access.log"), 0);
    capture err(2);
    capture out(1);
    const auto before = open_descriptors();

    // Room for the cache file and a few pipes, not for fifty children.
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &old), 0);
    rlimit low = old;
    int limit = 0;
    for (int free_numbers = 0; free_numbers < 12; ++limit)
        free_numbers += before.count(limit) == 0 ? 1 : 0;
    low.rlim_cur = static_cast<rlim_t>(limit);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
    dns_prepass(log);
    setrlimit(RLIMIT_NOFILE, &old);

    const auto after = open_descriptors();
    out.text();
    const std::string errors = err.text();
    EXPECT_TRUE(errors.find("INPIPE creation error") != std::string::npos ||
                errors.find("OUTPIPE creation error") != std::string::npos)
        << errors;
    EXPECT_TRUE(no_child_left());
    EXPECT_EQ(after, before);
    EXPECT_FALSE(stored("127.0.0.1"));
}

// ---- in a namespace of the test's own

class ResolverIsolated : public Resolver {
  protected:
    /// In the isolated copy, points the name services at the given hosts
    /// file and at a name server on 127.0.0.1 that waits dns_timeout seconds,
    /// and returns true.  Elsewhere runs this test in such a copy (or skips
    /// it where namespaces are not allowed) and returns false.
    bool isolate(const std::string& hosts, int dns_timeout = 1)
    {
        if (std::getenv(isolated_env) == nullptr) {
            run_isolated_copy();
            return false;
        }
        if (struct if_nameindex* names = if_nameindex(); names != nullptr) {
            bool loopback_only = true;
            for (const struct if_nameindex* n = names; n->if_index != 0; ++n)
                loopback_only = loopback_only && std::strcmp(n->if_name, "lo") == 0;
            if_freenameindex(names);
            if (!loopback_only) {
                ADD_FAILURE() << "not in a network namespace of loopback alone: nothing resolved";
                return false;
            }
        }
        const std::string cwd = std::filesystem::current_path().string();
        const std::string resolv =
            "nameserver 127.0.0.1\noptions timeout:" + std::to_string(dns_timeout) +
            " attempts:1\n";
        const std::vector<std::pair<std::string, std::string>> files = {
            {"hosts", hosts}, {"resolv.conf", resolv}, {"nsswitch.conf", "hosts: files dns\n"}};
        for (const auto& [file, text] : files) {
            write_file(file, text);
            const std::string target = "/etc/" + file;
            if (mount((cwd + "/" + file).c_str(), target.c_str(), nullptr, MS_BIND, nullptr) != 0) {
                ADD_FAILURE() << "cannot bind " << target << ": " << std::strerror(errno);
                return false;
            }
        }
        const int s = socket(AF_INET, SOCK_DGRAM, 0);
        ifreq lo{};
        std::strcpy(lo.ifr_name, "lo");
        ioctl(s, SIOCGIFFLAGS, &lo);
        lo.ifr_flags |= IFF_UP;
        EXPECT_EQ(ioctl(s, SIOCSIFFLAGS, &lo), 0);
        close(s);
        return true;
    }

    /// A name server that takes queries and never answers.
    static int silent_name_server()
    {
        const int s = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_port = htons(53);
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(bind(s, reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
        return s;
    }

  private:
    static void run_isolated_copy()
    {
        if (std::system("unshare -rnm true >/dev/null 2>&1") != 0)
            GTEST_SKIP() << "unshare -rnm is not allowed here, and these addresses are resolved "
                            "only where no query can leave the machine";
        char exe[4096];
        const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
        ASSERT_GT(n, 0);
        exe[n] = '\0';
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        const std::string filter =
            std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name();
        std::fflush(nullptr);
        const pid_t pid = fork();
        if (pid == 0) {
            setenv(isolated_env, "1", 1);
            unsetenv("GTEST_OUTPUT");
            execlp("unshare", "unshare", "-rnm", exe, filter.c_str(), nullptr);
            _exit(127);
        }
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the isolated copy failed";
    }
};

TEST_F(ResolverIsolated, UnresolvableAddressesAreStoredOnlyWithCacheIPs)
{
    if (!isolate("192.0.2.1 Named.Example\n::1 ip6-localhost ip6-loopback\n"))
        return;
    const std::vector<std::string> hosts = {"192.0.2.1", "192.0.2.50", "::1", "2001:DB8::1"};
    EXPECT_EQ(prepass(hosts), "4 adres(ów) w 1 sekund, 4/sec\n");
    EXPECT_EQ(name_of("192.0.2.1"), "named.example");
    EXPECT_EQ(name_of("::1"), "ip6-localhost");
    EXPECT_FALSE(stored("192.0.2.50"));
    EXPECT_EQ(prepass(hosts), "2 adres(ów) w 1 sekund, 2/sec\n");

    startup_settings().cache_ips = true;
    EXPECT_EQ(prepass(hosts), "2 adres(ów) w 1 sekund, 2/sec\n");
    const auto r = stored("192.0.2.50");
    ASSERT_TRUE(r);
    EXPECT_STREQ(r->name, "192.0.2.50");
    EXPECT_EQ(r->unresolved, 1);
    EXPECT_EQ(name_of("2001:db8::1"), "2001:db8::1");
    // The key is the logged text lower-cased, which the upper-case text
    // never finds: that address is asked for in every run.
    EXPECT_EQ(prepass(hosts), "1 adres(ów) w 1 sekund, 1/sec\n");
}

TEST_F(ResolverIsolated, HostileNamesAreStoredWithinTheRecord)
{
    std::string long_name = "Head.";
    while (long_name.size() < 300)
        long_name += "label-of-twenty-ch.";
    long_name += "Tail.Example";
    if (!isolate("192.0.2.1 " + long_name + "\n192.0.2.2 <b>Mark</b>.Example\n" +
                 "192.0.2.3 ctl\x01\x1bname.example\n192.0.2.4 abc\n"))
        return;
    startup_settings().debug = true;
    const std::string out = prepass({"192.0.2.1", "192.0.2.2", "192.0.2.3", "192.0.2.4"});
    EXPECT_EQ(count_of(out, "getnameinfo bad hbuf!"), 1);

    std::string expected = long_name.substr(long_name.size() - dns_record_name_max);
    for (char& c : expected)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(name_of("192.0.2.1"), expected);
    EXPECT_EQ(name_of("192.0.2.2"), "<b>mark</b>.example");
    EXPECT_EQ(name_of("192.0.2.3"), "ctl\x01\x1bname.example");
    EXPECT_FALSE(stored("192.0.2.4"));
}

TEST_F(ResolverIsolated, ChildThatIsKilledOrHangsDoesNotHoldThePool)
{
    if (!isolate("192.0.2.1 one.example\n192.0.2.2 two.example\n192.0.2.3 three.example\n", 30))
        return;
    const int server = silent_name_server();
    startup_settings().dns_children = 2;
    const std::vector<std::string> hosts = {"192.0.2.1", "192.0.2.100", "192.0.2.2", "192.0.2.3"};

    // Killed: from outside, the child that holds a socket of its own (not the
    // server's, which a child holds for a moment after it is forked), which
    // is the one waiting on the silent server.  It reports what else the
    // child held.
    int report[2];
    ASSERT_EQ(pipe(report), 0);
    const pid_t parent = getpid();
    struct stat server_stat {};
    fstat(server, &server_stat);
    const std::string server_socket = "socket:[" + std::to_string(server_stat.st_ino) + "]";
    const pid_t middle = fork();
    if (middle == 0) {
        if (fork() != 0)
            _exit(0);                        // the killer is no child of the pool's process
        const pid_t middle_pid = getppid();  // holds the test's socket until it is gone
        close(report[0]);
        int others = -1;
        for (int round = 0; round < 400 && others < 0; ++round, usleep(20000)) {
            DIR* proc = opendir("/proc");
            for (dirent* d; proc != nullptr && others < 0 && (d = readdir(proc)) != nullptr;) {
                const int pid = std::atoi(d->d_name);
                char state = 0;
                int ppid = 0;
                const std::string stat = content_of("/proc/" + std::string(d->d_name) + "/stat");
                const auto close_paren = stat.rfind(')');
                if (pid <= 0 || close_paren == std::string::npos ||
                    std::sscanf(stat.c_str() + close_paren + 1, " %c %d", &state, &ppid) != 2 ||
                    ppid != parent || state == 'Z' || pid == middle_pid)
                    continue;
                int sockets = 0;
                int held = 0;
                const std::string fds = "/proc/" + std::to_string(pid) + "/fd";
                std::error_code ec;
                for (const auto& e : std::filesystem::directory_iterator(fds, ec)) {
                    const auto target = std::filesystem::read_symlink(e.path(), ec).string();
                    if (target == server_socket)
                        continue;
                    if (target.rfind("socket:", 0) == 0)
                        ++sockets;
                    else if (std::stoi(e.path().filename().string()) > 2)
                        ++held;
                }
                if (sockets > 0) {
                    kill(pid, SIGKILL);
                    others = held;
                }
            }
            if (proc != nullptr)
                closedir(proc);
        }
        (void)!write(report[1], &others, sizeof others);
        _exit(0);
    }
    close(report[1]);
    waitpid(middle, nullptr, 0);

    auto started = std::chrono::steady_clock::now();
    prepass(hosts);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(15));
    int held = -2;
    EXPECT_EQ(read(report[0], &held, sizeof held), static_cast<ssize_t>(sizeof held));
    close(report[0]);
    EXPECT_EQ(held, 2) << "the child should hold its two pipe ends and nothing else";
    EXPECT_EQ(name_of("192.0.2.1"), "one.example");
    EXPECT_EQ(name_of("192.0.2.2"), "two.example");
    EXPECT_EQ(name_of("192.0.2.3"), "three.example");
    EXPECT_FALSE(stored("192.0.2.100"));
    EXPECT_TRUE(no_child_left());

    // Hung: the pool itself stops the child at the reply limit.
    reset_run_state();
    char hung[] = "192.0.2.101";
    char named[] = "192.0.2.1";
    for (char* text : {hung, named}) {
        addrinfo hints{};
        hints.ai_flags = AI_NUMERICHOST;
        addrinfo* ai = nullptr;
        ASSERT_EQ(getaddrinfo(text, "0", &hints, &ai), 0);
        add_dns(text, ai->ai_addr, static_cast<int>(ai->ai_addrlen));
        freeaddrinfo(ai);
    }
    dnode* work = nullptr;
    for_each_node(dns_table, [&](dnode* n) {
        n->work_next = work;
        work = n;
    });
    ASSERT_EQ(dns_cache_open_write(std::time(nullptr)), 0);
    started = std::chrono::steady_clock::now();
    EXPECT_EQ(run_resolver_pool(work, 1), 0);
    const auto took = std::chrono::steady_clock::now() - started;
    dns_cache_close();
    EXPECT_GE(took, std::chrono::seconds(1));
    EXPECT_LT(took, std::chrono::seconds(10));
    EXPECT_FALSE(stored("192.0.2.101"));
    EXPECT_TRUE(no_child_left());
    close(server);
}

}  // namespace
