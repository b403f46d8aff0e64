// How the SMPP server reads the text of a client's submit_sm or data_sm and writes the
// text of a deliver_sm, by data coding and the account's character set
// ("SMSCCharset"/"SMSCCharsetDefault" of "[SMPPClient - <user>]", else of "[SMPP]").
//
// Text with data coding 0 (the default alphabet) is GSM 03.38, one septet per octet,
// unless the account names a character set for it: "IA5" (ASCII), "iso-8859-15", or
// "iso-8859-1" as the default alphabet. Data coding 1 is ASCII, 3 Latin-1, 8 UCS-2;
// 8-bit data codings (2, 4, 0xF4...) and anything else travel as binary data.
#pragma once

#include <cstdint>
#include <string>

#include "gateway/clients/submission.h"
#include "smpplnk/smpp_pdu.h"

namespace gateway::clients {

// How an account's messages are coded on its sessions.
struct ClientCoding {
    std::string charset;     // "" = GSM 03.38 for the default alphabet
    bool asDefault = false;  // the charset is used for data coding 0
    bool useDataSm = false;  // deliveries go as data_sm (text in message_payload)
};

// The account's character set and UseDataSM as the console stores them: the user's keys
// when present ("Default" and "No" override the gateway's), else the gateway-wide
// "[SMPP]" keys.
ClientCoding ReadClientCoding(const std::string& iniPath, const std::string& user);

// The message of a submit_sm or data_sm: 0 with `out` filled (recipient, sender, text or
// data, header, receipt, priority, validity), else the command status to refuse it with.
std::uint32_t MessageFromPdu(const smpplnk::MessageRequest& pdu, const ClientCoding& charset, ClientMessage& out);

// A received message or delivery receipt for a client.
struct DeliveryText {
    std::string from, to;
    std::string text;  // UTF-8, or the octets when binary
    bool binary = false;
    std::string udh;
    int dcs = -1, pid = -1;
    bool receipt = false;
    std::string receiptId, receiptState;  // the request id we answered the submit with; "DELIVRD"...
};

// The deliver_sm (or data_sm) for a delivery: text coded in the account's charset when it
// holds every character, else GSM 03.38 or UCS-2; text too long for the short message,
// and every data_sm's, goes in a message_payload parameter. False when even that cannot
// hold it.
bool PduForDelivery(const DeliveryText& message, const ClientCoding& charset, smpplnk::MessageRequest& out);

}  // namespace gateway::clients
