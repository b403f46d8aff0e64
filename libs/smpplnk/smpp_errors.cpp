// SMPPErrorText: every SMPP 3.4 command_status and every local code as the operator's
// text. Unknown statuses show their number, vendor-range ones say so.
#include <cstdio>
#include <cstring>
#include <string>

#include "smpplnk/smpp_codes.h"
#include "smpplnk/smpplnk.h"

namespace smpplnk {
namespace {

struct Text {
    int code;
    const char* name;
    const char* text;
};

constexpr Text kStatusTexts[] = {
    {0x00, "ESME_ROK", "No error"},
    {0x01, "ESME_RINVMSGLEN", "Message length is invalid"},
    {0x02, "ESME_RINVCMDLEN", "Command length is invalid"},
    {0x03, "ESME_RINVCMDID", "Invalid command ID"},
    {0x04, "ESME_RINVBNDSTS", "Incorrect bind status for given command"},
    {0x05, "ESME_RALYBND", "ESME already in bound state"},
    {0x06, "ESME_RINVPRTFLG", "Invalid priority flag"},
    {0x07, "ESME_RINVREGDLVFLG", "Invalid registered delivery flag"},
    {0x08, "ESME_RSYSERR", "System error"},
    {0x0A, "ESME_RINVSRCADR", "Invalid source address"},
    {0x0B, "ESME_RINVDSTADR", "Invalid destination address"},
    {0x0C, "ESME_RINVMSGID", "Message ID is invalid"},
    {0x0D, "ESME_RBINDFAIL", "Bind failed"},
    {0x0E, "ESME_RINVPASWD", "Invalid password"},
    {0x0F, "ESME_RINVSYSID", "Invalid system ID"},
    {0x11, "ESME_RCANCELFAIL", "Cancel SM failed"},
    {0x13, "ESME_RREPLACEFAIL", "Replace SM failed"},
    {0x14, "ESME_RMSGQFUL", "Message queue full"},
    {0x15, "ESME_RINVSERTYP", "Invalid service type"},
    {0x33, "ESME_RINVNUMDESTS", "Invalid number of destinations"},
    {0x34, "ESME_RINVDLNAME", "Invalid distribution list name"},
    {0x40, "ESME_RINVDESTFLAG", "Destination flag is invalid"},
    {0x42, "ESME_RINVSUBREP", "Invalid submit with replace request"},
    {0x43, "ESME_RINVESMCLASS", "Invalid esm_class field data"},
    {0x44, "ESME_RCNTSUBDL", "Cannot submit to distribution list"},
    {0x45, "ESME_RSUBMITFAIL", "submit_sm or submit_multi failed"},
    {0x48, "ESME_RINVSRCTON", "Invalid source address TON"},
    {0x49, "ESME_RINVSRCNPI", "Invalid source address NPI"},
    {0x50, "ESME_RINVDSTTON", "Invalid destination address TON"},
    {0x51, "ESME_RINVDSTNPI", "Invalid destination address NPI"},
    {0x53, "ESME_RINVSYSTYP", "Invalid system_type field"},
    {0x54, "ESME_RINVREPFLAG", "Invalid replace_if_present flag"},
    {0x55, "ESME_RINVNUMMSGS", "Invalid number of messages"},
    {0x58, "ESME_RTHROTTLED", "Throttling error (ESME has exceeded allowed message limits)"},
    {0x61, "ESME_RINVSCHED", "Invalid scheduled delivery time"},
    {0x62, "ESME_RINVEXPIRY", "Invalid message validity period (expiry time)"},
    {0x63, "ESME_RINVDFTMSGID", "Predefined message invalid or not found"},
    {0x64, "ESME_RX_T_APPN", "ESME receiver temporary app error code"},
    {0x65, "ESME_RX_P_APPN", "ESME receiver permanent app error code"},
    {0x66, "ESME_RX_R_APPN", "ESME receiver reject message error code"},
    {0x67, "ESME_RQUERYFAIL", "query_sm request failed"},
    {0xC0, "ESME_RINVOPTPARSTREAM", "Error in the optional part of the PDU body"},
    {0xC1, "ESME_ROPTPARNOTALLWD", "Optional parameter not allowed"},
    {0xC2, "ESME_RINVPARLEN", "Invalid parameter length"},
    {0xC3, "ESME_RMISSINGOPTPARAM", "Expected optional parameter missing"},
    {0xC4, "ESME_RINVOPTPARAMVAL", "Invalid optional parameter value"},
    {0xFE, "ESME_RDELIVERYFAILURE", "Delivery failure (used for data_sm_resp)"},
    {0xFF, "ESME_RUNKNOWNERR", "Unknown error"},
};

constexpr Text kLocalTexts[] = {
    {kErrTimedOut, nullptr, "No response from the SMPP server (timed out)"},
    {kErrClosed, nullptr, "The SMPP server closed the connection"},
    {kErrSend, nullptr, "Unable to send to the SMPP server"},
    {kErrReceive, nullptr, "Error receiving from the SMPP server"},
    {kErrMalformed, nullptr, "The SMPP server sent a malformed response"},
    {kErrLength, nullptr, "The SMPP server sent a PDU with an invalid command length"},
    {kErrUnexpected, nullptr, "The SMPP server sent an unexpected response"},
    {kErrGenericNack, nullptr, "The SMPP server rejected the request (generic_nack)"},
    {kErrSmscUnbound, nullptr, "The SMPP server ended the session (unbind)"},
    {kErrSystemIdLong, nullptr, "User name (system_id) is longer than 15 characters"},
    {kErrPasswordLong, nullptr, "Password is longer than 8 characters"},
    {kErrSystemTypeLong, nullptr, "System type is longer than 12 characters"},
    {kErrAddressRangeLong, nullptr, "Address range is longer than 40 characters"},
    {kErrBindTonNpi, nullptr, "Bind TON and NPI must be numbers from 0 to 255"},
    {kErrVersion, nullptr, "Unsupported SMPP interface version"},
    {kErrBindType, nullptr, "Unsupported SMPP bind type"},
    {kErrSourceLong, nullptr, "Source address is longer than 20 characters"},
    {kErrDestinationLong, nullptr, "Destination address is longer than 20 characters"},
    {kErrMessageLong, nullptr, "Message is longer than 253 octets"},
    {kErrBadArgument, nullptr, "Invalid argument"},
    {kErrNoTls, nullptr, "SSL/TLS library is not available"},
    {kErrEncode, nullptr, "Unable to encode the SMPP request"},
    {kErrCancelled, nullptr, "Cancelled"},
    {kErrNotSocket, nullptr, "Not connected to the SMPP server"},
};

std::string Describe(int code) {
    for (const Text& t : kLocalTexts) {
        if (t.code == code) return t.text;
    }
    char text[160];
    for (const Text& t : kStatusTexts) {
        if (t.code == code) {
            std::snprintf(text, sizeof text, "%s (%s, 0x%08X)", t.text, t.name, code);
            return text;
        }
    }
    if (code >= 0x400 && code <= 0x4FF) {
        std::snprintf(text, sizeof text, "SMSC vendor specific error 0x%08X", code);
    } else if (code > 0) {
        std::snprintf(text, sizeof text, "Unknown SMPP error 0x%08X", code);
    } else {
        std::snprintf(text, sizeof text, "Unknown error %d", code);
    }
    return text;
}

}  // namespace
}  // namespace smpplnk

extern "C" int SMPPErrorText(int code, char* buffer, int size) {
    if (!buffer || size < 1) return 0;
    const std::string text = smpplnk::Describe(code);
    const std::size_t n = std::min(text.size(), static_cast<std::size_t>(size - 1));
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return static_cast<int>(n);
}
