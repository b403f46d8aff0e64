#include "config/sms_request.h"

#include "acctdb/acctdb.h"
#include "platform/files.h"

namespace config {

namespace {

constexpr std::size_t kNumberSize = 149, kDataSize = 8191, kValueSize = 499;

std::string Hex(const std::string& octets) {
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : octets) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

void Key(std::string& text, const char* key, const std::string& value, std::size_t size = kValueSize) {
    if (value.empty()) return;
    text += key;
    text += '=';
    text += EscapeLineBreaks(value).substr(0, size);
    text += "\r\n";
}

}  // namespace

std::string EscapeLineBreaks(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n";
        else if (c == '\\') out += "\\\\";
        else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) out += ' ';
        else out += c;
    }
    return out;
}

std::string SmsRequestText(const SmsRequest& r) {
    std::string t = "[SMS]\r\n";
    t += "PhoneNumber=" + EscapeLineBreaks(r.phoneNumber).substr(0, kNumberSize) + "\r\n";
    Key(t, "Sender", r.sender, kNumberSize);
    if (r.binary) {
        t += "Data=" + Hex(r.data).substr(0, kDataSize - kDataSize % 2) + "\r\nbinary=Yes\r\n";
    } else {
        std::string data = EscapeLineBreaks(r.data);
        // Never cut an escape in half: a lone trailing backslash would swallow the next one.
        if (data.size() > kDataSize) {
            std::size_t cut = kDataSize;
            std::size_t slashes = 0;
            while (slashes < cut && data[cut - 1 - slashes] == '\\') ++slashes;
            if (slashes % 2) --cut;
            data.resize(cut);
        }
        t += "Data=" + data + "\r\n";
    }
    if (!r.udh.empty()) t += "udh=" + Hex(r.udh) + "\r\n";
    if (r.pid >= 0) t += "pid=" + Hex(std::string(1, static_cast<char>(r.pid))) + "\r\n";
    if (r.dcs >= 0) t += "dcs=" + Hex(std::string(1, static_cast<char>(r.dcs))) + "\r\n";
    if (r.receiptRequested) t += "ReceiptRequested=Yes\r\n";
    Key(t, "SMSCRoute", r.smscRoute);
    Key(t, "SubmittedBy", r.submittedBy);
    Key(t, "SubmitUser", r.submitUser, 249);
    Key(t, "ServiceType", r.serviceType);
    Key(t, "Validity", r.validity);
    for (const auto& [key, value] : r.extra) Key(t, key.c_str(), value);
    return t;
}

bool WriteRequestFile(const std::string& path, const std::string& text) {
    return platform::WriteFileAtomic(path, text, 0660);
}

void WakeOutboundQueue(const std::string& route) { acctdb::SetEventForInterface("SMSOut", route); }

}  // namespace config
