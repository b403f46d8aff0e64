// Two-way keyword commands as stored in ZELLA.INI: the keyword list "Keyword%u" of
// section "2Way-Keywords" (numbered from 1 without gaps), one command section
// "2Way-Keyword-<keyword key>" per keyword key, and the one-time upgrade from the older
// "ReceiveSMSCommand%u" keys of [ZELLA]. Keyword keys compare ignoring ASCII case.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/ini_snapshot.h"

namespace twoway {

inline constexpr const char* kKeywordListSection = "2Way-Keywords";
inline constexpr const char* kKeywordSectionPrefix = "2Way-Keyword-";

// "2Way-Keyword-" followed by the keyword key.
std::string KeywordSectionName(std::string_view keywordKey);

// The keyword keys from "Keyword1" up to the first empty entry.
std::vector<std::string> ListKeywords();
// The same from a snapshot of ZELLA.INI already read.
std::vector<std::string> ListKeywords(const platform::IniSnapshot& zella);

// Writes `keywordKey` at the first empty "Keyword%u". A key already listed is listed
// again. False when the file could not be written.
bool AppendKeyword(std::string_view keywordKey);

// Replaces the first entry equal to `oldKey` (ignoring case), looking no further than
// the first empty entry, by `newKey`. True when an entry was replaced; false when none
// matched (nothing is written) or the file could not be written.
bool RenameKeyword(std::string_view oldKey, std::string_view newKey);

// Removes the first entry equal to `keywordKey` (ignoring case): every later entry moves
// one place down and the last one is deleted, in one rewrite of the file. True when an
// entry was removed. The command section is the caller's to delete.
bool RemoveKeyword(std::string_view keywordKey);

// Result of UpgradeKeywordFormat.
struct UpgradeResult {
    bool ran = false;        // old commands were found and NewFormat was not yet set
    bool written = false;    // the whole conversion reached the file
    unsigned converted = 0;  // keyword entries written
    unsigned skipped = 0;    // old values without a keyword
};

// Converts the old "ReceiveSMSCommand%u" values of [ZELLA] (keyword, tab, command, tab,
// send-response flag, optionally tab and receive phone numbers) into the keyword list and
// command sections, then sets NewFormat = "Yes" in "2Way-Keywords". Does nothing when
// "ReceiveSMSCommand1" is empty or NewFormat is already a yes value. The old keys stay.
//
// All writes go to the file in one rewrite, NewFormat with them, so a failed write leaves
// the old format in place and the upgrade runs again at the next start. An old value
// without any tab keeps its keyword entry with no action; a command, or a prefixed
// action's text, that is empty is not written (an empty action is no action). A value
// whose keyword is empty is skipped, as an empty "Keyword%u" would end the list and hide
// every later keyword; the remaining entries are numbered without gaps.
UpgradeResult UpgradeKeywordFormat();

}  // namespace twoway
