// parvakeep: maintains the DNS cache file that parvalyte fills and reads.
#include <clocale>
#include <cstdio>
#include <utility>

#include <db.h>
#include <sys/utsname.h>
#include <unistd.h>

#include "cachemgr/parvakeep.hpp"
#include "common/text.hpp"

namespace {

constexpr int max_ttl_days = 99;
constexpr int default_ttl_days = 7;

void
print_usage()
{
    std::printf("Usage: parvakeep [options] cache-file\n\n"
                "Options:\n"
                " -h         This help display\n"
                " -V         Version information\n"
                " -v         be verbose\n"
                " -a addr    Add DNS record\n"
                " -c         Create new cache file\n"
                " -d addr    Delete DNS record\n"
                " -f addr    Find DNS record\n"
                " -i name    Import cache from file\n"
                " -l         List cache file contents\n"
                " -n name    hostname (used for add)\n"
                " -p num     Purge after num days\n"
                " -s         Display cache file stats/info\n"
                " -t num     TTL value (for add and stats)\n"
                " -x name    Export cache to tab file\n"
                "\n"
                "If no options are specified, the default\n"
                "action is to list the cache file contents.\n\n");
}

void
print_version(bool verbose)
{
    std::printf("%s V%s-%s\n%s\n", "PARVAKEEP - Parvalyte (DNS) Cache file Manager", "1.00", "04",
                "Copyright 2026 The Parvalyte developers.  Free to use, change and share.");
    if (verbose) {
        struct utsname system;
        if (uname(&system) != 0) {
            std::snprintf(system.sysname, sizeof system.sysname, "%s", "unknown");
            system.release[0] = '\0';
            system.machine[0] = '\0';
        }
        std::printf("System  : %s %s (%s)\n", system.sysname, system.release, system.machine);
        int major = 0;
        int minor = 0;
        int patch = 0;
        db_version(&major, &minor, &patch);
        std::printf("DB Ver. : V%d.%d.%d\n", major, minor, patch);
        std::printf("Mod Date: %s\n", "26-Aug-2013");
    }
    std::printf("\n");
}

}  // namespace

int
main(int argc, char** argv)
{
    std::setlocale(LC_CTYPE, "");
    keep_options o;
    opterr = 0;
    int c;
    while ((c = getopt(argc, argv, "a:cd:f:hi:ln:p::st:vVx:")) != -1) {
        switch (c) {
        case 'a':
            o.command = 'a';
            o.address = optarg;
            break;
        case 'c':
            o.create = true;
            if (o.command != 'i')
                o.command = 'c';
            break;
        case 'd':
            o.command = 'd';
            o.address = optarg;
            break;
        case 'f':
            o.command = 'f';
            o.address = optarg;
            break;
        case 'h': print_usage(); return 0;
        case 'i':
            o.command = 'i';
            o.text_file = optarg;
            break;
        case 'l': o.command = 'l'; break;
        case 'n': o.host_name = optarg; break;
        case 'p':
            o.command = 'p';
            if (optarg != nullptr)
                o.ttl_days = scan_int(optarg);
            break;
        case 's': o.command = 's'; break;
        case 't': o.ttl_days = scan_int(optarg); break;
        case 'v': o.verbose = true; break;
        case 'V': print_version(o.verbose); return 0;
        case 'x':
            o.command = 'x';
            o.text_file = optarg;
            break;
        default: break;  // an unknown option or a missing argument changes nothing
        }
    }
    if (optind >= argc) {
        print_usage();
        return 0;
    }
    o.cache_file = argv[optind];

    DB* raw = nullptr;
    if (db_create(&raw, nullptr, 0) != 0) {
        std::fprintf(stderr, "Error: unable to create db handle!\n");
        return 1;
    }
    owned_db db(raw);
    dns_cache_silence(raw);

    if (o.ttl_days > max_ttl_days)
        o.ttl_days = max_ttl_days;
    else if (o.ttl_days < 0)
        o.ttl_days = default_ttl_days;

    switch (o.command) {
    case 'a': return keep_add(o, std::move(db));
    case 'c': return keep_create(o, std::move(db));
    case 'd': return keep_delete(o, std::move(db));
    case 'f': return keep_find(o, std::move(db));
    case 'i': return keep_import(o, std::move(db));
    case 'p': return keep_purge(o, std::move(db));
    case 's': return keep_stats(o, std::move(db));
    case 'x': return keep_export(o, std::move(db));
    default: return keep_list(o, std::move(db));
    }
}
