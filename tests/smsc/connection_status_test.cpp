// The status lines of the SMSC page.
#include "smsc/connection_status.h"

#include "acctdb/acctdb.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "tests/modem/dialog_fixture.h"

namespace dialogtest {
namespace {

class SmscStatusLines : public DialogTest {
protected:
    void WriteError(const std::string& fileName, const std::string& text) {
        ASSERT_TRUE(platform::WriteFileAtomic(acctdb::GetPrivateDataDirectory() + fileName, text));
    }
};

TEST(QueueLine, CountsReadAsTheOperatorExpects) {
    EXPECT_EQ(smsc::QueueLineText(0), "Outbound Message Queue:  Empty");
    EXPECT_EQ(smsc::QueueLineText(1), "Outbound Message Queue:  1 message");
    EXPECT_EQ(smsc::QueueLineText(2), "Outbound Message Queue:  2 messages");
}

TEST_F(SmscStatusLines, CloudLineNeedsACloudNetworkModemAndAServerId) {
    SetZella("Modem1", "COM1:");
    SetZella("Modem2", "QuvSMSModem - phone:8990");
    SetZella("CloudServer", "cs-42");
    EXPECT_EQ(smsc::CloudLineText(), "");
    SetKey("QuvSMSModem - phone:8990", "Cloud", "Yes");
    EXPECT_EQ(smsc::CloudLineText(), "QuvSMS Modem Cloud Server ID: cs-42");
    SetZella("CloudServer", "");
    EXPECT_EQ(smsc::CloudLineText(), "");
}

TEST_F(SmscStatusLines, CloudLineWalkStopsAtFirstEmptyKey) {
    SetZella("Modem1", "COM1:");
    SetZella("Modem3", "QuvSMSModem - phone:8990");
    SetKey("QuvSMSModem - phone:8990", "Cloud", "Yes");
    SetZella("CloudServer", "cs-42");
    EXPECT_EQ(smsc::CloudLineText(), "");
}

TEST_F(SmscStatusLines, ErrorLinesNameRouteAndConnection) {
    SetZella("Modem1", "SMPP - 10.0.0.1:2775");
    SetZella("Modem2", "COM3:");
    SetZella("Modem3", "COM4:");
    SetKey("SMPP - 10.0.0.1:2775", "RouteName", "Main");
    SetKey("COM4:", "RouteName", "com4:");
    WriteError("SMPP - 10.0.0.1-2775.ERR", "Bind failed");
    WriteError("COM4-.ERR", "No answer");
    EXPECT_EQ(smsc::ConnectionErrorLines(),
              "Main (SMPP - 10.0.0.1:2775) : Bind failed\r\ncom4: : No answer\r\n");
}

TEST_F(SmscStatusLines, ErrorTextIsTheFirst250BytesUpToNul) {
    WriteError("COM3-.ERR", std::string(300, 'e'));
    EXPECT_EQ(smsc::ConnectionErrorText("COM3:"), std::string(250, 'e'));
    WriteError("COM3-.ERR", std::string("short\0hidden", 12));
    EXPECT_EQ(smsc::ConnectionErrorText("COM3:"), "short");
}

TEST_F(SmscStatusLines, DetailIsCappedToItsBuffer) {
    platform::IniBatch batch(ini_);
    for (int i = 1; i <= 200; ++i) {
        batch.Write("ZELLA", "Modem" + std::to_string(i), "COM" + std::to_string(i) + ":");
        WriteError("COM" + std::to_string(i) + "-.ERR", std::string(240, 'x'));
    }
    ASSERT_TRUE(batch.Commit());
    EXPECT_EQ(smsc::ConnectionErrorLines().size(), smsc::kStatusDetailSize - 1);
}

// The service ends an error file with a line break as often as not: the detail box shows
// one line per connection either way, as the Status page does.
TEST_F(SmscStatusLines, ErrorFileEndingInALineBreakAddsNoBlankLine) {
    SetZella("Modem1", "COM3:");
    SetZella("Modem2", "COM4:");
    for (const char* ending : {"\r\n", "\n", "\r\n\r\n", " \t\r\n"}) {
        WriteError("COM3-.ERR", std::string("Modem not responding") + ending);
        WriteError("COM4-.ERR", std::string("No answer") + ending);
        EXPECT_EQ(smsc::StatusText(true).detail, "COM3: : Modem not responding\r\nCOM4: : No answer\r\n");
    }
}

TEST_F(SmscStatusLines, HeadlineFollowsServiceAndErrors) {
    SetZella("Modem1", "COM3:");
    EXPECT_EQ(smsc::StatusText(false).headline, "SMSC Status:  Service is NOT active");
    EXPECT_EQ(smsc::StatusText(true).headline, "SMSC Status:  All Connections OK");
    EXPECT_EQ(smsc::StatusText(true).detail, "");
    WriteError("COM3-.ERR", "Modem not responding");
    const smsc::SmscStatus status = smsc::StatusText(true);
    EXPECT_EQ(status.headline, "SMSC Status:  ERROR");
    EXPECT_EQ(status.detail, "COM3: : Modem not responding\r\n");
    EXPECT_EQ(smsc::StatusText(false).detail, "");
}

}  // namespace
}  // namespace dialogtest
