#include "driver/run.hpp"

#include <clocale>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include "common/catalog.hpp"
#include "common/char_classes.hpp"
#include "common/history_row.hpp"
#include "common/messages.hpp"
#include "common/settings.hpp"
#include "common/terminal.hpp"
#include "driver/accounting.hpp"
#include "driver/command_line.hpp"
#include "driver/config_file.hpp"
#include "driver/period.hpp"
#include "driver/run_state.hpp"
#include "input/log_reader.hpp"
#include "input/reader_threads.hpp"
#include "persist/history.hpp"
#include "persist/state.hpp"
#include "report/chart_helper.hpp"
#include "report/index_page.hpp"
#include "report/month_report.hpp"
#include "resolve/dns_cache.hpp"
#include "resolve/geolocation.hpp"
#include "resolve/resolver.hpp"
#include "tables/tables.hpp"

namespace {

log_reader g_log;

bool
file_exists(const char* path)
{
    struct stat st;
    return stat(path, &st) == 0;
}

void
read_default_config()
{
    if (file_exists(config_file_name)) {
        read_config(config_file_name);
        return;
    }
    const std::string global = std::string(default_config_dir) + "/" + config_file_name;
    if (file_exists(global.c_str()))
        read_config(global.c_str());
}

const char*
log_type_word(int type)
{
    switch (type) {
    case log_ftp: return "ftp)";
    case log_squid: return "squid)";
    case log_w3c: return "w3c)";
    default: return "clf)";
    }
}

void
announce_log()
{
    progress("%s %s (", msg::using_log, g_log.is_stdin() ? "STDIN" : g_settings.log_file->c_str());
    if (g_log.kind() == log_kind::gzip)
        progress("gzip-");
    else if (g_log.kind() == log_kind::bzip2)
        progress("bzip-");
    progress("%s\n", log_type_word(g_settings.log_type));
}

void
default_host_name()
{
    settings& s = startup_settings();
    if (!s.host_name) {
        struct utsname system;
        s.host_name = uname(&system) == 0 ? system.nodename : "localhost";
    }
    if (!s.host_name->empty())
        progress("%s '%s'\n", msg::report_for_host, s.host_name->c_str());
}

bool
resolve_only(const char* program)
{
    return std::strstr(program, "parvalookup") != nullptr;
}

}  // namespace

void
print_run_summary(double elapsed_seconds)
{
    const run_counts& c = g_run;
    std::printf("%llu %s ", c.total, msg::records_word);
    if (c.ignored == 0) {
        if (c.bad != 0)
            std::printf("(%llu %s) ", c.bad, msg::bad_word);
    } else {
        std::printf("(%llu %s", c.ignored, msg::ignored_word);
        if (c.bad != 0)
            std::printf(", %llu %s) ", c.bad, msg::bad_word);
        else
            std::printf(") ");
    }
    float elapsed = static_cast<float>(elapsed_seconds);
    if (elapsed == 0.0f)
        elapsed = 1.0f;
    std::printf("%s %.0f %s", msg::in_word, static_cast<double>(elapsed), msg::seconds_word);
    const float rate = static_cast<float>(c.total) / elapsed;
    if (rate < 1.0f || rate > static_cast<float>(c.total))
        std::printf("\n");
    else
        std::printf(", %d/sec\n", static_cast<int>(rate));
}

int
run_parvalyte(int argc, char** argv)
{
    std::setlocale(LC_CTYPE, "");
    terminal_setup();
    load_char_classes();
    read_default_config();

    int operand = argc;
    if (const int status = parse_options(argc, argv, operand); status >= 0)
        return status;
    derive_settings(operand < argc ? argv[operand] : nullptr);
    settings& s = startup_settings();

    reset_run_state();
    if (progress_enabled())
        print_banner();

    if (const int status = g_log.open(s.log_file ? s.log_file->c_str() : nullptr); status != 0)
        return status;
    announce_log();

    if (s.output_dir && chdir(s.output_dir->c_str()) != 0) {
        std::fprintf(stderr, "%s %s\n", msg::cant_change_dir, s.output_dir->c_str());
        return 1;
    }

    if (resolve_only(argv[0])) {
        if (s.dns_children == 0)
            s.dns_children = 5;
        if (!s.dns_cache) {
            std::fprintf(stderr, "%s\n", msg::no_dns_cache);
            return 1;
        }
    }
    if (s.dns_children != 0 && s.dns_cache) {
        progress("%s (%d): ", msg::dns_searching, s.dns_children);
        std::fflush(stdout);
        dns_prepass(g_log);
        // Standard input cannot be read a second time.
        if (resolve_only(argv[0]) || g_log.is_stdin())
            return 0;
        if (g_log.rewind() != 0)
            return 1;
    }
    if (resolve_only(argv[0]))
        return 0;
    if (s.dns_cache && dns_cache_open_read() != 0)
        s.dns_cache.reset();
    geo_open(s);

    progress("%s %s\n", msg::writing_output_in,
             s.output_dir ? s.output_dir->c_str() : msg::current_directory);
    default_host_name();
    if (s.ignore_hist)
        progress("%s\n", msg::ignoring_history);
    else
        load_history();
    if (s.incremental) {
        if (const int e = load_state(); e != 0) {
            std::fprintf(stderr, "%s (%d)\n", msg::cant_read_state, e);
            return 1;
        }
    }
    if (s.top_countries != 0 && !allocate_top_countries(s.top_countries)) {
        warn("%s\n", msg::no_memory_top_countries);
        s.top_countries = 0;
    }

    std::fflush(stdout);
    const std::time_t start = std::time(nullptr);
    record_loop(g_log);
    g_log.close();

    if (!g_run.good_record) {
        if (warnings_enabled())
            std::printf("%s\n", msg::no_valid_records);
        if (g_history.is_set)
            index_report();
        geo_close();
        return 1;
    }

    end_of_input();
    // The reports' charts are drawn beside the pages, as the records were
    // prepared beside their counting.
    chart_helper charts(reader_threads() > 1);
    if (g_run.total > g_run.ignored + g_run.bad) {
        // A state that could not be written must not be resumed from.
        if (s.incremental && store_state() != 0) {
            warn("%s\n", msg::cant_write_state);
            unlink(s.incremental_name.c_str());
        }
        close_open_visits(g_clock.record_timestamp);
        record_month_in_history();
        month_report(charts);
        store_history();
    }
    if (g_history.is_set)
        index_report(charts);
    charts.finish();

    const std::time_t end = std::time(nullptr);
    if (g_settings.time_me || progress_enabled())
        print_run_summary(std::difftime(end, start));
    dns_cache_close();
    geo_close();
    return 0;
}
