// The "Add Modem" dialog: picks a GSM modem (a registered modem or a COM port), takes
// an optional SIM PIN, proves the modem with TestModem and hands it back as a
// connection edit record.
#pragma once

#include <string>
#include <vector>

#include "ui/host.h"
#include "ui/template.h"

namespace modem {

inline constexpr std::size_t kMaxPinLength = 19;

// "DIALOG_ADDMODEM".
ui::Template AddModemTemplate();

// The modems offered: ListTapiModems() in file order, then ListCommPorts(), minus every
// name equal (ignoring case) to one of `configured`.
std::vector<std::string> AvailableModems(const std::vector<std::string>& configured);

// `AddModemDialog`: `configured` are the connection names already on the SMSC page.
// "Test and Add Modem" runs TestModem on the selected item with the PIN (at most 19
// characters); when it passes, `entry` becomes the item, followed by "\tPIN=" and the
// PIN when one was typed, and the result is true. A failed test keeps the dialog open;
// Cancel gives false and leaves `entry` alone.
bool AddModemDialog(ui::Host& host, const std::vector<std::string>& configured, std::string& entry);

}  // namespace modem
