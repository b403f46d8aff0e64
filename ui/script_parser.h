// The line syntax of UI scripts: one command per line, words, double-quoted strings with
// the escapes \" \\ \r \n \t, and item numbers written #N. Blank lines and lines whose
// first non-blank character is "#" carry no command.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace ui {

struct ScriptToken {
    enum class Type { Word, String, Number };
    Type type = Type::Word;
    std::string text;  // the word, or the string with its escapes resolved
    int number = 0;    // Number: the N of #N
};

struct ScriptCommand {
    int line = 0;
    std::string verb;  // lower case: tab, set, check, uncheck, choose, sort, key, type,
                       // press, answer, file, expect, wait, dump
    std::vector<ScriptToken> args;
};

// Splits one line into tokens. false with `error` set for an unterminated string, an
// unknown escape, a quote inside a word, text glued to a closing quote or a bad #N.
bool TokenizeScriptLine(const std::string& line, std::vector<ScriptToken>& tokens,
                        std::string& error);

// Whether the line carries no command (blank or a comment).
bool IsBlankScriptLine(const std::string& line);

// Parses and checks one command line: the verb must be known and its arguments of the
// right number and kind. std::nullopt with `error` set otherwise (also for blank lines).
std::optional<ScriptCommand> ParseScriptCommand(const std::string& line, int lineNumber,
                                                std::string& error);

// The states `expect CONTROL STATE` knows.
bool IsScriptState(const std::string& word);

}  // namespace ui
