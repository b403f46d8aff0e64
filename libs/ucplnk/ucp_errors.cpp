#include "ucplnk/ucp_errors.h"

#include <strings.h>

#include <cstdio>

#include "ucplnk/ucp_frame.h"

namespace ucp {
namespace {

const char* SmscErrorText(int code) {
    switch (code) {
        case 1:
            return "Checksum error";
        case 2:
            return "Syntax error";
        case 3:
            return "Operation not supported by system";
        case 4:
            return "Operation not allowed at this point";
        case 5:
            return "Call barring active";
        case 6:
            return "AdC invalid (the user name is not a valid address)";
        case 7:
            return "Authentication failure";
        case 8:
            return "Legitimisation code for all calls, failure";
        case 9:
            return "GA not valid";
        case 10:
            return "Repetition not allowed";
        case 11:
            return "Legitimisation code for repetition, failure";
        case 12:
            return "Priority call not allowed";
        case 13:
            return "Legitimisation code for priority call, failure";
        case 14:
            return "Urgent message not allowed";
        case 15:
            return "Legitimisation code for urgent message, failure";
        case 16:
            return "Reverse charging not allowed";
        case 17:
            return "Legitimisation code for reverse charging, failure";
        case 18:
            return "Deferred delivery not allowed";
        case 19:
            return "New AC not valid";
        case 20:
            return "New legitimisation code not valid";
        case 21:
            return "Standard text not valid";
        case 22:
            return "Time period not valid";
        case 23:
            return "Message type not supported by system";
        case 24:
            return "Message too long";
        case 25:
            return "Requested standard text not valid";
        case 26:
            return "Message type not valid for the pager type";
        case 27:
            return "Message not found in SMSC";
        case 28:
            return "Invalid character set";
        case 30:
            return "Subscriber hang-up";
        case 31:
            return "Fax group not supported";
        case 32:
            return "Fax message type not supported";
        case 33:
            return "Address already in list";
        case 34:
            return "Address not in list";
        case 35:
            return "List full, cannot add address to list";
        case 36:
            return "RPID already in use";
        case 37:
            return "Delivery in progress";
        case 38:
            return "Message forwarded";
        case 50:
            return "Low network status";
        case 51:
            return "Legitimisation code for standard text, failure";
        case 53:
            return "Operation partially successful";
        case 54:
            return "Operation not successful";
        case 55:
            return "System error";
        default:
            return nullptr;
    }
}

constexpr smsc_link::LinkWords kWords{
    "UCP", "transaction number", "valid UCP frame",
    "The user name contains \"/\" or a character UCP cannot carry",
    "The password contains a character UCP cannot carry",
    "The UCP server refused the login without an error code", kMaxUserLength, kMaxPasswordLength};

std::string LocalErrorText(int code) {
    std::string local = smsc_link::LocalErrorText(code, kWords);
    if (!local.empty()) return local;
    char text[160];
    if (const char* smsc = SmscErrorText(code)) return smsc;
    if (code >= 90 && code <= 99)
        std::snprintf(text, sizeof text, "SMSC specific error %02d", code);
    else if (code > 0 && code < 100)
        std::snprintf(text, sizeof text, "UCP error %02d", code);
    else
        std::snprintf(text, sizeof text, "Unknown error %d", code);
    return text;
}

}  // namespace

std::string ErrorText(int code, const std::string& serverText) {
    std::string text = LocalErrorText(code);
    if (code > 0 && code < 100) {
        char prefix[16];
        std::snprintf(prefix, sizeof prefix, "Error %02d: ", code);
        text = prefix + text;
        if (!serverText.empty() &&
            strcasecmp(serverText.c_str(), LocalErrorText(code).c_str()) != 0)
            text += " (" + serverText + ")";
    }
    return text;
}

}  // namespace ucp
