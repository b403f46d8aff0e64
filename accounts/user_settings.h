// An account's settings that live beside its record in ZELLA.INI: recipient addresses
// routed to the user, the per-user SMPP keys in "SMPPClient - <user>" (stored only where
// they differ from the gateway-wide "SMPP" values), the per-user asynchronous window, and
// the text limits of the record's slots.
#pragma once

#include <string>
#include <string_view>

namespace accounts {

inline constexpr const char* kRoutingSection = "Inbound SMS Routing";
inline constexpr const char* kAsyncWindowSection = "SMPPServerAsyncWindowSize";
inline constexpr const char* kGatewaySmppSection = "SMPP";
inline constexpr std::size_t kRoutingSize = 32767;

// "SMPPClient - " + user name.
std::string ClientSection(std::string_view user);

// The longest prefix of `text` of at most `maxBytes` bytes that does not end inside a
// UTF-8 character (a sequence left incomplete by the cut is dropped whole).
std::string CutUtf8(std::string_view text, std::size_t maxBytes);

// Reads and writes one key of ZELLA.INI (the configuration path); writing nullopt or
// "" through WriteUserKey deletes the key. Failures are not reported.
std::string ReadUserKey(std::string_view section, std::string_view key,
                        std::size_t size = 500);
void WriteUserKey(std::string_view section, std::string_view key, std::string_view value);

// The value to store in a user's section for a yes/no key: "" (delete: follow the
// gateway) when the wanted value ("Yes" or "") equals the gateway's ignoring case, else
// "Yes" or "No".
std::string ThreeStateValue(bool on, std::string_view gatewayValue);

// What to do with the user's window key: `write` false keeps the stored value; `gateway` is
// SMPPServerAsyncWindowSize of [ZELLA], `current` the user's stored value. An empty
// result deletes the user's key.
struct AsyncWindowWrite {
    bool write = false;
    std::string value;
};
AsyncWindowWrite AsyncWindowValue(bool asyncOn, std::string_view gateway, std::string_view current);

// Whether asynchronous mode shows as on: the user's window, else the gateway's, is
// neither empty nor 0.
bool AsyncWindowOn(std::string_view user, std::string_view gateway);

// Character set choice 0..4 from SMSCCharset / SMSCCharsetDefault.
int CharsetChoice(std::string_view charset, std::string_view charsetDefault);
// The two values to store for a choice, each "" (delete) when equal to the gateway's,
// else the table's value with "" written as "Default" / "No".
struct CharsetWrite {
    std::string charset;
    std::string charsetDefault;
};
CharsetWrite CharsetValues(int choice, std::string_view gatewayCharset,
                           std::string_view gatewayDefault);

// Reads a decimal number the way a number box is read: leading digits, 0 when none,
// saturating at the signed 32-bit limit.
std::int32_t ReadNumber(std::string_view text);

// Removes what ZELLA.INI holds for a user: the routing key, the async window key and the
// user's SMPP client section.
void DeleteUserKeys(std::string_view user);

}  // namespace accounts
