// AltModemTimeouts=Yes against the modem simulator: a read hands over at once what the
// line holds, an empty line is "nothing yet" rather than a hang-up, and the port reads
// again every millisecond until a final result or its time-out.
#include <algorithm>
#include <chrono>
#include <thread>

#include "modem/comm_ports.h"
#include "modem/modem_test.h"
#include "modem/engine/port.h"
#include "platform/cancel.h"
#include "tests/modem/modem_fixture.h"

namespace modemtest {
namespace {

class AltModemTimeouts : public ModemFixture {
protected:
    void SetUp() override {
        ModemFixture::SetUp();
        WriteIni("ZELLA", "AltModemTimeouts", "Yes");
    }
    // COM7 opened and set up for probing, as the modem test does.
    modem::ModemPort OpenProbed() {
        modem::ModemPort port = modem::OpenCommPort(host_, "COM7:");
        if (port.IsOpen()) modem::SetModemTimeouts(port, modem::kProbeTimeouts);
        return port;
    }
};

TEST_F(AltModemTimeouts, ModemTestWalksTheSpeedsAndPasses) {
    StartModem({"--speeds=2400"});
    UseFakeClock();
    EXPECT_TRUE(modem::TestModem(host_, "COM7:", ""));
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"Initialised modem at 2400 bps",
                                                 "Modem successfully tested!"}));
    const auto log = ModemLog();
    EXPECT_NE(std::find(log.begin(), log.end(), "AT+CMGS=86"), log.end());
}

TEST_F(AltModemTimeouts, ProbeUnderTheRealClockWaitsForTheAnswer) {
    StartModem({});
    modem::ModemPort port = OpenProbed();
    ASSERT_TRUE(port.IsOpen());
    ASSERT_EQ(port.Timeouts(), modem::kAltTimeouts);
    EXPECT_TRUE(modem::InitModemAtBaud(host_, port, 115200));
    // Nothing more is coming: the read ends empty, and the line is still there.
    char buffer[500];
    EXPECT_EQ(modem::PortReadResponse(port, buffer, sizeof buffer, 0), 0u);
    ASSERT_TRUE(modem::PortWrite(port, "AT\r"));
    ASSERT_GT(modem::PortRead(port, buffer, sizeof buffer, 5), 0u);
    EXPECT_TRUE(modem::IsOkResponse(buffer)) << buffer;
}

TEST_F(AltModemTimeouts, CancelEndsTheRetryingReadOfASilentModem) {
    StartModem({"--silent"});
    modem::ModemPort port = OpenProbed();
    ASSERT_TRUE(port.IsOpen());
    ASSERT_TRUE(modem::SetLineSettings(port, 115200));
    platform::CancelToken token;
    platform::ScopedCancelToken scope(&token);
    std::thread operatorPressesCancel([&token] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        token.Cancel();
    });
    const auto start = std::chrono::steady_clock::now();
    char buffer[500];
    ASSERT_TRUE(modem::PortWrite(port, "ATE0V1\r"));
    EXPECT_EQ(modem::PortRead(port, buffer, sizeof buffer, 60), 0u);
    operatorPressesCancel.join();
    // Hang guard only: without the cancel the read would take its full minute.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
}

}  // namespace
}  // namespace modemtest
