#include "gateway/keywords/matching.h"

#include "config/config_store.h"
#include "platform/ini.h"
#include "platform/text.h"

namespace gateway::keywords {

namespace {

// The digits of a number without its international prefix ("+", "00").
std::string Digits(const std::string& number) {
    std::string digits;
    for (char c : number)
        if (c >= '0' && c <= '9') digits += c;
    const bool plus = number.find('+') != std::string::npos;
    if (!plus && digits.rfind("00", 0) == 0) digits.erase(0, 2);
    return digits;
}

std::vector<std::string> Numbers(const std::string& list) {
    std::vector<std::string> numbers;
    std::string current;
    for (char c : list + " ") {
        if ((c >= '0' && c <= '9') || (c == '+' && current.empty())) {
            current += c;
        } else if (!current.empty()) {
            if (current != "+") numbers.push_back(Digits(current));
            current.clear();
        }
    }
    return numbers;
}

std::string FirstWord(const std::string& text) {
    const std::size_t start = text.find_first_not_of(" \t\r\n");
    if (start == std::string::npos) return {};
    const std::size_t end = text.find_first_of(" \t\r\n", start);
    return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

}  // namespace

bool NumberInList(const std::string& number, const std::string& list) {
    const std::string wanted = Digits(number);
    if (wanted.empty()) return false;
    for (const std::string& n : Numbers(list))
        if (n == wanted) return true;
    return false;
}

std::string MatchKeyword(const std::vector<std::string>& keys, const std::string& text, const std::string& recipient) {
    const std::string word = FirstWord(text);
    if (word.empty()) return {};
    std::string general;
    for (const std::string& key : keys) {
        const std::size_t hashes = key.find("##");
        if (!platform::EqualsNoCase(key.substr(0, hashes), word)) continue;
        if (hashes == std::string::npos) {
            if (general.empty()) general = key;
        } else if (NumberInList(recipient, key.substr(hashes + 2))) {
            return key;
        }
    }
    return general;
}

std::string LocalUserFor(const std::string& iniPath, const platform::IniSnapshot& ini, const std::string& connection,
                         const std::string& recipient) {
    if (!connection.empty()) {
        const std::string local = ini.Get(config::ConnectionSectionName(connection), "RouteLocal", "", 250);
        if (!local.empty()) return local;
    }
    if (recipient.empty()) return {};
    for (const std::string& line : platform::GetPrivateProfileSection(iniPath, "Inbound SMS Routing")) {
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos || eq == 0) continue;
        if (NumberInList(recipient, line.substr(eq + 1))) return line.substr(0, eq);
    }
    return {};
}

}  // namespace gateway::keywords
