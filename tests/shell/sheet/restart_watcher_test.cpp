#include "shell/sheet/restart_watcher.h"

#include <filesystem>

#include "platform/clock.h"
#include "platform/files.h"
#include "shell/core/console_state.h"
#include "shell_fixture.h"

namespace shell {
namespace {

class RestartWatcherRounds : public testing::DataDirTest {
protected:
    void SetUp() override {
        DataDirTest::SetUp();
        platform::SetClock(&clock_);
        platform::CreateFileIfMissing(Ini());
        config::SetConfigurationPath(Ini());
        acctdb::SMSIniSetFilename(Ini());
        SetRestartTriggerBaseline("");
        Console().outboundQueueSize = 0;
        std::filesystem::create_directories(dir_ + "Q/MMSQ__vasp");
    }
    void TearDown() override {
        acctdb::SMSIniSetFilename("");
        platform::SetClock(nullptr);
        DataDirTest::TearDown();
    }
    // A request file in a sub-directory both ways of counting include.
    void Queue(const std::string& name) {
        platform::WriteFileAtomic(dir_ + "Q/MMSQ__vasp/" + name + ".REQ", "x");
    }
    std::uint32_t CountAfter(std::uint64_t ms) {
        clock_.Advance(ms);
        EXPECT_EQ(WatchRound(recount_), WatchResult::Continue);
        return Console().outboundQueueSize;
    }
    platform::FakeClock clock_;
    QueueRecount recount_;
};

// Turning CacheQSize on or off while the console runs changes how often the queue is
// counted, not only how.
TEST_F(RestartWatcherRounds, RecountPeriodFollowsCacheQSizeWhileRunning) {
    Queue("A");
    EXPECT_EQ(CountAfter(0), 1u);  // the first round always counts
    Queue("B");
    EXPECT_EQ(CountAfter(3000), 1u);  // off: every 10 seconds
    EXPECT_EQ(CountAfter(7000), 2u);

    SetZella("CacheQSize", "Yes");
    Queue("C");
    EXPECT_EQ(CountAfter(2500), 2u);
    EXPECT_EQ(CountAfter(500), 3u);  // on: every 3 seconds
    Queue("D");
    EXPECT_EQ(CountAfter(3000), 4u);

    SetZella("CacheQSize", "No");
    Queue("E");
    EXPECT_EQ(CountAfter(3000), 4u);
    EXPECT_EQ(CountAfter(7000), 5u);
}

TEST_F(RestartWatcherRounds, NewerRestartTriggerEndsTheRound) {
    SetRestartTriggerBaseline("20260101000000");
    SetZella("ConfigurationUpdateTriggerRestart", "20260101000000");
    EXPECT_EQ(WatchRound(recount_), WatchResult::Continue);
    SetZella("ConfigurationUpdateTriggerRestart", "20260101000001");
    EXPECT_EQ(WatchRound(recount_), WatchResult::Restart);
}

}  // namespace
}  // namespace shell
