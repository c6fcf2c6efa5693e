// The sample configuration that is installed beside the programs: it names
// every keyword, the defaults it shows are the built-in ones, and reading it
// as it stands changes nothing but the character set line of the pages.
#include <cstddef>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/settings.hpp"
#include "driver/config_file.hpp"
#include "test_support.hpp"

namespace {

std::filesystem::path
sample_path()
{
#ifdef PARVA_SOURCE_DIR
    return std::filesystem::path(PARVA_SOURCE_DIR) / "docs" / "pl-parvalyte.conf";
#else
    // This file is tests/unit/driver/ of the source tree (the build names
    // sources by their absolute paths).
    return std::filesystem::path(__FILE__).parent_path().parent_path().parent_path().parent_path() /
           "docs" / "pl-parvalyte.conf";
#endif
}

constexpr const char* charset_line =
    "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=iso-8859-2\">";

std::vector<std::string>
lines_of(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

/// The keyword index that a line sets or shows, commented out as "# Keyword"
/// or "# Keyword value", or active as "Keyword value"; 0 for any other line.
/// Only a keyword written whole and exactly as the table has it counts.
int
keyword_shown(const std::string& line)
{
    const std::size_t start = line.starts_with("# ") ? 2 : 0;
    const std::size_t end = line.find(' ', start);
    const std::string word = line.substr(start, end == std::string::npos ? end : end - start);
    for (int i = 1; i < keyword_count; ++i)
        if (word == keyword_name(i))
            return i;
    return 0;
}

void
add(std::ostringstream& out, const char* name, bool v)
{
    out << name << '=' << (v ? "yes" : "no") << '\n';
}
void
add(std::ostringstream& out, const char* name, int v)
{
    out << name << '=' << v << '\n';
}
void
add(std::ostringstream& out, const char* name, const std::string& v)
{
    out << name << "='" << v << "'\n";
}
void
add(std::ostringstream& out, const char* name, const std::optional<std::string>& v)
{
    out << name << '=' << (v ? "'" + *v + "'" : std::string("none")) << '\n';
}
void
add(std::ostringstream& out, const char* name, const colour& v)
{
    out << name << '=' << v.text << '\n';
}
void
add(std::ostringstream& out, const char* name, const nlist& v)
{
    out << name << '=';
    for (const nlist_entry* e = v.first(); e; e = e->next)
        out << '[' << e->pattern << ']';
    out << '\n';
}
void
add(std::ostringstream& out, const char* name, const glist& v)
{
    out << name << '=';
    for (const glist_entry* e = v.first(); e; e = e->next)
        out << '[' << e->pattern << " -> " << e->label << ']';
    out << '\n';
}

/// Every setting as one line of text, so that two sets compare whole and a
/// difference shows by name.
std::string
describe(const settings& s)
{
    std::ostringstream out;
#define PARVA_FIELD(member) add(out, #member, s.member)
    PARVA_FIELD(verbosity);
    PARVA_FIELD(output_dir);
    PARVA_FIELD(log_file);
    PARVA_FIELD(report_title);
    PARVA_FIELD(host_name);
    PARVA_FIELD(ignore_hist);
    PARVA_FIELD(time_me);
    PARVA_FIELD(debug);
    PARVA_FIELD(hourly_graph);
    PARVA_FIELD(hourly_stats);
    PARVA_FIELD(top_sites);
    PARVA_FIELD(top_urls);
    PARVA_FIELD(top_referrers);
    PARVA_FIELD(top_agents);
    PARVA_FIELD(top_countries);
    PARVA_FIELD(hide_site);
    PARVA_FIELD(hide_url);
    PARVA_FIELD(hide_referrer);
    PARVA_FIELD(hide_agent);
    PARVA_FIELD(index_alias);
    PARVA_FIELD(html_head);
    PARVA_FIELD(html_post);
    PARVA_FIELD(html_tail);
    PARVA_FIELD(mangle_agents);
    PARVA_FIELD(ignore_site);
    PARVA_FIELD(ignore_url);
    PARVA_FIELD(ignore_referrer);
    PARVA_FIELD(ignore_agent);
    PARVA_FIELD(gmt_time);
    PARVA_FIELD(group_url);
    PARVA_FIELD(group_site);
    PARVA_FIELD(group_referrer);
    PARVA_FIELD(group_agent);
    PARVA_FIELD(group_shading);
    PARVA_FIELD(group_highlight);
    PARVA_FIELD(incremental);
    PARVA_FIELD(incremental_name);
    PARVA_FIELD(history_name);
    PARVA_FIELD(html_extension);
    PARVA_FIELD(html_pre);
    PARVA_FIELD(html_body);
    PARVA_FIELD(html_end);
    PARVA_FIELD(use_https);
    PARVA_FIELD(include_site);
    PARVA_FIELD(include_url);
    PARVA_FIELD(include_referrer);
    PARVA_FIELD(include_agent);
    PARVA_FIELD(page_type);
    PARVA_FIELD(visit_timeout);
    PARVA_FIELD(graph_legend);
    PARVA_FIELD(graph_lines);
    PARVA_FIELD(fold_seq_err);
    PARVA_FIELD(country_graph);
    PARVA_FIELD(top_k_sites);
    PARVA_FIELD(top_k_urls);
    PARVA_FIELD(top_entry);
    PARVA_FIELD(top_exit);
    PARVA_FIELD(top_search);
    PARVA_FIELD(log_type);
    PARVA_FIELD(search_engines);
    PARVA_FIELD(group_domains);
    PARVA_FIELD(hide_all_sites);
    PARVA_FIELD(all_sites);
    PARVA_FIELD(all_urls);
    PARVA_FIELD(all_referrers);
    PARVA_FIELD(all_agents);
    PARVA_FIELD(all_search_str);
    PARVA_FIELD(all_users);
    PARVA_FIELD(top_users);
    PARVA_FIELD(hide_user);
    PARVA_FIELD(ignore_user);
    PARVA_FIELD(include_user);
    PARVA_FIELD(group_user);
    PARVA_FIELD(dump_path);
    PARVA_FIELD(dump_extension);
    PARVA_FIELD(dump_header);
    PARVA_FIELD(dump_sites);
    PARVA_FIELD(dump_urls);
    PARVA_FIELD(dump_referrers);
    PARVA_FIELD(dump_agents);
    PARVA_FIELD(dump_users);
    PARVA_FIELD(dump_search_str);
    PARVA_FIELD(dns_cache);
    PARVA_FIELD(dns_children);
    PARVA_FIELD(daily_graph);
    PARVA_FIELD(daily_stats);
    PARVA_FIELD(link_referrer);
    PARVA_FIELD(page_prefix);
    PARVA_FIELD(color_hit);
    PARVA_FIELD(color_file);
    PARVA_FIELD(color_site);
    PARVA_FIELD(color_kbyte);
    PARVA_FIELD(color_page);
    PARVA_FIELD(color_visit);
    PARVA_FIELD(color_misc);
    PARVA_FIELD(pie_color1);
    PARVA_FIELD(pie_color2);
    PARVA_FIELD(pie_color3);
    PARVA_FIELD(pie_color4);
    PARVA_FIELD(cache_ips);
    PARVA_FIELD(cache_ttl);
    PARVA_FIELD(terrabase);
    PARVA_FIELD(terrabase_database);
    PARVA_FIELD(strip_cgi);
    PARVA_FIELD(trim_squid_url);
    PARVA_FIELD(omit_page);
    PARVA_FIELD(htaccess);
    PARVA_FIELD(ignore_state);
    PARVA_FIELD(default_index);
    PARVA_FIELD(geoip);
    PARVA_FIELD(geoip_database);
    PARVA_FIELD(normalize_url);
    PARVA_FIELD(index_months);
    PARVA_FIELD(graph_months);
    PARVA_FIELD(year_headers);
    PARVA_FIELD(year_totals);
    PARVA_FIELD(country_flags);
    PARVA_FIELD(flag_dir);
    PARVA_FIELD(search_case_i);
#undef PARVA_FIELD
    return out.str();
}

class SampleConfig : public scratch_test {
  protected:
    void SetUp() override
    {
        scratch_test::SetUp();
        text_ = content_of(sample_path().string());
        ASSERT_FALSE(text_.empty()) << "no sample at " << sample_path();
    }

    /// Reads the configuration file; returns what it printed on either stream.
    static std::string read(const std::string& path)
    {
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        read_config(path.c_str());
        std::string printed = testing::internal::GetCapturedStdout();
        printed += testing::internal::GetCapturedStderr();
        return printed;
    }

    /// The built-in defaults with the sample's one active line added.
    static std::string defaults_with_charset(bool flags_on)
    {
        settings expected;
        append_nlist(charset_line, expected.html_head);
        expected.country_flags = flags_on;
        return describe(expected);
    }

    std::string text_;
};

}  // namespace

TEST_F(SampleConfig, ShowsEveryKeywordOnceBelowAnExplanation)
{
    const std::vector<std::string> lines = lines_of(text_);
    std::vector<int> times_shown(keyword_count, 0);
    for (std::size_t n = 0; n < lines.size(); ++n) {
        const int k = keyword_shown(lines[n]);
        if (k == 0)
            continue;
        ++times_shown[k];
        // The line above says what the keyword does, in words of its own.
        ASSERT_GT(n, 0u);
        const std::string& above = lines[n - 1];
        EXPECT_TRUE(above.starts_with("# ") && above.size() > 12 && keyword_shown(above) == 0)
            << "no explanation above line " << n + 1 << ": " << lines[n];
    }
    for (int i = 1; i < keyword_count; ++i)
        EXPECT_EQ(times_shown[i], 1) << keyword_name(i);
}

TEST_F(SampleConfig, IsPlainAsciiWithOneActiveLine)
{
    for (std::size_t i = 0; i < text_.size(); ++i)
        ASSERT_LT(static_cast<unsigned char>(text_[i]), 0x80) << "byte " << i << " is not ASCII";
    std::vector<std::string> active;
    for (const std::string& line : lines_of(text_))
        if (!line.empty() && line[0] != '#')
            active.push_back(line);
    ASSERT_EQ(active.size(), 1u);
    EXPECT_EQ(active[0], std::string("HTMLHead ") + charset_line);
}

TEST_F(SampleConfig, AsInstalledChangesOnlyTheCharsetLine)
{
    EXPECT_EQ(read(sample_path().string()), "");
    EXPECT_EQ(describe(g_settings), defaults_with_charset(false));
}

// Every default shown is what the program does without the line: the sample
// with every keyword line made active reads as the built-in defaults.  The
// one exception is the sample's own word: FlagDir, once set, turns the flags on.
TEST_F(SampleConfig, ShownDefaultsAreTheBuiltInOnes)
{
    std::string active;
    int made_active = 0;
    for (const std::string& line : lines_of(text_)) {
        if (line.starts_with("# ") && keyword_shown(line) != 0) {
            active += line.substr(2) + "\n";
            ++made_active;
        } else {
            active += line + "\n";
        }
    }
    EXPECT_EQ(made_active, keyword_count - 2) << "all but Undefined and HTMLHead";
    write_file("active.conf", active);
    EXPECT_EQ(read("active.conf"), "");
    EXPECT_EQ(describe(g_settings), defaults_with_charset(true));
}
