#include "accounts/smpp_clients.h"

#include <algorithm>
#include <string_view>

#include "accounts/quota.h"
#include "accounts/user_stats.h"
#include "accounts/user_editor.h"
#include "accounts/users_page.h"
#include "acctdb/acctdb.h"
#include "config/credit.h"
#include "platform/file_locks.h"
#include "platform/files.h"
#include "platform/text.h"
#include "ui/dialog.h"
#include "ui/access_keys.h"

namespace accounts {
namespace {

constexpr int kRefreshTimer = 1;
constexpr int kRefreshMs = 5000;
constexpr std::size_t kDetailsMax = 2047;
constexpr const char* kList = "clients";

std::string Plural(std::uint32_t n, const char* what) {
    return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

std::string EntryUser(const std::string& entry) { return entry.substr(0, entry.find('\t')); }

class SmppClientMonitor : public ui::Dialog {
public:
    SmppClientMonitor() : ui::Dialog(SmppClientsTemplate()) {}
    void OnInit() override {
        SetEmptyText(kList, "No SMPP client is connected.");
        Refresh();
        SetTimer(kRefreshTimer, kRefreshMs);
    }
    void OnTimer(int) override { Refresh(); }
    void OnCancel() override { Close(); }
    void OnOk() override { Close(); }
    void OnCommand(const std::string& id, ui::Event event) override;

private:
    void Close() {
        KillTimer(kRefreshTimer);
        End(ui::kOk);
    }
    void Refresh();
    void ShowDetails();
    std::string SelectedUser() const {
        const int sel = Selection(kList);
        return sel < 0 ? "" : EntryUser(Items(kList)[sel]);
    }
    // Runs `change` on the selected user's record in a store opened for it and stores the
    // record when `change` says so; false (after telling the operator) when that failed.
    bool WithRecord(const std::function<bool(acctdb::UserHandle, acctdb::UserRecord&)>& change);

    std::vector<FlagFile> live_;
};

void SmppClientMonitor::Refresh() {
    const int sel = Selection(kList);
    const std::string remembered = sel < 0 ? "" : Items(kList)[sel].substr(0, Items(kList)[sel].find('\t') + 1);
    live_ = LiveFlagFiles();
    std::vector<std::string> entries = MonitorEntries(live_);
    if (entries == Items(kList)) return;
    SetItems(kList, entries);
    if (!remembered.empty())
        for (std::size_t i = 0; i < entries.size(); ++i)
            if (platform::StartsWithNoCase(entries[i], remembered)) {
                SetSelection(kList, static_cast<int>(i));
                break;
            }
    ShowDetails();
}

void SmppClientMonitor::ShowDetails() {
    const std::string user = SelectedUser();
    const std::string text = user.empty() ? "" : MonitorDetails(user, live_);
    if (!platform::EqualsNoCase(text, Text("details"))) SetText("details", text);
}

bool SmppClientMonitor::WithRecord(
    const std::function<bool(acctdb::UserHandle, acctdb::UserRecord&)>& change) {
    const std::string user = SelectedUser();
    acctdb::UserHandle handle = 0;
    if (user.empty()) return true;
    if (!acctdb::SMSOpenUserFile(&handle, acctdb::GENERIC_READ | acctdb::GENERIC_WRITE)) {
        ui::Error(GetHost(), kStoreOpenFailed);
        return false;
    }
    bool stored = true;
    acctdb::UserRecord record;
    if (acctdb::SMSFindUserRecord(handle, user, &record) && change(handle, record) &&
        acctdb::SMSAddUser(handle, record) == 0) {
        ui::Error(GetHost(), kStoreWriteFailed);
        stored = false;
    }
    acctdb::SMSCloseUserFile(handle);
    return stored;
}

void SmppClientMonitor::OnCommand(const std::string& id, ui::Event event) {
    if (id == kList && event == ui::Event::SelChanged) return ShowDetails();
    if (event != ui::Event::Clicked) return;
    const std::string user = SelectedUser();
    if (id == "stats" && !user.empty()) {
        ShowUserStats(GetHost(), user);
    } else if (id == "edit") {
        WithRecord([&](acctdb::UserHandle handle, acctdb::UserRecord& record) {
            record.SetPassword(acctdb::kHiddenPasswordMarker);
            if (EditUser(GetHost(), record, handle) != 1) return false;
            record.SetUserName(user);
            return true;
        });
    } else if (id == "suspend") {
        bool found = false;
        const bool stored = WithRecord([&](acctdb::UserHandle, acctdb::UserRecord& record) {
            record.SetSmppLogin(false);
            found = true;
            return true;
        });
        // A suspension that did not reach the store is not announced as done.
        if (!found || !stored) return;
        config::DeleteCreditFile(user);
        config::CreateCreditFile(user);
        ui::Info(GetHost(), kSuspendedText);
    }
}

}  // namespace

std::optional<FlagFile> ParseFlagFileName(const std::string& name) {
    if (name.size() < 4 || !platform::EqualsNoCase(name.substr(name.size() - 4), ".FLG")) return std::nullopt;
    const std::string_view stem(name.data(), name.size() - 4);
    const std::size_t first = stem.find('-');
    if (first == std::string_view::npos) return std::nullopt;
    const std::size_t second = stem.find('-', first + 1);
    if (second == std::string_view::npos) return std::nullopt;
    const std::size_t third = stem.find('-', second + 1);
    if (third == std::string_view::npos) return std::nullopt;
    FlagFile flag;
    flag.address = stem.substr(0, first);
    flag.bind = third - second == 2 ? stem[second + 1] : 0;
    flag.user = stem.substr(third + 1);
    return flag;
}

std::string ActiveUsersDirectory() { return acctdb::GetPrivateDataDirectory() + "SMPPData/ActiveUsers/"; }

std::vector<FlagFile> LiveFlagFiles() {
    std::vector<FlagFile> live;
    const std::string dir = ActiveUsersDirectory();
    std::vector<platform::DirEntry> flags;
    platform::WalkDirectoryNames(dir, "*.FLG", [&](const platform::DirEntry& e) {
        if (!e.isDirectory) flags.push_back(e);
        return true;
    });
    if (flags.empty()) return live;
    // One read of the kernel's lock table answers "locked" for every flag at once; without
    // it (or for a flag it does not list) each flag is tested on its own below.
    const std::optional<platform::FileIdSet> locked = platform::LockedFiles();
    for (const platform::DirEntry& e : flags) {
        const bool listed = locked && e.device != 0 && locked->contains({e.device, e.inode});
        // A connection that ended leaves its flag unlocked: deleting it is the test. A flag
        // seen locked is live without the dearer attempt; one that is unlocked still goes
        // through the delete, which refuses if the service took the lock meanwhile.
        if (!listed) {
            const std::string path = dir + e.name;
            if (!platform::IsFileLocked(path) &&
                (platform::DeleteFileChecked(path) || !platform::PathExists(path)))
                continue;
        }
        if (auto flag = ParseFlagFileName(e.name)) live.push_back(*flag);
    }
    return live;
}

std::vector<std::string> MonitorEntries(const std::vector<FlagFile>& live) {
    std::map<std::string, std::pair<std::string, std::uint32_t>> users;  // lower-case key
    for (const FlagFile& flag : live) {
        const std::string key = platform::ToLowerAscii(flag.user);
        auto it = users.find(key);
        if (it != users.end()) ++it->second.second;
        else if (users.size() < kMaxMonitorUsers) users.emplace(key, std::make_pair(flag.user, 1u));
    }
    std::vector<std::string> entries;
    for (const auto& [key, value] : users)
        entries.push_back(value.first + "\t" +
                          (value.second == 1 ? "1 connection" : std::to_string(value.second) + " connections"));
    std::sort(entries.begin(), entries.end());
    return entries;
}

std::string MonitorDetails(const std::string& user, const std::vector<FlagFile>& live) {
    const UserQuota quota = ReadUserQuota(user);
    std::string text;
    if (quota.today != 0) text += Plural(quota.today, "message") + " sent today, ";
    text += Plural(quota.month, "message") + " sent this month\r\n\r\nConnections:\r\n";
    std::string previous;
    for (const FlagFile& flag : live) {
        if (!platform::EqualsNoCase(flag.user, user) || flag.address == previous) continue;
        previous = flag.address;
        std::uint32_t counts[3] = {};
        for (const FlagFile& other : live)
            if (other.address == flag.address && platform::EqualsNoCase(other.user, user))
                for (int i = 0; i < 3; ++i) counts[i] += other.bind == "TSR"[i];
        std::string line;
        const char* names[3] = {" transceiver", " sender", " receiver"};
        for (int i = 0; i < 3; ++i)
            if (counts[i] != 0) line += (line.empty() ? "" : ", ") + std::to_string(counts[i]) + names[i];
        text += flag.address + " - " + line + "\r\n";
    }
    return text.substr(0, kDetailsMax);
}

ui::Template SmppClientsTemplate() {
    using namespace ui;
    Control list = List(kList, "", Flag::Sorted, {100 / 4});
    list.height = 10;
    list.width = 50;
    Control details = Edit("details", "", Flag::Multiline | Flag::ReadOnly | Flag::Wide);
    details.height = 6;
    return ui::WithAccessKeys(ui::Template{"DIALOG_SMPPCLIENTS", "SMPP Client Connections",
                    {list, details,
                     Row("buttons", {Button("stats", "User Stats..."), Button("edit", "Edit User..."),
                                     Button("suspend", "Suspend User"), Button(IDOK, "Close", Flag::Default)})}});
}

void ShowSmppClientMonitor(ui::Host& host) {
    SmppClientMonitor monitor;
    host.RunModal(monitor);
}

}  // namespace accounts
