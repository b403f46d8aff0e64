#include "gateway/clients/local_delivery.h"

#include <algorithm>

#include "gateway/request.h"
#include "platform/files.h"
#include "platform/ini_snapshot.h"
#include "platform/locked_file.h"
#include "platform/text.h"

namespace gateway::clients {

namespace {

constexpr std::size_t kMaxReceivedBytes = 64 * 1024;

bool Yes(const platform::IniSnapshot& ini, const char* key) {
    const std::string v = ini.Get("SMS-IN", key, "", 20);
    return !v.empty() && (v[0] == 'Y' || v[0] == 'y' || v[0] == '1');
}

int HexByte(const std::string& hex) {
    std::string octet;
    return HexToOctets(hex, octet) && octet.size() == 1 ? static_cast<unsigned char>(octet[0]) : -1;
}

void ScanFolder(const std::string& dir, std::vector<WaitingDelivery>& out, std::size_t limit) {
    std::vector<std::string> names;
    platform::WalkDirectoryNames(dir, "*.REC", [&](const platform::DirEntry& e) {
        if (!e.isDirectory && !e.name.empty() && e.name[0] != '.') names.push_back(e.name);
        return names.size() < limit * 4;
    });
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        if (out.size() >= limit) return;
        std::string text;
        if (!platform::ReadFileHead(dir + name, kMaxReceivedBytes, text)) continue;
        const std::string user = platform::IniSnapshot::FromText(text).Get("SMS-IN", "RouteToLocalUser", "", 250);
        if (!user.empty()) out.push_back({dir + name, user});
    }
}

}  // namespace

std::vector<WaitingDelivery> FindWaitingDeliveries(const std::string& smsInDir, std::size_t limit) {
    std::vector<WaitingDelivery> out;
    ScanFolder(smsInDir, out, limit);
    std::vector<std::string> folders;
    platform::WalkDirectoryNames(smsInDir, "*", [&](const platform::DirEntry& e) {
        if (e.isDirectory && !e.name.empty() && e.name[0] != '.') folders.push_back(e.name);
        return true;
    });
    for (const std::string& folder : folders) {
        if (out.size() >= limit) break;
        ScanFolder(smsInDir + folder + "/", out, limit);
    }
    return out;
}

bool ReadDelivery(const std::string& path, DeliveryText& out) {
    std::string text;
    if (!platform::ReadFileHead(path, kMaxReceivedBytes, text)) return false;
    const platform::IniSnapshot ini = platform::IniSnapshot::FromText(std::move(text));
    if (!ini.HasSection("SMS-IN")) return false;
    out = DeliveryText();
    out.from = ini.Get("SMS-IN", "Sender", "", 150);
    out.to = ini.Get("SMS-IN", "PhoneNumber", "", 150);
    const std::string data = ini.Get("SMS-IN", "Data", "", 8192);
    out.binary = Yes(ini, "binary");
    if (out.binary) {
        if (!HexToOctets(data, out.text)) return false;
    } else {
        out.text = UnescapeLineBreaks(data);
    }
    if (!HexToOctets(ini.Get("SMS-IN", "udh", "", 500), out.udh)) out.udh.clear();
    out.dcs = HexByte(ini.Get("SMS-IN", "dcs", "", 10));
    out.pid = HexByte(ini.Get("SMS-IN", "pid", "", 10));
    out.receiptId = ini.Get("SMS-IN", "ReceiptMessageId", "", 100);
    if (!out.receiptId.empty()) {
        out.receipt = true;
        out.receiptState = Yes(ini, "ReceiptDelivered") ? "DELIVRD" : Yes(ini, "ReceiptIntransit") ? "ENROUTE" : "UNDELIV";
    }
    return true;
}

bool MarkDelivered(const std::string& path) {
    platform::LockedFile file;
    if (file.Claim(path, kMaxReceivedBytes) != platform::LockedFile::ClaimResult::Claimed) return false;
    const std::size_t dot = path.rfind('.');
    return file.RenameTo(path.substr(0, dot) + ".SMS");
}

}  // namespace gateway::clients
