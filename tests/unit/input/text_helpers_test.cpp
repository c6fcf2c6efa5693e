#include <climits>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "common/settings.hpp"
#include "driver/command_line.hpp"
#include "input/text_helpers.hpp"
#include "tables/tables.hpp"
#include "test_support.hpp"

namespace {

std::string
unescaped(const char* text)
{
    char buf[256];
    std::snprintf(buf, sizeof buf, "%s", text);
    unescape_url(buf);
    return buf;
}

std::string
mangled(const char* agent, int level)
{
    char buf[128];
    std::snprintf(buf, sizeof buf, "%s", agent);
    mangle_agent(buf, level);
    return buf;
}

class TextHelpers : public scratch_test {
  protected:
    void SetUp() override
    {
        scratch_test::SetUp();
        derive_settings(nullptr);  // default page types and search engines
    }
    /// The search strings of the month, as "text=hits" joined by ";".
    static std::string searches()
    {
        std::string out;
        for_each_node(search_table, [&](const snode* n) {
            out += std::string(name_of(n)) + "=" + std::to_string(n->hits) + ";";
        });
        return out;
    }
};

}  // namespace

TEST(UnescapeUrl, DecodesEscapesAndReplacesControlBytes)
{
    EXPECT_EQ(unescaped("a%20b"), "a b");
    EXPECT_EQ(unescaped("100%"), "100%");
    EXPECT_EQ(unescaped("x%4"), "x");
    EXPECT_EQ(unescaped("%zz"), "%zz");
    EXPECT_EQ(unescaped("%41%4"), "A");
    EXPECT_EQ(unescaped("%4G"), "@");
    EXPECT_EQ(unescaped("%00%0a%7F%7e"), "___~");
    EXPECT_EQ(unescaped("%C5%82"), "\xc5\x82");
}

TEST(IsUrlChar, StrictModeRejectsTheQueryCharacters)
{
    for (char c : std::string(":/\\.,' *!-+_@~()[]aZ9"))
        EXPECT_TRUE(is_url_char(static_cast<unsigned char>(c), true)) << c;
    for (char c : std::string(";?&="))
        EXPECT_FALSE(is_url_char(static_cast<unsigned char>(c), true)) << c;
    for (char c : std::string(";?&="))
        EXPECT_TRUE(is_url_char(static_cast<unsigned char>(c), false)) << c;
    for (char c : std::string("%#$\"<>{}|^`"))
        EXPECT_FALSE(is_url_char(static_cast<unsigned char>(c), false)) << c;
    EXPECT_TRUE(is_url_char(0xE9, true));
    EXPECT_TRUE(is_url_char(0, true));
}

TEST(MangleAgent, CompatibleAgentsByLevel)
{
    const char* msie = "\"Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)\"";
    EXPECT_EQ(mangled(msie, 5), "MSIE 6");
    EXPECT_EQ(mangled(msie, 4), "MSIE 6.0");
    EXPECT_EQ(mangled(msie, 3), "MSIE 6.0");
    EXPECT_EQ(mangled(msie, 2), "MSIE 6.0");
    EXPECT_EQ(mangled(msie, 1), "MSIE 6.0 (Windows NT 5.1)");
    EXPECT_EQ(mangled(msie, 0), "MSIE 6.0 (Windows NT 5.1)") << "below 1 counts as 1";
    const char* bare = "\"Mozilla/4.0 (compatible;)\"";
    for (int level = 1; level <= 5; ++level)
        EXPECT_EQ(mangled(bare, level), bare);
    EXPECT_EQ(mangled("Mozilla/4.0 (compatible; MSIE 5.0; Windows 98) Opera 6.04 [en]", 5),
              "Opera 6");
}

TEST(MangleAgent, OperaAndMozillaForms)
{
    const char* opera = "Opera/9.80 (X11; Linux) Presto";
    EXPECT_EQ(mangled(opera, 5), "Opera 9");
    EXPECT_EQ(mangled(opera, 4), "Opera 9.8");
    EXPECT_EQ(mangled(opera, 3), "Opera 9.80");
    EXPECT_EQ(mangled(opera, 1), "Opera 9.80 (X11)");
    const char* mozilla = "\"Mozilla/5.0 (X11; Linux)\"";
    EXPECT_EQ(mangled(mozilla, 5), "Mozilla/5");
    EXPECT_EQ(mangled(mozilla, 1), "Mozilla/5.0 (X11)");
    EXPECT_EQ(mangled("\"curl/8.5.0\"", 1), "\"curl/8.5.0\"");
    EXPECT_EQ(mangled("Mozilla", 1), "Mozilla");
}

TEST(MangleAgent, StaysWithinTheField)
{
    std::string agent = "Mozilla/5." + std::string(100, '1') + " (" + std::string(100, 'x');
    agent.resize(127);
    char buf[128];
    std::snprintf(buf, sizeof buf, "%s", agent.c_str());
    mangle_agent(buf, 1);
    EXPECT_LT(std::strlen(buf), sizeof buf);
}

TEST_F(TextHelpers, PagesByTypePrefixAndOmission)
{
    const auto is_page = [](const char* url) { return is_page_url(url, std::strlen(url)); };
    EXPECT_TRUE(is_page("/dir/"));
    EXPECT_TRUE(is_page("/index"));
    EXPECT_TRUE(is_page(".profile"));
    EXPECT_FALSE(is_page("/.profile"));
    EXPECT_TRUE(is_page("/a.html"));
    EXPECT_TRUE(is_page("/cgi-bin/x.cgi"));
    EXPECT_FALSE(is_page("/img/logo.gif"));
    append_nlist("gif", startup_settings().page_type);
    EXPECT_TRUE(is_page("/img/logo.gif"));
    append_nlist("/download/", startup_settings().page_prefix);
    EXPECT_TRUE(is_page("/download/file.zip"));
    append_nlist("/a.html", startup_settings().omit_page);
    EXPECT_FALSE(is_page("/a.html"));
}

TEST_F(TextHelpers, SearchStringsFromKnownEngines)
{
    extract_search("?hl=pl&q=Linux++Kernel&x=1", "https://www.google.pl/search");
    extract_search("?q=linux+kernel", "https://www.google.com/search");
    extract_search("?p=\"tea\",+pot?", "https://search.yahoo.com/search");
    extract_search("?q=ignored", "https://www.example.com/search");
    extract_search("?aq=ignored", "https://www.google.com/search");
    extract_search("?q=+++", "https://www.google.com/search");
    EXPECT_EQ(searches(), "linux kernel=2;tea pot=1;");

    clear_month_tables();
    startup_settings().search_case_i = false;
    extract_search("?q=Linux", "https://www.google.com/search");
    EXPECT_EQ(searches(), "Linux=1;");
}

TEST(GroupDomain, KeepsTheLastLevels)
{
    EXPECT_STREQ(group_domain_of("a.b.c.lan", 1), "c.lan");
    EXPECT_STREQ(group_domain_of("a.b.c.lan", 2), "b.c.lan");
    EXPECT_STREQ(group_domain_of("a.b.c.d.lan", 2), "c.d.lan");
    EXPECT_STREQ(group_domain_of("lan", 1), "lan");
    EXPECT_STREQ(group_domain_of(".lan", 0), ".lan") << "the first position never counts";
    EXPECT_STREQ(group_domain_of("x", 3), "x");
}

TEST(GroupDomain, AnyLevelCountIsSafe)
{
    // INT_MAX once overflowed the period count (undefined behaviour).
    EXPECT_STREQ(group_domain_of("a.b.c.lan", INT_MAX), "a.b.c.lan");
    EXPECT_STREQ(group_domain_of("a.b.c.lan", INT_MAX - 1), "a.b.c.lan");
    EXPECT_STREQ(group_domain_of("a.b.c.lan", 3), "a.b.c.lan");
    EXPECT_STREQ(group_domain_of("a.b.c.lan", -1), "a.b.c.lan");
    EXPECT_STREQ(group_domain_of("a.b.c.lan", INT_MIN), "a.b.c.lan");
    std::string deep;  // 128 labels in 255 characters: the most a host name holds
    for (int i = 0; i < 127; ++i)
        deep += "a.";
    deep += "b";
    ASSERT_EQ(deep.size(), 255u);
    EXPECT_EQ(group_domain_of(deep.c_str(), 126), deep.substr(2));
    EXPECT_EQ(group_domain_of(deep.c_str(), 127), deep);
    EXPECT_EQ(group_domain_of(deep.c_str(), 128), deep);
}

TEST(IpAddressKind, TellsNamesFromAddresses)
{
    EXPECT_EQ(ip_address_kind("192.168.0.1"), 1);
    EXPECT_EQ(ip_address_kind("192.168.1"), -1);
    EXPECT_EQ(ip_address_kind("www1.lan"), 0);
    EXPECT_EQ(ip_address_kind("1.2.3.4x"), 0);
    EXPECT_EQ(ip_address_kind("fe80::1"), 3);
    EXPECT_EQ(ip_address_kind("::ffff:10.0.0.1"), 2);
    EXPECT_EQ(ip_address_kind("FE80::1"), -1);
    EXPECT_EQ(ip_address_kind(""), -1);
}

TEST(HexDigitValue, OtherCharactersHaveNoValue)
{
    EXPECT_EQ(hex_digit_value('0'), 0);
    EXPECT_EQ(hex_digit_value('7'), 7);
    EXPECT_EQ(hex_digit_value('C'), 12);
    EXPECT_EQ(hex_digit_value('f'), 15);
    // The letters just below "a" once gave 0 to 9 by wrapping around.
    for (const char c : {'g', '#', 'G', 'W', 'X', 'Z', '`', '/', ':', '@', '\0', '\xe6'})
        EXPECT_EQ(hex_digit_value(c), -1) << static_cast<int>(c);
}
