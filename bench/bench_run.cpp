// Times the record loop and prints records per second for three kinds of log:
//  - ordinary: a million generated lines of traffic in visits, two months
//    (or the count given as the first argument);
//  - distinct: a month of a million lines whose every name is new;
//  - collisions: 100,000 user agents chosen to share one table bucket,
//    beside 100,000 random ones of the same shape.
// With a directory as the second argument the logs are kept there, so that
// other builds can be timed on the same bytes; a third argument names the
// one kind to run.
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include <sys/resource.h>
#include <unistd.h>

#include "common/settings.hpp"
#include "driver/accounting.hpp"
#include "driver/command_line.hpp"
#include "driver/run_state.hpp"
#include "input/log_reader.hpp"
#include "tables/tables.hpp"
#include "traffic_generator.hpp"

namespace {

std::string keep_dir;

struct log_file {
    std::string path;
    std::FILE* out;
};

log_file
new_log(const char* name)
{
    log_file f;
    if (!keep_dir.empty()) {
        f.path = keep_dir + "/" + name;
        f.out = std::fopen(f.path.c_str(), "w");
    } else {
        char path[] = "/tmp/parva-bench-XXXXXX";
        const int fd = mkstemp(path);
        f.path = path;
        f.out = fd >= 0 ? fdopen(fd, "w") : nullptr;
    }
    if (f.out == nullptr) {
        std::perror(f.path.c_str());
        std::exit(1);
    }
    return f;
}

void
done_with(const log_file& f)
{
    if (keep_dir.empty())
        unlink(f.path.c_str());
}

// One pass of the record loop over the log from a fresh run; seconds taken.
double
time_loop(const std::string& path)
{
    reset_run_state();
    log_reader log;
    if (log.open(path.c_str()) != 0)
        std::exit(1);
    const auto start = std::chrono::steady_clock::now();
    record_loop(log);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    return took.count();
}

// The bytes of this process in memory now.
std::size_t
resident_bytes()
{
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    unsigned long long pages = 0;
    unsigned long long resident = 0;
    if (statm != nullptr) {
        if (std::fscanf(statm, "%llu %llu", &pages, &resident) != 2)
            resident = 0;
        std::fclose(statm);
    }
    return static_cast<std::size_t>(resident) * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

double
best_rate(const char* what, const std::string& path, int rounds)
{
    double best = 0;
    for (int round = 0; round < rounds; ++round) {
        const double seconds = time_loop(path);
        const double rate = static_cast<double>(g_run.total) / seconds;
        std::printf("%s, round %d: %llu records (%llu ignored, %llu bad) in %.3f s: %.0f "
                    "records/s\n",
                    what, round + 1, g_run.total, g_run.ignored, g_run.bad, seconds, rate);
        if (rate > best)
            best = rate;
    }
    return best;
}

template <typename Node>
std::size_t
index_bytes_per_entry(const chained_table<Node>& t)
{
    if (t.entries == 0)
        return 0;
    return index_memory(t) / t.entries;
}

void
ordinary(unsigned long long lines)
{
    traffic_options options;
    options.lines = lines;
    options.days = 60;
    const log_file f = new_log("ordinary.log");
    write_traffic(f.out, options);
    std::fclose(f.out);
    const double best = best_rate("ordinary", f.path, 3);
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    std::printf("ordinary: best %.0f records/s; peak memory so far %ld KiB\n\n", best,
                usage.ru_maxrss);
    done_with(f);
}

void
distinct()
{
    const log_file f = new_log("distinct.log");
    constexpr unsigned lines = 1000000;
    for (unsigned i = 0; i < lines; ++i) {
        const unsigned second = i * 2;  // 23 days of May 2024
        std::fprintf(f.out,
                     "h%07u.example.net - u%07u [%02u/May/2024:%02u:%02u:%02u +0000] "
                     "\"GET /item/%07u.html HTTP/1.1\" 200 %u \"http://r%07u.example.org/p\" "
                     "\"Agent-%07u/1.0\"\n",
                     i, i, 1 + second / 86400, second / 3600 % 24, second / 60 % 60, second % 60, i,
                     500 + i % 5000, i, i);
    }
    std::fclose(f.out);
    const std::size_t resident_before = resident_bytes();
    const double best = best_rate("distinct", f.path, 3);
    const std::size_t resident_after = resident_bytes();
    const std::size_t entries = site_table.entries + daily_site_table.entries + url_table.entries +
                                referrer_table.entries + agent_table.entries + user_table.entries +
                                search_table.entries;
    const std::size_t held = table_memory(site_table) + table_memory(daily_site_table) +
                             table_memory(url_table) + table_memory(referrer_table) +
                             table_memory(agent_table) + table_memory(user_table) +
                             table_memory(search_table);
    // Held counts whole huge pages that are not all touched yet; resident
    // counts what is in memory.
    std::printf("distinct: %.0f records/s; %zu entries, %.0f bytes each held, %.0f "
                "resident; the name index costs %zu (hosts), %zu (URLs), %zu (agents) bytes per "
                "entry\n\n",
                best, entries, static_cast<double>(held) / static_cast<double>(entries),
                static_cast<double>(resident_after - resident_before) /
                    static_cast<double>(entries),
                index_bytes_per_entry(site_table), index_bytes_per_entry(url_table),
                index_bytes_per_entry(agent_table));
    reset_run_state();
    done_with(f);
}

// Agents of one shape, "Mozilla/5.0 (compatible; probe/" and a counter; the
// crafted ones are those whose name falls into bucket 0.
void
write_agents(std::FILE* out, unsigned count, bool crafted)
{
    char agent[64];
    std::uint64_t k = 0;
    for (unsigned written = 0; written < count; ++k) {
        const int n =
            std::snprintf(agent, sizeof agent, "Mozilla/5.0 (compatible; probe/%" PRIu64 ")",
                          crafted ? k : k * 4096 + 17);
        if (crafted && (super_fast_hash(agent, static_cast<std::size_t>(n)) & 4095) != 0)
            continue;
        std::fprintf(out,
                     "10.0.0.1 - - [01/Jun/2024:10:%02u:%02u +0000] \"GET /robots.txt HTTP/1.1\" "
                     "404 100 \"-\" \"%s\"\n",
                     written / 60 % 60, written % 60, agent);
        ++written;
    }
}

void
collisions()
{
    constexpr unsigned agents = 100000;
    const log_file crafted = new_log("collisions.log");
    write_agents(crafted.out, agents, true);
    std::fclose(crafted.out);
    const log_file random = new_log("random-agents.log");
    write_agents(random.out, agents, false);
    std::fclose(random.out);

    const double colliding = best_rate("crafted agents", crafted.path, 3);
    const double plain = best_rate("random agents", random.path, 3);
    std::printf("collisions: crafted %.0f, random %.0f records/s: crafted take %.2f times as "
                "long\n\n",
                colliding, plain, plain / colliding);
    done_with(crafted);
    done_with(random);
}

}  // namespace

int
main(int argc, char** argv)
{
    const unsigned long long lines = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1000000;
    if (argc > 2)
        keep_dir = std::filesystem::absolute(argv[2]).string();

    // A month close writes the month's pages and charts: into a scratch
    // directory of their own, not wherever the benchmark was started.
    char scratch[] = "/tmp/parva-bench-out-XXXXXX";
    if (mkdtemp(scratch) == nullptr || chdir(scratch) != 0) {
        std::perror(scratch);
        return 1;
    }

    // The defaults of a run without options; the ordinary log's loop includes
    // the month close it meets.
    startup_settings().verbosity = 0;
    derive_settings(nullptr);

    const std::string only = argc > 3 ? argv[3] : "";
    if (only.empty() || only == "ordinary")
        ordinary(lines);
    if (only.empty() || only == "distinct")
        distinct();
    if (only.empty() || only == "collisions")
        collisions();

    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak memory %ld KiB\n", usage.ru_maxrss);
    std::error_code ignored;
    std::filesystem::remove_all(scratch, ignored);
    return 0;
}
