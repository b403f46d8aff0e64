#include "tools/modemsim/sms_side.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <sstream>

#include "gateway/message_parts.h"
#include "gateway/sms_pdu.h"

namespace modemsim {
namespace {

std::string Ok(const std::string& info = {}) {
    return (info.empty() ? std::string() : "\r\n" + info + "\r\n") + "\r\nOK\r\n";
}

std::string CmsError(int code) { return "\r\n+CMS ERROR: " + std::to_string(code) + "\r\n"; }

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

std::string Timestamp() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&now, &tm);
    char text[64];
    std::snprintf(text, sizeof text, "%02d%02d%02d%02d%02d%02d", tm.tm_year % 100, tm.tm_mon + 1,
                  tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return text;
}

}  // namespace

std::size_t SmsSide::Stored() const {
    std::size_t n = 0;
    for (const Slot& s : slots_) n += !s.pdu.empty();
    return n;
}

bool SmsSide::Command(const std::string& cmd, const std::string& original, std::string& answer) {
    const std::string used = std::to_string(Stored()) + "," + std::to_string(options_.capacity);
    if (cmd == "AT+CMGF=0")
        answer = options_.rejectPdu ? "\r\nERROR\r\n" : (pduMode_ = true, Ok());
    else if (cmd == "AT+CMGF=1")
        answer = (pduMode_ = false, Ok());
    else if (cmd == "AT+CMGF?")
        answer = Ok(std::string("+CMGF: ") + (pduMode_ ? "0" : "1"));
    else if (cmd == "AT+CPMS?")
        answer = Ok("+CPMS: \"SM\"," + used + ",\"SM\"," + used + ",\"SM\"," + used);
    else if (StartsWith(cmd, "AT+CPMS="))
        answer = Ok("+CPMS: " + used + "," + used + "," + used);
    else if (StartsWith(cmd, "AT+CNMI=")) {
        int mode = 0, mt = 0, bm = 0, ds = 0;
        std::sscanf(cmd.c_str() + 8, "%d,%d,%d,%d", &mode, &mt, &bm, &ds);
        newMessages_ = mt;
        newReports_ = ds;
        answer = Ok();
    } else if (StartsWith(cmd, "AT+CNMA") || StartsWith(cmd, "AT+CGSMS") ||
               StartsWith(cmd, "AT+CMEE") || StartsWith(cmd, "AT+CSCS"))
        answer = Ok();
    else if (StartsWith(cmd, "AT+CMGL"))
        answer = List(cmd.size() > 8 ? std::atoi(cmd.c_str() + 8) : 4);
    else if (StartsWith(cmd, "AT+CMGR="))
        answer = Read(static_cast<unsigned>(std::atoi(cmd.c_str() + 8)));
    else if (StartsWith(cmd, "AT+CMGD=")) {
        const unsigned index = static_cast<unsigned>(std::atoi(cmd.c_str() + 8));
        if (index >= 1 && index <= slots_.size()) slots_[index - 1] = Slot();
        if (log_) log_("DELETED " + std::to_string(index));
        answer = Ok();
    } else if (StartsWith(cmd, "AT+CMGS=")) {
        if (!pduMode_) {
            textRecipient_ = original.substr(8);
            std::erase(textRecipient_, '"');
        }
        answer = "\r\n> ";
    } else
        return false;
    return true;
}

std::string SmsSide::Body(const std::string& body, std::uint64_t& delayMs) {
    delayMs = options_.partMs;
    reference_ = (reference_ + 1) % 256;
    if (!pduMode_) {
        if (log_) log_("TEXT " + textRecipient_ + " " + body);
        return "\r\n+CMGS: " + std::to_string(reference_) + "\r\n" + Ok();
    }
    gateway::pdu::Decoded d;
    std::string error;
    if (log_) log_("PDU " + body);
    if (!gateway::pdu::Decode(body, d, error) || d.kind != gateway::pdu::Kind::Submit) {
        if (log_) log_("REFUSED " + error);
        return CmsError(304);
    }
    if (!options_.refuseNumber.empty() && d.address == options_.refuseNumber) return CmsError(21);
    std::string answer = "\r\n+CMGS: " + std::to_string(reference_) + "\r\n" + Ok();
    if (d.statusReportRequested)
        answer +=
            Arrived(gateway::pdu::EncodeStatusReport(reference_, d.address, 0, Timestamp()), true);
    return answer;
}

std::string SmsSide::Deliver(const std::string& sender, const std::string& text,
                             const std::string& order) {
    gateway::EncodedMessage m;
    if (!gateway::EncodeMessage(text, "", "", false, true, ++concatReference_, m)) return {};
    std::vector<std::size_t> sequence;
    std::stringstream in(order);
    for (std::string n; std::getline(in, n, ',');)
        if (const long k = std::atol(n.c_str());
            k >= 1 && static_cast<std::size_t>(k) <= m.parts.size())
            sequence.push_back(static_cast<std::size_t>(k - 1));
    if (sequence.empty())
        for (std::size_t i = 0; i < m.parts.size(); ++i) sequence.push_back(i);
    std::string out;
    for (std::size_t i : sequence)
        out +=
            Arrived(gateway::pdu::EncodeDeliver(sender, m.parts[i], m.coding, Timestamp()), false);
    return out;
}

// Stores or passes on what the network brought, as AT+CNMI asked.
std::string SmsSide::Arrived(const std::string& pdu, bool report) {
    const std::string length = std::to_string(pdu.size() / 2 - 1);
    if (report && newReports_ == 1) return "\r\n+CDS: " + length + "\r\n" + pdu + "\r\n";
    if (!report && newMessages_ == 2) return "\r\n+CMT: ," + length + "\r\n" + pdu + "\r\n";
    if (report && newReports_ == 0) return {};
    std::size_t index = 0;
    while (index < slots_.size() && !slots_[index].pdu.empty()) ++index;
    if (index >= options_.capacity) return {};  // storage full: the network keeps it
    if (index == slots_.size()) slots_.emplace_back();
    slots_[index] = Slot{pdu, false, report};
    if (log_) log_("STORED " + std::to_string(index + 1));
    if (!report && newMessages_ == 0) return {};
    return std::string("\r\n") + (report ? "+CDSI" : "+CMTI") + ": \"SM\"," +
           std::to_string(index + 1) + "\r\n";
}

std::string SmsSide::List(int stat) {
    if (!pduMode_) return Ok();
    std::string out;
    for (std::size_t i = 0; i < slots_.size(); ++i) {
        Slot& s = slots_[i];
        if (s.pdu.empty() || (stat == 0 && s.read) || (stat == 1 && !s.read) || stat == 2 ||
            stat == 3)
            continue;
        out += "\r\n+CMGL: " + std::to_string(i + 1) + "," + (s.read ? "1" : "0") + ",," +
               std::to_string(s.pdu.size() / 2 - 1) + "\r\n" + s.pdu;
        s.read = true;
    }
    return out + "\r\n" + Ok();
}

std::string SmsSide::Read(unsigned index) {
    if (index < 1 || index > slots_.size() || slots_[index - 1].pdu.empty()) return CmsError(321);
    Slot& s = slots_[index - 1];
    const std::string answer = "+CMGR: " + std::string(s.read ? "1" : "0") + ",," +
                               std::to_string(s.pdu.size() / 2 - 1) + "\r\n" + s.pdu;
    s.read = true;
    return Ok(answer);
}

}  // namespace modemsim
