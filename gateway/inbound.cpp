#include "gateway/inbound.h"

#include <atomic>

#include "config/sms_request.h"

#include "gateway/logs.h"
#include "gateway/request.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/text.h"

namespace gateway {

namespace {

std::atomic<unsigned> g_sequence{0};

// A value that cannot break the INI line it goes into.
std::string Safe(const std::string& text) {
    std::string out = config::EscapeLineBreaks(text);
    return out.substr(0, 500);
}

}  // namespace

std::string ReceiptField(const std::string& text, const std::string& field) {
    const std::size_t at = platform::FindNoCase(text, field + ":");
    if (at == std::string::npos) return {};
    const std::size_t start = at + field.size() + 1;
    const std::size_t end = text.find(' ', start);
    return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

std::string InboundFileText(const InboundMessage& m, const std::string& connection,
                            const std::string& receiptRequestId) {
    std::string t = "[SMS-IN]\r\n";
    t += "Sender=" + Safe(m.sender) + "\r\n";
    t += "PhoneNumber=" + Safe(m.recipient) + "\r\n";
    if (m.binary) {
        t += "Data=" + OctetsToHex(m.octets) + "\r\n";
        t += "binary=Yes\r\n";
    } else {
        t += "Data=" + config::EscapeLineBreaks(m.text).substr(0, 8191) + "\r\n";
    }
    if (!m.udh.empty()) t += "udh=" + OctetsToHex(m.udh) + "\r\n";
    if (m.dcs >= 0) t += "dcs=" + OctetsToHex(std::string(1, static_cast<char>(m.dcs))) + "\r\n";
    if (m.pid >= 0) t += "pid=" + OctetsToHex(std::string(1, static_cast<char>(m.pid))) + "\r\n";
    t += "ModemName=" + Safe(connection) + "\r\n";
    if (m.isReceipt) {
        if (!receiptRequestId.empty()) t += "ReceiptMessageId=" + Safe(receiptRequestId) + "\r\n";
        const std::string state = platform::ToLowerAscii(m.receiptState);
        if (state == "delivrd" || state == "delivered") t += "ReceiptDelivered=Yes\r\n";
        else if (state == "enroute" || state == "accepted" || state == "buffered") t += "ReceiptIntransit=Yes\r\n";
        else t += "ReceiptFailed=Yes\r\n";
    }
    t += "ReceivedTime=" + Now14() + "\r\n";
    return t;
}

std::string WithLocalUser(const std::string& text, const std::string& user) {
    return text + "RouteToLocalUser=" + Safe(user) + "\r\n";
}

std::string WriteInboundFile(const std::string& smsInDir, const std::string& connectionFileName,
                             const std::string& text, const char* extension) {
    std::string folder = connectionFileName;
    for (char& c : folder)
        if (c == '\0' || c == '/') c = '-';
    if (folder.empty() || folder.find_first_not_of('.') == std::string::npos) folder = "_";
    const std::string name = Now14() + "-" + std::to_string(platform::Clock().UnixMillis() % 1000) + "-" +
                             std::to_string(g_sequence.fetch_add(1)) + extension;
    // The console removes folders that stayed empty for a while: create it again when the
    // first write finds it gone.
    for (int attempt = 0; attempt < 3; ++attempt) {
        platform::CreateDirectories(smsInDir + folder);
        if (platform::WriteFileAtomic(smsInDir + folder + "/" + name, text, 0660)) return folder + "/" + name;
    }
    return {};
}

}  // namespace gateway
