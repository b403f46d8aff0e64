// The kernel's lock table against locks taken by this process and by a real second one.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <string>

#include "platform/file_locks.h"
#include "platform/files.h"
#include "temp_dir.h"

namespace platform {
namespace {

// A child process that locks `path` until told to let go; every step is acknowledged
// through a pipe, so the parent never relies on timing.
class LockingChild {
public:
    explicit LockingChild(const std::string& path) {
        if (pipe(toChild_) != 0 || pipe(toParent_) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            close(toChild_[1]);
            close(toParent_[0]);
            char c = 0;
            {
                FileLock lock(path, true, false);
                c = lock.Locked() ? 'L' : 'F';
                if (write(toParent_[1], &c, 1) != 1 || read(toChild_[0], &c, 1) != 1) _exit(1);
            }
            c = 'R';
            _exit(write(toParent_[1], &c, 1) == 1 ? 0 : 1);
        }
        close(toChild_[0]);
        close(toParent_[1]);
    }
    ~LockingChild() {
        close(toChild_[1]);
        close(toParent_[0]);
        if (pid_ > 0) waitpid(pid_, nullptr, 0);
    }
    // The child's next report: 'L' locked, 'F' lock failed, 'R' released.
    char Next() {
        char c = 0;
        return read(toParent_[0], &c, 1) == 1 ? c : '?';
    }
    void Release() {
        const char c = 'r';
        ASSERT_EQ(1, write(toChild_[1], &c, 1));
    }

private:
    int toChild_[2] = {-1, -1};
    int toParent_[2] = {-1, -1};
    pid_t pid_ = -1;
};

// The walk's device and inode of each file of the directory, by name.
std::map<std::string, FileId> WalkIds(const std::string& dir) {
    std::map<std::string, FileId> ids;
    WalkDirectoryNames(dir, "*.FLG", [&](const DirEntry& e) {
        ids[e.name] = FileId{e.device, e.inode};
        return true;
    });
    return ids;
}

TEST(LockedFiles, ReportsHeldFlockLocksOfAnyProcessAndForgetsReleasedOnes) {
    test::TempDir dir;
    for (const char* name : {"child.FLG", "mine.FLG", "free.FLG"})
        ASSERT_TRUE(CreateFileIfMissing(dir.File(name)));
    std::map<std::string, FileId> ids = WalkIds(dir.Path());
    ASSERT_EQ(3u, ids.size());
    struct stat st {};
    ASSERT_EQ(0, stat(dir.File("child.FLG").c_str(), &st));
    EXPECT_EQ((FileId{st.st_dev, st.st_ino}), ids["child.FLG"]);

    FileLock mine(dir.File("mine.FLG"), false, false);  // shared, held by this process
    ASSERT_TRUE(mine.Locked());
    LockingChild child(dir.File("child.FLG"));
    ASSERT_EQ('L', child.Next());

    std::optional<FileIdSet> locked = LockedFiles();
    ASSERT_TRUE(locked.has_value());
    EXPECT_TRUE(locked->contains(ids["child.FLG"]));
    EXPECT_TRUE(locked->contains(ids["mine.FLG"]));
    EXPECT_FALSE(locked->contains(ids["free.FLG"]));

    child.Release();
    ASSERT_EQ('R', child.Next());
    locked = LockedFiles();
    ASSERT_TRUE(locked.has_value());
    EXPECT_FALSE(locked->contains(ids["child.FLG"]));
    EXPECT_TRUE(locked->contains(ids["mine.FLG"]));
}

TEST(LockedFiles, ParsesHeldFlockLinesOnly) {
    const FileIdSet ids = ParseLockTable(
        "1: FLOCK  ADVISORY  WRITE 4711 fe:00:10953340 0 EOF\n"
        "1: -> FLOCK  ADVISORY  WRITE 4712 fe:00:77 0 EOF\n"      // a waiter holds nothing
        "2: FLOCK  ADVISORY  READ 0 103:1a:42 0 EOF\n"            // major and minor in hex
        "3: POSIX  ADVISORY  WRITE 4713 fe:00:88 0 EOF\n"         // not a flock lock
        "4: OFDLCK ADVISORY  READ -1 fe:00:89 0 EOF\n"
        "5: LEASE  ACTIVE    READ 4714 fe:00:90 0 EOF\n"
        "6: FLOCK  ADVISORY  WRITE 4715 zz:00:91 0 EOF\n"         // unreadable device
        "7: FLOCK  ADVISORY  WRITE 4716 fe:00:9x 0 EOF\n"         // unreadable inode
        "8: FLOCK  ADVISORY  WRITE 4717 <none> 0 EOF\n"
        "garbage\n"
        "9: FLOCK  ADVISORY  WRITE 4718 00:2f:5");                // last line without newline
    const FileIdSet expected = {FileId{makedev(0xfe, 0), 10953340}, FileId{makedev(0x103, 0x1a), 42},
                                FileId{makedev(0, 0x2f), 5}};
    EXPECT_EQ(expected, ids);
}

}  // namespace
}  // namespace platform
