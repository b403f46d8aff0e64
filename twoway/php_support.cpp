#include "twoway/php_support.h"

#include <cstdlib>
#include <filesystem>

#include "config/config_store.h"
#include "platform/cancel.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/text.h"

namespace twoway {
namespace {

constexpr std::size_t kEnvLimit = 260;
constexpr int kSearchDepth = 3;
// A bound on the folders looked at, so a huge /opt never stalls the page.
constexpr int kSearchFolders = 5000;

bool IsProgram(const std::string& path) {
    return platform::FileExists(path) && !platform::DirectoryExists(path);
}

std::string Env(const char* name, std::size_t limit = kEnvLimit) {
    return platform::EnvironmentValue(name, limit);
}

std::string InDirectory(const std::string& dir) { return platform::WithSlash(dir) + kPhpCgiProgram; }

bool Skipped(const std::string& name) {
    return name == "." || name == ".." || platform::EqualsNoCase(name, "Q") ||
           platform::EqualsNoCase(name, "MMSCDATA");
}

bool Search(const std::string& dir, int depth, int& budget, std::string& found) {
    if (--budget < 0 || platform::CancelRequested()) return false;
    const std::vector<platform::DirEntry> entries = platform::ListDirectory(dir);
    for (const platform::DirEntry& e : entries) {
        if (!e.isDirectory && e.name == kPhpCgiProgram) {
            found = platform::WithSlash(dir) + e.name;
            return true;
        }
    }
    if (depth == 0) return false;
    for (const platform::DirEntry& e : entries) {
        if (!e.isDirectory || Skipped(e.name)) continue;
        const std::string sub = platform::WithSlash(dir) + e.name;
        std::error_code ec;
        if (std::filesystem::is_symlink(sub, ec)) continue;  // links could loop or leave the tree
        if (Search(sub, depth - 1, budget, found)) return true;
    }
    return false;
}

std::string FromEnvironment() {
    const std::string phprc = Env("PHPRC");
    if (!phprc.empty() && IsProgram(InDirectory(phprc))) return InDirectory(phprc);
    // PATH is a list, not one path: Linux PATHs often run past the old path limit.
    const std::string path = Env("PATH", std::string::npos);
    std::string_view rest = path;
    while (!rest.empty()) {
        const std::size_t colon = rest.find(':');
        std::string_view element = rest.substr(0, colon);
        rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
        while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
        if (!element.empty() && IsProgram(InDirectory(std::string(element))))
            return InDirectory(std::string(element));
    }
    return {};
}

}  // namespace

const std::vector<std::string>& PhpSearchRoots() {
    static const std::vector<std::string> roots{"/usr/bin/", "/usr/local/bin/", "/usr/lib/cgi-bin/",
                                                "/opt/"};
    return roots;
}

bool LocatePhpCgi(std::string& path, std::string& message, const std::vector<std::string>& roots) {
    const std::string stored = config::ReadZellaKey(kPhpCgiKey, "", config::kPathSize + 1);
    if (!stored.empty()) {
        if (IsProgram(stored)) {
            path = stored;
            return true;
        }
        config::WriteZellaKey(kPhpCgiKey, std::nullopt);
    }
    std::string found = FromEnvironment();
    int budget = kSearchFolders;
    for (std::size_t i = 0; found.empty() && i < roots.size(); ++i)
        Search(roots[i], kSearchDepth, budget, found);
    if (found.empty()) {
        message = kPhpMissing;
        return false;
    }
    config::WriteZellaKey(kPhpCgiKey, found);
    path = found;
    return true;
}

std::string LocalPhpAddress() {
    unsigned port = 8800;
    const std::string text = config::ReadZellaKey("WebPort", "8800");
    if (!text.empty() && text.find_first_not_of("0123456789") == std::string::npos && text.size() < 6) {
        const unsigned long n = std::stoul(text);
        if (n > 0 && n < 65536) port = static_cast<unsigned>(n);
    }
    return "http://127.0.0.1:" + std::to_string(port) + "/php/";
}

}  // namespace twoway
