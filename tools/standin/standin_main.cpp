// zella-standin: plays the Gateway service (as "zellant") or the MMSC service (as
// "mmscnt", or with --mmsc) for tests and demos.
//
// It creates its status block, listens on its configured ports on the loopback
// interface and sets the block's port-in-use bytes for every port it cannot have:
//   Gateway: WebPort of [ZELLA] (default 8800; empty: no web port) and SMPPPort (none
//            when absent; when listening, byte 3 is set and SMPP clients may bind).
//   MMSC:    HTTPPort and SMTPPort of [MMSC] in MMSC.INI (none when absent).
// It then announces readiness by writing its pid into $ZELLA_SERVICE_READY_FILE and
// runs until the block's stop byte is set or SIGTERM/SIGINT arrives.
//
// $ZELLA_STANDIN_MODE changes the behaviour for failure tests:
//   "hang" never announces readiness and ignores the stop byte and SIGTERM (a service
//          stuck in start pending; only SIGKILL ends it). SIGTERM is set aside before
//          the status block is created, so once the block exists a SIGTERM is sure to
//          be ignored; one sent earlier, right after exec, still ends the process;
// As the Gateway service it also sends the console's test messages (spool_sender.h),
// lends its modem to the console on request (modem_allocation.h),
// and records "Service started" / "Service stopped" (Info) in the supervisor's event log
// ("EVENTS.LOG" in the log directory, the format of platform/event_log.h).
//   "exit" ends at once with exit code 3 (a service that cannot start).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "acctdb/acctdb.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "platform/service_notify.h"
#include "platform/shared_memory.h"
#include "tools/standin/modem_allocation.h"
#include "tools/standin/smpp_clients.h"
#include "tools/standin/spool_sender.h"

namespace {

volatile sig_atomic_t g_terminate = 0;

void OnTerminate(int) { g_terminate = 1; }

namespace sb = platform::status_block;

// A port number from an INI value; 0 for none (empty, not a number, out of range).
unsigned PortValue(const std::string& text) {
    char* end = nullptr;
    unsigned long port = std::strtoul(text.c_str(), &end, 10);
    return (end == text.c_str() || port == 0 || port > 65535) ? 0 : static_cast<unsigned>(port);
}

// A listening TCP socket on 127.0.0.1:port, or -1 (errno tells why).
int Listen(unsigned port) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd, 16) != 0) {
        int err = errno;
        close(fd);
        errno = err;
        return -1;
    }
    return fd;
}

// A port the stand-in holds (and accepts and closes connections on), or -1.
struct Port {
    int fd = -1;
    ~Port() {
        if (fd >= 0) close(fd);
    }
};

// Opens `port` when configured; sets `inUseByte` of the block when it is taken.
void OpenPort(unsigned port, Port& holder, platform::SharedMemory& block, std::size_t inUseByte) {
    if (port == 0) return;
    holder.fd = Listen(port);
    if (holder.fd < 0) {
        block.SetByte(inUseByte, 1);
        std::fprintf(stderr, "zella-standin: port %u: %s\n", port, std::strerror(errno));
    }
}

void AnnounceReady() {
    platform::NotifyServiceManager("READY=1");  // its units are notify services too
    const char* file = std::getenv("ZELLA_SERVICE_READY_FILE");
    if (file == nullptr || *file == '\0') return;
    platform::WriteFileAtomic(file, std::to_string(getpid()) + "\n");
}

void AcceptAndClose(const pollfd& p) {
    if ((p.revents & POLLIN) == 0) return;
    int fd = accept4(p.fd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0) close(fd);
}

bool StopWanted(const platform::SharedMemory& block, bool hang) {
    if (hang) return false;
    return g_terminate != 0 || block.Byte(sb::kStopRequest) != 0;
}

int RunGateway(bool hang) {
    platform::SharedMemory block;
    if (!block.Create(sb::kGatewayName, sb::kBlockSize)) {
        std::fprintf(stderr, "zella-standin: cannot create the status block\n");
        return 1;
    }
    std::string ini = acctdb::GetProgramDataDirectory() + "ZELLA.INI";
    Port web, smpp;
    OpenPort(PortValue(platform::GetPrivateProfileString(ini, "ZELLA", "WebPort", "8800")), web,
             block, sb::kWebPortInUse);
    OpenPort(PortValue(platform::GetPrivateProfileString(ini, "ZELLA", "SMPPPort", "")), smpp,
             block, sb::kSmppPortInUse);
    std::unique_ptr<standin::SmppClients> clients;
    if (smpp.fd >= 0) {
        clients = std::make_unique<standin::SmppClients>(
            smpp.fd, acctdb::GetPrivateDataDirectory() + "SMPPData/ActiveUsers/");
        smpp.fd = -1;  // the client set owns it now
        block.SetByte(sb::kSmppServerRunning, 1);
    }
    standin::SpoolSender spool;
    gateway::ModemLender modems = standin::MakeModemLender();
    standin::LogServiceEvent(platform::EventLevel::Info, "Service started");
    if (!hang) AnnounceReady();
    while (!StopWanted(block, hang)) {
        spool.Tick();
        modems.Tick();
        std::vector<pollfd> set{{web.fd, POLLIN, 0}};
        std::vector<pollfd> smppSet = clients ? clients->PollSet() : std::vector<pollfd>{};
        set.insert(set.end(), smppSet.begin(), smppSet.end());
        if (poll(set.data(), set.size(), 100) <= 0) continue;
        AcceptAndClose(set[0]);
        if (clients) clients->Handle(std::vector<pollfd>(set.begin() + 1, set.end()));
    }
    standin::LogServiceEvent(platform::EventLevel::Info, "Service stopped");
    return 0;
}

int RunMmsc(bool hang) {
    platform::SharedMemory block;
    if (!block.Create(sb::kMmscName, sb::kBlockSize)) {
        std::fprintf(stderr, "zella-standin: cannot create the status block\n");
        return 1;
    }
    std::string ini = acctdb::GetProgramDataDirectory() + "MMSC.INI";
    Port http, smtp;
    OpenPort(PortValue(platform::GetPrivateProfileString(ini, "MMSC", "HTTPPort", "")), http,
             block, sb::kMmscHttpPortInUse);
    OpenPort(PortValue(platform::GetPrivateProfileString(ini, "MMSC", "SMTPPort", "")), smtp,
             block, sb::kMmscSmtpPortInUse);
    if (!hang) AnnounceReady();
    while (!StopWanted(block, hang)) {
        pollfd set[2] = {{http.fd, POLLIN, 0}, {smtp.fd, POLLIN, 0}};
        if (poll(set, 2, 100) <= 0) continue;
        AcceptAndClose(set[0]);
        AcceptAndClose(set[1]);
    }
    return 0;
}

bool PlaysMmsc(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--mmsc") == 0) return true;
        if (std::strcmp(argv[i], "--gateway") == 0) return false;
    }
    std::string self = argv[0];
    std::string base = self.substr(self.rfind('/') + 1);
    return base == "mmscnt";
}

}  // namespace

int main(int argc, char** argv) {
    const char* modeText = std::getenv("ZELLA_STANDIN_MODE");
    std::string mode = modeText != nullptr ? modeText : "";
    if (mode == "exit") return 3;
    bool hang = mode == "hang";
    struct sigaction action {};
    action.sa_handler = hang ? SIG_IGN : OnTerminate;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
    return PlaysMmsc(argc, argv) ? RunMmsc(hang) : RunGateway(hang);
}
