#include "smsc/connection_dialogs.h"

#include "mmsclnk/mmsclnk.h"
#include "modem/network_modem_dialogs.h"
#include "shell/core/service_control.h"
#include "smsc/connection_list.h"
#include "smsc/smpp_dialog.h"
#include "smsc/http_dialog.h"
#include "smsc/test_message.h"
#include "smsc/ucp_cimd_dialog.h"

namespace smsc {

namespace {

bool NotAvailable(ui::Host& host, const std::string& what) {
    ui::Error(host, NotAvailableText(what));
    return false;
}

}  // namespace

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

void EditMmsSettings(ui::Host& host, std::string&) {
    NotAvailable(host, "The MMS settings dialog");
}

void TestMessageDialog(ui::Host& host, const std::string& connectionName) {
    TestMessageDlgProc(host, connectionName, DefaultTestMessageServices());
}

}  // namespace smsc
