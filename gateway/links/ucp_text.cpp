#include "gateway/links/ucp_text.h"

#include <cstdio>

#include "acctdb/acctdb.h"
#include "gateway/links/ucp_cimd_common.h"
#include "gateway/message_parts.h"

namespace gateway {
namespace {

// A recipient as UCP addresses it: digits only, an international "+" written as "00".
bool UcpNumber(const std::string& number, std::string& digits) {
    if (!IsNumericAddress(number)) return false;
    digits = number[0] == '+' ? "00" + number.substr(1) : number;
    return true;
}

// OAdC and OTOA for `sender`: digits as they are, "+" as international, anything else
// alphanumeric (packed GSM septets).
void Originator(const std::string& sender, std::string& oadc, std::string& otoa) {
    if (sender.empty()) return;
    if (IsNumericAddress(sender)) {
        if (sender[0] == '+') {
            oadc = sender.substr(1);
            otoa = "1139";
        } else {
            oadc = sender;
        }
        return;
    }
    std::string septets;
    if (!acctdb::UTF8ToGSM7Septets(sender, septets)) septets = "?";
    oadc = ucp::EncodeAlphanumericAddress(septets);
    otoa = ucp::kAlphanumericOtoa;
}

}  // namespace

bool Utf8ToLatin1(const std::string& utf8, std::string& latin1) {
    std::string ucs2;
    if (!acctdb::UTF8ToUCS2(utf8, ucs2)) return false;
    latin1.clear();
    for (std::size_t i = 0; i + 1 < ucs2.size(); i += 2) {
        if (ucs2[i] != '\0') return false;
        latin1 += ucs2[i + 1];
    }
    return true;
}

std::string Latin1ToUtf8(const std::string& latin1) {
    std::string ucs2;
    for (char c : latin1) {
        ucs2 += '\0';
        ucs2 += c;
    }
    return acctdb::UCS2ToUTF8(ucs2);
}

bool BuildUcpSubmits(const OutboundMessage& m, const std::string& sender, unsigned char reference,
                     std::vector<std::vector<std::string>>& submits, std::string& error) {
    std::string adc;
    if (!UcpNumber(m.recipient, adc)) {
        error = "Invalid recipient number: " + m.recipient.substr(0, 40);
        return false;
    }
    EncodedMessage encoded;
    int dcs = 0;
    if (!EncodeForSubmit(m, reference, encoded, dcs, error)) return false;
    // Alphanumeric text travels as IRA (ISO 8859-1) characters; the few GSM characters
    // without such a byte (Greek capitals, the euro sign) make the message go as UCS-2.
    std::string latin1;
    if (encoded.coding == Coding::Gsm7 && !Utf8ToLatin1(m.text, latin1)) {
        std::string ucs2;
        acctdb::UTF8ToUCS2(m.text, ucs2);
        if (!EncodeMessage("", ucs2, m.udh, true, true, reference, encoded)) {
            error = "The message is too long";
            return false;
        }
        dcs = 0x08;
    }
    std::string oadc, otoa;
    Originator(sender, oadc, otoa);
    submits.clear();
    for (const MessagePart& part : encoded.parts) {
        std::vector<std::string> f(ucp::field::Count);
        f[ucp::field::AdC] = adc;
        f[ucp::field::OAdC] = oadc;
        f[ucp::field::OTOA] = otoa;
        if (m.receiptRequested) {
            // Delivered and not delivered, back on this session as a PC application.
            f[ucp::field::NRq] = "1";
            f[ucp::field::NT] = "3";
            f[ucp::field::NPID] = "0539";
        }
        std::vector<ucp::XSerItem> xser;
        if (!part.udh.empty()) xser.push_back({ucp::kXSerUdh, part.udh});
        if (encoded.coding == Coding::Gsm7) {
            Utf8ToLatin1(acctdb::GSM7SeptetsToUTF8(part.payload), latin1);
            f[ucp::field::MT] = "3";
            f[ucp::field::Msg] = ucp::IraHex(latin1);
        } else {
            f[ucp::field::MT] = "4";
            f[ucp::field::NB] = std::to_string(part.payload.size() * 8);
            f[ucp::field::Msg] = ucp::IraHex(part.payload);
            xser.push_back({ucp::kXSerDcs, std::string(1, static_cast<char>(dcs))});
        }
        if (m.pid >= 0 && m.pid < 256) {
            char rpid[8];
            std::snprintf(rpid, sizeof rpid, "%04d", m.pid);  // RPID: the PID in decimal
            f[13] = rpid;
        }
        f[ucp::field::XSer] = ucp::BuildXSer(xser);
        submits.push_back(std::move(f));
    }
    return true;
}

bool ReadUcpDelivery(const ucp::Frame& frame, InboundMessage& m) {
    using ucp::FieldAt;
    namespace fld = ucp::field;
    m = InboundMessage();
    m.recipient = FieldAt(frame, fld::AdC);
    const std::string& oadc = FieldAt(frame, fld::OAdC);
    std::string septets;
    if (FieldAt(frame, fld::OTOA) == ucp::kAlphanumericOtoa &&
        ucp::DecodeAlphanumericAddress(oadc, &septets))
        m.sender = acctdb::GSM7SeptetsToUTF8(septets);
    else
        m.sender = oadc;
    std::vector<ucp::XSerItem> xser;
    ucp::ParseXSer(FieldAt(frame, fld::XSer), &xser);
    for (const ucp::XSerItem& item : xser) {
        if (item.type == ucp::kXSerUdh) m.udh = item.value;
        if (item.type == ucp::kXSerDcs && !item.value.empty())
            m.dcs = static_cast<unsigned char>(item.value[0]);
    }
    const std::string& mt = FieldAt(frame, fld::MT);
    const std::string& msg = FieldAt(frame, fld::Msg);
    std::string bytes;
    if (mt == "2") {
        m.text = msg;
    } else if (mt == "3") {
        if (!ucp::FromIraHex(msg, &bytes)) return false;
        m.text = Latin1ToUtf8(bytes);
    } else if (mt == "4") {
        if (!ucp::FromIraHex(msg, &bytes)) return false;
        // A UDH may also lead the data itself when XSer does not carry it.
        if ((m.dcs >= 0 && (m.dcs & 0xEC) == 0x08)) {
            m.text = acctdb::UCS2ToUTF8(bytes);
        } else {
            m.binary = true;
            m.octets = bytes;
        }
    } else if (frame.ot != 53 || !mt.empty()) {
        return false;
    }
    if (frame.ot == 53) {
        m.isReceipt = true;
        m.receiptSmscId = FieldAt(frame, fld::AdC) + ":" + FieldAt(frame, fld::SCTS);
        const std::string& dst = FieldAt(frame, fld::Dst);
        m.receiptState = dst == "0" ? "DELIVRD" : dst == "1" ? "ENROUTE" : "UNDELIV";
        m.sender = FieldAt(frame, fld::AdC);
        m.recipient = oadc;
    }
    return true;
}

}  // namespace gateway
