#include "gateway/request.h"

#include <cstdlib>

#include "platform/ini_document.h"
#include "platform/ini_snapshot.h"
#include "platform/text.h"

namespace gateway {

namespace {

bool YesValue(const std::string& text) {
    if (text.empty()) return false;
    return text[0] == 'Y' || text[0] == 'y' || text[0] == '1' || platform::EqualsNoCase(text, "TRUE");
}

int HexByte(const std::string& text) {
    if (text.empty() || text.size() > 2) return -1;
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 16);
    return *end == '\0' ? static_cast<int>(value) : -1;
}

}  // namespace

std::string OutboundRequest::User() const { return submitUser.empty() ? "localsystem" : submitUser; }

std::string UnescapeLineBreaks(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            const char next = text[i + 1];
            if (next == 'r' || next == 'n' || next == '\\') {
                out += next == 'r' ? '\r' : next == 'n' ? '\n' : '\\';
                ++i;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

bool HexToOctets(const std::string& hex, std::string& octets) {
    octets.clear();
    if (hex.size() % 2 != 0) return false;
    const auto digit = [](char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    octets.reserve(hex.size() / 2);
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int high = digit(hex[i]), low = digit(hex[i + 1]);
        if (high < 0 || low < 0) return false;
        octets += static_cast<char>(high * 16 + low);
    }
    return true;
}

std::string OctetsToHex(const std::string& octets) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string hex;
    hex.reserve(octets.size() * 2);
    for (unsigned char c : octets) {
        hex += kDigits[c >> 4];
        hex += kDigits[c & 15];
    }
    return hex;
}

bool ParseRequest(const std::string& text, OutboundRequest& out, std::string& error) {
    const platform::IniSnapshot ini = platform::IniSnapshot::FromText(text);
    out = OutboundRequest();
    out.section = ini.HasSection("SMS") ? "SMS" : ini.HasSection("SMS-IN") ? "SMS-IN" : "";
    if (out.section.empty()) {
        error = "Request has no [SMS] section";
        return false;
    }
    const auto get = [&](const char* key, std::size_t size) { return ini.Get(out.section, key, "", size); };
    out.phoneNumber = get("PhoneNumber", 150);
    out.sender = get("Sender", 150);
    out.data = get("Data", 8192);
    out.udh = get("udh", 500);
    out.submittedBy = get("SubmittedBy", 500);
    out.submitUser = get("SubmitUser", 250);
    out.serviceType = get("ServiceType", 50);
    out.smscRoute = get("SMSCRoute", 100);
    out.routeToLocalUser = get("RouteToLocalUser", 250);
    out.validity = get("Validity", 50);
    out.billingInfo = get("BillingInfo", 250);
    out.smppOptions = get("SMPPOptions", 500);
    out.binary = YesValue(get("binary", 20));
    out.pid = HexByte(get("pid", 10));
    out.dcs = HexByte(get("dcs", 10));
    out.receiptRequested = YesValue(get("ReceiptRequested", 20));
    out.chargedOnSubmit = !get("CreditCharged", 30).empty();
    const std::string retries = ini.Get("ErrorDetail", "RetryCount", "0", 20);
    out.retryCount = static_cast<unsigned>(std::strtoul(retries.c_str(), nullptr, 10));
    out.firstAttemptTime = ini.Get("ErrorDetail", "FirstAttemptTime", "", 20);
    out.lastRetryTime = ini.Get("ErrorDetail", "LastRetryTime", "", 20);
    out.lastErrorInfo = ini.Get("ErrorDetail", "LastErrorInfo", "", 200);
    if (out.phoneNumber.empty()) {
        error = "Request has no recipient (PhoneNumber)";
        return false;
    }
    if (out.binary) {
        std::string octets;
        if (!HexToOctets(out.data, octets)) {
            error = "Binary message data is not hexadecimal";
            return false;
        }
    } else {
        out.data = UnescapeLineBreaks(out.data);
    }
    std::string udhOctets;
    if (!out.udh.empty() && !HexToOctets(out.udh, udhOctets)) {
        error = "User data header is not hexadecimal";
        return false;
    }
    return true;
}

std::string OneLineField(const std::string& text, std::size_t max) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == '\r' || c == '\n' || c == '\t' || c == '\0') c = ' ';
        if (c == ',') c = ';';
        out += c;
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    if (out.size() > max) {
        out.resize(max);
        // Never leave half of a UTF-8 sequence at the end.
        while (!out.empty() && (static_cast<unsigned char>(out.back()) & 0xC0) == 0x80) out.pop_back();
        if (!out.empty() && (static_cast<unsigned char>(out.back()) & 0xC0) == 0xC0) out.pop_back();
    }
    return out;
}

std::string WithErrorDetail(const std::string& text, unsigned retryCount, const std::string& firstAttemptTime,
                            const std::string& lastRetryTime, const std::string& lastError) {
    platform::ini::Document doc(text);
    doc.Write("ErrorDetail", "RetryCount", std::to_string(retryCount));
    doc.Write("ErrorDetail", "FirstAttemptTime", firstAttemptTime);
    doc.Write("ErrorDetail", "LastRetryTime", lastRetryTime);
    doc.Write("ErrorDetail", "LastErrorInfo", OneLineField(lastError));
    return doc.Text();
}

}  // namespace gateway
