#include "gateway/links/http_request.h"

#include <cstdio>

#include "acctdb/acctdb.h"
#include "config/config_store.h"
#include "gateway/links/ucp_cimd_common.h"
#include "gateway/links/ucp_text.h"
#include "gateway/message_parts.h"
#include "platform/charsets.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "platform/text.h"
#include "ucplnk/ucp_frame.h"

namespace gateway {
namespace {

bool StartsNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           platform::ToLowerAscii(std::string(text.substr(0, prefix.size()))) ==
               platform::ToLowerAscii(std::string(prefix));
}

// The TEMPLATE.INI of template directory `name`, "" when there is none.
std::string TemplateFile(const std::string& name) {
    if (name.empty() || name == "." || name == ".." || name.find_first_of("/\\") != std::string::npos)
        return {};
    for (const std::string& base : {acctdb::GetPrivateDataDirectory(), acctdb::GetRealProgramDirectory()}) {
        const std::string path = platform::WithSlash(base) + "HTTPSMSC/" + name + "/TEMPLATE.INI";
        if (platform::FileExists(path)) return path;
    }
    return {};
}

// Text in the connection's character set (UTF-8 when none is set or the system does not
// know the one named); characters the set lacks become "?".
std::string InCharset(const std::string& utf8, const std::string& charset) {
    const std::string name = platform::ToLowerAscii(charset);
    std::string converted;
    if (name.empty() || name == "utf-8" || !platform::ConvertCharset("UTF-8", name, utf8, converted)) return utf8;
    return converted;
}

struct Piece {
    std::string text;  // for the text template
    std::string data, udh;
    int dcs = -1;
    bool binary = false;
};

}  // namespace

HttpTemplates LoadHttpTemplates(const ConnectionSettings& s) {
    HttpTemplates t{s.Key("TemplateText"), s.Key("TemplateBinary"), false};
    if (const std::string file = TemplateFile(s.Key("ServerType")); !file.empty()) {
        const std::string text = platform::GetPrivateProfileString(file, "Send", "TemplateText", "");
        const std::string binary = platform::GetPrivateProfileString(file, "Send", "TemplateBinary", "");
        if (!text.empty()) t.text = text;
        if (!binary.empty()) t.binary = binary;
        t.post = StartsNoCase(platform::GetPrivateProfileString(file, "Send", "Method", ""), "POST");
    }
    return t;
}

std::string PercentEncode(std::string_view text) {
    std::string out;
    for (unsigned char c : text) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
            c == '-' || c == '.' || c == '_' || c == '~') {
            out += static_cast<char>(c);
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        }
    }
    return out;
}

std::string FillPlaceholders(std::string_view text,
                             const std::vector<std::pair<std::string, std::string>>& values) {
    std::string out;
    while (!text.empty()) {
        bool replaced = false;
        if (text.substr(0, 2) == "@@") {
            for (const auto& [name, value] : values) {
                const std::string placeholder = "@@" + name + "@@";
                if (StartsNoCase(text, placeholder)) {
                    out += value;
                    text.remove_prefix(placeholder.size());
                    replaced = true;
                    break;
                }
            }
        }
        if (!replaced) {
            out += text[0];
            text.remove_prefix(1);
        }
    }
    return out;
}

int HttpStatus(std::string_view line) {
    if (!StartsNoCase(line, "HTTP/") || line.size() < 12) return 0;
    const std::size_t space = line.find(' ');
    if (space == std::string_view::npos || space + 4 > line.size()) return 0;
    int status = 0;
    for (std::size_t i = space + 1; i < space + 4; ++i) {
        if (line[i] < '0' || line[i] > '9') return 0;
        status = status * 10 + (line[i] - '0');
    }
    return status;
}

std::string Dechunk(std::string_view body) {
    std::string out;
    while (!body.empty()) {
        const std::size_t lineEnd = body.find("\r\n");
        if (lineEnd == std::string_view::npos) break;
        std::size_t size = 0;
        std::size_t i = 0;
        for (; i < lineEnd; ++i) {
            const char c = body[i];
            const int digit = c >= '0' && c <= '9' ? c - '0'
                              : c >= 'a' && c <= 'f' ? c - 'a' + 10
                              : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                     : -1;
            if (digit < 0 || size > (1u << 24)) break;
            size = size * 16 + static_cast<std::size_t>(digit);
        }
        if (i == 0 || size == 0) break;  // not a size, or the last chunk
        body.remove_prefix(lineEnd + 2);
        out += body.substr(0, size);
        if (body.size() < size + 2) break;
        body.remove_prefix(size + 2);
    }
    return out;
}

bool BuildHttpCalls(const ConnectionSettings& s, const HttpTemplates& templates,
                    const OutboundMessage& m, std::vector<HttpCall>& calls, std::string& error) {
    const bool noSplit = config::IsYes(s.Key("SendLongMessage"));
    // Both keys are stored inverted: "Yes" means the dialog's box is unchecked.
    const bool longTextAsText = config::IsYes(s.Key("LongTextAsText"));
    const bool unicodeAsText = config::IsYes(s.Key("UnicodeAsText"));
    EncodedMessage encoded;
    if (!EncodeMessage(m.text, m.octets, m.udh, m.binary, !noSplit, 0, encoded)) {
        error = "The message text is not valid UTF-8 or too long";
        return false;
    }
    std::vector<Piece> pieces;
    const bool oneText = encoded.parts.size() == 1 || longTextAsText || noSplit;
    if (!m.binary && oneText && (encoded.coding == Coding::Gsm7 || unicodeAsText)) {
        pieces.push_back({m.text, {}, {}, -1, false});
    } else {
        for (const MessagePart& part : encoded.parts) {
            Piece p;
            p.binary = true;
            p.data = part.payload;
            p.udh = part.udh;
            p.dcs = encoded.coding == Coding::Ucs2 ? 0x08
                    : encoded.coding == Coding::Gsm7 ? 0x00
                                                     : (m.dcs >= 0 ? m.dcs : 0x04);
            pieces.push_back(std::move(p));
        }
    }
    std::string recipient = m.recipient;
    if (config::IsYes(s.Key("RemovePlus")) && !recipient.empty() && recipient[0] == '+')
        recipient.erase(0, 1);
    const std::string sender = ChooseSender(s, m);
    const std::string charset = s.Key("Charset");
    calls.clear();
    for (const Piece& p : pieces) {
        const std::string& pattern = p.binary ? templates.binary : templates.text;
        if (pattern.empty()) {
            error = p.binary ? "The connection has no URL template for binary messages"
                             : "The connection has no URL template for text messages";
            return false;
        }
        const std::vector<std::pair<std::string, std::string>> values{
            {"PhoneNumber", PercentEncode(recipient)},
            {"Text", PercentEncode(p.binary ? std::string() : InCharset(p.text, charset))},
            {"Data", ucp::IraHex(p.data)},
            {"DataBin", PercentEncode(p.data)},
            {"UDH", ucp::IraHex(p.udh)},
            {"pid", m.pid >= 0 ? std::to_string(m.pid) : std::string("0")},
            {"dcs", std::to_string(p.dcs >= 0 ? p.dcs : (m.dcs >= 0 ? m.dcs : 0))},
            {"UserName", PercentEncode(s.Key("UserName", "", 150))},
            {"Password", PercentEncode(s.Key("Password", "", 150))},
            {"Sender", PercentEncode(sender)},
        };
        std::string filled = FillPlaceholders(pattern, values);
        HttpCall call;
        call.method = "GET";
        if (StartsNoCase(filled, "POST ")) {
            filled.erase(0, 5);
            call.method = "POST";
        } else if (templates.post) {
            call.method = "POST";
        }
        // The server's root path, then the template's own path and query.
        std::string root = s.Key("RootURL");
        while (!root.empty() && root.front() == '/') root.erase(0, 1);
        while (!root.empty() && root.back() == '/') root.pop_back();
        std::string target = root.empty() ? std::string() : "/" + root;
        if (filled.empty() || (filled[0] != '/' && filled[0] != '?')) target += '/';
        target += filled;
        if (target.empty() || target[0] != '/') target.insert(0, "/");
        if (call.method == "POST") {
            const std::size_t query = target.find('?');
            if (query != std::string::npos) {
                call.body = target.substr(query + 1);
                target.resize(query);
            }
        }
        call.target = target;
        calls.push_back(std::move(call));
    }
    return true;
}

}  // namespace gateway
