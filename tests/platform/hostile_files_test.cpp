// Files an unprivileged user plants in a data directory that a root console reads and
// writes: a final symbolic link is never followed, a FIFO or device is never waited on or
// read without bound, and a lock file others can only read cannot hold off writers.
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>

#include "platform/cancel.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "platform/ini_snapshot.h"
#include "temp_dir.h"
#include "tests/platform/planted_files.h"

namespace platform {
namespace {

using test::ReadAll;
using zella_test::AsNobody;
using zella_test::WithinHangGuard;

struct stat Lstat(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(0, lstat(path.c_str(), &st)) << path;
    return st;
}

class HostileFiles : public ::testing::Test {
protected:
    void SetUp() override {
        if (!zella_test::RunningAsRoot()) GTEST_SKIP() << "needs root to play both sides";
        ASSERT_FALSE(data.Path().empty());
        ASSERT_FALSE(elsewhere.Path().empty());
        ASSERT_TRUE(zella_test::OpenToEverybody(data.Path()));
    }
    void Plant(const std::string& command) { ASSERT_TRUE(AsNobody(command)) << command; }

    test::TempDir data;       // the data directory, writable by the attacker
    test::TempDir elsewhere;  // root's own files, out of the attacker's reach
};

TEST_F(HostileFiles, DanglingLinksAtTheIniPathsCreateNothingWhereTheyPoint) {
    const std::string mmsc = data.File("MMSC.INI"), zella = data.File("ZELLA.INI");
    Plant("ln -s " + elsewhere.File("made-by-root") + " " + mmsc);
    Plant("ln -s " + elsewhere.File("also-by-root") + " " + zella);

    EXPECT_FALSE(CreateFileIfMissing(mmsc));
    EXPECT_FALSE(CreateFileIfMissing(zella, 0660));
    EXPECT_FALSE(WriteFileAtomic(mmsc, "[MMSC]\n"));
    EXPECT_FALSE(WriteFileAtomic(zella, "[ZELLA]\n", 0660));
    EXPECT_FALSE(WritePrivateProfileString(zella, "ZELLA", "Key", "v"));
    IniBatch batch(mmsc);
    batch.Write("MMSC", "Key", "v");
    EXPECT_FALSE(batch.Commit());

    EXPECT_FALSE(PathExists(elsewhere.File("made-by-root")));
    EXPECT_FALSE(PathExists(elsewhere.File("also-by-root")));
    EXPECT_TRUE(S_ISLNK(Lstat(mmsc).st_mode));
    EXPECT_TRUE(S_ISLNK(Lstat(zella).st_mode));
}

TEST_F(HostileFiles, LinkedIniFileNeitherRewritesNorRevealsTheRootFileItPointsAt) {
    const std::string secret = elsewhere.File("secret"), zella = data.File("ZELLA.INI");
    ASSERT_TRUE(WriteFileAtomic(secret, "[ZELLA]\nKey=root only\n", 0600));
    Plant("ln -s " + secret + " " + zella);

    EXPECT_FALSE(WritePrivateProfileString(zella, "ZELLA", "Key", "planted"));
    EXPECT_FALSE(WriteFileAtomic(zella, "[ZELLA]\nKey=planted\n"));
    EXPECT_EQ("def", GetPrivateProfileString(zella, "ZELLA", "Key", "def"));
    EXPECT_FALSE(IniSnapshot(zella).Loaded());

    EXPECT_EQ("[ZELLA]\nKey=root only\n", ReadAll(secret));
    const struct stat st = Lstat(secret);
    EXPECT_EQ(0600u, st.st_mode & 07777);
    EXPECT_EQ(0u, st.st_uid);
    EXPECT_TRUE(S_ISLNK(Lstat(zella).st_mode));
    // The save's lock stays beside the link, never beside the file it points at.
    EXPECT_FALSE(std::filesystem::exists(secret + ".lock"));
}

// Each planted object at an INI path: every read gives "missing" at once, every write
// fails, and nothing is ever read from the device.
TEST_F(HostileFiles, FifoOrDeviceAtAnIniPathReadsAsMissingWithoutWaiting) {
    struct Planted {
        const char* what;
        std::string command;
    };
    const std::string path = data.File("ZELLA.INI");
    const Planted cases[] = {
        {"FIFO", "mkfifo " + path},
        {"link to /dev/zero", "ln -s /dev/zero " + path},
        {"link to a FIFO",
         "mkfifo " + data.File("pipe") + " && ln -s " + data.File("pipe") + " " + path},
    };
    for (const Planted& planted : cases) {
        SCOPED_TRACE(planted.what);
        unlink(path.c_str());
        unlink(data.File("pipe").c_str());
        Plant(planted.command);
        std::optional<bool> sound = WithinHangGuard<bool>([path] {
            std::string content = "stale";
            bool ok = !ReadFile(path, content) && content.empty();
            ok = ok && !ReadFileHead(path, 16, content);
            ok = ok && GetPrivateProfileString(path, "ZELLA", "Key", "def") == "def";
            ok = ok && GetPrivateProfileSectionNames(path).empty();
            ok = ok && !IniSnapshot(path).Loaded();
            ok = ok && !CreateFileIfMissing(path);
            ok = ok && !WritePrivateProfileString(path, "ZELLA", "Key", "v");
            return ok;
        });
        ASSERT_TRUE(sound.has_value()) << "hung on the " << planted.what;
        EXPECT_TRUE(*sound);
    }
}

// A regular file longer than the bound is a failure, never an allocation of its size;
// a head read takes the head of it.
TEST_F(HostileFiles, ReadsStopAtTheirBound) {
    const std::string path = data.File("big");
    ASSERT_TRUE(WriteFileAtomic(path, std::string(17, 'x')));
    std::string content;
    EXPECT_FALSE(ReadFile(path, content, 16));
    EXPECT_TRUE(content.empty());
    EXPECT_TRUE(ReadFile(path, content, 17));
    EXPECT_EQ(17u, content.size());
    EXPECT_TRUE(ReadFileHead(path, 4, content));
    EXPECT_EQ("xxxx", content);
}

// Holds a shared lock on `path` as nobody, opened read-only as any reader can, until
// killed; the pid, after the lock is held.
pid_t HoldSharedLockAsNobody(const std::string& path) {
    const struct passwd* nobody = getpwnam("nobody");
    const struct group* nogroup = getgrnam("nogroup");
    if (nobody == nullptr || nogroup == nullptr) return -1;
    const uid_t uid = nobody->pw_uid;
    const gid_t gid = nogroup->gr_gid;
    int ready[2];
    if (pipe(ready) != 0) return -1;
    pid_t child = fork();
    if (child == 0) {
        close(ready[0]);
        if (setgroups(0, nullptr) != 0 || setresgid(gid, gid, gid) != 0 ||
            setresuid(uid, uid, uid) != 0) {
            _exit(1);
        }
        int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0 || flock(fd, LOCK_SH) != 0) _exit(2);
        if (write(ready[1], "x", 1) != 1) _exit(3);
        for (;;) pause();
    }
    close(ready[1]);
    char byte = 0;
    const bool held = child > 0 && read(ready[0], &byte, 1) == 1;
    close(ready[0]);
    if (!held && child > 0) {
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        return -1;
    }
    return child;
}

TEST_F(HostileFiles, ReadersLockOnTheIniLockFileFailsTheWriteAfterABoundedWait) {
    const std::string zella = data.File("ZELLA.INI");
    ASSERT_TRUE(WriteFileAtomic(zella, "[ZELLA]\nKey=1\n", 0644));
    ASSERT_TRUE(WriteFileAtomic(zella + ".lock", "", 0644));  // root's, readable by all
    const pid_t holder = HoldSharedLockAsNobody(zella + ".lock");
    ASSERT_GT(holder, 0);

    FakeClock clock;
    SetClock(&clock);
    std::optional<bool> saved = WithinHangGuard<bool>(
        [zella] { return WritePrivateProfileString(zella, "ZELLA", "Key", "2"); });
    SetClock(nullptr);
    // Cancelling the operation ends the wait on the real clock too.
    std::optional<bool> cancelled = WithinHangGuard<bool>([zella] {
        CancelToken token;
        ScopedCancelToken scope(&token);
        token.Cancel();
        return FileLock(zella + ".lock", true, true).Locked();
    });

    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    ASSERT_TRUE(saved.has_value()) << "the write waited on the reader's lock for ever";
    EXPECT_FALSE(*saved);
    EXPECT_GE(clock.Slept(), kLockWaitMs);
    ASSERT_TRUE(cancelled.has_value());
    EXPECT_FALSE(*cancelled);
    EXPECT_EQ("[ZELLA]\nKey=1\n", ReadAll(zella));
    // With the reader gone, the same write goes through.
    EXPECT_TRUE(WritePrivateProfileString(zella, "ZELLA", "Key", "2"));
    EXPECT_EQ("[ZELLA]\nKey=2\n", ReadAll(zella));
}

// Modes and groups are given on the descriptor: a new file gets exactly the mode asked for
// (group access is not lost to the umask), a rewritten one keeps its mode and group.
TEST_F(HostileFiles, NewFilesGetTheModeAskedForAndRewrittenOnesKeepTheirs) {
    const mode_t previous = umask(022);
    EXPECT_TRUE(CreateFileIfMissing(data.File("MMSC.INI"), 0660));
    EXPECT_TRUE(WriteFileAtomic(data.File("ZELLA.INI"), "[ZELLA]\n", 0660));
    EXPECT_TRUE(WriteFileAtomic(data.File("plain"), "x"));
    umask(previous);
    EXPECT_EQ(0660u, Lstat(data.File("MMSC.INI")).st_mode & 07777);
    EXPECT_EQ(0660u, Lstat(data.File("ZELLA.INI")).st_mode & 07777);
    EXPECT_EQ(0644u, Lstat(data.File("plain")).st_mode & 07777);

    const std::string theirs = data.File("theirs");
    Plant("printf \"[A]\\nK=1\\n\" > " + theirs + " && chmod 0640 " + theirs);
    const struct stat before = Lstat(theirs);
    ASSERT_NE(0u, before.st_uid);
    EXPECT_TRUE(WritePrivateProfileString(theirs, "A", "K", "2"));
    const struct stat after = Lstat(theirs);
    EXPECT_EQ(0640u, after.st_mode & 07777);
    EXPECT_EQ(before.st_uid, after.st_uid);
    EXPECT_EQ(before.st_gid, after.st_gid);
    EXPECT_EQ("[A]\nK=2\n", ReadAll(theirs));
    // An existing regular file is kept as it is, mode included.
    EXPECT_TRUE(CreateFileIfMissing(theirs, 0600));
    EXPECT_EQ(0640u, Lstat(theirs).st_mode & 07777);
    EXPECT_EQ("[A]\nK=2\n", ReadAll(theirs));
}

}  // namespace
}  // namespace platform
