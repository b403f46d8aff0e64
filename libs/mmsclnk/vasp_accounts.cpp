// The outbound VASP account registry.
#include "acctdb/acctdb.h"
#include "mmsclnk/mmsclnk.h"
#include "platform/files.h"
#include "platform/ini.h"

namespace {

// An account name becomes a directory name, so it must stay one level below VASPOUT/.
bool UsableName(const char* name) {
    if (name == nullptr || *name == '\0') return false;
    std::string text(name);
    if (text == "." || text == "..") return false;
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7f || c == '/' || c == '\\' || c == '=') return false;
    }
    return true;
}

std::string VaspConfigDirectory() {
    std::string dir = acctdb::MMSCIniGetProfileString("MMSC", "VASPConfigDir", "", 260);
    return dir.empty() ? acctdb::GetProgramDataDirectory() : platform::WithSlash(dir);
}

}  // namespace

extern "C" int VASPOutAddUser(const char* name) {
    if (!UsableName(name)) return 0;
    std::string base = VaspConfigDirectory();
    if (!platform::CreateDirectories(base + "VASPOUT/" + name + "/")) return 0;
    return platform::WritePrivateProfileString(base + "VASPOUT.INI", "VASPOut", name,
                                               std::string_view("Yes"))
               ? 1
               : 0;
}

extern "C" int VASPOutDeleteUser(const char* name) {
    if (!UsableName(name)) return 0;
    return platform::WritePrivateProfileString(VaspConfigDirectory() + "VASPOUT.INI", "VASPOut",
                                               name, std::nullopt)
               ? 1
               : 0;
}
