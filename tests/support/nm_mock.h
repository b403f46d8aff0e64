// NetworkManager's D-Bus interface on a private bus, for tests of code that talks to it
// through libnm: a dbus-daemon of its own and python3-dbusmock's networkmanager template
// on it, with DBUS_SYSTEM_BUS_ADDRESS pointing there while the object lives (libnm uses
// the system bus). Both daemons are killed when the object goes, whatever happened.
//
//   zella_test::NmMock nm;
//   if (!nm.Start()) GTEST_SKIP() << nm.Why();
//   nm.AddModem("ttyUSB0", "Test Modem");
//   nm.AddGsmConnection("Operator GPRS", "ttyUSB0", "internet", "user", "secret");
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace zella_test {

class NmMock {
public:
    NmMock() = default;
    NmMock(const NmMock&) = delete;
    NmMock& operator=(const NmMock&) = delete;
    ~NmMock() { Stop(); }

    // Starts the bus and the mock and waits until the mock owns NetworkManager's name.
    // False when dbus-daemon or dbusmock is missing or either did not come up (Why()).
    bool Start(bool withNetworkManager = true) {
        if (access(kDaemon, X_OK) != 0) return Fail("dbus-daemon is not installed");
        if (Python("import dbusmock") != 0) return Fail("python3-dbusmock is not installed");
        int out[2];
        if (pipe2(out, O_CLOEXEC) != 0) return Fail("pipe failed");
        busPid_ = Spawn({kDaemon, "--session", "--print-address=1", "--nofork"}, out[1]);
        close(out[1]);
        std::string address = ReadLine(out[0], 10000);
        close(out[0]);
        if (busPid_ <= 0 || address.empty()) return Fail("dbus-daemon did not start");
        address_ = address;
        if (const char* old = getenv("DBUS_SYSTEM_BUS_ADDRESS")) previous_ = std::string(old);
        setenv("DBUS_SYSTEM_BUS_ADDRESS", address_.c_str(), 1);
        if (!withNetworkManager) return true;
        // The mock logs every call on stdout: keep the test's output readable.
        int quiet = open("/dev/null", O_WRONLY | O_CLOEXEC);
        mockPid_ = Spawn({kPython, "-m", "dbusmock", "--system", "--template", "networkmanager"}, quiet);
        if (quiet >= 0) close(quiet);
        if (mockPid_ <= 0 || Python(Prelude()) != 0) return Fail("the NetworkManager mock did not start");
        return true;
    }

    const std::string& Why() const { return why_; }
    const std::string& Address() const { return address_; }

    // Adds a modem device with interface `iface` (disconnected, managed). True on success.
    bool AddModem(const std::string& iface, const std::string& product) {
        return Python(Prelude() + R"(
path = '/org/freedesktop/NetworkManager/Devices/' + sys.argv[1]
mock.AddObject(path, 'org.freedesktop.NetworkManager.Device.Modem',
    {'ModemCapabilities': dbus.UInt32(4), 'CurrentCapabilities': dbus.UInt32(4),
     'DeviceId': '', 'OperatorCode': '', 'Apn': ''}, [])
dev = dbus.Interface(bus.get_object(NM, path), 'org.freedesktop.DBus.Mock')
dev.AddProperties('org.freedesktop.NetworkManager.Device', {
    'DeviceType': dbus.UInt32(8), 'State': dbus.UInt32(30),
    'StateReason': dbus.Struct((dbus.UInt32(30), dbus.UInt32(0)), signature='uu'),
    'Interface': sys.argv[1], 'IpInterface': '', 'Product': sys.argv[2], 'Vendor': '',
    'ActiveConnection': dbus.ObjectPath('/'), 'AvailableConnections': dbus.Array([], signature='o'),
    'Managed': True, 'Driver': 'dbusmock', 'Autoconnect': False, 'Capabilities': dbus.UInt32(0)})
devices = props.Get(NMI, 'Devices')
devices.append(dbus.ObjectPath(path))
mock.SetProperty('/org/freedesktop/NetworkManager', NMI, 'Devices', dbus.Array(devices, signature='o'))
)", {iface, product}) == 0;
    }

    // Adds a stored mobile-broadband connection; `iface` empty for one bound to no modem.
    bool AddGsmConnection(const std::string& id, const std::string& iface, const std::string& apn,
                          const std::string& login, const std::string& password) {
        return Python(Prelude() + R"(
import uuid
con = {'id': sys.argv[1], 'type': 'gsm', 'uuid': str(uuid.uuid4()), 'autoconnect': False}
if sys.argv[2]: con['interface-name'] = sys.argv[2]
gsm = {'apn': sys.argv[3]}
if sys.argv[4]: gsm['username'] = sys.argv[4]
if sys.argv[5]: gsm['password'] = sys.argv[5]
settings.AddConnection(dbus.Dictionary({'connection': con, 'gsm': gsm}, signature='sa{sv}'))
)", {id, iface, apn, login, password}) == 0;
    }

    // The ids of the active connections, one per line in the order NetworkManager lists them.
    std::string ActiveConnectionIds() {
        std::string out;
        Python(Prelude() + R"(
for p in props.Get(NMI, 'ActiveConnections'):
    a = dbus.Interface(bus.get_object(NM, p), 'org.freedesktop.DBus.Properties')
    print(a.Get('org.freedesktop.NetworkManager.Connection.Active', 'Id'))
)", {}, &out);
        return out;
    }

    // The methods called on NetworkManager's manager object so far, one name per line in
    // the order they came ("ActivateConnection", "DeactivateConnection", ...).
    std::string ManagerCalls() {
        std::string out;
        Python(Prelude() + R"(
for call in mock.GetCalls():
    print(call[1])
)", {}, &out);
        return out;
    }

    // The ids of the stored connections (saved or not), one per line.
    std::string ConnectionIds() {
        std::string out;
        Python(Prelude() + R"(
for p in settings.ListConnections():
    c = dbus.Interface(bus.get_object(NM, p), 'org.freedesktop.NetworkManager.Settings.Connection')
    print(c.GetSettings()['connection']['id'])
)", {}, &out);
        return out;
    }

    // The gsm settings of the connection `id` as "apn user password", empty when missing.
    std::string GsmSettings(const std::string& id) {
        std::string out;
        Python(Prelude() + R"(
for p in settings.ListConnections():
    s = dbus.Interface(bus.get_object(NM, p), 'org.freedesktop.NetworkManager.Settings.Connection').GetSettings()
    if s['connection']['id'] == sys.argv[1]:
        g = s.get('gsm', {})
        print(g.get('apn', ''), g.get('username', ''), g.get('password', ''))
)", {id}, &out);
        return out;
    }

    // Kills the mock and the bus and restores DBUS_SYSTEM_BUS_ADDRESS.
    void Stop() {
        Kill(mockPid_);
        Kill(busPid_);
        if (!address_.empty()) {
            if (previous_) {
                setenv("DBUS_SYSTEM_BUS_ADDRESS", previous_->c_str(), 1);
            } else {
                unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
            }
            address_.clear();
        }
    }

private:
    static constexpr const char* kDaemon = "/usr/bin/dbus-daemon";
    // Debian's interpreter: the one on PATH may be another without dbusmock.
    static constexpr const char* kPython = "/usr/bin/python3";

    // Connects to the bus and waits (10 s at most) for the mock's name.
    static std::string Prelude() {
        return R"(
import dbus, sys, time
NM = 'org.freedesktop.NetworkManager'
NMI = NM
bus = dbus.SystemBus()
for _ in range(200):
    if bus.name_has_owner(NM): break
    time.sleep(0.05)
else:
    sys.exit(3)
mock = dbus.Interface(bus.get_object(NM, '/org/freedesktop/NetworkManager'), 'org.freedesktop.DBus.Mock')
props = dbus.Interface(bus.get_object(NM, '/org/freedesktop/NetworkManager'), 'org.freedesktop.DBus.Properties')
settings = dbus.Interface(bus.get_object(NM, '/org/freedesktop/NetworkManager/Settings'), NM + '.Settings')
)";
    }

    bool Fail(const std::string& why) {
        why_ = why;
        Stop();
        return false;
    }

    // Starts `argv` with stdout on `outFd` (-1: inherited); the pid, or -1.
    static pid_t Spawn(const std::vector<std::string>& argv, int outFd) {
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (outFd >= 0) posix_spawn_file_actions_adddup2(&actions, outFd, 1);
        pid_t pid = -1;
        int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        return rc == 0 ? pid : -1;
    }

    // The first line `fd` gives within `ms`, without its newline; empty on time-out.
    static std::string ReadLine(int fd, int ms) {
        std::string line;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < deadline) {
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, 100) <= 0) continue;
            char c;
            if (read(fd, &c, 1) != 1) break;
            if (c == '\n') return line;
            line += c;
        }
        return {};
    }

    // Runs a Python script with `args` as sys.argv[1:], bounded to 30 s; its exit code
    // (-1 when it could not run or was killed), stdout into `out` when given.
    static int Python(const std::string& script, const std::vector<std::string>& args = {},
                      std::string* out = nullptr) {
        int pipeFds[2];
        if (pipe2(pipeFds, O_CLOEXEC) != 0) return -1;
        std::vector<std::string> argv{kPython, "-c", script};
        argv.insert(argv.end(), args.begin(), args.end());
        pid_t pid = Spawn(argv, pipeFds[1]);
        close(pipeFds[1]);
        std::string text;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (pid > 0 && std::chrono::steady_clock::now() < deadline) {
            pollfd p{pipeFds[0], POLLIN, 0};
            if (poll(&p, 1, 100) <= 0) continue;
            char buffer[512];
            ssize_t n = read(pipeFds[0], buffer, sizeof buffer);
            if (n <= 0) break;
            text.append(buffer, static_cast<std::size_t>(n));
        }
        close(pipeFds[0]);
        if (out != nullptr) *out = text;
        if (pid <= 0) return -1;
        int status = 0;
        if (!WaitFor(pid, 5000, status)) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    static bool WaitFor(pid_t pid, int ms, int& status) {
        for (int waited = 0; waited <= ms; waited += 20) {
            if (waitpid(pid, &status, WNOHANG) == pid) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

    static void Kill(pid_t& pid) {
        if (pid <= 0) return;
        int status = 0;
        kill(pid, SIGTERM);
        if (!WaitFor(pid, 3000, status)) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
        }
        pid = -1;
    }

    pid_t busPid_ = -1;
    pid_t mockPid_ = -1;
    std::string address_;
    std::optional<std::string> previous_;
    std::string why_;
};

}  // namespace zella_test
