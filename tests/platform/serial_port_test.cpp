// The serial port service over a pseudo-terminal: the test holds the master side and
// plays the device.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/cancel.h"
#include "platform/serial_port.h"

namespace {

using platform::IoStatus;
using platform::SerialPort;

std::string ReadMaster(int master, std::size_t count) {
    std::string got;
    while (got.size() < count) {
        pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, 10'000) <= 0) break;
        char buf[256];
        const ssize_t n = read(master, buf, sizeof buf);
        if (n <= 0) break;
        got.append(buf, static_cast<std::size_t>(n));
    }
    return got;
}

TEST(SerialPort, LineIsLockedConfiguredBoundedAndCancellable) {
    int master = -1, slave = -1;
    char name[128];
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    close(slave);

    int error = -1;
    SerialPort line = SerialPort::Open(name, &error);
    ASSERT_TRUE(line.IsOpen()) << error;
    EXPECT_EQ(error, 0);
    EXPECT_TRUE(line.IsLine());
    EXPECT_FALSE(line.Configure(12345));  // not a serial speed
    ASSERT_TRUE(line.Configure(115200));
    EXPECT_EQ(SerialPort::LineSpeed(line.Descriptor()), 115200u);

    // A second opener is refused while the first holds the line.
    SerialPort second = SerialPort::Open(name, &error);
    EXPECT_FALSE(second.IsOpen());
    EXPECT_EQ(error, EBUSY);

    // An empty raw line is "nothing yet", not a hang-up; a bounded read times out.
    char buf[64];
    platform::IoResult r = line.ReadAvailable(buf, sizeof buf);
    EXPECT_EQ(r.status, IoStatus::Ok);
    EXPECT_EQ(r.bytes, 0u);
    r = line.Read(buf, sizeof buf, 100);
    EXPECT_EQ(r.status, IoStatus::TimedOut);
    EXPECT_EQ(r.bytes, 0u);

    // Bytes both ways.
    r = line.WriteAll("AT\r", 3, 1000);
    EXPECT_EQ(r.status, IoStatus::Ok);
    EXPECT_EQ(r.bytes, 3u);
    EXPECT_EQ(ReadMaster(master, 3), "AT\r");
    ASSERT_EQ(write(master, "\r\nOK\r\n", 6), 6);
    std::string answer;
    while (answer.size() < 6) {
        r = line.Read(buf, sizeof buf, 10'000);
        ASSERT_EQ(r.status, IoStatus::Ok);
        answer.append(buf, r.bytes);
    }
    EXPECT_EQ(answer, "\r\nOK\r\n");

    // The operator's Cancel ends a long wait.
    platform::CancelToken token;
    {
        platform::ScopedCancelToken scope(&token);
        std::thread cancel([&token] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            token.Cancel();
        });
        const auto start = std::chrono::steady_clock::now();
        r = line.Read(buf, sizeof buf, 120'000);
        cancel.join();
        EXPECT_EQ(r.status, IoStatus::Cancelled);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));  // hang guard
    }

    // The device side going away is a hang-up.
    close(master);
    r = line.ReadAvailable(buf, sizeof buf);
    EXPECT_EQ(r.status, IoStatus::Closed);

    // Closing releases the lock for the next opener.
    line.Close();
    int spare = -1;
    ASSERT_EQ(openpty(&master, &spare, name, nullptr, nullptr), 0);
    SerialPort again = SerialPort::Open(name, &error);
    EXPECT_TRUE(again.IsOpen());
    SerialPort other = SerialPort::Open(name, &error);
    EXPECT_EQ(error, EBUSY);
    again.Close();
    other = SerialPort::Open(name, &error);
    EXPECT_TRUE(other.IsOpen()) << error;
    close(spare);
    close(master);
}

TEST(SerialPort, DeviceThatIsNoLineOpensButCannotBeConfigured) {
    int error = 0;
    SerialPort missing = SerialPort::Open("/nonexistent/tty", &error);
    EXPECT_FALSE(missing.IsOpen());
    EXPECT_EQ(error, ENOENT);
    SerialPort null = SerialPort::Open("/dev/null", &error);
    ASSERT_TRUE(null.IsOpen()) << error;
    EXPECT_FALSE(null.IsLine());
    EXPECT_FALSE(null.Configure(9600));
}

}  // namespace
