// The "SMPP Connection" dialog walked end to end through the headless host, with a test
// double of the SMPP link library installed as libsmpplnk.so in a temporary program
// directory: records, the #n suffix, the routing list, refused binds, the service-active
// question, the "SMPP" section around the bind; and the advanced dialog's rules.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/dynlib.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "shell/core/link_libraries.h"
#include "smsc/connection_dialogs.h"
#include "smsc/connection_edit.h"
#include "smsc/connection_list.h"
#include "smsc/connection_test.h"
#include "smsc/smpp_advanced_dialog.h"
#include "smsc/smpp_dialog.h"
#include "tests/modem/dialog_fixture.h"
#include "tests/support/temp_dir.h"

namespace {

using dialogtest::DialogTest;

const char* const kFirst = "SMPP - 10.1.1.1:2775";

class SmppDialogTest : public DialogTest {
protected:
    void SetUp() override {
        DialogTest::SetUp();
        program_ = programDir_.Path();
        log_ = program_ + "calls.log";
        std::string content;
        ASSERT_TRUE(platform::ReadFile(ZT_SMPP_DOUBLE, content));
        ASSERT_TRUE(platform::WriteFileAtomic(
            program_ + platform::SharedLibraryFileName("SMPPLNK.DLL"), content));
        setenv("ZELLA_TEST_LINK_LOG", log_.c_str(), 1);
        setenv("ZELLA_TEST_SMPP_INI", ini_.c_str(), 1);
        unsetenv("ZELLA_TEST_SMPP_PASSWORD");
        unsetenv("ZELLA_TEST_SMPP_USER");
        platform::SetLibraryDirectory(program_);
        shell::LoadLinkLibraries();
        ASSERT_NE(shell::SmppLink(), nullptr);
    }
    void TearDown() override {
        shell::FreeLinkLibraries();
        platform::SetLibraryDirectory("");
        for (const char* name : {"ZELLA_TEST_LINK_LOG", "ZELLA_TEST_SMPP_INI",
                                 "ZELLA_TEST_SMPP_PASSWORD", "ZELLA_TEST_SMPP_USER",
                                 "ZELLA_TEST_SMPP_REFUSE_TYPE"})
            unsetenv(name);
        DialogTest::TearDown();
    }
    // The calls the library saw since the last look.
    std::vector<std::string> TakeCalls() {
        std::string text;
        platform::ReadFile(log_, text);
        platform::WriteFileAtomic(log_, "");
        std::vector<std::string> lines;
        for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos;
             start = end + 1)
            lines.push_back(text.substr(start, end - start));
        return lines;
    }
    // Runs the dialog on `record` with `script`; the page's list is `entries_`.
    bool Edit(std::string& record, ui::HeadlessHost::DialogScript script, bool active = false) {
        host_.QueueDialog("DIALOG_SMPP", std::move(script));
        smsc::SmppDialogServices services;
        services.serviceActive = [active] { return active; };
        return smsc::RunSmppDialog(host_, record, services);
    }
    // Stores a record as the SMSC page does after a dialog.
    void Store(const std::string& record, int index = -1) {
        if (index < 0)
            entries_.push_back(smsc::EntryFromRecord(record));
        else
            entries_[static_cast<std::size_t>(index)] = smsc::EntryFromRecord(record);
        ASSERT_TRUE(smsc::StoreConnectionList(entries_));
    }
    // The lines of `calls` that begin with `prefix`.
    static std::vector<std::string> Only(const std::vector<std::string>& calls,
                                         const std::string& prefix) {
        std::vector<std::string> out;
        for (const std::string& c : calls)
            if (c.rfind(prefix, 0) == 0) out.push_back(c);
        return out;
    }
    static void Type(ui::Dialog& d, const std::string& host, const std::string& port) {
        d.UserSetText("host", host);
        d.UserSetText("port", port);
    }

    zella_test::TempDir programDir_{"smpp-program"};
    std::string program_, log_;
    std::vector<smsc::ConnectionEntry> entries_;
    smsc::ConnectionListRegistration pageList_{[this] {
        std::vector<std::string> names;
        for (const auto& e : entries_) names.push_back(e.name);
        return names;
    }};
};

TEST_F(SmppDialogTest, NewDuplicateReopenAndRoutingListMakeTheirRecords) {
    std::string record;
    ASSERT_TRUE(Edit(record, [](ui::Dialog& d) {
        EXPECT_TRUE(d.Checked("v34"));
        EXPECT_TRUE(d.Checked("senderOverride"));
        EXPECT_FALSE(d.Enabled("senderOverride"));
        EXPECT_FALSE(d.Visible("useSsl"));  // no TLS library
        EXPECT_FALSE(d.Enabled("routeLocal"));
        EXPECT_TRUE(d.Checked("anyTraffic"));
        Type(d, "10.1.1.1", "2775");
        d.UserClick(ui::IDOK);
    }));
    EXPECT_EQ(record, std::string(kFirst) +
                          "\tSMPPVersion=v3.4\tSenderAddressOverride=Yes\tReceive=No"
                          "\tReceiveMMS=No\tUseSSL=No\tLongSMSAlt=Yes");
    EXPECT_EQ(TakeCalls(), (std::vector<std::string>{
                               "SMPPConnect socket=open reserved=0 host=10.1.1.1 port=2775",
                               "SMPPBind tls=0 reserved=0 version=0x34 type=2 user= password= "
                               "systemType=",
                               "SMPPUnbind tls=0 reserved=0 version=0x34"}));
    Store(record);
    EXPECT_EQ(Key(kFirst, "LongSMSAlt"), "Yes");

    // The same host and port again: #2, then #3, and the test connects with the suffix.
    for (const char* expected : {"SMPP - 10.1.1.1#2:2775", "SMPP - 10.1.1.1#3:2775"}) {
        record.clear();
        ASSERT_TRUE(Edit(record, [](ui::Dialog& d) {
            Type(d, "10.1.1.1", "2775");
            d.UserClick(ui::IDOK);
        }));
        EXPECT_EQ(record.substr(0, record.find('\t')), expected);
        const auto calls = TakeCalls();
        ASSERT_FALSE(calls.empty());
        EXPECT_NE(calls[0].find("host=" + std::string(expected).substr(7, 10)),
                  std::string::npos)
            << calls[0];
        Store(record);
    }

    // Reopened and accepted unchanged: only the rename mark.
    record = kFirst;
    ASSERT_TRUE(Edit(record, [](ui::Dialog& d) {
        EXPECT_EQ(d.Text("host"), "10.1.1.1");
        EXPECT_EQ(d.Text("port"), "2775");
        EXPECT_EQ(d.Text("routeName"), kFirst);
        d.UserClick(ui::IDOK);
    }));
    EXPECT_EQ(record, std::string(kFirst) + "\tSaveRoute=" + kFirst);

    // The routing list: alice is an account, the prefixes are routes.
    AddUser("alice", true);
    record = kFirst;
    ASSERT_TRUE(Edit(record, [](ui::Dialog& d) {
        for (const char* entry : {"alice", "+44", "+1", "+44"}) {
            d.UserSetText("preferredText", entry);
            d.UserClick("add");
        }
        EXPECT_EQ(d.Items("preferred"), (std::vector<std::string>{"alice", "+44", "+1"}));
        EXPECT_EQ(d.Text("preferredText"), "");
        d.UserClick(ui::IDOK);
    }));
    EXPECT_EQ(record, std::string(kFirst) +
                          "\tRoute1=+44\tRoute2=+1\tAllowedUser1=alice\tAllowedUserOnly=Yes"
                          "\tSaveRoute=" + kFirst);
    Store(record, 0);
    record = kFirst;
    ASSERT_TRUE(Edit(record, [](ui::Dialog& d) {
        EXPECT_EQ(d.Items("preferred"), (std::vector<std::string>{"alice", "+44", "+1"}));
        d.UserSelect("preferred", 0);
        d.UserClick("remove");
        EXPECT_EQ(d.Selection("preferred"), 0);
        d.UserClick(ui::IDOK);
    }));
    EXPECT_EQ(record, std::string(kFirst) + "\tAllowedUser1=\tAllowedUserOnly=\tSaveRoute=" + kFirst);

    // A full list refuses another entry.
    record = kFirst;
    EXPECT_FALSE(Edit(record, [](ui::Dialog& d) {
        d.SetItems("preferred", std::vector<std::string>(smsc::kMaxRoutingEntries, "x"));
        d.UserSetText("preferredText", "+33");
        d.UserClick("add");
        EXPECT_EQ(d.Items("preferred").size(), smsc::kMaxRoutingEntries);
        d.UserClick(ui::IDCANCEL);
    }));
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"SMPP Connection OK", "SMPP Connection OK",
                                                 "SMPP Connection OK", "SMPP Connection OK",
                                                 "SMPP Connection OK", "SMPP Connection OK",
                                                 "Maximum entries in list"}));
    EXPECT_FALSE(host_.Failed()) << host_.TranscriptText();
}

// The keys the test sets for the bind go afterwards, and so does the [SMPP] header they
// brought in: ZELLA.INI is as it was.
TEST_F(SmppDialogTest, BindTestLeavesNoEmptySmppSectionBehind) {
    setenv("ZELLA_TEST_SMPP_USER", "smppclient1", 1);
    setenv("ZELLA_TEST_SMPP_PASSWORD", "password", 1);
    std::string before;
    ASSERT_TRUE(platform::ReadFile(ini_, before));
    host_.QueueAnswer("Unable to login", ui::kNo);
    std::string record;
    EXPECT_FALSE(Edit(record, [this](ui::Dialog& d) {
        Type(d, "127.0.0.1", "2775");
        d.UserSetText("userName", "smppclient1");
        d.UserSetText("password", "wrong");
        d.UserSetText("addressRange", "44*");
        d.UserClick(ui::IDOK);
        EXPECT_FALSE(d.IsEnded());
        d.UserClick(ui::IDCANCEL);
    }));
    EXPECT_EQ(Only(TakeCalls(), "  SMPP"), (std::vector<std::string>{"  SMPP AddressRange=44*"}));
    std::string after;
    ASSERT_TRUE(platform::ReadFile(ini_, after));
    EXPECT_EQ(before, after);
}

TEST_F(SmppDialogTest, RefusedBindAsksToSaveAndServiceQuestionSkipsTheTest) {
    setenv("ZELLA_TEST_SMPP_USER", "smppclient1", 1);
    setenv("ZELLA_TEST_SMPP_PASSWORD", "password", 1);
    ASSERT_TRUE(platform::WritePrivateProfileString(ini_, "SMPP", "AddressRange", "old"));
    const std::string refused =
        "Unable to login to SMPP server with specified parameters.\\r\\nInvalid Password "
        "(0x0000000E)\\r\\n\\r\\nSave connection?";
    // No keeps the dialog open with what was typed; Cancel then stores nothing.
    host_.QueueAnswer("Unable to login", ui::kNo);
    std::string record;
    EXPECT_FALSE(Edit(record, [this](ui::Dialog& d) {
        Type(d, "127.0.0.1", "2775");
        d.UserSetText("userName", "smppclient1");
        d.UserSetText("password", "wrong");
        d.UserSetText("addressRange", "44*");
        host_.QueueDialog("DIALOG_SMPPADV", [](ui::Dialog& adv) {
            adv.UserSetText("bindTon", "1");
            adv.UserClick(ui::IDOK);
        });
        d.UserClick("advanced");
        d.UserClick(ui::IDOK);
        EXPECT_FALSE(d.IsEnded());
        EXPECT_EQ(d.Text("password"), "wrong");
        d.UserClick(ui::IDCANCEL);
    }));
    EXPECT_EQ(record, "");
    EXPECT_EQ(Boxes(), (std::vector<std::string>{refused}));
    // What the library read at bind time, and the section afterwards.
    EXPECT_EQ(Only(TakeCalls(), "  SMPP"),
              (std::vector<std::string>{"  SMPP AddressRange=44*", "  SMPP BindTON=1"}));
    EXPECT_EQ(platform::GetPrivateProfileString(ini_, "SMPP", "AddressRange", ""), "old");
    EXPECT_FALSE(HasKey("SMPP", "BindTON"));

    // Yes saves in spite of the refusal.
    host_.QueueAnswer("Unable to login", ui::kYes);
    ASSERT_TRUE(Edit(record, [](ui::Dialog& d) {
        Type(d, "127.0.0.1", "2775");
        d.UserSetText("password", "wrong");
        d.UserClick(ui::IDOK);
    }));
    EXPECT_EQ(record.substr(0, record.find('\t')), "SMPP - 127.0.0.1:2775");
    EXPECT_NE(record.find("\tPassword=wrong"), std::string::npos) << record;
    Store(record);
    TakeCalls();

    // Receiving on separate sessions: transmitter, then receiver, whose refusal has its
    // own text.
    setenv("ZELLA_TEST_SMPP_REFUSE_TYPE", "1", 1);
    record = "SMPP - 127.0.0.1:2775";
    host_.QueueAnswer("Unable to login to SMPP server with specified parameters to receive "
                      "messages.\r\nSMPP error 0x0000000D",
                      ui::kNo);
    EXPECT_FALSE(Edit(record, [](ui::Dialog& d) {
        d.UserSetText("userName", "smppclient1");
        d.UserSetText("password", "password");
        d.UserClick("receive");
        EXPECT_TRUE(d.Enabled("routeLocal"));
        d.UserClick(ui::IDOK);
        d.UserClick(ui::IDCANCEL);
    }));
    const auto binds = Only(TakeCalls(), "SMPPBind");
    ASSERT_EQ(binds.size(), 2u);
    EXPECT_NE(binds[0].find("type=2 user=smppclient1 password=password"), std::string::npos);
    EXPECT_NE(binds[1].find("type=1 user=smppclient1 password=password"), std::string::npos);
    unsetenv("ZELLA_TEST_SMPP_REFUSE_TYPE");

    // While the service runs an existing connection asks first; No skips the test.
    host_.QueueAnswer(smsc::kTestWhileActiveQuestion, ui::kNo);
    record = "SMPP - 127.0.0.1:2775";
    ASSERT_TRUE(Edit(record, [](ui::Dialog& d) { d.UserClick(ui::IDOK); }, true));
    EXPECT_TRUE(Only(TakeCalls(), "SMPP").empty());
    host_.QueueAnswer(smsc::kTestWhileActiveQuestion, ui::kYes);
    record = "SMPP - 127.0.0.1:2775";
    ASSERT_TRUE(Edit(record, [](ui::Dialog& d) {
        d.UserSetText("userName", "smppclient1");
        d.UserSetText("password", "password");
        d.UserClick(ui::IDOK);
    }, true));
    EXPECT_EQ(Only(TakeCalls(), "SMPPUnbind").size(), 1u);
    EXPECT_EQ(host_.UnusedAnswers(), 0);
    EXPECT_FALSE(host_.Failed()) << host_.TranscriptText();
}

}  // namespace
