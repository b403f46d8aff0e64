// The systemd backend: unit files plus `systemctl`, always through argument vectors.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <sstream>

#include "platform/files.h"
#include "platform/process.h"
#include "platform/service_manager.h"
#include "platform/unit_template.h"

namespace platform {
namespace {

constexpr int kSystemctlTimeoutMs = 30000;

std::string UnitName(const std::string& name) { return name + ".service"; }

// One value systemd takes literally. "%" (specifiers) is doubled, and "$" too where the
// setting expands variables (ExecStart=); a value with blanks, quotes or backslashes is
// quoted with C-style escapes.
std::string LiteralWord(const std::string& text, bool expandsVariables) {
    std::string literal;
    for (char c : text) {
        if (c == '%' || (expandsVariables && c == '$')) literal += c;
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

std::string ExecWord(const std::string& path) { return LiteralWord(path, true); }

// A text taken verbatim except for specifiers (Description=).
std::string Specifiers(const std::string& text) {
    std::string out;
    for (char c : text) out += c == '%' ? std::string("%%") : std::string(1, c);
    return out;
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

// Replaces every "@FIELD@" of the template's line.
void Fill(std::string& line, const std::string& field, const std::string& value) {
    for (std::size_t at = line.find(field); at != std::string::npos;
         at = line.find(field, at + value.size())) {
        line.replace(at, field.size(), value);
    }
}

class SystemdServiceManager : public ServiceManager {
public:
    SystemdServiceManager(std::string systemctl, std::string unitDirectory, bool requireRoot,
                          UnitEnvironment environment)
        : systemctl_(std::move(systemctl)),
          unitDirectory_(WithSlash(std::move(unitDirectory))),
          requireRoot_(requireRoot),
          environment_(std::move(environment)) {}

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
            definition.name.find('/') != std::string::npos ||
            environment_.dataDirectory.empty() || environment_.dataDirectory[0] != '/' ||
            HasControlCharacter(environment_.dataDirectory) ||
            HasControlCharacter(environment_.shmNamespace)) {
            return EINVAL;
        }
        if (!CanModify()) return EACCES;
        std::string path = unitDirectory_ + UnitName(definition.name);
        if (!WriteFileAtomic(path, SystemdUnitText(definition, environment_))) return errno ? errno : EIO;
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
    UnitEnvironment environment_;
};

}  // namespace

std::string SystemdUnitText(const ServiceDefinition& definition, const UnitEnvironment& environment) {
    std::string dataDirectory = WithSlash(environment.dataDirectory);
    std::string lines = "Environment=ZELLA_SERVICE_MANAGER=systemd\n";
    lines += "Environment=" + LiteralWord("ZELLA_DATA_DIR=" + dataDirectory, false) + "\n";
    if (!environment.shmNamespace.empty()) {
        lines += "Environment=" +
                 LiteralWord("ZELLA_SHM_NAMESPACE=" + OneLine(environment.shmNamespace), false) +
                 "\n";
    }
    lines.pop_back();

    std::istringstream in(kSystemdUnitTemplate);
    std::string text, line;
    while (std::getline(in, line)) {
        if (!line.empty() && line[0] == '#') continue;
        Fill(line, "@DESCRIPTION@", Specifiers(OneLine(definition.displayName)));
        Fill(line, "@EXEC_START@", ExecWord(definition.executable));
        Fill(line, "@DATA_DIRECTORY@", LiteralWord(dataDirectory, false));
        Fill(line, "@ENVIRONMENT@", lines);
        text += line + "\n";
    }
    return text;
}

std::unique_ptr<ServiceManager> MakeSystemdServiceManager(const std::string& systemctl,
                                                          const std::string& unitDirectory,
                                                          bool requireRoot,
                                                          UnitEnvironment environment) {
    return std::make_unique<SystemdServiceManager>(systemctl, unitDirectory, requireRoot,
                                                   std::move(environment));
}

}  // namespace platform
