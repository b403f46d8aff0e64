// "SMPP Advanced Configuration Options" ("DIALOG_SMPPADV"): the SMPP connection's
// encoding, TLV, TON/NPI, character set, keep-alive, session counts and windowing.
// It edits the pending advanced settings the main dialog keeps while it is open.
#pragma once

#include <string>
#include <vector>

#include "ui/host.h"
#include "ui/template.h"

namespace smsc {

// The keys the pending advanced settings carry from an opened record, in their order
// (SenderPort and ReceiverPort are edited by no dialog but carried for the test).
const std::vector<std::string>& SmppAdvancedKeys();

// "SMSC Character Set:" entries in list order with their SMSCCharset and
// SMSCCharsetDefault values.
struct SmscCharsetEntry {
    const char* label;
    const char* charset;
    const char* isDefault;
};
const std::vector<SmscCharsetEntry>& SmscCharsets();

// "DIALOG_SMPPADV".
ui::Template SmppAdvancedTemplate();

// `EditSmppAdvanced`: true on OK with `pending` replaced by its connection name followed
// by the advanced keys whose field values differ from the connection's stored section;
// false on Cancel, `pending` untouched.
bool EditSmppAdvanced(ui::Host& host, std::string& pending);

}  // namespace smsc
