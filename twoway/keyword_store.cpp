#include "twoway/keyword_store.h"

#include <optional>

#include "config/config_store.h"
#include "platform/ini.h"
#include "platform/text.h"

namespace twoway {

namespace {

// Old command values and keyword keys can be long; read them whole.
constexpr std::size_t kLongValue = 32767;

using platform::EqualsNoCase;

using platform::StartsWithNoCase;

std::string KeywordKeyName(unsigned n) { return "Keyword" + std::to_string(n); }

std::string ReadListEntry(unsigned n) {
    return platform::GetPrivateProfileString(config::ConfigurationPath(), kKeywordListSection,
                                             KeywordKeyName(n), "", kLongValue);
}

std::string TrimBlanks(std::string_view text) {
    std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    std::size_t last = text.find_last_not_of(' ');
    return std::string(text.substr(first, last - first + 1));
}

struct OldCommand {
    std::string keyword;
    std::string command;
    std::string flag;
    std::string phones;
};

// keyword TAB command TAB flag [TAB phone numbers]; the numbers keep any further tabs.
OldCommand SplitOldCommand(std::string_view value) {
    OldCommand old;
    std::string* fields[] = {&old.keyword, &old.command, &old.flag};
    for (std::string* field : fields) {
        std::size_t tab = value.find('\t');
        field->assign(value.substr(0, tab));
        if (tab == std::string_view::npos) return old;
        value.remove_prefix(tab + 1);
    }
    old.phones.assign(value);
    return old;
}

struct Action {
    const char* key;
    std::string value;
};

Action ClassifyCommand(const std::string& command) {
    static constexpr std::pair<std::string_view, const char*> kPrefixes[] = {
        {"replytext:", "ReplyText"},
        {"replyfile:", "ReplyFile"},
        {"mailto:", "MailTo"},
        {"dlistadd:", "DListAdd"},
        {"dlistremove:", "DListRemove"}};
    for (const auto& [prefix, key] : kPrefixes) {
        if (StartsWithNoCase(command, prefix)) return {key, command.substr(prefix.size())};
    }
    return {"Run", command};
}

}  // namespace

std::string KeywordSectionName(std::string_view keywordKey) {
    return std::string(kKeywordSectionPrefix).append(keywordKey);
}

std::vector<std::string> ListKeywords() {
    std::vector<std::string> keys;
    for (unsigned n = 1;; ++n) {
        std::string key = ReadListEntry(n);
        if (key.empty()) return keys;
        keys.push_back(std::move(key));
    }
}

std::vector<std::string> ListKeywords(const platform::IniSnapshot& zella) {
    std::vector<std::string> keys;
    for (unsigned n = 1;; ++n) {
        std::string key = zella.Get(kKeywordListSection, KeywordKeyName(n), "", kLongValue);
        if (key.empty()) return keys;
        keys.push_back(std::move(key));
    }
}

bool AppendKeyword(std::string_view keywordKey) {
    unsigned n = static_cast<unsigned>(ListKeywords().size()) + 1;
    return platform::WritePrivateProfileString(config::ConfigurationPath(), kKeywordListSection,
                                               KeywordKeyName(n), keywordKey);
}

bool RenameKeyword(std::string_view oldKey, std::string_view newKey) {
    std::vector<std::string> keys = ListKeywords();
    for (std::size_t i = 0; i < keys.size(); ++i) {
        if (!EqualsNoCase(keys[i], oldKey)) continue;
        return platform::WritePrivateProfileString(config::ConfigurationPath(), kKeywordListSection,
                                                   KeywordKeyName(static_cast<unsigned>(i + 1)),
                                                   newKey);
    }
    return false;
}

bool RemoveKeyword(std::string_view keywordKey) {
    std::vector<std::string> keys = ListKeywords();
    std::size_t found = 0;
    while (found < keys.size() && !EqualsNoCase(keys[found], keywordKey)) ++found;
    if (found == keys.size()) return false;
    // One rewrite: a shift interrupted half-way would list one keyword twice.
    platform::IniBatch batch(config::ConfigurationPath());
    for (std::size_t i = found; i + 1 < keys.size(); ++i) {
        batch.Write(kKeywordListSection, KeywordKeyName(static_cast<unsigned>(i + 1)), keys[i + 1]);
    }
    batch.DeleteKey(kKeywordListSection, KeywordKeyName(static_cast<unsigned>(keys.size())));
    return batch.Commit();
}

UpgradeResult UpgradeKeywordFormat() {
    UpgradeResult result;
    const std::string path = config::ConfigurationPath();
    if (config::ReadZellaKey("ReceiveSMSCommand1", "", kLongValue).empty()) return result;
    if (config::IsYes(
            platform::GetPrivateProfileString(path, kKeywordListSection, "NewFormat", ""))) {
        return result;
    }
    result.ran = true;
    platform::IniBatch batch(path);
    for (unsigned n = 1;; ++n) {
        std::string value =
            config::ReadZellaKey("ReceiveSMSCommand" + std::to_string(n), "", kLongValue);
        if (value.empty()) break;
        OldCommand old = SplitOldCommand(value);
        std::string keywordKey = TrimBlanks(old.keyword);
        if (keywordKey.empty()) {
            ++result.skipped;
            continue;
        }
        std::string phones = TrimBlanks(old.phones);
        if (!phones.empty()) keywordKey += "##" + phones;
        batch.Write(kKeywordListSection, KeywordKeyName(++result.converted), keywordKey);
        const std::string section = KeywordSectionName(keywordKey);
        Action action = ClassifyCommand(old.command);
        if (!action.value.empty()) batch.Write(section, action.key, action.value);
        if (config::IsYes(old.flag)) {
            batch.Write(section, "RunSendResponse", "Yes");
        } else {
            batch.DeleteKey(section, "RunSendResponse");
        }
    }
    batch.Write(kKeywordListSection, "NewFormat", "Yes");
    result.written = batch.Commit();
    return result;
}

}  // namespace twoway
