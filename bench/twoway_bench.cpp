// Two-way and alerts costs.
//
// 1. The SMTP test with STARTTLS and AUTH LOGIN against the npm smtp-server of
//    tests/peers (node and the package required): the console's CPU per session against
//    the server's (the node process's CPU from /proc) for the same sessions.
//    Target: the console below the server.
// 2. Opening the 2-Way page on a ZELLA.INI with 5,000 keyword commands, against reading
//    the same list and sections with the INI snapshot reader alone. Target: at most 1.5x.
//
//   twoway_bench [sessions] [keywords]      (defaults 50 and 5000)
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_clock.h"
#include "config/config_store.h"
#include "platform/dynlib.h"
#include "platform/files.h"
#include "platform/ini_snapshot.h"
#include "shell/core/link_libraries.h"
#include "twoway/alert_message.h"
#include "twoway/keyword_store.h"
#include "twoway/smtp_client.h"
#include "twoway/twoway_page.h"
#include "ui/headless_host.h"

extern char** environ;

namespace {

using namespace bench;

void SmtpSessions(int sessions, const std::string& dir) {
    const std::string peers = ZELLA_PEERS_DIR;
    if (access((peers + "/node_modules/smtp-server").c_str(), F_OK) != 0) {
        std::printf("smtp: smtp-server not installed, skipped\n");
        return;
    }
    const std::string make = "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=localhost "
                             "-keyout " + dir + "key.pem -out " + dir + "cert.pem >/dev/null 2>&1";
    if (std::system(make.c_str()) != 0) return;
    platform::SetLibraryDirectory(ZELLA_BIN_DIR "/");
    shell::LoadLinkLibraries();
    if (!shell::TlsAvailable()) {
        std::printf("smtp: libtlslnk.so not available, skipped\n");
        return;
    }
    int out[2];
    if (pipe(out) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    std::vector<std::string> args{"node", peers + "/smtp_peer.js", "starttls", "--key", dir + "key.pem",
                                  "--cert", dir + "cert.pem"};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, "node", &actions, nullptr, argv.data(), environ) != 0) return;
    close(out[1]);
    FILE* lines = fdopen(out[0], "r");
    char line[256] = "";
    unsigned port = 0;
    if (fgets(line, sizeof line, lines)) std::sscanf(line, "LISTENING %u", &port);
    std::thread drain([lines] {
        char ignored[4096];
        while (fgets(ignored, sizeof ignored, lines)) {
        }
    });
    twoway::SmtpTestSettings s;
    s.recipients = {"ops@example.test", "oncall@example.test"};
    s.sender = "gateway@example.test";
    s.server = "127.0.0.1";
    s.port = port;
    s.useTls = true;
    s.user = "alerts";
    s.password = "pw";
    s.hostName = "bench";
    s.tls = shell::TlsAvailable() ? shell::TlsLink() : nullptr;
    s.message = twoway::TestAlertMessage(s.sender, s.recipients, {}, {});
    twoway::SendSmtpTestMessage(s);  // warm-up: the JIT's first compilation is no session's cost
    const double peer0 = ProcessCpu(pid), console0 = ThreadCpu();
    int ok = 0;
    for (int i = 0; i < sessions; ++i) ok += twoway::SendSmtpTestMessage(s).submitted ? 1 : 0;
    const double console = ThreadCpu() - console0, peer = ProcessCpu(pid) - peer0;
    std::printf("smtp: %d/%d sessions submitted; CPU per session: console %.2f ms, server %.2f ms "
                "(ratio %.2f, target < 1)\n",
                ok, sessions, console * 1000 / sessions, peer * 1000 / sessions, console / peer);
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    drain.join();
    fclose(lines);
    shell::FreeLinkLibraries();
}

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void OpenPage(int keywords, const std::string& dir) {
    const std::string ini = dir + "ZELLA.INI";
    std::string text = "[ZELLA]\nReceiveSMS=Yes\n[2Way-Keywords]\nNewFormat=Yes\n";
    for (int i = 1; i <= keywords; ++i) text += "Keyword" + std::to_string(i) + "=KW" + std::to_string(i) + "\n";
    for (int i = 1; i <= keywords; ++i) {
        text += "[2Way-Keyword-KW" + std::to_string(i) + "]\nReplyText=Reply number " +
                std::to_string(i) + "\\r\\nsecond line\nMailTo=ops" + std::to_string(i) + "@example.test\n";
    }
    platform::WriteFileAtomic(ini, text);
    config::SetConfigurationPath(ini);
    const int rounds = 5;
    double page = 1e9, snapshot = 1e9;
    for (int r = 0; r < rounds; ++r) {
        auto t0 = std::chrono::steady_clock::now();
        std::size_t rows = 0;
        {
            ui::HeadlessHost host;
            ui::Sheet sheet("bench");
            sheet.AddPage(twoway::CreateTwoWayPage());
            host.QueueSheet([&](ui::Sheet& s) {
                rows = s.PageAt(0).Items("commands").size();
                s.End(ui::kCancel);
            });
            host.RunSheet(sheet);
        }
        page = std::min(page, Seconds(t0));
        t0 = std::chrono::steady_clock::now();
        std::size_t bytes = 0;
        {
            const platform::IniSnapshot zella(ini);
            for (const std::string& key : twoway::ListKeywords(zella)) {
                const std::string section = twoway::KeywordSectionName(key);
                for (const char* k : {"DListAdd", "DListRemove", "ReplyFile", "ReplyText", "MailTo",
                                      "Run", "RunSendResponse"})
                    bytes += zella.Get(section, k, "", 32767).size();
            }
        }
        snapshot = std::min(snapshot, Seconds(t0));
        if (r == 0) std::printf("page: %zu rows, snapshot read %zu value bytes\n", rows, bytes);
    }
    std::printf("page: opening with %d keywords %.1f ms, snapshot alone %.1f ms (ratio %.2f, target <= 1.5)\n",
                keywords, page * 1000, snapshot * 1000, page / snapshot);
    config::SetConfigurationPath("");
}

}  // namespace

int main(int argc, char** argv) {
    const int sessions = argc > 1 ? std::atoi(argv[1]) : 50;
    const int keywords = argc > 2 ? std::atoi(argv[2]) : 5000;
    char pattern[] = "/tmp/zella-twoway-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) return 1;
    const std::string dir = std::string(pattern) + "/";
    setenv("ZELLA_DATA_DIR", dir.c_str(), 1);
    SmtpSessions(sessions, dir);
    OpenPage(keywords, dir);
    platform::DeleteDirectoryTree(dir);
    return 0;
}
