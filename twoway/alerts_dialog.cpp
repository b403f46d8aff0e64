#include "twoway/alerts_dialog.h"

#include <array>

#include "acctdb/acctdb.h"
#include "config/config_store.h"
#include "platform/net_interfaces.h"
#include "shell/core/link_libraries.h"
#include "twoway/alert_message.h"
#include "twoway/smtp_client.h"
#include "ui/long_operation.h"
#include "ui/access_keys.h"

namespace twoway {
namespace {

using namespace ui;

constexpr std::size_t kAlertValueSize = 2048;
constexpr const char* kFieldRequired = "Field is required";
constexpr const char* kNoControls = "Line breaks and control characters are not allowed here";

// The alert-kind boxes: checked is the default (key deleted), unchecked stores "No".
const std::array<std::pair<const char*, const char*>, 3> kKindBoxes{{
    {"info", "AlertEMailSendInfo"}, {"warning", "AlertEMailSendWarning"}, {"error", "AlertEMailSendError"}}};

std::string Read(const char* key) { return config::ReadZellaKey(key, "", kAlertValueSize); }

// Decimal digits only; anything else (letters, a sign, blanks) is 0.
unsigned long ParseNumber(const std::string& text) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
        return 0;
    return std::stoul(text);
}

unsigned PortOf(const std::string& text) {
    const unsigned long port = ParseNumber(text);
    return port == 0 || port > 65535 ? 25 : static_cast<unsigned>(port);
}

std::string MachineName() { return platform::MachineHostName("quvsms").substr(0, 250); }

class AlertsDialog : public Dialog {
public:
    explicit AlertsDialog(std::uint64_t secondMs) : Dialog(AlertsTemplate()), secondMs_(secondMs) {}

    void OnInit() override {
        const std::string recip = Read("AlertEMailRecip");
        SetChecked("enable", !recip.empty());
        SetText("to", recip);
        SetText("from", Read("AlertEMailSender"));
        SetText("server", Read("AlertEMailSMTPServer"));
        SetText("port", std::to_string(PortOf(Read("AlertEMailSMTPPort"))));
        SetChecked("ssl", config::IsYes(Read("AlertEMailSMTPUseSSL")));
        SetText("user", Read("AlertEMailSMTPUser"));
        SetText("password", Read("AlertEMailSMTPPass"));
        for (const auto& [id, key] : kKindBoxes) SetChecked(id, config::ReadZellaKey(key, "Yes") != "No");
        const unsigned long queue = ParseNumber(Read("AlertEMailQueueSize"));
        SetChecked("queue", queue != 0);
        SetText("threshold", queue != 0 ? std::to_string(queue) : "");
        UpdateEnabled();
    }

    void OnCommand(const std::string& id, Event event) override {
        if (event != Event::Clicked) return;
        if (id == "enable" || id == "queue") {
            if (Checked("enable") && Checked("queue")) SetChecked("warning", true);
            UpdateEnabled();
        } else if (id == "test") {
            SendTest();
        }
    }

    void OnOk() override {
        if (Checked("enable") && !AddressesValid()) return;
        if (!FieldsClean()) return;
        Save();
        End(kOk);
    }

private:
    void UpdateEnabled() {
        const bool on = Checked("enable");
        for (const char* id : {"to", "from", "server", "port", "ssl", "user", "password", "info",
                               "warning", "error", "queue", "test"})
            Enable(id, on);
        Enable("threshold", on && Checked("queue"));
    }

    bool Refuse(const char* id, const char* text) {
        Error(GetHost(), text);
        Focus(id);
        return false;
    }

    bool AddressesValid() {
        for (const char* id : {"to", "from"}) {
            if (Text(id).find('@') == std::string::npos) return Refuse(id, kFieldRequired);
        }
        return true;
    }

    bool FieldsClean() {
        for (const char* id : {"to", "from", "server", "port", "user", "password", "threshold"}) {
            if (HasControlCharacter(Text(id))) return Refuse(id, kNoControls);
        }
        return true;
    }

    void Write(const char* key, const std::string& value) {
        config::WriteZellaKey(key, value.empty() ? std::nullopt : std::optional<std::string_view>(value));
    }

    void Save() {
        Write("AlertEMailRecip", Checked("enable") ? Text("to") : "");
        Write("AlertEMailSender", Text("from"));
        Write("AlertEMailSMTPServer", Text("server"));
        Write("AlertEMailSMTPPort", Text("server").empty() ? "" : std::to_string(PortOf(Text("port"))));
        Write("AlertEMailSMTPUseSSL", Checked("ssl") ? "Yes" : "");
        Write("AlertEMailSMTPUser", Text("user"));
        Write("AlertEMailSMTPPass", Text("password"));
        Write("AlertEMailSMTPCertificate", trustedCertificate_);
        for (const auto& [id, key] : kKindBoxes) Write(key, Checked(id) ? "" : "No");
        const unsigned long queue = ParseNumber(Text("threshold"));
        Write("AlertEMailQueueSize", Checked("queue") && queue != 0 ? std::to_string(queue) : "");
    }

    // Fields are used whole: cutting them at a fixed length would send a truncated
    // address (a different mailbox) or a wrong password without telling anyone.
    std::string Field(const char* id) const { return Text(id); }

    void SendTest() {
        if (!AddressesValid() || !FieldsClean()) return;
        const std::vector<std::string> recipients = SplitRecipients(Field("to"));
        if (Field("server").empty()) return QueueThroughMmsc(recipients);
        SmtpTestSettings s;
        s.recipients = recipients;
        s.sender = Field("from");
        s.server = Field("server");
        s.port = PortOf(Text("port"));
        s.useTls = Checked("ssl");
        s.user = Field("user");
        s.password = Field("password");
        s.hostName = MachineName();
        s.secondMs = secondMs_;
        s.trustedCertificate = trustedCertificate_;
        s.tls = shell::TlsAvailable() ? shell::TlsLink() : nullptr;
        s.message = TestAlertMessage(s.sender, recipients,
                                     platform::UtcSystemTime(platform::Clock().UnixMillis()),
                                     acctdb::TZGetLocalTime());
        Host& host = GetHost();
        const SmtpTestOutcome outcome = RunLong<SmtpTestOutcome>(
            host, "Sending test message to " + s.server + "...",
            [&](Host&) { return SendSmtpTestMessage(s); });
        if (outcome.submitted) return Info(host, "Message submitted");
        if (outcome.untrustedCertificate.empty()) return Error(host, outcome.failure);
        // Trusting a server whose certificate cannot be verified (a private authority,
        // a self-signed certificate) is the operator's deliberate choice, tied to that
        // one certificate: another one later is questioned again.
        const std::string question = outcome.failure + "\r\n\r\nCertificate fingerprint (SHA-256):\r\n" +
                                     outcome.untrustedCertificate +
                                     "\r\n\r\nTrust this certificate for the SMTP server and send the "
                                     "test message again?";
        MessageBoxSpec box;
        box.text = question;
        box.caption = host.Caption();
        box.icon = Icon::Warning;
        box.buttons = Buttons::YesNo;
        box.defaultButton = 1;  // No: trusting is a deliberate choice
        if (host.MessageBox(box) != kYes) return;
        trustedCertificate_ = outcome.untrustedCertificate;
        SendTest();
    }

    void QueueThroughMmsc(const std::vector<std::string>& recipients) {
        const shell::MmscServiceState mmsc = shell::QueryMmscService();
        if (!mmsc.available || !mmsc.installed || !mmsc.active) {
            Error(GetHost(),
                  "If an SMTP Server is not defined, e-mail alerts can only be sent when the MMSC "
                  "Service is active");
            return;
        }
        const std::string dir = acctdb::GetProgramDataDirectory() + "MMSCOUT/";
        for (const QueuedAlert& q : QueueTestAlerts(dir, Field("from"), recipients)) {
            if (!q.written) {
                MessageBoxSpec box;
                box.text = q.path;
                box.caption = "Unable to create file";
                box.icon = Icon::Error;
                GetHost().MessageBox(box);
                return;
            }
            Info(GetHost(), "Message queued for sending");
        }
    }

    std::uint64_t secondMs_;
    std::string trustedCertificate_ = config::ReadZellaKey("AlertEMailSMTPCertificate");
};

}  // namespace

ui::Template AlertsTemplate() {
    return ui::WithAccessKeys(ui::Template{
        "DIALOG_ALERT",
        "E-Mail System Alerts",
        {Check("enable", "Enable E-Mail System Alerts"),
         Edit("to", "Send Alerts To:"),
         Edit("from", "Send Alerts From:"),
         Group("smtp", "SMTP Server",
               {Edit("server", "SMTP Server Address:"), Edit("port", "SMTP Port:", Flag::Number),
                Check("ssl", "Use SSL/TLS"), Edit("user", "SMTP User Name:"),
                Edit("password", "SMTP Password:", Flag::Password)}),
         Group("kinds", "Alerts",
               {Check("info", "Enable Informational Alerts"), Check("warning", "Enable Warning Alerts"),
                Check("error", "Enable Error Alerts"), Check("queue", "Enable Message Queue Size Alert"),
                Edit("threshold", "Queue Size Alert Threshold:", Flag::Number)}),
         Button("test", "Send Test E-Mail Message"),
         OkCancelRow()}});
}

int EditEmailAlerts(ui::Host& host, std::uint64_t secondMs) {
    AlertsDialog dialog(secondMs);
    return host.RunModal(dialog) == ui::kOk ? 1 : 0;
}

}  // namespace twoway
