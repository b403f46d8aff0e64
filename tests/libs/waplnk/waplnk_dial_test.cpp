// The connection list, credentials, dial and hang-up of libwaplnk.so against a mock
// NetworkManager on a private bus; the dial's target is a loopback listener.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/held_port.h"
#include "tests/support/nm_mock.h"
#include "waplnk/waplnk.h"

namespace {

std::vector<std::string> Entries() {
    std::vector<std::string> items;
    RasLoadListOrComboBox(&items, 7, [](void* context, int control, const char* text) {
        EXPECT_EQ(control, 7);
        static_cast<std::vector<std::string>*>(context)->push_back(text);
    });
    return items;
}

// A port on loopback that nothing listens on.
unsigned ClosedPort() {
    zella_test::HeldPort probe;
    return probe.port;
}

TEST(WapLinkDial, ListsDialsAndHangsUpConnectionsAndModems) {
    zella_test::NmMock nm;
    if (!nm.Start()) GTEST_SKIP() << nm.Why();
    ASSERT_TRUE(nm.AddModem("ttyUSB0", "Test Modem"));
    ASSERT_TRUE(nm.AddGsmConnection("Operator GPRS", "ttyUSB0", "internet", "mmsuser", "secret"));
    ASSERT_TRUE(nm.AddGsmConnection("Unbound GPRS", "", "web", "", ""));
    EXPECT_EQ(WAPLinkAvailable(), 1);

    EXPECT_EQ(Entries(), (std::vector<std::string>{"Operator GPRS", "Unbound GPRS", "Modem: ttyUSB0"}));

    char login[64] = "x", password[64] = "x", modem[64] = "x";
    EXPECT_NE(RasGetUserAndPassword("Operator GPRS", login, sizeof login, password, sizeof password), 0);
    EXPECT_STREQ(login, "mmsuser");
    EXPECT_STREQ(password, "secret");
    char small[4];
    EXPECT_NE(RasGetUserAndPassword("Operator GPRS", small, sizeof small, password, sizeof password), 0);
    EXPECT_STREQ(small, "mms") << "cut to the buffer and terminated";
    EXPECT_NE(RasGetUserAndPassword("Unbound GPRS", login, sizeof login, password, sizeof password), 0);
    EXPECT_STREQ(login, "");
    EXPECT_STREQ(password, "");
    EXPECT_EQ(RasGetUserAndPassword("No Such GPRS", login, sizeof login, password, sizeof password), 0);
    EXPECT_NE(RasGetModemName("Operator GPRS", modem, sizeof modem), 0);
    EXPECT_STREQ(modem, "ttyUSB0");
    EXPECT_NE(RasGetModemName("Unbound GPRS", modem, sizeof modem), 0);
    EXPECT_STREQ(modem, "");
    EXPECT_NE(RasGetModemName("Modem: ttyUSB0", modem, sizeof modem), 0);
    EXPECT_STREQ(modem, "ttyUSB0");
    EXPECT_EQ(RasGetModemName("No Such GPRS", modem, sizeof modem), 0);

    zella_test::HeldPort proxy;
    listen(proxy.fd, 64);  // never accepted: room for every dial's connection
    std::string target = "127.0.0.1:" + std::to_string(proxy.port);
    // The stored connection as it is: activated, then deactivated by the hang-up.
    ASSERT_EQ(WSPRasDial("Operator GPRS", "", "", "", target.c_str()), 0);
    EXPECT_EQ(nm.ActiveConnectionIds(), "Operator GPRS\n");
    WSPRasHangUp("Operator GPRS");
    EXPECT_EQ(nm.ActiveConnectionIds(), "");

    // Other credentials go into an unsaved copy; the user's connection keeps its own.
    ASSERT_EQ(WSPRasDial("Operator GPRS", "mms", "other", "pass", target.c_str()), 0);
    EXPECT_EQ(nm.ActiveConnectionIds(), "Operator GPRS (MMS test)\n");
    EXPECT_EQ(nm.GsmSettings("Operator GPRS (MMS test)"), "mms other pass\n");
    EXPECT_EQ(nm.GsmSettings("Operator GPRS"), "internet mmsuser secret\n");
    WSPRasHangUp("Operator GPRS");
    EXPECT_EQ(nm.ActiveConnectionIds(), "");
    EXPECT_EQ(nm.ConnectionIds(), "Operator GPRS\nUnbound GPRS\n");

    // A bare modem gets a connection of its own, bound to it; the target is a URL here.
    std::string url = "http://127.0.0.1:" + std::to_string(proxy.port) + "/mms?x=1";
    ASSERT_EQ(WSPRasDial("Modem: ttyUSB0", "mms.apn", "", "", url.c_str()), 0);
    EXPECT_EQ(nm.ActiveConnectionIds(), "Modem: ttyUSB0 (MMS test)\n");
    EXPECT_EQ(nm.GsmSettings("Modem: ttyUSB0 (MMS test)"), "mms.apn  \n");
    WSPRasHangUp("Modem: ttyUSB0");
    EXPECT_EQ(nm.ActiveConnectionIds(), "");
    EXPECT_EQ(nm.ConnectionIds(), "Operator GPRS\nUnbound GPRS\n");

    // An unreachable gateway: 1, and the library took the connection down itself.
    std::string closed = "127.0.0.1:" + std::to_string(ClosedPort());
    EXPECT_EQ(WSPRasDial("Operator GPRS", "", "", "", closed.c_str()), 1);
    EXPECT_EQ(nm.ActiveConnectionIds(), "");
    EXPECT_EQ(WSPRasDial("Operator GPRS", "", "", "", ""), 1) << "no target at all";

    // Unknown entries and modems: dial-up error numbers with a text.
    char text[200];
    int code = WSPRasDial("No Such GPRS", "", "", "", target.c_str());
    EXPECT_EQ(code, 623);
    EXPECT_GT(WSPRasGetErrorString(code, text, sizeof text), 0);
    EXPECT_STREQ(text, "The network connection could not be found.");
    EXPECT_EQ(WSPRasDial("Modem: ttyACM9", "", "", "", target.c_str()), 608);
    EXPECT_EQ(nm.ActiveConnectionIds(), "");
    EXPECT_EQ(nm.ConnectionIds(), "Operator GPRS\nUnbound GPRS\n");
}

TEST(WapLinkDial, WithoutNetworkManagerTheLibraryReportsItselfUnavailable) {
    zella_test::NmMock bus;
    if (!bus.Start(false)) GTEST_SKIP() << bus.Why();  // a bus, but nobody owns the name
    EXPECT_EQ(WAPLinkAvailable(), 0);
    EXPECT_EQ(Entries(), std::vector<std::string>{});
    EXPECT_EQ(WSPRasDial("Operator GPRS", "", "", "", "127.0.0.1:9"), 711);
    char text[200];
    WSPRasGetErrorString(711, text, sizeof text);
    EXPECT_STREQ(text, "The network connection service is not available.");
    bus.Stop();
    setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/zella-no-bus", 1);
    EXPECT_EQ(WAPLinkAvailable(), 0) << "no system bus at all";
    unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
}

}  // namespace
