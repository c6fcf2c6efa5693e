#include "driver/command_line.hpp"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <initializer_list>

#include <sys/utsname.h>
#include <unistd.h>

#include "common/catalog.hpp"
#include "common/records.hpp"
#include "common/settings.hpp"
#include "common/text.hpp"
#include "common/version.hpp"
#include "driver/config_file.hpp"
#include "input/search_engines.hpp"
#include "resolve/countries.hpp"

namespace {

constexpr const char* default_terrabase_dir = PARVA_TERRABASE_DIR;

// Upper ends of the settings that count or size something, so that nothing
// computed from them later can overflow.
//
// A top table never shows more rows than its table has entries, so no real
// count comes near this; the bound keeps the sum of two counts inside an int.
constexpr int max_top_rows = INT_MAX / 2;
// A host name has at most 255 characters, so at most 128 name labels:
// grouping by more levels keeps every host whole, as 128 does.
constexpr int max_group_domains = 128;
// A squid URL is cut before its (TrimSquidURL + 2)-th "/", and the request
// field cannot hold more slashes than its capacity.
constexpr int max_trim_squid_url = static_cast<int>(sizeof log_record::request);
constexpr int max_graph_lines = 20;
// The resolver pool of the DNS pre-pass has at most this many children.
constexpr int max_dns_children = 100;
// Agent levels 5 and up all keep the name alone; levels below 1 act as 1.
constexpr int max_mangle_level = 5;

// The letters followed by ":" take an argument.  The leading "+" stops at the
// first operand, so options must come before the log file name.
constexpr const char* option_letters =
    "+a:A:bc:C:dD:e:E:fF:g:GhHiI:jJ:k:K:l:Lm:M:n:N:o:O:pP:qQr:R:s:S:t:Tu:U:vVwW:x:XYz:Z";

}  // namespace

void
print_usage(const char* program)
{
    std::printf("%s: %s %s\n", msg::usage, program, msg::usage_arguments);
    for (std::size_t i = 0; i < msg::help_line_count; ++i)
        std::printf("%s\n", msg::help_lines[i]);
}

void
print_banner()
{
    struct utsname system;
    if (uname(&system) != 0) {
        std::snprintf(system.sysname, sizeof system.sysname, "%s", "unknown");
        system.release[0] = '\0';
        system.machine[0] = '\0';
    }
    std::printf("Parvalyte V%s-%s (%s %s %s) %s\n", program_version, program_edition,
                system.sysname, system.release, system.machine, "Polish");
}

void
print_version()
{
    print_banner();
    std::printf("%s\n", "Copyright 2026 The Parvalyte developers.  Free to use, change and share.");
    if (g_settings.debug) {
        std::printf("Mod date: %s  Options: ", program_mod_date);
        std::printf("DNS/Terrabase ");
        std::printf("BZip2 ");
        std::printf("GeoIP ");
        std::printf("\n");
        std::printf("Default Terrabase dir : %s\n", default_terrabase_dir);
        std::printf("Default config dir: %s\n", default_config_dir);
    }
    std::printf("\n");
}

int
parse_options(int argc, char** argv, int& operand)
{
    settings& s = startup_settings();
    opterr = 0;
    optind = 0;  // glibc: start a fresh scan (tests parse more than once)
    int c;
    while ((c = getopt(argc, argv, option_letters)) != -1) {
        const char* arg = optarg;
        switch (c) {
        case 'a': append_nlist(arg, s.hide_agent); break;
        case 'A': s.top_agents = scan_int(arg); break;
        case 'b': s.ignore_state = true; break;
        case 'c': read_config(arg); break;
        case 'C': s.top_countries = scan_int(arg); break;
        case 'd': s.debug = true; break;
        case 'D': s.dns_cache = arg; break;
        case 'e': s.top_entry = scan_int(arg); break;
        case 'E': s.top_exit = scan_int(arg); break;
        case 'f': s.fold_seq_err = true; break;
        case 'F': s.log_type = log_type_of(arg); break;
        case 'g': s.group_domains = scan_int(arg); break;
        case 'G': s.hourly_graph = false; break;
        case 'h': print_usage(argv[0]); return 1;
        case 'H': s.hourly_stats = false; break;
        case 'i': s.ignore_hist = true; break;
        case 'I': append_nlist(arg, s.index_alias); break;
        case 'j': s.terrabase = true; break;
        case 'J': s.terrabase_database = arg; break;
        case 'k': s.graph_months = scan_int(arg); break;
        case 'K': s.index_months = scan_int(arg); break;
        case 'l': s.graph_lines = scan_int(arg); break;
        case 'L': s.graph_legend = false; break;
        case 'm': s.visit_timeout = scan_int(arg); break;
        case 'M': s.mangle_agents = scan_int(arg); break;
        case 'n': s.host_name = arg; break;
        case 'N': s.dns_children = scan_int(arg); break;
        case 'o': s.output_dir = arg; break;
        case 'O': append_nlist(arg, s.omit_page); break;
        case 'p': s.incremental = true; break;
        case 'P': append_nlist(arg, s.page_type); break;
        case 'q': s.verbosity = 1; break;
        case 'Q': s.verbosity = 0; break;
        case 'r': append_nlist(arg, s.hide_referrer); break;
        case 'R': s.top_referrers = scan_int(arg); break;
        case 's': append_nlist(arg, s.hide_site); break;
        case 'S': s.top_sites = scan_int(arg); break;
        case 't': s.report_title = arg; break;
        case 'T': s.time_me = true; break;
        case 'u': append_nlist(arg, s.hide_url); break;
        case 'U': s.top_urls = scan_int(arg); break;
        case 'v':
            s.verbosity = 2;
            s.debug = true;
            break;
        case 'V': print_version(); return 1;
        case 'w': s.geoip = true; break;
        case 'W': s.geoip_database = arg; break;
        case 'x': s.html_extension = arg; break;
        case 'X': s.hide_all_sites = true; break;
        case 'Y': s.country_graph = false; break;
        case 'z':
            s.flag_dir = arg;
            s.country_flags = true;
            break;
        case 'Z': s.normalize_url = false; break;
        default: break;  // unknown letters and missing arguments are ignored
        }
    }
    operand = optind;
    return -1;
}

void
derive_settings(const char* operand)
{
    settings& s = startup_settings();
    if (operand != nullptr)
        s.log_file = operand;

    if (s.default_index)
        append_nlist("index.", s.index_alias);

    if (s.page_type.empty()) {
        if (s.log_type == log_ftp) {
            append_nlist("txt", s.page_type);
        } else {
            append_nlist("htm*", s.page_type);
            append_nlist("cgi", s.page_type);
            if (match_nlist(s.page_type, s.html_extension.c_str()) == nullptr)
                append_nlist(s.html_extension.c_str(), s.page_type);
        }
    }

    // A negative count would size the country selection below zero.
    s.top_countries = std::clamp(s.top_countries, 0, country_rows);
    for (int* rows : {&s.top_sites, &s.top_urls, &s.top_referrers, &s.top_agents, &s.top_k_sites,
                      &s.top_k_urls, &s.top_entry, &s.top_exit, &s.top_search, &s.top_users})
        *rows = std::clamp(*rows, 0, max_top_rows);
    s.graph_lines = std::clamp(s.graph_lines, 0, max_graph_lines);
    s.graph_months = std::clamp(s.graph_months, 12, 72);
    s.index_months = std::clamp(s.index_months, 12, 120);
    s.group_domains = std::clamp(s.group_domains, 0, max_group_domains);
    s.trim_squid_url = std::clamp(s.trim_squid_url, 0, max_trim_squid_url);
    s.dns_children = std::clamp(s.dns_children, 0, max_dns_children);
    // A negative pause would compare as the largest one: no visit would end.
    s.visit_timeout = std::max(s.visit_timeout, 0);
    if (s.mangle_agents < 0)
        s.mangle_agents = 1;
    s.mangle_agents = std::min(s.mangle_agents, max_mangle_level);

    if (s.log_type == log_ftp) {
        s.top_entry = 0;
        s.top_exit = 0;
        s.top_search = 0;
    } else if (s.search_engines.empty()) {
        for (const char* engine : builtin_search_engines)
            append_glist(engine, s.search_engines);
    }

    const int url_rows = std::max(s.top_urls, s.top_k_urls);
    if (s.top_entry > url_rows)
        s.top_entry = url_rows;
    if (s.top_exit > url_rows)
        s.top_exit = url_rows;

    s.cache_ttl = std::clamp(s.cache_ttl, 1, 100);
}
