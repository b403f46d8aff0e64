#include "twoway/keyword_command.h"

#include <array>

#include "acctdb/acctdb.h"
#include "config/config_store.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/ini.h"
#include "platform/text.h"
#include "twoway/keyword_store.h"
#include "twoway/reply_text.h"

namespace twoway {
namespace {

constexpr std::size_t kLongValue = 32767;
constexpr std::size_t kTableLineLimit = 1023;

std::string ReadKey(std::string_view section, std::string_view key) {
    return platform::GetPrivateProfileString(config::ConfigurationPath(), section, key, "",
                                             kLongValue);
}

KeywordAction Action(std::string value) { return {!value.empty(), std::move(value)}; }

bool IsUrl(const std::string& command) {
    for (const char* scheme : {"http://", "https://", "httppost://", "httpspost://"}) {
        if (platform::StartsWithNoCase(command, scheme)) return true;
    }
    return false;
}

// The program of a local command line: quoted up to its closing quote, else up to the
// first blank; a lone leading quote is dropped.
std::string ProgramOf(std::string line) {
    if (!line.empty() && line[0] == '"') {
        const std::size_t close = line.find('"', 1);
        if (close == std::string::npos) {
            line.erase(0, 1);
        } else {
            return line.substr(1, close - 1);
        }
    }
    return line.substr(0, line.find(' '));
}

// The program of the command line as typed when it cannot be found, else empty. A bare
// name is looked up in PATH, as the command will be run; a path must name a file.
std::string MissingProgram(const std::string& line) {
    const std::string program = ProgramOf(line);
    if (program.find('/') == std::string::npos) {
        return platform::FindInPath(program).empty() ? program : std::string();
    }
    return platform::FileExists(program) && !platform::DirectoryExists(program) ? std::string() : program;
}

bool HasLineBreak(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

}  // namespace

std::string KeywordCommand::Key() const { return phones.empty() ? keyword : keyword + "##" + phones; }

std::string ReplyFilesDirectory() { return acctdb::GetProgramDataDirectory() + "FILES/"; }

KeywordCommand LoadKeywordCommand(std::string_view keywordKey) {
    KeywordCommand c;
    const std::size_t hashes = keywordKey.find("##");
    c.keyword = std::string(keywordKey.substr(0, hashes));
    if (hashes != std::string_view::npos) c.phones = std::string(keywordKey.substr(hashes + 2));
    const std::string section = KeywordSectionName(keywordKey);
    c.replyText = Action(UnescapeReplyText(ReadKey(section, "ReplyText")));
    c.replyFile = Action(ReadKey(section, "ReplyFile"));
    c.run = Action(ReadKey(section, "Run"));
    c.runSendResponse = config::IsYes(ReadKey(section, "RunSendResponse"));
    c.mailTo = Action(ReadKey(section, "MailTo"));
    c.dlistAdd = Action(ReadKey(section, "DListAdd"));
    c.dlistRemove = Action(ReadKey(section, "DListRemove"));
    return c;
}

KeywordProblem CheckKeywordCommand(const KeywordCommand& c) {
    if (c.keyword.empty()) return {"Keyword is required!", "keyword"};
    // "]" would end the section name early and "=" would split the list entry; either
    // corrupts ZELLA.INI for the gateway, as a line break would.
    const std::string key = c.Key();
    if (key.find_first_of("=]") != std::string::npos || HasLineBreak(key))
        return {"Keyword cannot contain \"=\", \"]\" or a line break", "keyword"};
    if (c.replyText.on && c.replyText.value.empty()) return {"Reply text cannot be blank", "replyTextField"};
    if (c.replyFile.on) {
        if (c.replyFile.value.empty()) return {"Reply file must be selected", "browse"};
        if (!platform::FileExists(c.replyFile.value) &&
            !platform::FileExists(ReplyFilesDirectory() + c.replyFile.value))
            return {"Reply file does not exist", "browse"};
    }
    if (c.run.on) {
        if (c.run.value.empty()) return {"Run command cannot be blank", "runField"};
        if (!IsUrl(c.run.value)) {
            const std::string missing = MissingProgram(c.run.value);
            if (!missing.empty())
                return {"Cannot locate program file:  " + missing +
                            "\r\n\r\nPlease specify an http://url, or a valid executable file name.",
                        "runField"};
        }
    }
    if (c.mailTo.on && c.mailTo.value.empty()) return {"E-Mail Address cannot be blank", "mailToField"};
    if (c.dlistAdd.on && c.dlistAdd.value.empty())
        return {"Distribution list name cannot be blank", "dlistAddField"};
    if (c.dlistRemove.on && c.dlistRemove.value.empty())
        return {"Distribution list name cannot be blank", "dlistRemoveField"};
    for (const auto* a : {&c.replyFile, &c.run, &c.mailTo, &c.dlistAdd, &c.dlistRemove}) {
        if (a->on && HasLineBreak(a->value))
            return {"Line breaks are not allowed in this field", "keyword"};
    }
    const bool any = c.replyText.on || c.replyFile.on || c.run.on || c.mailTo.on || c.dlistAdd.on ||
                     c.dlistRemove.on;
    if (!any) return {"At least one type of action is required", "keyword"};
    return {};
}

bool StoreKeywordCommand(const KeywordCommand& c, std::string_view oldKey) {
    platform::IniBatch batch(config::ConfigurationPath());
    const std::string key = c.Key();
    if (!oldKey.empty() && !platform::EqualsNoCase(oldKey, key))
        batch.DeleteSection(KeywordSectionName(oldKey));
    const std::string section = KeywordSectionName(key);
    auto put = [&](const char* name, const KeywordAction& a, std::string value) {
        if (a.on) {
            batch.Write(section, name, value);
        } else {
            batch.DeleteKey(section, name);
        }
    };
    put("ReplyText", c.replyText, EscapeReplyText(c.replyText.value));
    put("ReplyFile", c.replyFile, c.replyFile.value);
    put("Run", c.run, c.run.value);
    put("MailTo", c.mailTo, c.mailTo.value);
    put("DListAdd", c.dlistAdd, c.dlistAdd.value);
    put("DListRemove", c.dlistRemove, c.dlistRemove.value);
    put("RunSendResponse", KeywordAction{c.runSendResponse, ""}, "Yes");
    return batch.Commit();
}

std::vector<KeywordTableRow> KeywordTable() {
    const platform::IniSnapshot zella(config::ConfigurationPath());
    std::vector<KeywordTableRow> rows;
    for (std::string& key : ListKeywords(zella)) {
        std::string line = KeywordTableLine(zella, key);
        rows.push_back({std::move(key), std::move(line)});
    }
    return rows;
}

std::string KeywordTableLine(const platform::IniSnapshot& zella, std::string_view keywordKey) {
    std::string line(keywordKey);
    const std::string section = KeywordSectionName(keywordKey);
    for (const char* key : {"DListAdd", "DListRemove", "ReplyFile", "ReplyText", "MailTo", "Run",
                            "RunSendResponse"}) {
        const std::string value = zella.Get(section, key, "", kLongValue);
        if (!value.empty()) line += std::string("\t") + key + "=" + value;
        if (line.size() >= kTableLineLimit) break;
    }
    return line.substr(0, kTableLineLimit);
}

}  // namespace twoway
