// A parvakeep import file through keep_import into a new cache, and into the
// same cache again over the records it made; a cache that took the file is
// exported, and the export must import into a new cache and export again to
// the same records.  The cache files live in the process's scratch directory.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <db.h>
#include <unistd.h>

#include "cachemgr/parvakeep.hpp"
#include "fuzz_scratch.hpp"

namespace {

owned_db
new_handle()
{
    DB* raw = nullptr;
    if (db_create(&raw, nullptr, 0) != 0)
        std::abort();
    dns_cache_silence(raw);
    return owned_db(raw);
}

int
run_import(const char* text, const char* cache, bool create)
{
    keep_options o;
    o.command = 'i';
    o.text_file = text;
    o.create = create;
    o.cache_file = cache;
    return keep_import(o, new_handle());
}

int
run_export(const char* cache, const char* text)
{
    keep_options o;
    o.command = 'x';
    o.text_file = text;
    o.cache_file = cache;
    return keep_export(o, new_handle());
}

// The lines of an export, in order, since the walk's order is the hash's.
std::vector<std::string>
sorted_lines(const char* name)
{
    std::ifstream in(name, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    std::sort(lines.begin(), lines.end());
    return lines;
}

}  // namespace

PARVA_FUZZ_INITIALIZE_SCRATCH

extern "C" int
LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::empty_scratch();
    if (!fuzz::write_file("import.txt", data, size))
        std::abort();
    if (run_import("import.txt", "cache.db", true) == 0 &&
        run_import("import.txt", "cache.db", false) == 0 &&
        run_export("cache.db", "export.txt") == 0) {
        if (run_import("export.txt", "again.db", true) != 0 ||
            run_export("again.db", "again.txt") != 0 ||
            sorted_lines("export.txt") != sorted_lines("again.txt"))
            std::abort();  // an export that does not import back
    }
    return 0;
}
