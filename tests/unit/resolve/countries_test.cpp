#include <set>
#include <string>

#include <gtest/gtest.h>

#include "common/catalog.hpp"
#include "driver/period.hpp"
#include "resolve/countries.hpp"
#include "test_support.hpp"

namespace {

class Countries : public scratch_test {};

TEST_F(Countries, EveryRowEncodesDecodesAndIsFoundByValueAndByName)
{
    std::set<std::int64_t> values;
    int rows = 0;
    for (const country_row* row = ctry_table; row->description != nullptr; ++row)
        ++rows;
    EXPECT_EQ(rows, country_rows) << "the scan stops at the terminator";
    for (int i = 0; i < country_rows; ++i) {
        const char* code = country_code[i];
        const country_row& row = ctry_table[i];
        SCOPED_TRACE(code);
        EXPECT_EQ(row.code_value, encode_country(code));
        EXPECT_EQ(std::string(decode_country(row.code_value)), code);
        EXPECT_TRUE(values.insert(row.code_value).second) << "values are unique";
        EXPECT_EQ(&country_by_value(row.code_value), &row);
        if (i != 0) {
            EXPECT_NE(row.code_value, 0);
            EXPECT_EQ(&country_by_name((std::string("www.example.") + code).c_str()), &row);
            EXPECT_EQ(&country_by_name((std::string("x.") + code).c_str()), &row);
        }
    }
}

TEST_F(Countries, WorkedValuesAndTheRowsOthersRelyOn)
{
    EXPECT_EQ(encode_country(""), 0);
    EXPECT_STREQ(decode_country(0), "");
    EXPECT_EQ(encode_country("pl"), 2060);
    EXPECT_EQ(encode_country("com"), 14221);
    EXPECT_EQ(encode_country("lan"), 49294);
    EXPECT_EQ(encode_country("eu"), 661);
    EXPECT_EQ(encode_country("ap"), 144);
    EXPECT_EQ(encode_country("a1"), 81);
    EXPECT_EQ(encode_country("a2"), 82);
    EXPECT_EQ(encode_country("o1"), 1873);
    EXPECT_EQ(encode_country("museum"), 1835424397);
    EXPECT_EQ(encode_country("travel"), -1534893428);
    EXPECT_STREQ(decode_country(82), "a2");
    EXPECT_STREQ(decode_country(-1534893428), "travel");

    EXPECT_EQ(utf8_of_latin2(ctry_table[0].description), "Nieznany");
    EXPECT_EQ(utf8_of_latin2(country_by_name("a.gov").description), "Rządowa USA (gov)");
    EXPECT_EQ(utf8_of_latin2(country_by_name("a.lan").description), "Local Network (lan)");
    EXPECT_EQ(utf8_of_latin2(country_by_name("a.su").description), "ZSRR (były)");
    country_row& gb = country_by_name("a.gb");
    country_row& uk = country_by_name("a.uk");
    EXPECT_NE(&gb, &uk);
    EXPECT_STREQ(gb.description, uk.description);
    EXPECT_EQ(ctry_table[country_rows - 1].code_value, encode_country("lan"));
}

TEST_F(Countries, NamesAndValuesOutsideTheTableFindTheUnknownRow)
{
    for (const char* name :
         {"localhost", "www.example.PL", "example.pl.", ".pl", "a.xyz", "a.p", "a.1", "a.", "", ".",
          "a.pl1", "a.museums", "a.travel.x", "a.lan\xb1", "a.\xff\xff"})
        EXPECT_EQ(&country_by_name(name), &ctry_table[0]) << '"' << name << '"';
    EXPECT_EQ(&country_by_name("a..pl"), &country_by_name("x.pl"));
    for (std::int64_t v : {std::int64_t{1}, std::int64_t{-1}, std::int64_t{1} << 40,
                           encode_country("PL"), encode_country("zz"), encode_country("abcdefgh")})
        EXPECT_EQ(&country_by_value(v), &ctry_table[0]) << v;
    // Codes longer than six letters wrap: the seventh from the end lands on
    // the last one's bits and no longer decodes to the text.
    EXPECT_EQ(encode_country("abcdefg"), encode_country("bcdefg") + 1);
    EXPECT_STRNE(decode_country(encode_country("abcdefg")), "abcdefg");
    EXPECT_LE(std::string(decode_country(-1)).size(), 6u);
}

TEST_F(Countries, ClearingZeroesEveryRowAndTheMonthChangeClearsThem)
{
    for (country_row* row = ctry_table; row->description != nullptr; ++row) {
        row->hits = 3;
        row->files = 2;
        row->bytes = 1.5;
    }
    reset_counters();
    for (const country_row* row = ctry_table; row->description != nullptr; ++row)
        ASSERT_TRUE(row->hits == 0 && row->files == 0 && row->bytes == 0);
    EXPECT_EQ(utf8_of_latin2(ctry_table[1].description), "Komercyjna (com)");
}

}  // namespace
