// The "Edit User" dialog: one account's record (login rights, password, limits,
// addresses, web menu, admin right), its settings kept in ZELLA.INI (routed recipient
// addresses, per-user SMPP options, priority), its credit balance and its quota use.
#pragma once

#include "acctdb/acctdb.h"
#include "ui/host.h"
#include "ui/template.h"

namespace accounts {

inline constexpr std::size_t kUserNameMax = 50;
inline constexpr std::size_t kPasswordMax = 50;
inline constexpr std::size_t kFullNameMax = 100;
inline constexpr std::size_t kAllowedIpsMax = 49;
inline constexpr std::size_t kForcedSenderMax = 50;
inline constexpr std::size_t kSpeedLimitMax = 9;

// "DIALOG_USERINFO", title "Edit User"; the name box is read-only for an existing account.
ui::Template UserEditorTemplate(bool existingAccount = false);

// `EditUser`: shows the editor for `record` (zeroed for a new account; for an existing
// one the store's record with the hidden password marker as password). Returns 1 after
// OK, with the record filled from the dialog (bytes the dialog does not edit kept as they
// came) and the INI keys and credit balance written; 0 after Cancel, nothing written.
int EditUser(ui::Host& host, acctdb::UserRecord& record, acctdb::UserHandle handle);

}  // namespace accounts
