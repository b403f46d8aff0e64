// The Status page's reading of connection error files and the status it derives
// without a running service.
#include "shell/sheet/status_refresh.h"

#include "tests/shell/sheet/page_fixture.h"

namespace pages_test {
namespace {

class StatusRefreshTest : public PageFixture {
protected:
    void ErrorFile(const std::string& name, const std::string& text) {
        ASSERT_TRUE(platform::WriteFileAtomic(dataDir_ + name + ".ERR", text));
    }
    void Section(const std::string& section, const std::string& key, const std::string& value) {
        platform::WritePrivateProfileString(dataDir_ + "ZELLA.INI", section, key, value);
    }
};

TEST_F(StatusRefreshTest, ErrorFileIsReadUpTo250BytesWithoutTrailingLineBreaks) {
    ErrorFile("long", std::string(300, 'x'));
    EXPECT_EQ(std::string(250, 'x'), shell::ReadErrorFileText(dataDir_ + "long.ERR"));
    ErrorFile("crlf", "No answer from modem\r\n\r\n");
    EXPECT_EQ("No answer from modem", shell::ReadErrorFileText(dataDir_ + "crlf.ERR"));
    ErrorFile("nul", std::string("Timeout\0stale bytes", 19));
    EXPECT_EQ("Timeout", shell::ReadErrorFileText(dataDir_ + "nul.ERR"));
    ErrorFile("empty", "");
    EXPECT_EQ("", shell::ReadErrorFileText(dataDir_ + "empty.ERR"));
    EXPECT_EQ("", shell::ReadErrorFileText(dataDir_ + "missing.ERR"));
}

TEST_F(StatusRefreshTest, RouteNameIsShownWithTheConnectionNameOnlyWhenTheyDiffer) {
    SetZella("Modem1", "COM1");
    SetZella("Modem2", "HTTP - api.example/send");
    SetZella("Modem3", "UCP - 10.0.0.1:3000");
    Section("Modem - COM1", "RouteName", "com1");  // same name, other case
    Section("HTTP - api.example/send", "RouteName", "\"Bulk\"");
    ErrorFile("COM1", "No SIM");
    ErrorFile("HTTP - api.example-send", "HTTP 500");
    ErrorFile("UCP - 10.0.0.1-3000", "Login refused");
    EXPECT_EQ(
        "com1 : No SIM\r\n"
        "Bulk (HTTP - api.example/send) : HTTP 500\r\n"
        "UCP - 10.0.0.1:3000 : Login refused\r\n",
        shell::ReadConnectionErrors());
}

TEST_F(StatusRefreshTest, GapsInTheConnectionListAreWalkedOver) {
    SetZella("Modem2", "COM2");
    SetZella("Modem201", "COM201");
    SetZella("Modem202", "COM202");
    SetZella("Modem204", "COM204");  // after an empty key past 201: not a connection
    for (const char* name : {"COM2", "COM201", "COM202", "COM204"}) ErrorFile(name, "down");
    EXPECT_EQ("COM2 : down\r\nCOM201 : down\r\nCOM202 : down\r\n", shell::ReadConnectionErrors());
}

TEST_F(StatusRefreshTest, MmscRouteErrorsFollowTheConnections) {
    SetZella("Modem1", "COM1");
    ErrorFile("COM1", "No SIM");
    std::string vaspOut = config::VaspConfigDirectory() + "VASPOUT/";
    ASSERT_TRUE(platform::CreateDirectories(vaspOut + "carrier:a"));
    ASSERT_TRUE(platform::CreateDirectories(vaspOut + ".hidden"));
    ASSERT_TRUE(platform::CreateDirectories(vaspOut + "quiet"));
    ErrorFile("MMSCROUTE--carrier-a", "MM7 fault");
    ErrorFile("MMSCROUTE--.hidden", "never shown");
    EXPECT_EQ("COM1 : No SIM\r\nMMSC Route carrier:a : MM7 fault\r\n", shell::ReadConnectionErrors());
}

TEST_F(StatusRefreshTest, DetailTextIsCappedAt1024Characters) {
    for (int n = 1; n <= 20; ++n) {
        std::string name = "COM" + std::to_string(n);
        SetZella("Modem" + std::to_string(n), name);
        ErrorFile(name, std::string(200, 'e'));
    }
    std::string detail = shell::ReadConnectionErrors();
    EXPECT_EQ(shell::kConnectionDetailLimit, detail.size());
    EXPECT_EQ(0u, detail.find("COM1 : eee"));
}

TEST_F(StatusRefreshTest, WithoutAServiceNothingIsCountedOrListed) {
    SetZella("Modem1", "COM1");
    ErrorFile("COM1", "No SIM");
    shell::GatewayStatus status = shell::ReadGatewayStatus();
    EXPECT_FALSE(status.gatewayInstalled);
    EXPECT_EQ("Service is NOT Installed", status.gatewayLine);
    EXPECT_EQ("Service is NOT active", status.connectionHeadline);
    EXPECT_EQ("", status.connectionDetail);
    EXPECT_TRUE(status.connectionAlarm);
    EXPECT_FALSE(status.smppClientsCounted);
    EXPECT_FALSE(status.mmscAvailable);
    EXPECT_EQ("Empty", status.queueText);
}

TEST(CounterCell, ZeroIsAnEmptyCell) {
    EXPECT_EQ("", shell::CounterCellText(0));
    EXPECT_EQ("1", shell::CounterCellText(1));
    EXPECT_EQ("4294967295", shell::CounterCellText(4294967295u));
}

}  // namespace
}  // namespace pages_test
