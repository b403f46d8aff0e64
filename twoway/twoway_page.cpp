#include "twoway/twoway_page.h"

#include <algorithm>

#include "config/config_store.h"
#include "platform/charsets.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "platform/text.h"
#include "shell/core/console_page.h"
#include "shell/core/console_state.h"
#include "shell/core/service_control.h"
#include "twoway/keyword_command.h"
#include "twoway/keyword_dialog.h"
#include "twoway/keyword_store.h"
#include "twoway/php_support.h"
#include "ui/long_operation.h"
#include "ui/access_keys.h"

namespace twoway {
namespace {

using namespace ui;

constexpr const char* kDefaultCharset = "(default)";

std::optional<std::string_view> Value(const std::string& text) {
    return text.empty() ? std::nullopt : std::optional<std::string_view>(text);
}

class TwoWayPage : public shell::ConsolePage {
public:
    explicit TwoWayPage(TwoWayViewers viewers)
        : ConsolePage(TwoWayTemplate()), viewers_(std::move(viewers)) {}

    void OnInit() override {
        const bool status = shell::Console().statusPageEnabled;
        Show("viewSms", status);
        Show("viewMms", status);
        std::vector<std::string> charsets{kDefaultCharset};
        for (const std::string& name : platform::CharsetNames()) charsets.push_back(name);
        SetItems("charset", charsets);
        // Charset names are case-blind: a stored "ISO-8859-1" is the listed "iso-8859-1".
        const std::string charset = config::ReadZellaKey("ReceiveSMSCharset", "utf-8");
        const auto known = std::find_if(charsets.begin(), charsets.end(), [&](const std::string& c) {
            return platform::EqualsNoCase(c, charset);
        });
        SetSelection("charset", known == charsets.end() ? 0 : static_cast<int>(known - charsets.begin()));
        SetChecked("receiveSms", config::IsYes(config::ReadZellaKey("ReceiveSMS", "Yes")));
        FillTable(-1);
        SetChecked("receiveMms", config::IsYes(config::ReadZellaKey("ReceiveMMS", "No")));
        SetChecked("mmsToSms", config::IsYes(config::ReadZellaKey("2WayMMSToSMS")));
        SetText("postUrl", config::ReadZellaKey("2WayMMSPostURL"));
        LoadPhp();
        UpdateEnabled();
    }

    void OnCommand(const std::string& id, Event event) override {
        if (id == "commands" && event == Event::DoubleClicked) return EditSelected();
        if (id == "postUrl" && event == Event::Changed) return SettingChanged();
        if (id == "charset" && event == Event::SelChanged) return SettingChanged();
        if (event != Event::Clicked) return;
        if (id == "add") {
            Add();
        } else if (id == "edit") {
            EditSelected();
        } else if (id == "remove") {
            Remove();
        } else if (id == "receiveSms" || id == "receiveMms" || id == "mmsToSms") {
            UpdateEnabled();
            SettingChanged();
        } else if (id == "phpEnable") {
            PhpClicked();
        } else if (id == "phpRemote") {
            SettingChanged();
        } else if (id == "viewSms" && viewers_.receivedSms) {
            viewers_.receivedSms(GetHost());
        } else if (id == "viewMms" && viewers_.receivedMms) {
            viewers_.receivedMms(GetHost());
        }
    }

    bool OnApply() override {
        const bool sms = Checked("receiveSms"), mms = sms && Checked("receiveMms");
        config::WriteZellaKey("ReceiveSMS", sms ? "Yes" : "No");
        config::WriteZellaKey("ReceiveMMS", mms ? "Yes" : "No");
        if (Checked("receiveMms") && Checked("mmsToSms")) {
            config::WriteZellaKey("2WayMMSToSMS", "Yes");
            config::WriteZellaKey("2WayMMSPostURL", std::nullopt);
        } else {
            config::WriteZellaKey("2WayMMSToSMS", std::nullopt);
            std::string url = Text("postUrl");
            if (!url.empty() && url.find("://") == std::string::npos) {
                url = "http://" + url;
                SetText("postUrl", url);
            }
            config::WriteZellaKey("2WayMMSPostURL", Value(url));
        }
        ApplyPhp();
        const std::string charset = Text("charset");
        config::WriteZellaKey("ReceiveSMSCharset",
                              charset == kDefaultCharset ? std::nullopt : Value(charset));
        if (GetSheet()) GetSheet()->SetChanged(false);
        return true;
    }

private:
    void UpdateEnabled() {
        const bool sms = Checked("receiveSms");
        for (const char* id : {"tableLabel", "commands", "add", "edit", "remove", "receiveMms"})
            Enable(id, sms);
        const bool mms = sms && Checked("receiveMms");
        Enable("mmsToSms", mms);
        Enable("postUrl", mms && !Checked("mmsToSms"));
    }

    // Rebuilds the table and selects `row` (the last row when past the end).
    void FillTable(int row) {
        keys_.clear();
        std::vector<std::string> lines;
        for (KeywordTableRow& r : KeywordTable()) {
            keys_.push_back(std::move(r.key));
            lines.push_back(std::move(r.line));
        }
        const int count = static_cast<int>(lines.size());
        SetItems("commands", std::move(lines));
        if (row >= count) row = count - 1;
        SetSelection("commands", row);
    }

    std::string SelectedKey() const {
        const int row = Selection("commands");
        if (row < 0 || row >= static_cast<int>(keys_.size())) return {};
        return keys_[static_cast<std::size_t>(row)];
    }

    void SelectKey(const std::string& key) {
        FillTable(-1);
        for (std::size_t i = 0; i < keys_.size(); ++i) {
            if (keys_[i] == key) SetSelection("commands", static_cast<int>(i));
        }
    }

    void Add() {
        std::string key;
        if (EditKeywordCommand(GetHost(), key) != 1) return;
        AppendKeyword(key);
        SelectKey(key);
    }

    void EditSelected() {
        const std::string old = SelectedKey();
        if (old.empty()) return;
        std::string key = old;
        if (EditKeywordCommand(GetHost(), key) != 1) return;
        if (key != old) RenameKeyword(old, key);
        SelectKey(key);
    }

    void Remove() {
        const int row = Selection("commands");
        const std::string key = SelectedKey();
        if (key.empty()) return;
        platform::WritePrivateProfileString(config::ConfigurationPath(), KeywordSectionName(key),
                                            std::nullopt, std::nullopt);
        RemoveKeyword(key);
        FillTable(row);
    }

    void ShowPhpNote(bool on) {
        if (on) platform::CreateDirectories(config::PhpDirectory());
        SetText("phpNote", on ? LocalPhpAddress() + " resolves to " + config::PhpDirectory() : "");
        Enable("phpRemote", on);
    }

    // LocatePhpCgi as a long operation: a search of the program folders can take a
    // while on a large /opt. Returns whether it was cancelled.
    bool LocatePhp(bool& found, std::string& message) {
        std::string path;
        found = false;
        return ui::RunLong(GetHost(), "Looking for the PHP CGI program...",
                           [&](ui::Host&) { found = LocatePhpCgi(path, message); });
    }

    void LoadPhp() {
        phpWasEnabled_ = config::IsYes(config::ReadZellaKey("PHPEnable"));
        bool on = false;
        std::string message;
        if (phpWasEnabled_) LocatePhp(on, message);
        SetChecked("phpEnable", on);
        SetChecked("phpRemote", config::IsYes(config::ReadZellaKey("PHPAllowRemote")));
        ShowPhpNote(on);
    }

    void PhpClicked() {
        if (Checked("phpEnable")) {
            bool found = false;
            std::string message;
            const bool cancelled = LocatePhp(found, message);
            if (found) {
                ShowPhpNote(true);
            } else {
                SetChecked("phpEnable", false);
                if (!cancelled) Error(GetHost(), message);
            }
        } else {
            ShowPhpNote(false);
        }
        SettingChanged();
    }

    void ApplyPhp() {
        const bool on = Checked("phpEnable");
        config::WriteZellaKey("PHPEnable", on ? "Yes" : "No");
        config::WriteZellaKey("PHPAllowRemote", Checked("phpRemote") ? "Yes" : "No");
        const bool wasOn = phpWasEnabled_;
        phpWasEnabled_ = on;
        if (on && !wasOn && Ask(GetHost(), "Restart QuvSMS service to enable PHP Support?") == kYes)
            shell::RestartGatewayService(GetHost(), false);
    }

    TwoWayViewers viewers_;
    std::vector<std::string> keys_;  // the keyword key of each table row
    bool phpWasEnabled_ = false;
};

}  // namespace

ui::Template TwoWayTemplate() {
    return ui::WithAccessKeys(ui::Template{
        "DIALOG_RECV",
        "2-Way",
        {Row("smsRow", {Check("receiveSms", "Process Received SMS Messages"), Button("viewSms", "View")}),
         Static("tableLabel", "Received SMS Command Table", Flag::Wide),
         List("commands", "", Flag::Wide, {24, 60}),
         Row("tableButtons", {Button("add", "Add..."), Button("edit", "Edit..."), Button("remove", "Remove")}),
         Row("mmsRow", {Check("receiveMms", "Process received MMS Messages"), Button("viewMms", "View")}),
         Check("mmsToSms", "Use SMS 2-Way Commands"),
         Edit("postUrl", "HTTP Post URL for MMS:"),
         Combo("charset", "Character Set:"),
         Group("php", "PHP",
               {Check("phpEnable", "Enable Local PHP Processing"), Static("phpNote", "", Flag::Wide),
                Check("phpRemote", "Allow External Web Access to PHP Scripts")})}}, ui::kSheetAccessKeys);
}

std::unique_ptr<ui::Page> CreateTwoWayPage(TwoWayViewers viewers) {
    return std::make_unique<TwoWayPage>(std::move(viewers));
}

}  // namespace twoway
