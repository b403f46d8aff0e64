// Dialling a connection entry through NetworkManager and hanging it up again.
//
// A stored mobile-broadband connection is activated as it is. When the caller's APN,
// login or password differ from what it stores, an unsaved copy with those values is
// activated instead, so the user's connection is never changed; a "Modem: X" entry gets
// an unsaved connection of its own bound to X. Such temporary connections are deleted on
// hang-up. A connection that was already up before the dial is used and left up.
#include <map>
#include <mutex>
#include <string>

#include "platform/cancel.h"
#include "waplnk/nm_session.h"
#include "waplnk/ras_errors.h"
#include "waplnk/target_connect.h"
#include "waplnk/waplnk.h"

namespace waplnk {
namespace {

constexpr std::uint64_t kActivateMs = 60000;
constexpr std::uint64_t kCallMs = 10000;
constexpr std::uint64_t kReachMs = 15000;

// What a dial left behind for its hang-up, by entry.
struct DialRecord {
    std::string activePath;  // empty when the connection was already up before the dial
    std::string temporaryPath;  // the unsaved connection to delete, or empty
};

std::mutex g_dialsMutex;
std::map<std::string, DialRecord> g_dials;

struct Overrides {
    std::string apn, login, password;
};

// An unsaved copy of `base` (or a new gsm connection when null) with the non-empty values
// of `o`, bound to `modem` when given, added to NetworkManager; null on failure.
NMRemoteConnection* AddTemporary(NmSession& s, NMRemoteConnection* base, const std::string& entry,
                                 const std::string& modem, const Overrides& o) {
    NMConnection* c = base != nullptr ? nm_simple_connection_new_clone(NM_CONNECTION(base))
                                      : nm_simple_connection_new();
    NMSettingConnection* sc = nm_connection_get_setting_connection(c);
    if (sc == nullptr) {
        sc = NM_SETTING_CONNECTION(nm_setting_connection_new());
        nm_connection_add_setting(c, NM_SETTING(sc));
    }
    gchar* uuid = nm_utils_uuid_generate();
    std::string id = entry + " (MMS test)";
    g_object_set(sc, NM_SETTING_CONNECTION_ID, id.c_str(), NM_SETTING_CONNECTION_UUID, uuid,
                 NM_SETTING_CONNECTION_TYPE, NM_SETTING_GSM_SETTING_NAME,
                 NM_SETTING_CONNECTION_AUTOCONNECT, FALSE, nullptr);
    g_free(uuid);
    if (!modem.empty()) g_object_set(sc, NM_SETTING_CONNECTION_INTERFACE_NAME, modem.c_str(), nullptr);
    NMSettingGsm* gsm = nm_connection_get_setting_gsm(c);
    if (gsm == nullptr) {
        gsm = NM_SETTING_GSM(nm_setting_gsm_new());
        nm_connection_add_setting(c, NM_SETTING(gsm));
    }
    // Settings handed out by NetworkManager carry no secrets: put the stored password back
    // unless the caller gave one.
    std::string password = o.password;
    if (password.empty() && base != nullptr) password = StoredPassword(s, base);
    if (!o.apn.empty()) g_object_set(gsm, NM_SETTING_GSM_APN, o.apn.c_str(), nullptr);
    if (!o.login.empty()) g_object_set(gsm, NM_SETTING_GSM_USERNAME, o.login.c_str(), nullptr);
    if (!password.empty()) g_object_set(gsm, NM_SETTING_GSM_PASSWORD, password.c_str(), nullptr);
    NMClient* client = s.Client();
    GAsyncResult* result = s.Await(
        [client, c](GCancellable* cancel, GAsyncReadyCallback cb, gpointer data) {
            nm_client_add_connection_async(client, c, FALSE, cancel, cb, data);
        },
        kCallMs);
    g_object_unref(c);
    if (result == nullptr) return nullptr;
    NMRemoteConnection* added = nm_client_add_connection_finish(client, result, nullptr);
    g_object_unref(result);
    return added;
}

void DeleteConnection(NmSession& s, const std::string& path) {
    NMRemoteConnection* c = path.empty() ? nullptr : s.ConnectionByPath(path);
    if (c == nullptr) return;
    GAsyncResult* result = s.Await(
        [c](GCancellable* cancel, GAsyncReadyCallback cb, gpointer data) {
            nm_remote_connection_delete_async(c, cancel, cb, data);
        },
        kCallMs);
    if (result == nullptr) return;
    nm_remote_connection_delete_finish(c, result, nullptr);
    g_object_unref(result);
}

void Deactivate(NmSession& s, const std::string& path) {
    NMActiveConnection* active = path.empty() ? nullptr : s.ActiveByPath(path);
    if (active == nullptr) return;
    NMClient* client = s.Client();
    GAsyncResult* result = s.Await(
        [client, active](GCancellable* cancel, GAsyncReadyCallback cb, gpointer data) {
            nm_client_deactivate_connection_async(client, active, cancel, cb, data);
        },
        kCallMs);
    if (result == nullptr) return;
    nm_client_deactivate_connection_finish(client, result, nullptr);
    g_object_unref(result);
    s.RunUntil([&] { return s.ActiveByPath(path) == nullptr; }, kCallMs);
}

// Ends what a dial left behind.
void Undo(NmSession& s, const DialRecord& record) {
    s.SetCancellable(false);
    Deactivate(s, record.activePath);
    DeleteConnection(s, record.temporaryPath);
}

// The activated connection of `c`, when it is up already.
NMActiveConnection* AlreadyUp(NmSession& s, NMRemoteConnection* c) {
    const GPtrArray* all = nm_client_get_active_connections(s.Client());
    for (guint i = 0; all != nullptr && i < all->len; ++i) {
        auto* a = NM_ACTIVE_CONNECTION(all->pdata[i]);
        if (nm_active_connection_get_connection(a) == c &&
            nm_active_connection_get_state(a) == NM_ACTIVE_CONNECTION_STATE_ACTIVATED) {
            return a;
        }
    }
    return nullptr;
}

// Whether a non-empty value of `o` differs from what `c` stores.
bool Differs(NmSession& s, NMRemoteConnection* c, const Overrides& o) {
    auto differs = [](const std::string& given, const std::string& stored) {
        return !given.empty() && given != stored;
    };
    NMConnection* nc = NM_CONNECTION(c);
    return differs(o.apn, GsmValue(nc, NM_SETTING_GSM_APN)) ||
           differs(o.login, GsmValue(nc, NM_SETTING_GSM_USERNAME)) ||
           (!o.password.empty() && o.password != StoredPassword(s, c));
}

// Activates `c` on `device` (null: NetworkManager's choice) and waits for the outcome.
// 0 with the active connection in *out (a new reference), or an error number.
int Activate(NmSession& s, NMRemoteConnection* c, NMDevice* device, NMActiveConnection** out) {
    NMClient* client = s.Client();
    GAsyncResult* result = s.Await(
        [client, c, device](GCancellable* cancel, GAsyncReadyCallback cb, gpointer data) {
            nm_client_activate_connection_async(client, NM_CONNECTION(c), device, nullptr, cancel, cb, data);
        },
        kCallMs);
    if (result == nullptr) return platform::CancelRequested() ? kRasCancelled : kRasTimeout;
    NMActiveConnection* active = nm_client_activate_connection_finish(client, result, nullptr);
    g_object_unref(result);
    // Refused outright (no device can take it, or the device is busy).
    if (active == nullptr) return kRasModemBusy;
    *out = active;
    NMActiveConnectionState state = NM_ACTIVE_CONNECTION_STATE_UNKNOWN;
    bool settled = s.RunUntil([&] {
        state = nm_active_connection_get_state(active);
        return state == NM_ACTIVE_CONNECTION_STATE_ACTIVATED ||
               state >= NM_ACTIVE_CONNECTION_STATE_DEACTIVATING;
    }, kActivateMs);
    if (!settled) return platform::CancelRequested() ? kRasCancelled : kRasTimeout;
    if (state == NM_ACTIVE_CONNECTION_STATE_ACTIVATED) return 0;
    NMDeviceStateReason deviceReason =
        device != nullptr ? nm_device_get_state_reason(device) : NM_DEVICE_STATE_REASON_UNKNOWN;
    return ErrorForReasons(nm_active_connection_get_state_reason(active), deviceReason);
}

// The interface and IPv4 address the active connection carries traffic on (either empty
// when NetworkManager does not say).
void RouteOf(NMActiveConnection* active, std::string& iface, std::string& address) {
    const GPtrArray* devices = nm_active_connection_get_devices(active);
    if (devices != nullptr && devices->len > 0) {
        const char* ip = nm_device_get_ip_iface(NM_DEVICE(devices->pdata[0]));
        if (ip != nullptr) iface = ip;
    }
    NMIPConfig* config = nm_active_connection_get_ip4_config(active);
    GPtrArray* addresses = config != nullptr ? nm_ip_config_get_addresses(config) : nullptr;
    if (addresses != nullptr && addresses->len > 0) {
        address = nm_ip_address_get_address(static_cast<NMIPAddress*>(addresses->pdata[0]));
    }
}

}  // namespace
}  // namespace waplnk

using namespace waplnk;

namespace {

std::string Text(const char* s) { return s != nullptr ? s : ""; }

// Hangs up what an earlier dial of `entry` left, if anything.
void HangUpEntry(const std::string& entry) {
    DialRecord record;
    {
        std::lock_guard<std::mutex> lock(g_dialsMutex);
        auto it = g_dials.find(entry);
        if (it == g_dials.end()) return;
        record = it->second;
        g_dials.erase(it);
    }
    NmSession session;
    if (session.Open()) Undo(session, record);
}

// Finds or makes the connection to activate for `entry`; 0 or an error number.
int ChooseConnection(NmSession& s, const std::string& entry, const Overrides& o,
                     NMRemoteConnection** connection, NMDevice** device, DialRecord& record) {
    std::string modem = ModemOfEntry(entry);
    if (!modem.empty()) {
        *device = s.DeviceByInterface(modem);
        if (*device == nullptr) return kRasDeviceMissing;
        *connection = AddTemporary(s, nullptr, entry, modem, o);
        if (*connection == nullptr) return kRasModemBusy;
        record.temporaryPath = nm_object_get_path(NM_OBJECT(*connection));
        g_object_unref(*connection);  // the client's cache keeps it
        return 0;
    }
    NMRemoteConnection* stored = s.FindGsmConnection(entry);
    if (stored == nullptr) return kRasEntryNotFound;
    const char* iface = nm_connection_get_interface_name(NM_CONNECTION(stored));
    *device = iface != nullptr ? s.DeviceByInterface(iface) : nullptr;
    *connection = stored;
    if (AlreadyUp(s, stored) != nullptr || !Differs(s, stored, o)) return 0;
    *connection = AddTemporary(s, stored, entry, "", o);
    if (*connection == nullptr) return kRasModemBusy;
    record.temporaryPath = nm_object_get_path(NM_OBJECT(*connection));
    g_object_unref(*connection);
    return 0;
}

}  // namespace

extern "C" WAPLNK_API int WSPRasDial(const char* entry, const char* apn, const char* login,
                                     const char* password, const char* target) {
    std::string name = Text(entry);
    if (name.empty()) return kRasEntryNotFound;
    Target where;
    // A target that names no host cannot be reached, whatever the dial would do.
    if (!ParseTarget(Text(target), where)) return 1;
    HangUpEntry(name);  // a second dial of an entry starts afresh
    NmSession session;
    if (!session.Open()) return kRasServiceUnavailable;
    Overrides o{Text(apn), Text(login), Text(password)};
    NMRemoteConnection* connection = nullptr;
    NMDevice* device = nullptr;
    DialRecord record;
    int code = ChooseConnection(session, name, o, &connection, &device, record);
    if (code != 0) {
        Undo(session, record);
        return code;
    }
    NMActiveConnection* active = AlreadyUp(session, connection);
    if (active != nullptr) {
        g_object_ref(active);
    } else {
        code = Activate(session, connection, device, &active);
        if (active != nullptr) record.activePath = nm_object_get_path(NM_OBJECT(active));
        if (code != 0) {
            Undo(session, record);
            if (active != nullptr) g_object_unref(active);
            return code;
        }
    }
    std::string iface, source;
    RouteOf(active, iface, source);
    g_object_unref(active);
    if (!ReachTarget(where, iface, source, kReachMs)) {
        // The caller hangs up only after a success, so an unreachable gateway must not
        // leave the connection up behind its back.
        Undo(session, record);
        return 1;
    }
    std::lock_guard<std::mutex> lock(g_dialsMutex);
    g_dials[name] = record;
    return 0;
}

extern "C" WAPLNK_API int WSPRasHangUp(const char* entry) {
    HangUpEntry(Text(entry));
    return 0;
}
