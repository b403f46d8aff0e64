#include "ui/script_parser.h"

#include <gtest/gtest.h>

namespace {

using namespace ui;

std::vector<ScriptToken> Tokens(const std::string& line) {
    std::vector<ScriptToken> tokens;
    std::string error;
    EXPECT_TRUE(TokenizeScriptLine(line, tokens, error)) << error;
    return tokens;
}

std::string ErrorOf(const std::string& line) {
    std::string error;
    auto command = ParseScriptCommand(line, 1, error);
    EXPECT_FALSE(command.has_value()) << line;
    return error;
}

TEST(ScriptTokens, StringEscapesAreResolved) {
    auto tokens = Tokens(R"(set "a\"b\\c\r\n\t" x)");
    ASSERT_EQ(tokens.size(), 3u);
    EXPECT_EQ(tokens[1].type, ScriptToken::Type::String);
    EXPECT_EQ(tokens[1].text, "a\"b\\c\r\n\t");
    EXPECT_EQ(tokens[2].type, ScriptToken::Type::Word);
}

TEST(ScriptTokens, ItemNumbersAndEmptyStrings) {
    auto tokens = Tokens("choose list #12 \"\"");
    ASSERT_EQ(tokens.size(), 4u);
    EXPECT_EQ(tokens[2].type, ScriptToken::Type::Number);
    EXPECT_EQ(tokens[2].number, 12);
    EXPECT_EQ(tokens[3].type, ScriptToken::Type::String);
    EXPECT_EQ(tokens[3].text, "");
}

TEST(ScriptTokens, MalformedLinesAreRejectedWithAReason) {
    std::vector<ScriptToken> tokens;
    std::string error;
    EXPECT_FALSE(TokenizeScriptLine(R"(set "open)", tokens, error));
    EXPECT_EQ(error, "unterminated string");
    EXPECT_FALSE(TokenizeScriptLine(R"(set "a\qb")", tokens, error));
    EXPECT_EQ(error, "unknown escape \\q");
    EXPECT_FALSE(TokenizeScriptLine(R"(set "a"b)", tokens, error));
    EXPECT_EQ(error, "text after a closing quote");
    EXPECT_FALSE(TokenizeScriptLine(R"(set a"b")", tokens, error));
    EXPECT_FALSE(TokenizeScriptLine("choose x #1a", tokens, error));
    EXPECT_EQ(error, "bad item number #1a");
    EXPECT_FALSE(TokenizeScriptLine(R"(set "ends in backslash\)", tokens, error));
}

TEST(ScriptLines, BlankAndCommentLinesCarryNoCommand) {
    EXPECT_TRUE(IsBlankScriptLine(""));
    EXPECT_TRUE(IsBlankScriptLine("   \t"));
    EXPECT_TRUE(IsBlankScriptLine("# press OK"));
    EXPECT_TRUE(IsBlankScriptLine("  # indented comment"));
    EXPECT_FALSE(IsBlankScriptLine("dump"));
}

TEST(ScriptCommands, VerbsAreCaseInsensitiveAndArgumentsKept) {
    std::string error;
    auto command = ParseScriptCommand("PRESS \"&Add\"", 7, error);
    ASSERT_TRUE(command) << error;
    EXPECT_EQ(command->verb, "press");
    EXPECT_EQ(command->line, 7);
    EXPECT_EQ(command->args[0].text, "&Add");
    EXPECT_TRUE(ParseScriptCommand("expect tabs \"A\" \"B\" \"C\"", 1, error));
    EXPECT_TRUE(ParseScriptCommand("expect IDC_HOST Disabled", 1, error));
    EXPECT_TRUE(ParseScriptCommand("file cancel", 1, error));
    EXPECT_TRUE(ParseScriptCommand("choose \"Peers:\" #2", 1, error));
    EXPECT_TRUE(ParseScriptCommand("wait 1500", 1, error));
}

TEST(ScriptCommands, WrongArgumentsNameTheUsage) {
    EXPECT_EQ(ErrorOf("frobnicate x"), "unknown command frobnicate");
    EXPECT_EQ(ErrorOf("\"press\" x"), "a line must begin with a command");
    EXPECT_EQ(ErrorOf("wait soon"), "usage: wait MS");
    EXPECT_EQ(ErrorOf("wait 99999999999"), "usage: wait MS");
    EXPECT_EQ(ErrorOf("tab General"), "usage: tab \"TITLE\"");
    EXPECT_EQ(ErrorOf("set host"), "usage: set CONTROL \"TEXT\"");
    EXPECT_EQ(ErrorOf("press #1"), "usage: press CONTROL");
    EXPECT_EQ(ErrorOf("choose list item"), "usage: choose CONTROL \"ITEM\" or choose CONTROL #N");
    EXPECT_EQ(ErrorOf("sort rows Recipient"), "usage: sort CONTROL \"COLUMN\" or sort CONTROL #N");
    EXPECT_EQ(ErrorOf("answer Yes"), "usage: answer \"PREFIX\" OK|Yes|No|Cancel");
    EXPECT_EQ(ErrorOf("file later"), "usage: file \"PATH\" or file cancel");
    EXPECT_EQ(ErrorOf("expect host purple"), "unknown state purple");
    EXPECT_EQ(ErrorOf("expect tabs"), "usage: expect tabs \"A\" \"B\" ...");
    EXPECT_EQ(ErrorOf("dump now"), "usage: dump");
}

}  // namespace
