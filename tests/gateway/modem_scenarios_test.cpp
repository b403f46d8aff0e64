// The real Gateway service against the modem simulator: a long message arriving as parts
// out of order, a modem that falls silent mid-send and comes back, the console borrowing
// the modem, a modem that refuses PDU mode, and a network modem the service cannot serve.
#include "acctdb/acctdb.h"
#include "gateway/sms_pdu.h"
#include "platform/serial_port.h"
#include "tests/gateway/modem_fixture.h"
#include "waplnk/modem_handover.h"

namespace gateway_test {
namespace {

using ModemScenarios = ModemFixture;

// 200 Cyrillic characters: UCS-2 in three parts of 67, 67 and 66.
std::string LongCyrillic() {
    std::string text;
    for (int i = 0; i < 40; ++i) text += "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5";  // "Приве"
    return text;
}

TEST_F(ModemScenarios, PartsArrivingOutOfOrderAreJoinedIntoOneFileAndDeletedFromTheModem) {
    ASSERT_TRUE(StartModem());
    ModemConnection();
    ASSERT_TRUE(Start());
    ASSERT_TRUE(Up());
    Control("deliver +4915550001 3,1,2 " + LongCyrillic());
    ASSERT_TRUE(Eventually([&] { return Received().size() == 1 && SimLog("DELETED").size() == 3; }))
        << Received().size() << " files, " << SimLog("DELETED").size() << " deleted";
    const std::string file = Received()[0];
    EXPECT_EQ(LongCyrillic(), platform::GetPrivateProfileString(file, "SMS-IN", "Data", "", 9000));
    EXPECT_EQ("+4915550001", platform::GetPrivateProfileString(file, "SMS-IN", "Sender", ""));
    EXPECT_EQ("+4915550000", platform::GetPrivateProfileString(file, "SMS-IN", "PhoneNumber", ""));
    EXPECT_TRUE(Eventually([&] { return Log("SMSIN").find("+4915550001") != std::string::npos; }));
}

TEST_F(ModemScenarios, ModemSilentMidSendIsRecoveredWithoutRestartAndTheMessageGoesAgain) {
    // The first body is never answered and the modem says nothing for 12 s; the service
    // gives a part 6 s (six times the answer time).
    ASSERT_TRUE(StartModem({"--hang-on-part=1", "--hang-ms=12000"}));
    ModemConnection();
    ASSERT_TRUE(Start({"ZELLA_MODEM_ANSWER_SECONDS=1"}));
    ASSERT_TRUE(Up());
    Message("HANG1", "+4915550002", "Are you there?");
    ASSERT_TRUE(Eventually([&] {
        return ErrorFile(kModem).find("Modem not answering") != std::string::npos;
    })) << ErrorFile(kModem);
    EXPECT_EQ("", Outcome("HANG1"));
    ASSERT_TRUE(Eventually([&] { return ErrorFile(kModem) == "(none)"; }, 40'000))
        << ErrorFile(kModem);
    ASSERT_TRUE(
        Eventually([&] { return Outcome("HANG1").find(",OK") != std::string::npos; }, 20'000))
        << Log("SMSOUT");
    EXPECT_EQ(2u, SimLog("PDU ").size());
    EXPECT_NE(std::string::npos, Events().find("COM7:: Modem not answering")) << Events();
    EXPECT_NE(std::string::npos, Events().find("COM7:: connected")) << Events();
}

// Every sweep of the storage is answered with 10 MB of text without a line end: the
// service cuts it, counts the modem as silent, recovers it and still sends, with its
// memory bounded.
// The service's peak resident size in KiB; AddressSanitizer's shadow memory and quarantine
// come on top of what the service itself holds.
#if defined(__SANITIZE_ADDRESS__)
constexpr long kFloodMemoryBoundKiB = 256L * 1024;
#else
constexpr long kFloodMemoryBoundKiB = 64L * 1024;
#endif

TEST_F(ModemScenarios, ModemFloodingEndlessLinesCostsBoundedMemoryAndMessagesStillGo) {
    ASSERT_TRUE(StartModem({"--flood-on=AT+CMGL"}));
    ModemConnection();
    ASSERT_TRUE(Start({"ZELLA_MODEM_ANSWER_SECONDS=1"}));
    ASSERT_TRUE(Eventually([&] { return !SimLog("AT+CMGL").empty(); }));
    Message("FLOOD1", "+4915550007", "Still here");
    ASSERT_TRUE(
        Eventually([&] { return Outcome("FLOOD1").find(",OK") != std::string::npos; }, 30'000))
        << Log("SMSOUT") << ErrorFile(kModem);
    // The flood was the sweep's answer: the modem counted as silent and re-initialised.
    EXPECT_NE(std::string::npos, Events().find("COM7:: Modem not answering - re-initialising"))
        << Events();
    std::string status;
    ASSERT_TRUE(platform::ReadFile("/proc/" + std::to_string(service_->Pid()) + "/status", status));
    const std::size_t at = status.find("VmHWM:");
    ASSERT_NE(std::string::npos, at);
    EXPECT_LT(std::atol(status.c_str() + at + 6), kFloodMemoryBoundKiB) << status.substr(at, 40);
}

TEST_F(ModemScenarios, ConsoleBorrowsTheModemAndTheServiceTakesItBack) {
    ASSERT_TRUE(StartModem());
    ModemConnection();
    ASSERT_TRUE(Start());
    ASSERT_TRUE(Up());
    const std::string device = dir_ + "COMPORTS/COM7";
    int error = 0;
    EXPECT_FALSE(platform::SerialPort::Open(device, &error).IsOpen());  // the service holds it
    namespace ho = waplnk::handover;
    platform::IniBatch ask(Ini());
    ask.Write(ho::kSection, ho::kModem, kModem);
    ask.Write(ho::kSection, ho::kRequestId, "r1");
    ask.Write(ho::kSection, ho::kConsolePid, std::to_string(getpid()));
    ASSERT_TRUE(ask.Commit());
    ASSERT_TRUE(Eventually([&] {
        return platform::GetPrivateProfileString(Ini(), ho::kSection, ho::kStatus, "") ==
               ho::kGranted;
    }));
    EXPECT_EQ("7", platform::GetPrivateProfileString(Ini(), ho::kSection, ho::kPort, ""));
    EXPECT_EQ("Modem lent to the console", ErrorFile(kModem));
    {
        platform::SerialPort line = platform::SerialPort::Open(device, &error);
        EXPECT_TRUE(line.IsOpen()) << error;
    }
    platform::WritePrivateProfileString(Ini(), ho::kSection, std::nullopt, std::nullopt);
    ASSERT_TRUE(Eventually([&] { return ErrorFile(kModem) == "(none)"; })) << ErrorFile(kModem);
    Message("BACK1", "+4915550003", "Mine again");
    ASSERT_TRUE(Eventually([&] { return Outcome("BACK1").find(",OK") != std::string::npos; }))
        << Log("SMSOUT");
}

TEST_F(ModemScenarios, ModemRefusingPduModeSendsShortGsmTextOnlyAndReportsComeBack) {
    ASSERT_TRUE(StartModem({"--reject-pdu"}));
    ModemConnection();
    ASSERT_TRUE(Start());
    ASSERT_TRUE(Up());
    Message("TEXT1", "+4915550004", "Plain text");
    ASSERT_TRUE(Eventually([&] { return Outcome("TEXT1").find(",OK") != std::string::npos; }))
        << Log("SMSOUT");
    ASSERT_EQ(1u, SimLog("TEXT ").size());
    EXPECT_EQ("TEXT +4915550004 Plain text", SimLog("TEXT ")[0]);
    Message("TEXT2", "+4915550004", "\xD0\x9F\xD1\x80\xD0\xB8");
    ASSERT_TRUE(Eventually([&] { return !Outcome("TEXT2").empty(); })) << Log("SMSOUT");
    EXPECT_NE(std::string::npos, Outcome("TEXT2").find("refuses PDU mode")) << Outcome("TEXT2");
    EXPECT_EQ(1u, SimLog("TEXT ").size());
}

TEST_F(ModemScenarios, StatusReportOfAPartIsStoredAgainstItsRequest) {
    ASSERT_TRUE(StartModem());
    ModemConnection();
    ASSERT_TRUE(Start());
    ASSERT_TRUE(Up());
    Message("RCPT1", "+4915550005", "Tell me when it arrives", "ReceiptRequested=Yes\r\n");
    ASSERT_TRUE(Eventually([&] { return Outcome("RCPT1").find(",OK") != std::string::npos; }))
        << Log("SMSOUT");
    ASSERT_TRUE(Eventually([&] { return Received().size() == 1; })) << DumpSim();
    EXPECT_EQ("RCPT1",
              platform::GetPrivateProfileString(Received()[0], "SMS-IN", "ReceiptMessageId", ""));
    EXPECT_EQ("Yes",
              platform::GetPrivateProfileString(Received()[0], "SMS-IN", "ReceiptDelivered", ""));
    // The PDU asked for the report; the report was deleted from storage once stored.
    ASSERT_EQ(1u, SimLog("PDU ").size());
    gateway::pdu::Decoded sent;
    std::string error;
    ASSERT_TRUE(gateway::pdu::Decode(SimLog("PDU ")[0].substr(4), sent, error)) << error;
    EXPECT_TRUE(sent.statusReportRequested);
    EXPECT_TRUE(Eventually([&] { return SimLog("DELETED").size() == 1; }));
}

// The SIM's PIN from the connection; a wrong one is entered once only, however often the
// modem is initialised again, so the card never locks itself.
TEST_F(ModemScenarios, WrongPinIsEnteredOnceAndRightPinUnlocks) {
    ASSERT_TRUE(StartModem({"--pin=1234"}));
    ModemConnection({"PIN=9999"});
    ASSERT_TRUE(Start());
    ASSERT_TRUE(Eventually([&] {
        return ErrorFile(kModem).find("refused the PIN") != std::string::npos;
    })) << ErrorFile(kModem);
    ASSERT_TRUE(Eventually([&] { return SimLog("AT+CPIN?").size() >= 3; })) << DumpSim();
    EXPECT_EQ(1u, SimLog("AT+CPIN=").size()) << DumpSim();
    // The operator corrects it: the edited connection starts afresh and unlocks the card.
    platform::WritePrivateProfileString(Ini(), config::ConnectionSectionName(kModem), "PIN",
                                        "1234");
    ASSERT_TRUE(Eventually([&] {
        return SimLog("AT+CPIN=").size() == 2 && !SimLog("AT+CNMI").empty();
    })) << DumpSim();
    EXPECT_EQ("AT+CPIN=\"1234\"", SimLog("AT+CPIN=").back());
    ASSERT_TRUE(Eventually([&] { return ErrorFile(kModem) == "(none)"; })) << ErrorFile(kModem);
    Message("PIN1", "+4915550010", "Unlocked");
    EXPECT_TRUE(Eventually([&] { return Outcome("PIN1").find(",OK") != std::string::npos; }))
        << Log("SMSOUT");
}

// A message the network refuses for good fails at once and the one behind it still goes.
TEST_F(ModemScenarios, MessageRefusedForGoodDoesNotHoldUpTheNextOne) {
    ASSERT_TRUE(StartModem({"--refuse-number=+4915550099"}));
    ModemConnection();
    ASSERT_TRUE(Start());
    ASSERT_TRUE(Up());
    Message("BAD1", "+4915550099", "Nobody home");
    Message("GOOD1", "+4915550008", "Right behind it");
    ASSERT_TRUE(Eventually([&] { return !Outcome("BAD1").empty() && !Outcome("GOOD1").empty(); }))
        << Log("SMSOUT");
    EXPECT_NE(std::string::npos, Outcome("BAD1").find("+CMS ERROR: 21")) << Outcome("BAD1");
    EXPECT_NE(std::string::npos, Outcome("GOOD1").find(",OK")) << Outcome("GOOD1");
    EXPECT_EQ(0u, Queued());
}

// Delivered straight to the service (ReceiveTo=Direct) with acknowledgements
// (AllowPhase2Plus): each message is acknowledged once its file is written.
TEST_F(ModemScenarios, DirectDeliveryIsAcknowledgedAfterTheFileIsWritten) {
    ASSERT_TRUE(StartModem());
    ModemConnection({"ReceiveTo=Direct", "AllowPhase2Plus=Yes"});
    ASSERT_TRUE(Start());
    ASSERT_TRUE(Up());
    EXPECT_EQ(1u, SimLog("AT+CSMS=1").size());
    EXPECT_EQ("AT+CNMI=2,2,0,1,0", SimLog("AT+CNMI")[0]);
    Control("deliver +4915550009 - Straight in");
    ASSERT_TRUE(Eventually([&] { return Received().size() == 1 && SimLog("AT+CNMA").size() == 1; }))
        << DumpSim();
    EXPECT_EQ("Straight in",
              platform::GetPrivateProfileString(Received()[0], "SMS-IN", "Data", ""));
    EXPECT_TRUE(SimLog("STORED").empty()) << DumpSim();
}

// A modem known by its friendly name in MODEMS.INI is opened on the device it names.
TEST_F(ModemScenarios, FriendlyNamedModemIsOpenedThroughTheModemList) {
    ASSERT_TRUE(StartModem());
    platform::WritePrivateProfileString(dir_ + "MODEMS.INI", "Desk Modem", "Port", sim_->FirstLine());
    platform::WritePrivateProfileString(Ini(), "ZELLA", "Modem1", "Desk Modem");
    ASSERT_TRUE(Start());
    Message("NAMED1", "+4915550011", "By name");
    ASSERT_TRUE(Eventually([&] { return Outcome("NAMED1").find(",OK") != std::string::npos; }))
        << Log("SMSOUT") << ErrorFile("Desk Modem");
    EXPECT_EQ(1u, SimLog("PDU ").size());
}

TEST_F(ModemScenarios, IpModemBehindTheTerminalServerLogsInAndSends) {
    zella_test::FirstLineChild modem(ZELLA_MODEMSIM, {"--log=" + dir_ + "sim.log"});
    ASSERT_TRUE(modem.Started());
    zella_test::FirstLineChild server(
        ZELLA_TERMSERVER, {"--modem=" + modem.FirstLine(), "--user=gw", "--password=pw"});
    ASSERT_TRUE(server.Started());
    const std::string name = "IPModem - 127.0.0.1:" + server.FirstLine();
    platform::WritePrivateProfileString(Ini(), "ZELLA", "Modem1", name);
    platform::WritePrivateProfileString(Ini(), name, "Username", "gw");
    platform::WritePrivateProfileString(Ini(), name, "Password", "pw");
    ASSERT_TRUE(Start());
    Message("IP1", "+4915550006", "Through the terminal server");
    ASSERT_TRUE(Eventually([&] { return Outcome("IP1").find(",OK") != std::string::npos; }, 30'000))
        << Log("SMSOUT") << ErrorFile(name) << DumpSim();
    ASSERT_EQ(1u, SimLog("PDU ").size());
    gateway::pdu::Decoded sent;
    std::string error;
    ASSERT_TRUE(gateway::pdu::Decode(SimLog("PDU ")[0].substr(4), sent, error)) << error;
    EXPECT_EQ("Through the terminal server", sent.text);
}

TEST_F(ModemScenarios, NetworkModemSaysItCannotBeServedAndPairingIsAnswered) {
    const std::string phone = "QuvSMSModem - 192.0.2.10";
    platform::WritePrivateProfileString(Ini(), "ZELLA", "Modem1", phone);
    platform::WritePrivateProfileString(Ini(), "QuvSMSModemTest", "ModemName", "Phone");
    ASSERT_TRUE(Start());
    ASSERT_TRUE(Eventually([&] {
        return ErrorFile(phone).find("not supported") != std::string::npos;
    })) << ErrorFile(phone);
    EXPECT_TRUE(Eventually([&] {
        return platform::GetPrivateProfileString(Ini(), "QuvSMSModemTest", "Status", "")
                   .find("network modems") != std::string::npos;
    }));
    EXPECT_NE(std::string::npos, Events().find("network modems is not supported")) << Events();
}

}  // namespace
}  // namespace gateway_test
