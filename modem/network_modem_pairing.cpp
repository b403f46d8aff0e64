#include "modem/network_modem_pairing.h"

#include <algorithm>
#include <optional>

#include "acctdb/acctdb.h"
#include "config/config_store.h"
#include "modem/network_modem.h"
#include "platform/clock.h"
#include "platform/ini.h"
#include "ui/access_keys.h"

namespace modem {

namespace {

constexpr int kPollTimer = 1;
constexpr const char* kDirectText =
    "QuvSMS is waiting for your device to connect on port 8990.\r\n\r\n"
    "On the Android device, configure QuvSMS Modem to connect to this server.";
constexpr const char* kCloudText =
    "QuvSMS is waiting for your device to connect to the cloud so that it can be paired "
    "with this server.\r\n\r\nOn the Android device, configure QuvSMS Modem to connect "
    "remote via the cloud.";
constexpr std::size_t kWaitTextSize = 500;

std::string PairingValue(const char* key) {
    return platform::GetPrivateProfileString(config::ConfigurationPath(), kPairingSection, key, "");
}

std::string CloudLine() {
    const std::string server = config::ReadZellaKey("CloudServer");
    return server.empty() ? "Connecting to QuvSMS Modem Cloud..."
                          : "Please connect to Cloud Server ID: " + server;
}

class PairingWait : public ui::Dialog {
public:
    explicit PairingWait(bool cloud) : ui::Dialog(PairingWaitTemplate()), cloud_(cloud) {}

    void OnInit() override {
        SetText("text", cloud_ ? kCloudText : DirectWaitText());
        Show("cloudline", cloud_);
        if (cloud_) SetText("cloudline", CloudLine());
        started_ = platform::Clock().TickCount();
        SetTimer(kPollTimer, 1000);
    }

    void OnTimer(int timerId) override {
        if (timerId != kPollTimer) return;
        if (cloud_ && config::ReadZellaKey("CloudServer").size() > 0) SetText("cloudline", CloudLine());
        if (!PairingStatus().empty()) {
            Close(ui::kOk);
        } else if (platform::Clock().TickCount() - started_ >= kPairingTimeoutMs) {
            Close(ui::kCancel);
        }
    }

    void OnCancel() override { Close(ui::kCancel); }

private:
    void Close(int result) {
        KillTimer(kPollTimer);
        End(result);
    }

    bool cloud_;
    std::uint64_t started_ = 0;
};

}  // namespace

bool EnsureServicesActive(ui::Host& host, const ServiceChecks& checks) {
    const bool active = checks.gatewayActive && checks.gatewayActive();
    const bool mmsc = checks.mmscInstalled && checks.mmscInstalled();
    if (active && mmsc) return true;
    const int answer = ui::Ask(host,
                               "QuvSMS Services are not active.\r\n\r\n"
                               "Do you wish to enable QuvSMS Services?",
                               ui::Buttons::YesNoCancel);
    if (answer == ui::kYes && checks.enableServices) checks.enableServices(host);
    return checks.gatewayActive && checks.gatewayActive();
}

bool IsStorableSecret(const std::string& secret) {
    if (std::any_of(secret.begin(), secret.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 32; })) {
        return false;
    }
    if (secret.empty()) return true;
    for (char edge : {secret.front(), secret.back()}) {
        if (edge == ' ' || edge == '"' || edge == '\'') return false;
    }
    return true;
}

bool WritePairingRequest(const std::string& device, const std::string& secret, bool cloud) {
    platform::IniBatch batch(config::ConfigurationPath());
    batch.Write(kPairingSection, "ModemName", device);
    if (secret.empty()) {
        batch.DeleteKey(kPairingSection, "Password");
    } else {
        batch.Write(kPairingSection, "Password", secret);
    }
    batch.DeleteKey(kPairingSection, "Status");
    if (cloud) {
        batch.Write(kPairingSection, "Cloud", "Yes");
    } else {
        batch.DeleteKey(kPairingSection, "Cloud");
    }
    return batch.Commit();
}

std::string PairingStatus() { return PairingValue("Status"); }

std::string PairingDeviceName() { return PairingValue("ModemName"); }

void DeletePairingRequest() {
    platform::WritePrivateProfileString(config::ConfigurationPath(), kPairingSection, std::nullopt,
                                        std::nullopt);
}

std::string DirectWaitText() {
    const std::string port = acctdb::SMSIniGetProfileString("ZELLA", "QuvsmsModemPort", "", 500);
    if (port.empty() || port == "8990") return kDirectText;
    return ReplaceAllNoCase(kDirectText, "8990", port, kWaitTextSize);
}

ui::Template PairingWaitTemplate() {
    using namespace ui;
    return ui::WithAccessKeys(ui::Template{"DIALOG_QUVSMSWAIT",
                    "Waiting for Connection",
                    {Static("text", kDirectText, Flag::Wide),
                     Static("cloudline", "Connecting to QuvSMS Modem Cloud...", Flag::Wide),
                     Row("buttons", {Button(IDCANCEL, "Connect Later")})}});
}

bool PairingWaitDialog(ui::Host& host, bool cloud) {
    PairingWait dialog(cloud);
    return host.RunModal(dialog) == ui::kOk;
}

}  // namespace modem
