// Files, directory walks and advisory locks, against real files and a real second process.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/append_file.h"
#include "platform/files.h"
#include "temp_dir.h"

namespace platform {
namespace {

std::vector<std::string> Names(const std::vector<DirEntry>& entries) {
    std::vector<std::string> names;
    for (const DirEntry& e : entries) names.push_back(e.name);
    return names;
}

TEST(FilePatterns, StarAndQuestionMarkIgnoreCase) {
    EXPECT_TRUE(MatchesPattern("TEST0001.REQ", "*.req"));
    EXPECT_TRUE(MatchesPattern("test0001.req", "TEST????.REQ"));
    EXPECT_FALSE(MatchesPattern("TEST001.REQ", "TEST????.REQ"));
    EXPECT_FALSE(MatchesPattern("a.REQ.bak", "*.REQ"));
    EXPECT_TRUE(MatchesPattern("a.b.c", "*.*.c"));
    EXPECT_TRUE(MatchesPattern("", "*"));
    EXPECT_FALSE(MatchesPattern("x", ""));
}

TEST(FilePatterns, StarDotStarMatchesNamesWithoutDot) {
    EXPECT_TRUE(MatchesPattern("README", "*.*"));
}

TEST(FilePaths, SlashHelpers) {
    EXPECT_EQ("/a/b/", WithSlash("/a/b"));
    EXPECT_EQ("/a/b/", WithSlash("/a/b/"));
    EXPECT_EQ("", WithSlash(""));
    EXPECT_EQ("/a/b", WithoutSlash("/a/b///"));
    EXPECT_EQ("/", WithoutSlash("///"));
}

class FilesInDir : public ::testing::Test {
protected:
    void Make(const std::string& name, const std::string& content = "x") {
        ASSERT_TRUE(WriteFileAtomic(dir.File(name), content));
    }
    test::TempDir dir;
};

TEST_F(FilesInDir, ListingMatchesPatternIgnoringCaseAndIncludesDots) {
    Make("a.req", "12345");
    Make("B.Req");
    Make("c.txt");
    ASSERT_TRUE(CreateDirectories(dir.File("sub.REQ/deeper")));
    std::vector<DirEntry> reqs = ListDirectory(dir.Path(), "*.REQ");
    EXPECT_EQ((std::vector<std::string>{"B.Req", "a.req", "sub.REQ"}), Names(reqs));
    EXPECT_EQ(5u, reqs[1].size);
    EXPECT_FALSE(reqs[1].isDirectory);
    EXPECT_TRUE(reqs[2].isDirectory);
    EXPECT_GT(reqs[1].modifiedUnixMillis, 1'600'000'000'000);
    EXPECT_EQ((std::vector<std::string>{".", "..", "B.Req", "a.req", "c.txt", "sub.REQ"}),
              Names(ListDirectory(dir.Path())));
    EXPECT_TRUE(ListDirectory(dir.File("missing/")).empty());
}

TEST_F(FilesInDir, WalkStopsWhenVisitorSaysSo) {
    for (int i = 0; i < 10; ++i) Make("f" + std::to_string(i) + ".sms");
    int seen = 0;
    WalkDirectory(dir.Path(), "*.SMS", [&](const DirEntry&) { return ++seen < 3; });
    EXPECT_EQ(3, seen);
}

TEST_F(FilesInDir, CreateDirectoriesMakesParentsAndAcceptsExisting) {
    EXPECT_TRUE(CreateDirectories(dir.File("a/b/c/")));
    EXPECT_TRUE(DirectoryExists(dir.File("a/b/c")));
    EXPECT_TRUE(CreateDirectories(dir.File("a/b")));
    Make("plain");
    EXPECT_FALSE(CreateDirectories(dir.File("plain/sub")));
}

TEST_F(FilesInDir, CreateFileIfMissingKeepsExistingContent) {
    Make("keep", "content");
    EXPECT_TRUE(CreateFileIfMissing(dir.File("keep")));
    EXPECT_EQ("content", test::ReadAll(dir.File("keep")));
    EXPECT_TRUE(CreateFileIfMissing(dir.File("new")));
    EXPECT_TRUE(FileExists(dir.File("new")));
    EXPECT_FALSE(CreateFileIfMissing(dir.File("nodir/new")));
}

TEST_F(FilesInDir, ReadFileFailsForMissingFileAndDirectory) {
    std::string content = "stale";
    EXPECT_FALSE(ReadFile(dir.File("none"), content));
    EXPECT_FALSE(ReadFile(dir.Path(), content));
    EXPECT_EQ("", content);
}

TEST_F(FilesInDir, DeleteFileRefusesWhileAnotherProcessHoldsTheLock) {
    Make("TEST0001.REQ");
    std::string path = dir.File("TEST0001.REQ");
    int ready[2], release[2];
    ASSERT_EQ(0, pipe(ready));
    ASSERT_EQ(0, pipe(release));
    pid_t holder = fork();
    if (holder == 0) {
        FileLock lock(path, true, false);
        char c = lock.Locked() ? 'L' : 'F';
        if (write(ready[1], &c, 1) != 1) _exit(2);
        if (read(release[0], &c, 1) != 1) _exit(3);
        _exit(0);
    }
    ASSERT_GT(holder, 0);
    char state = 0;
    ASSERT_EQ(1, read(ready[0], &state, 1));
    ASSERT_EQ('L', state);
    EXPECT_TRUE(IsFileLocked(path));
    EXPECT_FALSE(DeleteFileChecked(path));
    EXPECT_TRUE(FileExists(path));
    ASSERT_EQ(1, write(release[1], "x", 1));
    int status = 0;
    ASSERT_EQ(holder, waitpid(holder, &status, 0));
    EXPECT_EQ(0, WEXITSTATUS(status));
    EXPECT_FALSE(IsFileLocked(path));
    EXPECT_TRUE(DeleteFileChecked(path));
    EXPECT_FALSE(PathExists(path));
    for (int fd : {ready[0], ready[1], release[0], release[1]}) close(fd);
}

TEST_F(FilesInDir, SharedLockAlsoBlocksDeletion) {
    Make("held");
    FileLock shared(dir.File("held"), false, false);
    ASSERT_TRUE(shared.Locked());
    EXPECT_FALSE(DeleteFileChecked(dir.File("held")));
    FileLock second(dir.File("held"), false, false);
    EXPECT_TRUE(second.Locked()) << "shared locks coexist";
    FileLock exclusive(dir.File("held"), true, false);
    EXPECT_FALSE(exclusive.Locked());
}

TEST_F(FilesInDir, DeleteFileRefusesDirectoriesAndMissingFiles) {
    ASSERT_TRUE(CreateDirectories(dir.File("d")));
    EXPECT_FALSE(DeleteFileChecked(dir.File("d")));
    EXPECT_FALSE(DeleteFileChecked(dir.File("none")));
    EXPECT_TRUE(RemoveDirectory(dir.File("d/")));
}

TEST_F(FilesInDir, FileLockMovesOwnership) {
    Make("m");
    FileLock a(dir.File("m"), true, false);
    ASSERT_TRUE(a.Locked());
    FileLock b(std::move(a));
    EXPECT_FALSE(a.Locked());
    EXPECT_TRUE(b.Locked());
    b = FileLock();
    EXPECT_FALSE(IsFileLocked(dir.File("m")));
}

TEST_F(FilesInDir, DeleteTreeRemovesFilesAndSubdirectories) {
    ASSERT_TRUE(CreateDirectories(dir.File("tree/a/b")));
    Make("tree/top.txt");
    Make("tree/a/b/deep.txt");
    DeleteDirectoryTree(dir.File("tree/"));
    EXPECT_FALSE(PathExists(dir.File("tree")));
    DeleteDirectoryTree("");  // nothing happens, no crash
}

TEST_F(FilesInDir, DeleteTreeSkipsDotDirectoriesAndKeepsTheirParent) {
    ASSERT_TRUE(CreateDirectories(dir.File("tree/.hidden")));
    Make("tree/.hidden/inside");
    Make("tree/.dotfile");
    DeleteDirectoryTree(dir.File("tree"));
    EXPECT_TRUE(FileExists(dir.File("tree/.hidden/inside")));
    EXPECT_FALSE(PathExists(dir.File("tree/.dotfile")));
    EXPECT_TRUE(DirectoryExists(dir.File("tree")));
}

TEST_F(FilesInDir, DeleteTreeRemovesLinksWithoutFollowingThem) {
    ASSERT_TRUE(CreateDirectories(dir.File("outside")));
    Make("outside/precious");
    ASSERT_TRUE(CreateDirectories(dir.File("tree")));
    ASSERT_EQ(0, symlink(dir.File("outside").c_str(), dir.File("tree/link").c_str()));
    DeleteDirectoryTree(dir.File("tree"));
    EXPECT_FALSE(PathExists(dir.File("tree")));
    EXPECT_TRUE(FileExists(dir.File("outside/precious")));
    // A link given as the tree itself (an instance folder a group member replaced) is
    // not followed either.
    ASSERT_EQ(0, symlink(dir.File("outside").c_str(), dir.File("instance").c_str()));
    DeleteDirectoryTree(dir.File("instance/"));
    EXPECT_TRUE(FileExists(dir.File("outside/precious")));
}

TEST_F(FilesInDir, DeleteTreeLeavesLockedFilesInPlace) {
    ASSERT_TRUE(CreateDirectories(dir.File("tree")));
    Make("tree/busy");
    Make("tree/free");
    FileLock lock(dir.File("tree/busy"), true, false);
    DeleteDirectoryTree(dir.File("tree"));
    EXPECT_TRUE(FileExists(dir.File("tree/busy")));
    EXPECT_FALSE(PathExists(dir.File("tree/free")));
}

TEST(FileLocations, ExecutablePathIsThisTestProgram) {
    std::string exe = ExecutablePath();
    EXPECT_NE(std::string::npos, exe.find("platform_files_test")) << exe;
    EXPECT_EQ(exe.substr(0, exe.rfind('/') + 1), ExecutableDirectory());
}

TEST(FileLocations, HomeComesFromTheEnvironmentFirst) {
    const char* old = std::getenv("HOME");
    std::string saved = old != nullptr ? old : "";
    setenv("HOME", "/home/someone/", 1);
    EXPECT_EQ("/home/someone", HomeDirectory());
    unsetenv("HOME");
    EXPECT_FALSE(HomeDirectory().empty()) << "falls back to the password database";
    if (old != nullptr) setenv("HOME", saved.c_str(), 1);
}

// A log kept open follows its name: after a rename or removal, Recheck lets go and the
// next line starts the file that bears the name; a link planted under the name is refused.
TEST(AppendingFile, KeepsTheFileOpenUntilItsNameLeadsElsewhere) {
    test::TempDir dir;
    const std::string log = dir.File("SMSOUT.LOG");
    AppendingFile file;
    ASSERT_TRUE(file.Append(log, "one\r\n"));
    ASSERT_TRUE(file.Append(log, "two\r\n"));
    EXPECT_EQ("one\r\ntwo\r\n", test::ReadAll(log));

    ASSERT_EQ(0, ::rename(log.c_str(), dir.File("OLD.LOG").c_str()));
    file.Recheck();
    ASSERT_TRUE(file.Append(log, "three\r\n"));
    EXPECT_EQ("three\r\n", test::ReadAll(log));
    EXPECT_EQ("one\r\ntwo\r\n", test::ReadAll(dir.File("OLD.LOG")));

    // Unchanged: the same file stays open (a removal without Recheck still writes to it).
    file.Recheck();
    ASSERT_TRUE(file.Append(log, "four\r\n"));
    EXPECT_EQ("three\r\nfour\r\n", test::ReadAll(log));

    ASSERT_EQ(0, ::unlink(log.c_str()));
    ASSERT_EQ(0, ::symlink(dir.File("OLD.LOG").c_str(), log.c_str()));
    file.Recheck();
    EXPECT_FALSE(file.Append(log, "five\r\n"));
    EXPECT_EQ("one\r\ntwo\r\n", test::ReadAll(dir.File("OLD.LOG")));
    // Another name is another file.
    ASSERT_TRUE(file.Append(dir.File("NEXT.LOG"), "six\r\n"));
    EXPECT_EQ("six\r\n", test::ReadAll(dir.File("NEXT.LOG")));
}

}  // namespace
}  // namespace platform
