// INI engine: the input is the file. Every reader runs on it, then writes and a delete
// whose results are checked by reading back and against the same changes as one batch.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/files.h"
#include "platform/ini.h"
#include "platform/ini_snapshot.h"

namespace {

const std::string& ScratchFile() {
    static const std::string path = [] {
        // Scratch files need no trip to the disk; the rename logic still runs.
        platform::SetDurableWrites(false);
        char tmpl[] = "/tmp/zella-ini-fuzz-XXXXXX";
        std::string dir = mkdtemp(tmpl) != nullptr ? tmpl : "/tmp";
        return dir + "/FUZZ.INI";
    }();
    return path;
}

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& path = ScratchFile();
    std::string input(reinterpret_cast<const char*>(data), size);
    if (!platform::WriteFileAtomic(path, input)) return 0;

    std::vector<std::string> names = platform::GetPrivateProfileSectionNames(path);
    std::vector<std::string> few = platform::GetPrivateProfileSectionNames(path, size % 64);
    Check(few.size() <= names.size());
    std::string section = names.empty() ? "Fuzz" : names[size % names.size()];
    std::vector<std::string> lines = platform::GetPrivateProfileSection(path, section);
    // The snapshot reader answers every lookup as the single-key reader does.
    const platform::IniSnapshot snapshot(path);
    for (const std::string& line : lines) {
        std::size_t eq = line.find('=');
        std::string key = line.substr(0, eq);
        std::string value = platform::GetPrivateProfileString(path, section, key, "", size % 700);
        Check(value.size() < (size % 700 == 0 ? 1 : size % 700));
        Check(value == snapshot.Get(section, key, "", size % 700));
    }
    Check(snapshot.Get(section, "NoSuchKey", "none") ==
          platform::GetPrivateProfileString(path, section, "NoSuchKey", "none"));

    // A write that succeeds must read back, and a deleted key must be gone; the same
    // changes as one batch on a copy of the input give the same bytes.
    const std::string copy = path + ".batch";
    Check(platform::WriteFileAtomic(copy, input));
    if (platform::WritePrivateProfileString(path, section, "FuzzKey", "fuzz value")) {
        Check(platform::GetPrivateProfileString(path, section, "fuzzkey", "") == "fuzz value");
        Check(platform::WritePrivateProfileString(path, section, "Other", "x"));
        Check(platform::WritePrivateProfileString(path, section, "FuzzKey", std::nullopt));
        Check(platform::GetPrivateProfileString(path, section, "FuzzKey", "gone") == "gone");
        platform::IniBatch batch(copy);
        batch.Write(section, "FuzzKey", "fuzz value");
        batch.Write(section, "Other", "x");
        batch.DeleteKey(section, "FuzzKey");
        Check(batch.Commit());
        std::string single, batched;
        Check(platform::ReadFile(path, single) && platform::ReadFile(copy, batched) && single == batched);
    }
    return 0;
}
