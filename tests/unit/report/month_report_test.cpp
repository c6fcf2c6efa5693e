#include <string>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "common/counters.hpp"
#include "common/settings.hpp"
#include "report/month_report.hpp"
#include "tables/tables.hpp"
#include "test_support.hpp"

namespace {

class MonthReport : public scratch_test {
  protected:
    void SetUp() override
    {
        scratch_test::SetUp();
        startup_settings().verbosity = 1;
        startup_settings().dump_sites = true;
        g_clock.year = 2024;
        g_clock.month = 3;
        char host[] = "h.example";
        u64 unique = 0;
        add_host(host, kind_regular, 1, 1, unique, 0, 100, 0, nullptr, site_table);
    }
};

}  // namespace

TEST_F(MonthReport, WritesThePageAndTheDumps)
{
    EXPECT_EQ(month_report(), 0);
    EXPECT_TRUE(exists("usage_202403.html"));
    EXPECT_TRUE(exists("site_202403.tab"));
    EXPECT_NE(content_of("usage_202403.html").find("</HTML>\n"), std::string::npos);
}

TEST_F(MonthReport, APageThatCannotBeOpenedStopsTheMonth)
{
    ASSERT_EQ(mkdir("usage_202403.html", 0755), 0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(month_report(), 1);
    EXPECT_EQ(utf8_of_latin2(testing::internal::GetCapturedStderr()),
              "Błąd: Nie mogę otworzyć pliku usage_202403.html!\n");
    EXPECT_FALSE(exists("site_202403.tab")) << "no dumps without the page";
}
