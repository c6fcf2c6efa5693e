#include <string>

#include <gtest/gtest.h>

#include "common/name_lists.hpp"
#include "test_support.hpp"

TEST(PatternMatch, LeadingStarNeedsOneCharacterBeforeTheSuffix)
{
    EXPECT_TRUE(pattern_matches("*.lan", "pc1.lan"));
    EXPECT_FALSE(pattern_matches("*.lan", ".lan"));
    EXPECT_FALSE(pattern_matches("*.gif", "a.gif.txt"));
    EXPECT_FALSE(pattern_matches("*.gif", ""));
    EXPECT_FALSE(pattern_matches("*a", "a"));
    EXPECT_TRUE(pattern_matches("*a", "ba"));
}

TEST(PatternMatch, LoneStarMatchesEverything)
{
    EXPECT_TRUE(pattern_matches("*", ""));
    EXPECT_TRUE(pattern_matches("*", "anything"));
}

TEST(PatternMatch, SuffixFormStopsAtAnInnerStar)
{
    // The part after the last star must end the text.
    EXPECT_TRUE(pattern_matches("*a*.gif", "xy.gif"));
    EXPECT_FALSE(pattern_matches("*a*.gif", "x.png"));
}

TEST(PatternMatch, TrailingStarIsAPrefix)
{
    EXPECT_TRUE(pattern_matches("htm*", "htm"));
    EXPECT_TRUE(pattern_matches("htm*", "html"));
    EXPECT_FALSE(pattern_matches("htm*", "ht"));
    EXPECT_FALSE(pattern_matches("htm*", "xhtml"));
    // A star inside the pattern is a plain character.
    EXPECT_FALSE(pattern_matches("a*c", "abc"));
    EXPECT_TRUE(pattern_matches("a*c", "xa*cx"));
}

TEST(PatternMatch, StarsOnBothEndsMeanContains)
{
    EXPECT_TRUE(pattern_matches("*MSIE 6*", "Mozilla/4.0 (compatible; MSIE 6.0)"));
    EXPECT_FALSE(pattern_matches("*MSIE 6*", "ab"));
    EXPECT_FALSE(pattern_matches("*MSIE 6*", "MSIE 7.0"));
    EXPECT_TRUE(pattern_matches("**", "x"));
}

TEST(PatternMatch, PlainPatternIsASubstringAndCaseSensitive)
{
    EXPECT_TRUE(pattern_matches("pc1", "pc1.lan"));
    EXPECT_TRUE(pattern_matches("pc1", "xpc1.lan"));
    EXPECT_FALSE(pattern_matches("MSIE", "msie"));
    EXPECT_TRUE(pattern_matches("", "x"));
}

TEST(NameList, FirstMatchingEntryWinsInOrder)
{
    nlist list;
    EXPECT_EQ(match_nlist(list, "x"), nullptr);
    ASSERT_EQ(append_nlist("*.gif", list), 0);
    ASSERT_EQ(append_nlist("logo", list), 0);
    EXPECT_STREQ(match_nlist(list, "logo.gif"), "*.gif");
    EXPECT_STREQ(match_nlist(list, "logo.png"), "logo");
    EXPECT_EQ(match_nlist(list, "a.png"), nullptr);
}

class NameListWarnings : public scratch_test {};

TEST_F(NameListWarnings, LongValueIsCutTo132WithOneWarning)
{
    nlist list;
    const std::string value(200, 'x');
    testing::internal::CaptureStderr();
    ASSERT_EQ(append_nlist(value.c_str(), list), 0);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::string(list.first()->pattern), std::string(132, 'x'));
    EXPECT_EQ(utf8_of_latin2(err),
              "[new_nlist] Ostrzeżenie: Napis przekracza dopuszczalną wielkość\n");

    startup_settings().verbosity = 0;
    testing::internal::CaptureStderr();
    ASSERT_EQ(append_nlist(value.c_str(), list), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(GroupList, PatternAndLabelAreSplitAtTheFirstBlank)
{
    glist list;
    ASSERT_EQ(append_glist("/cgi-bin/*   CGI scripts", list), 0);
    EXPECT_STREQ(list.first()->pattern, "/cgi-bin/*");
    EXPECT_STREQ(list.first()->label, "CGI scripts");
}

TEST(GroupList, PatternAloneIsItsOwnLabel)
{
    glist list;
    ASSERT_EQ(append_glist("*.lan", list), 0);
    ASSERT_EQ(append_glist("*.edu \t ", list), 0);
    EXPECT_STREQ(list.first()->label, "*.lan");
    EXPECT_STREQ(list.first()->next->pattern, "*.edu");
    EXPECT_STREQ(list.first()->next->label, "*.edu");
}

TEST(GroupList, QuotedPatternMayHoldBlanks)
{
    glist list;
    ASSERT_EQ(append_glist("'a b' Group", list), 0);
    ASSERT_EQ(append_glist("\"no end quote", list), 0);
    const glist_entry* e = list.first();
    EXPECT_STREQ(e->pattern, "a b");
    EXPECT_STREQ(e->label, "Group");
    EXPECT_STREQ(e->next->pattern, "no end quote");
    EXPECT_STREQ(e->next->label, "no end quote");
}

TEST(GroupList, UpperHalfBytesAreNotBlanks)
{
    glist list;
    ASSERT_EQ(append_glist("a\xa0"
                           "b label",
                           list),
              0);
    EXPECT_STREQ(list.first()->pattern, "a\xa0"
                                        "b");
}

TEST(GroupList, ValuesAreCutTo131Characters)
{
    glist list;
    ASSERT_EQ(append_glist(std::string(200, 'p').c_str(), list), 0);
    EXPECT_EQ(std::string(list.first()->pattern), std::string(131, 'p'));
}

TEST(GroupList, EarlierRuleWinsOverAMoreSpecificOne)
{
    glist list;
    ASSERT_EQ(append_glist("MSIE Explorer", list), 0);
    ASSERT_EQ(append_glist("*MSIE 6* Explorer6", list), 0);
    EXPECT_STREQ(match_glist(list, "Mozilla/4.0 (compatible; MSIE 6.0)"), "Explorer");
    EXPECT_EQ(match_glist(list, "Opera"), nullptr);
}
