// pkexec re-runs with a bounded wait, and the elevated copy's side: a clean environment
// and checked arguments.
#include "platform/elevation.h"

#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/cancel.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/process.h"

extern char** environ;

namespace platform {
namespace {

constexpr const char* kDataDir = "+DATADIR=";
constexpr const char* kServiceManager = "+SERVICEMANAGER=";
constexpr const char* kShmNamespace = "+SHMNAMESPACE=";
constexpr const char* kQtPlatform = "+QTPLATFORM=";

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::string Hex(const std::string& text) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : text) out += digits[c >> 4], out += digits[c & 15];
    return out;
}

int Nibble(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool Unhex(const std::string& hex, std::string& text) {
    if (hex.size() % 2 != 0) return false;
    text.clear();
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        int hi = Nibble(hex[i]), lo = Nibble(hex[i + 1]);
        if (hi < 0 || lo < 0) return false;
        text += static_cast<char>(hi * 16 + lo);
    }
    return true;
}

bool ValidServiceManager(const std::string& v) { return v == "systemd" || v == "supervisor"; }

bool ValidNamespace(const std::string& v) {
    if (v.empty() || v.size() > 64) return false;
    for (char c : v) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '.') return false;
    }
    return true;
}

bool ValidQtPlatform(const std::string& v) {
    return v == "xcb" || v == "wayland" || v == "offscreen" || v == "minimal";
}

// The user who asked pkexec for the elevation; this process's real user otherwise.
uid_t RequestingUser() {
    const std::string text = Env("PKEXEC_UID");
    char* end = nullptr;
    unsigned long uid = std::strtoul(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || uid > UINT_MAX) return getuid();
    return static_cast<uid_t>(uid);
}

// An absolute path naming a real directory through real directories only (realpath
// gives it back unchanged), owned by root or the requesting user, writable by no one
// else. Returns the reason for a refusal, empty when accepted.
std::string CheckDataDirectory(const std::string& path) {
    if (path.empty() || path[0] != '/') return "not an absolute path";
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved) == nullptr) return std::strerror(errno);
    if (WithoutSlash(path) != resolved) return "a symbolic link or not a plain path";
    struct stat st {};
    if (lstat(resolved, &st) != 0 || !S_ISDIR(st.st_mode)) return "not a directory";
    if (st.st_uid != 0 && st.st_uid != RequestingUser()) return "owned by another user";
    if ((st.st_mode & S_IWOTH) != 0) return "writable by everybody";
    return {};
}

// Keeps only the display and locale variables; HOME and PATH become root's own.
void CleanEnvironment() {
    std::vector<std::pair<std::string, std::string>> kept;
    for (char** e = environ; *e != nullptr; ++e) {
        std::string entry = *e;
        std::size_t eq = entry.find('=');
        if (eq == std::string::npos) continue;
        std::string name = entry.substr(0, eq);
        if (name == "DISPLAY" || name == "WAYLAND_DISPLAY" || name == "XAUTHORITY" ||
            name == "XDG_RUNTIME_DIR" || name == "LANG" || name == "TERM" ||
            name == "PKEXEC_UID" || name.rfind("LC_", 0) == 0) {
            kept.emplace_back(name, entry.substr(eq + 1));
        }
    }
    clearenv();
    for (const auto& [name, value] : kept) setenv(name.c_str(), value.c_str(), 1);
    const struct passwd* self = getpwuid(geteuid());
    setenv("HOME", self != nullptr && self->pw_dir != nullptr ? self->pw_dir : "/", 1);
    setenv("PATH", "/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin", 1);
}

bool Refuse(const std::string& argument, const std::string& reason) {
    std::fprintf(stderr, "zella: refused %s: %s\n", argument.c_str(), reason.c_str());
    return false;
}

// Applies one "+NAME=value" argument; false when refused.
bool Adopt(const std::string& arg, bool apply) {
    auto value = [&](const char* prefix) { return arg.substr(std::strlen(prefix)); };
    if (arg.rfind(kDataDir, 0) == 0) {
        std::string dir;
        if (!Unhex(value(kDataDir), dir)) return Refuse(arg, "not hex");
        std::string reason = CheckDataDirectory(dir);
        if (!reason.empty()) return Refuse(dir, reason);
        if (apply) setenv("ZELLA_DATA_DIR", dir.c_str(), 1);
    } else if (arg.rfind(kServiceManager, 0) == 0) {
        if (!ValidServiceManager(value(kServiceManager))) return Refuse(arg, "unknown backend");
        if (apply) setenv("ZELLA_SERVICE_MANAGER", value(kServiceManager).c_str(), 1);
    } else if (arg.rfind(kShmNamespace, 0) == 0) {
        if (!ValidNamespace(value(kShmNamespace))) return Refuse(arg, "invalid name");
        if (apply) setenv("ZELLA_SHM_NAMESPACE", value(kShmNamespace).c_str(), 1);
    } else if (arg.rfind(kQtPlatform, 0) == 0) {
        if (!ValidQtPlatform(value(kQtPlatform))) return Refuse(arg, "unknown platform");
        if (apply) setenv("QT_QPA_PLATFORM", value(kQtPlatform).c_str(), 1);
    } else {
        return Refuse(arg, "unknown argument");
    }
    return true;
}

}  // namespace

std::vector<std::string> ElevationEnvironment(const std::string& dataDirectory) {
    std::vector<std::string> args;
    if (!dataDirectory.empty()) args.push_back(kDataDir + Hex(dataDirectory));
    if (ValidServiceManager(Env("ZELLA_SERVICE_MANAGER"))) {
        args.push_back(kServiceManager + Env("ZELLA_SERVICE_MANAGER"));
    }
    if (ValidNamespace(Env("ZELLA_SHM_NAMESPACE"))) args.push_back(kShmNamespace + Env("ZELLA_SHM_NAMESPACE"));
    if (ValidQtPlatform(Env("QT_QPA_PLATFORM"))) args.push_back(kQtPlatform + Env("QT_QPA_PLATFORM"));
    return args;
}

std::vector<std::string> ElevatedCommand(const std::string& executable,
                                         const std::vector<std::string>& arguments,
                                         const std::vector<std::string>& checkedArguments) {
    const std::string custom = Env("ZELLA_PKEXEC");
    std::vector<std::string> argv{custom.empty() ? "pkexec" : custom, executable};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    argv.insert(argv.end(), checkedArguments.begin(), checkedArguments.end());
    return argv;
}

bool AdoptElevationArguments(std::vector<std::string>& args) {
    const bool elevated = !Env("PKEXEC_UID").empty();
    if (elevated) CleanEnvironment();
    std::vector<std::string> rest;
    bool ok = true;
    for (const std::string& arg : args) {
        if (arg.size() > 1 && arg[0] == '+' && arg.find('=') != std::string::npos) {
            ok = Adopt(arg, elevated) && ok;
        } else {
            rest.push_back(arg);
        }
    }
    args = std::move(rest);
    return ok;
}

bool RunElevated(const std::vector<std::string>& command, int timeoutMs) {
    if (command.empty()) return false;
    std::string program = command[0].find('/') != std::string::npos ? command[0]
                                                                    : FindInPath(command[0]);
    if (program.empty()) return false;
    std::vector<char*> argv;
    for (const std::string& a : command) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    // pkexec needs the terminal or the session's agent, so the standard streams stay.
    if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) {
        return false;
    }
    for (int waited = 0;; waited += 100) {
        pid_t rc = waitpid(pid, nullptr, WNOHANG);
        if (rc == pid || (rc < 0 && errno != EINTR)) return true;
        // A cancelled wait stops waiting only: the elevated copy carries on by itself.
        if (waited >= timeoutMs || CancelRequested()) break;
        Clock().Sleep(100);
    }
    std::thread([pid] {
        while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    return true;
}

}  // namespace platform
