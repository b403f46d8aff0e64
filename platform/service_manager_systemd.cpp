// The systemd backend: unit files plus `systemctl`, always through argument vectors.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <sstream>

#include "platform/files.h"
#include "platform/process.h"
#include "platform/service_manager.h"

namespace platform {
namespace {

constexpr int kSystemctlTimeoutMs = 30000;

std::string UnitName(const std::string& name) { return name + ".service"; }

// One ExecStart word. "%" (specifiers) and "$" (variables) are doubled so the path is
// taken literally; paths with blanks or quotes are quoted with C-style escapes.
std::string ExecWord(const std::string& path) {
    std::string literal;
    for (char c : path) {
        if (c == '%' || c == '$') literal += c;
        literal += c;
    }
    if (literal.find_first_of(" \t\"'\\") == std::string::npos) return literal;
    std::string quoted = "\"";
    for (char c : literal) {
        if (c == '"' || c == '\\') quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

// A line break would end the unit's line and start one of the writer's choosing
// ("ExecStartPre=..."); no control character belongs in a path or a name.
bool HasControlCharacter(const std::string& text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return true;
    }
    return false;
}

std::string OneLine(const std::string& text) {
    std::string out;
    for (char c : text) out += (c == '\r' || c == '\n') ? ' ' : c;
    return out;
}

class SystemdServiceManager : public ServiceManager {
public:
    SystemdServiceManager(std::string systemctl, std::string unitDirectory, bool requireRoot)
        : systemctl_(std::move(systemctl)),
          unitDirectory_(WithSlash(std::move(unitDirectory))),
          requireRoot_(requireRoot) {}

    std::string Backend() const override { return "systemd"; }

    bool CanModify() override {
        // Without polkit rules of our own, only root may manage units; anybody else is
        // refused up front instead of meeting an interactive polkit prompt in systemctl.
        return !requireRoot_ || geteuid() == 0;
    }

    bool IsInstalled(const std::string& name) override {
        return Show(name).load == "loaded";
    }

    ServiceState State(const std::string& name) override {
        Properties p = Show(name);
        if (p.load != "loaded") return ServiceState::NotInstalled;
        if (p.active == "active" || p.active == "reloading") return ServiceState::Running;
        if (p.active == "activating") return ServiceState::StartPending;
        if (p.active == "deactivating") return ServiceState::StopPending;
        return ServiceState::Stopped;
    }

    int Install(const ServiceDefinition& definition) override {
        if (HasControlCharacter(definition.name) || HasControlCharacter(definition.executable) ||
            HasControlCharacter(definition.displayName) ||
            definition.name.find('/') != std::string::npos) {
            return EINVAL;
        }
        if (!CanModify()) return EACCES;
        std::string path = unitDirectory_ + UnitName(definition.name);
        if (!WriteFileAtomic(path, SystemdUnitText(definition))) return errno ? errno : EIO;
        chmod(path.c_str(), 0644);
        if (int rc = Run({"daemon-reload"})) return rc;
        return Run({"enable", UnitName(definition.name)});
    }

    int Start(const std::string& name) override {
        if (!CanModify()) return EACCES;
        if (!IsInstalled(name)) return ENOENT;
        // --no-block: the console waits itself, step by step, as for any service manager.
        return Run({"start", "--no-block", UnitName(name)});
    }

    int Stop(const std::string& name) override {
        if (!CanModify()) return EACCES;
        if (!IsInstalled(name)) return ENOENT;
        return Run({"stop", "--no-block", UnitName(name)});
    }

    int Remove(const std::string& name) override {
        if (!CanModify()) return EACCES;
        std::string path = unitDirectory_ + UnitName(name);
        if (!IsInstalled(name) && !FileExists(path)) return 0;
        Run({"stop", "--no-block", UnitName(name)});
        Run({"disable", UnitName(name)});
        if (FileExists(path) && unlink(path.c_str()) != 0) return errno;
        Run({"reset-failed", UnitName(name)});
        return Run({"daemon-reload"});
    }

private:
    struct Properties {
        std::string load, active;
    };

    Properties Show(const std::string& name) {
        std::string output;
        Properties p;
        if (RunAndWait({systemctl_, "show", "--property=LoadState,ActiveState", UnitName(name)},
                       kSystemctlTimeoutMs, &output) != 0) {
            return p;
        }
        std::istringstream lines(output);
        std::string line;
        while (std::getline(lines, line)) {
            if (line.rfind("LoadState=", 0) == 0) p.load = line.substr(10);
            if (line.rfind("ActiveState=", 0) == 0) p.active = line.substr(12);
        }
        return p;
    }

    // systemctl's exit code (0 success); a systemctl that cannot run gives ENOENT.
    int Run(std::vector<std::string> args) {
        args.insert(args.begin(), systemctl_);
        int rc = RunAndWait(args, kSystemctlTimeoutMs);
        return rc < 0 ? ENOENT : rc;
    }

    std::string systemctl_;
    std::string unitDirectory_;
    bool requireRoot_;
};

}  // namespace

std::string SystemdUnitText(const ServiceDefinition& definition) {
    std::ostringstream text;
    text << "[Unit]\n"
         << "Description=" << OneLine(definition.displayName) << "\n"
         << "After=network.target\n\n"
         << "[Service]\n"
         << "Type=simple\n"
         << "User=root\n"
         << "ExecStart=" << ExecWord(definition.executable) << "\n";
    text << "KillMode=mixed\n"
         << "TimeoutStopSec=120\n\n"
         << "[Install]\n"
         << "WantedBy=multi-user.target\n";
    return text.str();
}

std::unique_ptr<ServiceManager> MakeSystemdServiceManager(const std::string& systemctl,
                                                          const std::string& unitDirectory,
                                                          bool requireRoot) {
    return std::make_unique<SystemdServiceManager>(systemctl, unitDirectory, requireRoot);
}

}  // namespace platform
