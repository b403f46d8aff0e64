// Opening files and URLs the way the desktop would: text in the user's editor when one is
// configured, everything else through xdg-open.
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/process.h"

namespace platform {

namespace {

bool IsUrl(const std::string& text) {
    std::size_t colon = text.find(':');
    if (colon == std::string::npos || colon == 0) return false;
    for (std::size_t i = 0; i < colon; ++i) {
        char c = text[i];
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                  (i > 0 && ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'));
        if (!ok) return false;
    }
    // One letter before ":" would be a drive letter, not a scheme.
    return colon > 1;
}

std::string LowerExtension(const std::string& path) {
    std::size_t slash = path.rfind('/');
    std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    std::string ext = path.substr(dot + 1);
    for (char& c : ext) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    return ext;
}

// No NUL and almost only printable bytes (UTF-8 counts as printable) in the first 4 KiB.
bool LooksLikeText(const std::string& path) {
    std::string content;
    if (!ReadFileHead(path, 4096, content)) return false;
    std::size_t n = content.size();
    std::size_t odd = 0;
    for (std::size_t i = 0; i < n; ++i) {
        unsigned char c = static_cast<unsigned char>(content[i]);
        if (c == 0) return false;
        if (c < 0x20 && c != '\n' && c != '\r' && c != '\t' && c != '\f') ++odd;
    }
    return odd * 20 <= n;
}

bool IsTextFile(const std::string& path) {
    static const char* const kTextExtensions[] = {"txt", "log", "ini", "err", "csv"};
    // Pages and pictures open better in their own viewers even when they are text.
    static const char* const kDesktopExtensions[] = {"html", "htm", "xhtml", "svg", "xml",
                                                     "pdf", "php"};
    std::string ext = LowerExtension(path);
    for (const char* t : kTextExtensions) {
        if (ext == t) return true;
    }
    for (const char* d : kDesktopExtensions) {
        if (ext == d) return false;
    }
    return FileExists(path) && LooksLikeText(path);
}

// $VISUAL or $EDITOR split at blanks ("emacsclient -n"); never handed to a shell.
std::vector<std::string> EditorCommand() {
    const char* editor = std::getenv("VISUAL");
    if (editor == nullptr || *editor == '\0') editor = std::getenv("EDITOR");
    std::vector<std::string> words;
    if (editor == nullptr) return words;
    std::string word;
    for (const char* p = editor;; ++p) {
        if (*p == '\0' || *p == ' ' || *p == '\t') {
            if (!word.empty()) words.push_back(word);
            word.clear();
            if (*p == '\0') break;
        } else {
            word += *p;
        }
    }
    return words;
}

}  // namespace

bool ShellOpen(const std::string& pathOrUrl, const std::string& workingDir) {
    if (pathOrUrl.empty()) return false;
    std::string target = pathOrUrl;
    bool url = IsUrl(target);
    // A relative name starting with "-" would be read as an option by the opener.
    if (!url && target[0] == '-') target = "./" + target;
    if (!url && IsTextFile(target)) {
        std::vector<std::string> argv = EditorCommand();
        if (!argv.empty()) {
            argv.push_back(target);
            if (StartDetached(argv, false, workingDir) > 0) return true;
        }
    }
    return StartDetached({"xdg-open", target}, false, workingDir) > 0;
}

}  // namespace platform
