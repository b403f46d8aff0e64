#include "tools/modemsim/modem_engine.h"

#include <algorithm>
#include <cctype>

namespace modemsim {
namespace {

constexpr std::size_t kFloodBytes = 10 * 1024 * 1024;

std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string Ok(const std::string& info = {}) {
    return (info.empty() ? std::string() : "\r\n" + info + "\r\n") + "\r\nOK\r\n";
}

const std::string kError = "\r\nERROR\r\n";

bool StartsWith(const std::string& text, const std::string& prefix) {
    return !prefix.empty() && text.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

bool Engine::SpeedOk(unsigned speed) const {
    return std::find(options_.speeds.begin(), options_.speeds.end(), speed) !=
           options_.speeds.end();
}

void Engine::Detached() {
    if (options_.stuck && !reset_) deaf_ = true;
    line_.clear();
    inBody_ = false;
}

std::string Engine::Feed(const std::string& bytes, unsigned lineSpeed, std::uint64_t nowMs) {
    now_ = nowMs;
    Due(nowMs);
    if (silent_ || !SpeedOk(lineSpeed)) return {};  // wrong speed: only noise
    std::string out;
    for (char c : bytes) {
        if (inBody_) {
            if (c == 0x1B) inBody_ = false;  // message abandoned, no answer
            if (c == 0x1A) {
                inBody_ = false;
                std::uint64_t delay = 0;
                std::string answer = sms_.Body(body_, delay);
                body_.clear();
                if (++bodies_ == options_.hangOnPart) {
                    // Falls silent mid-send: this part is never answered.
                    silent_ = true;
                    silentUntil_ = options_.hangMs ? nowMs + options_.hangMs : 0;
                    if (log_) log_("HANG");
                    return out;
                }
                if (delay == 0) out += answer;
                else delayed_.emplace_back(nowMs + delay, std::move(answer));
            } else if (c != '\r' && c != '\n' && body_.size() < 4096) {
                body_ += c;
            }
            continue;
        }
        if (echo_ && !deaf_) out += c;
        if (c == '\n') continue;
        if (c != '\r') {
            line_ += c;
            if (line_.size() > 4096) line_.erase(0, line_.size() - 4096);
            continue;
        }
        std::string line;
        line.swap(line_);
        const std::size_t escape = line.find("+++");
        if (escape != std::string::npos) {
            deaf_ = false;  // escape to command mode
            line.erase(0, escape + 3);
        }
        if (deaf_ || line.empty()) continue;
        if (log_) log_(line);
        out += Command(line);
        if (vanish_) break;
    }
    return out;
}

std::string Engine::Due(std::uint64_t nowMs) {
    if (silent_ && silentUntil_ != 0 && nowMs >= silentUntil_) {
        silent_ = false;
        silentUntil_ = 0;
        if (log_) log_("ANSWERING");
    }
    std::string out;
    for (auto it = delayed_.begin(); it != delayed_.end();) {
        if (it->first > nowMs) {
            ++it;
            continue;
        }
        if (!silent_) out += it->second;
        it = delayed_.erase(it);
    }
    return out;
}

std::uint64_t Engine::NextDue() const {
    std::uint64_t next = silent_ && silentUntil_ ? silentUntil_ : UINT64_MAX;
    for (const auto& d : delayed_) next = std::min(next, d.first);
    return next;
}

std::string Engine::Control(const std::string& line, std::uint64_t nowMs) {
    std::string out = Due(nowMs);
    if (line == "silent") {
        silent_ = true;
        silentUntil_ = 0;
    } else if (line == "answer") {
        silent_ = false;
    } else if (line.rfind("deliver ", 0) == 0) {
        const std::size_t a = line.find(' ', 8);
        const std::size_t b = a == std::string::npos ? a : line.find(' ', a + 1);
        if (b == std::string::npos) return out;
        std::string text = line.substr(b + 1);
        for (std::size_t at; (at = text.find("\\n")) != std::string::npos;) text.replace(at, 2, "\n");
        const std::string order = line.substr(a + 1, b - a - 1);
        const std::string arrived = sms_.Deliver(line.substr(8, a - 8), text, order == "-" ? "" : order);
        if (!silent_) out += arrived;
    }
    return out;
}

std::string Engine::Command(const std::string& line) {
    const std::string cmd = Upper(line);
    if (StartsWith(cmd, Upper(options_.vanishOn))) {
        vanish_ = true;
        return {};
    }
    if (StartsWith(cmd, Upper(options_.floodOn))) return std::string(kFloodBytes, 'X');
    if (!StartsWith(cmd, "AT")) return {};
    if (cmd == "AT" || cmd == "ATH" || cmd == "ATH0" || cmd == "ATZ") return Ok();
    if (cmd == "ATE0V1" || cmd == "ATE0") {
        echo_ = false;
        return Ok();
    }
    if (cmd == "ATE1" || cmd == "ATE1V1") {
        echo_ = true;
        return Ok();
    }
    if (cmd == "ATI") return Ok("SIMULATED GSM MODEM");
    if (StartsWith(cmd, "AT+")) return Extended(cmd);
    return kError;
}

std::string Engine::Extended(const std::string& cmd) {
    if (cmd == "AT+CFUN?") return Ok("+CFUN: " + std::to_string(functionality_));
    if (cmd == "AT+CFUN=?") return Ok("+CFUN: (0,1,4),(0,1)");
    if (cmd == "AT+CFUN=1,1") {
        reset_ = true;
        deaf_ = false;
        echo_ = true;
        functionality_ = 1;
        pinEntered_ = false;
        copsPolls_ = 0;
        return Ok();
    }
    if (StartsWith(cmd, "AT+CFUN=")) {
        functionality_ = std::atoi(cmd.c_str() + 8);
        return Ok();
    }
    const bool locked = !options_.pin.empty() && !pinEntered_;
    if (cmd == "AT+CPIN?") return Ok(locked ? "+CPIN: SIM PIN" : "+CPIN: READY");
    if (StartsWith(cmd, "AT+CPIN=")) {
        std::string given = cmd.substr(8);
        given.erase(std::remove(given.begin(), given.end(), '"'), given.end());
        if (options_.rejectPin || given != options_.pin) return "\r\n+CME ERROR: 16\r\n";
        pinEntered_ = true;
        return Ok();
    }
    if (cmd == "AT+COPS?") {
        if (functionality_ != 1 || locked || copsPolls_++ < options_.registerAfter)
            return Ok("+COPS: 0");
        return Ok("+COPS: 0,0,\"SIMNET\"");
    }
    if (cmd == "AT+CPMS?" && (locked || functionality_ != 1)) return "\r\n+CMS ERROR: 310\r\n";
    if (StartsWith(cmd, "AT+CSMS")) {
        if (options_.rejectCsms) return kError;
        return Ok(cmd == "AT+CSMS?" ? "+CSMS: 0,1,1,1" : "+CSMS: 1,1,1");
    }
    if (StartsWith(cmd, "AT+CMGS=")) {
        if (locked) return "\r\n+CMS ERROR: 311\r\n";
        if (options_.cmgs == "error") return kError;
        if (options_.cmgs == "ok") return Ok();
        inBody_ = true;
    }
    std::string answer;
    return sms_.Command(cmd, cmd, answer) ? answer : kError;
}

std::string GarbageBytes(std::size_t count, unsigned& seed) {
    std::string out;
    out.reserve(count);
    while (out.size() < count) {
        seed = seed * 1103515245u + 12345u;
        const char c = static_cast<char>((seed >> 16) & 0xFF);
        if (c == '\r' || c == '\n' || c == 'O' || c == 'E' || c == 0x1B) continue;
        out += c;
    }
    return out;
}

}  // namespace modemsim
