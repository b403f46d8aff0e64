// The Status page through the headless host, against the stand-in Gateway service.
#include "shell/sheet/status_page.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>

#include <atomic>
#include <thread>

#include "platform/clock.h"
#include "shell/sheet/pages.h"
#include "tests/shell/sheet/page_fixture.h"
#include "tests/support/held_port.h"

namespace pages_test {
namespace {

using zella_test::HeldPort;

class StatusPageTest : public PageFixture {
protected:
    void WithStatusPage(const std::function<void(shell::StatusPage&)>& body) {
        WithPage<shell::StatusPage>(std::make_unique<shell::StatusPage>(), body);
    }
};

// The stand-in, run by the supervisor, records its start in the supervisor's event log;
// the page's "Event Log" button shows it. The 2-Way page's "View" buttons open the
// received-message viewers.
TEST_F(StatusPageTest, EventLogAndReceivedMessageViewersOpenFromThePages) {
    StartGateway();
    host_.QueueDialog("DIALOG_EVENT", [&](ui::Dialog& d) {
        ASSERT_GE(d.RowCount("events"), 1);
        const std::string top = d.Row("events", 0).at(0);
        EXPECT_NE(std::string::npos, top.find(" - Info: Service started")) << top;
    });
    WithStatusPage([&](shell::StatusPage& page) { page.UserClick("eventLog"); });
    host_.QueueDialog("DIALOG_SMSQ", [&](ui::Dialog& d) { EXPECT_EQ("Received SMS Messages", d.Title()); });
    host_.QueueDialog("DIALOG_SMSQ", [&](ui::Dialog& d) { EXPECT_EQ("Received MMS Messages", d.Title()); });
    WithPage<ui::Page>(shell::MakeTwoWayPage(), [&](ui::Page& page) {
        page.UserClick("viewSms");
        page.UserClick("viewMms");
    });
    EXPECT_FALSE(host_.Failed()) << host_.TranscriptText();
    EXPECT_EQ(0, host_.UnusedAnswers());
}

TEST_F(StatusPageTest, StoppedGatewayReadsNotActiveInRed) {
    InstallGatewayStopped();
    WithStatusPage([&](shell::StatusPage& page) {
        EXPECT_EQ("Service is NOT active", page.Text("connHeadline"));
        EXPECT_TRUE(page.Alarm("connHeadline"));
        EXPECT_EQ("Service is NOT Active", page.Text("gwState"));
        EXPECT_TRUE(page.Alarm("gwState"));
        EXPECT_TRUE(page.Checked("gwRun"));
        EXPECT_TRUE(page.Enabled("gwStart"));
        EXPECT_FALSE(page.Enabled("gwStop"));
    });
}

TEST_F(StatusPageTest, MissingGatewayReadsNotInstalledWithItsButtonsDisabled) {
    WithStatusPage([&](shell::StatusPage& page) {
        EXPECT_EQ("Service is NOT Installed", page.Text("gwState"));
        EXPECT_TRUE(page.Alarm("gwState"));
        EXPECT_FALSE(page.Checked("gwRun"));
        EXPECT_FALSE(page.Enabled("gwStart"));
        EXPECT_FALSE(page.Enabled("gwStop"));
    });
}

TEST_F(StatusPageTest, RunningGatewayWithoutErrorsReadsAllConnectionsOk) {
    StartGateway();
    WithStatusPage([&](shell::StatusPage& page) {
        EXPECT_EQ("Service is Active", page.Text("gwState"));
        EXPECT_FALSE(page.Alarm("gwState"));
        EXPECT_EQ("All Connections OK", page.Text("connHeadline"));
        EXPECT_FALSE(page.Alarm("connHeadline"));
        EXPECT_EQ("", page.Text("connDetail"));
        EXPECT_FALSE(page.Enabled("gwStart"));
        EXPECT_TRUE(page.Enabled("gwStop"));
    });
}

TEST_F(StatusPageTest, ErrorFileShowsOneLineAndItsDeletionClearsWithinASecond) {
    SetZella("Modem1", "SMPP - smsc.example:2775");
    platform::WritePrivateProfileString(dataDir_ + "ZELLA.INI", "SMPP - smsc.example:2775",
                                        "RouteName", "Operator");
    std::string errorFile = dataDir_ + "SMPP - smsc.example-2775.ERR";
    ASSERT_TRUE(platform::WriteFileAtomic(errorFile, "Bind failed: 0x0000000E\r\n"));
    StartGateway();
    WithStatusPage([&](shell::StatusPage& page) {
        EXPECT_EQ("ERROR", page.Text("connHeadline"));
        EXPECT_EQ("Operator (SMPP - smsc.example:2775) : Bind failed: 0x0000000E\r\n",
                  page.Text("connDetail"));
        EXPECT_TRUE(page.Alarm("connHeadline"));
        EXPECT_TRUE(page.Alarm("connDetail"));
        ASSERT_TRUE(platform::DeleteFileChecked(errorFile));
        host_.Wait(shell::StatusPage::kRefreshMs);
        EXPECT_EQ("All Connections OK", page.Text("connHeadline"));
        EXPECT_EQ("", page.Text("connDetail"));
        EXPECT_FALSE(page.Alarm("connDetail"));
    });
}

TEST_F(StatusPageTest, TakenWebPortIsReportedOnTheGatewayLine) {
    HeldPort web;
    SetZella("WebPort", std::to_string(web.port));
    StartGateway();
    WithStatusPage([&](shell::StatusPage& page) {
        EXPECT_EQ("ERROR:  Web Port already in use", page.Text("gwState"));
        EXPECT_TRUE(page.Alarm("gwState"));
    });
}

TEST_F(StatusPageTest, SmppClientsAreCountedOnlyWhileTheSmppServerRuns) {
    std::string flags = dataDir_ + "SMPPData/ActiveUsers/";
    ASSERT_TRUE(platform::CreateDirectories(flags + "folder.FLG"));
    ASSERT_TRUE(platform::WriteFileAtomic(flags + "127.0.0.1-1-T-alice.FLG", ""));
    ASSERT_TRUE(platform::WriteFileAtomic(flags + "127.0.0.1-2-R-bob.flg", ""));
    ASSERT_TRUE(platform::WriteFileAtomic(flags + "notes.txt", ""));
    {
        HeldPort probe;  // a free port, released again for the service
        SetZella("SMPPPort", std::to_string(probe.port));
    }
    StartGateway();
    WithStatusPage([&](shell::StatusPage& page) {
        EXPECT_EQ("2", page.Text("smppClients"));
        EXPECT_TRUE(page.Enabled("smppClients"));
        EXPECT_TRUE(page.Enabled("smppView"));
        StopGateway();
        page.Refresh();
        EXPECT_EQ("", page.Text("smppClients"));
        EXPECT_FALSE(page.Enabled("smppClients"));
        EXPECT_FALSE(page.Enabled("smppView"));
    });
}

TEST_F(StatusPageTest, QueueTurnsRedOnlyAboveANonZeroAlertSize) {
    WithStatusPage([&](shell::StatusPage& page) {
        EXPECT_EQ("Empty", page.Text("queue"));
        shell::Console().outboundQueueSize = 11;
        SetZella("AlertEMailQueueSize", "10");
        page.Refresh();
        EXPECT_EQ("11", page.Text("queue"));
        EXPECT_TRUE(page.Alarm("queue"));
        shell::Console().outboundQueueSize = 10;
        page.Refresh();
        EXPECT_FALSE(page.Alarm("queue"));
        SetZella("AlertEMailQueueSize", "0");
        shell::Console().outboundQueueSize = 500;
        page.Refresh();
        EXPECT_FALSE(page.Alarm("queue"));
        SetZella("AlertEMailQueueSize", "");
        page.Refresh();
        EXPECT_FALSE(page.Alarm("queue"));
        EXPECT_EQ("500", page.Text("queue"));
    });
}

// Writes a yearly counter file with the given (day index, count) pairs.
void WriteCounters(const std::string& path, std::initializer_list<std::pair<int, std::uint32_t>> days) {
    std::string bytes(1464, '\0');
    for (auto [day, count] : days) {
        for (int b = 0; b < 4; ++b) bytes[day * 4 + b] = static_cast<char>((count >> (8 * b)) & 0xff);
    }
    ASSERT_TRUE(platform::WriteFileAtomic(path, bytes));
}

TEST_F(StatusPageTest, CountersShowTheirSumsAndLeaveZeroCellsEmpty) {
    platform::FakeClock clock(1'781'524'800'000);  // 2026-06-15 12:00 UTC, day index 165
    platform::SetClock(&clock);
    std::string stats = dataDir_ + "STATS/";
    ASSERT_TRUE(platform::CreateDirectories(stats));
    WriteCounters(stats + "SMSSENT-2026.CTR", {{165, 5}, {164, 2}, {150, 1}});
    WriteCounters(stats + "MMSIN-VASP-2026.CTR", {{165, 2}});
    WriteCounters(stats + "MMSIN-MODEM-2026.CTR", {{165, 3}, {140, 4}});
    WithStatusPage([&](shell::StatusPage& page) {
        EXPECT_EQ("5", page.Text("sentToday"));
        EXPECT_EQ("7", page.Text("sentLast7"));
        EXPECT_EQ("8", page.Text("sentLast30"));
        EXPECT_EQ("5", page.Text("mmsVaspToday"));
        EXPECT_EQ("5", page.Text("mmsVaspLast7"));
        EXPECT_EQ("9", page.Text("mmsVaspLast30"));
        EXPECT_EQ("", page.Text("submittedToday"));
        EXPECT_EQ("", page.Text("submittedLast30"));
    });
    platform::SetClock(nullptr);
}

TEST_F(StatusPageTest, UnchangedTextsAreNotRewritten) {
    WithStatusPage([&](shell::StatusPage& page) {
        page.SetText("gwState", "SERVICE IS NOT INSTALLED");
        page.Refresh();
        EXPECT_EQ("SERVICE IS NOT INSTALLED", page.Text("gwState"));
        page.SetText("gwState", "something else");
        page.Refresh();
        EXPECT_EQ("Service is NOT Installed", page.Text("gwState"));
    });
}

TEST_F(StatusPageTest, ClearingRunAsAServiceRemovesOnlyAfterYes) {
    StartGateway();
    WithStatusPage([&](shell::StatusPage& page) {
        host_.QueueAnswer("Are you sure?", ui::kNo);
        page.UserClick("gwRun");
        EXPECT_TRUE(Supervisor()->IsInstalled("QuvSMS"));
        EXPECT_TRUE(page.Checked("gwRun"));
        ui::MessageBoxSpec asked;
        host_.SetBoxHook([&](const ui::MessageBoxSpec& spec) {
            asked = spec;
            return ui::kYes;
        });
        page.UserClick("gwRun");
        host_.SetBoxHook(nullptr);
        EXPECT_EQ("Remove Service", asked.caption);
        EXPECT_EQ(ui::Icon::Question, asked.icon);
        EXPECT_EQ(ui::kNo, ui::DefaultAnswer(asked));
        EXPECT_FALSE(Supervisor()->IsInstalled("QuvSMS"));
        EXPECT_FALSE(page.Checked("gwRun"));
        EXPECT_EQ("Service is NOT Installed", page.Text("gwState"));
    });
    EXPECT_EQ(2, Count("box: Are you sure? [Yes/No/Cancel]")) << host_.TranscriptText();
    EXPECT_EQ(0, host_.UnusedAnswers());
}

TEST_F(StatusPageTest, TickingRunAsAServiceSavesWhenAskedThenInstallsAndStarts) {
    WithStatusPage([&](shell::StatusPage& page) {
        MakeUnsavedChange(*page.GetSheet());
        host_.QueueAnswer("Save configuration changes?", ui::kYes);
        page.UserClick("gwRun");
        EXPECT_EQ(1, settings_->applied);
        EXPECT_FALSE(page.GetSheet()->Changed());
        EXPECT_TRUE(Supervisor()->IsInstalled("QuvSMS"));
        EXPECT_TRUE(services_test::Eventually([&] {
            return Supervisor()->State("QuvSMS") == platform::ServiceState::Running;
        }));
        page.Refresh();
        EXPECT_TRUE(page.Checked("gwRun"));
        EXPECT_EQ("Service is Active", page.Text("gwState"));
    });
    EXPECT_EQ(0, host_.UnusedAnswers());
    EXPECT_EQ(0, host_.BusyDepth());
}

TEST_F(StatusPageTest, StartIsDroppedWhenSavingFails) {
    InstallGatewayStopped();
    WithStatusPage([&](shell::StatusPage& page) {
        MakeUnsavedChange(*page.GetSheet());
        settings_->refuseApply = true;
        host_.QueueAnswer("Save configuration changes?", ui::kYes);
        page.UserClick("gwStart");
        EXPECT_EQ(platform::ServiceState::Stopped, Supervisor()->State("QuvSMS"));
    });
    EXPECT_EQ(0, host_.UnusedAnswers());
}

TEST_F(StatusPageTest, StopAndStartButtonsDriveTheService) {
    StartGateway();
    WithStatusPage([&](shell::StatusPage& page) {
        page.UserClick("gwStop");
        EXPECT_FALSE(platform::IsActiveState(Supervisor()->State("QuvSMS")));
        EXPECT_EQ("Service is NOT Active", page.Text("gwState"));
        EXPECT_TRUE(page.Enabled("gwStart"));
        EXPECT_FALSE(page.Enabled("gwStop"));
        page.UserClick("gwStart");  // no unsaved changes: no question
        EXPECT_TRUE(platform::IsActiveState(Supervisor()->State("QuvSMS")));
        EXPECT_TRUE(page.Enabled("gwStop"));
    });
    EXPECT_EQ(std::string::npos, host_.TranscriptText().find("box:")) << host_.TranscriptText();
}

TEST_F(StatusPageTest, MmscControlsAreDisabledWithoutTheLibrary) {
    WithStatusPage([&](shell::StatusPage& page) {
        for (const char* id : {"mmscState", "mmscRun", "mmscStart", "mmscStop"}) {
            EXPECT_FALSE(page.Enabled(id)) << id;
        }
        EXPECT_EQ("", page.Text("mmscState"));
    });
}

TEST_F(StatusPageTest, MmscLineFollowsTheMmscService) {
    ProvideMmscLibrary();
    WithStatusPage([&](shell::StatusPage& page) {
        EXPECT_EQ("Service is NOT Installed", page.Text("mmscState"));
        EXPECT_TRUE(page.Alarm("mmscState"));
        EXPECT_TRUE(page.Enabled("mmscRun"));
        page.UserClick("mmscRun");
        EXPECT_TRUE(services_test::Eventually([&] {
            return Supervisor()->State("QuvMMSC") == platform::ServiceState::Running;
        }));
        page.Refresh();
        EXPECT_EQ("Service is Active", page.Text("mmscState"));
        EXPECT_FALSE(page.Alarm("mmscState"));
        EXPECT_TRUE(page.Checked("mmscRun"));
    });
}

// Records the file dialog it is asked for and answers it with a fixed path.
class FileDialogHost : public ui::HeadlessHost {
public:
    ui::OpenFileSpec asked;
    std::string answer;

protected:
    std::optional<std::string> AnswerFile(const ui::OpenFileSpec& spec, std::string&) override {
        asked = spec;
        return answer;
    }
};

TEST_F(StatusPageTest, ViewLogFilesOpensTheChosenLog) {
    FileDialogHost host;
    host.answer = acctdb::GetLogDirectory() + "SMSOUT-20260101.LOG";
    shell::StatusPage page;
    host.QueueDialog([](ui::Dialog& d) { d.UserClick("viewLogs"); });
    host.RunModal(page);
    EXPECT_EQ(acctdb::GetLogDirectory(), host.asked.initialDirectory);
    EXPECT_TRUE(host.asked.mustExist);
    ASSERT_EQ(7u, host.asked.filters.size());
    EXPECT_EQ("QuvSMS Log Files", host.asked.filters[0].name);
    EXPECT_EQ("*.LOG", host.asked.filters[0].patterns);
    EXPECT_EQ("*DEBUG.LOG", host.asked.filters[5].patterns);
    EXPECT_NE(std::string::npos, host.TranscriptText().find("shell: open " + host.answer))
        << host.TranscriptText();
}

// The service re-creating its block truncates it to 0 and back; a console that mapped
// the block died of SIGBUS reading it in between.
TEST_F(StatusPageTest, BlockThatShrinksAndGrowsWhileThePageRefreshesIsSurvived) {
    setenv("ZELLA_STANDIN_MODE", "hang", 1);  // active, and never touches its block again
    InstallGatewayStopped();
    ASSERT_EQ(0, Supervisor()->Start("QuvSMS"));
    ASSERT_TRUE(services_test::Eventually([] { return platform::ReadGatewayStatus().opened; }));
    const std::string name = platform::SharedMemoryObjectName(platform::status_block::kGatewayName);
    int fd = shm_open(name.c_str(), O_RDWR, 0);
    ASSERT_GE(fd, 0);
    std::atomic<bool> stop{false};
    std::thread service([&] {
        const unsigned char taken = 1;
        while (!stop.load()) {
            (void)ftruncate(fd, 0);
            (void)ftruncate(fd, platform::status_block::kBlockSize);
            (void)pwrite(fd, &taken, 1, platform::status_block::kWebPortInUse);
        }
    });
    int errors = 0;
    platform::FakeClock clock;  // refreshes at once, not one per second
    platform::SetClock(&clock);
    WithStatusPage([&](shell::StatusPage& page) {
        for (int i = 0; i < 1000; ++i) {
            host_.Wait(shell::StatusPage::kRefreshMs);
            const std::string line = page.Text("gwState");
            if (line == "ERROR:  Web Port already in use") ++errors;
            else ASSERT_EQ("Service is Active", line) << "refresh " << i;
        }
        stop = true;
        service.join();
        host_.Wait(shell::StatusPage::kRefreshMs);
        EXPECT_EQ("ERROR:  Web Port already in use", page.Text("gwState"));
    });
    platform::SetClock(nullptr);
    if (service.joinable()) stop = true, service.join();
    close(fd);
    EXPECT_GT(errors, 0);  // the block was really read between the shrinks
}

}  // namespace
}  // namespace pages_test
