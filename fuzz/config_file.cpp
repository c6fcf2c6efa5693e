// A configuration file through read_config and the settings derived from
// it, then a short log of two months through the record loop under those
// settings, so that whatever a file can set is also used: lists, groups,
// numbers, colours and the month close with its pages.
#include "driver/config_file.hpp"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/settings.hpp"
#include "driver/accounting.hpp"
#include "driver/command_line.hpp"
#include "driver/run_state.hpp"
#include "fresh_run.hpp"
#include "fuzz_scratch.hpp"
#include "input/log_reader.hpp"
#include "resolve/geolocation.hpp"

namespace {

char one_thread[] = "PARVA_THREADS=1";

// Lines of every format the LogType may choose, so that each parser meets
// the settings; the lines of the other formats are bad records to it.
constexpr const char sample_log[] =
    "10.0.0.1 - alice [30/Jan/2024:23:59:58 +0100] \"GET /a/index.html?q=1 HTTP/1.1\" 200 512 "
    "\"http://www.google.com/search?q=fuzz+me\" \"Mozilla/5.0 (compatible; MSIE 9.0; Windows)\"\n"
    "host.example.pl - - [01/Feb/2024:00:00:01 +0100] \"POST /cgi-bin/x.cgi HTTP/1.0\" 404 - "
    "\"-\" \"Opera/9.80 (X11; Linux x86_64)\"\n"
    "1706659200.123    120 10.0.0.2 TCP_MISS/200 1234 GET http://example.com/p - "
    "HIER_DIRECT/192.0.2.1 text/html\n"
    "Wed Jan 31 10:00:00 2024 1 10.0.0.3 2048 /pub/file.tar.gz b _ o r anonymous ftp 0 * c\n"
    "#Fields: date time c-ip cs-method cs-uri-stem cs-uri-query sc-status sc-bytes "
    "cs(User-Agent) cs(Referer) cs-username\n"
    "2024-02-01 10:00:00 10.0.0.4 GET /w.htm a=b 200 99 Mozilla/4.0 http://bing.com/?q=x -\n";

// The settings a file may point outside the scratch directory: a fuzzed
// file must not make the target write anywhere else.
void
keep_writes_here(settings& s)
{
    s.output_dir.reset();
    s.log_file.reset();
    s.dump_path.reset();
    s.dns_cache.reset();
    s.terrabase = false;
    s.geoip = false;
    s.incremental = false;
    const settings defaults;
    s.history_name = defaults.history_name;
    s.incremental_name = defaults.incremental_name;
    if (s.html_extension.find('/') != std::string::npos)
        s.html_extension = defaults.html_extension;
    if (s.dump_extension.find('/') != std::string::npos)
        s.dump_extension = defaults.dump_extension;
}

}  // namespace

extern "C" int
LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzz::begin(argc, argv);
    putenv(one_thread);
    if (!fuzz::write_file("sample.log", reinterpret_cast<const std::uint8_t*>(sample_log),
                          sizeof sample_log - 1))
        std::abort();
    return 0;
}

extern "C" int
LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const fuzz::fresh_run run;
    settings& s = startup_settings();
    s.verbosity = 0;
    if (!fuzz::write_file("fuzz.conf", data, size))
        std::abort();
    read_config("fuzz.conf");
    derive_settings(nullptr);
    keep_writes_here(s);
    s.verbosity = 0;
    if (s.top_countries != 0 && !allocate_top_countries(s.top_countries))
        s.top_countries = 0;
    {
        log_reader log;
        if (log.open("sample.log") != 0)
            std::abort();
        record_loop(log);
    }
    return 0;
}
