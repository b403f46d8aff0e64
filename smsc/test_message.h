// "DIALOG_TESTMSG": sends a test SMS (and, where the connection has an MMS path, a test
// MMS) by dropping request files into the services' spools, and follows their fate
// through the request file, the connection's error file and the day's log.
#pragma once

#include <functional>
#include <string>

#include "acctdb/acctdb.h"
#include "ui/host.h"

namespace smsc {

// What the dialog asks of the services and of the account editor; the defaults
// (DefaultTestMessageServices) are the real ones.
struct TestMessageServices {
    std::function<bool()> gatewayInstalled;
    std::function<bool()> gatewayActive;
    std::function<bool()> mmscInstalled;
    std::function<bool()> mmscReady;
    std::function<bool(ui::Host&)> installAllServices;  // elevation allowed
    // The user editor with an empty record over the open account store; true when it
    // ended with OK. May be empty (no editor): then no account is created.
    std::function<bool(ui::Host&, acctdb::UserRecord&, acctdb::UserHandle)> editUser;
};
TestMessageServices DefaultTestMessageServices();

// The template of the dialog.
ui::Template TestMessageTemplate();

// Whether `number` is an optional "+" followed by one or more decimal digits.
bool IsValidTestNumber(const std::string& number);

// `TestMessageDlgProc`: shows the dialog for the connection named `connectionName`
// (empty: none; "MMSCROUTE - " + account: an MMS route) until the operator closes it.
void TestMessageDlgProc(ui::Host& host, const std::string& connectionName,
                        const TestMessageServices& services);

}  // namespace smsc
