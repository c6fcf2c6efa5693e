#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/settings.hpp"
#include "report/dumps.hpp"
#include "report/report_file.hpp"
#include "test_support.hpp"

namespace {

class ReportFile : public scratch_test {
  protected:
    /// Opens the path with report_file_open, writes text when it opened, and
    /// returns what went to standard error.
    static std::string open_and_write(const char* path, const char* text, bool& opened)
    {
        testing::internal::CaptureStderr();
        {
            const owned_file f = report_file_open(path);
            opened = static_cast<bool>(f);
            if (f)
                std::fputs(text, f.get());
        }
        return utf8_of_latin2(testing::internal::GetCapturedStderr());
    }
};

}  // namespace

TEST_F(ReportFile, ExistingFileIsTruncatedSilently)
{
    write_file("usage_202401.html", "a much longer page than the new one\n");
    bool opened = false;
    EXPECT_EQ(open_and_write("usage_202401.html", "page\n", opened), "");
    EXPECT_TRUE(opened);
    EXPECT_EQ(content_of("usage_202401.html"), "page\n");
}

TEST_F(ReportFile, LinksAreRefusedAndOtherFailuresToldApart)
{
    write_file("target", "keep\n");
    ASSERT_EQ(symlink("target", "index.html"), 0);
    ASSERT_EQ(symlink("nowhere", "dangling.html"), 0);
    bool opened = true;
    EXPECT_EQ(open_and_write("index.html", "evil\n", opened),
              "Błąd: Nie mogę otworzyć pliku index.html (symlink)\n");
    EXPECT_FALSE(opened);
    EXPECT_EQ(content_of("target"), "keep\n");
    EXPECT_EQ(open_and_write("dangling.html", "evil\n", opened),
              "Błąd: Nie mogę otworzyć pliku dangling.html (symlink)\n");
    EXPECT_FALSE(opened);
    EXPECT_FALSE(exists("nowhere"));
    EXPECT_EQ(open_and_write("no-such-dir/page.html", "x", opened),
              "Błąd: Nie mogę otworzyć pliku no-such-dir/page.html!\n");
    EXPECT_FALSE(opened);
}

TEST_F(ReportFile, FailuresAreSilentAtVerbosityZero)
{
    ASSERT_EQ(symlink("nowhere", "link.html"), 0);
    startup_settings().verbosity = 0;
    bool opened = true;
    EXPECT_EQ(open_and_write("link.html", "x", opened), "");
    EXPECT_FALSE(opened);
    EXPECT_EQ(open_and_write("no-such-dir/page.html", "x", opened), "");
    EXPECT_FALSE(opened);
}

TEST_F(ReportFile, DumpsAreWrittenWholeAndNeverThroughALink)
{
    settings& s = startup_settings();
    s.dump_header = true;
    const sort_array<hnode> no_sites;
    const sort_array<unode> no_urls;

    dump_sites(no_sites, 2024, 1);
    EXPECT_EQ(utf8_of_latin2(content_of("site_202401.tab")),
              "Wywołania\tPliki\tKB\tWizyty\tNazwa hosta\n")
        << "closed, so complete, when the writer returns";

    write_file("victim", "keep\n");
    ASSERT_EQ(symlink("victim", "url_202401.tab"), 0);
    testing::internal::CaptureStderr();
    dump_urls(no_urls, 2024, 1);
    EXPECT_EQ(utf8_of_latin2(testing::internal::GetCapturedStderr()),
              "Błąd: Nie mogę otworzyć pliku ./url_202401.tab (symlink)\n");
    EXPECT_EQ(content_of("victim"), "keep\n");
}

TEST_F(ReportFile, DumpNameTooLongForItsBufferIsRefused)
{
    // The name is formed in 256 bytes; a cut name would be some other file's.
    const std::string dir(240, 'd');
    ASSERT_EQ(mkdir(dir.c_str(), 0777), 0);
    settings& s = startup_settings();
    s.dump_path = dir;
    const sort_array<hnode> no_sites;
    testing::internal::CaptureStderr();
    dump_sites(no_sites, 2024, 1);
    EXPECT_EQ(utf8_of_latin2(testing::internal::GetCapturedStderr()),
              "Błąd: Nie mogę otworzyć pliku " + (dir + "/site_202401.tab").substr(0, 255) + "!\n");
    EXPECT_TRUE(std::filesystem::is_empty(dir));

    s.dump_path = std::string(200, 'e');
    ASSERT_EQ(mkdir(s.dump_path->c_str(), 0777), 0);
    dump_sites(no_sites, 2024, 1);
    EXPECT_TRUE(exists(*s.dump_path + "/site_202401.tab")) << "a name that fits is written";
}
