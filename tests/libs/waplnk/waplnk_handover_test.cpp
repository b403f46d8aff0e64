// The modem hand-over of libwaplnk.so against the stand-in Gateway service.
#include <sys/wait.h>
#include <unistd.h>

#include "acctdb/acctdb.h"
#include "platform/ini.h"
#include "tests/support/service_fixture.h"
#include "waplnk/waplnk.h"

namespace services_test {
namespace {

class ModemHandover : public ServiceFixture {
protected:
    std::string Key(const char* key) {
        return platform::GetPrivateProfileString(dataDir_ + "ZELLA.INI", "ModemAllocate", key, "");
    }
    bool Logged(const std::string& text) {
        std::string log;
        platform::ReadFile(acctdb::GetLogDirectory() + "EVENTS.LOG", log);
        return log.find(text) != std::string::npos;
    }
    void Flag(const char* name, bool on) {
        if (on) {
            platform::WriteFileAtomic(dataDir_ + name, "");
        } else {
            platform::DeleteFileChecked(dataDir_ + name);
        }
    }
};

TEST_F(ModemHandover, ServiceLendsTheModemAsksForItAndTakesItBack) {
    int port = -1;
    // Nothing to borrow: no modem named, or no service holding one.
    EXPECT_NE(ModemAllocate("(none)", 30, &port), 0);
    EXPECT_EQ(port, 0);
    EXPECT_NE(ModemAllocate("COM3:", 30, &port), 0);
    EXPECT_EQ(Key("RequestId"), "") << "no request while the service is stopped";
    ModemRelease(0);

    InstallAndStartGateway();
    intptr_t lent = ModemAllocate("COM3:", 10, &port);
    ASSERT_NE(lent, 0);
    EXPECT_EQ(port, 3);
    EXPECT_EQ(Key("Modem"), "COM3:");
    EXPECT_EQ(Key("ConsolePid"), std::to_string(getpid()));
    EXPECT_EQ(Key("Status"), "Granted");
    EXPECT_TRUE(Eventually([&] { return Logged("Modem COM3: lent to the console"); }));
    EXPECT_EQ(ModemRequested(lent), 0);
    Flag("STANDIN-MODEM-WANTED", true);
    EXPECT_TRUE(Eventually([&] { return ModemRequested(lent) != 0; }));
    Flag("STANDIN-MODEM-WANTED", false);
    ModemRelease(lent);
    EXPECT_EQ(Key("RequestId"), "");
    EXPECT_TRUE(Eventually([&] { return Logged("Modem COM3: taken back"); }));

    // A busy modem is refused at once and the request withdrawn.
    Flag("STANDIN-MODEM-BUSY", true);
    EXPECT_EQ(ModemAllocate("Test Modem", 10, &port), 0);
    EXPECT_EQ(Key("RequestId"), "");
    Flag("STANDIN-MODEM-BUSY", false);

    // A console that dies holding the modem: the service takes it back by itself.
    pid_t child = fork();
    if (child == 0) _exit(0);
    waitpid(child, nullptr, 0);
    platform::IniBatch request(dataDir_ + "ZELLA.INI");
    request.Write("ModemAllocate", "Modem", "Test Modem");
    request.Write("ModemAllocate", "RequestId", "77");
    request.Write("ModemAllocate", "ConsolePid", std::to_string(child));
    ASSERT_TRUE(request.Commit());
    EXPECT_TRUE(Eventually([&] { return Logged("Modem Test Modem taken back"); }));
    EXPECT_EQ(Key("RequestId"), "");
}

}  // namespace
}  // namespace services_test
