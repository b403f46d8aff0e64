// A modem session: messages out part by part, messages and status reports in.
#include <cstdlib>

#include "gateway/links/modem_link.h"
#include "gateway/logs.h"
#include "gateway/message_parts.h"
#include "gateway/sms_pdu.h"
#include "platform/event_loop.h"
#include "platform/io_wait.h"

namespace gateway {

namespace {

// +CMS ERROR codes that refuse the message itself (number, content, barring); the rest
// (network out of order, congestion, the modem's own trouble) may pass on a later try.
bool PermanentCmsError(int code) {
    switch (code) {
        case 1:
        case 8:
        case 10:
        case 21:
        case 27:
        case 28:
        case 29:
        case 30:
        case 50:
        case 69:
        case 81:
        case 95:
        case 96:
        case 97:
        case 98:
        case 99:
        case 111:
        case 127:
        case 304:
        case 305:
        case 325:
            return true;
        default:
            return code >= 128 && code <= 255;  // the message's own fields
    }
}

// Text a modem in text mode takes as it is: printable ASCII and line breaks (Ctrl-Z or
// ESC would end the message early, other bytes depend on the modem's character set).
bool PlainText(const std::string& text) {
    for (char ch : text)
        if ((ch < 0x20 || ch > 0x7E) && ch != '\r' && ch != '\n') return false;
    return true;
}

// "+CMGS: 17" -> "17"; "" when missing.
std::string MessageReference(const std::vector<std::string>& lines) {
    for (const std::string& l : lines)
        if (l.rfind("+CMGS:", 0) == 0) return std::to_string(std::atoi(l.c_str() + 6));
    return {};
}

// "+CMTI: \"SM\",3" -> 3; -1 when unreadable.
int StorageIndex(const std::string& line) {
    const std::size_t comma = line.rfind(',');
    if (comma == std::string::npos) return -1;
    const int index = std::atoi(line.c_str() + comma + 1);
    return index >= 0 ? index : -1;
}

}  // namespace

std::string ModemLink::Session() {
    platform::EventLoop loop;
    bool readable = false;
    loop.Watch(port_.Descriptor(), platform::kReadable, [&readable](unsigned) { readable = true; });
    loop.Watch(WakeFd(), platform::kReadable, [](unsigned) {});
    const std::string lost = "Modem not answering";
    while (!Stopping() && !Lent()) {
        std::vector<OutboundMessage> inbox = TakeInbox();
        for (std::size_t i = 0; i < inbox.size(); ++i) {
            if (Stopping() || !SendMessage(inbox[i])) {
                // Those not tried yet, and any that came meanwhile, are answered too.
                std::vector<OutboundMessage> left(
                    inbox.begin() + static_cast<std::ptrdiff_t>(i) + 1, inbox.end());
                for (OutboundMessage& m : TakeInbox()) left.push_back(std::move(m));
                Unsent(left, "Connection down");
                return Stopping() ? std::string() : lost;
            }
        }
        const std::uint64_t now = platform::SteadyMillis();
        if (now >= nextSweepMs_) {
            nextSweepMs_ = now + timings_.sweepMs;
            if (!Sweep()) return lost;
        }
        if (!HandleUnsolicited() || !StoreReady(now)) return lost;
        readable = false;
        loop.RunOnce(static_cast<int>(
            std::min<std::uint64_t>(nextSweepMs_ - std::min(nextSweepMs_, now), 1000)));
        if (readable && !at_->Poll(0)) return "Modem connection lost";
    }
    return {};
}

bool ModemLink::SendMessage(const OutboundMessage& m) {
    bool modemFailed = false;
    SendResult r = SendParts(m, modemFailed);
    r.token = m.token;
    if (modemFailed && Stopping()) {
        r.outcome = Outcome::NotSent;  // cut short by the service stopping: no attempt
        r.error = "Service stopping";
    }
    PostResult(std::move(r));
    return !modemFailed;
}

SendResult ModemLink::SendParts(const OutboundMessage& m, bool& modemFailed) {
    SendResult r;
    r.outcome = Outcome::Permanent;
    EncodedMessage encoded;
    if (!EncodeMessage(m.text, m.octets, m.udh, m.binary, true, ++reference_, encoded)) {
        r.error = "Message cannot be encoded (invalid UTF-8 or over 255 parts)";
        return r;
    }
    r.parts = static_cast<unsigned>(encoded.parts.size());
    std::vector<std::pair<std::string, std::string>> steps;  // command, body
    if (textMode_) {
        if (encoded.parts.size() > 1 || encoded.coding != Coding::Gsm7 || !m.udh.empty() ||
            !PlainText(m.text)) {
            r.error = "This modem refuses PDU mode: only short plain text can be sent through it";
            return r;
        }
        std::string number;
        for (char ch : m.recipient)
            if ((ch >= '0' && ch <= '9') || ch == '+') number += ch;
        steps.emplace_back("AT+CMGS=\"" + number + "\"", m.text);
    } else {
        pdu::SubmitOptions options;
        options.recipient = m.recipient;
        options.pid = m.pid;
        options.dcs = m.dcs;
        options.statusReport = m.receiptRequested;
        for (const pdu::SubmitPdu& p : pdu::EncodeSubmit(encoded, options))
            steps.emplace_back("AT+CMGS=" + std::to_string(p.tpduLength), p.hex);
        if (steps.empty()) {
            r.error = "Invalid recipient number";
            return r;
        }
    }
    for (const auto& [command, body] : steps) {
        modem::AtAnswer a = at_->Command(command, timings_.answerMs);
        if (a.status == modem::AtAnswer::Status::Prompt) a = at_->Body(body, timings_.sendMs);
        if (a.Ok()) {
            r.partIds.push_back(MessageReference(a.lines));
            continue;
        }
        r.partIds.clear();
        if (a.status == modem::AtAnswer::Status::Error) {
            r.outcome = PermanentCmsError(a.cmsError) ? Outcome::Permanent : Outcome::Temporary;
            r.error = "Modem error: " + a.error;
        } else {
            modemFailed = true;
            r.outcome = Outcome::Temporary;
            r.error = "Modem not answering";
        }
        return r;
    }
    r.outcome = Outcome::Sent;
    r.smscId = r.partIds.empty() ? std::string() : r.partIds.back();
    return r;
}

bool ModemLink::HandleUnsolicited() {
    for (const modem::Unsolicited& u : at_->TakeUnsolicited()) {
        if (u.line.rfind("+CMTI:", 0) == 0 || u.line.rfind("+CDSI:", 0) == 0) {
            const int index = StorageIndex(u.line);
            if (index >= 0 && !reassembly_.Holds(index) && !ReadStored(index)) return false;
        } else if (modem::CarriesPdu(u.line)) {
            if (!Received(u.pdu, -1)) return false;
        }
    }
    if (at_->Dropped() > 0 && ServiceLogs().DebugOn())
        ServiceLogs().Debug("SMSDEBUG.LOG",
                            Name() + ": over-long or surplus lines from the modem were dropped");
    return true;
}

// Everything in storage, in case an announcement was missed (or came while the service
// was stopped).
bool ModemLink::Sweep() {
    const modem::AtAnswer a =
        at_->Command(textMode_ ? "AT+CMGL=\"ALL\"" : "AT+CMGL=4", timings_.answerMs);
    if (a.status == modem::AtAnswer::Status::TimedOut || a.status == modem::AtAnswer::Status::Gone)
        return false;
    if (textMode_ || !a.Ok()) return true;
    for (std::size_t i = 0; i + 1 < a.lines.size(); ++i) {
        if (a.lines[i].rfind("+CMGL:", 0) != 0) continue;
        const int index = std::atoi(a.lines[i].c_str() + 6);
        if (!reassembly_.Holds(index) && !Received(a.lines[i + 1], index)) return false;
        ++i;
    }
    return true;
}

bool ModemLink::ReadStored(int index) {
    if (textMode_) return true;  // text-mode messages stay in the modem: only PDUs are read
    const modem::AtAnswer a = at_->Command("AT+CMGR=" + std::to_string(index), timings_.answerMs);
    if (a.status == modem::AtAnswer::Status::TimedOut || a.status == modem::AtAnswer::Status::Gone)
        return false;
    if (!a.Ok() || a.lines.size() < 2)
        return true;  // gone meanwhile, or text mode: the sweep tells
    return Received(a.lines[1], index);
}

bool ModemLink::Received(const std::string& hex, int index) {
    pdu::Decoded d;
    std::string error;
    if (!pdu::Decode(hex, d, error)) {
        // Kept it would come back with every sweep; the event keeps what was thrown away.
        ServiceLogs().Event(
            platform::EventLevel::Warning,
            Name() + ": an unreadable message was refused (" + error + "): " + hex.substr(0, 400));
        return index >= 0 ? Forget(index) : Acknowledge();
    }
    if (d.kind == pdu::Kind::Submit) return true;  // a copy of a message sent: not ours to touch
    if (d.kind == pdu::Kind::Deliver && !receive_) return true;
    InboundMessage m;
    if (d.kind == pdu::Kind::StatusReport) {
        m.isReceipt = true;
        m.sender = d.address;
        m.recipient = Settings().Key("PhoneNumber");
        m.receiptSmscId = std::to_string(d.messageReference);
        m.receiptState = pdu::ReceiptState(d.status);
        m.text = "id:" + m.receiptSmscId + " stat:" + m.receiptState;
    } else if (d.concat.total > 1) {
        reassembly_.Add({index, d}, platform::SteadyMillis());
        return (index >= 0 || Acknowledge()) && StoreReady(platform::SteadyMillis());
    } else {
        m = JoinParts({{index, d}}, Settings().Key("PhoneNumber"));
    }
    // Not stored: kept in the modem (or not acknowledged) so it comes again.
    if (!events_.Store(Name(), m)) return true;
    return index >= 0 ? Forget(index) : Acknowledge();
}

bool ModemLink::StoreReady(std::uint64_t nowMs) {
    for (Reassembly::Ready& r : reassembly_.Take(nowMs)) {
        std::vector<std::vector<Reassembly::Part>> messages;
        if (r.whole)
            messages.push_back(r.parts);
        else
            for (Reassembly::Part& p : r.parts) messages.push_back({p});
        for (const auto& parts : messages) {
            if (!events_.Store(Name(), JoinParts(parts, Settings().Key("PhoneNumber")))) continue;
            for (const Reassembly::Part& p : parts)
                if (p.index >= 0 && !Forget(p.index)) return false;
        }
    }
    return true;
}

bool ModemLink::Forget(int index) {
    const modem::AtAnswer a = at_->Command("AT+CMGD=" + std::to_string(index), timings_.answerMs);
    return a.status != modem::AtAnswer::Status::TimedOut &&
           a.status != modem::AtAnswer::Status::Gone;
}

bool ModemLink::Acknowledge() {
    if (!acknowledge_) return true;
    const modem::AtAnswer a = at_->Command("AT+CNMA", timings_.answerMs);
    return a.status != modem::AtAnswer::Status::TimedOut &&
           a.status != modem::AtAnswer::Status::Gone;
}

}  // namespace gateway
