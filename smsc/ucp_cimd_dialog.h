// The "UCP/EMI Connection" and "CIMD2 Connection" dialogs: server, login, local and
// receive ports (UCP), sender address and prefix (CIMD), keep-alive, receiving, local
// routing and the preferred-connection list. OK checks the fields, tests the login
// through the link library (unless the operator declines while the Gateway service is
// active) and hands back the connection edit record; nothing is written to ZELLA.INI.
#pragma once

#include <string>
#include <vector>

#include "ui/host.h"
#include "ui/template.h"

namespace smsc {

// "DIALOG_UCP" and "DIALOG_CIMD".
ui::Template UcpConnectionTemplate();
ui::Template CimdConnectionTemplate();

}  // namespace smsc
