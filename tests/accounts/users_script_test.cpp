// The real console under the script driver: an operator adds an account with SMPP login
// on the "SMS Users" tab; a second run opens it in the editor, where the password shows
// hidden and survives OK; the store and its file are the real ones.
#include <gtest/gtest.h>

#include "acctdb/acctdb.h"
#include "tests/support/console_process.h"
#include "tests/support/temp_dir.h"

namespace {

const char* kAddScript =
    "tab \"SMS Users\"\n"
    "answer \"No SMSC connections or modems are defined.\" Yes\n"
    "press \"&Add\"\n"
    "expect title \"Edit User\"\n"
    "set \"User Name:\" \"alice\"\n"
    "set \"Password:\" \"s3cret\"\n"
    "set \"Full Name:\" \"Alice Example\"\n"
    "check \"Enable SMPP (or UCP) Login for this user\"\n"
    "press \"OK\"\n"
    "expect list \"alice\"\n"
    "expect list \"alice\\tAlice Example\"\n"
    "press \"OK\"\n";

const char* kReopenScript =
    "tab \"SMS Users\"\n"
    "answer \"No SMSC connections or modems are defined.\" Yes\n"
    "expect list \"alice\"\n"
    "choose users \"alice\"\n"
    "press \"&Edit\"\n"
    "expect \"User Name:\" \"alice\"\n"
    "expect \"Password:\" \"HIDDENFROMVIEW\"\n"
    "expect \"Enable SMPP (or UCP) Login for this user\" checked\n"
    "expect \"Full Name:\" \"Alice Example\"\n"
    "press \"OK\"\n"
    "press \"OK\"\n";

class UsersScript : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = temp_.Path();
        ASSERT_FALSE(dir_.empty());
        data_ = dir_ + "data/";
        zella_test::PrepareConsoleSandbox(dir_, ZELLA_BIN_DIR);
    }
    // Runs the console on the script; returns its transcript, status in `status`.
    std::string Run(const char* script, const std::string& tag, int& status) {
        zella_test::ScriptRun run = zella_test::RunSandboxScript(dir_, script, tag);
        status = run.status;
        return run.transcript;
    }
    zella_test::TempDir temp_{"users-script"};
    std::string dir_, data_;
};

TEST_F(UsersScript, AddedAccountKeepsItsHiddenPasswordWhenReopened) {
    int status = -1;
    std::string out = Run(kAddScript, "add", status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_EQ(out.find("FAIL"), std::string::npos) << out;
    out = Run(kReopenScript, "reopen", status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_EQ(out.find("FAIL"), std::string::npos) << out;
    EXPECT_NE(out.find("close: Edit User = OK"), std::string::npos) << out;

    // Read back the store file the console wrote, through the library.
    setenv("ZELLA_DATA_DIR", data_.c_str(), 1);
    acctdb::UserHandle h = 0;
    ASSERT_TRUE(acctdb::SMSOpenUserFile(&h, acctdb::GENERIC_READ));
    acctdb::UserRecord record;
    ASSERT_TRUE(acctdb::SMSFindUserRecord(h, "alice", &record));
    EXPECT_EQ(acctdb::SMSGetRecordCount(h), 1);
    acctdb::SMSCloseUserFile(h);
    unsetenv("ZELLA_DATA_DIR");
    EXPECT_EQ(record.Password(), "s3cret");
    EXPECT_TRUE(record.SmppLogin());
    EXPECT_EQ(record.FullName(), "Alice Example");
}

}  // namespace
