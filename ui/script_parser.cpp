#include "ui/script_parser.h"
#include "platform/text.h"

#include <algorithm>
#include <cctype>

namespace ui {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string Lower(std::string text) { return platform::ToLowerAscii(std::move(text)); }

// Reads a quoted string starting at line[i] == '"'; leaves i after the closing quote.
bool ReadString(const std::string& line, std::size_t& i, std::string& out, std::string& error) {
    for (++i; i < line.size(); ++i) {
        char c = line[i];
        if (c == '"') {
            ++i;
            return true;
        }
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++i == line.size()) break;
        switch (line[i]) {
            case '"':
                out += '"';
                break;
            case '\\':
                out += '\\';
                break;
            case 'r':
                out += '\r';
                break;
            case 'n':
                out += '\n';
                break;
            case 't':
                out += '\t';
                break;
            default:
                error = std::string("unknown escape \\") + line[i];
                return false;
        }
    }
    error = "unterminated string";
    return false;
}

bool ReadNumber(const std::string& word, ScriptToken& token, std::string& error) {
    std::string digits = word.substr(1);
    if (digits.empty() || digits.size() > 9 ||
        !std::all_of(digits.begin(), digits.end(),
                     [](unsigned char c) { return std::isdigit(c); })) {
        error = "bad item number " + word;
        return false;
    }
    token.type = ScriptToken::Type::Number;
    token.number = std::stoi(digits);
    token.text = word;
    return true;
}

}  // namespace

bool IsBlankScriptLine(const std::string& line) {
    auto it = std::find_if(line.begin(), line.end(), [](char c) { return !IsBlank(c); });
    return it == line.end() || *it == '#';
}

bool TokenizeScriptLine(const std::string& line, std::vector<ScriptToken>& tokens,
                        std::string& error) {
    tokens.clear();
    std::size_t i = 0;
    while (i < line.size()) {
        if (IsBlank(line[i])) {
            ++i;
            continue;
        }
        ScriptToken token;
        if (line[i] == '"') {
            token.type = ScriptToken::Type::String;
            if (!ReadString(line, i, token.text, error)) return false;
            if (i < line.size() && !IsBlank(line[i])) {
                error = "text after a closing quote";
                return false;
            }
        } else {
            std::size_t start = i;
            while (i < line.size() && !IsBlank(line[i])) ++i;
            token.text = line.substr(start, i - start);
            if (token.text.find('"') != std::string::npos) {
                error = "quote inside " + token.text;
                return false;
            }
            if (token.text[0] == '#' && !ReadNumber(token.text, token, error)) return false;
        }
        tokens.push_back(std::move(token));
    }
    return true;
}

bool IsScriptState(const std::string& word) {
    static const char* const kStates[] = {"checked", "unchecked", "enabled", "disabled",
                                          "visible", "hidden",    "red"};
    return std::find(std::begin(kStates), std::end(kStates), Lower(word)) != std::end(kStates);
}

namespace {

using Type = ScriptToken::Type;

bool IsName(const ScriptToken& t) { return t.type != Type::Number; }

// Checks the arguments of `verb`; returns the complaint, or "" when they fit.
std::string CheckArgs(const std::string& verb, const std::vector<ScriptToken>& a) {
    auto n = a.size();
    if (verb == "tab") return n == 1 && a[0].type == Type::String ? "" : "usage: tab \"TITLE\"";
    if (verb == "set")
        return n == 2 && IsName(a[0]) && a[1].type == Type::String ? ""
                                                                   : "usage: set CONTROL \"TEXT\"";
    if (verb == "check" || verb == "uncheck" || verb == "press")
        return n == 1 && IsName(a[0]) ? "" : "usage: " + verb + " CONTROL";
    if (verb == "choose")
        return n == 2 && IsName(a[0]) && a[1].type != Type::Word
                   ? ""
                   : "usage: choose CONTROL \"ITEM\" or choose CONTROL #N";
    if (verb == "sort")
        return n == 2 && IsName(a[0]) && a[1].type != Type::Word
                   ? ""
                   : "usage: sort CONTROL \"COLUMN\" or sort CONTROL #N";
    if (verb == "key")
        return n == 2 && IsName(a[0]) && a[1].type == Type::Word &&
                       (Lower(a[1].text) == "enter" || Lower(a[1].text) == "insert" ||
                        Lower(a[1].text) == "delete")
                   ? ""
                   : "usage: key CONTROL Enter|Insert|Delete";
    if (verb == "type")
        return n == 2 && IsName(a[0]) && a[1].type == Type::String ? ""
                                                                   : "usage: type CONTROL \"TEXT\"";
    if (verb == "answer")
        return n == 2 && a[0].type == Type::String && a[1].type == Type::Word
                   ? ""
                   : "usage: answer \"PREFIX\" OK|Yes|No|Cancel";
    if (verb == "file")
        return n == 1 && (a[0].type == Type::String ||
                          (a[0].type == Type::Word && Lower(a[0].text) == "cancel"))
                   ? ""
                   : "usage: file \"PATH\" or file cancel";
    if (verb == "wait")
        return n == 1 && a[0].type == Type::Word && !a[0].text.empty() && a[0].text.size() < 10 &&
                       std::all_of(a[0].text.begin(), a[0].text.end(),
                                   [](unsigned char c) { return std::isdigit(c); })
                   ? ""
                   : "usage: wait MS";
    if (verb == "dump") return n == 0 ? "" : "usage: dump";
    if (verb != "expect") return "unknown command " + verb;
    if (n >= 1 && a[0].type == Type::Word) {
        std::string what = Lower(a[0].text);
        if (what == "tabs") {
            bool ok = n >= 2 && std::all_of(a.begin() + 1, a.end(), [](const ScriptToken& t) {
                          return t.type == Type::String;
                      });
            return ok ? "" : "usage: expect tabs \"A\" \"B\" ...";
        }
        if (what == "title" || what == "tab")
            return n == 2 && a[1].type == Type::String ? "" : "usage: expect " + what + " \"TEXT\"";
    }
    if (n == 2 && IsName(a[0]) && a[1].type == Type::String) return "";
    if (n == 2 && IsName(a[0]) && a[1].type == Type::Word)
        return IsScriptState(a[1].text) ? "" : "unknown state " + a[1].text;
    return "usage: expect CONTROL \"TEXT\" or expect CONTROL STATE";
}

}  // namespace

std::optional<ScriptCommand> ParseScriptCommand(const std::string& line, int lineNumber,
                                                std::string& error) {
    std::vector<ScriptToken> tokens;
    if (!TokenizeScriptLine(line, tokens, error)) return std::nullopt;
    if (tokens.empty() || IsBlankScriptLine(line)) {
        error = "no command";
        return std::nullopt;
    }
    if (tokens[0].type != Type::Word) {
        error = "a line must begin with a command";
        return std::nullopt;
    }
    ScriptCommand command;
    command.line = lineNumber;
    command.verb = Lower(tokens[0].text);
    command.args.assign(tokens.begin() + 1, tokens.end());
    error = CheckArgs(command.verb, command.args);
    if (!error.empty()) return std::nullopt;
    return command;
}

}  // namespace ui
