// Several processes on one INI file: no lost keys under concurrency, no torn file when a
// writer dies in the middle of a rewrite.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <string>
#include <thread>

#include "platform/ini.h"
#include "temp_dir.h"

namespace platform {
namespace {

int WaitExitCode(pid_t pid) {
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Runs `body` in a forked child whose exit code tells whether every step worked.
template <typename Body>
pid_t Spawn(Body body) {
    pid_t pid = fork();
    if (pid == 0) _exit(body() ? 0 : 1);
    return pid;
}

TEST(IniConcurrentWriters, TwoProcessesWritingFiveHundredKeysEachLoseNone) {
    test::TempDir dir;
    std::string path = dir.File("ZELLA.INI");
    ASSERT_TRUE(WritePrivateProfileString(path, "ZELLA", "Seed", "1"));
    auto writer = [&](int id) {
        return [&path, id] {
            for (int i = 0; i < 500; ++i) {
                std::string key = "W" + std::to_string(id) + "Key" + std::to_string(i);
                if (!WritePrivateProfileString(path, "ZELLA", key, std::to_string(i))) return false;
            }
            return true;
        };
    };
    pid_t a = Spawn(writer(1));
    pid_t b = Spawn(writer(2));
    ASSERT_GT(a, 0);
    ASSERT_GT(b, 0);
    EXPECT_EQ(0, WaitExitCode(a));
    EXPECT_EQ(0, WaitExitCode(b));
    std::vector<std::string> lines = GetPrivateProfileSection(path, "ZELLA", 1 << 20);
    EXPECT_EQ(1001u, lines.size());
    int missing = 0;
    for (int id = 1; id <= 2; ++id) {
        for (int i = 0; i < 500; ++i) {
            std::string key = "W" + std::to_string(id) + "Key" + std::to_string(i);
            if (GetPrivateProfileString(path, "ZELLA", key, "") != std::to_string(i)) ++missing;
        }
    }
    EXPECT_EQ(0, missing);
}

constexpr int kKeys = 3000;

// Every key carries the generation of the rewrite that wrote it; a torn file would mix
// generations or lose keys.
bool RewriteForever(const std::string& path) {
    for (unsigned gen = 1;; ++gen) {
        IniBatch batch(path);
        std::string value = "generation-" + std::to_string(gen) + std::string(40, 'x');
        for (int i = 0; i < kKeys; ++i) batch.Write("Big", "Key" + std::to_string(i), value);
        batch.Write("Big", "Generation", std::to_string(gen));
        if (!batch.Commit()) return false;
    }
}

::testing::AssertionResult Consistent(const std::string& path) {
    std::vector<std::string> lines = GetPrivateProfileSection(path, "Big", 1 << 24);
    if (lines.size() != kKeys + 1) {
        return ::testing::AssertionFailure() << "section has " << lines.size() << " lines";
    }
    std::string gen = GetPrivateProfileString(path, "Big", "Generation", "");
    std::string expected = "generation-" + gen + std::string(40, 'x');
    for (int i = 0; i < kKeys; ++i) {
        if (lines[i] != "Key" + std::to_string(i) + "=" + expected) {
            return ::testing::AssertionFailure() << "line " << i << " is " << lines[i];
        }
    }
    return ::testing::AssertionSuccess();
}

TEST(IniKilledWriter, SigkillMidRewriteLeavesOldOrNewFile) {
    test::TempDir dir;
    std::string path = dir.File("ZELLA.INI");
    std::mt19937 rng(42);
    std::string previousGen;
    for (int round = 0; round < 25; ++round) {
        pid_t child = Spawn([&] { return RewriteForever(path); });
        ASSERT_GT(child, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(20 + rng() % 60));
        kill(child, SIGKILL);
        EXPECT_EQ(128 + SIGKILL, WaitExitCode(child)) << "writer stopped by itself";
        if (!PathExists(path)) continue;  // killed before its first rename
        ASSERT_TRUE(Consistent(path)) << "round " << round;
    }
    // The dead writers' locks went with them: a new write still gets through.
    EXPECT_TRUE(WritePrivateProfileString(path, "After", "K", "v"));
    EXPECT_EQ("v", GetPrivateProfileString(path, "After", "K", ""));
    EXPECT_TRUE(ListDirectory(dir.Path(), ".ZELLA.INI.*.tmp").empty())
        << "temporary files of killed writers are cleaned up by the next writer";
}

}  // namespace
}  // namespace platform
