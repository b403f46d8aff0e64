// Child processes and shell-open, with real programs and stand-in openers.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/process.h"
#include "temp_dir.h"

namespace platform {
namespace {

// Waits up to five seconds for a detached program to leave its file.
std::string AwaitFile(const std::string& path) {
    for (int i = 0; i < 500; ++i) {
        std::string content;
        if (ReadFile(path, content) && !content.empty() && content.back() == '\n') return content;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return {};
}

void WriteScript(const std::string& path, const std::string& body) {
    ASSERT_TRUE(WriteFileAtomic(path, "#!/bin/sh\n" + body + "\n"));
    ASSERT_EQ(0, chmod(path.c_str(), 0755));
}

TEST(RunAndWaitTest, ReturnsExitCodeAndOutput) {
    std::string out;
    EXPECT_EQ(0, RunAndWait({"/bin/echo", "hello world"}, 0, &out));
    EXPECT_EQ("hello world\n", out);
    EXPECT_EQ(3, RunAndWait({"/bin/sh", "-c", "exit 3"}));
}

TEST(RunAndWaitTest, ArgumentsAreNeverShellExpanded) {
    std::string out;
    EXPECT_EQ(0, RunAndWait({"echo", "$HOME; touch /tmp/x", "*"}, 0, &out));
    EXPECT_EQ("$HOME; touch /tmp/x *\n", out);
}

TEST(RunAndWaitTest, MissingProgramGivesMinusOne) {
    EXPECT_EQ(-1, RunAndWait({"/nonexistent/program"}));
    EXPECT_EQ(-1, RunAndWait({"no-such-program-anywhere"}));
    EXPECT_EQ(-1, RunAndWait({}));
}

TEST(RunAndWaitTest, TimeOutKillsTheChildAndItsChildren) {
    test::TempDir dir;
    std::string marker = dir.File("late");
    EXPECT_EQ(-1, RunAndWait({"/bin/sh", "-c", "sleep 1; touch " + marker}, 200));
    std::this_thread::sleep_for(std::chrono::milliseconds(1300));
    EXPECT_FALSE(PathExists(marker)) << "the shell's child outlived the time-out";
}

TEST(RunAndWaitTest, DeathBySignalIsReportedAsShellsDo) {
    EXPECT_EQ(128 + SIGKILL, RunAndWait({"/bin/sh", "-c", "kill -9 $$"}));
}

TEST(RunAndWaitTest, LargeOutputDoesNotDeadlock) {
    std::string out;
    EXPECT_EQ(0, RunAndWait({"/bin/sh", "-c", "head -c 300000 /dev/zero | tr '\\0' a"}, 10000, &out));
    EXPECT_EQ(300000u, out.size());
}

TEST(StartDetachedTest, ProgramRunsOutsideOurSessionAndIsNotOurChild) {
    test::TempDir dir;
    std::string file = dir.File("pid");
    int pid = StartDetached({"/bin/sh", "-c", "echo $$ > " + file + ".tmp; mv " + file + ".tmp " + file});
    ASSERT_GT(pid, 0);
    EXPECT_EQ(std::to_string(pid) + "\n", AwaitFile(file));
    EXPECT_EQ(-1, waitpid(pid, nullptr, WNOHANG));
    EXPECT_EQ(ECHILD, errno);
}

TEST(StartDetachedTest, StandardStreamsGoToDevNull) {
    int pid = StartDetached({"/bin/sleep", "5"});
    ASSERT_GT(pid, 0);
    char target[256] = {};
    std::string fd1 = "/proc/" + std::to_string(pid) + "/fd/1";
    ssize_t n = readlink(fd1.c_str(), target, sizeof target - 1);
    // The detached program runs in a session of its own (started by the middle
    // process). Our own session id reads 0 when its leader lives outside this PID
    // namespace, as in containers, so only the program's is checked for a value.
    EXPECT_GT(getsid(pid), 0);
    EXPECT_NE(getsid(0), getsid(pid));
    kill(pid, SIGKILL);
    ASSERT_GT(n, 0);
    EXPECT_STREQ("/dev/null", target);
}

TEST(StartDetachedTest, WorkingDirectoryIsApplied) {
    test::TempDir dir;
    int pid = StartDetached({"/bin/sh", "-c", "pwd > cwd.tmp; mv cwd.tmp cwd"}, false, dir.Path());
    ASSERT_GT(pid, 0);
    EXPECT_EQ(WithoutSlash(dir.Path()) + "\n", AwaitFile(dir.File("cwd")));
    EXPECT_EQ(-1, StartDetached({"/bin/true"}, false, dir.File("missing")));
}

TEST(StartDetachedTest, MissingProgramGivesMinusOne) {
    EXPECT_EQ(-1, StartDetached({"/nonexistent/program"}));
    EXPECT_EQ(-1, StartDetached({}));
}

TEST(ExitNowTest, SkipsExitHandlers) {
    test::TempDir dir;
    static std::string marker;
    marker = dir.File("atexit-ran");
    pid_t child = fork();
    if (child == 0) {
        std::atexit([] { CreateFileIfMissing(marker); });
        ExitNow(7);
    }
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    EXPECT_EQ(7, WEXITSTATUS(status));
    EXPECT_FALSE(PathExists(marker));
}

TEST(FindInPathTest, FindsExecutablesOnly) {
    EXPECT_FALSE(FindInPath("sh").empty());
    EXPECT_EQ("", FindInPath("no-such-program-anywhere"));
    EXPECT_EQ("", FindInPath(""));
}

// Stand-in editor and opener that record how they were called.
class ShellOpenTest : public ::testing::Test {
protected:
    void SetUp() override {
        WriteScript(dir.File("bin/xdg-open"), "echo \"opener $*\" > " + dir.File("opened.tmp") +
                                                  "; mv " + dir.File("opened.tmp") + " " +
                                                  dir.File("opened"));
        WriteScript(dir.File("bin/myeditor"), "echo \"editor $*\" > " + dir.File("opened.tmp") +
                                                  "; mv " + dir.File("opened.tmp") + " " +
                                                  dir.File("opened"));
        Save("PATH");
        Save("VISUAL");
        Save("EDITOR");
        setenv("PATH", (dir.File("bin") + ":/usr/bin:/bin").c_str(), 1);
        unsetenv("VISUAL");
        setenv("EDITOR", (dir.File("bin/myeditor") + " --wait").c_str(), 1);
    }
    void TearDown() override {
        for (auto& [name, value] : saved) {
            if (value.second) setenv(name.c_str(), value.first.c_str(), 1);
            else unsetenv(name.c_str());
        }
    }
    void Save(const std::string& name) {
        const char* v = std::getenv(name.c_str());
        saved.push_back({name, {v ? v : "", v != nullptr}});
    }
    std::string Opened() { return AwaitFile(dir.File("opened")); }
    bool MkdirBin() { return CreateDirectories(dir.File("bin")); }

    test::TempDir dir;
    bool binReady = MkdirBin();
    std::vector<std::pair<std::string, std::pair<std::string, bool>>> saved;
};

TEST_F(ShellOpenTest, TextFilesGoToTheEditorWithItsArguments) {
    ASSERT_TRUE(WriteFileAtomic(dir.File("SMSOUT.LOG"), "line\n"));
    EXPECT_TRUE(ShellOpen(dir.File("SMSOUT.LOG")));
    EXPECT_EQ("editor --wait " + dir.File("SMSOUT.LOG") + "\n", Opened());
}

TEST_F(ShellOpenTest, SpoolFileThatLooksLikeTextGoesToTheEditor) {
    ASSERT_TRUE(WriteFileAtomic(dir.File("TEST0001.REQ"), "[SMS]\nTo=123\n"));
    EXPECT_TRUE(ShellOpen(dir.File("TEST0001.REQ")));
    EXPECT_EQ("editor --wait " + dir.File("TEST0001.REQ") + "\n", Opened());
}

TEST_F(ShellOpenTest, BinaryFilesAndUrlsGoToTheDesktopOpener) {
    ASSERT_TRUE(WriteFileAtomic(dir.File("picture.jpg"), std::string("\xff\xd8\0\0JFIF", 8)));
    EXPECT_TRUE(ShellOpen(dir.File("picture.jpg")));
    EXPECT_EQ("opener " + dir.File("picture.jpg") + "\n", Opened());
    ::unlink(dir.File("opened").c_str());
    EXPECT_TRUE(ShellOpen("http://127.0.0.1:8800/"));
    EXPECT_EQ("opener http://127.0.0.1:8800/\n", Opened());
}

TEST_F(ShellOpenTest, WithoutEditorTextGoesToTheOpenerToo) {
    unsetenv("EDITOR");
    ASSERT_TRUE(WriteFileAtomic(dir.File("a.txt"), "t\n"));
    EXPECT_TRUE(ShellOpen(dir.File("a.txt")));
    EXPECT_EQ("opener " + dir.File("a.txt") + "\n", Opened());
}

TEST_F(ShellOpenTest, NameLookingLikeAnOptionIsPassedAsAPath) {
    EXPECT_TRUE(ShellOpen("-rf.png", dir.Path()));
    EXPECT_EQ("opener ./-rf.png\n", Opened());
}

TEST_F(ShellOpenTest, NoOpenerMeansFailure) {
    setenv("PATH", "/nonexistent", 1);
    unsetenv("EDITOR");
    EXPECT_FALSE(ShellOpen("http://127.0.0.1/"));
}

}  // namespace
}  // namespace platform
