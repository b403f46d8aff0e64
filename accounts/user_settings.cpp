#include "accounts/user_settings.h"

#include <cstdint>
#include <optional>

#include "config/config_store.h"
#include "platform/ini.h"
#include "platform/text.h"

namespace accounts {
namespace {

constexpr const char* kCharsetValues[] = {"", "IA5", "iso-8859-1", "iso-8859-1", "iso-8859-15"};
constexpr int kCharsetChoices = 5;
constexpr int kLatin1AsDefault = 3;

}  // namespace

std::string ClientSection(std::string_view user) {
    return "SMPPClient - " + std::string(user);
}

std::string CutUtf8(std::string_view text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) return std::string(text);
    std::size_t end = maxBytes;
    // Step back over continuation bytes to the lead byte of the character that the cut
    // would split, and drop that character whole.
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return std::string(text.substr(0, end));
}

std::string ReadUserKey(std::string_view section, std::string_view key, std::size_t size) {
    return platform::GetPrivateProfileString(config::ConfigurationPath(), section, key, "", size);
}

void WriteUserKey(std::string_view section, std::string_view key, std::string_view value) {
    const std::optional<std::string_view> v =
        value.empty() ? std::nullopt : std::optional<std::string_view>(value);
    platform::WritePrivateProfileString(config::ConfigurationPath(), section, key, v);
}

std::string ThreeStateValue(bool on, std::string_view gatewayValue) {
    const std::string wanted = on ? "Yes" : "";
    if (platform::EqualsNoCase(wanted, gatewayValue)) return "";
    return on ? "Yes" : "No";
}

AsyncWindowWrite AsyncWindowValue(bool asyncOn, std::string_view gateway, std::string_view current) {
    const bool gatewaySet = ReadNumber(gateway) != 0;
    std::string wanted = !asyncOn ? "0" : gatewaySet ? std::string(gateway) : "5";
    if (platform::EqualsNoCase(wanted, gateway) || (ReadNumber(gateway) == 0 && ReadNumber(wanted) == 0))
        wanted.clear();
    // A per-user window of its own survives while asynchronous mode stays on.
    if (ReadNumber(current) != 0 && ReadNumber(wanted) != 0) return {};
    return {true, wanted};
}

bool AsyncWindowOn(std::string_view user, std::string_view gateway) {
    const std::string_view value = user.empty() ? gateway : user;
    return !value.empty() && ReadNumber(value) != 0;
}

int CharsetChoice(std::string_view charset, std::string_view charsetDefault) {
    if (platform::EqualsNoCase(charset, "IA5")) return 1;
    if (platform::EqualsNoCase(charset, "iso-8859-1"))
        return config::IsYes(charsetDefault) ? kLatin1AsDefault : 2;
    if (platform::EqualsNoCase(charset, "iso-8859-15")) return 4;
    return 0;
}

CharsetWrite CharsetValues(int choice, std::string_view gatewayCharset,
                           std::string_view gatewayDefault) {
    if (choice < 0 || choice >= kCharsetChoices) choice = 0;
    CharsetWrite out;
    const std::string charset = kCharsetValues[choice];
    const std::string asDefault = choice == kLatin1AsDefault ? "Yes" : "";
    if (!platform::EqualsNoCase(charset, gatewayCharset)) out.charset = charset.empty() ? "Default" : charset;
    if (!platform::EqualsNoCase(asDefault, gatewayDefault))
        out.charsetDefault = asDefault.empty() ? "No" : asDefault;
    return out;
}

std::int32_t ReadNumber(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    std::int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > INT32_MAX) return INT32_MAX;
    }
    return static_cast<std::int32_t>(value);
}

void DeleteUserKeys(std::string_view user) {
    platform::IniBatch batch(config::ConfigurationPath());
    batch.DeleteKey(kRoutingSection, user);
    batch.DeleteKey(kAsyncWindowSection, user);
    batch.DeleteSection(ClientSection(user));
    batch.Commit();
}

}  // namespace accounts
