#include "gateway/clients/access.h"

#include <cstdlib>

#include "platform/ini.h"
#include "platform/text.h"

namespace gateway::clients {

namespace {

constexpr int kListGapLimit = 50;  // absent keys tolerated before a list ends

std::vector<std::string_view> Split(std::string_view text, std::string_view separators) {
    std::vector<std::string_view> parts;
    std::size_t at = 0;
    while (at <= text.size()) {
        const std::size_t end = text.find_first_of(separators, at);
        const std::string_view part = text.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at);
        if (!part.empty()) parts.push_back(part);
        if (end == std::string_view::npos) break;
        at = end + 1;
    }
    return parts;
}

std::vector<std::string> ReadList(const std::string& iniPath, const char* prefix) {
    std::vector<std::string> out;
    int missing = 0;
    for (unsigned i = 1; missing < kListGapLimit; ++i) {
        const std::string value = platform::GetPrivateProfileString(
            iniPath, "IPRestrictions", std::string(prefix) + std::to_string(i), "");
        if (value.empty()) {
            ++missing;
            continue;
        }
        out.push_back(value);
    }
    return out;
}

bool FindAccount(const std::string& name, acctdb::UserRecord& record, bool* storeError) {
    acctdb::UserHandle store = 0;
    if (storeError) *storeError = false;
    if (!acctdb::SMSOpenUserFile(&store, acctdb::GENERIC_READ)) {
        if (storeError) *storeError = true;
        return false;
    }
    const bool found = acctdb::SMSFindUserRecord(store, name, &record) != 0;
    acctdb::SMSCloseUserFile(store);
    return found;
}

}  // namespace

bool AddressMatches(std::string_view pattern, std::string_view address) {
    if (platform::StartsWithNoCase(address, "::ffff:")) address.remove_prefix(7);
    const std::vector<std::string_view> want = Split(pattern, "."), have = Split(address, ".");
    if (want.size() != 4) return false;
    if (have.size() != 4 || address.find(':') != std::string_view::npos) return pattern == "*.*.*.*";
    for (int i = 0; i < 4; ++i) {
        if (want[i] == "*") continue;
        if (std::strtoul(std::string(want[i]).c_str(), nullptr, 10) !=
                std::strtoul(std::string(have[i]).c_str(), nullptr, 10) ||
            have[i].find_first_not_of("0123456789") != std::string_view::npos)
            return false;
    }
    return true;
}

bool AccountAdmitsAddress(const acctdb::UserRecord& user, std::string_view address) {
    const std::string allowed = user.AllowedIps();
    const std::vector<std::string_view> patterns = Split(allowed, ", \t");
    if (patterns.empty()) return true;
    for (std::string_view p : patterns)
        if (AddressMatches(p, address)) return true;
    return false;
}

bool AddressLists::Admits(std::string_view address) const {
    for (const std::string& p : blocked)
        if (AddressMatches(p, address)) return false;
    if (allowed.empty()) return true;
    for (const std::string& p : allowed)
        if (AddressMatches(p, address)) return true;
    return false;
}

AddressLists ReadAddressLists(const std::string& iniPath) {
    AddressLists lists;
    lists.allowed = ReadList(iniPath, "Allowed");
    lists.blocked = ReadList(iniPath, "Blocked");
    return lists;
}

LoginResult CheckLogin(const std::string& name, const std::string& password, LoginService service,
                       std::string_view clientAddress, acctdb::UserRecord& record) {
    if (name.empty()) return LoginResult::UnknownUser;
    acctdb::UserHandle store = 0;
    if (!acctdb::SMSOpenUserFile(&store, acctdb::GENERIC_READ)) return LoginResult::StoreError;
    const bool found = acctdb::SMSFindUserRecord(store, name, &record) != 0;
    acctdb::SMSCloseUserFile(store);
    if (!found) return LoginResult::UnknownUser;
    // The marker only ever stands for "unchanged" in the editor; it is never a password.
    if (password != record.Password() || record.Password() == acctdb::kHiddenPasswordMarker)
        return LoginResult::WrongPassword;
    const bool allowed = service == LoginService::Smpp ? record.SmppLogin() : !record.WebLoginDisabled();
    if (!allowed) return LoginResult::NotAllowed;
    if (!AccountAdmitsAddress(record, clientAddress)) return LoginResult::AddressNotAllowed;
    return LoginResult::Ok;
}

bool ReadAccount(const std::string& name, acctdb::UserRecord& record, bool* storeError) {
    return FindAccount(name, record, storeError);
}

}  // namespace gateway::clients
