#include "cimdlnk/cimd_errors.h"

#include <strings.h>

#include <cstdio>

#include "cimdlnk/cimd_frame.h"

namespace cimd {
namespace {

const char* SmscErrorText(int code) {
    switch (code) {
        case 1:
            return "Unexpected operation";
        case 2:
            return "Syntax error";
        case 3:
            return "Unsupported parameter";
        case 4:
            return "Connection to SMSC lost";
        case 5:
            return "No response from SMSC";
        case 6:
            return "General system error";
        case 7:
            return "Cannot find information";
        case 8:
            return "Parameter formatting error";
        case 9:
            return "Requested operation failed";
        case 10:
            return "Temporary congestion";
        case 100:
            return "Invalid login";
        case 101:
            return "Incorrect access type";
        case 102:
            return "Too many users with this login ID";
        case 103:
            return "Login refused by SMSC";
        case 104:
            return "Invalid window size";
        case 105:
            return "Windowing disabled";
        case 106:
            return "Virtual SMS center-based barring";
        case 107:
            return "Invalid subaddress";
        case 108:
            return "Alias account, login refused";
        case 800:
            return "Changing password failed";
        case 801:
            return "Changing password not allowed";
        case 900:
            return "Unsupported item requested";
        default:
            return nullptr;
    }
}

constexpr smsc_link::LinkWords kWords{
    "CIMD", "packet number", "valid CIMD2 packet",
    "The user name contains a tab or another character CIMD2 cannot carry",
    "The password contains a tab or another character CIMD2 cannot carry",
    "The CIMD server rejected the login packet", kMaxUserLength, kMaxPasswordLength};

std::string LocalErrorText(int code) {
    std::string local = smsc_link::LocalErrorText(code, kWords);
    if (!local.empty()) return local;
    char text[160];
    if (const char* smsc = SmscErrorText(code)) return smsc;
    if (code >= 300 && code <= 399)
        std::snprintf(text, sizeof text, "Submit parameter error %d", code);
    else if (code >= 400 && code <= 499)
        std::snprintf(text, sizeof text, "Enquire message status error %d", code);
    else if (code >= 500 && code <= 599)
        std::snprintf(text, sizeof text, "Delivery request error %d", code);
    else if (code >= 600 && code <= 699)
        std::snprintf(text, sizeof text, "Cancel message error %d", code);
    else if (code >= 700 && code <= 799)
        std::snprintf(text, sizeof text, "Set/get parameter error %d", code);
    else if (code >= 900 && code <= 999)
        std::snprintf(text, sizeof text, "Unsupported item requested (error %d)", code);
    else
        std::snprintf(text, sizeof text, "CIMD2 error %d", code);
    return text;
}

}  // namespace

std::string ErrorText(int code, const std::string& serverText) {
    std::string text = LocalErrorText(code);
    if (code > 0 && code < 1000) {
        text = "Error " + std::to_string(code) + ": " + text;
        if (!serverText.empty() &&
            strcasecmp(serverText.c_str(), LocalErrorText(code).c_str()) != 0)
            text += " (" + serverText + ")";
    }
    return text;
}

}  // namespace cimd
