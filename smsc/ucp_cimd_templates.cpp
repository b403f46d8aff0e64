#include "smsc/ucp_cimd_dialog.h"

#include "smsc/connection_edit.h"
#include "ui/access_keys.h"

namespace smsc {
namespace {

using namespace ui;

Control Noted(Control field, const std::string& noteId, const std::string& note) {
    const std::string rowId = field.id + "Row";
    return Row(rowId, {std::move(field), Static(noteId, note)});
}

Control Routing() {
    Control group = RoutingGroup();
    for (Control& c : group.children) {
        if (c.id == kRoutingList) c.height = 4;
    }
    return group;
}

Control ReceiveMmsRow() {
    return Row("mmsRow", {Check("receiveMms", "Receive MMS Messages"), Button("mms", "MMS Settings...")});
}

}  // namespace

ui::Template UcpConnectionTemplate() {
    return ui::WithAccessKeys(ui::Template{
        "DIALOG_UCP",
        "UCP/EMI Connection",
        {Edit("routeName", "QuvSMS Route Name:"), Edit("host", "Server Host Name:"),
         Edit("port", "Server Port:"), Edit("user", "User Name:"), Edit("password", "Password:"),
         Noted(Edit("localPort", "Local Port:"), "localPortNote", "(optional)"),
         Edit("senderAddress", "Sender Address:"),
         Check("senderOverride", "Allow Sender Address Override"),
         Noted(Edit("keepAlive", "Keep-alive:"), "keepAliveNote", "seconds (blank=disable)"),
         Check("receive", "Receive SMS Messages"),
         Noted(Edit("receivePort", "Receive Port:"), "receivePortNote", "(optional)"),
         Combo("routeLocal", "Route SMS to Local User:"), ReceiveMmsRow(), Routing(),
         OkCancelRow()}});
}

ui::Template CimdConnectionTemplate() {
    return ui::WithAccessKeys(ui::Template{
        "DIALOG_CIMD",
        "CIMD2 Connection",
        {Edit("routeName", "QuvSMS Route Name:"), Edit("host", "Server Host Name:"),
         Edit("port", "Server Port:"), Edit("user", "User Name:"), Edit("password", "Password:"),
         Noted(Edit("senderAddress", "Sender Address:"), "senderAddressNote", "(optional)"),
         Noted(Edit("senderPrefix", "Sender Address Prefix:"), "senderPrefixNote", "(optional)"),
         Check("senderOverride", "Allow Sender Address Override"),
         Noted(Edit("keepAlive", "Keep-alive:"), "keepAliveNote", "seconds (blank=disable)"),
         Check("receive", "Receive SMS Messages"), Combo("routeLocal", "Route SMS to Local User:"),
         ReceiveMmsRow(), Routing(), OkCancelRow()}});
}

}  // namespace smsc
