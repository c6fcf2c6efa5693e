#include "report/dumps.hpp"

#include <cstdio>

#include "common/catalog.hpp"
#include "common/messages.hpp"
#include "common/settings.hpp"
#include "report/number_text.hpp"
#include "report/report_file.hpp"

namespace {

// Dump file names are formed in a buffer of this size.
constexpr std::size_t dump_name_capacity = 256;

// Opens "DumpPath/prefix_YYYYMM.DumpExtension" ("." when DumpPath is unset).
report_file
open_dump(const char* prefix, int year, int month)
{
    const settings& s = g_settings;
    char path[dump_name_capacity];
    const int n = std::snprintf(path, sizeof path, "%s/%s_%04d%02d.%s",
                                s.dump_path ? s.dump_path->c_str() : ".", prefix, year, month,
                                s.dump_extension.c_str());
    // A cut name could be another file's: refuse it as a file that cannot be opened.
    if (n < 0 || static_cast<std::size_t>(n) >= sizeof path) {
        warn("%s %s!\n", msg::cant_open_file, path);
        return {};
    }
    return report_file(path);
}

template <typename Node, typename Line>
void
write_dump(const sort_array<Node>& a, const char* prefix, int year, int month, Line&& line,
           void (*heading)(std::FILE*))
{
    const report_file f = open_dump(prefix, year, month);
    if (!f)
        return;
    if (g_settings.dump_header)
        heading(f.get());
    for (std::size_t i = 0; i < a.count; ++i)
        line(f.get(), a.items[i]);
}

// The numbers of a line, then its name, which may be longer than the buffer.
void
name_line(std::FILE* f, number_line& line, const char* name)
{
    line.write(f);
    std::fputs(name, f);
    std::fputc('\n', f);
}

// "%llu\t%s\n"
void
hits_dump_line(std::FILE* f, u64 hits, const char* name)
{
    number_line line;
    line.count(hits, 0);
    line.text("\t");
    name_line(f, line, name);
}

// "%llu\t%llu\t%.0f\t%llu\t%s\n": hits, files, kilobytes, visits, name.
template <typename Node>
void
wide_dump_line(std::FILE* f, const Node& n)
{
    number_line line;
    line.count(n.hits, 0);
    line.text("\t");
    line.count(n.files, 0);
    line.text("\t");
    line.fixed(n.bytes / 1024, 0, 0);
    line.text("\t");
    line.count(n.visits, 0);
    line.text("\t");
    name_line(f, line, name_of(&n));
}

}  // namespace

void
dump_sites(const sort_array<hnode>& a, int year, int month)
{
    write_dump(
        a, "site", year, month,
        [](std::FILE* f, const hnode* n) {
            if (n->kind != kind_group)
                wide_dump_line(f, *n);
        },
        [](std::FILE* f) {
            std::fprintf(f, "%s\t%s\t%s\t%s\t%s\n", msg::hits_heading, msg::files_heading,
                         msg::kb_heading, msg::visits_heading, msg::host_heading);
        });
}

void
dump_urls(const sort_array<unode>& a, int year, int month)
{
    write_dump(
        a, "url", year, month,
        [](std::FILE* f, const unode* n) {
            if (n->kind != kind_group) {
                number_line line;
                line.count(n->hits, 0);
                line.text("\t");
                line.fixed(n->bytes / 1024, 0, 0);
                line.text("\t");
                name_line(f, line, name_of(n));
            }
        },
        [](std::FILE* f) {
            std::fprintf(f, "%s\t%s\t%s\n", msg::hits_heading, msg::kb_heading, msg::url_heading);
        });
}

void
dump_referrers(const sort_array<rnode>& a, int year, int month)
{
    write_dump(
        a, "ref", year, month,
        [](std::FILE* f, const rnode* n) {
            if (n->kind != kind_group)
                hits_dump_line(f, n->hits, name_of(n));
        },
        [](std::FILE* f) {
            std::fprintf(f, "%s\t%s\n", msg::hits_heading, msg::referrers_heading);
        });
}

void
dump_agents(const sort_array<anode>& a, int year, int month)
{
    write_dump(
        a, "agent", year, month,
        [](std::FILE* f, const anode* n) {
            if (n->kind != kind_group)
                hits_dump_line(f, n->hits, name_of(n));
        },
        [](std::FILE* f) { std::fprintf(f, "%s\t%s\n", msg::hits_heading, msg::agent_heading); });
}

void
dump_users(const sort_array<inode>& a, int year, int month)
{
    write_dump(
        a, "user", year, month,
        [](std::FILE* f, const inode* n) {
            if (n->kind != kind_group)
                wide_dump_line(f, *n);
        },
        [](std::FILE* f) {
            std::fprintf(f, "%s\t%s\t%s\t%s\t%s\n", msg::hits_heading, msg::files_heading,
                         msg::kb_heading, msg::visits_heading, msg::user_heading);
        });
}

void
dump_search_strings(const sort_array<snode>& a, int year, int month)
{
    write_dump(
        a, "search", year, month,
        [](std::FILE* f, const snode* n) { hits_dump_line(f, n->hits, name_of(n)); },
        [](std::FILE* f) { std::fprintf(f, "%s\t%s\n", msg::hits_heading, msg::search_heading); });
}
