#include "ui/host.h"

#include <cassert>
#include <cstdio>
#include <string>

#include "platform/cancel.h"

namespace ui {

std::vector<int> ButtonResults(Buttons buttons) {
    switch (buttons) {
        case Buttons::Ok:
            return {kOk};
        case Buttons::OkCancel:
            return {kOk, kCancel};
        case Buttons::YesNo:
            return {kYes, kNo};
        case Buttons::YesNoCancel:
            return {kYes, kNo, kCancel};
        case Buttons::RetryCancel:
            return {kRetry, kCancel};
        case Buttons::AbortRetryIgnore:
            return {kAbort, kRetry, kIgnore};
    }
    return {kOk};
}

std::string ResultName(int result) {
    switch (result) {
        case kOk:
            return "OK";
        case kCancel:
            return "Cancel";
        case kAbort:
            return "Abort";
        case kRetry:
            return "Retry";
        case kIgnore:
            return "Ignore";
        case kYes:
            return "Yes";
        case kNo:
            return "No";
    }
    return std::to_string(result);
}

int MessageBox(Host& host, const std::string& text, Icon icon, Buttons buttons, int defaultButton) {
    MessageBoxSpec spec;
    spec.text = text;
    spec.caption = host.Caption();
    spec.icon = icon;
    spec.buttons = buttons;
    spec.defaultButton = defaultButton;
    return host.MessageBox(spec);
}

void Info(Host& host, const std::string& text) { MessageBox(host, text, Icon::Information); }

void Error(Host& host, const std::string& text) { MessageBox(host, text, Icon::Error); }

int Ask(Host& host, const std::string& text, Buttons buttons, int defaultButton) {
    return MessageBox(host, text, Icon::Question, buttons, defaultButton);
}

int DefaultAnswer(const MessageBoxSpec& spec) {
    std::vector<int> results = ButtonResults(spec.buttons);
    if (spec.defaultButton >= 0 && spec.defaultButton < static_cast<int>(results.size()))
        return results[spec.defaultButton];
    return results.front();
}

bool Host::RunLongOperation(const std::string& progress, const std::function<void(Host&)>& operation) {
    // Nested in another long operation: its token already reaches every wait.
    if (platform::CurrentCancelToken() != nullptr) {
        SetProgress(progress);
        operation(*this);
        return platform::CancelRequested();
    }
    platform::CancelToken token;
    platform::ScopedCancelToken scope(&token);
    operation(*this);
    return token.Cancelled();
}

void Host::UnknownControl(const std::string& templateId, const std::string& controlId) {
    std::fprintf(stderr, "ui: %s has no control \"%s\"\n", templateId.c_str(), controlId.c_str());
    assert(!"a dialog procedure used a control its template does not have");
}

namespace {

class NoWait : public WaitCursor {};

class NullHostImpl : public Host {
public:
    int RunModal(Dialog&) override { return kCancel; }
    int RunSheet(Sheet&) override { return kCancel; }
    int MessageBox(const MessageBoxSpec& spec) override { return DefaultAnswer(spec); }
    bool GetFileName(const OpenFileSpec&, std::string&) override { return false; }
    std::unique_ptr<WaitCursor> BusyCursor() override { return std::make_unique<NoWait>(); }
    void KeepPainted() override {}
    void SetClipboardText(const std::string&) override {}
    bool ShellOpen(const std::string&, const std::string&) override { return false; }
};

}  // namespace

Host& NullHost() {
    static NullHostImpl host;
    return host;
}

}  // namespace ui
