#include "platform/charsets.h"

#include "platform/text.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cctype>

namespace platform {
namespace {

// MIME names in common use by message providers; the converter decides which of them
// this system offers. Kept sorted, so the list shows in alphabetical order.
constexpr const char* kKnownNames[] = {
    "big5",         "cp866",        "euc-jp",       "euc-kr",       "gb18030",
    "gb2312",       "gbk",          "hz-gb-2312",   "ibm437",       "ibm850",
    "ibm852",       "ibm855",       "ibm857",       "ibm860",       "ibm861",
    "ibm862",       "ibm863",       "ibm864",       "ibm865",       "ibm869",
    "iso-2022-jp",  "iso-2022-kr",  "iso-8859-1",   "iso-8859-10",  "iso-8859-11",
    "iso-8859-13",  "iso-8859-14",  "iso-8859-15",  "iso-8859-16",  "iso-8859-2",
    "iso-8859-3",   "iso-8859-4",   "iso-8859-5",   "iso-8859-6",   "iso-8859-7",
    "iso-8859-8",   "iso-8859-9",   "koi8-r",       "koi8-u",       "macintosh",
    "shift_jis",    "tis-620",      "ucs-2",        "us-ascii",     "utf-16",
    "utf-16be",     "utf-16le",     "utf-32",       "utf-7",        "utf-8",
    "windows-1250", "windows-1251", "windows-1252", "windows-1253", "windows-1254",
    "windows-1255", "windows-1256", "windows-1257", "windows-1258", "windows-874",
};

std::string Lower(const std::string& text) { return ToLowerAscii(text); }

}  // namespace

bool CharsetSupported(const std::string& name) {
    if (name.empty()) return false;
    iconv_t cd = iconv_open(name.c_str(), "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    iconv_close(cd);
    return true;
}

const std::vector<std::string>& CharsetNames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> found;
        for (const char* name : kKnownNames) {
            if (CharsetSupported(name)) found.push_back(Lower(name));
        }
        return found;
    }();
    return names;
}

bool ConvertCharset(const std::string& from, const std::string& to, const std::string& text, std::string& out,
                    char replacement) {
    out.clear();
    iconv_t cd = iconv_open(to.c_str(), from.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size();
    std::string buffer(text.size() * 4 + 16, '\0');
    while (inLeft > 0) {
        char* outPtr = buffer.data();
        std::size_t outLeft = buffer.size();
        const std::size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer.data(), buffer.size() - outLeft);
        if (rc != static_cast<std::size_t>(-1)) break;
        if (errno == E2BIG) continue;
        // EILSEQ: a character the target cannot hold, or an invalid source byte; EINVAL: a
        // cut sequence at the end. Step over one source character in either case.
        std::size_t skip = 1;
        if (from == "UTF-8" || from == "utf-8") {
            const auto lead = static_cast<unsigned char>(*in);
            skip = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
            if (skip > inLeft) skip = inLeft;
            if (errno == EILSEQ && lead >= 0xC0) out += replacement;
        } else if (errno == EILSEQ) {
            out += replacement;
        }
        in += skip;
        inLeft -= skip;
    }
    iconv_close(cd);
    return true;
}

}  // namespace platform
