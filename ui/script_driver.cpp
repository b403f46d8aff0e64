#include "ui/script_driver.h"
#include "platform/process.h"
#include "platform/text.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <iostream>

namespace ui {

namespace {


// The result code of a button name in an `answer` line, or 0.
int ButtonByName(const std::string& name) {
    static const int kResults[] = {kOk, kCancel, kAbort, kRetry, kIgnore, kYes, kNo};
    for (int result : kResults)
        if (platform::EqualsNoCase(ResultName(result), name)) return result;
    return 0;
}

// An input that has nothing to read.
class EmptyStream : public std::istream {
public:
    EmptyStream() : std::istream(nullptr) { setstate(std::ios::eofbit); }
};

}  // namespace

ScriptHost::ScriptHost(std::istream& in, std::ostream& out) : HeadlessHost(&out), in_(in) {}

ScriptHost::ScriptHost(std::unique_ptr<std::istream> in, std::ostream& out)
    : HeadlessHost(&out), owned_(std::move(in)), in_(*owned_) {}

ScriptHost::~ScriptHost() = default;

void ScriptHost::FailAt(int line, const std::string& why) {
    Fail("line " + std::to_string(line) + ": " + why);
}

const ScriptCommand* ScriptHost::Peek() {
    std::string line;
    while (!pending_ && std::getline(in_, line)) {
        ++lineNumber_;
        if (!line.empty() && line.back() == '\r') line.pop_back();  // scripts saved with CRLF
        if (IsBlankScriptLine(line)) continue;
        std::string error;
        pending_ = ParseScriptCommand(line, lineNumber_, error);
        if (!pending_) FailAt(lineNumber_, error);
    }
    return pending_ ? &*pending_ : nullptr;
}

void ScriptHost::RunWindow() {
    while (OpenWindows() > 0) {
        Dialog* dialog = ActiveDialog();
        Sheet* sheet = ActiveSheet();
        if ((dialog && dialog->IsEnded()) || (sheet && sheet->IsEnded())) return;
        const ScriptCommand* next = Peek();
        if (!next) return;
        ScriptCommand command = *next;
        Consume();
        Execute(command);
    }
}

void ScriptHost::DriveDialog(Dialog&) { RunWindow(); }

void ScriptHost::DriveSheet(Sheet&) { RunWindow(); }

int ScriptHost::AnswerBox(const MessageBoxSpec& spec, std::string& failure) {
    const ScriptCommand* next = Peek();
    if (!next || next->verb != "answer") {
        int line = next ? next->line : lineNumber_;
        failure = "line " + std::to_string(line) + ": the message box was not answered";
        return DefaultAnswer(spec);
    }
    ScriptCommand command = *next;
    Consume();
    const std::string& prefix = command.args[0].text;
    auto fail = [&](const std::string& why) {
        failure = "line " + std::to_string(command.line) + ": " + why;
        return DefaultAnswer(spec);
    };
    if (spec.text.rfind(prefix, 0) != 0)
        return fail("the message box does not begin with \"" + EscapeLine(prefix) + "\"");
    int answer = ButtonByName(command.args[1].text);
    std::vector<int> buttons = ButtonResults(spec.buttons);
    if (answer == 0 || std::find(buttons.begin(), buttons.end(), answer) == buttons.end())
        return fail("the message box has no button " + command.args[1].text);
    return answer;
}

std::optional<std::string> ScriptHost::AnswerFile(const OpenFileSpec&, std::string& failure) {
    const ScriptCommand* next = Peek();
    if (!next || next->verb != "file") {
        int line = next ? next->line : lineNumber_;
        failure = "line " + std::to_string(line) + ": the file dialog was not answered";
        return std::nullopt;
    }
    ScriptCommand command = *next;
    Consume();
    if (command.args[0].type == ScriptToken::Type::Word) return std::nullopt;  // file cancel
    return command.args[0].text;
}

void ScriptHost::Execute(const ScriptCommand& command) {
    const std::string& verb = command.verb;
    if (verb == "tab") return Tab(command);
    if (verb == "set") return Set(command);
    if (verb == "check" || verb == "uncheck") return CheckBox(command, verb == "check");
    if (verb == "choose") return Choose(command);
    if (verb == "sort") return Sort(command);
    if (verb == "key" || verb == "type") return KeyOrType(command);
    if (verb == "press") return Press(command);
    if (verb == "expect") return Expect(command);
    if (verb == "dump") return Dump();
    if (verb == "wait") return Wait(std::stoull(command.args[0].text));
    if (verb == "answer") return FailAt(command.line, "no message box is shown");
    if (verb == "file") return FailAt(command.line, "no file dialog is shown");
    FailAt(command.line, "unknown command " + verb);
}

int ScriptHost::ExitStatus(int consoleCode) {
    while (const ScriptCommand* next = Peek()) {
        FailAt(next->line, next->verb == "answer" ? "no message box was shown for this answer"
                                                  : "no window was open for this command");
        Consume();
    }
    return Failed() ? 3 : consoleCode;
}

std::unique_ptr<ScriptHost> MakeScriptHostFromEnvironment(std::ostream& out) {
    const std::string path = platform::EnvironmentValue("ZELLA_SCRIPT");
    if (path.empty()) return nullptr;
    if (path == "-") return std::make_unique<ScriptHost>(std::cin, out);
    auto file = std::make_unique<std::ifstream>(path, std::ios::binary);
    if (!*file) {
        auto host = std::make_unique<ScriptHost>(std::make_unique<EmptyStream>(), out);
        host->FailAt(0, std::string("cannot open the script ") + path);
        return host;
    }
    return std::make_unique<ScriptHost>(std::move(file), out);
}

}  // namespace ui
