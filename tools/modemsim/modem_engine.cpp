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

std::string Engine::Feed(const std::string& bytes, unsigned lineSpeed) {
    if (options_.silent || !SpeedOk(lineSpeed)) return {};  // wrong speed: only noise
    std::string out;
    for (char c : bytes) {
        if (inBody_) {
            if (c == 0x1B) inBody_ = false;  // message abandoned, no answer
            if (c == 0x1A) {
                inBody_ = false;
                out += "\r\n+CMGS: 1\r\n" + Ok();
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
    if (cmd == "AT+CPMS?") {
        if (locked || functionality_ != 1) return "\r\n+CMS ERROR: 310\r\n";
        return Ok("+CPMS: \"SM\",0,30,\"SM\",0,30,\"SM\",0,30");
    }
    if (StartsWith(cmd, "AT+CSMS")) {
        if (options_.rejectCsms) return kError;
        return Ok(cmd == "AT+CSMS?" ? "+CSMS: 0,1,1,1" : "+CSMS: 1,1,1");
    }
    if (cmd == "AT+CMGF=0") return options_.rejectPdu ? kError : Ok();
    if (cmd == "AT+CMGF=1") return Ok();
    if (StartsWith(cmd, "AT+CMGS=")) return Sending(cmd);
    return kError;
}

std::string Engine::Sending(const std::string&) {
    if (!options_.pin.empty() && !pinEntered_) return "\r\n+CMS ERROR: 311\r\n";
    if (options_.cmgs == "error") return kError;
    if (options_.cmgs == "ok") return Ok();
    inBody_ = true;
    return "\r\n> ";
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
