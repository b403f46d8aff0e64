// Port I/O over a pseudo-terminal pair (the test plays the modem on the master side)
// and COM port resolution through COMPORTS/ links.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "modem/comm_ports.h"
#include "modem/engine/port.h"
#include "platform/files.h"
#include "tests/modem/modem_fixture.h"

namespace modemtest {
namespace {

TEST(IsOkResponse, NeedsLineEndBeforeOk) {
    EXPECT_TRUE(modem::IsOkResponse("\r\nOK\r\n"));
    EXPECT_TRUE(modem::IsOkResponse("ATE0V1\rOK"));
    EXPECT_FALSE(modem::IsOkResponse("OK\r\n"));
    EXPECT_FALSE(modem::IsOkResponse("\r\nERROR\r\n"));
    EXPECT_FALSE(modem::IsOkResponse("\r\nok\r\n"));
}

TEST(EscapeCrLf, RoundTripsModemStrings) {
    std::string text = "AT\\r\\n";
    modem::UnescapeCrLf(text);
    EXPECT_EQ(text, "AT\r\n");
    modem::EscapeCrLf(text);
    EXPECT_EQ(text, "AT\\r\\n");
    std::string mixed = "a\nb\rc";
    modem::EscapeCrLf(mixed);
    EXPECT_EQ(mixed, "a\\nb\\rc");
}

// A pseudo-terminal whose slave is the console's port and whose master plays the modem.
class PtyPort : public ModemFixture {
protected:
    void SetUp() override {
        ModemFixture::SetUp();
        int slave = -1;
        ASSERT_EQ(openpty(&master_, &slave, nullptr, nullptr, nullptr), 0);
        fcntl(slave, F_SETFL, fcntl(slave, F_GETFL, 0) | O_NONBLOCK);
        port_ = modem::ModemPort(slave, modem::ModemPort::Kind::Serial, "pty");
        ASSERT_TRUE(modem::SetLineSettings(port_, 115200));
        modem::SetModemTimeouts(port_, modem::kTestTimeouts);
        UseFakeClock();
    }
    void TearDown() override {
        port_.Close();
        if (master_ >= 0) close(master_);
        ModemFixture::TearDown();
    }
    // Writes the modem's answer and returns once the console's side can read all of it.
    // A pseudo-terminal hands bytes across in a kernel worker, later than the write
    // returns; a read under a fake clock looks only briefly, so the answer must be
    // there before it starts or the outcome depends on the machine's load.
    void Answer(const std::string& text) {
        ASSERT_EQ(write(master_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
        int queued = 0;
        for (int i = 0; i < 10'000; ++i) {
            ASSERT_EQ(ioctl(port_.Descriptor(), FIONREAD, &queued), 0);
            if (queued >= static_cast<int>(text.size())) return;
            usleep(1000);
        }
        FAIL() << "the answer never reached the line: " << queued << " bytes";
    }
    // What the console sent, once `count` bytes have arrived (or a minute passed).
    std::string Sent(std::size_t count) {
        std::string got;
        while (got.size() < count) {
            pollfd p{master_, POLLIN, 0};
            if (poll(&p, 1, 60'000) <= 0) break;
            char buf[512];
            const ssize_t n = read(master_, buf, sizeof buf);
            if (n <= 0) break;
            got.append(buf, static_cast<std::size_t>(n));
        }
        return got;
    }
    // What the console sent and has already arrived.
    std::string SentSoFar() {
        fcntl(master_, F_SETFL, fcntl(master_, F_GETFL, 0) | O_NONBLOCK);
        char buf[512];
        const ssize_t n = read(master_, buf, sizeof buf);
        return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
    }
    int master_ = -1;
    modem::ModemPort port_;
    char buffer_[500] = {};
};

TEST_F(PtyPort, WriteOfEmptyTextSucceedsWithoutSending) {
    EXPECT_TRUE(modem::PortWrite(port_, ""));
    // A marker behind it shows whether anything went out before.
    EXPECT_TRUE(modem::PortWrite(port_, "#"));
    EXPECT_EQ(Sent(1), "#");
}

TEST_F(PtyPort, WriteDeliversEveryByte) {
    EXPECT_TRUE(modem::PortWrite(port_, "AT+CSMS=0\r"));
    EXPECT_EQ(Sent(10), "AT+CSMS=0\r");
    EXPECT_EQ(SentSoFar(), "");
}

TEST_F(PtyPort, WriteThatCannotLeaveWithinWriteTimeoutFails) {
    modem::SetModemTimeouts(port_, modem::kProbeTimeouts);
    // Nobody reads the master: the line's buffer fills and a byte stays stuck.
    EXPECT_FALSE(modem::PortWrite(port_, std::string(256 * 1024, 'A')));
    EXPECT_GE(clock_->TickCount(), 2000u);
}

TEST_F(PtyPort, ErrorEndsResponseReadAtOnce) {
    Answer("\r\nERROR\r\n");
    EXPECT_EQ(modem::PortReadResponse(port_, buffer_, sizeof buffer_, 30), 9u);
    EXPECT_STREQ(buffer_, "\r\nERROR\r\n");
    EXPECT_LT(clock_->TickCount(), 1000u);  // the interval gap only, never the 30 s
}

TEST_F(PtyPort, ExtendedErrorAlsoEndsResponseRead) {
    Answer("\r\n+CMS ERROR: 310\r\n");
    EXPECT_GT(modem::PortReadResponse(port_, buffer_, sizeof buffer_, 30), 0u);
    EXPECT_LT(clock_->TickCount(), 1000u);
}

TEST_F(PtyPort, PartialResponseIsReturnedAfterTimeout) {
    Answer("\r\n> ");
    EXPECT_EQ(modem::PortReadResponse(port_, buffer_, sizeof buffer_, 5), 4u);
    EXPECT_GE(clock_->TickCount(), 5000u);
}

TEST_F(PtyPort, ReadWithZeroTimeoutWaitsAtLeastFiftyMilliseconds) {
    EXPECT_EQ(modem::PortReadResponse(port_, buffer_, sizeof buffer_, 0), 0u);
    EXPECT_GE(clock_->TickCount(), 50u);
}

TEST_F(PtyPort, FullBufferEndsTheRead) {
    Answer(std::string(600, 'x'));
    char small[16];
    EXPECT_EQ(modem::PortReadResponse(port_, small, sizeof small, 30), 15u);
    EXPECT_EQ(small[15], '\0');
    EXPECT_LT(clock_->TickCount(), 30000u);
}

TEST_F(PtyPort, ReadErrorGivesNothingEvenAfterData) {
    Answer("\r\n+CFUN: 1\r\n");
    close(master_);
    master_ = -1;
    EXPECT_EQ(modem::PortReadResponse(port_, buffer_, sizeof buffer_, 10), 0u);
}

TEST_F(PtyPort, WriteFailsWhenTheLineIsGone) {
    close(master_);
    master_ = -1;
    EXPECT_FALSE(modem::PortWrite(port_, "AT\r"));
}

TEST_F(PtyPort, LegacyReadTakesFirstChunkWithoutFinalResult) {
    modem::SetOldModemHandler(true);
    Answer("\r\n+CSQ: 17,99");
    EXPECT_EQ(modem::PortRead(port_, buffer_, sizeof buffer_, 5), 13u);
    EXPECT_STREQ(buffer_, "\r\n+CSQ: 17,99");
}

TEST_F(PtyPort, LegacyReadMakesThreeAttemptsOnSilence) {
    modem::SetOldModemHandler(true);
    EXPECT_EQ(modem::PortRead(port_, buffer_, sizeof buffer_, 5), 0u);
    // Each attempt is bounded by the one-second total read time-out of the line.
    EXPECT_EQ(clock_->TickCount(), 3000u);
}

TEST_F(PtyPort, AltModemTimeoutsReplaceWhateverWasAsked) {
    WriteIni("ZELLA", "AltModemTimeouts", "Yes");
    modem::SetModemTimeouts(port_, modem::kProbeTimeouts);
    EXPECT_EQ(port_.Timeouts(), modem::kAltTimeouts);
    Answer("\r\nOK\r\n");
    EXPECT_EQ(modem::PortReadResponse(port_, buffer_, sizeof buffer_, 5), 6u);
}

TEST_F(PtyPort, DrainDiscardsPendingBytes) {
    Answer("banner text");
    EXPECT_EQ(modem::PortDrain(port_), 11u);
    EXPECT_EQ(modem::PortReadResponse(port_, buffer_, sizeof buffer_, 1), 0u);
}

// ---- COM ports -------------------------------------------------------------------------
// Another program holding a serial device: its own descriptor with an exclusive flock.
class HeldDevice {
public:
    explicit HeldDevice(const std::string& device)
        : fd_(open(device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC)),
          locked_(fd_ >= 0 && flock(fd_, LOCK_EX | LOCK_NB) == 0) {}
    ~HeldDevice() {
        if (fd_ >= 0) close(fd_);
    }
    HeldDevice(const HeldDevice&) = delete;
    HeldDevice& operator=(const HeldDevice&) = delete;
    bool Locked() const { return locked_; }

private:
    int fd_;
    bool locked_;
};

class CommPorts : public ModemFixture {
protected:
    void Link(unsigned n, const std::string& target) {
        const std::string link = dir_ + "COMPORTS/COM" + std::to_string(n);
        ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
    }
    std::string NewPty() {
        int master = -1, slave = -1;
        char name[128];
        EXPECT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
        close(slave);
        masters_.push_back(master);
        return name;
    }
    void TearDown() override {
        for (int fd : masters_) close(fd);
        ModemFixture::TearDown();
    }
    std::vector<int> masters_;
};

TEST_F(CommPorts, LinkedPortOpensAndNameGainsColon) {
    Link(7, NewPty());
    EXPECT_EQ(modem::CommPortDisplayName("com7"), "com7:");
    modem::ModemPort port = modem::OpenCommPort(host_, "COM7");
    EXPECT_TRUE(port.IsOpen());
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(CommPorts, UnlinkedPortFallsBackToSerialDevice) {
    EXPECT_EQ(modem::ResolveCommPort("COM12:"), "/dev/ttyS11");
    EXPECT_EQ(modem::ResolveCommPort("COMX:"), "");
}

TEST_F(CommPorts, PortHeldByAnotherProgramShowsAccessDenied) {
    const std::string device = NewPty();
    Link(7, device);
    HeldDevice held(device);
    ASSERT_TRUE(held.Locked());
    modem::ModemPort port = modem::OpenCommPort(host_, "COM7:");
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(Boxes(), (std::vector<std::string>{ui::HeadlessHost::EscapeLine(
                           "Unable to access modem at COM7: -- Error 10 -- Device or resource "
                           "busy\r\nAnother application is already using this device.")}));
}

TEST_F(CommPorts, MissingDeviceShowsSystemText) {
    Link(9, dir_ + "no-such-device");
    EXPECT_FALSE(modem::OpenCommPort(host_, "COM9:").IsOpen());
    EXPECT_EQ(Boxes(), (std::vector<std::string>{
                           "Unable to access modem at COM9: -- Error 2 -- No such file or directory"}));
}

TEST_F(CommPorts, DeviceThatIsNoSerialLineIsRefused) {
    Link(5, "/dev/null");
    EXPECT_FALSE(modem::OpenCommPort(host_, "COM5:").IsOpen());
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"GetCommState Failed"}));
    host_.ClearTranscript();
    EXPECT_FALSE(modem::OpenCommPort(host_, "COM5:", modem::OpenPurpose::Recover).IsOpen());
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(CommPorts, ListStopsAtFirstMissingPortAboveFifty) {
    Link(1, NewPty());
    Link(3, NewPty());
    Link(60, NewPty());
    const auto ports = modem::ListCommPorts();
    EXPECT_NE(std::find(ports.begin(), ports.end(), "COM1:"), ports.end());
    EXPECT_NE(std::find(ports.begin(), ports.end(), "COM3:"), ports.end());
    EXPECT_EQ(std::find(ports.begin(), ports.end(), "COM60:"), ports.end());
}

TEST_F(CommPorts, ListLeavesOutPortHeldByAnotherProgram) {
    const std::string device = NewPty();
    Link(4, device);
    HeldDevice held(device);
    ASSERT_TRUE(held.Locked());
    const auto ports = modem::ListCommPorts();
    EXPECT_EQ(std::find(ports.begin(), ports.end(), "COM4:"), ports.end());
}

}  // namespace
}  // namespace modemtest
