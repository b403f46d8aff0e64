#include "shell/sheet/debug_logs_page.h"

#include "acctdb/acctdb.h"
#include "config/config_store.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "ui/access_keys.h"

namespace shell {

const std::array<DebugLogRow, 3> kDebugLogRows = {{
    {"smsDebug", "smsView", "SMS Gateway (smsdebug.log, smppdebug.log, etc.)", "ZELLA",
     "SMSDEBUG.LOG"},
    {"mmscDebug", "mmscView", "MMSC (mmscdebug.log)", "MMSC", "MMSCDEBUG.LOG"},
    {"wapDebug", "wapView", "Operator MMSC over GPRS (waplnkdebug.log)", "WAPLNK",
     "WAPLNKDEBUG.LOG"},
}};

namespace {

constexpr std::size_t kValueBuffer = 1024;

std::string DebugLogDirectory() { return acctdb::GetDebugLogDirectory(); }
std::string MmscDebugLogDirectory() { return acctdb::GetMMSCDebugLogDirectory(); }

}  // namespace

std::string DebugSwitchFile(std::size_t row) {
    switch (row) {
        case 0: return config::ConfigurationPath();
        case 1: return config::MmscIniPath();
        default: return acctdb::GetProgramDataDirectory() + "WAPLNK.INI";
    }
}

std::string DebugLogPath(std::size_t row) {
    std::string dir = row == 1 ? MmscDebugLogDirectory() : DebugLogDirectory();
    return dir + kDebugLogRows.at(row).logFile;
}

ui::Template DebugLogsPageTemplate() {
    std::vector<ui::Control> rows;
    rows.push_back(ui::Static("heading", "Enable Debug Logs:"));
    for (const DebugLogRow& row : kDebugLogRows) {
        // The check box leads its row; the renderer puts the three buttons in one column.
        rows.push_back(ui::Row(std::string(row.check) + "Row",
                               {ui::Check(row.check, row.label),
                                ui::Button(row.view, "View", ui::Flag::Disabled)}));
    }
    return ui::WithAccessKeys(ui::Template{"DIALOG_DEBUG", "Debug Logs", std::move(rows)}, ui::kSheetAccessKeys);
}

DebugLogsPage::DebugLogsPage() : ConsolePage(DebugLogsPageTemplate()) {}

void DebugLogsPage::OnInit() {
    for (std::size_t i = 0; i < kDebugLogRows.size(); ++i) {
        std::string value = platform::GetPrivateProfileString(
            DebugSwitchFile(i), kDebugLogRows[i].section, "Debug", "", kValueBuffer);
        SetChecked(kDebugLogRows[i].check, config::IsYes(value));
    }
    SetTimer(kViewTimer, kViewMs);
    OnTimer(kViewTimer);
}

void DebugLogsPage::OnTimer(int timerId) {
    if (timerId != kViewTimer) return;
    for (std::size_t i = 0; i < kDebugLogRows.size(); ++i) {
        bool exists = platform::FileExists(DebugLogPath(i));
        if (Enabled(kDebugLogRows[i].view) != exists) Enable(kDebugLogRows[i].view, exists);
    }
}

void DebugLogsPage::OnCommand(const std::string& id, ui::Event event) {
    if (event != ui::Event::Clicked) return;
    for (std::size_t i = 0; i < kDebugLogRows.size(); ++i) {
        if (id == kDebugLogRows[i].check) SettingChanged();
        if (id == kDebugLogRows[i].view) {
            std::string path = DebugLogPath(i);
            GetHost().ShellOpen(path, path.substr(0, path.find_last_of('/') + 1));
        }
    }
}

bool DebugLogsPage::OnApply() {
    for (std::size_t i = 0; i < kDebugLogRows.size(); ++i) {
        std::optional<std::string_view> value;
        if (Checked(kDebugLogRows[i].check)) value = "Yes";
        // A switch that was not stored must not look saved: the operator is told, and the
        // sheet keeps its unsaved changes.
        if (!platform::WritePrivateProfileString(DebugSwitchFile(i), kDebugLogRows[i].section,
                                                 "Debug", value)) {
            ui::Error(GetHost(), "Unable to save the debug log settings to " + DebugSwitchFile(i));
            return false;
        }
    }
    return true;
}

}  // namespace shell
