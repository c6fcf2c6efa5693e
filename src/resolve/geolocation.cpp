#include "resolve/geolocation.hpp"

#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include <arpa/inet.h>

#include "common/catalog.hpp"
#include "common/messages.hpp"
#include "common/settings.hpp"
#include "input/text_helpers.hpp"
#include "tables/tables.hpp"

namespace {

constexpr const char* default_terrabase = PARVA_TERRABASE_DIR "/Terrabase.dat";
constexpr const char* default_geoip = "GeoLite2-Country.mmdb";
constexpr std::size_t terrabase_path_limit = 1024;

// Opens the file, its B-tree and one cursor, or leaves g_geo without them.
bool
open_terrabase(const std::string& path)
{
    // A longer path is refused rather than cut to the name of another file.
    if (path.size() > terrabase_path_limit)
        return false;
    DB* raw = nullptr;
    if (db_create(&raw, nullptr, 0) != 0)
        return false;
    owned_db db(raw);
    // A file that is no B-tree is reported by the run's own two lines, not
    // by the library's on standard error as well.
    db->set_errcall(db.get(), nullptr);
    db->set_errfile(db.get(), nullptr);
    if (db->open(db.get(), nullptr, path.c_str(), nullptr, DB_BTREE, DB_RDONLY, 0) != 0)
        return false;
    DBC* cursor = nullptr;
    if (db->cursor(db.get(), nullptr, &cursor, 0) != 0)
        return false;
    g_geo.terrabase = std::move(db);
    g_geo.cursor = cursor;
    return true;
}

// The 16-byte key of an address text: IPv6 as it is, IPv4 in the last four
// bytes.  IPv4-compatible, IPv4-mapped and 6to4 addresses all become the
// IPv4-compatible form, the one the file stores IPv4 ranges in.
bool
address_key(const char* text, unsigned char (&key)[16])
{
    std::memset(key, 0, sizeof key);
    if (inet_pton(AF_INET6, text, key) != 1 && inet_pton(AF_INET, text, key + 12) != 1)
        return false;
    if (key[0] == 0 && key[1] == 0 && key[2] == 0) {
        key[10] = 0;
        key[11] = 0;
    } else if (key[0] == 0x20 && key[1] == 0x02) {
        std::memmove(key + 12, key + 2, 4);
        std::memset(key, 0, 12);
    }
    return true;
}

std::int64_t
numeric_host_value(const char* host, const settings& s)
{
    std::int64_t value = 0;
    if (g_geo.cursor != nullptr) {
        const char* code = terrabase_lookup(host);
        if (code[0] == '-') {
            if (s.debug)
                std::fprintf(stderr, "Terrabase: %s unknown!\n", host);
        } else {
            value = encode_country(code);
        }
    }
    if (g_geo.geoip.is_open()) {
        const char* code = geoip_lookup(host);
        if (code[0] != '\0')
            value = encode_country(code);
    }
    return value;
}

}  // namespace

void
geo_open(settings& s)
{
    if (s.terrabase) {
        const std::string path = s.terrabase_database.value_or(default_terrabase);
        if (!open_terrabase(path)) {
            if (warnings_enabled()) {
                std::printf("%s: %s\n", msg::error_opening_file,
                            s.terrabase_database ? s.terrabase_database->c_str() : "default");
                std::printf("Terrabase %s\n", msg::lookups_disabled);
            }
            s.terrabase = false;
        } else {
            progress("%s %s\n", msg::using_word, terrabase_version());
        }
        s.geoip = false;
        return;
    }
    if (s.geoip) {
        const std::string path = s.geoip_database.value_or(default_geoip);
        if (g_geo.geoip.open(path.c_str()) != MMDB_SUCCESS) {
            if (warnings_enabled())
                std::printf("GeoIP %s\n", msg::lookups_disabled);
            s.geoip = false;
        }
    }
}

void
geo_close()
{
    // Closing the database closes its cursor too.
    g_geo.cursor = nullptr;
    g_geo.terrabase.reset();
    g_geo.geoip.close();
}

const char*
terrabase_lookup(const char* address)
{
    static char code[3];
    std::memcpy(code, "--", 3);
    unsigned char key_bytes[16];
    if (g_geo.cursor == nullptr || !address_key(address, key_bytes))
        return code;
    DBT key{};
    key.data = key_bytes;
    key.size = sizeof key_bytes;
    DBT data{};
    // A record shorter than a code is a damaged file: the address stays unknown.
    if (g_geo.cursor->get(g_geo.cursor, &key, &data, DB_SET_RANGE) == 0 && data.size >= 2) {
        const auto* bytes = static_cast<const char*>(data.data);
        code[0] = bytes[0];
        code[1] = bytes[1];
    }
    return code;
}

const char*
terrabase_version()
{
    static char text[256];
    std::strcpy(text, "Unknown");
    if (!g_geo.terrabase)
        return text;
    unsigned char zero[16] = {};
    DBT key{};
    key.data = zero;
    key.size = sizeof zero;
    DBT data{};
    DB* db = g_geo.terrabase.get();
    if (db->get(db, nullptr, &key, &data, 0) != 0 || data.size < 3)
        return text;
    std::size_t n = data.size - 3;
    if (n >= sizeof text)
        n = sizeof text - 1;
    std::memcpy(text, static_cast<const char*>(data.data) + 3, n);
    text[n] = '\0';
    return text;
}

const char*
geoip_lookup(const char* address)
{
    static char code[3];
    code[0] = '\0';
    if (!g_geo.geoip.is_open())
        return code;
    int resolver_error = 0;
    int db_error = MMDB_SUCCESS;
    MMDB_lookup_result_s result =
        MMDB_lookup_string(g_geo.geoip.get(), address, &resolver_error, &db_error);
    if (resolver_error != 0 || db_error != MMDB_SUCCESS || !result.found_entry) {
        if (g_settings.debug)
            std::fprintf(stderr, "GeoIP: %s unknown (returns '%s')\n", address,
                         MMDB_strerror(db_error));
        return code;
    }
    MMDB_entry_data_s data{};
    // A damaged database may hold anything at the path: only a text of at
    // least two bytes is a code.
    if (MMDB_get_value(&result.entry, &data, "country", "iso_code", nullptr) != MMDB_SUCCESS ||
        !data.has_data || data.type != MMDB_DATA_TYPE_UTF8_STRING || data.data_size < 2)
        return code;
    for (int i = 0; i < 2; ++i) {
        const char c = data.utf8_string[i];
        code[i] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    code[2] = '\0';
    return code;
}

void
attribute_countries()
{
    const settings& s = g_settings;
    // Bucket by bucket, as the byte sums are floating point and their order
    // shows in the last digits.
    for_each_node(site_table, [&](const hnode* host) {
        if (host->kind == kind_group)
            return;
        country_row& row = ip_address_kind(name_of(host)) < 1
                               ? country_by_name(name_of(host))
                               : country_by_value(numeric_host_value(name_of(host), s));
        row.hits += host->hits;
        row.files += host->files;
        row.bytes += host->bytes;
    });
}

int
select_top_countries()
{
    const int top = g_top_countries.slots ? g_top_countries.count : 0;
    country_row** slots = g_top_countries.slots.get();
    int with_hits = 0;
    for (country_row* row = ctry_table; row->description != nullptr; ++row) {
        if (row->hits != 0)
            ++with_hits;
        for (int i = 0; i < top; ++i) {
            if (slots[i] == nullptr) {
                slots[i] = row;
                break;
            }
            if (slots[i]->hits < row->hits) {
                for (int j = top - 1; j > i; --j)
                    slots[j] = slots[j - 1];
                slots[i] = row;
                break;
            }
        }
    }
    return with_hits;
}

bool
allocate_top_countries(int count)
{
    g_top_countries.slots.reset(new (std::nothrow) country_row* [count] {});
    g_top_countries.count = g_top_countries.slots ? count : 0;
    return g_top_countries.slots != nullptr;
}

void
clear_top_countries()
{
    for (int i = 0; i < g_top_countries.count; ++i)
        if (g_top_countries.slots)
            g_top_countries.slots[i] = nullptr;
}
