// scripts/run.sh on a machine without a display: it serves the real console over VNC on
// loopback behind a password it prints; a viewer gets the 1024x768 desktop; stopping the
// script by its process id takes every part down with it.
#define OPENSSL_SUPPRESS_DEPRECATED  // the VNC challenge is DES, which only the old API offers
#include <openssl/des.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"

extern char** environ;

namespace {

bool Have(const std::string& tool) {
    return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

int FreePort() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    close(fd);
    return ntohs(a.sin_port);
}

// A connection to 127.0.0.1:port, retried while the server starts (about 20 s at most).
int Connect(int port, int attempts) {
    for (int i = 0; i < attempts; ++i) {
        int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) return fd;
        close(fd);
        usleep(200 * 1000);
    }
    return -1;
}

bool ReadAll(int fd, void* buf, std::size_t n) {
    auto* p = static_cast<unsigned char*>(buf);
    while (n > 0) {
        ssize_t got = read(fd, p, n);
        if (got <= 0) return false;
        p += got;
        n -= static_cast<std::size_t>(got);
    }
    return true;
}

// The VNC answer to a challenge: DES with the password, each key byte's bits reversed.
std::array<unsigned char, 16> VncResponse(const std::string& password,
                                          const std::array<unsigned char, 16>& challenge) {
    DES_cblock key{};
    for (std::size_t i = 0; i < 8 && i < password.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(password[i]), r = 0;
        for (int b = 0; b < 8; ++b) r = static_cast<unsigned char>(r | (((c >> b) & 1) << (7 - b)));
        key[i] = r;
    }
    DES_key_schedule schedule;
    DES_set_key_unchecked(&key, &schedule);
    std::array<unsigned char, 16> out{};
    std::array<unsigned char, 16> in = challenge;
    for (int block = 0; block < 2; ++block)
        DES_ecb_encrypt(reinterpret_cast<DES_cblock*>(in.data() + 8 * block),
                        reinterpret_cast<DES_cblock*>(out.data() + 8 * block), &schedule,
                        DES_ENCRYPT);
    return out;
}

// The password run.sh prints for the operator, read from its output.
std::optional<std::string> PrintedPassword(FILE* out) {
    char line[512];
    while (std::fgets(line, sizeof line, out)) {
        std::string s(line);
        auto at = s.find("password: ");
        if (at != std::string::npos) return s.substr(at + 10, s.find_first_of("\r\n", at) - at - 10);
    }
    return std::nullopt;
}

TEST(HeadlessRun, ServesTheConsoleOverVncBehindAPasswordAndStopsWithTheScript) {
    for (const char* tool : {"Xvfb", "openbox", "x11vnc", "websockify"})
        if (!Have(tool)) GTEST_SKIP() << tool << " is not installed (scripts/setup.sh --headless)";
    zella_test::TempDir home("headless");
    const int vncPort = FreePort(), webPort = FreePort();
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        std::string v(*e);
        if (v.rfind("DISPLAY=", 0) == 0 || v.rfind("WAYLAND_DISPLAY=", 0) == 0 ||
            v.rfind("QT_QPA_PLATFORM=", 0) == 0 || v.rfind("ZELLA_SCRIPT=", 0) == 0)
            continue;
        env.push_back(v);
    }
    env.push_back("ZELLA_RUN_NO_BUILD=1");
    env.push_back(std::string("ZELLA_CONSOLE=") + ZELLA_CONSOLE_PATH);
    env.push_back("XDG_DATA_HOME=" + home.Path());
    env.push_back("ZELLA_SERVICE_MANAGER=supervisor");
    env.push_back("ZELLA_VNC_PORT=" + std::to_string(vncPort));
    env.push_back("ZELLA_WEB_PORT=" + std::to_string(webPort));
    std::vector<char*> envp;
    for (std::string& v : env) envp.push_back(v.data());
    envp.push_back(nullptr);

    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    posix_spawn_file_actions_addclose(&actions, pipeFds[1]);
    std::string script = ZELLA_RUN_SCRIPT;
    char* argv[] = {script.data(), nullptr};
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv, envp.data()), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    FILE* out = fdopen(pipeFds[0], "r");

    const std::optional<std::string> password = PrintedPassword(out);
    ASSERT_TRUE(password.has_value());
    EXPECT_EQ(password->size(), 8u);
    int fd = Connect(vncPort, 100);
    ASSERT_GE(fd, 0);
    char banner[13] = {};
    ASSERT_TRUE(ReadAll(fd, banner, 12));
    EXPECT_EQ(std::string(banner, 4), "RFB ");
    ASSERT_EQ(write(fd, "RFB 003.008\n", 12), 12);
    unsigned char count = 0;
    ASSERT_TRUE(ReadAll(fd, &count, 1));
    ASSERT_GT(count, 0);
    std::vector<unsigned char> types(count);
    ASSERT_TRUE(ReadAll(fd, types.data(), count));
    // Only password authentication is offered: no one reaches the console without it.
    EXPECT_EQ(types, std::vector<unsigned char>{2});
    unsigned char chosen = 2;
    ASSERT_EQ(write(fd, &chosen, 1), 1);
    std::array<unsigned char, 16> challenge{};
    ASSERT_TRUE(ReadAll(fd, challenge.data(), 16));
    auto response = VncResponse(*password, challenge);
    ASSERT_EQ(write(fd, response.data(), 16), 16);
    unsigned char result[4];
    ASSERT_TRUE(ReadAll(fd, result, 4));
    EXPECT_EQ(result[3], 0) << "password refused";
    unsigned char shared = 1;
    ASSERT_EQ(write(fd, &shared, 1), 1);
    unsigned char init[4];
    ASSERT_TRUE(ReadAll(fd, init, 4));
    EXPECT_EQ(init[0] * 256 + init[1], 1024);
    EXPECT_EQ(init[2] * 256 + init[3], 768);
    close(fd);

    ASSERT_EQ(kill(pid, SIGTERM), 0);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    // Every part went with the script: nothing answers on either port any more.
    EXPECT_EQ(Connect(vncPort, 1), -1);
    EXPECT_EQ(Connect(webPort, 1), -1);
    // The output pipe closes once no part is left holding it.
    char rest[256];
    while (std::fgets(rest, sizeof rest, out)) {}
    std::fclose(out);
}

}  // namespace
