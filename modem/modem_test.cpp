#include "modem/modem_test.h"

#include <algorithm>
#include <cctype>

#include "platform/cancel.h"
#include "platform/clock.h"
#include "platform/text.h"
#include "ui/long_operation.h"

namespace modem {
namespace {

constexpr std::size_t kResponseSize = 500;
constexpr std::size_t kPinLimit = 19;

struct Exchange {
    bool sent = false;
    std::size_t got = 0;
    std::string text;
    bool Ok() const { return sent && got > 0 && IsOkResponse(text); }
};

Exchange Send(ModemPort& port, const std::string& command, unsigned seconds) {
    Exchange e;
    e.sent = PortWrite(port, command);
    // Once the operator cancelled, nothing more is read: every step takes its no-answer
    // (failure) path at once, and what must still be sent (the abort) is sent.
    if (!e.sent || platform::CancelRequested()) return e;
    char buffer[kResponseSize];
    e.got = PortRead(port, buffer, sizeof buffer, seconds);
    if (e.got > 0) e.text = buffer;
    return e;
}

bool ContainsNoCase(const std::string& text, const std::string& what) {
    return platform::FindNoCase(text, what) != std::string_view::npos;
}

// The two messages of a command whose answer the test needs; false after showing one.
struct Texts {
    const char* sendFailed;
    const char* nothingRead;
};

bool Checked(ui::Host& host, const Exchange& e, const Texts& texts) {
    if (!e.sent) {
        ui::Error(host, texts.sendFailed);
        return false;
    }
    if (e.got == 0) {
        ui::Error(host, texts.nothingRead);
        return false;
    }
    return true;
}

// A PIN becomes part of a quoted command; quotes and control characters would end the
// command early and smuggle in another one, so such a PIN is never sent.
bool PinIsSendable(const std::string& pin) {
    return std::none_of(pin.begin(), pin.end(), [](char c) {
        return c == '"' || std::iscntrl(static_cast<unsigned char>(c));
    });
}

bool EnterPin(ui::Host& host, ModemPort& port, const std::string& pinText) {
    const std::string pin = pinText.substr(0, kPinLimit);
    if (ContainsNoCase(Send(port, "AT+CPIN?\r", 5).text, "READY")) return true;
    if (!PinIsSendable(pin)) {
        ui::Error(host, "Invalid PIN --\r\n\r\n");
        return false;
    }
    const Exchange entry = Send(port, "AT+CPIN=\"" + pin + "\"\r", 30);
    if (!entry.sent) return true;
    if (!entry.Ok()) {
        ui::Error(host, "Invalid PIN --\r\n\r\n" + entry.text);
        return false;
    }
    Send(port, "AT+CPIN?\r", 25);
    return true;
}

bool Initialise(ui::Host& host, ModemPort& port) {
    Exchange e = Send(port, "ATE0V1\r", 30);
    if (!Checked(host, e, {"Unable to send initialization command to modem",
                           "Error waiting for initialization response from modem"}))
        return false;
    if (!e.Ok()) {
        ui::Error(host, "Error initializing modem --\r\n\r\n" + e.text);
        return false;
    }
    e = Send(port, "ATE0V1\r", 30);
    if (!Checked(host, e, {"Unable to send initial command to modem",
                           "Error waiting for initial response from modem"}))
        return false;
    if (!e.Ok()) {
        ui::Error(host, "Error initialising modem --\r\n\r\n" + e.text);
        return false;
    }
    return true;
}

void RetrySmsService(ModemPort& port) {
    for (int retry = 0; retry < 8; ++retry) {
        platform::Clock().Sleep(5000);
        if (Send(port, "AT+CSMS=0\r", 30).Ok() || Send(port, "AT+CSMS=128\r", 30).Ok()) return;
        const Exchange query = Send(port, "AT+CSMS?\r", 30);
        if (query.Ok() && ContainsNoCase(query.text, "+CSMS:")) return;
    }
}

// The SMS service step: its rejection is tolerated, only a dead line ends the test.
bool SelectSmsService(ui::Host& host, ModemPort& port) {
    const Texts texts{"Unable to send SMS initialization command to modem",
                      "Error waiting for SMS initialization response from modem"};
    Exchange e = Send(port, "AT+CSMS=0\r", 30);
    if (!Checked(host, e, texts)) return false;
    if (e.Ok()) return true;
    e = Send(port, "AT+CSMS=128\r", 30);
    if (!Checked(host, e, texts)) return false;
    if (!e.Ok() && EnsureFullFunctionality(port)) {
        WaitForNetwork(port);
        RetrySmsService(port);
    }
    return true;
}

void AbortProbeMessage(ModemPort& port) {
    PortWrite(port, "\x1b");
    platform::Clock().Sleep(100);
    PortWrite(port, "\r");
    platform::Clock().Sleep(100);
    Send(port, "AT\r", 5);
}

// A probe message: the modem must wait for the body, not answer with a final result.
bool ProbeSend(ui::Host& host, ModemPort& port, const std::string& command, const char* mode) {
    if (!PortWrite(port, command)) {
        ui::Error(host, "Unable to send SMS message command to modem");
        return false;
    }
    char buffer[kResponseSize];
    const std::size_t got = PortRead(port, buffer, sizeof buffer, 5);
    if (platform::CancelRequested()) {
        // Silence here would count as support; a cancelled test has proved nothing, but
        // the modem may be waiting for a message body and must be brought back. The
        // abort runs to its end (its waits are short), so the modem has taken it before
        // the line is released.
        platform::ScopedCancelToken shield(nullptr);
        AbortProbeMessage(port);
        return false;
    }
    const std::string text = got > 0 ? std::string(buffer) : std::string();
    if (got > 0 && (IsOkResponse(text) || text.find("ERROR") != std::string::npos)) {
        ui::Error(host, std::string("Modem does not properly support command for sending SMS "
                                    "(AT+CMGS - ") + mode + ")");
        return false;
    }
    return true;
}

bool SelectSendingMode(ui::Host& host, ModemPort& port) {
    const Exchange pdu = Send(port, "AT+CMGF=0\r", 30);
    if (!Checked(host, pdu, {"Unable to send SMS PDU mode initialization command to modem",
                             "Error waiting for SMS PDU mode initialization response from modem"}))
        return false;
    if (pdu.Ok()) return ProbeSend(host, port, "AT+CMGS=86\r", "PDU mode");
    const Exchange text = Send(port, "AT+CMGF=1\r", 30);
    if (!text.sent) {
        ui::Error(host, "Unable to send SMS text mode initialization command to modem");
    } else if (text.got == 0) {
        ui::Error(host, "Error waiting for SMS text mode initialization response from modem");
    }
    return ProbeSend(host, port, "AT+CMGS=\"123456789\"\r", "text mode");
}

bool RunAtTest(ui::Host& host, ModemPort& port, const std::string& pin) {
    if (!pin.empty() && !EnterPin(host, port, pin)) return false;
    if (!Initialise(host, port) || !SelectSmsService(host, port) ||
        !SelectSendingMode(host, port))
        return false;
    AbortProbeMessage(port);
    ui::Info(host, "Modem successfully tested!");
    return true;
}

}  // namespace

bool EnsureFullFunctionality(ModemPort& port) {
    const Exchange state = Send(port, "AT+CFUN?\r", 10);
    if (!state.sent || state.got == 0) return false;
    std::size_t pos = state.text.find("+CFUN:");
    if (pos == std::string::npos) return false;
    pos += 6;
    while (pos < state.text.size() && state.text[pos] == ' ') ++pos;
    if (pos < state.text.size() && state.text[pos] == '1') return false;
    return Send(port, "AT+CFUN=1\r", 10).Ok();
}

namespace {
// After "+COPS:", a mode, then "," when an operator is selected.
bool Registered(const std::string& answer) {
    std::size_t pos = answer.find("+COPS:");
    if (pos == std::string::npos) return false;
    pos += 6;
    while (pos < answer.size() && answer[pos] == ' ') ++pos;
    while (pos < answer.size() && std::isdigit(static_cast<unsigned char>(answer[pos]))) ++pos;
    while (pos < answer.size() && answer[pos] == ' ') ++pos;
    return pos < answer.size() && answer[pos] == ',';
}

bool StorageAnswers(ModemPort& port) {
    for (int attempt = 0; attempt < 10; ++attempt) {
        const Exchange e = Send(port, "AT+CPMS?\r", 10);
        if (!e.sent || e.got == 0) return false;
        if (e.text.find("+CMS ERROR") == std::string::npos) return true;
        platform::Clock().Sleep(2000);
    }
    return false;
}
}  // namespace

bool WaitForNetwork(ModemPort& port) {
    EnsureFullFunctionality(port);
    for (int poll = 0; poll < 18; ++poll) {
        const Exchange e = Send(port, "AT+COPS?\r", 10);
        if (!e.sent || e.got == 0) return false;
        if (Registered(e.text)) return StorageAnswers(port);
        if (e.text.find("+COPS:") != std::string::npos) platform::Clock().Sleep(5000);
    }
    return false;
}

namespace {
// The host of one modem test as the operator should meet it: once the operator has
// cancelled, the steps' failures are the cancellation, not errors to report; and it
// remembers whether an error was told, so that one failure is told once.
class ModemTestHost : public ui::Host {
public:
    explicit ModemTestHost(ui::Host& host) : host_(host) { SetCaption(host.Caption()); }
    bool ErrorTold() const { return errorTold_; }

    int MessageBox(const ui::MessageBoxSpec& spec) override {
        if (spec.icon == ui::Icon::Error) {
            if (platform::CancelRequested()) return ui::DefaultAnswer(spec);
            errorTold_ = true;
        }
        return host_.MessageBox(spec);
    }
    int RunModal(ui::Dialog& dialog) override { return host_.RunModal(dialog); }
    int RunSheet(ui::Sheet& sheet) override { return host_.RunSheet(sheet); }
    bool GetFileName(const ui::OpenFileSpec& spec, std::string& path) override {
        return host_.GetFileName(spec, path);
    }
    std::unique_ptr<ui::WaitCursor> BusyCursor() override { return host_.BusyCursor(); }
    void KeepPainted() override { host_.KeepPainted(); }
    void SetClipboardText(const std::string& text) override { host_.SetClipboardText(text); }
    bool ShellOpen(const std::string& path, const std::string& dir) override {
        return host_.ShellOpen(path, dir);
    }
    bool RunLongOperation(const std::string& progress,
                          const std::function<void(ui::Host&)>& operation) override {
        return host_.RunLongOperation(progress, operation);
    }
    void SetProgress(const std::string& text) override { host_.SetProgress(text); }
    void UnknownControl(const std::string& templateId, const std::string& controlId) override {
        host_.UnknownControl(templateId, controlId);
    }

private:
    ui::Host& host_;
    bool errorTold_ = false;
};

bool RunTest(ui::Host& worker, const std::string& name, const std::string& pin) {
    ModemTestHost host(worker);
    ModemPort port = OpenModem(host, name);
    if (!port.IsOpen()) {
        // Said once: when opening told why already, or the operator cancelled, that is all.
        if (!host.ErrorTold() && !platform::CancelRequested()) {
            ui::Error(host, "Unable to access modem, ensure that it is powered on and passes "
                            "diagnostic tests.");
        }
        return false;
    }
    host.SetProgress("Testing modem " + name + "...");
    SetModemTimeouts(port, kTestTimeouts);
    if (EnsureFullFunctionality(port)) WaitForNetwork(port);
    const bool passed = RunAtTest(host, port, pin);
    port.Close();  // release before the operation ends
    return passed;
}
}  // namespace

bool TestModem(ui::Host& host, const std::string& name, const std::string& pin) {
    return ui::RunLong<bool>(host, "Opening modem " + name + "...", [&](ui::Host& worker) {
        return RunTest(worker, name, pin);
    });
}

}  // namespace modem
