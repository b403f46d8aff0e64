#include "modem/modem_registry.h"

#include <cerrno>
#include <cstdio>

#include "acctdb/acctdb.h"
#include "config/config_store.h"
#include "modem/comm_ports.h"
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

std::string Noted(const char* what, unsigned code) {
    char text[120];
    std::snprintf(text, sizeof text, "Unable to initialize modem:  Error %X from %s", code, what);
    return text;
}

// One device of the name: its port opened at its speed, or a noted error.
ModemPort OpenOne(const std::string& section, std::string& comPort, std::string& noted) {
    std::string device = Value(section, "Port");
    if (device.empty()) device = Value(section, "AttachedTo");
    if (comPort.empty() && IsComName(device)) comPort = device;
    int error = 0;
    ModemPort port = TryOpenDevice(ResolveCommPort(device), &error);
    if (!port.IsOpen()) {
        noted = Noted("lineOpen", static_cast<unsigned>(error));
        return {};
    }
    if (!SetLineSettings(port, SpeedOf(section))) {
        noted = Noted("lineGetID", static_cast<unsigned>(EINVAL));
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

ModemPort OpenRegisteredModem(ui::Host& host, const std::string& name, bool secondPass,
                              std::string& comPort) {
    comPort = FindModemPortInRegistry(name);
    std::string noted;
    for (const std::string& section : platform::GetPrivateProfileSectionNames(ModemRegistryPath())) {
        if (!platform::EqualsNoCase(section, name) || !IsDataModem(section)) continue;
        ModemPort port = OpenOne(section, comPort, noted);
        if (port.IsOpen()) return port;
    }
    if (!noted.empty() && (comPort.empty() || secondPass)) {
        ui::MessageBoxSpec spec;
        spec.text = noted;
        spec.caption = host.Caption();
        spec.icon = ui::Icon::Error;
        spec.foreground = true;
        host.MessageBox(spec);
    }
    return {};
}

}  // namespace modem
