#include "smsc/connection_dialogs.h"

#include "smsc/smpp_dialog.h"

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

bool EditHttpConnection(ui::Host& host, std::string&) {
    return NotAvailable(host, "The HTTP connection dialog");
}

bool EditUcpConnection(ui::Host& host, std::string&) {
    return NotAvailable(host, "The UCP/EMI connection dialog");
}

bool EditCimdConnection(ui::Host& host, std::string&) {
    return NotAvailable(host, "The CIMD2 connection dialog");
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

void TestMessageDialog(ui::Host& host, const std::string&) {
    NotAvailable(host, "The test message dialog");
}

}  // namespace smsc
