#include "smsc/connection_list.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <unordered_set>

#include "config/config_store.h"
#include "mmsclnk/mmsclnk.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "platform/text.h"

namespace smsc {

namespace {

// Whole sections and section lists are read without the fixed buffers of old: a
// preferred list of thousands of routes must survive a rename intact.
constexpr std::size_t kUnlimited = std::size_t{1} << 30;

std::string Lower(std::string text) { return platform::ToLowerAscii(std::move(text)); }

// Cuts at a character boundary so a long UTF-8 route name never ends in half a character.
std::string CutText(std::string text, std::size_t size) {
    if (text.size() <= size) return text;
    std::size_t end = size;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    text.resize(end);
    return text;
}

// Calls `visit(key, value)` for each "key=value" field of pending settings.
template <typename Visit>
void ForEachSetting(const std::string& settings, Visit&& visit) {
    std::size_t pos = 0;
    while (pos <= settings.size()) {
        std::size_t tab = settings.find('\t', pos);
        if (tab == std::string::npos) tab = settings.size();
        const std::string field = settings.substr(pos, tab - pos);
        const std::size_t eq = field.find('=');
        if (eq != std::string::npos && eq > 0) visit(field.substr(0, eq), field.substr(eq + 1));
        pos = tab + 1;
    }
}

void StoreEntry(platform::IniBatch& batch, const std::string& path, const ConnectionEntry& entry) {
    const std::string section = config::ConnectionSectionName(entry.name);
    if (auto old = config::FindRecordValue(entry.settings, "SaveRoute")) {
        const std::string oldSection = config::ConnectionSectionName(*old);
        if (!platform::EqualsNoCase(oldSection, section)) {
            for (const std::string& line :
                 platform::GetPrivateProfileSection(path, oldSection, kUnlimited)) {
                const std::size_t eq = line.find('=');
                if (eq != std::string::npos && eq > 0)
                    batch.Write(section, line.substr(0, eq), line.substr(eq + 1));
            }
        }
    }
    ForEachSetting(entry.settings, [&](const std::string& key, const std::string& value) {
        if (Lower(key) == "saveroute") return;
        if (value.empty())
            batch.DeleteKey(section, key);
        else
            batch.Write(section, key, value);
    });
}

// The "Modem%u" keys of [ZELLA] that have a value, lower-cased.
std::unordered_set<std::string> ModemKeysWithValue(const std::string& path) {
    std::unordered_set<std::string> keys;
    for (const std::string& line :
         platform::GetPrivateProfileSection(path, config::kZellaSection, kUnlimited)) {
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos || eq + 1 >= line.size()) continue;
        std::string key = Lower(line.substr(0, eq));
        if (key.rfind("modem", 0) == 0) keys.insert(std::move(key));
    }
    return keys;
}

void RemoveOrphanedSections(platform::IniBatch& batch, const std::string& path,
                            const std::vector<ConnectionEntry>& entries) {
    std::unordered_set<std::string> names;
    for (const ConnectionEntry& e : entries) names.insert(Lower(e.name));
    static const char* const kTyped[] = {"HTTP - ", "SMPP - ",  "UCP - ",
                                         "CIMD - ", "Modem - ", "QuvSMSModem - "};
    for (const std::string& section : platform::GetPrivateProfileSectionNames(path, kUnlimited)) {
        std::string name = config::ConnectionNameFromSection(section);
        if (std::none_of(std::begin(kTyped), std::end(kTyped),
                         [&](const char* prefix) { return HasPrefix(name, prefix); })) {
            continue;
        }
        if (HasPrefix(name, "Modem - ")) name.erase(0, 8);
        if (!names.count(Lower(name))) batch.DeleteSection(section);
    }
}

// One directory level, also usable as an INI key: nothing that could reach outside the
// VASPOUT folder or change the structure of MMSC.INI.
bool PlainAccountName(const std::string& name) {
    if (name.empty() || name == "." || name == "..") return false;
    return std::none_of(name.begin(), name.end(), [](char c) {
        return c == '/' || c == '\\' || c == '=' || c == '[' || c == ']' ||
               static_cast<unsigned char>(c) < 0x20;
    });
}

}  // namespace

bool HasPrefix(const std::string& name, const char* prefix) {
    return platform::StartsWithNoCase(name, prefix);
}

ConnectionEntry EntryFromRecord(const std::string& record) {
    ConnectionEntry entry;
    const std::size_t tab = record.find('\t');
    entry.name = record.substr(0, tab);
    entry.settings = tab == std::string::npos ? std::string() : record.substr(tab);
    std::optional<std::string> route = config::FindRecordValue(entry.settings, "RouteName");
    if (!route) {
        // A renamed connection keeps its keys in the old section until it is stored.
        const auto old = config::FindRecordValue(entry.settings, "SaveRoute");
        const std::string& sectionOf = old && !old->empty() ? *old : entry.name;
        route = platform::GetPrivateProfileString(config::ConfigurationPath(),
                                                  config::ConnectionSectionName(sectionOf),
                                                  "RouteName", "", config::kValueSize);
    }
    entry.display =
        CutText(route->empty() ? entry.name : *route + " (" + entry.name + ")", kMaxDisplayText);
    return entry;
}

std::vector<ConnectionEntry> LoadConnectionEntries() {
    std::vector<ConnectionEntry> entries;
    for (const std::string& name : config::ListConnections()) {
        entries.push_back(EntryFromRecord(name));
    }
    return entries;
}

bool StoreConnectionList(std::vector<ConnectionEntry>& entries) {
    const std::string path = config::ConfigurationPath();
    const std::unordered_set<std::string> present = ModemKeysWithValue(path);
    platform::IniBatch batch(path);
    bool touched = false;
    for (std::size_t i = 0; i < 201 || touched || i < entries.size(); ++i) {
        const std::string key = "Modem" + std::to_string(i + 1);
        touched = false;
        if (i < entries.size()) {
            StoreEntry(batch, path, entries[i]);
            batch.Write(config::kZellaSection, key, entries[i].name);
            touched = true;
        } else if (present.count(Lower(key))) {
            batch.DeleteKey(config::kZellaSection, key);
            touched = true;
        }
    }
    RemoveOrphanedSections(batch, path, entries);
    if (!batch.Commit()) return false;
    for (ConnectionEntry& entry : entries) entry.settings.clear();
    return true;
}

std::vector<ConnectionEntry> MergeConnectionList(const std::vector<ConnectionEntry>& page,
                                                 const std::vector<std::string>& loaded,
                                                 const std::vector<std::string>& stored) {
    const auto lowered = [](const auto& names) {
        std::unordered_set<std::string> set;
        for (const std::string& n : names) set.insert(Lower(n));
        return set;
    };
    const std::unordered_set<std::string> before = lowered(loaded), now = lowered(stored);
    std::unordered_set<std::string> kept;
    std::vector<ConnectionEntry> merged;
    for (const ConnectionEntry& e : page) {
        const std::string name = Lower(e.name);
        if (e.settings.empty() && before.count(name) && !now.count(name)) continue;
        kept.insert(name);
        merged.push_back(e);
    }
    for (const std::string& n : stored) {
        const std::string name = Lower(n);
        if (before.count(name) || kept.count(name)) continue;
        kept.insert(name);
        merged.push_back(EntryFromRecord(n));
    }
    return merged;
}

bool RemoveNetworkModemAccount(const std::string& connectionName) {
    const char* prefix = "QuvSMSModem - ";
    if (!HasPrefix(connectionName, prefix)) return false;
    const std::string rest = connectionName.substr(std::char_traits<char>::length(prefix));
    const std::string account = rest.substr(0, rest.find(':'));
    if (!PlainAccountName(account)) return false;
    const std::string directory = config::VaspConfigDirectory() + "VASPOUT/" + account + "/";
    const std::string vaspIni = directory + "VASP.INI";
    const std::string protocol = platform::GetPrivateProfileString(vaspIni, "VASP", "Protocol", "");
    const std::string server = platform::GetPrivateProfileString(vaspIni, "VASP", "Server", "");
    if (Lower(protocol) != "mm1" || !HasPrefix(server, "quvsmsmodem_")) return false;
    VASPOutDeleteUser(account.c_str());
    platform::DeleteDirectoryTree(directory);
    platform::WritePrivateProfileString(config::MmscIniPath(), "Outbound MMS Routing", account,
                                        std::nullopt);
    return true;
}

}  // namespace smsc
