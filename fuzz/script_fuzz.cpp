// UI script lines: the input is one script file. Every line is tokenised and parsed; a
// line that tokenises must tokenise to the same tokens again once its tokens are written
// back out (strings quoted and escaped, words and #N as they stand).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ui/script_parser.h"

namespace {

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

std::string Quote(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\r': out += "\\r"; break;
            case '\n': out += "\\n"; break;
            case '\t': out += "\\t"; break;
            default: out += c;
        }
    }
    return out + "\"";
}

void CheckLine(const std::string& line, int number) {
    std::vector<ui::ScriptToken> tokens;
    std::string error;
    if (!ui::TokenizeScriptLine(line, tokens, error)) {
        Check(!error.empty());
    } else {
        std::string written;
        for (const ui::ScriptToken& t : tokens) {
            if (!written.empty()) written += ' ';
            written += t.type == ui::ScriptToken::Type::String ? Quote(t.text) : t.text;
        }
        std::vector<ui::ScriptToken> again;
        Check(ui::TokenizeScriptLine(written, again, error));
        Check(again.size() == tokens.size());
        for (std::size_t i = 0; i < tokens.size(); ++i) {
            Check(again[i].type == tokens[i].type && again[i].text == tokens[i].text &&
                  again[i].number == tokens[i].number);
        }
    }
    error.clear();
    const auto command = ui::ParseScriptCommand(line, number, error);
    Check(command.has_value() == error.empty());
    if (command) {
        Check(command->line == number && !command->verb.empty());
        Check(!ui::IsBlankScriptLine(line));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    int number = 1;
    std::size_t start = 0;
    while (start <= input.size()) {
        std::size_t end = input.find('\n', start);
        if (end == std::string::npos) end = input.size();
        CheckLine(input.substr(start, end - start), number++);
        start = end + 1;
    }
    return 0;
}
