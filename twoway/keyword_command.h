// One keyword command as the "2-Way Keyword Processor" edits it: the keyword key split
// into keyword and receive phone numbers, and the actions of its command section.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/ini_snapshot.h"

namespace twoway {

// One action: whether it is selected and its text.
struct KeywordAction {
    bool on = false;
    std::string value;
};

struct KeywordCommand {
    std::string keyword;
    std::string phones;            // "" = every receiving number
    KeywordAction replyText;       // shown with real line breaks
    KeywordAction replyFile;
    KeywordAction run;
    bool runSendResponse = false;
    KeywordAction mailTo;
    KeywordAction dlistAdd;
    KeywordAction dlistRemove;

    // The keyword, plus "##" and the phone numbers when they are not empty.
    std::string Key() const;
};

// The command stored under `keywordKey` (each action on when its value is not empty;
// ReplyText with "\r" and "\n" turned back into CR and LF).
KeywordCommand LoadKeywordCommand(std::string_view keywordKey);

// The directory "FILES/" under the program data directory.
std::string ReplyFilesDirectory();

// Why the command cannot be stored: the operator's message and the id of the control
// the focus goes to; an empty message when it can.
struct KeywordProblem {
    std::string message;
    std::string focus;
};
KeywordProblem CheckKeywordCommand(const KeywordCommand& command);

// Writes the command section of `command.Key()`: each action's key with its text when
// selected (ReplyText escaped), deleted when not; RunSendResponse "Yes" or deleted.
// A non-empty `oldKey` that differs (ignoring case) loses its section. One rewrite; false
// when the file could not be written.
bool StoreKeywordCommand(const KeywordCommand& command, std::string_view oldKey);

// One line of the command table: the keyword key and the text shown.
struct KeywordTableRow {
    std::string key;
    std::string line;
};

// The command table from one reading of ZELLA.INI: a row per listed keyword key.
std::vector<KeywordTableRow> KeywordTable();

// The command table line of a keyword key: the key, then "\tKEY=value" for each of
// DListAdd, DListRemove, ReplyFile, ReplyText, MailTo, Run and RunSendResponse that is
// not empty (escapes as stored), cut at 1023 characters.
std::string KeywordTableLine(const platform::IniSnapshot& zella, std::string_view keywordKey);

}  // namespace twoway
