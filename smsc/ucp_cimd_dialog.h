// The "UCP/EMI Connection" and "CIMD2 Connection" dialogs: server, login, local and
// receive ports (UCP), sender address and prefix (CIMD), keep-alive, receiving, local
// routing and the preferred-connection list. OK checks the fields, tests the login
// through the link library (unless the operator declines while the Gateway service is
// active) and hands back the connection edit record; nothing is written to ZELLA.INI.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ui/host.h"
#include "ui/template.h"

namespace smsc {

// "DIALOG_UCP" and "DIALOG_CIMD".
ui::Template UcpConnectionTemplate();
ui::Template CimdConnectionTemplate();

enum class LinkKind { Ucp, Cimd };

// What the dialogs ask of the rest of the console; the defaults are the real ones.
struct LinkDialogServices {
    std::function<bool()> serviceActive;  // the Gateway service runs or is changing state
    std::function<bool()> linkAvailable;  // the type's link library is loaded
};
LinkDialogServices DefaultLinkDialogServices(LinkKind kind);

// `EditUcpConnection` / `EditCimdConnection`: nothing is shown and false returned, with
// `record` untouched, when the type's link library is unavailable. Otherwise modal:
// true when OK accepted the connection, `record` then holding the new connection edit
// record; false on Cancel, `record` as it was.
bool EditLinkConnection(ui::Host& host, std::string& record, LinkKind kind,
                        const LinkDialogServices& services);

// ---- field helpers shared by the SMSC link dialogs ---------------------------------------
// The leading decimal number of a text after leading blanks (0 when there is none),
// saturating far above any port, so "99999999999" stays out of range.
std::uint64_t LeadingNumber(const std::string& text);
// A field's text as a single-line value: control characters (a pasted tab, CR or LF
// would split the edit record or the INI line) removed, cut to `maxChars`.
std::string SingleLine(const std::string& text, std::size_t maxChars);

}  // namespace smsc
