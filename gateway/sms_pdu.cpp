#include "gateway/sms_pdu.h"

#include <algorithm>

#include "acctdb/acctdb.h"
#include "gateway/request.h"

namespace gateway::pdu {

namespace {

constexpr std::size_t kMaxPduOctets =
    200;  // address, header fields and 140 octets of user data fit
constexpr unsigned kMaxDigits = 20;

// Reads octets front to back; any read past the end fails and stays failed.
class Reader {
public:
    explicit Reader(const std::string& octets) : data_(octets) {}
    bool Ok() const { return ok_; }
    std::size_t Left() const { return data_.size() - pos_; }
    unsigned Octet() {
        if (!ok_ || pos_ >= data_.size()) return ok_ = false, 0;
        return static_cast<unsigned char>(data_[pos_++]);
    }
    std::string Take(std::size_t n) {
        if (!ok_ || n > Left()) return ok_ = false, std::string();
        std::string s = data_.substr(pos_, n);
        pos_ += n;
        return s;
    }

private:
    const std::string& data_;
    std::size_t pos_ = 0;
    bool ok_ = true;
};

std::string Semi(const std::string& digits) {
    std::string octets;
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        const unsigned low = static_cast<unsigned>(digits[i] - '0');
        const unsigned high =
            i + 1 < digits.size() ? static_cast<unsigned>(digits[i + 1] - '0') : 0xF;
        octets += static_cast<char>(high << 4 | low);
    }
    return octets;
}

// Length in digits, type of number and the swapped digits; "" for an unusable number.
std::string EncodeAddress(const std::string& number) {
    std::string digits;
    for (char c : number)
        if (c >= '0' && c <= '9') digits += c;
    if (digits.empty() || digits.size() > kMaxDigits) return {};
    const bool international = !number.empty() && number[0] == '+';
    return std::string(1, static_cast<char>(digits.size())) +
           static_cast<char>(international ? 0x91 : 0x81) + Semi(digits);
}

bool ReadAddress(Reader& in, std::string& address, std::string& error) {
    const unsigned length = in.Octet();
    const unsigned type = in.Octet();
    if (!in.Ok()) return error = "PDU ends inside an address", false;
    const bool alphanumeric = (type & 0x70) == 0x50;
    if (length > (alphanumeric ? 22u : kMaxDigits))
        return error = "Address longer than it may be", false;
    const std::string octets = in.Take((length + 1) / 2);
    if (!in.Ok()) return error = "PDU ends inside an address", false;
    address.clear();
    if (alphanumeric) {
        address = acctdb::GSM7SeptetsToUTF8(acctdb::UnpackGSM7Septets(octets, 0, length * 4 / 7));
        return true;
    }
    if ((type & 0x70) == 0x10) address = "+";
    static const char kDigits[] = "0123456789*#abc";
    for (unsigned i = 0; i < length; ++i) {
        const unsigned nibble =
            (static_cast<unsigned char>(octets[i / 2]) >> (i % 2 ? 4 : 0)) & 0xF;
        if (nibble == 0xF) break;
        address += kDigits[nibble];
    }
    return true;
}

std::string ReadTimestamp(Reader& in) {
    const std::string octets = in.Take(7);
    std::string text;
    for (std::size_t i = 0; in.Ok() && i < 6; ++i) {
        const auto o = static_cast<unsigned char>(octets[i]);
        text += static_cast<char>('0' + (o & 0xF) % 10);
        text += static_cast<char>('0' + (o >> 4) % 10);
    }
    return text;
}

std::string EncodeTimestamp(const std::string& stamp) {
    std::string digits = stamp.substr(0, 12);
    digits.resize(12, '0');
    return Semi(digits) + '\0';
}

// Relative validity: 5-minute steps to 12 hours, half hours to a day, days to 30, weeks.
unsigned ValidityOctet(int minutes) {
    if (minutes <= 720) return static_cast<unsigned>(std::max(minutes + 4, 5) / 5 - 1);
    if (minutes <= 1440) return static_cast<unsigned>(143 + (minutes - 720 + 29) / 30);
    if (minutes <= 30 * 1440) return static_cast<unsigned>(166 + (minutes + 1439) / 1440);
    return static_cast<unsigned>(std::min(192 + (minutes + 10079) / 10080, 255));
}

int SchemeOf(Coding coding) {
    return coding == Coding::Ucs2 ? 0x08 : coding == Coding::Binary ? 0x04 : 0x00;
}

// User data length and octets of a part in the given coding.
std::string UserData(const MessagePart& part, Coding coding) {
    if (coding == Coding::Gsm7) {
        const unsigned fill = FillBits(part.udh.size());
        const std::size_t headerSeptets = (part.udh.size() * 8 + fill) / 7;
        return std::string(1, static_cast<char>(headerSeptets + part.septets)) + part.udh +
               acctdb::PackGSM7Septets(part.payload, fill);
    }
    return std::string(1, static_cast<char>(part.udh.size() + part.payload.size())) + part.udh +
           part.payload;
}

void ReadConcat(const std::string& udh, Concat& concat) {
    for (std::size_t at = 1; at + 1 < udh.size();) {
        const auto iei = static_cast<unsigned char>(udh[at]);
        const std::size_t length = static_cast<unsigned char>(udh[at + 1]);
        if (at + 2 + length > udh.size()) return;  // an element that runs past the header
        const auto byte = [&](std::size_t i) {
            return static_cast<unsigned>(static_cast<unsigned char>(udh[at + 2 + i]));
        };
        Concat c;
        if (iei == 0x00 && length == 3) c = {byte(0), byte(1), byte(2)};
        if (iei == 0x08 && length == 4) c = {byte(0) << 8 | byte(1), byte(2), byte(3)};
        if (c.total > 0 && c.number > 0 && c.number <= c.total) concat = c;
        at += 2 + length;
    }
}

bool ReadUserData(Reader& in, bool hasHeader, Decoded& out, std::string& error) {
    const unsigned length = in.Octet();
    if (!in.Ok()) return error = "PDU ends before its user data", false;
    const bool septets = out.coding == Coding::Gsm7;
    if (length > (septets ? 160u : 140u)) return error = "User data length over the limit", false;
    const std::size_t octetCount = septets ? (length * 7 + 7) / 8 : length;
    if (octetCount > in.Left()) return error = "User data length points past the PDU", false;
    const std::string data = in.Take(octetCount);
    std::size_t headerOctets = 0;
    if (hasHeader && !data.empty()) {
        headerOctets = 1 + static_cast<unsigned char>(data[0]);
        if (headerOctets > data.size())
            return error = "User data header longer than the user data", false;
        out.udh = data.substr(0, headerOctets);
        ReadConcat(out.udh, out.concat);
    }
    out.octets = data.substr(headerOctets);
    if (septets) {
        const unsigned fill = FillBits(headerOctets);
        const std::size_t headerSeptets = headerOctets ? (headerOctets * 8 + fill) / 7 : 0;
        if (headerSeptets > length)
            return error = "User data header longer than the user data", false;
        out.text = acctdb::GSM7SeptetsToUTF8(
            acctdb::UnpackGSM7Septets(out.octets, fill, length - headerSeptets));
    } else if (out.coding == Coding::Ucs2) {
        out.text = acctdb::UCS2ToUTF8(out.octets);
    }
    return true;
}

}  // namespace

Coding CodingOfScheme(int dcs) {
    const unsigned d = static_cast<unsigned>(dcs) & 0xFF;
    if ((d & 0x80) == 0) {  // general data coding, with or without automatic deletion
        if (d & 0x20) return Coding::Binary;  // compressed
        const unsigned alphabet = (d >> 2) & 3;
        return alphabet == 0 ? Coding::Gsm7 : alphabet == 2 ? Coding::Ucs2 : Coding::Binary;
    }
    switch (d & 0xF0) {
        case 0xC0:
        case 0xD0:
            return Coding::Gsm7;  // message waiting indication
        case 0xE0:
            return Coding::Ucs2;
        case 0xF0:
            return (d & 0x04) ? Coding::Binary : Coding::Gsm7;
        default:
            return Coding::Binary;  // reserved groups
    }
}

std::string ReceiptState(int status) {
    if (status == 0) return "DELIVRD";
    if (status < 0x20) return "DELIVRD";  // forwarded or replaced: the handset has it
    if (status < 0x40) return "ENROUTE";
    if (status == 0x46 || status == 0x66) return "EXPIRED";
    if (status == 0x41 || status == 0x43 || status == 0x45) return "REJECTD";
    return "UNDELIV";
}

std::vector<SubmitPdu> EncodeSubmit(const EncodedMessage& message, const SubmitOptions& options) {
    std::vector<SubmitPdu> pdus;
    const std::string address = EncodeAddress(options.recipient);
    if (address.empty()) return pdus;
    for (const MessagePart& part : message.parts) {
        unsigned first = 0x01;
        if (options.validityMinutes >= 0) first |= 0x10;
        if (options.statusReport) first |= 0x20;
        if (!part.udh.empty()) first |= 0x40;
        std::string tpdu = std::string(1, static_cast<char>(first)) + '\0' + address;
        tpdu += static_cast<char>(options.pid >= 0 ? options.pid : 0);
        const int dcs = options.dcs >= 0 ? options.dcs : SchemeOf(message.coding);
        tpdu += static_cast<char>(dcs);
        if (options.validityMinutes >= 0)
            tpdu += static_cast<char>(ValidityOctet(options.validityMinutes));
        if (message.coding == Coding::Binary && CodingOfScheme(dcs) == Coding::Gsm7) {
            // Binary data the sender packed as septets: the length counts septets.
            tpdu += static_cast<char>((part.udh.size() + part.payload.size()) * 8 / 7);
            tpdu += part.udh + part.payload;
        } else {
            tpdu += UserData(part, message.coding);
        }
        pdus.push_back({"00" + OctetsToHex(tpdu), static_cast<unsigned>(tpdu.size())});
    }
    return pdus;
}

bool Decode(const std::string& hex, Decoded& out, std::string& error) {
    out = Decoded();
    std::string octets;
    if (hex.size() > kMaxPduOctets * 2) return error = "PDU too long", false;
    if (!HexToOctets(hex, octets)) return error = "PDU is not hexadecimal", false;
    Reader in(octets);
    const unsigned scaLength = in.Octet();
    in.Take(scaLength);
    const unsigned first = in.Octet();
    if (!in.Ok()) return error = "PDU ends inside its header", false;
    const bool hasHeader = (first & 0x40) != 0;
    switch (first & 0x03) {
        case 0x00:
            out.kind = Kind::Deliver;
            break;
        case 0x01:
            out.kind = Kind::Submit;
            break;
        case 0x02:
            out.kind = Kind::StatusReport;
            break;
        default:
            return error = "Unknown message type", false;
    }
    if (out.kind != Kind::Deliver) out.messageReference = static_cast<int>(in.Octet());
    if (!ReadAddress(in, out.address, error)) return false;
    if (out.kind == Kind::StatusReport) {
        out.timestamp = ReadTimestamp(in);
        ReadTimestamp(in);  // discharge time
        out.status = static_cast<int>(in.Octet());
        if (!in.Ok()) return error = "Status report ends early", false;
        return true;
    }
    out.pid = static_cast<int>(in.Octet());
    out.dcs = static_cast<int>(in.Octet());
    out.coding = CodingOfScheme(out.dcs);
    if (out.kind == Kind::Deliver) {
        out.timestamp = ReadTimestamp(in);
    } else {
        out.statusReportRequested = (first & 0x20) != 0;
        const unsigned vpf = first & 0x18;
        in.Take(vpf == 0x10 ? 1 : vpf == 0 ? 0 : 7);
    }
    if (!in.Ok()) return error = "PDU ends inside its header", false;
    return ReadUserData(in, hasHeader, out, error);
}

std::string EncodeDeliver(const std::string& originator, const MessagePart& part, Coding coding,
                          const std::string& timestamp) {
    const unsigned first = 0x04 | (part.udh.empty() ? 0 : 0x40);  // no more messages to send
    return "00" + OctetsToHex(std::string(1, static_cast<char>(first)) + EncodeAddress(originator) +
                              '\0' + static_cast<char>(SchemeOf(coding)) +
                              EncodeTimestamp(timestamp) + UserData(part, coding));
}

std::string EncodeStatusReport(int reference, const std::string& recipient, int status,
                               const std::string& timestamp) {
    return "00" + OctetsToHex(std::string("\x06") + static_cast<char>(reference) +
                              EncodeAddress(recipient) + EncodeTimestamp(timestamp) +
                              EncodeTimestamp(timestamp) + static_cast<char>(status));
}

}  // namespace gateway::pdu
