// One library call's view of NetworkManager: a private GMainContext pushed as the
// calling thread's default, a private system-bus connection and an NMClient on it, all
// gone again when the session ends, so the library works from any thread and leaves
// nothing running between calls. Every wait is bounded and ends early when the calling
// thread's long operation is cancelled.
#pragma once

#include <NetworkManager.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace waplnk {

// True when the system bus answers and NetworkManager owns its name on it (a private
// connection of its own, closed before return; bounded by a 2 s call).
bool NetworkManagerRunning();

class NmSession {
public:
    NmSession();
    ~NmSession();
    NmSession(const NmSession&) = delete;
    NmSession& operator=(const NmSession&) = delete;

    // Connects to the system bus and loads NetworkManager's objects within `timeoutMs`;
    // false when there is no system bus, NetworkManager is not running or it did not
    // answer in time.
    bool Open(std::uint64_t timeoutMs = 10000);
    NMClient* Client() const { return client_; }

    // Starts an asynchronous libnm call (given the callback and its data) and waits up
    // to `timeoutMs` for it to finish. Returns the result (a new reference the caller
    // unrefs, with the source object in *source when asked), or null on time-out or
    // cancel, after which the call has been cancelled.
    GAsyncResult* Await(const std::function<void(GCancellable*, GAsyncReadyCallback, gpointer)>& start,
                        std::uint64_t timeoutMs, GObject** source = nullptr);

    // Whether waits end early on a cancel of the calling thread's operation (they do by
    // default; clean-up after a cancel turns it off so it still runs to its end).
    void SetCancellable(bool on) { cancellable_ = on; }

    // Runs the context until `done()` holds, `timeoutMs` passes or the operation is
    // cancelled; true when `done()` held.
    bool RunUntil(const std::function<bool()>& done, std::uint64_t timeoutMs);

    // The mobile-broadband ("gsm") connection whose id is `id`, or null.
    NMRemoteConnection* FindGsmConnection(const std::string& id) const;
    // The connection with this D-Bus path, or null.
    NMRemoteConnection* ConnectionByPath(const std::string& path) const;
    // The modem devices NetworkManager knows.
    std::vector<NMDevice*> Modems() const;
    // The device whose interface name is `iface`, or null.
    NMDevice* DeviceByInterface(const std::string& iface) const;
    // The active connection with this D-Bus path, or null.
    NMActiveConnection* ActiveByPath(const std::string& path) const;

private:
    struct Pending;
    GMainContext* context_ = nullptr;
    GDBusConnection* bus_ = nullptr;
    NMClient* client_ = nullptr;
    std::vector<std::unique_ptr<Pending>> pending_;
    bool cancellable_ = true;
    bool drained_ = true;  // libnm finished with the context
};

// The gsm password of `c`: its settings' value, else from NetworkManager's secrets (empty
// when there is none or NetworkManager will not tell).
std::string StoredPassword(NmSession& session, NMRemoteConnection* c);

// A string property of the gsm setting of `c`, or empty.
std::string GsmValue(NMConnection* c, const char* property);

// The text a modem device is listed and addressed by: its interface name (ttyUSB0,
// cdc-wdm0), which is unique on the system and is what connections bind to.
std::string ModemName(NMDevice* device);

}  // namespace waplnk
