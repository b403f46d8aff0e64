// The real console under the script driver sends a test SMS through the "Modems" page
// while the stand-in Gateway service takes the request out of the spool: delivered, the
// dialog reads "OK" back from the day's SMSOUT log; told to fail, the dialog shows the
// retry details the service wrote into the waiting request, and the outbound queue
// viewer lists that request.
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "platform/files.h"
#include "platform/ini.h"
#include "tests/support/console_process.h"
#include "tests/support/service_fixture.h"

namespace {

using namespace std::chrono_literals;

const char* const kSendScript =
    "tab \"Modems\"\n"
    "choose \"SMSC Connections:\" \"COM7:\"\n"
    "press \"&Test\"\n"
    "expect title \"Send Test Message: COM7:\"\n"
    "set \"Phone Number:\" \"+4479460001\"\n"
    "press \"Send Test SMS\"\n"
    "expect smsStatus \"Status:  Waiting\"\n"
    "expect \"Cancel\" visible\n"
    "wait 3500\n"
    "expect smsStatus \"%s\"\n"
    "expect smsDetail \"%s\"\n"
    "press \"OK\"\n"
    "%s"
    "press \"Cancel\"\n";

// The outbound queue viewer of the Service tab lists the request still waiting.
const char* const kQueueViewerScript =
    "tab \"Service\"\n"
    "press queueView\n"
    "expect title \"Outbound SMS Queue\"\n"
    "expect summary \"Outbound SMS Message Queue:  1 message\"\n"
    "choose rows #1\n"
    "press \"Close\"\n";

class TestMessageScript : public services_test::ServiceFixture {
protected:
    void SetUp() override {
        ServiceFixture::SetUp();
        zella_test::CopyConsoleInto(ZELLA_CONSOLE_DIR, programDir_, zella_test::SmscLinks::None);
        platform::WritePrivateProfileString(dataDir_ + "ZELLA.INI", "ZELLA", "Modem1", "COM7:");
        ASSERT_EQ(0, Supervisor()->Install({"QuvMMSC", "QuvSMS MMSC", programDir_ + "mmscnt"}));
        InstallAndStartGateway();
    }

    // Runs the send script expecting `status` and `detail`; returns the transcript.
    std::string Send(const std::string& status, const std::string& detail, const char* then = "") {
        char script[4096];
        std::snprintf(script, sizeof script, kSendScript, status.c_str(), detail.c_str(), then);
        std::ofstream(dataDir_ + "script.txt") << script;
        const int code = zella_test::RunConsoleScript(programDir_, dataDir_ + "script.txt",
                                                      dataDir_ + "out.txt", {});
        const std::string out = zella_test::ReadAll(dataDir_ + "out.txt");
        EXPECT_EQ(0, code) << out;
        EXPECT_EQ(std::string::npos, out.find("FAIL")) << out;
        return out;
    }

    // The test requests left in the outbound queue.
    std::vector<platform::DirEntry> Waiting() const {
        return platform::ListDirectory(dataDir_ + "Q/", "TEST*.REQ");
    }
};

TEST_F(TestMessageScript, DeliveredTestSmsShowsTheSentStatusFromTheLog) {
    Send("Status:  OK -- Message Sent", "");
    EXPECT_TRUE(Waiting().empty());
    std::string log;
    for (const auto& e : platform::ListDirectory(acctdb::GetLogDirectory(), "SMSOUT-*.LOG"))
        platform::ReadFile(acctdb::GetLogDirectory() + e.name, log);
    EXPECT_NE(std::string::npos, log.find(",+4479460001,OK")) << log;
}

TEST_F(TestMessageScript, FailedTestSmsShowsTheRetryAndTheLastError) {
    ASSERT_TRUE(platform::WriteFileAtomic(dataDir_ + "STANDIN-FAIL", "No response from modem"));
    const std::string out = Send("Status:  Retry pending, 1 attempts",
                                 "Last Error Info:  No response from modem", kQueueViewerScript);
    EXPECT_NE(std::string::npos, out.find("open: Outbound SMS Queue")) << out;
    // Closing the dialog leaves the request waiting, with what the service wrote into it.
    const auto waiting = Waiting();
    ASSERT_EQ(1u, waiting.size());
    const std::string path = dataDir_ + "Q/" + waiting[0].name;
    EXPECT_EQ("+4479460001", platform::GetPrivateProfileString(path, "SMS", "PhoneNumber", ""));
    EXPECT_EQ("COM7:", platform::GetPrivateProfileString(path, "SMS", "SMSCRoute", ""));
    EXPECT_EQ("1", platform::GetPrivateProfileString(path, "ErrorDetail", "RetryCount", ""));
}

// The MMSC library's pages reach the test message dialog and the phone defaults by name
// in the running console: the console program must carry both in its dynamic symbol
// table, as defined functions.
TEST(ConsoleExports, TestMessageDialogAndPhoneDefaultsAreExportedByTheProgram) {
    const std::string command =
        "nm -D --defined-only " + std::string(ZELLA_CONSOLE_DIR) + "/zella 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string symbols;
    char buffer[4096];
    while (std::size_t n = fread(buffer, 1, sizeof buffer, pipe)) symbols.append(buffer, n);
    pclose(pipe);
    for (const char* name : {" T TestMessageDlgProc\n", " T QuvsmsModemHasDefaultSettings\n"})
        EXPECT_NE(symbols.find(name), std::string::npos) << name << symbols.substr(0, 2000);
}

}  // namespace
