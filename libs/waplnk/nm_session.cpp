#include "waplnk/nm_session.h"

#include "platform/cancel.h"
#include "platform/io_wait.h"

namespace waplnk {

namespace {

constexpr const char* kNmBusName = "org.freedesktop.NetworkManager";

// A private connection to the system bus (never the shared singleton, which would
// outlive the call and keep a dead bus after a daemon restart); null when there is none.
GDBusConnection* OpenSystemBus() {
    GError* error = nullptr;
    gchar* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SYSTEM, nullptr, &error);
    if (address == nullptr) {
        g_clear_error(&error);
        return nullptr;
    }
    GDBusConnection* bus = g_dbus_connection_new_for_address_sync(
        address,
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, &error);
    g_free(address);
    g_clear_error(&error);
    return bus;
}

bool NameHasOwner(GDBusConnection* bus) {
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_sync(
        bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
        "NameHasOwner", g_variant_new("(s)", kNmBusName), G_VARIANT_TYPE("(b)"),
        G_DBUS_CALL_FLAGS_NONE, 2000, nullptr, &error);
    g_clear_error(&error);
    if (reply == nullptr) return false;
    gboolean owned = FALSE;
    g_variant_get(reply, "(b)", &owned);
    g_variant_unref(reply);
    return owned != FALSE;
}

void CloseBus(GDBusConnection* bus) {
    if (bus == nullptr) return;
    g_dbus_connection_close_sync(bus, nullptr, nullptr);
    g_object_unref(bus);
}

gboolean KeepWaking(gpointer) { return G_SOURCE_CONTINUE; }

}  // namespace

struct NmSession::Pending {
    GAsyncResult* result = nullptr;
    GObject* source = nullptr;
    GCancellable* cancellable = g_cancellable_new();
    bool done = false;

    static void Finished(GObject* source, GAsyncResult* result, gpointer data) {
        auto* self = static_cast<Pending*>(data);
        self->source = source != nullptr ? G_OBJECT(g_object_ref(source)) : nullptr;
        self->result = G_ASYNC_RESULT(g_object_ref(result));
        self->done = true;
    }
    ~Pending() {
        if (result != nullptr) g_object_unref(result);
        if (source != nullptr) g_object_unref(source);
        g_object_unref(cancellable);
    }
};

bool NetworkManagerRunning() {
    GDBusConnection* bus = OpenSystemBus();
    if (bus == nullptr) return false;
    bool running = NameHasOwner(bus);
    CloseBus(bus);
    return running;
}

NmSession::NmSession() : context_(g_main_context_new()) {
    g_main_context_push_thread_default(context_);
}

NmSession::~NmSession() {
    cancellable_ = false;  // clean-up runs to its end even after a cancel
    // Finished calls hold references to the client; drop them first so it can go.
    std::erase_if(pending_, [](const std::unique_ptr<Pending>& p) { return p->done; });
    if (client_ != nullptr) {
        // libnm finishes its own clean-up on the context after the last unref; the
        // context must run until its busy watcher is gone before it may be dropped.
        GObject* watcher = nm_client_get_context_busy_watcher(client_);
        g_object_add_weak_pointer(watcher, reinterpret_cast<gpointer*>(&watcher));
        g_object_unref(client_);
        client_ = nullptr;
        drained_ = RunUntil([&] { return watcher == nullptr; }, 2000);
        if (!drained_) {
            g_object_remove_weak_pointer(watcher, reinterpret_cast<gpointer*>(&watcher));
        }
    }
    bool settled = pending_.empty();
    CloseBus(bus_);
    g_main_context_pop_thread_default(context_);
    if (settled && drained_) {
        g_main_context_unref(context_);
    } else {
        // A call that never came back may still fire into its data and context: keep
        // both rather than let it write into freed memory.
        for (auto& p : pending_) (void)p.release();
    }
}

bool NmSession::RunUntil(const std::function<bool()>& done, std::uint64_t timeoutMs) {
    GSource* tick = g_timeout_source_new(platform::kCancelSliceMs);
    g_source_set_callback(tick, KeepWaking, nullptr, nullptr);
    g_source_attach(tick, context_);
    std::uint64_t deadline = platform::SteadyMillis() + timeoutMs;
    bool ok = done();
    while (!ok && platform::SteadyMillis() < deadline && !(cancellable_ && platform::CancelRequested())) {
        g_main_context_iteration(context_, TRUE);
        ok = done();
    }
    g_source_destroy(tick);
    g_source_unref(tick);
    return ok;
}

GAsyncResult* NmSession::Await(
    const std::function<void(GCancellable*, GAsyncReadyCallback, gpointer)>& start,
    std::uint64_t timeoutMs, GObject** source) {
    pending_.push_back(std::make_unique<Pending>());
    Pending* p = pending_.back().get();
    start(p->cancellable, &Pending::Finished, p);
    if (!RunUntil([p] { return p->done; }, timeoutMs)) {
        g_cancellable_cancel(p->cancellable);
        // A cancelled call still reports back; wait for it so nothing fires later.
        GSource* tick = g_timeout_source_new(platform::kCancelSliceMs);
        g_source_set_callback(tick, KeepWaking, nullptr, nullptr);
        g_source_attach(tick, context_);
        std::uint64_t deadline = platform::SteadyMillis() + 2000;
        while (!p->done && platform::SteadyMillis() < deadline) g_main_context_iteration(context_, TRUE);
        g_source_destroy(tick);
        g_source_unref(tick);
        return nullptr;
    }
    if (source != nullptr) *source = p->source != nullptr ? G_OBJECT(g_object_ref(p->source)) : nullptr;
    return G_ASYNC_RESULT(g_object_ref(p->result));
}

bool NmSession::Open(std::uint64_t timeoutMs) {
    bus_ = OpenSystemBus();
    if (bus_ == nullptr || !NameHasOwner(bus_)) return false;
    GDBusConnection* bus = bus_;
    GObject* source = nullptr;
    GAsyncResult* result = Await(
        [bus](GCancellable* c, GAsyncReadyCallback cb, gpointer data) {
            g_async_initable_new_async(NM_TYPE_CLIENT, G_PRIORITY_DEFAULT, c, cb, data,
                                       NM_CLIENT_DBUS_CONNECTION, bus, nullptr);
        },
        timeoutMs, &source);
    if (result == nullptr) {
        if (source != nullptr) g_object_unref(source);
        return false;
    }
    GError* error = nullptr;
    GObject* client = g_async_initable_new_finish(G_ASYNC_INITABLE(source), result, &error);
    g_object_unref(result);
    g_object_unref(source);
    g_clear_error(&error);
    if (client == nullptr) return false;
    client_ = NM_CLIENT(client);
    return nm_client_get_nm_running(client_);
}

NMRemoteConnection* NmSession::FindGsmConnection(const std::string& id) const {
    const GPtrArray* all = nm_client_get_connections(client_);
    for (guint i = 0; all != nullptr && i < all->len; ++i) {
        auto* c = NM_CONNECTION(all->pdata[i]);
        const char* name = nm_connection_get_id(c);
        if (nm_connection_is_type(c, NM_SETTING_GSM_SETTING_NAME) && name != nullptr && id == name) {
            return NM_REMOTE_CONNECTION(c);
        }
    }
    return nullptr;
}

NMRemoteConnection* NmSession::ConnectionByPath(const std::string& path) const {
    return nm_client_get_connection_by_path(client_, path.c_str());
}

std::vector<NMDevice*> NmSession::Modems() const {
    std::vector<NMDevice*> found;
    const GPtrArray* all = nm_client_get_devices(client_);
    for (guint i = 0; all != nullptr && i < all->len; ++i) {
        auto* d = NM_DEVICE(all->pdata[i]);
        if (nm_device_get_device_type(d) == NM_DEVICE_TYPE_MODEM) found.push_back(d);
    }
    return found;
}

NMDevice* NmSession::DeviceByInterface(const std::string& iface) const {
    const GPtrArray* all = nm_client_get_devices(client_);
    for (guint i = 0; all != nullptr && i < all->len; ++i) {
        auto* d = NM_DEVICE(all->pdata[i]);
        const char* name = nm_device_get_iface(d);
        if (name != nullptr && iface == name) return d;
    }
    return nullptr;
}

NMActiveConnection* NmSession::ActiveByPath(const std::string& path) const {
    const GPtrArray* all = nm_client_get_active_connections(client_);
    for (guint i = 0; all != nullptr && i < all->len; ++i) {
        auto* a = NM_ACTIVE_CONNECTION(all->pdata[i]);
        if (path == nm_object_get_path(NM_OBJECT(a))) return a;
    }
    return nullptr;
}

std::string ModemName(NMDevice* device) {
    const char* iface = nm_device_get_iface(device);
    return iface != nullptr ? iface : "";
}

}  // namespace waplnk
