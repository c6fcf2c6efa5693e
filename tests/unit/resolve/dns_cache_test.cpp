#include <chrono>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/settings.hpp"
#include "common/text.hpp"
#include "resolve/dns_cache.hpp"
#include "test_support.hpp"

namespace {

class DnsCache : public scratch_test {
  protected:
    void SetUp() override
    {
        scratch_test::SetUp();
        startup_settings().dns_cache = "dns.db";
        startup_settings().verbosity = 1;
    }
    void TearDown() override
    {
        dns_cache_close();
        scratch_test::TearDown();
    }

    /// Puts raw bytes under a key, as a damaged or foreign file may hold them.
    static void put_raw(const std::string& key, const std::string& value)
    {
        DB* raw = nullptr;
        ASSERT_EQ(db_create(&raw, nullptr, 0), 0);
        owned_db db(raw);
        ASSERT_EQ(db->open(raw, nullptr, "dns.db", nullptr, DB_HASH, DB_CREATE, 0644), 0);
        DBT k{};
        DBT d{};
        k.data = const_cast<char*>(key.data());
        k.size = static_cast<u_int32_t>(key.size());
        d.data = const_cast<char*>(value.data());
        d.size = static_cast<u_int32_t>(value.size());
        ASSERT_EQ(db->put(raw, nullptr, &k, &d, 0), 0);
    }

    /// The stored bytes under a key, as the file holds them.
    static std::string stored(const std::string& key)
    {
        DB* raw = nullptr;
        EXPECT_EQ(db_create(&raw, nullptr, 0), 0);
        owned_db db(raw);
        EXPECT_EQ(db->open(raw, nullptr, "dns.db", nullptr, DB_HASH, DB_RDONLY, 0644), 0);
        DBT k{};
        DBT d{};
        k.data = const_cast<char*>(key.data());
        k.size = static_cast<u_int32_t>(key.size());
        if (db->get(raw, nullptr, &k, &d, 0) != 0)
            return "(missing)";
        return std::string(static_cast<char*>(d.data), d.size);
    }

    /// Runs the lookup on a copy of the text and returns what it became.
    static std::string looked_up(const std::string& text)
    {
        char host[host_name_capacity + 1];
        copy_cut(host, text.c_str());
        dns_cache_lookup(host);
        return host;
    }
};

/// A child process holding a lock of the type on dns.db until the parent
/// closes the pipe: fcntl locks never conflict within one process.
class lock_holder {
  public:
    explicit lock_holder(short type)
    {
        int ready[2];
        EXPECT_EQ(pipe(ready), 0);
        EXPECT_EQ(pipe(release_), 0);
        pid_ = fork();
        if (pid_ == 0) {
            // Its own copy of the write end would keep the read below from
            // ever seeing the end.
            close(release_[1]);
            close(ready[0]);
            alarm(30);
            const int fd = open("dns.db", O_RDWR);
            const char ok = fd >= 0 && dns_cache_lock(fd, type) == 0 ? 'y' : 'n';
            (void)!write(ready[1], &ok, 1);
            char c;
            (void)!read(release_[0], &c, 1);
            _exit(0);
        }
        close(ready[1]);
        close(release_[0]);
        char ok = 'n';
        EXPECT_EQ(read(ready[0], &ok, 1), 1);
        EXPECT_EQ(ok, 'y');
        close(ready[0]);
    }
    ~lock_holder()
    {
        close(release_[1]);
        waitpid(pid_, nullptr, 0);
    }

  private:
    int release_[2];
    pid_t pid_;
};

}  // namespace

TEST(DnsCacheRecord, LengthsFollowTheNameAndStayWithinTheRecord)
{
    EXPECT_EQ(dns_record_length(0), 24u);
    EXPECT_EQ(dns_record_length(7), 24u);
    EXPECT_EQ(dns_record_length(8), 32u);
    EXPECT_EQ(dns_record_length(15), 32u);
    EXPECT_EQ(dns_record_length(255), 272u);

    // A longer name keeps its end, where the domain is.
    const std::string long_name = std::string(300, 'a') + ".example.com";
    dns_cache_record r;
    EXPECT_EQ(dns_record_fill(r, 5, 0, long_name.c_str(), long_name.size()), 272u);
    EXPECT_EQ(std::string(r.name), long_name.substr(long_name.size() - 255));

    // Values too short or without an end are read within their bytes.
    const std::string no_end(400, 'x');
    EXPECT_TRUE(dns_record_read(no_end.data(), no_end.size(), r));
    EXPECT_EQ(std::strlen(r.name), sizeof r.name - 1);
    EXPECT_FALSE(dns_record_read("abcde", 5, r));
    EXPECT_EQ(r.cache_time, 0x6564636261);
    EXPECT_EQ(r.name[0], '\0');
}

TEST(DnsCacheRecord, ExpiryBoundaryAndPermanentRecords)
{
    const std::int64_t now = 1'700'000'000;
    EXPECT_FALSE(dns_record_is_stale(now - 7 * 86400, now, 7));
    EXPECT_TRUE(dns_record_is_stale(now - 7 * 86400 - 1, now, 7));
    EXPECT_FALSE(dns_record_is_stale(0, now, 1));
    EXPECT_FALSE(dns_record_is_stale(now + 1000, now, 7)) << "a time ahead is not old";
    EXPECT_TRUE(dns_record_is_stale(INT64_MIN, now, 7)) << "no overflow on a hostile time";
    EXPECT_FALSE(dns_record_is_stale(INT64_MAX, -now, 7));
}

TEST_F(DnsCache, StoreLowerCasesAndLookupReplacesOnlyNumericHosts)
{
    ASSERT_EQ(dns_cache_open_write(1'700'000'000), 0);
    EXPECT_EQ(dns_cache_store("2001:DB8::A", "Host.Example.PL", 0), 0);
    EXPECT_EQ(dns_cache_store("10.0.0.1", "10.0.0.1", 1), 0);
    EXPECT_EQ(dns_cache_store("10.0.0.2", "abcdefg", 0), 0);
    dns_cache_close();

    const std::string r = stored("2001:db8::a");
    ASSERT_EQ(r.size(), 32u);
    EXPECT_EQ(r, std::string("\x00\xf1\x53\x65\0\0\0\0\0\0\0\0host.example.pl", 27) +
                     std::string(5, '\0'));
    EXPECT_EQ(stored("10.0.0.1").size(), 32u) << "8 characters";
    EXPECT_EQ(stored("10.0.0.2").size(), 24u) << "7 characters";
    EXPECT_EQ(stored("2001:DB8::A"), "(missing)");

    put_raw("example.com", std::string(12, '\0') + "named.example");
    ASSERT_EQ(dns_cache_open_read(), 0);
    EXPECT_EQ(looked_up("2001:db8::a"), "host.example.pl");
    EXPECT_EQ(looked_up("2001:DB8::A"), "2001:DB8::A") << "the logged text is the key";
    EXPECT_EQ(looked_up("10.0.0.1"), "10.0.0.1");
    EXPECT_EQ(looked_up("10.0.0.9"), "10.0.0.9");
    EXPECT_EQ(looked_up("example.com"), "example.com") << "names are never looked up";

    dns_cache_record fetched;
    EXPECT_EQ(dns_cache_fetch("10.0.0.2", fetched), dns_found);
    EXPECT_EQ(fetched.cache_time, 1'700'000'000);
    EXPECT_EQ(dns_cache_fetch("10.0.0.3", fetched), dns_missing);
    EXPECT_TRUE(dns_name_is_socket_address("\x10\x02"));
    EXPECT_FALSE(dns_name_is_socket_address("\x10\x02x"));
}

TEST_F(DnsCache, DamagedRecordsAreReadWithinTheirBytes)
{
    put_raw("10.0.0.1", "short");
    put_raw("10.0.0.2", std::string(12, '\0'));
    put_raw("10.0.0.3", std::string(12, '\0') + std::string(600, 'n'));
    ASSERT_EQ(dns_cache_open_read(), 0);
    EXPECT_EQ(looked_up("10.0.0.1"), "10.0.0.1");
    EXPECT_EQ(looked_up("10.0.0.2"), "10.0.0.2") << "an empty name keeps the address";
    EXPECT_EQ(looked_up("10.0.0.3"), std::string(255, 'n'));
}

TEST_F(DnsCache, DebugTracesEachLookup)
{
    startup_settings().debug = true;
    put_raw("10.0.0.1", std::string("\x07\0\0\0\0\0\0\0\0\0\0\0a.pl\0\0\0\0\0\0\0\0", 24));
    ASSERT_EQ(dns_cache_open_read(), 0);
    testing::internal::CaptureStderr();
    looked_up("10.0.0.1");
    looked_up("10.0.0.2");
    looked_up("a.pl");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Checking 10.0.0.1... found: a.pl (7)\nChecking 10.0.0.2... not found\n");
}

TEST_F(DnsCache, OpeningMessagesAndTheEmptyFile)
{
    startup_settings().verbosity = 2;
    write_file("dns.db", "");
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(dns_cache_open_read(), 1);
    EXPECT_EQ(utf8_of_latin2(testing::internal::GetCapturedStderr()),
              "Błąd: Nie mogę otworzyć pliku buforującego DNS dns.db\n");
    EXPECT_FALSE(exists("dns.db")) << "the empty file is removed even for reading";

    write_file("dns.db", "");
    ASSERT_EQ(dns_cache_open_write(1), 0) << "the pre-pass makes a new database in its place";
    EXPECT_EQ(dns_cache_store("10.0.0.1", "a.pl", 0), 0);
    dns_cache_close();
    ASSERT_EQ(dns_cache_open_read(), 0);
    EXPECT_EQ(utf8_of_latin2(testing::internal::GetCapturedStdout()),
              "Wykorzystuję plik buforujący DNS dns.db\n");
    EXPECT_EQ(looked_up("10.0.0.1"), "a.pl");
    dns_cache_close();

    startup_settings().verbosity = 1;
    testing::internal::CaptureStdout();
    ASSERT_EQ(dns_cache_open_read(), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

    startup_settings().dns_cache.reset();
    EXPECT_EQ(dns_cache_open_read(), 1);
    EXPECT_FALSE(dns_cache_is_open());
    EXPECT_EQ(dns_cache_store("10.0.0.1", "a.pl", 0), 1) << "no cache, no store";
}

TEST_F(DnsCache, ACreationCutShortByAKillDoesNotBlockTheNext)
{
    // The library makes a new database under "__db." and the name and then
    // renames it; a run killed in between leaves that file.
    write_file("__db.dns.db", "");
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(dns_cache_open_write(1), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    EXPECT_EQ(dns_cache_store("10.0.0.1", "a.pl", 0), 0);
    dns_cache_close();
    ASSERT_EQ(dns_cache_open_read(), 0);
    EXPECT_EQ(looked_up("10.0.0.1"), "a.pl");
    dns_cache_close();
}

TEST_F(DnsCache, LocksKeepWritersAlone)
{
    ASSERT_EQ(dns_cache_open_write(1), 0);
    dns_cache_close();
    {
        const lock_holder reader(F_RDLCK);
        ASSERT_EQ(dns_cache_open_read(), 0) << "readers share the file";
        dns_cache_close();
        testing::internal::CaptureStderr();
        EXPECT_EQ(dns_cache_open_write(1), 1);
        EXPECT_EQ(utf8_of_latin2(testing::internal::GetCapturedStderr()),
                  "Błąd: Nie mogę zablokować pliku buforującego DNS dns.db\n");
        EXPECT_FALSE(dns_cache_is_open());
    }
    {
        const lock_holder writer(F_WRLCK);
        startup_settings().verbosity = 0;
        testing::internal::CaptureStderr();
        EXPECT_EQ(dns_cache_open_read(), 1);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "silent at verbosity 0";
    }
    ASSERT_EQ(dns_cache_open_write(1), 0) << "the lock goes with its holder";
}
