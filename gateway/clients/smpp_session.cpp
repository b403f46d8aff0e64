#include "gateway/clients/smpp_session.h"

#include <algorithm>

#include "smpplnk/smpp_server_pdu.h"

namespace gateway::clients {

namespace {

using namespace smpplnk;

constexpr std::uint32_t kStatusInvalidCommandId = 0x03;
constexpr const char* kSystemId = "QuvSMS";

std::uint32_t StatusOf(const SubmitResult& r) {
    switch (r.refusal) {
        case Refusal::None: return kStatusOk;
        case Refusal::InvalidRecipient: return kStatusInvalidDestination;
        case Refusal::InvalidSender: return kStatusInvalidSource;
        case Refusal::TooLong: return kStatusInvalidMessageLength;
        case Refusal::Quota: return kStatusThrottled;
        case Refusal::QueueError: return kStatusSystemError;
        case Refusal::NoCredit:
        case Refusal::AddressNotAllowed:
        case Refusal::Invalid: return kStatusSubmitFailed;
    }
    return kStatusSystemError;
}

bool IsBind(std::uint32_t id) { return id == kBindReceiver || id == kBindTransmitter || id == kBindTransceiver; }

}  // namespace

SmppSession::SmppSession(SmppSessionHost& host, std::string peer, std::uint64_t id)
    : host_(host), peer_(std::move(peer)), id_(id) {}

void SmppSession::Received(std::string_view bytes) {
    if (closing_) return;
    input_.append(bytes.data(), bytes.size());
    std::size_t at = 0;
    while (!closing_ && input_.size() - at >= kHeaderSize) {
        const Header h = DecodeHeader(reinterpret_cast<const unsigned char*>(input_.data() + at));
        if (h.length < kHeaderSize || h.length > kMaxClientPdu) {
            // The stream cannot be followed past a length we will not read.
            Nack(kStatusInvalidCommandLength, h.sequence);
            closing_ = true;
            break;
        }
        if (input_.size() - at < h.length) break;
        Handle(input_.substr(at, h.length));
        at += h.length;
    }
    input_.erase(0, at);
    if (closing_) input_.clear();
}

void SmppSession::Handle(const std::string& pdu) {
    const Header h = DecodeHeader(reinterpret_cast<const unsigned char*>(pdu.data()));
    std::string answer;
    if (h.id & kResponseBit) {
        HandleResponse(h);
        return;
    }
    if (IsBind(h.id)) {
        HandleBind(h, pdu);
    } else if (h.id == kSubmitSm || h.id == kDataSm) {
        HandleMessage(h, pdu);
    } else if (h.id == kEnquireLink) {
        if (EncodeHeaderOnly(kEnquireLink | kResponseBit, kStatusOk, h.sequence, answer) == 0) Send(answer);
    } else if (h.id == kUnbind) {
        if (EncodeHeaderOnly(kUnbind | kResponseBit, kStatusOk, h.sequence, answer) == 0) Send(answer);
        closing_ = true;
    } else {
        Nack(kStatusInvalidCommandId, h.sequence);
    }
}

void SmppSession::HandleBind(const Header& h, const std::string& pdu) {
    std::string answer;
    BindRequest bind;
    std::uint32_t status = kStatusOk;
    if (Bound()) {
        status = kStatusAlreadyBound;
    } else if (DecodeBindRequest(pdu, bind) != 0) {
        status = kStatusBindFailed;
    } else {
        status = host_.CheckBind(*this, bind, user_, charset_, window_);
    }
    if (status == kStatusOk) {
        kind_ = bind.commandId == kBindReceiver      ? BindKind::Receiver
                : bind.commandId == kBindTransmitter ? BindKind::Transmitter
                                                     : BindKind::Transceiver;
        if (window_ == 0) window_ = 1;
    }
    if (EncodeBindResponse(h.id, status, h.sequence, kSystemId, answer) == 0) Send(answer);
    // A refused bind ends the connection: nothing else may be asked on it, and a
    // guesser has to pay a new connection per attempt.
    if (status != kStatusOk && !Bound()) closing_ = true;
}

void SmppSession::HandleMessage(const Header& h, const std::string& pdu) {
    std::string answer;
    SubmitResult result;
    std::uint32_t status = kStatusOk;
    MessageRequest request;
    ClientMessage message;
    if (kind_ != BindKind::Transmitter && kind_ != BindKind::Transceiver) {
        status = kStatusIncorrectBindStatus;
    } else if (DecodeMessageRequest(pdu, request) != 0) {
        status = kStatusInvalidMessageLength;
    } else if ((status = MessageFromPdu(request, charset_, message)) == kStatusOk) {
        message.clientAddress = peer_;
        message.via = "SMPP";
        result = host_.SubmitMessage(*this, message);
        status = StatusOf(result);
    }
    if (status == kStatusOk && host_.GroupsAnswers()) {
        held_.push_back({"", h.id, h.sequence, result.requestId});
        return;
    }
    if (EncodeMessageResponse(h.id, status, h.sequence, status == kStatusOk ? result.requestId : "", answer) == 0)
        Send(answer);
}

void SmppSession::ReleaseAnswers(const std::vector<std::string>& failed) {
    std::vector<Held> held;
    held.swap(held_);
    for (const Held& x : held) {
        if (!x.pdu.empty()) {
            output_ += x.pdu;
            continue;
        }
        const bool lost = std::find(failed.begin(), failed.end(), x.requestId) != failed.end();
        std::string answer;
        if (EncodeMessageResponse(x.commandId, lost ? kStatusSystemError : kStatusOk, x.sequence,
                                  lost ? "" : x.requestId, answer) == 0)
            output_ += answer;
    }
}

void SmppSession::HandleResponse(const Header& h) {
    if (h.id == (kDeliverSm | kResponseBit) || h.id == (kDataSm | kResponseBit) ||
        (h.id == kGenericNack && deliveries_.count(h.sequence))) {
        auto it = deliveries_.find(h.sequence);
        if (it == deliveries_.end()) return;
        const std::string key = it->second;
        deliveries_.erase(it);
        host_.DeliveryAnswered(*this, key, h.id == kGenericNack && h.status == 0 ? kStatusSystemError : h.status);
    } else if (h.id == (kUnbind | kResponseBit)) {
        closing_ = true;
    }
    // enquire_link_resp and anything unasked for need no answer: never answer a response.
}

bool SmppSession::CanDeliver() const { return Receives() && !closing_ && deliveries_.size() < window_; }

bool SmppSession::Delivering(const std::string& deliveryKey) const {
    for (const auto& [sequence, key] : deliveries_)
        if (key == deliveryKey) return true;
    return false;
}

bool SmppSession::Deliver(const DeliveryText& message, const std::string& deliveryKey) {
    MessageRequest request;
    std::string pdu;
    if (!PduForDelivery(message, charset_, request)) return false;
    const std::uint32_t sequence = NextSequence();
    if (EncodeMessage(request, sequence, pdu) != 0) return false;
    deliveries_[sequence] = deliveryKey;
    Send(pdu);
    return true;
}

void SmppSession::EnquireLink() {
    std::string pdu;
    if (!closing_ && EncodeHeaderOnly(kEnquireLink, kStatusOk, NextSequence(), pdu) == 0) Send(pdu);
}

void SmppSession::Unbind() {
    std::string pdu;
    if (!closing_ && Bound() && EncodeHeaderOnly(kUnbind, kStatusOk, NextSequence(), pdu) == 0) Send(pdu);
    closing_ = true;
}

std::vector<std::string> SmppSession::UnansweredDeliveries() const {
    std::vector<std::string> keys;
    for (const auto& [sequence, key] : deliveries_) keys.push_back(key);
    return keys;
}

void SmppSession::Send(const std::string& pdu) {
    // Nothing overtakes an answer that waits for its message to be on disk.
    if (!held_.empty()) {
        Held later;
        later.pdu = pdu;
        held_.push_back(std::move(later));
    } else {
        output_ += pdu;
    }
}

void SmppSession::Nack(std::uint32_t status, std::uint32_t sequence) {
    std::string pdu;
    if (EncodeHeaderOnly(kGenericNack, status, sequence, pdu) == 0) Send(pdu);
}

std::uint32_t SmppSession::NextSequence() {
    sequence_ = sequence_ >= 0x7FFFFFFFu ? 1 : sequence_ + 1;
    return sequence_;
}

}  // namespace gateway::clients
