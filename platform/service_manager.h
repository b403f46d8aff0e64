// The machine's service manager behind one interface, with two backends:
//
// - systemd: one unit "<name>.service" in the unit directory (/etc/systemd/system/),
//   enabled for multi-user.target, driven through `systemctl`. The service runs as the
//   gateway's user "quvsms", sandboxed, writing only below the program data directory
//   (SystemdUnitText). The unit states active, activating and deactivating read as
//   Running, StartPending and StopPending.
// - supervisor, for machines without systemd: a state folder "SERVICES/" in the program
//   data directory holding "<name>.service" (the display name) and "<name>.pid" (the
//   running process). The folder is used only when it is a real directory owned by this
//   process's user and writable by nobody else (state queries also accept root's); it
//   is created 0755. Only two services exist: "QuvSMS" runs the program directory's
//   "zellant", "QuvMMSC" its "mmscnt"; no file can name another program. Start runs the
//   program detached; stop sends SIGTERM, and only to a pid whose recorded start time
//   matches and whose /proc executable is that program. A started service is
//   StartPending until it writes its pid into the file named by
//   $ZELLA_SERVICE_READY_FILE (given to it at start, named through an inherited
//   descriptor of the state folder), Running afterwards, and StopPending once a stop
//   was sent while it is still alive.
//
// OpenServiceManager picks systemd when /run/systemd/system exists, the supervisor
// otherwise; $ZELLA_SERVICE_MANAGER = "systemd" or "supervisor" forces one.
//
// Error codes are errno values (ENOENT not installed or executable missing, EACCES no
// rights or a state folder not as required, EINVAL a definition the backend refuses, EALREADY already running, ESRCH not running) or, for systemd, the exit code of
// systemctl when it failed for another reason.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace platform {

enum class ServiceState { NotInstalled, Stopped, StartPending, Running, StopPending };

// True for Running, StartPending and StopPending: the states in which the service counts
// as active.
bool IsActiveState(ServiceState state);

struct ServiceDefinition {
    std::string name;         // "QuvSMS"
    std::string displayName;  // "Quv SMS/MMS Gateway"
    std::string executable;   // full path of the program the service runs
};

class ServiceManager {
public:
    virtual ~ServiceManager() = default;
    // "systemd" or "supervisor".
    virtual std::string Backend() const = 0;
    // True when this process may install, change, start, stop and remove services (the
    // manager opens "with full access"); false means elevation is needed.
    virtual bool CanModify() = 0;
    virtual bool IsInstalled(const std::string& name) = 0;
    virtual ServiceState State(const std::string& name) = 0;
    // Creates the service, or reconfigures it when it exists; set to start at boot.
    // 0 on success, else an error code (EINVAL for a name, display name or executable
    // with control characters, and for the supervisor an executable that is not the
    // service's own program in the program directory).
    virtual int Install(const ServiceDefinition& definition) = 0;
    // Asks the service to start without waiting for it. 0 on success, else an error code.
    virtual int Start(const std::string& name) = 0;
    // Sends the stop request without waiting for the service to end. 0 or an error code.
    virtual int Stop(const std::string& name) = 0;
    // Removes the service's definition; a process still running is sent the stop
    // request first. 0 on success (also when it was not installed), else an error code.
    virtual int Remove(const std::string& name) = 0;
};

// The backend for this machine (see above). `programDataDirectory` (ending in "/") is
// where the supervisor keeps its "SERVICES/" folder; its programs come from
// LibraryDirectory(), the program directory.
std::unique_ptr<ServiceManager> OpenServiceManager(const std::string& programDataDirectory);

// The supervisor over an explicit state folder, running programs of `programDirectory`
// (both ending in "/").
std::unique_ptr<ServiceManager> MakeSupervisorServiceManager(const std::string& stateDirectory,
                                                             const std::string& programDirectory);

// What a unit carries besides the definition: the program data directory (absolute,
// ending in "/"), the one tree the service may write and the one it is told to use
// (ZELLA_DATA_DIR), and the shared-memory namespace it must share with the console
// (ZELLA_SHM_NAMESPACE; none when empty).
struct UnitEnvironment {
    std::string dataDirectory;
    std::string shmNamespace;
};

// The systemd backend. `systemctl` is the program to run (a path or a name looked up in
// PATH) and `unitDirectory` (ending in "/") where unit files are written; tests point
// both elsewhere. `requireRoot` false lets a non-root caller modify (for tests). Install
// writes units for `environment`, and refuses (EINVAL) a data directory that is not an
// absolute path or holds control characters.
std::unique_ptr<ServiceManager> MakeSystemdServiceManager(
    const std::string& systemctl = "systemctl",
    const std::string& unitDirectory = "/etc/systemd/system/", bool requireRoot = true,
    UnitEnvironment environment = {});

// The unit file the systemd backend writes for a definition: the compiled-in template
// with the display name, the executable, the data directory and the environment filled
// in, each quoted so systemd takes it literally (no specifiers, no variables). The
// package's unit is this text for the installed paths.
std::string SystemdUnitText(const ServiceDefinition& definition, const UnitEnvironment& environment);

// The bounded waits of the service operations, driven by platform::Clock(): each step
// checks the state first, then sleeps `stepMs`.
// Waits while the service is active, at most `steps` steps; before every sleep calls
// `eachStep` when given (the console renews its stop request there). True when the
// service is no longer active.
bool WaitWhileActive(ServiceManager& manager, const std::string& name, int steps, int stepMs,
                     const std::function<void()>& eachStep = {});
// Waits until the service is active, at most `steps` steps. True when it is.
bool WaitUntilActive(ServiceManager& manager, const std::string& name, int steps, int stepMs);

}  // namespace platform
