#include "smsc/connection_dialogs.h"

#include <vector>

#include "config/config_store.h"
#include "mmsclnk/console_exports.h"
#include "mmsclnk/mmsclnk.h"
#include "modem/mms_settings_dialog.h"
#include "modem/network_modem_dialogs.h"
#include "shell/core/link_libraries.h"
#include "shell/core/service_control.h"
#include "smsc/connection_list.h"
#include "smsc/smpp_dialog.h"
#include "smsc/http_dialog.h"
#include "smsc/test_message.h"
#include "smsc/ucp_cimd_dialog.h"

namespace smsc {

std::string NotAvailableText(const std::string& what) {
    return what + " is not available in this version.";
}

bool EditSmppConnection(ui::Host& host, std::string& record) {
    return RunSmppDialog(host, record, {});
}

bool EditHttpConnection(ui::Host& host, std::string& record) {
    return RunHttpConnectionDialog(host, record);
}

bool EditUcpConnection(ui::Host& host, std::string& record) {
    return EditLinkConnection(host, record, LinkKind::Ucp, DefaultLinkDialogServices(LinkKind::Ucp));
}

bool EditCimdConnection(ui::Host& host, std::string& record) {
    return EditLinkConnection(host, record, LinkKind::Cimd,
                              DefaultLinkDialogServices(LinkKind::Cimd));
}

namespace {

modem::NetworkModemServices NetworkModemServices() {
    modem::NetworkModemServices services = modem::DefaultNetworkModemServices();
    services.checks.gatewayActive = shell::IsGatewayServiceActive;
    services.checks.mmscInstalled = shell::IsMMSCInstalled;
    services.checks.enableServices = [](ui::Host& host) { shell::InstallAllServices(host, false); };
    return services;
}

}  // namespace

bool AddNetworkModemDialog(ui::Host& host, std::string& record) {
    return modem::RunAddNetworkModem(host, NetworkModemServices(), record);
}

bool NetworkModemPropertiesDialog(ui::Host& host, std::string& record) {
    modem::NetworkModemServices services = NetworkModemServices();
    services.addMmsUser = [](const std::string& name) { VASPOutAddUser(name.c_str()); };
    services.removeMmsAccount = [](const std::string& name) { RemoveNetworkModemAccount(name); };
    return modem::RunNetworkModemProperties(host, services, record);
}

namespace {

constexpr int kTextRoom = 260;

std::string FromBuffer(const char* buffer) { return buffer; }

// The WAP link library's functions as the MMS settings take them.
modem::MmsLink MmsLinkOf(const shell::WapLinkTable& wap) {
    modem::MmsLink link;
    link.networkConnections = [&wap] {
        std::vector<std::string> entries;
        wap.RasLoadListOrComboBox(&entries, 0, [](void* context, int, const char* text) {
            if (text) static_cast<std::vector<std::string>*>(context)->push_back(text);
        });
        return entries;
    };
    link.userAndPassword = [&wap](const std::string& entry, std::string* login,
                                  std::string* password) {
        char user[kTextRoom] = {}, pass[kTextRoom] = {};
        const bool found = wap.RasGetUserAndPassword(entry.c_str(), user, kTextRoom, pass, kTextRoom) != 0;
        *login = FromBuffer(user);
        *password = FromBuffer(pass);
        return found;
    };
    link.modemName = [&wap](const std::string& entry) {
        char name[kTextRoom] = {};
        return wap.RasGetModemName(entry.c_str(), name, kTextRoom) ? FromBuffer(name) : std::string();
    };
    link.modemAllocate = [&wap](const std::string& modem, int seconds) {
        int port = 0;
        return wap.ModemAllocate(modem.c_str(), seconds, &port);
    };
    link.modemRelease = [&wap](std::intptr_t allocation) { wap.ModemRelease(allocation); };
    link.dial = [&wap](const std::string& entry, const std::string& apn, const std::string& login,
                       const std::string& password, const std::string& target) {
        return wap.WSPRasDial(entry.c_str(), apn.c_str(), login.c_str(), password.c_str(),
                              target.c_str());
    };
    link.hangUp = [&wap](const std::string& entry) { wap.WSPRasHangUp(entry.c_str()); };
    if (wap.ModemGetCIDForAPN) {
        link.cidForApn = [&wap](const std::string& modem, const std::string& apn, int define) {
            return wap.ModemGetCIDForAPN(modem.c_str(), apn.c_str(), define);
        };
    }
    if (wap.ModemDriverUpdateInitStrings) {
        link.updateInitStrings = [&wap](const std::string& modem, const std::string& apn) {
            return wap.ModemDriverUpdateInitStrings(modem.c_str(), apn.c_str()) != 0;
        };
    }
    if (wap.WSPRasGetErrorString) {
        link.errorText = [&wap](int code) {
            char text[modem::kGprsMessageLimit] = {};
            wap.WSPRasGetErrorString(code, text, sizeof text);
            return FromBuffer(text);
        };
    }
    return link;
}

// The section the MMS keys belong to: a connection renamed but not stored yet still
// lives under its old name, which the record's pending "SaveRoute" holds.
std::string StoredConnectionName(const std::string& record) {
    const std::string name = record.substr(0, record.find('\t'));
    const auto old = config::FindRecordValue(record.substr(name.size()), "SaveRoute");
    return old && !old->empty() ? *old : name;
}

}  // namespace

modem::MmsSettingsServices MmsSettingsServices() {
    modem::MmsSettingsServices services = modem::DefaultMmsSettingsServices();
    if (const shell::WapLinkTable* wap = shell::WapLink()) services.link = MmsLinkOf(*wap);
    return services;
}

void EditMmsSettings(ui::Host& host, std::string& record) {
    modem::MmsSettingsDialog(host, MmsSettingsServices(), StoredConnectionName(record), false);
}

void TestMessageDialog(ui::Host& host, const std::string& connectionName) {
    TestMessageDlgProc(host, connectionName, DefaultTestMessageServices());
}

}  // namespace smsc

extern "C" void TestMessageDlgProc(void* host, const char* connectionName) {
    if (host == nullptr) return;
    smsc::TestMessageDialog(*static_cast<ui::Host*>(host), connectionName != nullptr ? connectionName : "");
}
