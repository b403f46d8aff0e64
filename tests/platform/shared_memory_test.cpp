// The status blocks: the console opens, never creates; bytes and bounds.
#include <fcntl.h>
#include <sys/stat.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/shared_memory.h"
#include "tests/support/unprivileged.h"

namespace {

namespace sb = platform::status_block;

class SharedMemoryBlocks : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("ZELLA_SHM_NAMESPACE", ("shm" + std::to_string(getpid())).c_str(), 1);
    }
    void TearDown() override {
        shm_unlink(platform::SharedMemoryObjectName(sb::kGatewayName).c_str());
        shm_unlink(platform::SharedMemoryObjectName(sb::kGatewayGlobalName).c_str());
    }
    static bool ObjectExists(const std::string& logical) {
        int fd = shm_open(platform::SharedMemoryObjectName(logical).c_str(), O_RDONLY, 0);
        if (fd >= 0) close(fd);
        return fd >= 0;
    }
};

TEST_F(SharedMemoryBlocks, OpeningAMissingBlockFailsAndCreatesNothing) {
    platform::SharedMemory block;
    EXPECT_FALSE(block.Open(sb::kGatewayName));
    EXPECT_FALSE(ObjectExists(sb::kGatewayName));
    EXPECT_FALSE(platform::ReadGatewayStatus().opened);
    EXPECT_FALSE(platform::RequestStopThroughBlock(sb::kGatewayName, sb::kGatewayGlobalName));
    EXPECT_FALSE(ObjectExists(sb::kGatewayName));
    EXPECT_FALSE(ObjectExists(sb::kGatewayGlobalName));
}

TEST_F(SharedMemoryBlocks, ConsoleSeesTheServiceBytesAndTheServiceSeesTheStopRequest) {
    platform::SharedMemory service;
    ASSERT_TRUE(service.Create(sb::kGatewayName, sb::kBlockSize));
    service.SetByte(sb::kWebPortInUse, 1);
    service.SetByte(sb::kSmppServerRunning, 1);
    platform::GatewayStatusBytes status = platform::ReadGatewayStatus();
    EXPECT_TRUE(status.opened);
    EXPECT_TRUE(status.webPortInUse);
    EXPECT_TRUE(status.smppServerRunning);
    EXPECT_FALSE(status.smppPortInUse);
    EXPECT_EQ(0, service.Byte(sb::kStopRequest));
    EXPECT_TRUE(platform::RequestStopThroughBlock(sb::kGatewayName, sb::kGatewayGlobalName));
    EXPECT_EQ(1, service.Byte(sb::kStopRequest));
}

TEST_F(SharedMemoryBlocks, GlobalNameIsTriedSecond) {
    platform::SharedMemory service;
    ASSERT_TRUE(service.Create(sb::kGatewayGlobalName, sb::kBlockSize));
    EXPECT_EQ(std::string::npos, platform::SharedMemoryObjectName(sb::kGatewayGlobalName).find('\\'));
    service.SetByte(sb::kSmppPortInUse, 7);
    EXPECT_TRUE(platform::ReadGatewayStatus().smppPortInUse);
}

TEST_F(SharedMemoryBlocks, BytesBeyondASmallBlockReadAsZeroAndCannotBeSet) {
    platform::SharedMemory service;
    ASSERT_TRUE(service.Create(sb::kGatewayName, 3));
    service.SetByte(2, 1);
    platform::SharedMemory console;
    ASSERT_TRUE(console.Open(sb::kGatewayName));
    EXPECT_EQ(3u, console.Size());
    EXPECT_EQ(1, console.Byte(2));
    EXPECT_EQ(0, console.Byte(4));
    EXPECT_FALSE(console.SetByte(4, 1));
    EXPECT_FALSE(platform::ReadGatewayStatus().smppPortInUse);
}

TEST_F(SharedMemoryBlocks, ServiceEndingRemovesItsBlock) {
    {
        platform::SharedMemory service;
        ASSERT_TRUE(service.Create(sb::kGatewayName, sb::kBlockSize));
        EXPECT_TRUE(ObjectExists(sb::kGatewayName));
    }
    EXPECT_FALSE(ObjectExists(sb::kGatewayName));
}

TEST_F(SharedMemoryBlocks, NamespacesKeepInstancesApart) {
    platform::SharedMemory service;
    ASSERT_TRUE(service.Create(sb::kGatewayName, sb::kBlockSize));
    setenv("ZELLA_SHM_NAMESPACE", "someone-else", 1);
    EXPECT_FALSE(platform::ReadGatewayStatus().opened);
    setenv("ZELLA_SHM_NAMESPACE", ("shm" + std::to_string(getpid())).c_str(), 1);
    EXPECT_TRUE(platform::ReadGatewayStatus().opened);
}

// Nobody creates the Gateway block first and says the web port is taken. The root
// service refuses to adopt it (its status would be nobody's to write), and the root
// console does not believe it.
TEST_F(SharedMemoryBlocks, BlockMadeFirstByNobodyIsRefusedByServiceAndConsole) {
    if (!zella_test::CanActAsNobody()) GTEST_SKIP() << "needs root and setpriv";
    const std::string file = "/dev/shm" + platform::SharedMemoryObjectName(sb::kGatewayName);
    ASSERT_TRUE(zella_test::RunAsNobody("umask 0; printf '\\000\\000\\001\\000\\001' > " + file));
    EXPECT_FALSE(platform::ReadGatewayStatus().opened);
    EXPECT_FALSE(platform::RequestStopThroughBlock(sb::kGatewayName, sb::kGatewayGlobalName));
    // Even made private to nobody, it stays nobody's.
    ASSERT_TRUE(zella_test::RunAsNobody("chmod 600 " + file));
    EXPECT_FALSE(platform::ReadGatewayStatus().opened);
    platform::SharedMemory service;
    EXPECT_FALSE(service.Create(sb::kGatewayName, sb::kBlockSize));
    struct stat st {};
    ASSERT_EQ(0, stat(file.c_str(), &st));
    EXPECT_NE(0u, st.st_uid);
}

// Under systemd the Gateway service runs as the user "quvsms", so its block belongs to
// that user and the console must believe it; a block of any other user stays refused.
// The user is played by nobody: a child process in a mount namespace of its own sees a
// passwd file in which nobody's uid is named "quvsms".
TEST_F(SharedMemoryBlocks, BlockOfTheGatewayUserIsBelievedAndNoOtherUsers) {
    if (!zella_test::CanActAsNobody()) GTEST_SKIP() << "needs root and setpriv";
    const std::string file = "/dev/shm" + platform::SharedMemoryObjectName(sb::kGatewayName);
    ASSERT_TRUE(zella_test::RunAsNobody("umask 027; printf '\\000\\000\\001' > " + file));
    struct stat st {};
    ASSERT_EQ(0, stat(file.c_str(), &st));
    ASSERT_NE(0u, st.st_uid);
    EXPECT_FALSE(platform::ReadGatewayStatus().opened) << "nobody is not the gateway's user";

    char passwd[] = "/tmp/zella-passwd-XXXXXX";
    int fd = mkstemp(passwd);
    ASSERT_GE(fd, 0);
    std::string line = "root:x:0:0:root:/root:/bin/sh\nquvsms:x:" + std::to_string(st.st_uid) + ":" +
                       std::to_string(st.st_gid) + "::/var/lib/quvsms:/usr/sbin/nologin\n";
    ASSERT_EQ(static_cast<ssize_t>(line.size()), write(fd, line.data(), line.size()));
    close(fd);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount(passwd, "/etc/passwd", nullptr, MS_BIND, nullptr) != 0) {
            _exit(77);
        }
        platform::GatewayStatusBytes status = platform::ReadGatewayStatus();
        _exit(status.opened && status.webPortInUse ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    unlink(passwd);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "no mount namespace";
    EXPECT_EQ(0, WEXITSTATUS(status)) << "the gateway user's block was not believed";
}

TEST_F(SharedMemoryBlocks, ServiceReplacesItsOwnLeftOverBlockWithAPrivateOne) {
    const std::string name = platform::SharedMemoryObjectName(sb::kGatewayName);
    int stale = shm_open(name.c_str(), O_RDWR | O_CREAT, 0666);
    ASSERT_GE(stale, 0);
    ASSERT_EQ(0, ftruncate(stale, 8));
    ASSERT_EQ(1, pwrite(stale, "\1", 1, sb::kWebPortInUse));
    close(stale);
    platform::SharedMemory service;
    ASSERT_TRUE(service.Create(sb::kGatewayName, sb::kBlockSize));
    struct stat st {};
    ASSERT_EQ(0, stat(("/dev/shm" + name).c_str(), &st));
    EXPECT_EQ(0640u, st.st_mode & 07777);
    EXPECT_EQ(sb::kBlockSize, static_cast<std::size_t>(st.st_size));
    EXPECT_FALSE(platform::ReadGatewayStatus().webPortInUse);
}

}  // namespace
