#include "gateway/links/cimd_text.h"

#include "acctdb/acctdb.h"
#include "gateway/links/ucp_cimd_common.h"
#include "gateway/message_parts.h"
#include "ucplnk/ucp_frame.h"

namespace gateway {
namespace {

std::string Hex(const std::string& octets) { return ucp::IraHex(octets); }

std::string Parameter(const cimd::Packet& p, int code) {
    const std::string* value = cimd::FindParameter(p, code);
    return value ? *value : std::string();
}

}  // namespace

bool BuildCimdSubmits(const OutboundMessage& m, const std::string& sender, const std::string& prefix,
                      unsigned char reference, std::vector<CimdParameters>& submits,
                      std::string& error) {
    if (!IsNumericAddress(m.recipient)) {
        error = "Invalid recipient number: " + m.recipient.substr(0, 40);
        return false;
    }
    const std::string destination =
        m.recipient[0] == '+' ? "00" + m.recipient.substr(1) : m.recipient;
    EncodedMessage encoded;
    int dcs = 0;
    if (!EncodeForSubmit(m, reference, encoded, dcs, error)) return false;
    // Text goes as user data text; a character that has no form there makes the message
    // go as UCS-2.
    std::string text;
    if (encoded.coding == Coding::Gsm7 && !cimd::EncodeUserDataText(m.text, &text)) {
        std::string ucs2;
        acctdb::UTF8ToUCS2(m.text, ucs2);
        if (!EncodeMessage("", ucs2, m.udh, true, true, reference, encoded)) {
            error = "The message is too long";
            return false;
        }
        dcs = 0x08;
    }
    submits.clear();
    for (const MessagePart& part : encoded.parts) {
        CimdParameters p{{cimd::kDestination, destination}};
        if (IsNumericAddress(sender)) {
            p.push_back({cimd::kOriginator, prefix + sender});
        } else if (!sender.empty()) {
            std::string alpha;
            if (!cimd::EncodeUserDataText(sender, &alpha)) alpha = "?";
            p.push_back({cimd::kAlphanumericOriginator, alpha.substr(0, 11)});
        }
        if (encoded.coding != Coding::Gsm7) p.push_back({cimd::kDataCoding, std::to_string(dcs)});
        if (!part.udh.empty()) p.push_back({cimd::kUserDataHeader, Hex(part.udh)});
        if (encoded.coding == Coding::Gsm7) {
            cimd::EncodeUserDataText(acctdb::GSM7SeptetsToUTF8(part.payload), &text);
            p.push_back({cimd::kUserData, text});
        } else {
            p.push_back({cimd::kUserDataBinary, Hex(part.payload)});
        }
        if (m.pid >= 0 && m.pid < 256) p.push_back({cimd::kProtocolId, std::to_string(m.pid)});
        // Validity expired, delivery failed, delivered.
        if (m.receiptRequested) p.push_back({cimd::kStatusReportRequest, "14"});
        submits.push_back(std::move(p));
    }
    return true;
}

bool ReadCimdDelivery(const cimd::Packet& p, InboundMessage& m) {
    m = InboundMessage();
    m.recipient = Parameter(p, cimd::kDestination);
    m.sender = Parameter(p, cimd::kOriginator);
    if (m.sender.empty())
        m.sender = cimd::DecodeUserDataText(Parameter(p, cimd::kAlphanumericOriginator));
    if (p.operation == cimd::kStatusReport) {
        m.isReceipt = true;
        m.receiptSmscId = m.recipient + ":" + Parameter(p, cimd::kTimestamp);
        const std::string code = Parameter(p, cimd::kStatusCode);
        m.receiptState = code == "4" ? "DELIVRD" : code == "1" ? "ENROUTE" : code == "2" ? "EXPIRED"
                         : code == "7" || code == "8" || code == "9" ? "DELETED" : "UNDELIV";
        std::swap(m.sender, m.recipient);
        if (m.sender.empty()) m.sender = Parameter(p, cimd::kDestination);
        return !Parameter(p, cimd::kTimestamp).empty();
    }
    const std::string dcsText = Parameter(p, cimd::kDataCoding);
    if (!dcsText.empty()) m.dcs = std::atoi(dcsText.c_str());
    if (const std::string* udh = cimd::FindParameter(p, cimd::kUserDataHeader))
        if (!ucp::FromIraHex(*udh, &m.udh)) return false;
    if (const std::string* binary = cimd::FindParameter(p, cimd::kUserDataBinary)) {
        std::string octets;
        if (!ucp::FromIraHex(*binary, &octets)) return false;
        if (m.dcs >= 0 && (m.dcs & 0xEC) == 0x08) {
            m.text = acctdb::UCS2ToUTF8(octets);
        } else {
            m.binary = true;
            m.octets = octets;
        }
    } else {
        m.text = cimd::DecodeUserDataText(Parameter(p, cimd::kUserData));
    }
    return true;
}

}  // namespace gateway
