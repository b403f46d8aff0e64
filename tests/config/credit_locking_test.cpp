// Debits racing other writers: a held credit file is waited for in 100 ms steps up to
// 60 seconds (less when the operator cancels), readers never wait, and two processes debiting at once lose no debit.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "config/credit.h"
#include "platform/cancel.h"
#include "counters_fixture.h"

namespace {

using config::DebitCredit;

// A clock on which the service lets go of its lock after `releaseAfterMs` of sleeping.
class ReleasingClock : public platform::FakeClock {
public:
    ReleasingClock(platform::FileLock& lock, std::uint64_t releaseAfterMs)
        : lock_(lock), releaseAfterMs_(releaseAfterMs) {}
    void Sleep(std::uint64_t ms) override {
        FakeClock::Sleep(ms);
        ++sleeps_;
        if (Slept() >= releaseAfterMs_) lock_ = platform::FileLock();
    }
    int sleeps_ = 0;

private:
    platform::FileLock& lock_;
    std::uint64_t releaseAfterMs_;
};

// Real time in which every 100 ms retry takes 1 ms, so the bound is kept but contention
// does not make the race test slow.
class QuickClock : public platform::ClockSource {
public:
    std::uint64_t TickCount() override { return ticks_; }
    void Sleep(std::uint64_t ms) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ticks_ += ms;
    }
    std::int64_t UnixMillis() override { return 1'767'225'600'000; }

private:
    std::uint64_t ticks_ = 0;
};

class CreditLockingTest : public CountersTest {
protected:
    std::string CreditPath() { return dir_ + "USERS/alice/SMS.CTR"; }
    void WriteBalance(std::int64_t thousandths) {
        WriteRaw(CreditPath(), LittleEndian(static_cast<std::uint64_t>(thousandths), 8));
    }
    std::int64_t ReadBalance() { return DebitCredit("alice", nullptr, 0, true); }
};

TEST_F(CreditLockingTest, FileHeldForSixtySecondsCountsAsNoLimitAndIsUntouched) {
    WriteBalance(2000);
    platform::FileLock service(CreditPath(), true, false);
    ASSERT_TRUE(service.Locked());
    EXPECT_EQ(DebitCredit("alice", nullptr, 1000, false), config::kNoCreditLimit);
    EXPECT_GE(clock_.Slept(), 60'000u);
    EXPECT_LE(clock_.Slept(), 60'100u);
    // Inside a cancelled long operation (the user editor's) the wait ends at once.
    platform::CancelToken cancel;
    cancel.Cancel();
    {
        platform::ScopedCancelToken scope(&cancel);
        const std::uint64_t before = clock_.Slept();
        EXPECT_EQ(DebitCredit("alice", nullptr, 1000, false), config::kNoCreditLimit);
        EXPECT_LE(clock_.Slept() - before, 100u);
    }
    service = platform::FileLock();
    EXPECT_EQ(ReadBalance(), 2000);
}

TEST_F(CreditLockingTest, DebitWaitsInHundredMillisecondStepsUntilTheHolderLetsGo) {
    WriteBalance(2000);
    platform::FileLock service(CreditPath(), true, false);
    ASSERT_TRUE(service.Locked());
    ReleasingClock clock(service, 500);
    platform::SetClock(&clock);
    EXPECT_EQ(DebitCredit("alice", nullptr, 1000, false), 1000);
    platform::SetClock(&clock_);
    EXPECT_EQ(clock.sleeps_, 5);
    EXPECT_EQ(clock.Slept(), 500u);
    EXPECT_EQ(ReadBalance(), 1000);
}

TEST_F(CreditLockingTest, ReadOnlyDebitDoesNotWaitForAWriter) {
    WriteBalance(2000);
    platform::FileLock service(CreditPath(), true, false);
    ASSERT_TRUE(service.Locked());
    EXPECT_EQ(DebitCredit("alice", nullptr, 500, true), 1500);
    EXPECT_EQ(clock_.Slept(), 0u);
}

TEST_F(CreditLockingTest, DeletingRefusesWhileTheServiceHoldsTheFile) {
    WriteBalance(2000);
    {
        platform::FileLock service(CreditPath(), true, false);
        ASSERT_TRUE(service.Locked());
        EXPECT_FALSE(config::DeleteCreditFile("alice"));
        EXPECT_TRUE(config::HasCreditFile("alice"));
    }
    EXPECT_TRUE(config::DeleteCreditFile("alice"));
}

// Each child debits one message `rounds` times; exit code 0 when every debit was
// covered, so a debit that fell back to "no limit" is caught as well as a lost one.
int DebitInChild(int rounds) {
    QuickClock clock;
    platform::SetClock(&clock);
    for (int i = 0; i < rounds; ++i) {
        std::int64_t left = DebitCredit("alice", nullptr, 1000, false);
        if (left < 0 || left >= config::kNoCreditLimit) return 1;
    }
    return 0;
}

TEST_F(CreditLockingTest, TwoProcessesDebitingAtOnceLoseNoDebit) {
    constexpr int kRounds = 450;
    WriteBalance(999'000);  // below kNoCreditLimit, so a fallback shows
    pid_t children[2];
    for (pid_t& child : children) {
        child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) _exit(DebitInChild(kRounds));
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }
    EXPECT_EQ(ReadBalance(), 999'000 - 2 * kRounds * 1000);
}

}  // namespace
