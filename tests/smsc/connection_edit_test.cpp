// The shared load-and-compare code and the SMPP record built on it, table-driven: a
// stored section, the record a dialog is opened with, what the operator changed, and
// the record OK must hand back. Also the #n suffix walk.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/ini.h"
#include "smsc/connection_edit.h"
#include "smsc/smpp_dialog.h"
#include "tests/modem/dialog_fixture.h"

namespace {

using dialogtest::DialogTest;

const char* const kName = "SMPP - h:1";

struct RecordCase {
    const char* what;
    std::vector<std::pair<const char*, const char*>> stored;  // section of kName
    std::string opened;                                      // record the dialog gets
    std::function<void(smsc::SmppSettings&)> change;
    std::string newHost;  // "" keeps "h"
    std::string expected;
};

class ConnectionEditTest : public DialogTest {};

TEST_F(ConnectionEditTest, SmppRecordsKeepOnlyWhatChanged) {
    const auto none = [](smsc::SmppSettings&) {};
    const std::vector<RecordCase> cases = {
        {"new connection, defaults", {}, "", none, "", "SMPP - h:1\tSMPPVersion=v3.4"
         "\tSenderAddressOverride=Yes\tReceive=No\tReceiveMMS=No\tUseSSL=No\tLongSMSAlt=Yes"},
        {"stored v3.3 lower case is still rewritten exactly",
         {{"SMPPVersion", "V3.3"}}, kName, none, "",
         "SMPP - h:1\tSMPPVersion=v3.3\tSenderAddressOverride=Yes\tReceive=No\tReceiveMMS=No"
         "\tUseSSL=No\tSaveRoute=SMPP - h:1"},
        {"a change of case alone is not saved, except in the route name",
         {{"SMPPVersion", "v3.4"}, {"UserName", "Bob"}, {"RouteName", "Main"},
          {"SenderAddressOverride", "Yes"}, {"Receive", "No"}, {"ReceiveMMS", "No"},
          {"UseSSL", "No"}},
         kName,
         [](smsc::SmppSettings& s) {
             s.userName = "BOB";
             s.routeName = "MAIN";
         },
         "", "SMPP - h:1\tRouteName=MAIN\tSaveRoute=SMPP - h:1"},
        {"route name equal to the connection name is stored empty",
         {{"SMPPVersion", "v3.4"}, {"RouteName", "Main"}, {"SenderAddressOverride", "Yes"},
          {"Receive", "No"}, {"ReceiveMMS", "No"}, {"UseSSL", "No"}},
         kName, [](smsc::SmppSettings& s) { s.routeName = kName; }, "",
         "SMPP - h:1\tRouteName=\tSaveRoute=SMPP - h:1"},
        {"an earlier SaveRoute is kept and the pending advanced pairs follow",
         {{"SMPPVersion", "v3.4"}, {"SenderAddressOverride", "Yes"}, {"Receive", "No"},
          {"ReceiveMMS", "No"}, {"UseSSL", "No"}},
         std::string(kName) + "\tSaveRoute=SMPP - old:9\tGSMPack=Yes\tMMSAPN=web", none, "",
         "SMPP - h:1\tSaveRoute=SMPP - old:9\tGSMPack=Yes\tMMSAPN=web"},
        {"renamed host, sender override only with a sender address, receive off clears "
         "the local route",
         {{"SMPPVersion", "v3.4"}, {"SenderAddressOverride", "Yes"}, {"Receive", "Yes"},
          {"RouteLocal", "alice"}, {"ReceiveMMS", "No"}, {"UseSSL", "No"}},
         kName,
         [](smsc::SmppSettings& s) {
             s.senderAddress = "Quv";
             s.senderOverride = false;
             s.receive = false;
             s.receiveMms = true;
         },
         "h2",
         "SMPP - h2:1\tSenderAddress=Quv\tSenderAddressOverride=No\tReceive=No"
         "\tRouteLocal=\tSaveRoute=SMPP - h:1"},
    };
    for (const RecordCase& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(platform::WritePrivateProfileString(ini_, kName, std::nullopt, std::nullopt));
        for (const auto& [key, value] : c.stored) SetKey(kName, key, value);
        const smsc::ConnectionValues opened(c.opened);
        smsc::SmppSettings s = smsc::LoadSmppSettings(opened, false);
        if (opened.IsNew()) {
            s.host = "h";
            s.port = "1";
        }
        c.change(s);
        const std::string host = c.newHost.empty() ? "h" : c.newHost;
        const std::string record = smsc::BuildSmppRecord(
            opened, smsc::LinkConnectionName("SMPP - ", host, 1), s,
            smsc::InitialSmppAdvanced(opened), [](const std::string&) { return false; });
        EXPECT_EQ(record, c.expected);
    }
}

TEST_F(ConnectionEditTest, LoadingTakesPendingFirstThenTheSectionThenTheDefault) {
    SetKey(kName, "UserName", "stored");
    SetKey(kName, "Password", "pw");
    const smsc::ConnectionValues v(std::string(kName) + "\tusername=pending\tbroken\t=x");
    EXPECT_EQ(v.Value("UserName"), "pending");
    EXPECT_EQ(v.Stored("UserName"), "stored");
    EXPECT_EQ(v.Value("Password"), "pw");
    EXPECT_EQ(v.Value("SystemType", "def"), "def");
    EXPECT_EQ(v.Pending().size(), 1u);
    const smsc::SmppSettings s = smsc::LoadSmppSettings(v, false);
    EXPECT_EQ(s.host, "h");
    EXPECT_EQ(s.port, "1");
    EXPECT_EQ(s.routeName, kName);
    const smsc::ConnectionValues v6("SMPP - [2001:db8::1]:2775");
    EXPECT_EQ(smsc::LoadSmppSettings(v6, false).host, "[2001:db8::1]");
}

TEST_F(ConnectionEditTest, SuffixWalkRestartsAfterEveryMatch) {
    struct Case {
        std::string host;
        std::vector<std::string> names;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"a", {}, "a"},
        {"a", {"SMPP - b:1"}, "a"},
        {"a", {"smpp - A:1"}, "a#2"},
        // Listed in reverse: the restart from the top still finds #2 before #3.
        {"a", {"SMPP - a#2:1", "SMPP - a:1"}, "a#3"},
        {"a", {"SMPP - a:1", "SMPP - a#3:1"}, "a#2"},
        {"a#7", {"SMPP - a#7:1"}, "a#2"},
        {"a", {"SMPP - a:2"}, "a"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(smsc::UniqueLinkHost("SMPP - ", c.host, 1, c.names), c.expected) << c.host;
    }
}

}  // namespace
