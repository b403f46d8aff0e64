// Who may reach the gateway's client interfaces: the gateway-wide address lists of
// "[IPRestrictions]" and an account's own allowed addresses, and the account check of a
// login (SMPP bind, web login) against USERS.DB.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "acctdb/acctdb.h"

namespace gateway::clients {

// Whether an IPv4 address ("10.1.2.3", also "::ffff:10.1.2.3") matches a pattern of four
// dot-separated parts, each a number or "*". An IPv6 address matches only "*.*.*.*".
bool AddressMatches(std::string_view pattern, std::string_view address);

// The account's allowed addresses: comma- or blank-separated patterns. Empty = any.
bool AccountAdmitsAddress(const acctdb::UserRecord& user, std::string_view address);

// The gateway-wide lists as read from ZELLA.INI: a Blocked match refuses; a non-empty
// Allowed list admits only its matches.
struct AddressLists {
    std::vector<std::string> allowed, blocked;
    bool Admits(std::string_view address) const;
};
AddressLists ReadAddressLists(const std::string& iniPath);

enum class LoginService { Smpp, Web };

enum class LoginResult { Ok, UnknownUser, WrongPassword, NotAllowed, AddressNotAllowed, StoreError };

// Looks the account up (name ignoring case) and checks the password (exact), the login
// right of the service (SMPP/UCP byte, or web login not disabled) and the account's
// allowed addresses. `record` receives the account when found.
LoginResult CheckLogin(const std::string& name, const std::string& password, LoginService service,
                       std::string_view clientAddress, acctdb::UserRecord& record);

// The account as stored now, for re-checking a session; false when it is gone or the
// store cannot be read (then `storeError`, when given, is set).
bool ReadAccount(const std::string& name, acctdb::UserRecord& record, bool* storeError = nullptr);

}  // namespace gateway::clients
