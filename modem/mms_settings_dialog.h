// "MMS Settings" of a connection: the MMS server URL, where received MMS go, and the
// GPRS network connection used to fetch them (dial-up entry, proxy, APN and
// credentials, and the modem borrowed from the Gateway service while dialling), with a
// connection test. Unlike the connection dialogs it writes its keys straight into the
// connection's section of ZELLA.INI when OK is pressed.
//
// The dial-up side lives in the WAP link library, which this folder does not load: the
// caller hands its functions over as an MmsLink (smsc/connection_dialogs.cpp builds it).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ui/host.h"
#include "ui/template.h"

namespace modem {

// The functions of the WAP link library that the dialog uses. Required members are set
// whenever the link exists; the optional ones may stay empty.
struct MmsLink {
    // The network connection entries: dial-up connections and "Modem: <name>" entries.
    std::function<std::vector<std::string>()> networkConnections;
    // The stored credentials of an entry; false when the entry is unknown.
    std::function<bool(const std::string& entry, std::string* login, std::string* password)>
        userAndPassword;
    // The modem an entry dials through ("" when none).
    std::function<std::string(const std::string& entry)> modemName;
    // Borrows the modem from the Gateway service, waiting at most `seconds`: a non-zero
    // allocation, or 0 while the service keeps it.
    std::function<std::intptr_t(const std::string& modem, int seconds)> modemAllocate;
    // Gives an allocation back (0 is ignored).
    std::function<void(std::intptr_t allocation)> modemRelease;
    // 0 when connected and the target reached, 1 when the WAP gateway could not be
    // reached, else an error code (600-799 are dial-up errors).
    std::function<int(const std::string& entry, const std::string& apn, const std::string& login,
                      const std::string& password, const std::string& target)>
        dial;
    std::function<void(const std::string& entry)> hangUp;
    // Optional: the modem's PDP context number for the APN in the low 16 bits (0: none),
    // defining a missing one when `define` is 1.
    std::function<int(const std::string& modem, const std::string& apn, int define)> cidForApn;
    // Optional: true when the modem's initialisation strings were updated for the APN.
    std::function<bool(const std::string& modem, const std::string& apn)> updateInitStrings;
    // Optional: the system's text for a dial-up error code.
    std::function<std::string(int code)> errorText;
};

// The five texts an operator's settings set supplies.
struct OperatorSettings {
    std::string apn, login, password, proxy, mmsUrl;
};

// What the dialog reaches outside itself; tests substitute parts.
struct MmsSettingsServices {
    // The WAP link library; none when it is absent (the GPRS group stays disabled).
    std::optional<MmsLink> link;
    // OperatorSettingsListAvailable / ChooseOperatorSettings of the account store.
    std::function<bool()> operatorListAvailable;
    std::function<bool(OperatorSettings*)> chooseOperatorSettings;
    // Account-store users accepting received messages, in store order.
    std::function<std::vector<std::string>()> localUsers;
    // The candidates of "Modem Used:" besides "(none)", in any order.
    std::function<std::vector<std::string>()> modems;
};

// The account store, the modem registry, the configured COM modems and the COM ports
// that open; no link library.
MmsSettingsServices DefaultMmsSettingsServices();

// The modem candidates: ListTapiModems, every configured connection beginning with
// "COM" (any case) and containing ":", and ListCommPorts, each text once.
std::vector<std::string> MmsModemCandidates();

// The MM7 accounts: subdirectories of VASPOUT/ under the VASP configuration directory,
// not beginning with ".", whose VASP.INI says Protocol "MM7" in [VASP]; sorted.
std::vector<std::string> Mm7Accounts();

// Trims trailing blanks and leading spaces; a rest of digits and at most three "." that
// forms four numbers 0-255 comes back as those numbers in decimal joined by "." (so
// "010.001.002.003" gives "10.1.2.3"); any other text (a host name, an address with a
// port) comes back trimmed and otherwise unchanged.
std::string NormaliseIPv4(const std::string& text);

// "DIALOG_MMSSETTINGS" (full) and "DIALOG_MMSROUTING" (the routing group alone).
ui::Template MmsSettingsTemplate();
ui::Template MmsRoutingTemplate();

// `MmsSettingsDialog`: true when OK stored the settings of `connectionName`; false at
// once for an empty name, on Cancel, and when the operator declines the COM-port
// warning. The reduced variant shows only the routing of received MMS; its OK also
// removes the server URL and the GPRS settings, which a network modem does not use.
bool MmsSettingsDialog(ui::Host& host, const MmsSettingsServices& services,
                       const std::string& connectionName, bool reduced);

// ---- the connection test ------------------------------------------------------------------

// The dialog's fields as the test reads them.
struct GprsTestFields {
    std::string connection, url, proxy, apn, login, password, modem;
};

// How the test ended: a required or over-long field (shown, nothing tried), or tried
// (its outcome shown to the operator).
enum class GprsTestOutcome { MissingConnection, MissingUrl, FieldTooLong, Tried };

// The longest field text the test passes on.
inline constexpr std::size_t kGprsFieldLimit = 249;
// The longest result message.
inline constexpr std::size_t kGprsMessageLimit = 500;

// `TestGprsConnection`: borrows the modem, checks the GPRS context of a "Modem: "
// connection, dials and hangs up as one long operation of `host`, gives the modem back
// and shows the outcome ("Connection Test OK!", "Unable to connect to WAP Gateway",
// "Connection Failed" with the dial-up error text).
GprsTestOutcome TestGprsConnection(ui::Host& host, const MmsLink& link, const GprsTestFields& fields);

}  // namespace modem
