// "Add Android Modem": a local phone proved with /init, or a remote or cloud phone
// paired through the Gateway service.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "acctdb/acctdb.h"
#include "config/config_store.h"
#include "modem/network_modem.h"
#include "modem/network_modem_dialogs.h"
#include "smsc/connection_edit.h"
#include "platform/cancel.h"
#include "platform/text.h"
#include "ui/long_operation.h"
#include "ui/access_keys.h"

namespace modem {

namespace {

constexpr int kListTimer = 1;
constexpr int kListTimerMs = 2000;
// Between two searches: the account store's search may return at once (no daemon), and
// the thread must not spin.
constexpr int kDiscoveryPauseMs = 1000;
constexpr int kStopSliceMs = 50;
constexpr const char* kBadDeviceName =
    "The device name must have 1 to 115 characters, without tabs or line breaks.";

constexpr const char* kTypeControls[] = {"list", "address", "cloudid", "device", "secret", "add"};

// The background search that runs while the dialog is open; stopped and joined when the
// dialog goes.
class DiscoveryThread {
public:
    explicit DiscoveryThread(std::function<void()> discover) {
        if (!discover) return;
        running_.store(true);
        thread_ = std::thread([this, discover = std::move(discover)] {
            // Closing the dialog cancels the token, so a search under way ends at once.
            platform::ScopedCancelToken scope(&stop_);
            while (running_.load()) {
                discover();
                for (int waited = 0; waited < kDiscoveryPauseMs && running_.load();
                     waited += kStopSliceMs) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(kStopSliceMs));
                }
            }
        });
    }
    ~DiscoveryThread() {
        running_.store(false);
        stop_.Cancel();
        if (thread_.joinable()) thread_.join();
    }
    DiscoveryThread(const DiscoveryThread&) = delete;
    DiscoveryThread& operator=(const DiscoveryThread&) = delete;

private:
    std::atomic<bool> running_{false};
    platform::CancelToken stop_;
    std::thread thread_;
};

class AddNetworkModem : public ui::Dialog {
public:
    explicit AddNetworkModem(const NetworkModemServices& services)
        : ui::Dialog(AddNetworkModemTemplate()), services_(services) {}

    void OnInit() override {
        discovery_ = std::make_unique<DiscoveryThread>(services_.discover);
        SetText("cloudid", "(not enabled)");
        for (const char* id : kTypeControls) Show(id, false);
        SetTimer(kListTimer, kListTimerMs);
        FillList();
    }

    void OnTimer(int timerId) override {
        if (timerId == kListTimer) FillList();
    }

    void OnCommand(const std::string& id, ui::Event event) override {
        if (id == "list") {
            const int at = Selection("list");
            if (at >= 0) SetText("address", Items("list")[at]);
        } else if (id == "local" || id == "remote" || id == "cloud") {
            ShowType();
        } else if (id == "add" && event == ui::Event::Clicked) {
            AddModem();
        }
    }

    void OnOk() override { AddModem(); }
    void OnCancel() override { Close(ui::kCancel); }

    std::string entry;

private:
    void FillList() {
        if (!services_.discovered) return;
        for (const std::string& text : services_.discovered()) {
            if (FindItem("list", text) >= 0) continue;
            if (services_.configured && services_.configured(kNetworkModemPrefix + text)) continue;
            AddItem("list", text);
        }
    }

    void ShowType() {
        const bool local = Checked("local"), remote = Checked("remote"), cloud = Checked("cloud");
        for (const char* id : {"list", "address"}) Show(id, local);
        Show("cloudid", cloud);
        for (const char* id : {"device", "secret"}) Show(id, remote || cloud);
        Show("add", local || remote || cloud);
    }

    void AddModem() {
        if (Checked("remote") || Checked("cloud")) {
            AddRemote(Checked("cloud"));
            return;
        }
        if (!Checked("local")) return;
        const std::string address = Text("address");
        if (address.empty()) return;
        if (!ProbeWithProgress(GetHost(), services_, address)) {
            ui::Error(GetHost(), "Unable to connect to modem");
            return;
        }
        entry = kNetworkModemPrefix + address + "\tRouteName=" + ShortDeviceName(address);
        Close(ui::kOk);
    }

    void AddRemote(bool cloud) {
        const std::string device = Text("device"), secret = Text("secret");
        if (device.find_first_not_of(' ') == std::string::npos) return;
        if (!IsUsableDeviceText(device)) {
            ui::Error(GetHost(), kBadDeviceName);
            return;
        }
        if (!IsStorableSecret(secret)) {
            ui::Error(GetHost(), kBadSecret);
            return;
        }
        if (!EnsureServicesActive(GetHost(), services_.checks)) return;
        if (!WritePairingRequest(device, secret, cloud)) return;
        PairingWaitDialog(GetHost(), cloud);
        if (platform::EqualsNoCase(PairingStatus(), "OK")) {
            ui::MessageBoxSpec spec;
            spec.text = "Modem connected successfuly.\r\n\r\nPress OK to set connection properties.";
            spec.caption = GetHost().Caption();
            GetHost().MessageBox(spec);
        } else if (ui::Ask(GetHost(), "Modem not connected. Save anyway?", ui::Buttons::YesNoCancel) !=
                   ui::kYes) {
            DeletePairingRequest();
            return;
        }
        entry = kNetworkModemPrefix + device + "\tRouteName=" + ShortDeviceName(device) +
                "\tRemote=Yes\t" + (cloud ? "Cloud=Yes\t" : "") + "Password=" + secret;
        Close(ui::kOk);
    }

    void Close(int result) {
        KillTimer(kListTimer);
        discovery_.reset();
        End(result);
    }

    const NetworkModemServices& services_;
    std::unique_ptr<DiscoveryThread> discovery_;
};

}  // namespace

bool ProbeWithProgress(ui::Host& host, const NetworkModemServices& services,
                       const std::string& device) {
    if (!services.probe) return false;
    return ui::RunLong<bool>(host, "Connecting to " + device + "...",
                             [&](ui::Host&) { return services.probe(device); });
}

bool DefaultsWithProgress(ui::Host& host, const NetworkModemServices& services,
                          const std::string& device, std::string* url, std::string* proxy) {
    url->clear();
    proxy->clear();
    if (!services.defaults) return false;
    return ui::RunLong<bool>(host, "Connecting to " + device + "...",
                             [&](ui::Host&) { return services.defaults(device, url, proxy); });
}

NetworkModemServices DefaultNetworkModemServices() {
    NetworkModemServices s;
    s.probe = ProbeNetworkModem;
    s.defaults = QuvsmsModemHasDefaultSettings;
    s.discover = [] { acctdb::FindQuvSMSModem(0, 0, 300); };
    s.discovered = [] { return acctdb::QuvsmsModemCacheDevices(); };
    // The page's own list, not the stored keys: those stop at the first empty key, and
    // the page may hold a phone it has not stored yet.
    s.configured = [](const std::string& name) {
        for (const std::string& listed : smsc::PageConnectionNames())
            if (platform::EqualsNoCase(listed, name)) return true;
        return false;
    };
    return s;
}

ui::Template AddNetworkModemTemplate() {
    using namespace ui;
    return ui::WithAccessKeys(ui::Template{
        "DIALOG_ADDQUVSMSMODEM",
        "Add Android Modem",
        {Group("type", "Connection Type",
               {Radio("local", "Local WiFi", Flag::GroupStart), Radio("remote", "Remote Direct"),
                Radio("cloud", "Remote via Cloud")}),
         List("list", "Select from list:"),
         Edit("address", "Or, enter IP address and port:  (example: 10.0.0.200:8990)"),
         Edit("cloudid", "Cloud Server ID:", Flag::ReadOnly),
         Edit("device", "Device Name:"),
         Edit("secret", "Shared Secret:", Flag::Password),
         Row("buttons", {Button("add", "Add Modem", Flag::Default), Button(IDCANCEL, "Cancel")})}});
}

bool RunAddNetworkModem(ui::Host& host, const NetworkModemServices& services, std::string& record) {
    AddNetworkModem dialog(services);
    if (host.RunModal(dialog) != ui::kOk || dialog.entry.empty()) return false;
    record = dialog.entry;
    return true;
}

}  // namespace modem
