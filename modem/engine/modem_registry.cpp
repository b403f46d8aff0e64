#include "modem/engine/modem_registry.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "acctdb/acctdb.h"
#include "config/config_store.h"
#include "modem/engine/comm_ports.h"
#include "platform/ini.h"
#include "platform/text.h"

namespace modem {
namespace {

std::string Value(const std::string& section, const char* key, const char* def = "") {
    return platform::GetPrivateProfileString(ModemRegistryPath(), section, key, def, 500);
}

bool IsDataModem(const std::string& section) {
    return config::IsYes(Value(section, "DataModem", "Yes"));
}

bool IsComName(const std::string& text) { return platform::StartsWithNoCase(text, "COM"); }

unsigned SpeedOf(const std::string& section) {
    const std::string text = Value(section, "Speed", "115200");
    unsigned long speed = std::strtoul(text.c_str(), nullptr, 10);
    return speed == 0 || speed > 4'000'000 ? 115200 : static_cast<unsigned>(speed);
}

// In the operator's words: which modem, which device, and what the system said.
std::string Noted(const std::string& modem, const std::string& device, const std::string& why) {
    return "Unable to initialize modem " + modem + ":  " + (device.empty() ? "no device is set" : device + " " + why);
}

// One device of the name: its port opened at its speed, or a noted error.
ModemPort OpenOne(const std::string& section, std::string& comPort, std::string& noted) {
    std::string device = Value(section, "Port");
    if (device.empty()) device = Value(section, "AttachedTo");
    if (comPort.empty() && IsComName(device)) comPort = device;
    int error = 0;
    ModemPort port = TryOpenDevice(ResolveCommPort(device), &error);
    if (!port.IsOpen()) {
        noted = Noted(section, device, std::string("cannot be opened (") + std::strerror(error) + ")");
        return {};
    }
    if (!SetLineSettings(port, SpeedOf(section))) {
        noted = Noted(section, device, "is no serial line that takes " + std::to_string(SpeedOf(section)) + " bps");
        return {};
    }
    return port;
}

}  // namespace

std::string ModemRegistryPath() { return acctdb::GetProgramDataDirectory() + "MODEMS.INI"; }

std::vector<std::string> ListTapiModems() {
    std::vector<std::string> names;
    for (const std::string& section : platform::GetPrivateProfileSectionNames(ModemRegistryPath())) {
        if (!section.empty() && IsDataModem(section)) names.push_back(section);
    }
    return names;
}

std::string FindModemPortInRegistry(const std::string& name) {
    if (name.empty()) return {};
    return Value(name, "AttachedTo");
}

ModemPort OpenRegisteredDevice(const std::string& name, std::string& comPort, std::string& noted) {
    comPort = FindModemPortInRegistry(name);
    noted.clear();
    for (const std::string& section : platform::GetPrivateProfileSectionNames(ModemRegistryPath())) {
        if (!platform::EqualsNoCase(section, name) || !IsDataModem(section)) continue;
        ModemPort port = OpenOne(section, comPort, noted);
        if (port.IsOpen()) return port;
    }
    return {};
}

}  // namespace modem
