#include "smsc/http_dialog.h"

#include "smsc/connection_edit.h"
#include "ui/access_keys.h"

namespace smsc {

ui::Template HttpConnectionTemplate() {
    using namespace ui;
    Control routing = RoutingGroup();
    for (Control& c : routing.children) {
        if (c.id == kRoutingList) c.height = 3;
    }

    return ui::WithAccessKeys(ui::Template{
        "DIALOG_HTTP",
        "HTTP Connection",
        {Edit("routeName", "QuvSMS Route Name:"), Combo("serverType", "Server Type:"),
         Edit("url", "Server Host Name or Address:"),
         Row("proxyRow", {Check("useProxy", "Use HTTP Proxy"), Edit("proxy", "Proxy Server:")}),
         Edit("user", "User Name:"), Edit("password", "Password:", Flag::Password),
         Check("httpAuth", "Send login credentials using HTTP Authorization headers", Flag::Wide),
         Edit("templateText", "URL Template Text:"), Edit("templateBinary", "URL Template Binary:"),
         Row("senderAddressRow",
             {Edit("senderAddress", "Sender Address:"), Static("senderAddressNote", "(optional)")}),
         Check("senderOverride", "Allow Sender Address Override"),
         Check("removePlus", "Remove '+' from Recipient phone number"),
         Check("sendLong", "Send long messages without segmentation"),
         Check("longTextAsText", "Use 7-bit binary encoding for long text messages"),
         Check("unicodeAsText", "Use hex encoding for Unicode messages"),
         Row("charsetRow", {Combo("charset", "Character Set:"), Edit("threadCount", "Max Connections:")}),
         routing,
         OkCancelRow()}});
}

}  // namespace smsc
