#include <climits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/settings.hpp"
#include "driver/command_line.hpp"
#include "test_support.hpp"

namespace {

class CommandLine : public scratch_test {
  protected:
    /// Parses the words as a command line; returns the status and sets operand.
    int parse(std::vector<std::string> words)
    {
        words.insert(words.begin(), "parvalyte");
        args_ = words;
        argv_.clear();
        for (auto& w : args_)
            argv_.push_back(w.data());
        argv_.push_back(nullptr);
        return parse_options(static_cast<int>(args_.size()), argv_.data(), operand);
    }
    const char* operand_text() const
    {
        return operand < static_cast<int>(args_.size()) ? argv_[operand] : nullptr;
    }
    int operand = 0;

  private:
    std::vector<std::string> args_;
    std::vector<char*> argv_;
};

std::vector<std::string>
entries(const nlist& list)
{
    std::vector<std::string> out;
    for (const nlist_entry* e = list.first(); e != nullptr; e = e->next)
        out.emplace_back(e->pattern);
    return out;
}

}  // namespace

TEST_F(CommandLine, LogTypeComesFromTheFirstLetter)
{
    const std::pair<const char*, int> cases[] = {
        {"W3C", log_w3c},     {"w", log_w3c},   {"web", log_w3c}, {"x", log_clf},
        {"Squid", log_squid}, {"ftp", log_ftp}, {"clf", log_clf}, {"", log_clf},
    };
    for (const auto& [word, type] : cases) {
        reset_settings();
        EXPECT_EQ(parse({"-F", word}), -1);
        EXPECT_EQ(g_settings.log_type, type) << word;
    }
}

TEST_F(CommandLine, LaterOptionsOverrideEarlierOnesAndConfigFiles)
{
    write_file("off.conf", "Incremental no\n");
    parse({"-c", "off.conf", "-p"});
    EXPECT_TRUE(g_settings.incremental);
    reset_settings();
    parse({"-p", "-c", "off.conf"});
    EXPECT_FALSE(g_settings.incremental);
}

TEST_F(CommandLine, OptionsStopAtTheFirstOperand)
{
    EXPECT_EQ(parse({"-i", "access.log", "-p", "other.log"}), -1);
    EXPECT_TRUE(g_settings.ignore_hist);
    EXPECT_FALSE(g_settings.incremental);
    EXPECT_STREQ(operand_text(), "access.log");
    derive_settings(operand_text());
    EXPECT_EQ(g_settings.log_file, "access.log");
}

TEST_F(CommandLine, UnknownLettersAndMissingArgumentsAreIgnored)
{
    testing::internal::CaptureStderr();
    EXPECT_EQ(parse({"-y", "-i", "-S"}), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_TRUE(g_settings.ignore_hist);
    EXPECT_EQ(g_settings.top_sites, 30);
}

TEST_F(CommandLine, VerbosityOptions)
{
    parse({"-q"});
    EXPECT_EQ(g_settings.verbosity, 1);
    parse({"-Q"});
    EXPECT_EQ(g_settings.verbosity, 0);
    parse({"-v"});
    EXPECT_EQ(g_settings.verbosity, 2);
    EXPECT_TRUE(g_settings.debug);
}

TEST_F(CommandLine, ValueOptionsStoreTheirArguments)
{
    parse({"-o", "out",      "-n", "www.example.org",
           "-t", "Title",    "-x", "htm",
           "-z", "fl",       "-D", "dns.db",
           "-N", "7",        "-J", "terra.dat",
           "-W", "geo.mmdb", "-M", "3",
           "-m", "600",      "-g", "2",
           "-l", "5",        "-a", "bot",
           "-r", "ref",      "-s", "site",
           "-u", "url",      "-O", "omit",
           "-P", "php",      "-I", "default."});
    EXPECT_EQ(g_settings.output_dir, "out");
    EXPECT_EQ(g_settings.host_name, "www.example.org");
    EXPECT_EQ(g_settings.report_title, "Title");
    EXPECT_EQ(g_settings.html_extension, "htm");
    EXPECT_EQ(g_settings.flag_dir, "fl");
    EXPECT_TRUE(g_settings.country_flags);
    EXPECT_EQ(g_settings.dns_cache, "dns.db");
    EXPECT_EQ(g_settings.dns_children, 7);
    EXPECT_EQ(g_settings.terrabase_database, "terra.dat");
    EXPECT_EQ(g_settings.geoip_database, "geo.mmdb");
    EXPECT_EQ(g_settings.mangle_agents, 3);
    EXPECT_EQ(g_settings.visit_timeout, 600);
    EXPECT_EQ(g_settings.group_domains, 2);
    EXPECT_EQ(g_settings.graph_lines, 5);
    EXPECT_EQ(entries(g_settings.hide_agent), std::vector<std::string>{"bot"});
    EXPECT_EQ(entries(g_settings.hide_referrer), std::vector<std::string>{"ref"});
    EXPECT_EQ(entries(g_settings.hide_site), std::vector<std::string>{"site"});
    EXPECT_EQ(entries(g_settings.hide_url), std::vector<std::string>{"url"});
    EXPECT_EQ(entries(g_settings.omit_page), std::vector<std::string>{"omit"});
    EXPECT_EQ(entries(g_settings.page_type), std::vector<std::string>{"php"});
    EXPECT_EQ(entries(g_settings.index_alias), std::vector<std::string>{"default."});
}

TEST_F(CommandLine, SwitchOptions)
{
    parse({"-f", "-i", "-p", "-b", "-Y", "-G", "-H", "-L", "-T", "-X", "-j", "-w", "-Z", "-d"});
    EXPECT_TRUE(g_settings.fold_seq_err);
    EXPECT_TRUE(g_settings.ignore_hist);
    EXPECT_TRUE(g_settings.incremental);
    EXPECT_TRUE(g_settings.ignore_state);
    EXPECT_FALSE(g_settings.country_graph);
    EXPECT_FALSE(g_settings.hourly_graph);
    EXPECT_FALSE(g_settings.hourly_stats);
    EXPECT_FALSE(g_settings.graph_legend);
    EXPECT_TRUE(g_settings.time_me);
    EXPECT_TRUE(g_settings.hide_all_sites);
    EXPECT_TRUE(g_settings.terrabase);
    EXPECT_TRUE(g_settings.geoip);
    EXPECT_FALSE(g_settings.normalize_url);
    EXPECT_TRUE(g_settings.debug);
}

TEST_F(CommandLine, HideOptionKeepsThe132FirstCharacters)
{
    const std::string value(200, 'h');
    testing::internal::CaptureStderr();
    parse({"-s", value});
    EXPECT_NE(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(entries(g_settings.hide_site), std::vector<std::string>{std::string(132, 'h')});
}

TEST_F(CommandLine, MonthCountsAreForcedIntoTheirRanges)
{
    parse({"-k", "5", "-K", "200"});
    derive_settings(nullptr);
    EXPECT_EQ(g_settings.graph_months, 12);
    EXPECT_EQ(g_settings.index_months, 120);
    reset_settings();
    parse({"-k", "100", "-K", "3", "-l", "40", "-C", "1000"});
    derive_settings(nullptr);
    EXPECT_EQ(g_settings.graph_months, 72);
    EXPECT_EQ(g_settings.index_months, 12);
    EXPECT_EQ(g_settings.graph_lines, 20);
    EXPECT_EQ(g_settings.top_countries, 280);
}

TEST_F(CommandLine, NegativeCountryCountBecomesZero)
{
    parse({"-C", "-5"});
    derive_settings(nullptr);
    EXPECT_EQ(g_settings.top_countries, 0);
}

TEST_F(CommandLine, CacheLifetimeIsForcedIntoOneToHundredDays)
{
    write_file("ttl.conf", "CacheTTL 0\n");
    parse({"-c", "ttl.conf"});
    derive_settings(nullptr);
    EXPECT_EQ(g_settings.cache_ttl, 1);
    reset_settings();
    write_file("ttl.conf", "CacheTTL 500\n");
    parse({"-c", "ttl.conf"});
    derive_settings(nullptr);
    EXPECT_EQ(g_settings.cache_ttl, 100);
}

TEST_F(CommandLine, DefaultPageTypesAndIndexAlias)
{
    parse({"-I", "default."});
    derive_settings(nullptr);
    EXPECT_EQ(entries(g_settings.page_type), (std::vector<std::string>{"htm*", "cgi"}));
    EXPECT_EQ(entries(g_settings.index_alias), (std::vector<std::string>{"default.", "index."}));

    reset_settings();
    parse({"-x", "php"});
    derive_settings(nullptr);
    EXPECT_EQ(entries(g_settings.page_type), (std::vector<std::string>{"htm*", "cgi", "php"}));

    reset_settings();
    write_file("noindex.conf", "DefaultIndex no\n");
    parse({"-c", "noindex.conf", "-P", "asp"});
    derive_settings(nullptr);
    EXPECT_EQ(entries(g_settings.page_type), std::vector<std::string>{"asp"});
    EXPECT_TRUE(g_settings.index_alias.empty());
}

TEST_F(CommandLine, FtpLogsHaveNoEntryExitOrSearchTables)
{
    parse({"-F", "ftp"});
    derive_settings(nullptr);
    EXPECT_EQ(g_settings.top_entry, 0);
    EXPECT_EQ(g_settings.top_exit, 0);
    EXPECT_EQ(g_settings.top_search, 0);
    EXPECT_EQ(entries(g_settings.page_type), std::vector<std::string>{"txt"});
    EXPECT_TRUE(g_settings.search_engines.empty());
}

TEST_F(CommandLine, BuiltInSearchEnginesUnlessSomeAreConfigured)
{
    parse({});
    derive_settings(nullptr);
    std::vector<std::string> keys;
    for (const glist_entry* e = g_settings.search_engines.first(); e != nullptr; e = e->next)
        keys.emplace_back(e->label);
    EXPECT_EQ(keys, (std::vector<std::string>{
                        "q=", "p=", "q=", "query=", "q=", "q=", "query=", "MT=", "q=", "qt=",
                        "searchText=", "search=", "query=", "query=", "q=", "qr="}));
    EXPECT_STREQ(g_settings.search_engines.first()->pattern, ".google.");

    reset_settings();
    write_file("se.conf", "SearchEngine example. find=\n");
    parse({"-c", "se.conf"});
    derive_settings(nullptr);
    EXPECT_STREQ(g_settings.search_engines.first()->label, "find=");
    EXPECT_EQ(g_settings.search_engines.first()->next, nullptr);
}

TEST_F(CommandLine, EntryAndExitRowsAreLimitedByTheUrlTables)
{
    parse({"-U", "5", "-e", "40", "-E", "8"});
    derive_settings(nullptr);
    EXPECT_EQ(g_settings.top_entry, 10) << "TopKURLs 10 is the larger limit";
    EXPECT_EQ(g_settings.top_exit, 8);
}

TEST_F(CommandLine, UsageListsEveryOption)
{
    testing::internal::CaptureStdout();
    EXPECT_EQ(parse({"-h"}), 1);
    const std::string out = utf8_of_latin2(testing::internal::GetCapturedStdout());
    EXPECT_EQ(
        out.rfind("Użycie: parvalyte [opcje] [plik logu]\n-h        = wyświetla te informacje\n",
                  0),
        0u);
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 49);
    EXPECT_NE(out.find("\n-W nazwa  = Use GeoIP database 'nazwa'\n"), std::string::npos);
}

TEST_F(CommandLine, VersionHasTheLongFormOnlyAfterDebug)
{
    testing::internal::CaptureStdout();
    EXPECT_EQ(parse({"-q", "-V", "-d"}), 1);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.rfind("Parvalyte V2.23-08 (", 0), 0u);
    EXPECT_EQ(out.find("Mod date"), std::string::npos);
    EXPECT_EQ(out.substr(out.size() - 2), "\n\n");

    reset_settings();
    testing::internal::CaptureStdout();
    EXPECT_EQ(parse({"-d", "-V"}), 1);
    out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("\nMod date: 26-Aug-2013  Options: DNS/Terrabase BZip2 GeoIP \n"
                       "Default Terrabase dir : /usr/local/share/parvaterra\n"
                       "Default config dir: /usr/local/etc\n\n"),
              std::string::npos);
}

TEST_F(CommandLine, CountsAndSizesAreClampedToTheirUsefulRange)
{
    // Near INT_MAX, grouping by domain once overflowed a counter (undefined
    // behaviour); a host name has at most 128 labels.
    parse({"-g", "2147483647", "-N", "500", "-l", "-5", "-m", "-1", "-M", "9", "-S", "-5", "-U",
           "2147483647", "-R", "-1", "-e", "2147483647"});
    derive_settings(nullptr);
    EXPECT_EQ(g_settings.group_domains, 128);
    EXPECT_EQ(g_settings.dns_children, 100);
    EXPECT_EQ(g_settings.graph_lines, 0);
    EXPECT_EQ(g_settings.visit_timeout, 0);
    EXPECT_EQ(g_settings.mangle_agents, 5);
    EXPECT_EQ(g_settings.top_sites, 0);
    EXPECT_EQ(g_settings.top_urls, INT_MAX / 2);
    EXPECT_EQ(g_settings.top_referrers, 0);
    EXPECT_EQ(g_settings.top_entry, INT_MAX / 2) << "still limited by the URL tables";

    reset_settings();
    write_file("trim.conf", "TrimSquidURL 99999999999\nTopSearch -3\nTopUsers -1\n");
    parse({"-c", "trim.conf", "-g", "-3", "-N", "-2", "-M", "-4"});
    derive_settings(nullptr);
    EXPECT_EQ(g_settings.trim_squid_url, 4096);
    EXPECT_EQ(g_settings.top_search, 0);
    EXPECT_EQ(g_settings.top_users, 0);
    EXPECT_EQ(g_settings.group_domains, 0) << "negative grouping is off";
    EXPECT_EQ(g_settings.dns_children, 0) << "no pre-pass";
    EXPECT_EQ(g_settings.mangle_agents, 1) << "levels below 1 act as level 1";

    reset_settings();
    write_file("trim.conf", "TrimSquidURL -7\n");
    parse({"-c", "trim.conf", "-g", "3", "-N", "7", "-M", "3", "-m", "600", "-l", "5"});
    derive_settings(nullptr);
    EXPECT_EQ(g_settings.trim_squid_url, 0);
    EXPECT_EQ(g_settings.group_domains, 3);
    EXPECT_EQ(g_settings.dns_children, 7);
    EXPECT_EQ(g_settings.mangle_agents, 3);
    EXPECT_EQ(g_settings.visit_timeout, 600);
    EXPECT_EQ(g_settings.graph_lines, 5);
}

TEST_F(CommandLine, ClampsKeepTheDefaults)
{
    parse({});
    derive_settings(nullptr);
    const settings defaults;
    EXPECT_EQ(g_settings.top_sites, defaults.top_sites);
    EXPECT_EQ(g_settings.top_urls, defaults.top_urls);
    EXPECT_EQ(g_settings.top_referrers, defaults.top_referrers);
    EXPECT_EQ(g_settings.top_agents, defaults.top_agents);
    EXPECT_EQ(g_settings.top_countries, defaults.top_countries);
    EXPECT_EQ(g_settings.top_k_sites, defaults.top_k_sites);
    EXPECT_EQ(g_settings.top_k_urls, defaults.top_k_urls);
    EXPECT_EQ(g_settings.top_entry, defaults.top_entry);
    EXPECT_EQ(g_settings.top_exit, defaults.top_exit);
    EXPECT_EQ(g_settings.top_search, defaults.top_search);
    EXPECT_EQ(g_settings.top_users, defaults.top_users);
    EXPECT_EQ(g_settings.visit_timeout, 1800);
    EXPECT_EQ(g_settings.graph_lines, 2);
    EXPECT_EQ(g_settings.mangle_agents, 0);
    EXPECT_EQ(g_settings.group_domains, 0);
    EXPECT_EQ(g_settings.dns_children, 0);
    EXPECT_EQ(g_settings.trim_squid_url, 0);
    EXPECT_EQ(g_settings.cache_ttl, 7);
    EXPECT_EQ(g_settings.graph_months, 12);
    EXPECT_EQ(g_settings.index_months, 12);
}
