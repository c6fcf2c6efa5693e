#include <cerrno>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/files.hpp"
#include "test_support.hpp"

namespace {

bool
is_link(const std::string& name)
{
    struct stat st;
    return lstat(name.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

/// Runs step in a child process: true when it returned true within ten
/// seconds.  A step that would block for ever (an open of a FIFO) fails the
/// test instead of hanging it.
template <typename Step>
bool
done_in_time(Step step)
{
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child < 0)
        return false;
    if (child == 0)
        _exit(step() ? 0 : 1);
    int status = -1;
    pid_t done = 0;
    for (int tenth = 0; tenth < 100 && done == 0; ++tenth) {
        done = waitpid(child, &status, WNOHANG);
        if (done == 0)
            usleep(100 * 1000);
    }
    if (done == 0) {
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

class Files : public scratch_test {};

}  // namespace

TEST_F(Files, OpenerTruncatesARegularFile)
{
    write_file("page.html", "an older and longer content\n");
    {
        const owned_file f = open_for_writing("page.html");
        ASSERT_TRUE(f);
        std::fputs("new\n", f.get());
    }
    EXPECT_EQ(content_of("page.html"), "new\n");

    {
        const owned_file f = open_for_writing("fresh.html");
        ASSERT_TRUE(f);
    }
    EXPECT_TRUE(exists("fresh.html"));
}

TEST_F(Files, OpenerRefusesSymbolicLinks)
{
    write_file("target", "keep me\n");
    ASSERT_EQ(symlink("target", "link"), 0);
    errno = 0;
    EXPECT_FALSE(open_for_writing("link"));
    EXPECT_EQ(errno, ELOOP);
    EXPECT_EQ(content_of("target"), "keep me\n") << "the target is neither truncated nor written";

    ASSERT_EQ(symlink("nowhere", "dangling"), 0);
    errno = 0;
    EXPECT_FALSE(open_for_writing("dangling"));
    EXPECT_EQ(errno, ELOOP);
    EXPECT_FALSE(exists("nowhere")) << "a dangling link does not create its target";

    errno = 0;
    EXPECT_FALSE(open_for_writing("no-such-dir/page.html"));
    EXPECT_EQ(errno, ENOENT) << "other failures are told apart from a link";
}

TEST_F(Files, OpenerNeitherWaitsOnAFifoNorWritesThroughAnotherName)
{
    // A FIFO without a reader would hold the open for ever, one with a
    // reader would take the page: neither is opened.
    ASSERT_EQ(mkfifo("page.html", 0600), 0);
    EXPECT_TRUE(done_in_time([] { return !open_for_writing("page.html"); }))
        << "a FIFO without a reader is refused at once";
    const int reader = open("page.html", O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    EXPECT_TRUE(done_in_time([] { return !open_for_writing("page.html"); }))
        << "a FIFO with a reader is refused";
    close(reader);
    ASSERT_EQ(unlink("page.html"), 0);

    // A second name of another file: the page gets a file of its own.
    write_file("precious", "not ours\n");
    ASSERT_EQ(link("precious", "page.html"), 0);
    {
        const owned_file f = open_for_writing("page.html");
        ASSERT_TRUE(f);
        std::fputs("new\n", f.get());
    }
    EXPECT_EQ(content_of("precious"), "not ours\n");
    EXPECT_EQ(content_of("page.html"), "new\n");

    // A directory is no page either.
    ASSERT_TRUE(std::filesystem::create_directory("dir.html"));
    EXPECT_FALSE(open_for_writing("dir.html"));
    EXPECT_TRUE(std::filesystem::is_directory("dir.html"));
}

TEST_F(Files, OpenerModeHonoursTheUmask)
{
    const mode_t old_mask = umask(027);
    const owned_file a = open_for_writing("masked");
    umask(0);
    const owned_file b = open_for_writing("open");
    umask(old_mask);
    ASSERT_TRUE(a);
    ASSERT_TRUE(b);
    struct stat st;
    ASSERT_EQ(stat("masked", &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    ASSERT_EQ(stat("open", &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0666u);
}

TEST_F(Files, OwnedFileLeavesTheStandardStreamsOpen)
{
    {
        const owned_file in(stdin), out(stdout), err(stderr);
    }
    EXPECT_NE(fcntl(0, F_GETFD), -1);
    EXPECT_NE(fcntl(1, F_GETFD), -1);
    EXPECT_NE(fcntl(2, F_GETFD), -1);
    EXPECT_NE(std::fputs("", stdout), EOF);
}

TEST_F(Files, ReplaceWritesTheWorkFileAndRenamesIt)
{
    write_file("data.hist", "old\n");
    EXPECT_EQ(replace_file("data.hist",
                           [&](std::FILE* f) {
                               EXPECT_TRUE(exists("data.hist.new"))
                                   << "written under the work name";
                               EXPECT_EQ(content_of("data.hist"), "old\n");
                               return std::fputs("new\n", f) < 0 ? 1 : 0;
                           }),
              replace_done);
    EXPECT_EQ(content_of("data.hist"), "new\n");
    EXPECT_FALSE(exists("data.hist.new"));

    EXPECT_EQ(replace_file("first.hist", [](std::FILE* f) { return std::fputs("1\n", f) < 0; }),
              replace_done)
        << "no live file yet";
    EXPECT_EQ(content_of("first.hist"), "1\n");
}

TEST_F(Files, ReplaceTakesAPlainCallbackAndContext)
{
    std::string text = "from the context\n";
    const fill_callback fill = [](std::FILE* f, void* context) {
        return std::fputs(static_cast<std::string*>(context)->c_str(), f) < 0 ? 1 : 0;
    };
    EXPECT_EQ(replace_file("state", fill, &text), replace_done);
    EXPECT_EQ(content_of("state"), text);
}

TEST_F(Files, ReplaceReplacesALinkAtTheLiveNameInsteadOfWritingThroughIt)
{
    write_file("elsewhere", "not ours\n");
    ASSERT_EQ(symlink("elsewhere", "data.hist"), 0);
    EXPECT_EQ(replace_file("data.hist", [](std::FILE* f) { return std::fputs("new\n", f) < 0; }),
              replace_done);
    EXPECT_FALSE(is_link("data.hist"));
    EXPECT_EQ(content_of("data.hist"), "new\n");
    EXPECT_EQ(content_of("elsewhere"), "not ours\n");
}

TEST_F(Files, ReplaceFailuresLeaveTheLiveFileAndNoWorkFile)
{
    write_file("data.hist", "old\n");
    const auto writes_a_line = [](std::FILE* f) { return std::fputs("new\n", f) < 0 ? 1 : 0; };

    // The writer gives up after writing part of its content.
    EXPECT_EQ(replace_file("data.hist",
                           [](std::FILE* f) {
                               std::fputs("half", f);
                               return 1;
                           }),
              replace_write_failed);
    EXPECT_EQ(content_of("data.hist"), "old\n");
    EXPECT_FALSE(exists("data.hist.new"));

    // A link at the work name, to a file or to nothing, is refused and left alone.
    write_file("victim", "keep\n");
    ASSERT_EQ(symlink("victim", "data.hist.new"), 0);
    EXPECT_EQ(replace_file("data.hist", writes_a_line), replace_work_is_link);
    EXPECT_EQ(content_of("victim"), "keep\n");
    EXPECT_TRUE(is_link("data.hist.new"));
    EXPECT_EQ(content_of("data.hist"), "old\n");
    ASSERT_EQ(unlink("data.hist.new"), 0);
    ASSERT_EQ(symlink("nowhere", "data.hist.new"), 0);
    EXPECT_EQ(replace_file("data.hist", writes_a_line), replace_work_is_link);
    EXPECT_FALSE(exists("nowhere"));
    ASSERT_EQ(unlink("data.hist.new"), 0);

    // The work file cannot be created: a directory holds its name, or its
    // directory is missing.
    ASSERT_TRUE(std::filesystem::create_directory("data.hist.new"));
    EXPECT_EQ(replace_file("data.hist", writes_a_line), replace_cant_open);
    EXPECT_TRUE(std::filesystem::is_directory("data.hist.new"));
    std::filesystem::remove("data.hist.new");
    EXPECT_EQ(replace_file("no-such-dir/data.hist", writes_a_line), replace_cant_open);
    EXPECT_EQ(content_of("data.hist"), "old\n");

    // The live name is a directory that is not empty: the rename fails.
    ASSERT_TRUE(std::filesystem::create_directory("busy"));
    write_file("busy/inside", "x");
    EXPECT_EQ(replace_file("busy", writes_a_line), replace_rename_failed);
    EXPECT_FALSE(exists("busy.new"));
    EXPECT_EQ(content_of("busy/inside"), "x");
}

TEST_F(Files, ReplaceWritesAFreshWorkFileWhateverStandsAtItsName)
{
    const auto writes_a_line = [](std::FILE* f) { return std::fputs("new\n", f) < 0 ? 1 : 0; };

    // A run killed while writing leaves its work file: it is simply replaced.
    write_file("data.hist", "old\n");
    write_file("data.hist.new", "half of an older content that is longer\n");
    EXPECT_EQ(replace_file("data.hist", writes_a_line), replace_done);
    EXPECT_EQ(content_of("data.hist"), "new\n");

    // A second name of another file at the work name: that file is not written.
    write_file("precious", "not ours\n");
    ASSERT_EQ(link("precious", "data.hist.new"), 0);
    EXPECT_EQ(replace_file("data.hist", writes_a_line), replace_done);
    EXPECT_EQ(content_of("precious"), "not ours\n");
    EXPECT_EQ(content_of("data.hist"), "new\n");
    struct stat st;
    ASSERT_EQ(stat("precious", &st), 0);
    EXPECT_EQ(st.st_nlink, 1U) << "the live name is a file of its own";

    // A FIFO at the work name would hold the open until someone read it.
    ASSERT_EQ(mkfifo("data.hist.new", 0600), 0);
    EXPECT_TRUE(done_in_time([] {
        return replace_file("data.hist", [](std::FILE* f) { return std::fputs("3\n", f) < 0; }) ==
               replace_done;
    })) << "the replacement waits on a FIFO at the work name";
    EXPECT_EQ(content_of("data.hist"), "3\n");
    EXPECT_FALSE(exists("data.hist.new"));
}

TEST_F(Files, ReplaceNoticesAWriteThatTheFileSystemRefuses)
{
    // A file size limit makes the kernel refuse writes past it, as a full disk
    // would; with SIGXFSZ ignored the write fails with EFBIG instead.
    write_file("data.hist", "old\n");
    struct rlimit old_limit;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    struct sigaction old_action;
    ASSERT_EQ(sigaction(SIGXFSZ, &ignore, &old_action), 0);
    struct rlimit small = old_limit;
    small.rlim_cur = 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);

    const std::string big(64 * 1024, 'x');
    const std::string few(100, 'y');
    // The second writer does not check its writes: the failure shows all the same.
    const replace_status big_result =
        replace_file("data.hist", [&](std::FILE* f) { return std::fputs(big.c_str(), f) < 0; });
    const replace_status unchecked_result = replace_file("data.hist", [&](std::FILE* f) {
        std::fputs(big.c_str(), f);
        return 0;
    });
    // Fewer bytes than the stream's buffer holds: only the flush writes them.
    const std::string held(2000, 'z');
    const replace_status held_result =
        replace_file("data.hist", [&](std::FILE* f) { return std::fputs(held.c_str(), f) < 0; });
    const replace_status small_result =
        replace_file("small", [&](std::FILE* f) { return std::fputs(few.c_str(), f) < 0; });

    setrlimit(RLIMIT_FSIZE, &old_limit);
    sigaction(SIGXFSZ, &old_action, nullptr);

    EXPECT_EQ(big_result, replace_write_failed);
    EXPECT_EQ(unchecked_result, replace_write_failed);
    EXPECT_EQ(held_result, replace_write_failed);
    EXPECT_EQ(small_result, replace_done) << "a file within the limit is written";
    EXPECT_EQ(content_of("data.hist"), "old\n");
    EXPECT_FALSE(exists("data.hist.new"));
    EXPECT_EQ(content_of("small"), few);
}
