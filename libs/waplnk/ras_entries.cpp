// The connection list and what it tells about one entry: mobile-broadband connections by
// their id, modems as "Modem: " + interface name.
#include <string>

#include "waplnk/nm_session.h"
#include "waplnk/ras_errors.h"
#include "waplnk/waplnk.h"

namespace waplnk {
namespace {

// The gsm password from the connection's secrets; empty when NetworkManager holds none or
// will not tell (an agent-owned secret).
std::string PasswordFromSecrets(NmSession& session, NMRemoteConnection* c);

}  // namespace

std::string GsmValue(NMConnection* c, const char* property) {
    NMSettingGsm* gsm = nm_connection_get_setting_gsm(c);
    if (gsm == nullptr) return {};
    gchar* value = nullptr;
    g_object_get(gsm, property, &value, nullptr);
    std::string text = value != nullptr ? value : "";
    g_free(value);
    return text;
}

std::string StoredPassword(NmSession& session, NMRemoteConnection* c) {
    std::string password = GsmValue(NM_CONNECTION(c), NM_SETTING_GSM_PASSWORD);
    return password.empty() ? PasswordFromSecrets(session, c) : password;
}

namespace {

std::string PasswordFromSecrets(NmSession& session, NMRemoteConnection* c) {
    GAsyncResult* result = session.Await(
        [c](GCancellable* cancel, GAsyncReadyCallback cb, gpointer data) {
            nm_remote_connection_get_secrets_async(c, NM_SETTING_GSM_SETTING_NAME, cancel, cb, data);
        },
        5000);
    if (result == nullptr) return {};
    GError* error = nullptr;
    GVariant* secrets = nm_remote_connection_get_secrets_finish(c, result, &error);
    g_object_unref(result);
    g_clear_error(&error);
    if (secrets == nullptr) return {};
    std::string password;
    GVariant* gsm = g_variant_lookup_value(secrets, NM_SETTING_GSM_SETTING_NAME, G_VARIANT_TYPE_VARDICT);
    if (gsm != nullptr) {
        const char* text = nullptr;
        if (g_variant_lookup(gsm, NM_SETTING_GSM_PASSWORD, "&s", &text) && text != nullptr) password = text;
        g_variant_unref(gsm);
    }
    g_variant_unref(secrets);
    return password;
}

}  // namespace
}  // namespace waplnk

using namespace waplnk;

extern "C" WAPLNK_API int WAPLinkAvailable(void) { return NetworkManagerRunning() ? 1 : 0; }

extern "C" WAPLNK_API int RasLoadListOrComboBox(void* context, int control, RasAddItemFn addItem) {
    if (addItem == nullptr) return 0;
    NmSession session;
    if (!session.Open()) return 0;
    const GPtrArray* all = nm_client_get_connections(session.Client());
    int count = 0;
    for (guint i = 0; all != nullptr && i < all->len; ++i) {
        auto* c = NM_CONNECTION(all->pdata[i]);
        const char* id = nm_connection_get_id(c);
        if (!nm_connection_is_type(c, NM_SETTING_GSM_SETTING_NAME) || id == nullptr) continue;
        addItem(context, control, id);
        ++count;
    }
    for (NMDevice* modem : session.Modems()) {
        std::string entry = std::string(kModemPrefix) + ModemName(modem);
        addItem(context, control, entry.c_str());
        ++count;
    }
    return count;
}

extern "C" WAPLNK_API int RasGetUserAndPassword(const char* entry, char* login, int loginSize,
                                                char* password, int passwordSize) {
    CopyText(login, loginSize, "");
    CopyText(password, passwordSize, "");
    if (entry == nullptr) return 0;
    NmSession session;
    if (!session.Open()) return 0;
    if (!ModemOfEntry(entry).empty()) {
        // A bare modem has no stored credentials; it is found when the modem is there.
        std::string name = ModemOfEntry(entry);
        for (NMDevice* modem : session.Modems()) {
            if (ModemName(modem) == name) return 1;
        }
        return 0;
    }
    NMRemoteConnection* c = session.FindGsmConnection(entry);
    if (c == nullptr) return 0;
    std::string secret = StoredPassword(session, c);
    CopyText(login, loginSize, GsmValue(NM_CONNECTION(c), NM_SETTING_GSM_USERNAME));
    CopyText(password, passwordSize, secret);
    return 1;
}

extern "C" WAPLNK_API int RasGetModemName(const char* entry, char* modemName, int size) {
    CopyText(modemName, size, "");
    if (entry == nullptr) return 0;
    std::string modem = ModemOfEntry(entry);
    if (!modem.empty()) {
        CopyText(modemName, size, modem);
        return 1;
    }
    NmSession session;
    if (!session.Open()) return 0;
    NMRemoteConnection* c = session.FindGsmConnection(entry);
    if (c == nullptr) return 0;
    const char* iface = nm_connection_get_interface_name(NM_CONNECTION(c));
    CopyText(modemName, size, iface != nullptr ? iface : "");
    return 1;
}
