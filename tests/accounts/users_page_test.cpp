// The SMS Users page and the user editor walked end to end on the real SQLite store under
// the headless host: migration of an older web login, add, duplicate, edit with the
// hidden password, per-user INI keys, slot limits, delete and Apply; and a store that
// another writer keeps locked or that is no database at all.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include "accounts/scramble.h"
#include "accounts/user_editor.h"
#include "accounts/users_page.h"
#include "acctdb/acctdb.h"
#include "platform/files.h"
#include "tests/config/temp_data_dir.h"
#include "ui/headless_host.h"

namespace {

class UsersPageTest : public DataDirTest {
protected:
    std::string Key(const std::string& section, const std::string& key) {
        return platform::GetPrivateProfileString(ini_, section, key, "<none>");
    }
    // The stored record of a user, through a store handle of its own.
    bool Stored(const std::string& name, acctdb::UserRecord& record) {
        acctdb::UserHandle h = 0;
        if (!acctdb::SMSOpenUserFile(&h, acctdb::GENERIC_READ)) return false;
        const int found = acctdb::SMSFindUserRecord(h, name, &record);
        acctdb::SMSCloseUserFile(h);
        return found != 0;
    }
    void Add(ui::HeadlessHost& host, const std::string& name, const std::string& password,
             std::function<void(ui::Dialog&)> more = {}) {
        host.QueueDialog("DIALOG_USERINFO", [=](ui::Dialog& d) {
            d.UserSetText("name", name);
            d.UserSetText("password", password);
            if (more) more(d);
            d.UserClick(ui::IDOK);
        });
    }
};

TEST_F(UsersPageTest, AddEditDeleteAndApplyWalkTheStoreAndTheIni) {
    SetZella("WebUserName", "webadmin");
    SetZella("WebPass", accounts::ScrambleText(accounts::kLegacyWebKey, "legacyPw"));
    SetZella("DefaultMsgLimitPerDay", "100");
    SetZella("DefaultMsgLimitPerMonth", "2000");
    ASSERT_TRUE(platform::WritePrivateProfileString(ini_, "SMPP", "UseTLV", "Yes"));

    ASSERT_TRUE(platform::WriteFileAtomic(config::UserDirectory("alice") + "2026.QTA", "1234"));
    ui::HeadlessHost host;
    accounts::UsersPage page;
    std::vector<std::vector<std::string>> rows;
    host.QueueDialog("DIALOG_USERS", [&](ui::Dialog& d) {
        rows.push_back(d.Row("users", 0));
        d.UserClick("add");  // alice: SMPP on, TLV off against the gateway's Yes, async on
        d.UserClick("add");  // ALICE again: refused
        d.UserSelectRows("users", {0});
        d.UserClick("edit");  // alice again, untouched password
        d.UserClick("add");   // over-long names are cut between characters
        rows.push_back(d.Row("users", 2));
        d.UserSelectRows("users", {0, 2});
        d.UserClick("delete");
        d.UserClick("limits");
        d.UserSetText("threshold", "0");
        EXPECT_TRUE(page.OnApply());  // what the sheet calls on OK
        d.End(ui::kOk);
    });
    Add(host, "alice", "s3cret", [](ui::Dialog& d) {
        EXPECT_TRUE(d.Checked("useTlv"));  // follows the gateway-wide value
        EXPECT_FALSE(d.Enabled("useTlv"));
        EXPECT_FALSE(d.Checked("defaultLimits") && !d.Enabled("defaultLimits"));
        d.UserClick("smppLogin");
        d.UserClick("useTlv");
        d.UserClick("async");
        d.UserClick("accept");
        d.UserSetText("routing", "+15550001,+15550002");
        d.UserClick("speed");
        d.UserSetText("speedText", "x/10");  // not a number first: not stored
    });
    host.QueueDialog("DIALOG_USERINFO", [](ui::Dialog& d) {
        d.UserSetText("name", "ALICE");
        d.UserClick(ui::IDOK);
        EXPECT_FALSE(d.IsEnded());
        d.UserClick(ui::IDCANCEL);
    });
    host.QueueDialog("DIALOG_USERINFO", [](ui::Dialog& d) {
        EXPECT_EQ(d.Text("password"), acctdb::kHiddenPasswordMarker);
        EXPECT_EQ(d.Text("routing"), "+15550001,+15550002");
        EXPECT_FALSE(d.Checked("useTlv"));
        EXPECT_TRUE(d.Checked("async"));
        d.UserClick(ui::IDOK);
    });
    const std::string u8 = "\xC3\xBC";  // a two-byte character
    std::string longName;
    for (int i = 0; i < 26; ++i) longName += u8;  // 52 bytes
    Add(host, longName, std::string(51, 'p'));
    host.QueueAnswer("User ALICE is already defined.", ui::kOk);
    host.QueueAnswer("Delete 2 users?", ui::kYes);
    host.RunModal(page);
    EXPECT_FALSE(host.Failed()) << host.TranscriptText();

    // The older web login became the first account and its keys are gone.
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"webadmin", "webadmin"}));
    acctdb::UserRecord rec;
    ASSERT_TRUE(Stored("webadmin", rec));
    EXPECT_EQ(rec.Password(), "legacyPw");
    EXPECT_EQ(Key("ZELLA", "WebUserName"), "<none>");
    EXPECT_EQ(Key("ZELLA", "WebPass"), "<none>");

    EXPECT_NE(host.TranscriptText().find("User ALICE is already defined."), std::string::npos);
    // Rows 0 and 2 were alice and the long name (store order ignores case; the two-byte
    // letters sort after "w"): both are gone with their keys, webadmin stays.
    EXPECT_FALSE(Stored("alice", rec));
    EXPECT_EQ(Key("Inbound SMS Routing", "alice"), "<none>");
    EXPECT_EQ(Key("SMPPServerAsyncWindowSize", "alice"), "<none>");
    EXPECT_EQ(Key("SMPPClient - alice", "UseTLV"), "<none>");
    EXPECT_TRUE(Stored("webadmin", rec));
    std::string cut;
    for (int i = 0; i < 25; ++i) cut += u8;
    EXPECT_EQ(rows[1], (std::vector<std::string>{cut, ""}));
    EXPECT_FALSE(Stored(cut, rec));
    EXPECT_FALSE(platform::DirectoryExists(config::UserDirectory() + "alice/"));
    EXPECT_EQ(Key("ZELLA", "DefaultMsgLimitPerDay"), "<none>");
    EXPECT_EQ(Key("ZELLA", "SeparateUserQueues"), "Yes");
    EXPECT_EQ(Key("ZELLA", "UserQueueThreshold"), "<none>");
}

TEST_F(UsersPageTest, EditorStoresKeysLimitsAndKeepsTheHiddenPassword) {
    ASSERT_TRUE(platform::WritePrivateProfileString(ini_, "SMPP", "UseTLV", "Yes"));
    acctdb::UserHandle h = 0;
    ASSERT_TRUE(acctdb::SMSOpenUserFile(&h, acctdb::GENERIC_READ | acctdb::GENERIC_WRITE));
    ui::HeadlessHost host;
    const std::string u8 = "\xE2\x82\xAC";  // three bytes
    std::string name;
    for (int i = 0; i < 17; ++i) name += u8;  // 51 bytes: one character too many
    acctdb::UserRecord record;
    record.bytes[214] = 0x5A;  // bytes the console does not name must come back unchanged
    record.bytes[500] = 0x77;
    Add(host, name + "x", std::string(60, 'p'), [](ui::Dialog& d) {
        d.UserClick("smppLogin");
        d.UserClick("speed");
        d.UserSetText("speedText", "10/60 and more");
        d.UserClick("async");
        d.UserSetText("fullName", std::string(120, 'f'));
        d.UserSetText("allowedIps", std::string(60, '1'));
    });
    ASSERT_EQ(accounts::EditUser(host, record, h), 1) << host.TranscriptText();
    std::string cut;
    for (int i = 0; i < 16; ++i) cut += u8;
    EXPECT_EQ(record.UserName(), cut);
    EXPECT_EQ(record.Password(), std::string(50, 'p'));
    EXPECT_EQ(record.FullName(), std::string(100, 'f'));
    EXPECT_EQ(record.AllowedIps(), std::string(49, '1'));
    EXPECT_EQ(record.ReceiveSpeedLimit(), "10/60 and");
    EXPECT_EQ(record.bytes[214], 0x5A);
    EXPECT_EQ(record.bytes[500], 0x77);
    EXPECT_EQ(Key("SMPPClient - " + cut, "UseTLV"), "<none>");  // same as the gateway
    EXPECT_EQ(Key("SMPPClient - " + cut, "UseDataSM"), "<none>");
    EXPECT_EQ(Key("SMPPServerAsyncWindowSize", cut), "5");
    EXPECT_EQ(Key("SMPPClient - " + cut, "SMSCCharset"), "<none>");
    ASSERT_TRUE(acctdb::SMSAddUser(h, record));

    // Gateway window 10 now: keeping async on lets the user follow it; then off writes 0.
    SetZella("SMPPServerAsyncWindowSize", "10");
    ASSERT_TRUE(acctdb::SMSFindUserRecord(h, cut, &record));
    record.SetPassword(acctdb::kHiddenPasswordMarker);
    host.QueueDialog("DIALOG_USERINFO", [](ui::Dialog& d) {
        EXPECT_TRUE(d.Checked("async"));
        d.UserClick("useTlv");
        d.UserSelect("charset", 3);
        d.UserClick(ui::IDOK);
    });
    ASSERT_EQ(accounts::EditUser(host, record, h), 1);
    EXPECT_EQ(Key("SMPPServerAsyncWindowSize", cut), "<none>");
    EXPECT_EQ(Key("SMPPClient - " + cut, "UseTLV"), "No");
    EXPECT_EQ(Key("SMPPClient - " + cut, "SMSCCharset"), "iso-8859-1");
    EXPECT_EQ(Key("SMPPClient - " + cut, "SMSCCharsetDefault"), "Yes");
    EXPECT_EQ(record.Password(), acctdb::kHiddenPasswordMarker);
    ASSERT_TRUE(acctdb::SMSAddUser(h, record));
    acctdb::UserRecord stored;
    ASSERT_TRUE(acctdb::SMSFindUserRecord(h, cut, &stored));
    EXPECT_EQ(stored.Password(), std::string(50, 'p'));

    host.QueueDialog("DIALOG_USERINFO", [](ui::Dialog& d) {
        d.UserClick("async");
        d.UserClick(ui::IDOK);
    });
    record.SetPassword(acctdb::kHiddenPasswordMarker);
    ASSERT_EQ(accounts::EditUser(host, record, h), 1);
    EXPECT_EQ(Key("SMPPServerAsyncWindowSize", cut), "0");
    acctdb::SMSCloseUserFile(h);
    EXPECT_FALSE(host.Failed()) << host.TranscriptText();
}

// Another program holding the store's write lock: the page still lists what is there (WAL
// readers go on), an added account waits out the store's bounded busy time and is then
// reported as not saved. A file that is no database is reported at once and left as it was.
TEST_F(UsersPageTest, StoreLockedByAnotherWriterOrNotADatabaseIsReported) {
    acctdb::UserHandle h = 0;
    ASSERT_TRUE(acctdb::SMSOpenUserFile(&h, acctdb::GENERIC_READ | acctdb::GENERIC_WRITE));
    acctdb::UserRecord bob;
    bob.SetUserName("bob");
    bob.SetPassword("pw");
    ASSERT_TRUE(acctdb::SMSAddUser(h, bob));
    acctdb::SMSCloseUserFile(h);

    const std::string store = acctdb::GetPrivateDataDirectory() + "USERS.DB";
    sqlite3* writer = nullptr;
    ASSERT_EQ(sqlite3_open_v2(store.c_str(), &writer, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(writer, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    {
        ui::HeadlessHost host;
        accounts::UsersPage page;
        std::vector<std::string> first;
        host.QueueDialog("DIALOG_USERS", [&](ui::Dialog& d) {
            first = d.Row("users", 0);
            d.UserClick("add");
        });
        Add(host, "carol", "pw");
        host.QueueAnswer(accounts::kStoreWriteFailed, ui::kOk);
        host.RunModal(page);
        EXPECT_FALSE(host.Failed()) << host.TranscriptText();
        EXPECT_EQ(first, (std::vector<std::string>{"bob", ""}));
    }
    sqlite3_exec(writer, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(writer);
    acctdb::UserRecord record;
    EXPECT_FALSE(Stored("carol", record));
    EXPECT_TRUE(Stored("bob", record));

    std::string junk = "This is a text file, not an account store.\n";
    for (int i = 0; i < 300; ++i) junk += static_cast<char>(i * 7);
    ASSERT_TRUE(platform::DeleteFileChecked(store));
    platform::DeleteFileChecked(store + "-wal");
    platform::DeleteFileChecked(store + "-shm");
    ASSERT_TRUE(platform::WriteFileAtomic(store, junk));
    {
        ui::HeadlessHost host;
        accounts::UsersPage page;
        int rows = -1;
        host.QueueDialog("DIALOG_USERS", [&](ui::Dialog& d) {
            rows = d.RowCount("users");
            d.UserClick("add");  // nothing to add to: no editor opens
        });
        host.QueueAnswer(accounts::kStoreOpenFailed, ui::kOk);
        host.RunModal(page);
        EXPECT_FALSE(host.Failed()) << host.TranscriptText();
        EXPECT_EQ(rows, 0);
    }
    std::string after;
    ASSERT_TRUE(platform::ReadFile(store, after));
    EXPECT_EQ(after, junk);
}

}  // namespace

namespace {

// The keys of the user list: Insert adds, letters find an account through the store,
// Enter edits it, Delete asks and keeps the account when the question is answered with
// its default; an empty store says so in the list.
TEST_F(UsersPageTest, ListKeysAddFindEditAndDeleteWithKeepingAsTheDefault) {
    ui::HeadlessHost host;
    accounts::UsersPage page;
    host.QueueDialog("DIALOG_USERS", [&](ui::Dialog& d) {
        EXPECT_EQ(d.State("users").emptyText, "No user accounts yet. Add... creates one.");
        EXPECT_TRUE(d.UserKey("users", ui::Key::Insert));
        EXPECT_TRUE(d.UserKey("users", ui::Key::Insert));
        ASSERT_EQ(d.RowCount("users"), 2);
        d.UserSelectRows("users", {0});
        EXPECT_TRUE(d.UserTypeAhead("users", "z"));
        ASSERT_EQ(d.SelectedRows("users").size(), 1u);
        EXPECT_EQ(d.Row("users", d.SelectedRows("users")[0])[0], "zoe");
        EXPECT_EQ(d.State("users").visibleRow, d.SelectedRows("users")[0]);
        EXPECT_TRUE(d.UserKey("users", ui::Key::Enter));
        EXPECT_TRUE(d.UserKey("users", ui::Key::Delete));
        EXPECT_EQ(d.RowCount("users"), 2);
        d.End(ui::kCancel);
    });
    Add(host, "adam", "pw1");
    Add(host, "zoe", "pw2");
    host.QueueDialog("DIALOG_USERINFO", [](ui::Dialog& d) {
        EXPECT_EQ(d.Text("name"), "zoe");
        d.UserClick(ui::IDCANCEL);
    });
    host.RunModal(page);
    EXPECT_FALSE(host.Failed()) << host.TranscriptText();
    EXPECT_NE(host.TranscriptText().find("box: Delete User? [Yes/No] -> No\n"), std::string::npos)
        << host.TranscriptText();
    acctdb::UserRecord rec;
    EXPECT_TRUE(Stored("zoe", rec));
}

}  // namespace
