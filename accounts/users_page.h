// The "SMS Users" page: the accounts of the store with add, edit, delete and statistics
// (accounts are stored at once), and the gateway-wide per-user settings that wait for
// Apply: default message limits, separate outbound queues and the user queue threshold.
#pragma once

#include <memory>
#include <string>

#include "acctdb/acctdb.h"
#include "shell/core/console_page.h"
#include "ui/template.h"

namespace accounts {

// The fixed key under which older configurations scrambled their single web password.
inline constexpr const char* kLegacyWebKey = "pelmora";
inline constexpr const char* kStoreOpenFailed =
    "The user account store could not be opened. Accounts cannot be listed or changed.";
// Shown when a change did not reach the store (another program kept it locked past the
// store's wait, or the file cannot be written); the change is lost, so it must be said.
inline constexpr const char* kStoreWriteFailed =
    "The change could not be saved: the user account store is busy or cannot be written. "
    "Please try again.";

// "DIALOG_USERS", tab title "SMS Users".
ui::Template UsersPageTemplate();

// Takes an older configuration's web login (WebUserName / WebPass of [ZELLA]) into an
// empty store: an account of that name, the unscrambled password, the name as full name.
// The two keys are removed only once the account is really in the store. True when an
// account was taken over.
bool MigrateLegacyWebLogin(acctdb::UserHandle handle);

class UsersPage : public shell::ConsolePage {
public:
    UsersPage();
    ~UsersPage() override;

    void OnInit() override;
    void OnSetActive() override;
    bool OnApply() override;
    void OnCommand(const std::string& id, ui::Event event) override;
    std::vector<std::string> OnGetRow(const std::string& id, int row) override;
    bool OnKey(const std::string& id, ui::Key key) override;
    bool OnTypeAhead(const std::string& id, const std::string& text) override;

private:
    void Edit();
    void Add();
    // Stores an edited record and refreshes the list; a store that refuses it is reported.
    void Store(const acctdb::UserRecord& record);
    void Delete();
    void Stats();
    void RefreshList();
    // The record at a row, through the one-record cache; false when it cannot be fetched.
    bool Fetch(int row, acctdb::UserRecord& record);
    void FollowLimits();
    void FollowSeparate();

    acctdb::UserHandle handle_ = 0;
    acctdb::UserRecord cached_;
    int cachedIndex_ = -1;
};

}  // namespace accounts
