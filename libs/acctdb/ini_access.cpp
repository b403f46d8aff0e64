// ZELLA.INI and MMSC.INI as the services and the link libraries read them: the console
// names the files once at start-up, every later read goes to the file as it is on disk.
#include <mutex>

#include "acctdb/acctdb.h"
#include "platform/ini.h"

namespace acctdb {
namespace {

struct IniFile {
    std::mutex mutex;
    std::string path;
};

IniFile& SmsIni() {
    static IniFile file;
    return file;
}

IniFile& MmscIni() {
    static IniFile file;
    return file;
}

std::string CutToSize(const char* text, std::size_t size) {
    std::string value = text ? text : "";
    if (size == 0) return std::string();
    if (value.size() > size - 1) value.resize(size - 1);
    return value;
}

// A copy taken under the lock: the name can be handed on while other threads read.
std::string PathOf(IniFile& file) {
    std::lock_guard<std::mutex> lock(file.mutex);
    return file.path;
}

std::string ReadFrom(IniFile& file, const char* section, const char* key, const char* def,
                     std::size_t size) {
    const std::string path = PathOf(file);
    // The SMPP link calls this with every argument null merely to make sure the library
    // is loaded; it must neither read nor create anything.
    if (path.empty() || section == nullptr || key == nullptr) return CutToSize(def, size);
    return platform::GetPrivateProfileString(path, section, key, def ? def : "", size);
}

void SetPath(IniFile& file, const std::string& path) {
    std::lock_guard<std::mutex> lock(file.mutex);
    file.path = path;
}

}  // namespace

void SMSIniSetFilename(const std::string& path) { SetPath(SmsIni(), path); }
void MMSCIniSetFilename(const std::string& path) { SetPath(MmscIni(), path); }

std::string SMSIniFilename() { return PathOf(SmsIni()); }
std::string MMSCIniFilename() { return PathOf(MmscIni()); }

std::string SMSIniGetProfileString(const char* section, const char* key, const char* def,
                                   std::size_t size) {
    return ReadFrom(SmsIni(), section, key, def, size);
}

std::string MMSCIniGetProfileString(const char* section, const char* key, const char* def,
                                    std::size_t size) {
    return ReadFrom(MmscIni(), section, key, def, size);
}

}  // namespace acctdb
