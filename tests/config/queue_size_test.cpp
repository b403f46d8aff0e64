// The outbound queue size over real spool directories and a real "SMSQSIZE" counter file.
#include "config/queue_size.h"

#include <gtest/gtest.h>

#include <string>

#include "config/config_store.h"
#include "config/counter_file.h"
#include "platform/files.h"
#include "temp_data_dir.h"

namespace {

class QueueSizeTest : public DataDirTest {
protected:
    void Touch(const std::string& relative) {
        std::string path = dir_ + "Q/" + relative;
        ASSERT_TRUE(platform::CreateDirectories(path.substr(0, path.rfind('/') + 1)));
        WriteFile(path, "[Message]\n");
    }
    void WriteQueueCounter(std::uint32_t value, std::size_t fileSize = 1464) {
        std::string bytes(fileSize, '\0');
        for (std::size_t i = 0; i < 4 && i < fileSize; ++i) {
            bytes[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
        }
        ASSERT_TRUE(platform::CreateDirectories(dir_ + "STATS/"));
        WriteFile(dir_ + "STATS/SMSQSIZE.CTR", bytes);
    }
    void FillQueue() {
        Touch("A.REQ");
        Touch("b.req");
        Touch("note.txt");
        Touch("SMPP - h-1/1.REQ");
        Touch("SMPP - h-1/2.Req");
        Touch("MMSQ__x/1.REQ");
        Touch("MMSQ__x/2.REQ");
        Touch("mmsq__lower/3.REQ");
        Touch("MMSQ__x/deeper/4.REQ");  // two levels down: never counted
        ASSERT_TRUE(platform::CreateDirectories(dir_ + "Q/dir.REQ/"));  // a directory, not a file
    }
};

TEST_F(QueueSizeTest, WithoutCacheCountsQueueDirectoryAndEverySubDirectory) {
    FillQueue();
    WriteQueueCounter(1000);  // ignored without CacheQSize
    EXPECT_EQ(config::OutboundQueueSize(), 2u + 2u + 3u + 0u);
}

TEST_F(QueueSizeTest, WithCacheAddsServiceCountToMmsQueuesOnly) {
    FillQueue();
    WriteQueueCounter(12);
    SetZella("CacheQSize", "Yes");
    EXPECT_EQ(config::OutboundQueueSize(), 12u + 3u);
}

TEST_F(QueueSizeTest, CachedCountOfTwelvePlusThreeMmsRequestsIsFifteen) {
    WriteQueueCounter(12);
    SetZella("CacheQSize", "1");
    Touch("MMSQ__x/a.REQ");
    Touch("MMSQ__x/b.REQ");
    Touch("MMSQ__x/c.REQ");
    Touch("direct.REQ");
    EXPECT_EQ(config::OutboundQueueSize(), 15u);
}

TEST_F(QueueSizeTest, MissingOrShortCounterFileCountsZero) {
    SetZella("CacheQSize", "Yes");
    Touch("MMSQ__a/1.REQ");
    EXPECT_EQ(config::OutboundQueueSize(), 1u);
    WriteQueueCounter(0x01020304, 3);  // shorter than one counter
    EXPECT_EQ(config::OutboundQueueSize(), 1u);
    WriteQueueCounter(0x01020304, 4);
    EXPECT_EQ(config::OutboundQueueSize(), 0x01020304u + 1u);
}

TEST_F(QueueSizeTest, EmptyOrMissingQueueIsZero) {
    EXPECT_EQ(config::OutboundQueueSizeIn(dir_ + "nowhere/", false), 0u);
    EXPECT_EQ(config::OutboundQueueSize(), 0u);
}

TEST_F(QueueSizeTest, ConfiguredQueueDirectoryIsTheOneCounted) {
    SetZella("QDir", dir_ + "elsewhere");
    Touch("ignored.REQ");
    ASSERT_TRUE(platform::CreateDirectories(dir_ + "elsewhere/r/"));
    WriteFile(dir_ + "elsewhere/r/1.REQ", "");
    EXPECT_EQ(config::OutboundQueueSize(), 1u);
}

TEST_F(QueueSizeTest, CountSaturatesInsteadOfWrapping) {
    WriteQueueCounter(0xFFFFFFFFu);
    SetZella("CacheQSize", "Yes");
    Touch("MMSQ__a/1.REQ");
    EXPECT_EQ(config::OutboundQueueSize(), 0xFFFFFFFFu);
}

TEST(DailyCounterFile, ReadsLittleEndianCountersAndZeroBeyondShortEnd) {
    zella_test::TempDir dir("ctr");
    std::string path = dir.File("X-2026.CTR");
    std::string bytes = {1, 0, 0, 0, 0, 1, 0, 0, 7};  // 1, 256, then a partial counter
    ASSERT_TRUE(platform::WriteFileAtomic(path, bytes));
    config::DailyCounters counters = config::ReadDailyCounterFile(path);
    EXPECT_EQ(counters[0], 1u);
    EXPECT_EQ(counters[1], 256u);
    EXPECT_EQ(counters[2], 0u);
    EXPECT_EQ(counters[365], 0u);
    std::string full(1500, '\0');
    full[365 * 4] = 9;
    full[366 * 4] = 5;  // past the last day: ignored
    ASSERT_TRUE(platform::WriteFileAtomic(path, full));
    EXPECT_EQ(config::ReadDailyCounterFile(path)[365], 9u);
    EXPECT_EQ(config::ReadDailyCounterFile(dir.File("missing"))[0], 0u);
}

TEST(DailyCounterFile, CurrentValueStatisticsNeedBothSmsAndQsize) {
    EXPECT_TRUE(config::IsCurrentValueStatistic("SMSQSIZE"));
    EXPECT_FALSE(config::IsCurrentValueStatistic("MMSQSIZE"));
    EXPECT_FALSE(config::IsCurrentValueStatistic("SMSSENT"));
}

}  // namespace
