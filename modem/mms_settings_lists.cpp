// What the MMS settings list and normalise: modem candidates, MM7 accounts, proxy
// addresses, and the default services.
#include <algorithm>
#include <cstring>

#include "acctdb/acctdb.h"

#include "config/config_store.h"
#include "modem/comm_ports.h"
#include "modem/mms_settings_dialog.h"
#include "modem/modem_properties_dialog.h"
#include "modem/modem_registry.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "platform/text.h"

namespace modem {

namespace {

// One number of a dotted address: decimal digits worth 0-255 ("010" counts as 10).
bool ParseOctet(const std::string& part, unsigned* value) {
    if (part.empty()) return false;
    unsigned v = 0;
    for (char c : part) {
        if (c < '0' || c > '9') return false;
        v = std::min(v * 10 + static_cast<unsigned>(c - '0'), 256u);
    }
    if (v > 255) return false;
    *value = v;
    return true;
}

std::string Field(const char* buffer, std::size_t size) {
    return std::string(buffer, strnlen(buffer, size));
}

}  // namespace

std::string NormaliseIPv4(const std::string& text) {
    std::size_t end = text.size();
    while (end > 0 && (text[end - 1] == ' ' || text[end - 1] == '\t')) --end;
    std::size_t begin = 0;
    while (begin < end && text[begin] == ' ') ++begin;
    const std::string rest = text.substr(begin, end - begin);
    std::string normal;
    std::size_t from = 0;
    for (int part = 0; part < 4; ++part) {
        const std::size_t dot = part < 3 ? rest.find('.', from) : rest.size();
        unsigned octet = 0;
        if (dot == std::string::npos || !ParseOctet(rest.substr(from, dot - from), &octet)) {
            return rest;
        }
        normal += (part ? "." : "") + std::to_string(octet);
        from = dot + 1;
    }
    return normal;
}

std::vector<std::string> MmsModemCandidates() {
    std::vector<std::string> modems = ListTapiModems();
    const auto add = [&modems](const std::string& name) {
        if (std::find(modems.begin(), modems.end(), name) == modems.end()) modems.push_back(name);
    };
    for (const std::string& name : config::ListConnections()) {
        if (platform::StartsWithNoCase(name, "COM") && name.find(':') != std::string::npos) add(name);
    }
    for (const std::string& port : ListCommPorts()) add(port);
    return modems;
}

std::vector<std::string> Mm7Accounts() {
    const std::string vaspOut = config::VaspConfigDirectory() + "VASPOUT/";
    std::vector<std::string> accounts;
    for (const platform::DirEntry& entry : platform::ListDirectory(vaspOut)) {
        if (!entry.isDirectory || entry.name.empty() || entry.name[0] == '.') continue;
        const std::string ini = vaspOut + entry.name + "/VASP.INI";
        if (platform::EqualsNoCase(platform::GetPrivateProfileString(ini, "VASP", "Protocol", ""),
                                   "MM7")) {
            accounts.push_back(entry.name);
        }
    }
    std::sort(accounts.begin(), accounts.end());
    return accounts;
}

MmsSettingsServices DefaultMmsSettingsServices() {
    MmsSettingsServices services;
    services.operatorListAvailable = [] { return acctdb::OperatorSettingsListAvailable() != 0; };
    services.chooseOperatorSettings = [](OperatorSettings* out) {
        char apn[104] = {}, login[104] = {}, password[104] = {}, proxy[104] = {}, url[104] = {};
        // The account store declares the MMS server before the proxy.
        if (acctdb::ChooseOperatorSettings(nullptr, apn, login, password, proxy, url) == 0) {
            return false;
        }
        *out = {Field(apn, sizeof apn), Field(login, sizeof login), Field(password, sizeof password),
                Field(proxy, sizeof proxy), Field(url, sizeof url)};
        return true;
    };
    services.localUsers = [] { return LocalUsers(); };
    services.modems = MmsModemCandidates;
    return services;
}

}  // namespace modem
