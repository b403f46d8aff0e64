#include "accounts/users_page.h"

#include <optional>

#include "accounts/quota.h"
#include "accounts/scramble.h"
#include "accounts/user_editor.h"
#include "accounts/user_settings.h"
#include "config/config_store.h"
#include "platform/files.h"
#include "ui/long_operation.h"
#include "ui/access_keys.h"

namespace accounts {
namespace {

constexpr const char* kList = "users";

void WriteNumberKey(const char* key, const std::string& text) {
    const std::int32_t value = ReadNumber(text);
    if (value == 0)
        config::WriteZellaKey(key, std::nullopt);
    else
        config::WriteZellaKey(key, std::to_string(static_cast<std::uint32_t>(value)));
}

}  // namespace

ui::Template UsersPageTemplate() {
    using namespace ui;
    Control list = Report(kList, "", {"", ""}, Flag::MultiSelect);
    list.height = 12;
    Control threshold = ui::Edit("threshold", "User Queue Size Threshold:");
    threshold.width = 50;
    return ui::WithAccessKeys(ui::Template{
        "DIALOG_USERS",
        "SMS Users",
        {list,
         Row("buttons", {Button("add", "&Add..."), Button("edit", "&Edit..."), Button("delete", "&Delete"),
                         Button("stats", "&Stats")}),
         Group("limitsGroup", "",
               {Check("limits", "Enable message sending limits on user accounts"),
                ui::Edit("dayLimit", "Max Messages per Day:", Flag::Number),
                ui::Edit("monthLimit", "Max Messages per Month:", Flag::Number)}),
         Group("queueGroup", "",
               {Check("separate", "Separate outbound message queues for each user"),
                threshold})}}, ui::kSheetAccessKeys);
}

bool MigrateLegacyWebLogin(acctdb::UserHandle handle) {
    if (acctdb::SMSGetRecordCount(handle) != 0) return false;
    const std::string name = CutUtf8(config::ReadZellaKey("WebUserName"), kUserNameMax);
    if (name.empty()) return false;
    acctdb::UserRecord record;
    record.SetUserName(name);
    record.SetPassword(CutUtf8(UnscrambleText(kLegacyWebKey, config::ReadZellaKey("WebPass")), kPasswordMax));
    record.SetFullName(name);
    acctdb::SMSAddUser(handle, record);
    if (acctdb::SMSGetRecordCount(handle) == 0) return false;
    config::WriteZellaKey("WebUserName", std::nullopt);
    config::WriteZellaKey("WebPass", std::nullopt);
    return true;
}

UsersPage::UsersPage() : shell::ConsolePage(UsersPageTemplate()) {}

UsersPage::~UsersPage() {
    if (handle_ != 0) acctdb::SMSCloseUserFile(handle_);
}

void UsersPage::OnInit() {
    if (acctdb::SMSOpenUserFile(&handle_, acctdb::GENERIC_READ | acctdb::GENERIC_WRITE) == 0) {
        handle_ = 0;
        ui::Error(GetHost(), kStoreOpenFailed);
    } else {
        // Only the first opening after an upgrade writes; that write may wait for the store.
        ui::RunLong(GetHost(), "Moving the web login into the account store...",
                    [&](ui::Host&) { MigrateLegacyWebLogin(handle_); });
    }
    SetEmptyText(kList, handle_ == 0 ? "The account store could not be opened."
                                     : "No user accounts yet. Add... creates one.");
    RefreshList();
    if (RowCount(kList) > 0) SetSelectedRows(kList, {0});
    Focus(kList);
    const std::string day = config::ReadZellaKey("DefaultMsgLimitPerDay");
    const std::string month = config::ReadZellaKey("DefaultMsgLimitPerMonth");
    SetText("dayLimit", day);
    SetText("monthLimit", month);
    SetChecked("limits", !day.empty() && !month.empty());
    FollowLimits();
    SetChecked("separate", config::IsYes(config::ReadZellaKey("SeparateUserQueues", "Yes")));
    const std::int32_t threshold = ReadNumber(config::ReadZellaKey("UserQueueThreshold"));
    SetText("threshold", threshold == 0 ? "Default" : std::to_string(static_cast<std::uint32_t>(threshold)));
    FollowSeparate();
}

void UsersPage::OnSetActive() { RefreshList(); }

bool UsersPage::OnApply() {
    if (Checked("limits")) {
        WriteNumberKey("DefaultMsgLimitPerDay", Text("dayLimit"));
        WriteNumberKey("DefaultMsgLimitPerMonth", Text("monthLimit"));
    } else {
        config::WriteZellaKey("DefaultMsgLimitPerDay", std::nullopt);
        config::WriteZellaKey("DefaultMsgLimitPerMonth", std::nullopt);
    }
    const bool separate = Checked("separate");
    config::WriteZellaKey("SeparateUserQueues", separate ? "Yes" : "No");
    if (separate)
        WriteNumberKey("UserQueueThreshold", Text("threshold"));
    else
        config::WriteZellaKey("UserQueueThreshold", std::nullopt);
    if (GetSheet() != nullptr) GetSheet()->SetChanged(false);
    return true;
}

void UsersPage::OnCommand(const std::string& id, ui::Event event) {
    if (id == kList && event == ui::Event::DoubleClicked) return Edit();
    if (event == ui::Event::Changed && (id == "dayLimit" || id == "monthLimit" || id == "threshold"))
        return SettingChanged();
    if (event != ui::Event::Clicked) return;
    if (id == "add") Add();
    else if (id == "edit") Edit();
    else if (id == "delete") Delete();
    else if (id == "stats") Stats();
    else if (id == "limits") {
        SettingChanged();
        FollowLimits();
    } else if (id == "separate") {
        SettingChanged();
        FollowSeparate();
    }
}

bool UsersPage::OnKey(const std::string& id, ui::Key key) {
    if (id != kList) return false;
    switch (key) {
        case ui::Key::Enter: Edit(); break;
        case ui::Key::Insert: Add(); break;
        case ui::Key::Delete: Delete(); break;
    }
    return true;
}

// The store finds the account itself, so the list never fetches every record to search.
bool UsersPage::OnTypeAhead(const std::string& id, const std::string& text) {
    if (id != kList || handle_ == 0) return false;
    acctdb::UserRecord found;
    const int index = acctdb::SMSFindFirstUserRecord(handle_, text, &found);
    if (index < 0) return false;
    SetSelectedRows(kList, {index});
    return true;
}

std::vector<std::string> UsersPage::OnGetRow(const std::string& id, int row) {
    acctdb::UserRecord record;
    if (id != kList || !Fetch(row, record)) return {};
    return {record.UserName(), record.FullName()};
}

bool UsersPage::Fetch(int row, acctdb::UserRecord& record) {
    if (row != cachedIndex_) {
        if (handle_ == 0 || acctdb::SMSGetUserRecord(handle_, row, &cached_) == 0) {
            cachedIndex_ = -1;
            return false;
        }
        cachedIndex_ = row;
    }
    record = cached_;
    return true;
}

void UsersPage::RefreshList() {
    cachedIndex_ = -1;
    SetRowCount(kList, handle_ == 0 ? 0 : acctdb::SMSGetRecordCount(handle_));
}

void UsersPage::Edit() {
    const std::vector<int> rows = SelectedRows(kList);
    acctdb::UserRecord record;
    if (rows.empty() || !Fetch(rows.front(), record)) return;
    record.SetPassword(acctdb::kHiddenPasswordMarker);
    if (EditUser(GetHost(), record, handle_) == 1) Store(record);
}

void UsersPage::Add() {
    if (handle_ == 0) return;
    acctdb::UserRecord record;
    if (EditUser(GetHost(), record, handle_) == 1) Store(record);
}

// Writes wait while a service holds the store's write lock, so they are long operations:
// the page keeps painting from its own reader meanwhile and the operator may give up.
void UsersPage::Store(const acctdb::UserRecord& record) {
    int stored = 0;
    const bool cancelled = ui::RunLong(GetHost(), "Saving the account...", [&](ui::Host&) {
        stored = acctdb::SMSAddUser(handle_, record);
    });
    if (stored == 0 && !cancelled) ui::Error(GetHost(), kStoreWriteFailed);
    RefreshList();
}

void UsersPage::Delete() {
    const std::vector<int> rows = SelectedRows(kList);
    if (rows.empty()) return;
    const std::string question =
        rows.size() == 1 ? "Delete User?" : "Delete " + std::to_string(rows.size()) + " users?";
    if (ui::Ask(GetHost(), question, ui::Buttons::YesNo, 1) != ui::kYes) return;
    // The store closes the gap of each deleted row, so names are taken first.
    std::vector<std::string> names;
    for (int row : rows) {
        acctdb::UserRecord record;
        if (Fetch(row, record)) names.push_back(record.UserName());
    }
    bool failed = false;
    const bool cancelled = ui::RunLong(GetHost(), "Deleting accounts...", [&](ui::Host&) {
        for (const std::string& name : names) {
            acctdb::UserRecord left;
            if (acctdb::SMSDeleteUser(handle_, name) == 0 && acctdb::SMSFindUserRecord(handle_, name, &left)) {
                // The account is still there: its folder and keys stay with it.
                failed = true;
                return;
            }
            // The mended name: a user called ".." must never take the users folder with it.
            platform::DeleteDirectoryTree(UserFolder(name));
            DeleteUserKeys(name);
        }
    });
    if (failed && !cancelled) ui::Error(GetHost(), kStoreWriteFailed);
    RefreshList();
    SetSelectedRows(kList, {});
}

void UsersPage::Stats() {
    const std::vector<int> rows = SelectedRows(kList);
    acctdb::UserRecord record;
    if (rows.empty() || !Fetch(rows.front(), record)) return;
    ShowUserStats(GetHost(), record.UserName());
}

void UsersPage::FollowLimits() {
    Enable("dayLimit", Checked("limits"));
    Enable("monthLimit", Checked("limits"));
}

void UsersPage::FollowSeparate() { Enable("threshold", Checked("separate")); }

}  // namespace accounts
