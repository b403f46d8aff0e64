// The GPRS connection test of the MMS settings.
#include <cstdio>

#include "modem/mms_settings_dialog.h"
#include "ui/long_operation.h"

namespace modem {

namespace {

constexpr const char* kRequired = "Field is required!";
constexpr const char* kTooLong = "Field is too long (at most 249 characters)!";
constexpr const char* kProgress = "Connection test in progress.\r\n\r\nPlease be patient...";
constexpr const char* kModemPrefix = "Modem: ";
constexpr int kAllocateSeconds = 30;

// What the long operation hands back to the UI thread.
struct DialOutcome {
    bool dialled = false;  // false: the test ended before dialling (already told)
    int result = 0;
};

// Gives the modem back however the operation ends.
class ModemLoan {
public:
    explicit ModemLoan(const MmsLink& link) : link_(link) {}
    ~ModemLoan() { link_.modemRelease(allocation_); }
    ModemLoan(const ModemLoan&) = delete;
    ModemLoan& operator=(const ModemLoan&) = delete;
    void Take(std::intptr_t allocation) { allocation_ = allocation; }

private:
    const MmsLink& link_;
    std::intptr_t allocation_ = 0;
};

void Warn(ui::Host& host, const std::string& text) {
    ui::MessageBox(host, text, ui::Icon::Warning);
}

// Makes sure the modem has a PDP context for the APN. False when the test must end.
bool CheckGprsContext(ui::Host& host, const MmsLink& link, const std::string& modem,
                      const std::string& apn) {
    if ((link.cidForApn(modem, apn, 0) & 0xFFFF) != 0) return true;
    const int defined = link.cidForApn(modem, apn, 1) & 0xFFFF;
    if (defined == 0) {
        Warn(host, "Warning:  Modem is not responding to GPRS commands.  Testing will continue.");
        return true;
    }
    if (defined == (link.cidForApn(modem, apn, 0) & 0xFFFF) || !link.updateInitStrings) return true;
    if (!link.updateInitStrings(modem, apn)) {
        Warn(host, "Warning:  Modem is not responding properly to GPRS commands.  Testing will continue.");
        return true;
    }
    const int answer = ui::MessageBox(host,
                                      "QuvSMS has updated your modem driver settings to enable GPRS "
                                      "connectivity.\r\n\r\nYour system must be rebooted to apply these "
                                      "updates.\r\n\r\nDo you wish to reboot now?",
                                      ui::Icon::Question, ui::Buttons::YesNo);
    if (answer != ui::kYes) return true;  // the operator tests on without the update
    // The console never restarts the machine itself: on a shared Linux host that is the
    // administrator's act, so the operator who chose to reboot is told so and the test
    // ends here.
    ui::MessageBox(host, "Please restart your system before continuing", ui::Icon::Information);
    return false;
}

DialOutcome Dial(ui::Host& host, const MmsLink& link, const GprsTestFields& f) {
    DialOutcome outcome;
    ModemLoan loan(link);
    if (!f.modem.empty()) {
        const std::intptr_t allocation = link.modemAllocate(f.modem, kAllocateSeconds);
        if (allocation == 0) {
            ui::MessageBox(host, "Unable to allocate modem, modem in use by QuvSMS",
                           ui::Icon::Information);
            return outcome;
        }
        loan.Take(allocation);
    }
    const std::string prefix = kModemPrefix;
    if (link.cidForApn && !f.apn.empty() && f.connection.rfind(prefix, 0) == 0 &&
        !CheckGprsContext(host, link, f.connection.substr(prefix.size()), f.apn)) {
        return outcome;
    }
    const std::string& target = f.proxy.empty() ? f.url : f.proxy;
    outcome.result = link.dial(f.connection, f.apn, f.login, f.password, target);
    outcome.dialled = true;
    if (outcome.result == 0) link.hangUp(f.connection);
    return outcome;
}

void ShowResult(ui::Host& host, const MmsLink& link, int result) {
    if (result == 0) {
        ui::MessageBox(host, "Connection Test OK!", ui::Icon::Information);
        return;
    }
    if (result == 1) {
        ui::MessageBox(host, "Unable to connect to WAP Gateway", ui::Icon::Error);
        return;
    }
    std::string text = "Connection Failed";
    if (result >= 600 && result <= 799) {
        char line[40];
        std::snprintf(line, sizeof line, "\r\nRAS Error %d\r\n", result);
        text += line;
        if (link.errorText) text += link.errorText(result);
    }
    if (text.size() > kGprsMessageLimit) text.resize(kGprsMessageLimit);
    ui::MessageBox(host, text, ui::Icon::Error);
}

}  // namespace

// Linux asks for no elevation before dialling (NetworkManager's own policy decides), so
// the administrator-rights question of other systems is not asked here.
GprsTestOutcome TestGprsConnection(ui::Host& host, const MmsLink& link, const GprsTestFields& f) {
    if (f.connection.empty()) {
        ui::MessageBox(host, kRequired, ui::Icon::Error);
        return GprsTestOutcome::MissingConnection;
    }
    if (f.url.empty()) {
        ui::MessageBox(host, kRequired, ui::Icon::Error);
        return GprsTestOutcome::MissingUrl;
    }
    // A text cut to the library's limit would dial with a wrong APN or password and
    // blame the network; refusing it says what is wrong.
    for (const std::string* field : {&f.proxy, &f.apn, &f.login, &f.password, &f.url}) {
        if (field->size() > kGprsFieldLimit) {
            ui::MessageBox(host, kTooLong, ui::Icon::Error);
            return GprsTestOutcome::FieldTooLong;
        }
    }
    const DialOutcome outcome = ui::RunLong<DialOutcome>(
        host, kProgress, [&](ui::Host& worker) { return Dial(worker, link, f); });
    if (outcome.dialled) ShowResult(host, link, outcome.result);
    return GprsTestOutcome::Tried;
}

}  // namespace modem
