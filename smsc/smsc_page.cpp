#include "smsc/smsc_page.h"

#include <algorithm>
#include <cctype>

#include "config/config_store.h"
#include "config/connection_stats.h"
#include "modem/add_modem_dialog.h"
#include "modem/connection_type.h"
#include "modem/modem_properties_dialog.h"
#include "modem/restrictions_dialog.h"
#include "platform/clock.h"
#include "platform/ini.h"
#include "shell/core/console_state.h"
#include "shell/core/link_libraries.h"
#include "shell/core/service_control.h"
#include "smsc/connection_dialogs.h"
#include "smsc/connection_status.h"
#include "platform/text.h"
#include "ui/access_keys.h"

namespace smsc {

namespace {

constexpr int kRefreshTimer = 1;


// Connection ids whose controls disappear while the list is empty.
constexpr const char* kListControls[] = {"connections", "remove", "test", "properties", "stats"};

ui::Control DetailBox() {
    ui::Control box =
        ui::Edit("detail", "", ui::Flag::Multiline | ui::Flag::ReadOnly | ui::Flag::Wide);
    box.height = 5;
    return box;
}

}  // namespace

ui::Template SmscPageTemplate(const std::string& title) {
    using namespace ui;
    return ui::WithAccessKeys(ui::Template{
        "DIALOG_SMSC",
        title,
        {Static("none", kNoConnectionsText, Flag::Wide | Flag::Hidden),
         List("connections", "SMSC Connections:"),
         Row("buttons", {Button("add", "&Add..."), Button("properties", "&Properties..."),
                         Button("test", "&Test..."), Button("remove", "&Remove"),
                         Button("stats", "&Stats..."), Button("restrictions", "Restrictions...")}),
         Static("cloud", "", Flag::Wide), Static("queue", "", Flag::Wide),
         Static("status", "", Flag::Wide), DetailBox()}}, ui::kSheetAccessKeys);
}

SmscPageServices DefaultSmscPageServices() {
    SmscPageServices s;
    s.serviceActive = [] {
        return shell::IsGatewayServiceInstalled() && shell::IsGatewayServiceActive();
    };
    s.smppAvailable = [] { return shell::SmppLink() != nullptr; };
    s.ucpAvailable = [] { return shell::UcpLink() != nullptr; };
    s.cimdAvailable = [] { return shell::CimdLink() != nullptr; };
    s.queueSize = [] { return shell::Console().outboundQueueSize.load(); };
    return s;
}

SmscPage::SmscPage(const std::string& title, SmscPageServices services)
    : shell::ConsolePage(SmscPageTemplate(title)), services_(std::move(services)) {}

void SmscPage::OnInit() {
    entries_ = LoadConnectionEntries();
    loadedNames_ = ConnectionNames();
    ShowList(0);
    UpdateVisibility();
    SetTimer(kRefreshTimer, 1000);
    Refresh();  // the status lines are filled when the page opens, not a tick later
}

void SmscPage::OnSetActive() { forceRefresh_ = true; }

bool SmscPage::OnKillActive() {
    if (!entries_.empty()) return true;
    return ui::MessageBox(GetHost(), kLeaveEmptyQuestion, ui::Icon::Warning,
                          ui::Buttons::YesNoCancel) == ui::kYes;
}

bool SmscPage::OnApply() {
    // Another console or the service may have changed the list since it was read: storing
    // an untouched copy would undo their work, and the orphan clean-up would delete their
    // sections.
    if (!dirty_) return true;
    std::vector<ConnectionEntry> merged =
        MergeConnectionList(entries_, loadedNames_, config::ListConnections());
    if (!StoreConnectionList(merged)) {
        ui::Error(GetHost(),
                  "Unable to save the SMSC connections to " + config::ConfigurationPath());
        return false;
    }
    const int selected = Selection("connections");
    const std::string selectedName =
        selected >= 0 && selected < static_cast<int>(entries_.size()) ? entries_[selected].name
                                                                        : std::string();
    entries_ = std::move(merged);
    loadedNames_ = ConnectionNames();
    int select = 0;
    for (std::size_t i = 0; i < entries_.size(); ++i)
        if (entries_[i].name == selectedName) select = static_cast<int>(i);
    ShowList(select);
    UpdateVisibility();
    dirty_ = false;
    return true;
}

void SmscPage::OnCommand(const std::string& id, ui::Event event) {
    if (id == "connections") {
        if (event == ui::Event::DoubleClicked) {
            if (const int index = SelectedOrComplain(); index >= 0) Properties(index);
        }
        return;
    }
    if (event != ui::Event::Clicked) return;
    if (id == "add") {
        Add();
        return;
    }
    const bool needsSelection = id == "properties" || id == "test" || id == "remove" ||
                                id == "stats" || id == "restrictions";
    if (!needsSelection) return;
    const int index = SelectedOrComplain();
    if (index < 0) return;
    const std::string name = entries_[index].name;
    if (id == "properties")
        Properties(index);
    else if (id == "test")
        TestMessageDialog(GetHost(), name);
    else if (id == "remove")
        Remove(index);
    else if (id == "stats")
        config::ShowConnectionStats(GetHost(), name);
    else
        modem::RestrictionsDialog(GetHost(), name);
}

void SmscPage::OnTimer(int timerId) {
    if (timerId != kRefreshTimer) return;
    // Whole seconds, so a tick every second refreshes about every third second.
    const std::int64_t now = platform::Clock().UnixMillis() / 1000;
    if (!forceRefresh_ && now - lastRefreshSecond_ <= 2) return;
    forceRefresh_ = false;
    lastRefreshSecond_ = now;
    Refresh();
}

void SmscPage::Add() {
    int type = modem::kGsmModem;
    if (services_.smppAvailable()) {
        type = modem::ChooseConnectionType(GetHost(),
                                           {services_.ucpAvailable(), services_.cimdAvailable()});
    }
    ui::Host& host = GetHost();
    std::string record;
    bool ok = false;
    switch (type) {
        case modem::kGsmModem:
            ok = modem::AddModemDialog(host, ConnectionNames(), record);
            break;
        case modem::kSmpp:
            ok = EditSmppConnection(host, record);
            break;
        case modem::kHttp:
            ok = EditHttpConnection(host, record);
            break;
        case modem::kUcp:
            ok = EditUcpConnection(host, record);
            break;
        case modem::kCimd:
            ok = EditCimdConnection(host, record);
            break;
        case modem::kAndroidPhone:
            ok = AddNetworkModemDialog(host, record);
            break;
        default:
            return;
    }
    if (!ok || record.empty()) return;
    const int index = TakeRecord(record, -1, false);
    const std::string name = entries_[index].name;
    if (type == modem::kGsmModem) {
        Properties(index);
    } else if (type == modem::kAndroidPhone) {
        Properties(index);
        const bool kept = std::any_of(entries_.begin(), entries_.end(),
                                      [&](const ConnectionEntry& e) { return e.name == name; });
        if (kept) {
            if (services_.serviceActive()) config::WriteReloadTrigger();
            if (ui::Ask(host, "Would you like to send a test message via this modem?",
                        ui::Buttons::YesNoCancel) == ui::kYes) {
                TestMessageDialog(host, name);
            }
        }
    }
    ApplyNow();
}

void SmscPage::Properties(int index) {
    const std::string name = entries_[index].name;
    std::string record = entries_[index].Record();
    ui::Host& host = GetHost();
    bool ok = false, network = false, ignoreCase = false;
    if (HasPrefix(name, "SMPP - ")) {
        ok = EditSmppConnection(host, record);
    } else if (HasPrefix(name, "HTTP - ")) {
        ok = EditHttpConnection(host, record);
        ignoreCase = true;
    } else if (HasPrefix(name, "UCP - ")) {
        ok = EditUcpConnection(host, record);
    } else if (HasPrefix(name, "CIMD - ")) {
        ok = EditCimdConnection(host, record);
    } else if (HasPrefix(name, "QuvSMSModem - ")) {
        network = true;
        ok = NetworkModemPropertiesDialog(host, record);
    } else {
        ok = modem::ModemPropertiesDialog(host, record, EditMmsSettings);
    }
    if (ok && !record.empty()) {
        TakeRecord(record, index, ignoreCase);
    } else if (network && config::FindConnection(name) == 0) {
        // Added in this session but never stored: it goes with its dialog.
        entries_.erase(entries_.begin() + index);
        ShowList(std::min<int>(index, static_cast<int>(entries_.size()) - 1));
        UpdateVisibility();
    }
    if (network) {
        platform::WritePrivateProfileString(config::ConfigurationPath(), "QuvSMSModemTest",
                                            std::nullopt, std::nullopt);
    }
    ApplyNow();
}

void SmscPage::Remove(int index) {
    const std::string name = entries_[index].name;
    ui::MessageBoxSpec spec;
    spec.text = "Delete this connection?";
    spec.caption = name;
    spec.icon = ui::Icon::Question;
    spec.buttons = ui::Buttons::YesNoCancel;
    spec.defaultButton = 1;
    if (GetHost().MessageBox(spec) != ui::kYes) return;
    if (HasPrefix(name, "QuvSMSModem - ")) RemoveNetworkModemAccount(name);
    entries_.erase(entries_.begin() + index);
    ShowList(std::min<int>(index, static_cast<int>(entries_.size()) - 1));
    MarkChanged();
    dirty_ = true;
    UpdateVisibility();
    ApplyNow();
}

int SmscPage::SelectedOrComplain() {
    const int index = Selection("connections");
    if (index >= 0 && index < static_cast<int>(entries_.size())) return index;
    ui::Error(GetHost(), "No connection selected");
    return -1;
}

int SmscPage::TakeRecord(const std::string& record, int index, bool ignoreCase) {
    ConnectionEntry entry = EntryFromRecord(record);
    if (index < 0) {
        entries_.push_back(std::move(entry));
        index = static_cast<int>(entries_.size()) - 1;
    } else {
        const std::string before = entries_[index].Text(), after = entry.Text();
        const bool same = ignoreCase ? platform::EqualsNoCase(before, after) : before == after;
        if (!same) entries_[index] = std::move(entry);
    }
    ShowList(index);
    MarkChanged();
    dirty_ = true;
    UpdateVisibility();
    return index;
}

void SmscPage::ShowList(int select) {
    std::vector<std::string> items;
    items.reserve(entries_.size());
    for (const ConnectionEntry& e : entries_) items.push_back(e.display);
    SetItems("connections", std::move(items));
    if (select >= 0 && select < static_cast<int>(entries_.size())) {
        SetSelection("connections", select);
    }
}

void SmscPage::UpdateVisibility() {
    const bool empty = entries_.empty();
    Show("none", empty);
    for (const char* id : kListControls) Show(id, !empty);
}

void SmscPage::ApplyNow() {
    // The unsaved-changes flag is the sheet's: set by another tab, it must not turn a
    // cancelled dialog into a store of that tab's pending edits.
    if (!dirty_) return;
    if (ui::Sheet* sheet = GetSheet()) {
        sheet->ApplyAll();
    } else {
        OnApply();
    }
}

void SmscPage::Refresh() {
    SetTextIfChanged("cloud", CloudLineText());
    SetTextIfChanged("queue", QueueLineText(services_.queueSize()));
    const SmscStatus status = StatusText(services_.serviceActive());
    SetTextIfChanged("status", status.headline);
    SetTextIfChanged("detail", status.detail);
}

void SmscPage::SetTextIfChanged(const std::string& id, const std::string& text) {
    if (Text(id) != text) SetText(id, text);
}

std::vector<std::string> SmscPage::ConnectionNames() const {
    std::vector<std::string> names;
    for (const ConnectionEntry& e : entries_) names.push_back(e.name);
    return names;
}

std::unique_ptr<ui::Page> CreateSmscPage(const std::string& title) {
    return std::make_unique<SmscPage>(title);
}

}  // namespace smsc
