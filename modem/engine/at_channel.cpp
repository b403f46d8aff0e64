#include "modem/engine/at_channel.h"

#include <cstdlib>

#include "platform/io_wait.h"

namespace modem {
namespace {

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

constexpr const char* kUnsolicited[] = {
    "+CMTI:", "+CMT:",   "+CDSI:", "+CDS:",  "+CBM:",      "RING",
    "+CREG:", "+CGREG:", "+CUSD:", "+CLIP:", "NO CARRIER", "^"};

}  // namespace

bool CarriesPdu(const std::string& line) {
    return StartsWith(line, "+CMT:") || StartsWith(line, "+CDS:");
}

bool AtChannel::IsUnsolicited(const std::string& line) const {
    for (const char* prefix : kUnsolicited)
        if (StartsWith(line, prefix)) return true;
    return false;
}

void AtChannel::SetAside(const std::string& line) {
    if (pduFollows_) {
        pduFollows_ = false;
        if (!unsolicited_.empty()) unsolicited_.back().pdu = line;
        return;
    }
    if (unsolicited_.size() >= kMaxUnsolicited) {
        unsolicited_.erase(unsolicited_.begin());
        ++dropped_;
    }
    unsolicited_.push_back({line, {}});
    pduFollows_ = CarriesPdu(line);
}

bool AtChannel::Fill(std::uint64_t waitMs) {
    char buffer[4096];
    const long n = ReadRequest(port_, buffer, sizeof buffer, waitMs);
    if (n < 0) return false;
    for (long i = 0; i < n; ++i) {
        const char c = buffer[i];
        if (c == '\r' || c == '\n') {
            if (!partial_.empty()) lines_.push_back(std::move(partial_));
            partial_.clear();
            continue;
        }
        if (partial_.size() >= kMaxLine) {
            if (partial_.size() == kMaxLine) ++dropped_;
            partial_.resize(kMaxLine + 1);  // marks the line as cut; the rest is dropped
            continue;
        }
        partial_ += c;
        if (partial_ == "> ") {  // a prompt has no line end
            prompt_ = true;
            partial_.clear();
        }
    }
    if (partial_.size() > kMaxLine) partial_.resize(kMaxLine);
    // Everything that is not part of an answer goes aside at once, so a flood of results
    // never piles up between commands.
    while (lines_.size() > 64) {
        SetAside(lines_.front());
        lines_.pop_front();
        ++dropped_;
    }
    return true;
}

bool AtChannel::NextLine(std::string& line) {
    if (lines_.empty()) return false;
    line = std::move(lines_.front());
    lines_.pop_front();
    return true;
}

AtAnswer AtChannel::Await(std::uint64_t timeoutMs) {
    AtAnswer answer;
    const std::uint64_t end = platform::SteadyMillis() + timeoutMs;
    for (;;) {
        std::string line;
        while (NextLine(line)) {
            if (pduFollows_ || IsUnsolicited(line)) {
                SetAside(line);
            } else if (line == "OK") {
                answer.status = AtAnswer::Status::Ok;
                return answer;
            } else if (line == "ERROR" || StartsWith(line, "+CMS ERROR:") ||
                       StartsWith(line, "+CME ERROR:")) {
                answer.status = AtAnswer::Status::Error;
                answer.error = line;
                if (StartsWith(line, "+CMS ERROR:")) answer.cmsError = std::atoi(line.c_str() + 11);
                return answer;
            } else if (answer.lines.size() < 512) {
                answer.lines.push_back(std::move(line));
            }
        }
        if (prompt_) {
            prompt_ = false;
            answer.status = AtAnswer::Status::Prompt;
            return answer;
        }
        const std::uint64_t now = platform::SteadyMillis();
        if (now >= end) return answer;
        if (!Fill(end - now)) {
            answer.status = AtAnswer::Status::Gone;
            return answer;
        }
    }
}

AtAnswer AtChannel::Exchange(const std::string& text, std::uint64_t timeoutMs) {
    prompt_ = false;
    if (!PortWriteText(port_, text)) {
        AtAnswer gone;
        gone.status = AtAnswer::Status::Gone;
        return gone;
    }
    return Await(timeoutMs);
}

AtAnswer AtChannel::Command(const std::string& command, std::uint64_t timeoutMs) {
    return Exchange(command + "\r", timeoutMs);
}

AtAnswer AtChannel::Body(const std::string& body, std::uint64_t timeoutMs) {
    return Exchange(body + "\x1A", timeoutMs);
}

bool AtChannel::Poll(std::uint64_t waitMs) {
    if (lines_.empty() && !Fill(waitMs)) return false;
    std::string line;
    while (NextLine(line)) SetAside(line);  // between commands every line is unasked
    return true;
}

std::vector<Unsolicited> AtChannel::TakeUnsolicited() {
    // Lines that came after the last answer's final result are unasked too.
    std::string line;
    while (NextLine(line)) SetAside(line);
    std::vector<Unsolicited> taken;
    // A +CMT whose PDU line has not arrived yet stays for the next take.
    if (pduFollows_ && !unsolicited_.empty()) {
        Unsolicited waiting = unsolicited_.back();
        unsolicited_.pop_back();
        taken.swap(unsolicited_);
        unsolicited_.push_back(std::move(waiting));
        return taken;
    }
    taken.swap(unsolicited_);
    return taken;
}

}  // namespace modem
