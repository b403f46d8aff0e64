#include "smsc/connection_dialogs.h"

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

bool AddNetworkModemDialog(ui::Host& host, std::string&) {
    return NotAvailable(host, "Adding an Android phone");
}

bool NetworkModemPropertiesDialog(ui::Host& host, std::string&) {
    return NotAvailable(host, "The Android phone properties dialog");
}

void EditMmsSettings(ui::Host& host, std::string&) {
    NotAvailable(host, "The MMS settings dialog");
}

void TestMessageDialog(ui::Host& host, const std::string& connectionName) {
    TestMessageDlgProc(host, connectionName, DefaultTestMessageServices());
}

}  // namespace smsc
