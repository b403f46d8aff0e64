// The dialogs of a network modem: "Add Android Modem", which finds or takes a phone's
// address and proves it with the /init exchange, and "Android Modem Connection", its
// properties with the phone's MM1 account for the MMSC service.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "modem/network_modem_pairing.h"
#include "ui/host.h"
#include "ui/template.h"

namespace modem {

// What the dialogs reach outside this folder; tests substitute their own.
struct NetworkModemServices {
    // ProbeNetworkModem.
    std::function<bool(const std::string& device)> probe;
    // QuvsmsModemHasDefaultSettings.
    std::function<bool(const std::string& device, std::string* url, std::string* proxy)> defaults;
    // One discovery search (FindQuvSMSModem); may block for a while.
    std::function<void()> discover;
    // The device texts in the discovery cache.
    std::function<std::vector<std::string>()> discovered;
    // Whether a connection of this name is on the SMSC page's list already (ignoring case).
    std::function<bool(const std::string& connectionName)> configured;
    // VASPOutAddUser of the MMSC library.
    std::function<void(const std::string& shortName)> addMmsUser;
    // Drops the phone's MM1 account, its directory and its routing key (the SMSC page's
    // clean-up of a removed network modem).
    std::function<void(const std::string& connectionName)> removeMmsAccount;
    // The services check before a pairing.
    ServiceChecks checks;
};

// The real services: the /init exchange, the account store's discovery cache and the
// SMSC page's list (PageConnectionNames); the MMS account calls are left for the caller
// to fill.
NetworkModemServices DefaultNetworkModemServices();

// services.probe / services.defaults as a long operation of `host` (progress line and
// Cancel; a cancelled exchange fails). False when the service is missing.
bool ProbeWithProgress(ui::Host& host, const NetworkModemServices& services,
                       const std::string& device);
bool DefaultsWithProgress(ui::Host& host, const NetworkModemServices& services,
                          const std::string& device, std::string* url, std::string* proxy);

// "DIALOG_ADDQUVSMSMODEM".
ui::Template AddNetworkModemTemplate();
// "DIALOG_QUVSMSMODEM".
ui::Template NetworkModemPropertiesTemplate();

// `AddNetworkModemDialog`: true with `record` = "QuvSMSModem - <address>\tRouteName=
// <short device name>" once a typed or listed local address answered /init; "Unable to
// connect to modem" keeps the dialog open; or, for "Remote Direct" and "Remote via
// Cloud", once the Gateway service paired with the named phone (or the operator saves
// an unpaired one): "...\tRemote=Yes\t[Cloud=Yes\t]Password=<secret>". Cancel gives
// false. A discovery thread runs while the dialog is open.
bool RunAddNetworkModem(ui::Host& host, const NetworkModemServices& services, std::string& record);

// `NetworkModemPropertiesDialog`: edits the record in place; true when saved. On save
// the MM1 account (VASPOUT/<short name>/VASP.INI) and the "Outbound MMS Routing" key of
// MMSC.INI follow "Send MMS Messages"; a cloud phone whose pairing may be stale is
// paired again first.
bool RunNetworkModemProperties(ui::Host& host, const NetworkModemServices& services,
                               std::string& record);

}  // namespace modem
