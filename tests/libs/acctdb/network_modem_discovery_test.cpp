// Phone discovery end to end: a private message bus and a private DNS-SD daemon (limited
// to the loopback interface, its run directory in a mount namespace of its own so a
// system daemon is never disturbed), a stand-in phone published on it, and the search,
// the cache and a connection through the cache. Without a daemon the search finds nothing.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "acctdb/acctdb.h"
#include "acctdb/network_modem.h"
#include "platform/files.h"
#include "tests/support/first_line_child.h"
#include "tests/support/temp_dir.h"

namespace {

using zella_test::FirstLineChild;

std::string FindProgram(const std::string& name) {
    for (const char* dir : {"/usr/bin/", "/usr/sbin/", "/bin/", "/sbin/"}) {
        if (access((dir + name).c_str(), X_OK) == 0) return dir + name;
    }
    return std::string();
}

// Sets an environment variable while it lives; the previous value comes back after.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = getenv(name)) previous_ = old, hadValue_ = true;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (hadValue_)
            setenv(name_, previous_.c_str(), 1);
        else
            unsetenv(name_);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    std::string previous_;
    bool hadValue_ = false;
};

void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// A bus daemon that lets everyone do everything, on a socket in `dir`; its address is
// the first line it prints.
std::unique_ptr<FirstLineChild> StartBus(const zella_test::TempDir& dir) {
    WriteFile(
        dir.File("bus.conf"),
        "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
        " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
        "<busconfig><type>custom</type><listen>unix:path=" +
            dir.File("bus") +
            "</listen><auth>EXTERNAL</auth><policy context=\"default\"><allow user=\"*\"/>"
            "<allow own=\"*\"/><allow send_type=\"method_call\"/>"
            "<allow send_destination=\"*\"/><allow receive_sender=\"*\"/></policy></busconfig>\n");
    return std::make_unique<FirstLineChild>(
        FindProgram("dbus-daemon"),
        std::vector<std::string>{"--config-file=" + dir.File("bus.conf"), "--print-address",
                                 "--nofork"});
}

// The DNS-SD daemon on the bus named by DBUS_SYSTEM_BUS_ADDRESS, answering on loopback
// only. Its pid file lives below /run, so /run is a fresh tmpfs in a mount namespace of
// its own; the shell prints a line once that worked and then becomes the daemon.
std::unique_ptr<FirstLineChild> StartDnsSdDaemon(const zella_test::TempDir& dir) {
    WriteFile(dir.File("daemon.conf"),
              "[server]\nhost-name=zella-discovery-test\nuse-ipv4=yes\nuse-ipv6=yes\n"
              "allow-interfaces=lo\nenable-dbus=yes\n[wide-area]\nenable-wide-area=no\n"
              "[publish]\npublish-hinfo=no\npublish-workstation=no\n");
    const std::string script = "mount -t tmpfs zella-run /run || exit 1; echo ready; exec " +
                               FindProgram("avahi-daemon") +
                               " --no-drop-root --no-chroot --no-rlimits -f " +
                               dir.File("daemon.conf") + " >" + dir.File("daemon.log") + " 2>&1";
    return std::make_unique<FirstLineChild>(
        FindProgram("unshare"),
        std::vector<std::string>{"--mount", "--propagation", "private", "/bin/sh", "-c", script});
}

// Publishes the stand-in phone; retried while the daemon is still starting up.
std::unique_ptr<FirstLineChild> PublishPhone(const std::string& name, unsigned port) {
    const std::string command = "exec " + FindProgram("avahi-publish") + " -s '" + name + "' " +
                                acctdb::kQuvsmsModemServiceType + " " + std::to_string(port) +
                                " 2>&1";
    for (int attempt = 0; attempt < 100; ++attempt) {
        auto publisher =
            std::make_unique<FirstLineChild>("/bin/sh", std::vector<std::string>{"-c", command});
        if (publisher->FirstLine().rfind("Established", 0) == 0) return publisher;
        publisher.reset();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return nullptr;
}

long long SearchMs(int* count) {
    const auto start = std::chrono::steady_clock::now();
    *count = acctdb::FindQuvSMSModem(0, 0, 300);
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start)
        .count();
}

std::size_t TimesCached(const std::string& text) {
    const std::vector<std::string> devices = acctdb::QuvsmsModemCacheDevices();
    return static_cast<std::size_t>(std::count(devices.begin(), devices.end(), text));
}

std::string ReadAll(int fd) {
    std::string text;
    char buffer[4096];
    ssize_t got;
    while ((got = recv(fd, buffer, sizeof buffer, 0)) > 0) text.append(buffer, got);
    return text;
}

TEST(NetworkModemDiscovery, PublishedPhoneIsFoundCachedOnceAndReachedThroughTheCache) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "the private DNS-SD daemon needs root (a mount namespace for its "
                        "pid file, and it runs without dropping privileges)";
    }
    for (const char* program : {"dbus-daemon", "avahi-daemon", "avahi-publish", "unshare"}) {
        if (FindProgram(program).empty()) GTEST_SKIP() << program << " is not installed";
    }
    zella_test::TempDir dir("discovery");
    FirstLineChild phone(platform::ExecutableDirectory() + "phonesim",
                         {"--log=" + dir.File("requests.log")});
    ASSERT_TRUE(phone.Started()) << "phonesim did not start";
    const std::string device = "127.0.0.1:" + phone.FirstLine();

    std::unique_ptr<FirstLineChild> bus = StartBus(dir);
    ASSERT_TRUE(bus->Started()) << "the private message bus did not start";
    ScopedEnv busAddress("DBUS_SYSTEM_BUS_ADDRESS", bus->FirstLine());
    std::unique_ptr<FirstLineChild> daemon = StartDnsSdDaemon(dir);
    if (!daemon->Started()) GTEST_SKIP() << "no private mount namespace for the DNS-SD daemon";
    std::unique_ptr<FirstLineChild> publisher =
        PublishPhone("Zella stand-in phone", std::stoul(phone.FirstLine()));
    ASSERT_NE(publisher, nullptr) << "the stand-in phone could not be published; daemon log:\n"
                                  << std::ifstream(dir.File("daemon.log")).rdbuf();

    int count = 0, searches = 0;
    while (TimesCached(device) == 0 && searches < 10) {
        const long long ms = SearchMs(&count);
        std::cout << "search " << ++searches << ": " << ms << " ms, " << count << " cached\n";
    }
    ASSERT_EQ(TimesCached(device), 1u) << "not found in " << searches << " searches";
    const long long againMs = SearchMs(&count);
    std::cout << "search again: " << againMs << " ms, " << count << " cached\n";
    EXPECT_EQ(TimesCached(device), 1u) << "a phone found again must not be added twice";
    EXPECT_EQ(static_cast<std::size_t>(count), acctdb::QuvsmsModemCacheDevices().size());

    bool walked = false;
    for (const acctdb::QuvsmsModem* m = acctdb::QuvsmsModemCacheHead(); m; m = m->next) {
        walked = walked || device == m->name;
    }
    EXPECT_TRUE(walked);
    std::string address;
    ASSERT_TRUE(acctdb::NetworkModemAddress("QuvSMSModem_" + device, &address));
    EXPECT_EQ(address, device);

    const int socket = acctdb::IPV6OpenSocket(0, 0, 0);
    ASSERT_GE(socket, 0);
    ASSERT_EQ(acctdb::IPV6ConnectToINetServer(socket, "quvsmsmodem_" + device, 0), 0);
    const std::string request =
        "GET /init HTTP/1.1\r\nHost: quvsmsmodem_" + device + "\r\nX-QuvSMS-Timeout: 5\r\n\r\n";
    ASSERT_EQ(send(socket, request.data(), request.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(request.size()));
    shutdown(socket, SHUT_WR);
    const std::string answer = ReadAll(socket);
    close(socket);
    EXPECT_NE(answer.find("X-QuvSMS-DeviceID: a1b2c3d4e5f6"), std::string::npos) << answer;
}

TEST(NetworkModemDiscovery, WithoutADaemonTheSearchFindsNothingAndTypedAddressesStillWork) {
    zella_test::TempDir dir("nodaemon");
    const std::vector<std::string> before = acctdb::QuvsmsModemCacheDevices();
    int count = 0;
    {
        ScopedEnv noBus("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + dir.File("no-bus"));
        std::cout << "no bus: " << SearchMs(&count) << " ms\n";
        EXPECT_EQ(static_cast<std::size_t>(count), before.size());
    }
    if (!FindProgram("dbus-daemon").empty()) {
        std::unique_ptr<FirstLineChild> bus = StartBus(dir);
        ASSERT_TRUE(bus->Started()) << "the private message bus did not start";
        ScopedEnv busAddress("DBUS_SYSTEM_BUS_ADDRESS", bus->FirstLine());
        std::cout << "bus without daemon: " << SearchMs(&count) << " ms\n";
        EXPECT_EQ(static_cast<std::size_t>(count), before.size());
    }
    EXPECT_EQ(acctdb::QuvsmsModemCacheDevices(), before);
    std::string address;
    ASSERT_TRUE(acctdb::NetworkModemAddress("quvsmsmodem_10.0.0.200:8990", &address));
    EXPECT_EQ(address, "10.0.0.200:8990");
}

}  // namespace
