#include "gateway/links/smpp_parts.h"

#include <algorithm>

#include "acctdb/acctdb.h"
#include "gateway/inbound.h"
#include "gateway/message_parts.h"
#include "gateway/request.h"
#include "platform/charsets.h"
#include "platform/text.h"

namespace gateway {

namespace {

int NumberKey(const ConnectionSettings& s, const char* key) {
    const std::string value = s.Key(key);
    return value.empty() ? -1 : static_cast<int>(ParseBounded(value, -1, 0, 255));
}

// Data coding of text in the connection's character set (dcs 0 when it is the default
// alphabet or configured "as default").
std::uint8_t CharsetCoding(const SmppOptions& o) {
    if (o.charset.empty() || o.charsetAsDefault) return 0;
    if (o.charset == "ia5") return 1;
    if (o.charset == "iso-8859-1") return 3;
    return 0;
}

std::string IconvName(const std::string& charset) {
    if (charset == "ia5") return "US-ASCII";
    if (charset == "roman8") return "HP-ROMAN8";
    return charset;
}

// Text of one GSM part in the connection's charset (the parts were cut by GSM rules).
std::string PartText(const std::string& septets, const SmppOptions& o) {
    if (o.charset.empty()) return septets;  // the SMSC's default alphabet, one septet per octet
    std::string out;
    if (!platform::ConvertCharset("UTF-8", IconvName(o.charset), acctdb::GSM7SeptetsToUTF8(septets), out))
        return septets;
    return out;
}

void Address(const std::string& text, int ton, int npi, std::string& out, std::uint8_t& outTon, std::uint8_t& outNpi) {
    out = text;
    if (text.empty()) {
        outTon = static_cast<std::uint8_t>(std::max(ton, 0));
        outNpi = static_cast<std::uint8_t>(std::max(npi, 0));
        return;
    }
    const bool international = !out.empty() && out[0] == '+';
    if (international) out.erase(0, 1);
    const bool numeric = !out.empty() && out.find_first_not_of("0123456789") == std::string::npos;
    outTon = static_cast<std::uint8_t>(ton >= 0 ? ton : international ? 1 : numeric ? 0 : 5);
    outNpi = static_cast<std::uint8_t>(npi >= 0 ? npi : numeric ? 1 : 0);
    if (!numeric && ton < 0) out = text;  // an alphanumeric sender keeps its "+"
}

std::string Number16(unsigned v) { return {static_cast<char>(v >> 8), static_cast<char>(v & 0xFF)}; }

}  // namespace

SmppOptions ReadSmppOptions(const ConnectionSettings& s) {
    SmppOptions o;
    o.version = s.Key("SMPPVersion") == "v3.3" ? 0x33 : 0x34;
    o.systemId = s.Key("UserName");
    o.password = s.Key("Password");
    o.systemType = s.Key("SystemType");
    o.addressRange = s.Key("AddressRange");
    o.bindTon = NumberKey(s, "BindTON");
    o.bindNpi = NumberKey(s, "BindNPI");
    o.sourceTon = NumberKey(s, "SourceTON");
    o.sourceNpi = NumberKey(s, "SourceNPI");
    o.destTon = NumberKey(s, "DestTON");
    o.destNpi = NumberKey(s, "DestNPI");
    o.senderAddress = s.Key("SenderAddress");
    o.senderOverride = s.Key("SenderAddressOverride").empty() || s.Yes("SenderAddressOverride");
    std::string charset = platform::ToLowerAscii(s.Key("SMSCCharset"));
    if (charset == "default") charset.clear();
    o.charset = charset;
    o.charsetAsDefault = s.Yes("SMSCCharsetDefault");
    o.gsmPack = s.Yes("GSMPack");
    o.useTlv = s.Yes("UseTLV");
    o.useDataSm = s.Yes("UseDataSM");
    o.useSsl = s.Yes("UseSSL");
    o.keepAliveSeconds = static_cast<unsigned>(ParseBounded(s.Key("KeepAlive"), 58, 0, 86'400));
    o.window = static_cast<unsigned>(ParseBounded(s.Key("WindowSize"), 1, 1, 1000));
    o.transmitters = static_cast<unsigned>(ParseBounded(s.Key("TransmitterCount"), 1, 0, 16));
    o.receivers = static_cast<unsigned>(ParseBounded(s.Key("ReceiverCount"), 1, 0, 16));
    o.transceiver = s.Yes("ReceiveSingleConnection");
    o.receive = s.Yes("Receive", true);
    if (o.transmitters == 0 && (o.transceiver || !o.receive || o.receivers == 0)) o.transmitters = 1;
    const auto ports = [](const std::string& text, unsigned& local, unsigned* remote) {
        const std::size_t colon = text.find(':');
        local = ParsePort(text.substr(0, colon));
        if (remote && colon != std::string::npos) *remote = ParsePort(text.substr(colon + 1));
    };
    ports(s.Key("SenderPort"), o.localPort, nullptr);
    ports(s.Key("ReceiverPort"), o.receiverLocalPort, &o.receiverPort);
    return o;
}

bool BuildSmppParts(const OutboundMessage& m, const SmppOptions& o, std::uint8_t reference,
                    std::vector<smpplnk::MessageRequest>& parts, std::string& error) {
    parts.clear();
    smpplnk::MessageRequest base;
    base.serviceType = m.serviceType.substr(0, 5);
    const std::string sender = (o.senderOverride && !m.sender.empty()) ? m.sender : o.senderAddress;
    Address(sender, o.sourceTon, o.sourceNpi, base.source, base.sourceTon, base.sourceNpi);
    Address(m.recipient, o.destTon, o.destNpi, base.destination, base.destTon, base.destNpi);
    if (base.destination.empty() || base.destination.size() > 20) {
        error = "Invalid recipient number: " + m.recipient;
        return false;
    }
    if (base.source.size() > 20) base.source.resize(20);
    base.registeredDelivery = m.receiptRequested ? 1 : 0;
    if (m.pid >= 0) base.protocolId = static_cast<std::uint8_t>(m.pid);
    if (o.useDataSm) base.commandId = smpplnk::kDataSm;
    EncodedMessage encoded;
    // data_sm carries the whole message in one parameter; sar parameters replace the header.
    const bool split = !o.useDataSm;
    if (!EncodeMessage(m.text, m.octets, m.udh, m.binary, split, reference, encoded)) {
        error = "Message text is not valid UTF-8 or too long";
        return false;
    }
    const std::size_t total = encoded.parts.size();
    for (std::size_t i = 0; i < total; ++i) {
        const MessagePart& p = encoded.parts[i];
        smpplnk::MessageRequest r = base;
        std::string payload;
        switch (encoded.coding) {
            case Coding::Gsm7:
                if (o.gsmPack) {
                    payload = acctdb::PackGSM7Septets(p.payload, p.udh.empty() ? 0 : FillBits(p.udh.size()));
                    r.dataCoding = 0;
                } else {
                    payload = PartText(p.payload, o);
                    r.dataCoding = CharsetCoding(o);
                }
                break;
            case Coding::Ucs2:
                payload = p.payload;
                r.dataCoding = 8;
                break;
            case Coding::Binary:
                payload = p.payload;
                r.dataCoding = static_cast<std::uint8_t>(m.dcs >= 0 ? m.dcs : 4);
                break;
        }
        if (m.dcs >= 0 && encoded.coding != Coding::Binary) r.dataCoding = static_cast<std::uint8_t>(m.dcs);
        std::string udh = p.udh;
        if (o.useTlv && total > 1) {
            // The concatenation travels as sar parameters; the request's own elements stay.
            udh = m.udh;
            r.tlvs.push_back({smpplnk::kTagSarMsgRefNum, Number16(reference)});
            r.tlvs.push_back({smpplnk::kTagSarTotalSegments, std::string(1, static_cast<char>(total))});
            r.tlvs.push_back({smpplnk::kTagSarSegmentSeqnum, std::string(1, static_cast<char>(i + 1))});
        }
        if (!udh.empty()) r.esmClass |= 0x40;
        if (o.useDataSm) {
            r.tlvs.push_back({smpplnk::kTagMessagePayload, udh + payload});
        } else {
            r.shortMessage = udh + payload;
            if (r.shortMessage.size() > 254) {
                error = "Message part too long for the SMSC";
                return false;
            }
        }
        parts.push_back(std::move(r));
    }
    return true;
}

InboundMessage ReadSmppDelivery(const smpplnk::MessageDelivery& d, const SmppOptions& o) {
    InboundMessage m;
    m.sender = (d.sourceTon == 1 && !d.source.empty() && d.source[0] != '+') ? "+" + d.source : d.source;
    m.recipient = (d.destTon == 1 && !d.destination.empty() && d.destination[0] != '+') ? "+" + d.destination : d.destination;
    m.dcs = d.dataCoding;
    m.pid = d.protocolId;
    std::string data = d.shortMessage;
    if (const std::string* payload = d.Find(smpplnk::kTagMessagePayload); payload && data.empty()) data = *payload;
    if ((d.esmClass & 0x40) && !data.empty()) {
        const std::size_t headerLength = 1 + static_cast<unsigned char>(data[0]);
        if (headerLength <= data.size()) {
            m.udh = data.substr(0, headerLength);
            data.erase(0, headerLength);
        }
    }
    const std::uint8_t coding = d.dataCoding;
    if (coding == 8) {
        m.text = acctdb::UCS2ToUTF8(data);
    } else if (coding == 0 && o.gsmPack) {
        m.text = acctdb::GSM7ToUTF8String(OctetsToHex(m.udh), OctetsToHex(data));
    } else if (coding == 0 && o.charset.empty()) {
        m.text = acctdb::GSM7SeptetsToUTF8(data);
    } else if (coding == 0 || coding == 1 || coding == 3) {
        const std::string from = coding == 3 ? "ISO-8859-1" : coding == 1 ? "US-ASCII" : IconvName(o.charset);
        if (!platform::ConvertCharset(from, "UTF-8", data, m.text)) m.text = data;
    } else {
        m.binary = true;
        m.octets = data;
    }
    // esm_class bits 2-5 = 0001: an SMSC delivery receipt.
    if ((d.esmClass & 0x3C) == 0x04) {
        m.isReceipt = true;
        const std::string text = m.binary ? m.octets : m.text;
        if (const std::string* id = d.Find(smpplnk::kTagReceiptedMessageId)) {
            m.receiptSmscId = std::string(id->c_str());
        } else {
            m.receiptSmscId = ReceiptField(text, "id");
        }
        m.receiptState = ReceiptField(text, "stat");
        if (m.receiptState.empty()) {
            if (const std::string* state = d.Find(smpplnk::kTagMessageState); state && !state->empty()) {
                static const char* kStates[] = {"SCHEDULED", "ENROUTE", "DELIVRD", "EXPIRED", "DELETED",
                                                "UNDELIV",   "ACCEPTD", "UNKNOWN", "REJECTD"};
                const unsigned v = static_cast<unsigned char>((*state)[0]);
                m.receiptState = v < 9 ? kStates[v] : "UNKNOWN";
            }
        }
    }
    return m;
}

}  // namespace gateway
