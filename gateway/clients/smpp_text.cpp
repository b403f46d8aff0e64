#include "gateway/clients/smpp_text.h"

#include "acctdb/acctdb.h"
#include "config/config_store.h"
#include "platform/charsets.h"
#include "platform/ini.h"
#include "platform/text.h"

namespace gateway::clients {

namespace {

constexpr std::uint32_t kStatusInvalidMessageLength = 0x01;
constexpr std::uint32_t kStatusInvalidDestination = 0x0B;
constexpr std::size_t kShortMessageRoom = 253;  // what the codec packs
constexpr std::size_t kPayloadRoom = 1024;      // the longest message_payload it packs
constexpr std::uint8_t kUdhIndicator = 0x40;

std::string Read(const std::string& ini, const std::string& section, const char* key, bool& present) {
    const std::string missing = "\x01";
    const std::string value = platform::GetPrivateProfileString(ini, section, key, missing);
    present = value != missing;
    return present ? value : std::string();
}

// The IE of a 16-bit-reference concatenation header from sar_* parameters.
std::string SarHeader(const smpplnk::MessageRequest& pdu) {
    const auto find = [&](std::uint16_t tag) -> const std::string* {
        for (const auto& t : pdu.tlvs)
            if (t.tag == tag) return &t.value;
        return nullptr;
    };
    const std::string* ref = find(smpplnk::kTagSarMsgRefNum);
    const std::string* total = find(smpplnk::kTagSarTotalSegments);
    const std::string* seq = find(smpplnk::kTagSarSegmentSeqnum);
    if (!ref || !total || !seq || ref->size() != 2 || total->size() != 1 || seq->size() != 1) return {};
    return std::string("\x06\x08\x04", 3) + *ref + *total + *seq;
}

bool DecodeText(const std::string& octets, int dcs, const ClientCoding& cs, std::string& text) {
    const bool defaultAlphabet = dcs == 0 || (dcs & 0xF4) == 0xF0;
    if (defaultAlphabet) {
        if (!cs.charset.empty() && (cs.asDefault || platform::EqualsNoCase(cs.charset, "IA5") ||
                                    platform::EqualsNoCase(cs.charset, "iso-8859-15"))) {
            const std::string from = platform::EqualsNoCase(cs.charset, "IA5") ? "ASCII" : cs.charset;
            return platform::ConvertCharset(from, "UTF-8", octets, text);
        }
        text = acctdb::GSM7SeptetsToUTF8(octets);
        return true;
    }
    if (dcs == 1) return platform::ConvertCharset("ASCII", "UTF-8", octets, text);
    if (dcs == 3) return platform::ConvertCharset("ISO-8859-1", "UTF-8", octets, text);
    if (dcs == 8) {
        text = acctdb::UCS2ToUTF8(octets);
        return true;
    }
    return false;
}

// Codes `text` for the client: 0 with the octets and data coding, false when no
// coding the client reads holds it (never: UCS-2 holds everything valid).
bool EncodeText(const std::string& text, const ClientCoding& cs, std::string& octets, std::uint8_t& dcs) {
    if (!cs.charset.empty()) {
        const bool forDefault = cs.asDefault || platform::EqualsNoCase(cs.charset, "IA5") ||
                                platform::EqualsNoCase(cs.charset, "iso-8859-15");
        const std::string to = platform::EqualsNoCase(cs.charset, "IA5") ? "ASCII" : cs.charset;
        std::string converted;
        if (platform::ConvertCharset("UTF-8", to, text, converted, '\x01') &&
            converted.find('\x01') == std::string::npos) {
            octets = converted;
            dcs = forDefault ? 0 : 3;
            return true;
        }
    } else if (acctdb::UTF8ToGSM7Septets(text, octets)) {
        dcs = 0;
        return true;
    }
    dcs = 8;
    return acctdb::UTF8ToUCS2(text, octets);
}

}  // namespace

ClientCoding ReadClientCoding(const std::string& iniPath, const std::string& user) {
    const std::string section = "SMPPClient - " + user;
    ClientCoding cs;
    bool present = false;
    cs.charset = Read(iniPath, section, "SMSCCharset", present);
    if (!present) cs.charset = Read(iniPath, "SMPP", "SMSCCharset", present);
    if (platform::EqualsNoCase(cs.charset, "Default")) cs.charset.clear();
    std::string asDefault = Read(iniPath, section, "SMSCCharsetDefault", present);
    if (!present) asDefault = Read(iniPath, "SMPP", "SMSCCharsetDefault", present);
    cs.asDefault = config::IsYes(asDefault);
    std::string dataSm = Read(iniPath, section, "UseDataSM", present);
    if (!present) dataSm = Read(iniPath, "SMPP", "UseDataSM", present);
    cs.useDataSm = config::IsYes(dataSm);
    return cs;
}

std::uint32_t MessageFromPdu(const smpplnk::MessageRequest& pdu, const ClientCoding& charset, ClientMessage& out) {
    out.to = pdu.destination;
    out.from = pdu.source;
    if (out.to.empty()) return kStatusInvalidDestination;
    std::string body = pdu.shortMessage;
    for (const auto& t : pdu.tlvs)
        if (t.tag == smpplnk::kTagMessagePayload && body.empty()) body = t.value;
    std::string udh;
    if (pdu.esmClass & kUdhIndicator) {
        if (body.empty() || static_cast<unsigned char>(body[0]) + 1u > body.size()) return kStatusInvalidMessageLength;
        udh = body.substr(0, static_cast<unsigned char>(body[0]) + 1u);
        body.erase(0, udh.size());
    } else {
        // Concatenation given as parameters becomes the header the links send.
        udh = SarHeader(pdu);
    }
    out.udh = udh;
    out.dcs = pdu.dataCoding;
    out.pid = pdu.protocolId != 0 ? pdu.protocolId : -1;
    if (DecodeText(body, pdu.dataCoding, charset, out.text)) {
        out.binary = false;
        out.dcs = -1;  // the links choose the coding of text again
    } else {
        out.binary = true;
        out.text = body;
    }
    out.receipt = (pdu.registeredDelivery & 0x03) != 0;
    out.priority = pdu.priority != 0;
    out.validity = pdu.validityPeriod;
    return 0;
}

bool PduForDelivery(const DeliveryText& m, const ClientCoding& charset, smpplnk::MessageRequest& out) {
    out = smpplnk::MessageRequest();
    out.commandId = smpplnk::kDeliverSm;
    // An international number travels without its "+", as TON 1 (international), NPI 1.
    const auto address = [](const std::string& number, std::uint8_t& ton, std::uint8_t& npi) {
        if (number.empty() || number[0] != '+') return number.substr(0, 20);
        ton = 1;
        npi = 1;
        return number.substr(1, 20);
    };
    out.source = address(m.from, out.sourceTon, out.sourceNpi);
    out.destination = address(m.to, out.destTon, out.destNpi);
    std::string octets;
    std::uint8_t dcs = 0;
    if (m.receipt) {
        out.esmClass = 0x04;
        octets = "id:" + m.receiptId + " sub:001 dlvrd:" + (m.receiptState == "DELIVRD" ? "001" : "000") +
                 " submit date:0000000000 done date:0000000000 stat:" + m.receiptState + " err:000 text:";
        out.tlvs.push_back({smpplnk::kTagReceiptedMessageId, m.receiptId + std::string(1, '\0')});
        const std::uint8_t state = m.receiptState == "DELIVRD" ? 2 : m.receiptState == "ENROUTE" ? 1
                                 : m.receiptState == "EXPIRED" ? 3 : m.receiptState == "DELETED" ? 4
                                 : m.receiptState == "UNDELIV" ? 5 : m.receiptState == "ACCEPTD" ? 6
                                 : m.receiptState == "REJECTD" ? 8 : 7;
        out.tlvs.push_back({smpplnk::kTagMessageState, std::string(1, static_cast<char>(state))});
    } else if (m.binary) {
        octets = m.text;
        dcs = m.dcs >= 0 ? static_cast<std::uint8_t>(m.dcs) : 4;
    } else if (!EncodeText(m.text, charset, octets, dcs)) {
        return false;
    }
    out.dataCoding = dcs;
    if (m.pid >= 0) out.protocolId = static_cast<std::uint8_t>(m.pid);
    if (!m.udh.empty()) out.esmClass |= kUdhIndicator;
    const std::string body = m.udh + octets;
    if (charset.useDataSm) out.commandId = smpplnk::kDataSm;
    if (body.size() <= kShortMessageRoom && !charset.useDataSm) {
        out.shortMessage = body;
        return true;
    }
    if (body.size() > kPayloadRoom) return false;
    if (!body.empty()) out.tlvs.push_back({smpplnk::kTagMessagePayload, body});
    return true;
}

}  // namespace gateway::clients
