#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "common/settings.hpp"
#include "driver/config_file.hpp"
#include "test_support.hpp"

namespace {

class ConfigFile : public scratch_test {
  protected:
    /// Reads a configuration made of the given text; returns what went to stdout.
    std::string read(const std::string& text)
    {
        write_file("test.conf", text);
        testing::internal::CaptureStdout();
        read_config("test.conf");
        return testing::internal::GetCapturedStdout();
    }
};

}  // namespace

TEST_F(ConfigFile, KeywordsMatchByCaseInsensitivePrefix)
{
    EXPECT_EQ(read("TopSites 50\n"), "");
    EXPECT_EQ(g_settings.top_sites, 50);
    read("topsites 51\n");
    EXPECT_EQ(g_settings.top_sites, 51);
    read("Top 52\n");
    EXPECT_EQ(g_settings.top_sites, 52);
    read("TOPURLS 7\n");
    EXPECT_EQ(g_settings.top_urls, 7);
    read("Use yes\n");
    EXPECT_TRUE(g_settings.use_https);
    read("Ignore yes\n");
    EXPECT_TRUE(g_settings.ignore_hist);
}

TEST_F(ConfigFile, FullKeywordIsNotTakenForALongerOne)
{
    read("TerrabaseDatabase /x\n");
    EXPECT_EQ(g_settings.terrabase_database, "/x");
    EXPECT_FALSE(g_settings.terrabase);
    read("Terrabase yes\n");
    EXPECT_TRUE(g_settings.terrabase);
}

TEST_F(ConfigFile, UnknownKeywordsWarnOnStandardOutput)
{
    EXPECT_EQ(utf8_of_latin2(read("Undefined 1\nU 1\nNoSuchThing 2\n")),
              "Ostrzeżenie: Błędne słowo kluczowe 'Undefined' (test.conf)\n"
              "Ostrzeżenie: Błędne słowo kluczowe 'U' (test.conf)\n"
              "Ostrzeżenie: Błędne słowo kluczowe 'NoSuchThing' (test.conf)\n");
    startup_settings().verbosity = 0;
    EXPECT_NE(read("Bogus 1\n"), "") << "printed whatever the verbosity";
}

TEST_F(ConfigFile, SkippedLinesSayNothing)
{
    EXPECT_EQ(read("# comment\n TopSites 50\n\tTopSites 51\n\nTopSites\nTopSites   \n=5\n"), "");
    EXPECT_EQ(g_settings.top_sites, 30);
}

TEST_F(ConfigFile, ValueStartsAfterTheKeywordRun)
{
    read("TopSites=50\n");
    EXPECT_EQ(g_settings.top_sites, 0);
    read("TopSites -12x\n");
    EXPECT_EQ(g_settings.top_sites, -12);
    read("TopSites 99999999999\n");
    EXPECT_EQ(g_settings.top_sites, 2147483647);
}

TEST_F(ConfigFile, LongKeywordRunIsCutAfter31Characters)
{
    const std::string out = read("ReportTitle" + std::string(30, 'x') + " y\n");
    EXPECT_NE(utf8_of_latin2(out).find("'ReportTitle" + std::string(20, 'x') + "'"),
              std::string::npos);
}

TEST_F(ConfigFile, YesNoTypesHaveTheirFallbacks)
{
    read("StripCGI maybe\nIncremental maybe\nTimeMe maybe\n");
    EXPECT_TRUE(g_settings.strip_cgi);
    EXPECT_FALSE(g_settings.incremental);
    EXPECT_TRUE(g_settings.time_me);
    read("StripCGI No\nIncremental Yes\n");
    EXPECT_FALSE(g_settings.strip_cgi);
    EXPECT_TRUE(g_settings.incremental);
}

TEST_F(ConfigFile, QuietAndReallyQuietShareTheVerbosity)
{
    read("ReallyQuiet yes\nQuiet no\n");
    EXPECT_EQ(g_settings.verbosity, 2);
    read("Quiet yes\nReallyQuiet no\n");
    EXPECT_EQ(g_settings.verbosity, 1);
    read("ReallyQuiet Y\n");
    EXPECT_EQ(g_settings.verbosity, 0);
}

TEST_F(ConfigFile, ColoursTakeSixCharactersAfterOneNumberSign)
{
    read("ColorHit 123\n");
    EXPECT_STREQ(g_settings.color_hit.text, "#123");
    read("ColorHit #00ff00\n");
    EXPECT_STREQ(g_settings.color_hit.text, "#00ff00");
    read("PieColor4 abcdef99\n");
    EXPECT_STREQ(g_settings.pie_color4.text, "#abcdef");
    EXPECT_STREQ(g_settings.color_file.text, "#0040ff");
}

TEST_F(ConfigFile, TextValuesKeepInnerBlanksAndLoseOuterOnes)
{
    read("ReportTitle  Usage of  my site  \n");
    EXPECT_EQ(g_settings.report_title, "Usage of  my site");
    read("HostName " + std::string(200, 'h') + "\n");
    EXPECT_EQ(*g_settings.host_name, std::string(131, 'h'));
}

TEST_F(ConfigFile, ListsAndGroupsGrowInOrder)
{
    read("HideSite *.lan\nHideSite pc1\nGroupURL /cgi-bin/*  CGI scripts\n"
         "SearchEngine example.  find=\n");
    const nlist_entry* e = g_settings.hide_site.first();
    ASSERT_NE(e, nullptr);
    EXPECT_STREQ(e->pattern, "*.lan");
    EXPECT_STREQ(e->next->pattern, "pc1");
    EXPECT_STREQ(g_settings.group_url.first()->label, "CGI scripts");
    EXPECT_STREQ(g_settings.search_engines.first()->label, "find=");
}

TEST_F(ConfigFile, SpecialKeywords)
{
    read("FlagDir /img/flags\nLogType Squid\n");
    EXPECT_EQ(g_settings.flag_dir, "/img/flags");
    EXPECT_TRUE(g_settings.country_flags);
    EXPECT_EQ(g_settings.log_type, log_squid);
    read("LogType web\n");
    EXPECT_EQ(g_settings.log_type, log_w3c);
    read("LogType xferlog\n");
    EXPECT_EQ(g_settings.log_type, log_clf);
    read("LogType FTP\n");
    EXPECT_EQ(g_settings.log_type, log_ftp);
}

TEST_F(ConfigFile, MissingFileIsReportedUnlessSilent)
{
    testing::internal::CaptureStderr();
    read_config("absent.conf");
    EXPECT_EQ(utf8_of_latin2(testing::internal::GetCapturedStderr()),
              "Błąd: Nie mogę otworzyć pliku konfiguracyjnego absent.conf\n");
    startup_settings().verbosity = 0;
    testing::internal::CaptureStderr();
    read_config("absent.conf");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST_F(ConfigFile, OverlongLineIsReadInPieces)
{
    // The second piece starts with a keyword of its own.
    std::string line(4095 - 9, ' ');
    line = "TopURLs 1" + line + "TopSites 77\n";
    read(line);
    EXPECT_EQ(g_settings.top_urls, 1);
    EXPECT_EQ(g_settings.top_sites, 77);
}

TEST(KeywordTable, HasEveryKeywordOnce)
{
    EXPECT_STREQ(keyword_name(0), "Undefined");
    EXPECT_STREQ(keyword_name(11), "TopSites");
    EXPECT_STREQ(keyword_name(60), "LogType");
    EXPECT_STREQ(keyword_name(120), "SearchCaseI");
    for (int i = 1; i < keyword_count; ++i)
        EXPECT_EQ(find_keyword(keyword_name(i)), i) << keyword_name(i);
}

TEST_F(ConfigFile, ReadingKeepsNoDescriptorOpen)
{
    const auto open_descriptors = [] {
        int n = 0;
        for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/fd"))
            ++n;
        return n;
    };
    write_file("a.conf", "TopSites 5\nBogus 1\n");
    const int before = open_descriptors();
    testing::internal::CaptureStdout();
    for (int i = 0; i < 50; ++i)
        read_config("a.conf");
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(open_descriptors(), before);
    EXPECT_EQ(g_settings.top_sites, 5);
}
