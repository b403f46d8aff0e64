// TestModem end to end against the modem simulator on a pseudo-terminal.
#include <algorithm>
#include <chrono>
#include <thread>

#include "modem/modem_test.h"
#include "platform/ini.h"
#include "tests/modem/modem_fixture.h"

namespace modemtest {
namespace {

const char* kAccess =
    "Unable to access modem, ensure that it is powered on and passes diagnostic tests.";

class TestModemOnPty : public ModemFixture {
protected:
    bool Run(const std::string& pin = {}) {
        UseFakeClock();
        return modem::TestModem(host_, "COM7:", pin);
    }
    bool Logged(const std::string& command) const {
        const auto log = ModemLog();
        return std::find(log.begin(), log.end(), command) != log.end();
    }
};

TEST_F(TestModemOnPty, AnsweringModemIsOpenedAtFirstSpeedAndPasses) {
    StartModem({});
    EXPECT_TRUE(Run());
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"Initialised modem at 115200 bps",
                                                 "Modem successfully tested!"}));
    EXPECT_TRUE(Logged("AT+CMGF=0"));
    EXPECT_TRUE(Logged("AT+CMGS=86"));
    EXPECT_EQ(host_.BusyDepth(), 0);
}

TEST_F(TestModemOnPty, ModemAnsweringOnlyAt2400IsFoundBySixthProbe) {
    StartModem({"--speeds=2400"});
    EXPECT_TRUE(Run());
    EXPECT_EQ(Boxes().front(), "Initialised modem at 2400 bps");
}

TEST_F(TestModemOnPty, SilentModemCostsFullTimeoutsAndEndsWithAccessMessage) {
    StartModem({"--silent"});
    modem::SetVirtualTimeGrace(5);
    EXPECT_FALSE(Run());
    EXPECT_EQ(Boxes(), (std::vector<std::string>{kAccess}));
    // Six probes of one plus five seconds, then the recovery walk of eleven.
    EXPECT_GE(clock_->TickCount(), 17u * 6000u);
}

TEST_F(TestModemOnPty, ModemDeafUntilResetIsRecoveredAndOpenedOnSecondPass) {
    StartModem({"--stuck"});
    EXPECT_TRUE(Run());
    EXPECT_TRUE(Logged("AT+CFUN=1,1"));
    EXPECT_GE(clock_->Slept(), 15000u);
    const auto boxes = Boxes();
    ASSERT_GE(boxes.size(), 3u);
    EXPECT_EQ(boxes.back(), "Modem successfully tested!");
    // Recovery walk, the walk after the restart, and the second pass each find it.
    EXPECT_EQ(std::count(boxes.begin(), boxes.end(), "Initialised modem at 115200 bps"), 3);
}

TEST_F(TestModemOnPty, CorrectPinIsEnteredAndTestPasses) {
    StartModem({"--pin=4321"});
    EXPECT_TRUE(Run("4321"));
    EXPECT_TRUE(Logged("AT+CPIN=\"4321\""));
}

TEST_F(TestModemOnPty, ReadySimGetsNoPin) {
    StartModem({});
    EXPECT_TRUE(Run("1111"));
    EXPECT_TRUE(Logged("AT+CPIN?"));
    EXPECT_FALSE(Logged("AT+CPIN=\"1111\""));
}

TEST_F(TestModemOnPty, WrongPinShowsModemAnswer) {
    StartModem({"--pin=4321"});
    EXPECT_FALSE(Run("0000"));
    EXPECT_TRUE(ShowedBox("Invalid PIN --\r\n\r\n\r\n+CME ERROR: 16\r\n"));
}

TEST_F(TestModemOnPty, PinThatWouldInjectCommandsIsNeverSent) {
    StartModem({"--pin=4321"});
    EXPECT_FALSE(Run("1\"\rAT+CFUN=0"));
    EXPECT_TRUE(ShowedBox("Invalid PIN --\r\n\r\n"));
    EXPECT_FALSE(Logged("AT+CFUN=0"));
}

TEST_F(TestModemOnPty, ReducedFunctionalityIsRaisedAndNetworkAwaited) {
    StartModem({"--cfun=4", "--register-after=2"});
    EXPECT_TRUE(Run());
    EXPECT_TRUE(Logged("AT+CFUN=1"));
    EXPECT_TRUE(Logged("AT+CPMS?"));
    const auto log = ModemLog();
    EXPECT_EQ(std::count(log.begin(), log.end(), "AT+COPS?"), 3);
}

TEST_F(TestModemOnPty, RejectedSmsServiceStillReachesSendingMode) {
    StartModem({"--reject-csms"});
    EXPECT_TRUE(Run());
    EXPECT_TRUE(Logged("AT+CSMS=128"));
    EXPECT_TRUE(Logged("AT+CMGF=0"));
}

TEST_F(TestModemOnPty, RejectedPduModeFallsBackToTextMode) {
    StartModem({"--reject-pdu"});
    EXPECT_TRUE(Run());
    EXPECT_TRUE(Logged("AT+CMGF=1"));
    EXPECT_TRUE(Logged("AT+CMGS=\"123456789\""));
}

TEST_F(TestModemOnPty, SendCommandErrorIsReportedForPduMode) {
    StartModem({"--cmgs=error"});
    EXPECT_FALSE(Run());
    EXPECT_EQ(Boxes().back(),
              "Modem does not properly support command for sending SMS (AT+CMGS - PDU mode)");
}

TEST_F(TestModemOnPty, SendCommandErrorIsReportedForTextMode) {
    StartModem({"--cmgs=error", "--reject-pdu"});
    EXPECT_FALSE(Run());
    EXPECT_EQ(Boxes().back(),
              "Modem does not properly support command for sending SMS (AT+CMGS - text mode)");
}

TEST_F(TestModemOnPty, FriendlyNamedModemOpensOnItsRegisteredDevice) {
    const std::string device = StartModem({});
    ASSERT_TRUE(platform::WritePrivateProfileString(dir_ + "MODEMS.INI", "Bench Modem", "Port",
                                                    device));
    UseFakeClock();
    EXPECT_TRUE(modem::TestModem(host_, "Bench Modem", ""));
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"Modem successfully tested!"}));
}

TEST_F(TestModemOnPty, UnknownFriendlyNameFailsWithAccessMessageOnly) {
    UseFakeClock();
    EXPECT_FALSE(modem::TestModem(host_, "No Such Modem", ""));
    EXPECT_EQ(Boxes(), (std::vector<std::string>{kAccess}));
}

// Cancelled while the modem waits for the probe message's body: the test must not count
// the silence as support, and the abort steps still bring the modem back (the "AT" after
// the escape reaches it), before the run ends with the cancellation recorded.
TEST_F(TestModemOnPty, CancelDuringSendProbeAbortsMessageAndFails) {
    StartModem({});
    std::thread canceller([this] {
        for (int i = 0; i < 3000; ++i) {  // a guard of a minute, not a timing check
            if (Logged("AT+CMGS=86")) {
                host_.CancelOperation();
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    const bool passed = modem::TestModem(host_, "COM7:", "");
    canceller.join();
    EXPECT_FALSE(passed);
    const auto log = ModemLog();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[log.size() - 2], "AT+CMGS=86");
    EXPECT_EQ(log.back(), "AT");
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"Initialised modem at 115200 bps"}));
    EXPECT_EQ(host_.Transcript().back(), "cancelled: Opening modem COM7:...");
}

// Cancelled while the console probes a modem that does not answer: the operator's own
// Cancel ends the test without an error box.
TEST_F(TestModemOnPty, CancelWhileProbingASilentModemIsNoError) {
    StartModem({"--silent"});
    std::thread canceller([this] {
        for (int i = 0; i < 3000; ++i) {  // a guard of a minute, not a timing check
            if (host_.Progress().rfind("Probing modem at ", 0) == 0) {
                host_.CancelOperation();
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    EXPECT_FALSE(modem::TestModem(host_, "COM7:", ""));
    canceller.join();
    EXPECT_EQ(Boxes(), std::vector<std::string>{}) << host_.TranscriptText();
    EXPECT_EQ(host_.Transcript().back(), "cancelled: Opening modem COM7:...");
}

// ---- a modem that misbehaves --------------------------------------------------------------
TEST_F(TestModemOnPty, EndlessGarbageEndsWithMessage) {
    StartModem({"--garbage"});
    modem::SetVirtualTimeGrace(5);
    EXPECT_FALSE(Run());
    EXPECT_EQ(Boxes().back(), kAccess);
}

TEST_F(TestModemOnPty, ModemVanishingMidTestEndsWithMessage) {
    StartModem({"--vanish-on=AT+CSMS"});
    EXPECT_FALSE(Run());
    EXPECT_EQ(Boxes().back(), "Error waiting for SMS initialization response from modem");
}

TEST_F(TestModemOnPty, TenMegabyteReplyEndsWithMessage) {
    StartModem({"--flood-on=ATE0V1"});
    EXPECT_FALSE(Run());
    EXPECT_EQ(Boxes(), (std::vector<std::string>{kAccess}));
}

}  // namespace
}  // namespace modemtest
