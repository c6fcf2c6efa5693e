#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "common/settings.hpp"
#include "driver/period.hpp"
#include "resolve/countries.hpp"
#include "resolve/geolocation.hpp"
#include "tables/tables.hpp"
#include "test_support.hpp"

namespace {

std::string
realdata()
{
    const char* env = std::getenv("PARVA_REALDATA");
    return env != nullptr ? env : PARVA_REALDATA;
}

class Geo : public scratch_test {
  protected:
    void SetUp() override
    {
        scratch_test::SetUp();
        startup_settings().verbosity = 1;
    }
    void TearDown() override
    {
        geo_close();
        scratch_test::TearDown();
    }

    /// A Terrabase file built from a range list by the writer tool.
    static void terrabase(const std::string& ranges, const char* version = "test-7")
    {
        write_file("ranges.txt", ranges);
        const std::string cmd =
            std::string(PARVA_TERRABASE) + " -v " + version + " ranges.txt tb.dat > /dev/null";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
    }

    /// Opens the sources and returns what went to standard output.
    static std::string open_sources()
    {
        testing::internal::CaptureStdout();
        geo_open(startup_settings());
        return testing::internal::GetCapturedStdout();
    }

    /// Puts raw records into a B-tree, as a damaged or foreign file may hold them.
    static void raw_btree(const std::vector<std::pair<std::string, std::string>>& records)
    {
        DB* raw = nullptr;
        ASSERT_EQ(db_create(&raw, nullptr, 0), 0);
        owned_db db(raw);
        ASSERT_EQ(db->open(raw, nullptr, "tb.dat", nullptr, DB_BTREE, DB_CREATE, 0644), 0);
        for (const auto& [key, value] : records) {
            DBT k{};
            DBT d{};
            k.data = const_cast<char*>(key.data());
            k.size = static_cast<u_int32_t>(key.size());
            d.data = const_cast<char*>(value.data());
            d.size = static_cast<u_int32_t>(value.size());
            ASSERT_EQ(db->put(raw, nullptr, &k, &d, 0), 0);
        }
    }

    static void host(const char* name, u64 hits, u64 files, double bytes, int kind = kind_regular)
    {
        std::string text = name;
        u64 unique = 0;
        ASSERT_EQ(
            add_host(text.data(), kind, hits, files, unique, 0, bytes, 0, nullptr, site_table), 0);
    }
};

const char* const ranges = "10.0.0.0,10.0.0.255,PL\n"
                           "10.0.2.0,10.0.2.255,de\n"
                           "192.168.0.0,192.168.255.255,us\n"
                           "2001:db8::,2001:db8::ffff,jp\n";

TEST_F(Geo, TerrabaseFindsAnAddressInTheRangeStoredUnderItsLastAddress)
{
    terrabase(ranges);
    startup_settings().terrabase = true;
    startup_settings().terrabase_database = "tb.dat";
    startup_settings().verbosity = 2;
    EXPECT_EQ(open_sources(), "Using test-7\n");
    const std::map<std::string, std::string> expected = {
        {"10.0.0.0", "pl"},
        {"10.0.0.255", "pl"},
        {"10.0.1.7", "--"},
        {"9.255.255.255", "--"},
        {"10.0.2.7", "de"},
        {"::10.0.2.7", "de"},
        {"::ffff:10.0.2.7", "de"},
        {"2002:a00:207::", "de"},
        {"2002:a00:207:1::9", "de"},
        {"192.168.3.4", "us"},
        {"2001:db8::1", "jp"},
        {"2001:DB8::FFFF", "jp"},
        {"2001:db8::1:0", "--"},
        {"ffff::1", "--"},
        {"www.example.pl", "--"},
        {"", "--"},
        {"10.0.0", "--"},
        {"10.0.0.1.", "--"},
    };
    for (const auto& [address, code] : expected)
        EXPECT_STREQ(terrabase_lookup(address.c_str()), code.c_str()) << address;
}

TEST_F(Geo, OpenFailuresSwitchTheSourceOffAndTerrabaseAlwaysExcludesGeoip)
{
    settings& s = startup_settings();
    s.terrabase = true;
    s.geoip = true;
    s.terrabase_database = "missing.dat";
    EXPECT_EQ(open_sources(), "Error opening file: missing.dat\nTerrabase lookups disabled\n");
    EXPECT_FALSE(s.terrabase || s.geoip) << "GeoIP stays off when Terrabase fails";

    s.terrabase = true;
    s.terrabase_database.reset();
    EXPECT_EQ(open_sources(), "Error opening file: default\nTerrabase lookups disabled\n");

    write_file("text.dat", "not a database\n");
    DB* raw = nullptr;
    ASSERT_EQ(db_create(&raw, nullptr, 0), 0);
    {
        owned_db hash(raw);
        ASSERT_EQ(hash->open(raw, nullptr, "hash.dat", nullptr, DB_HASH, DB_CREATE, 0644), 0);
    }
    const std::string too_long(1100, 'a');
    for (const char* path : {"text.dat", "hash.dat", ".", too_long.c_str()}) {
        s.terrabase = true;
        s.terrabase_database = path;
        testing::internal::CaptureStderr();
        EXPECT_NE(open_sources().find("Terrabase lookups disabled\n"), std::string::npos) << path;
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "the library adds nothing";
        EXPECT_FALSE(s.terrabase);
        EXPECT_STREQ(terrabase_lookup("10.0.0.1"), "--");
    }

    s.terrabase = true;
    s.terrabase_database = "missing.dat";
    s.verbosity = 0;
    EXPECT_EQ(open_sources(), "") << "ReallyQuiet says nothing";

    s.verbosity = 1;
    s.geoip = true;
    s.geoip_database = "missing.mmdb";
    EXPECT_EQ(open_sources(), "GeoIP lookups disabled\n");
    EXPECT_FALSE(s.geoip);
    s.geoip = true;
    s.geoip_database = "text.dat";
    EXPECT_EQ(open_sources(), "GeoIP lookups disabled\n");
    EXPECT_STREQ(geoip_lookup("81.2.69.160"), "");
}

TEST_F(Geo, DamagedTerrabaseRecordsAreUnknownAndAMissingVersionIsUnknown)
{
    const std::string zero(16, '\0');
    std::string low = zero;
    low[15] = 9;  // ::0.0.0.9
    std::string high = zero;
    high[14] = 1;  // ::0.0.1.0
    raw_btree({{low, "p"}, {high, std::string("a")}});
    startup_settings().terrabase = true;
    startup_settings().terrabase_database = "tb.dat";
    startup_settings().verbosity = 2;
    EXPECT_EQ(open_sources(), "Using Unknown\n");
    EXPECT_STREQ(terrabase_lookup("0.0.0.5"), "--");
    EXPECT_STREQ(terrabase_lookup("0.0.0.200"), "--");
    geo_close();

    std::remove("tb.dat");
    raw_btree({{zero, "--"}, {low, "fr\0"}});
    geo_open(startup_settings());
    EXPECT_STREQ(terrabase_version(), "Unknown") << "a version record shorter than three bytes";
    EXPECT_STREQ(terrabase_lookup("0.0.0.1"), "fr");
}

TEST_F(Geo, GeoipAnswersAsTheDatabasesOwnLookupListSays)
{
    const std::string dir = realdata() + "/mmdb";
    std::ifstream list(dir + "/LOOKUPS.tsv");
    if (!list)
        GTEST_SKIP() << "no " << dir;
    std::map<std::string, std::string> paths;
    for (const char* sub : {"/maxmind-test-data/", "/npm-ip-location-db-geo-whois-asn-country-mmdb-"
                                                   "2.3.2026061719/"})
        for (const char* name :
             {"GeoIP2-City-Test-Broken-Double-Format.mmdb",
              "GeoIP2-City-Test-Invalid-Node-Count.mmdb", "GeoIP2-City-Test.mmdb",
              "GeoIP2-Country-Shield-Test.mmdb", "GeoIP2-Country-Test.mmdb",
              "GeoLite2-City-Test.mmdb", "GeoLite2-Country-Test.mmdb",
              "MaxMind-DB-no-ipv4-search-tree.mmdb", "MaxMind-DB-test-broken-search-tree-24.mmdb",
              "MaxMind-DB-test-ipv4-24.mmdb", "MaxMind-DB-test-mixed-24.mmdb",
              "geo-whois-asn-country.mmdb"}) {
            struct stat st;
            const std::string path = dir + sub + name;
            if (stat(path.c_str(), &st) == 0)
                paths[name] = path;
        }
    ASSERT_GE(paths.size(), 12u);
    std::string line;
    std::getline(list, line);
    int checked = 0;
    settings& s = startup_settings();
    std::string open_db;
    while (std::getline(list, line)) {
        std::istringstream fields(line);
        std::string db, address, answer;
        std::getline(fields, db, '\t');
        std::getline(fields, address, '\t');
        std::getline(fields, answer);
        if (paths.count(db) == 0)
            continue;
        if (db != open_db) {
            geo_close();
            s.geoip = true;
            s.geoip_database = paths[db];
            const std::string said = open_sources();
            EXPECT_EQ(said, answer == "open-error" ? "GeoIP lookups disabled\n" : "") << db;
            open_db = db;
        }
        std::string want = answer;
        if (answer == "not-found" || answer == "no-path" || answer == "open-error" ||
            answer.rfind("ERR:", 0) == 0)
            want = "";
        for (char& c : want)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        EXPECT_EQ(geoip_lookup(address.c_str()), want) << db << ' ' << address;
        ++checked;
    }
    EXPECT_GE(checked, 200);
}

TEST_F(Geo, ATruncatedTerrabaseFileIsRefusedOrAnswersWithinItsCodes)
{
    std::string list;
    for (int i = 0; i < 3000; ++i)
        list += "10." + std::to_string(i / 250) + "." + std::to_string(i % 250) + ".0,10." +
                std::to_string(i / 250) + "." + std::to_string(i % 250) + ".127," +
                (i % 2 ? "pl\n" : "de\n");
    terrabase(list);
    const std::string whole = content_of("tb.dat");
    ASSERT_GT(whole.size(), 16384u);
    settings& s = startup_settings();
    for (std::size_t keep : {std::size_t{0}, std::size_t{512}, std::size_t{4096}, whole.size() / 2,
                             whole.size() - 4096}) {
        write_file("cut.dat", whole.substr(0, keep));
        s.terrabase = true;
        s.terrabase_database = "cut.dat";
        open_sources();
        for (const char* address : {"10.0.0.1", "10.5.100.1", "10.11.249.200", "10.0.0.200"}) {
            const std::string code = terrabase_lookup(address);
            EXPECT_TRUE(code == "pl" || code == "de" || code == "--") << keep << ' ' << code;
        }
        geo_close();
    }
}

TEST_F(Geo, ATruncatedGeoipDatabaseIsRefusedOrAnswersNothing)
{
    const std::string mmdb = realdata() + "/mmdb/maxmind-test-data/GeoIP2-Country-Test.mmdb";
    const std::string whole = content_of(mmdb);
    if (whole.empty())
        GTEST_SKIP() << "no " << mmdb;
    settings& s = startup_settings();
    for (std::size_t keep :
         {std::size_t{0}, std::size_t{100}, whole.size() / 2, whole.size() - 1}) {
        write_file("cut.mmdb", whole.substr(0, keep));
        s.geoip = true;
        s.geoip_database = "cut.mmdb";
        const std::string said = open_sources();
        EXPECT_EQ(said, s.geoip ? "" : "GeoIP lookups disabled\n") << keep;
        for (const char* address : {"81.2.69.160", "2001:218::1", "8.8.8.8"})
            EXPECT_EQ(std::strlen(geoip_lookup(address)) % 2, 0u) << keep;
        geo_close();
    }
    // The metadata sits at the end: only the whole file opens.
    EXPECT_FALSE(s.geoip);
}

TEST_F(Geo, DebugNamesTheAddressesNoSourceKnows)
{
    terrabase(ranges);
    settings& s = startup_settings();
    s.debug = true;
    s.terrabase = true;
    s.terrabase_database = "tb.dat";
    open_sources();
    host("10.0.1.7", 1, 1, 1);
    testing::internal::CaptureStderr();
    attribute_countries();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Terrabase: 10.0.1.7 unknown!\n");
    geo_close();

    const std::string mmdb = realdata() + "/mmdb/maxmind-test-data/GeoIP2-Country-Test.mmdb";
    struct stat st;
    if (stat(mmdb.c_str(), &st) != 0)
        GTEST_SKIP() << "no " << mmdb;
    s.terrabase = false;
    s.geoip = true;
    s.geoip_database = mmdb;
    open_sources();
    testing::internal::CaptureStderr();
    geoip_lookup("8.8.8.8");
    geoip_lookup("214.1.1.1");  // an entry without a country code says nothing
    geoip_lookup("not-an-address");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              std::string("GeoIP: 8.8.8.8 unknown (returns '") + MMDB_strerror(MMDB_SUCCESS) +
                  "')\n" + "GeoIP: not-an-address unknown (returns '" +
                  MMDB_strerror(MMDB_SUCCESS) + "')\n");
}

// The counters of the rows a month's hosts give, as (code, hits, files, bytes).
std::map<std::string, std::vector<double>>
attributed()
{
    std::map<std::string, std::vector<double>> rows;
    for (int i = 0; i < country_rows; ++i) {
        const country_row& r = ctry_table[i];
        if (r.hits != 0 || r.files != 0 || r.bytes != 0)
            rows[country_code[i]] = {double(r.hits), double(r.files), r.bytes};
    }
    return rows;
}

TEST_F(Geo, HostsAreAttributedByTheirDomainOrByTheOpenSource)
{
    const std::string mmdb = realdata() + "/mmdb/maxmind-test-data/GeoIP2-Country-Test.mmdb";
    terrabase(ranges);
    host("www.example.com", 1, 1, 10);
    host("mail.example.com", 2, 0, 20);
    host("a.b.pl", 4, 4, 40);
    host("printer.lan", 8, 8, 80);
    host("x.unknownsuffix", 16, 0, 1);
    host("localhost", 32, 0, 2);
    host("example.pl", 1000, 1000, 1000, kind_group);  // groups are not hosts
    host("hidden.de", 64, 64, 4, kind_hidden);
    host("10.0.0.9", 128, 1, 8);
    host("2001:db8::9", 256, 2, 16);
    host("81.2.69.160", 512, 3, 32);
    host("2001:218::1", 1024, 4, 64);
    host("10.0.0", 2048, 5, 128);  // no address and no domain: unknown either way

    attribute_countries();  // no source: numeric hosts are unknown
    using row = std::vector<double>;
    EXPECT_EQ(attributed(), (std::map<std::string, row>{
                                {"", {2048 + 1024 + 512 + 256 + 128 + 48, 5 + 4 + 3 + 2 + 1, 251}},
                                {"com", {3, 1, 30}},
                                {"de", {64, 64, 4}},
                                {"lan", {8, 8, 80}},
                                {"pl", {4, 4, 40}}}));

    clear_country_counters();
    settings& s = startup_settings();
    s.terrabase = true;
    s.geoip = true;
    s.terrabase_database = "tb.dat";
    open_sources();
    attribute_countries();
    std::map<std::string, row> by_terrabase = attributed();
    EXPECT_EQ(by_terrabase["pl"], (row{132, 5, 48}));
    EXPECT_EQ(by_terrabase["jp"], (row{256, 2, 16}));
    EXPECT_EQ(by_terrabase[""], (row{2048 + 1024 + 512 + 48, 5 + 4 + 3, 227}))
        << "GeoIP is never asked beside Terrabase";
    EXPECT_EQ(by_terrabase.count("gb"), 0u);

    struct stat st;
    if (stat(mmdb.c_str(), &st) != 0)
        GTEST_SKIP() << "no " << mmdb;
    geo_close();
    clear_country_counters();
    s.terrabase = false;
    s.geoip = true;
    s.geoip_database = mmdb;
    open_sources();
    attribute_countries();
    std::map<std::string, row> by_geoip = attributed();
    EXPECT_EQ(by_geoip["gb"], (row{512, 3, 32})) << "GB in capitals counts under gb";
    EXPECT_EQ(by_geoip["jp"], (row{1024, 4, 64}));
    EXPECT_EQ(by_geoip["pl"], (row{4, 4, 40}));
    EXPECT_EQ(by_geoip[""], (row{2048 + 256 + 128 + 48, 5 + 2 + 1, 155}));
}

TEST_F(Geo, TheSelectionIsByHitsWithTiesInTableOrderAndFillsEverySlot)
{
    ASSERT_TRUE(allocate_top_countries(5));
    country_by_name("a.pl").hits = 7;
    country_by_name("a.de").hits = 7;
    country_by_name("a.com").hits = 7;
    country_by_name("a.zw").hits = 9;
    EXPECT_EQ(select_top_countries(), 4);
    country_row* const* slots = g_top_countries.slots.get();
    EXPECT_EQ(slots[0], &country_by_name("a.zw"));
    EXPECT_EQ(slots[1], &country_by_name("a.com")) << "generic domains come first";
    EXPECT_EQ(slots[2], &country_by_name("a.de"));
    EXPECT_EQ(slots[3], &country_by_name("a.pl"));
    EXPECT_EQ(slots[4], &ctry_table[0]) << "the first row without hits";

    start_new_month();
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(slots[i], nullptr);
    ctry_table[0].hits = 1;
    country_by_name("a.lan").hits = 2;
    EXPECT_EQ(select_top_countries(), 2);
    EXPECT_EQ(slots[0], &country_by_name("a.lan"));
    EXPECT_EQ(slots[1], &ctry_table[0]);
    EXPECT_EQ(slots[2], &ctry_table[1]);
}

}  // namespace
