// The "SMSC Connection Type" chooser asked first when the operator adds a connection.
#pragma once

#include "ui/host.h"
#include "ui/template.h"

namespace modem {

// What the chooser returns; kCancelled when cancelled or nothing was chosen.
enum ConnectionType : int {
    kCancelled = -1,
    kGsmModem = 0,
    kSmpp = 1,
    kHttp = 2,
    kUcp = 3,
    kCimd = 4,
    kAndroidPhone = 5,
};

// Which link libraries loaded: a choice whose library is absent is hidden.
struct ConnectionTypeChoices {
    bool ucp = false;
    bool cimd = false;
};

// "DIALOG_SMSCTYPE".
ui::Template ConnectionTypeTemplate();

// `ChooseConnectionType`: shows the radios with "Android Phone" checked; returns the
// checked choice on OK (the first checked in the order of ConnectionType), else
// kCancelled.
int ChooseConnectionType(ui::Host& host, const ConnectionTypeChoices& choices);

}  // namespace modem
