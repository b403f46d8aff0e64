// "SMPP Advanced Configuration Options": what it shows for stored and pending values,
// its enabling rules, the session-count checks, and the keys it hands back.
#include <gtest/gtest.h>

#include <string>

#include "smsc/smpp_advanced_dialog.h"
#include "tests/modem/dialog_fixture.h"

namespace {

using dialogtest::DialogTest;

const char* const kName = "SMPP - smsc.example:2775";

class SmppAdvancedTest : public DialogTest {};

TEST_F(SmppAdvancedTest, ShowsStoredValuesChecksSessionsAndReturnsChangedKeys) {
    SetKey(kName, "SMSCCharset", "ISO-8859-1");
    SetKey(kName, "SMSCCharsetDefault", "yes");
    SetKey(kName, "ReRouteReceived", "Always");
    SetKey(kName, "TransmitterCount", "2");
    SetKey(kName, "BindTON", "1");
    // Pending values win over the stored ones.
    std::string pending = std::string(kName) + "\tBindTON=5\tWindowSize=0";
    host_.QueueDialog("DIALOG_SMPPADV", [](ui::Dialog& d) {
        EXPECT_EQ(d.Text("charset"), "iso-8859-1 as Default");
        EXPECT_TRUE(d.Checked("reroute"));
        EXPECT_EQ(d.Text("bindTon"), "5");
        EXPECT_EQ(d.Text("keepAlive"), "58");
        EXPECT_EQ(d.Text("serviceType"), "WEMT");
        EXPECT_FALSE(d.Enabled("serviceType"));
        EXPECT_TRUE(d.Checked("longPack"));  // LongSMSAlt absent: packed
        EXPECT_EQ(d.Text("transmitters"), "2");
        EXPECT_EQ(d.Text("receivers"), "1");
        EXPECT_EQ(d.Text("transmittersLabel"), "# Transmitter Sessions");
        EXPECT_FALSE(d.Checked("async"));  // a window of 0 is off
        EXPECT_FALSE(d.Enabled("windowSize"));

        d.UserClick("async");
        EXPECT_EQ(d.Text("windowSize"), "5");
        EXPECT_TRUE(d.Enabled("windowSize"));
        d.UserClick("ems");
        EXPECT_TRUE(d.Enabled("serviceType"));

        // Session counts: letters refused, both zero refused, leading zeros rewritten.
        d.UserSetText("transmitters", "x1");
        d.UserClick(ui::IDOK);
        EXPECT_FALSE(d.IsEnded());
        d.UserSetText("transmitters", "0");
        d.UserSetText("receivers", " 0");
        d.UserClick(ui::IDOK);
        EXPECT_FALSE(d.IsEnded());
        d.UserSetText("receivers", "abc");
        d.UserClick(ui::IDOK);
        EXPECT_FALSE(d.IsEnded());

        // The transceiver box forces one receiver session and renames the label.
        d.UserClick("transceiver");
        EXPECT_EQ(d.Text("transmittersLabel"), "# Transceiver Sessions:");
        EXPECT_FALSE(d.Enabled("receivers"));
        EXPECT_FALSE(d.Enabled("receiversLabel"));
        d.UserSetText("transmitters", "03");
        d.UserClick("longPack");
        d.UserSelect("charset", 1);
        d.UserClick(ui::IDOK);
        EXPECT_EQ(d.Text("transmitters"), "3");
        EXPECT_EQ(d.Text("receivers"), "1");
    });
    ASSERT_TRUE(smsc::EditSmppAdvanced(host_, pending));
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"# Sessions must be numeric",
                                                 "# Sessions cannot be zero",
                                                 "# Sessions must be numeric"}));
    // BindTON 5 differs from the stored 1; ReRouteReceived keeps its stored text; the
    // keep-alive shown for an absent key is no change.
    EXPECT_EQ(pending, std::string(kName) +
                           "\tEMSServiceType=WEMT\tReceiveSingleConnection=Yes\tLongSMSAlt=Yes"
                           "\tBindTON=5\tTransmitterCount=3\tSMSCCharset=IA5"
                           "\tSMSCCharsetDefault=\tWindowSize=5");

    // Cancel leaves the pending settings as they were.
    const std::string before = pending;
    host_.QueueDialog("DIALOG_SMPPADV", [](ui::Dialog& d) {
        d.UserClick("wdp");
        d.UserClick(ui::IDCANCEL);
    });
    EXPECT_FALSE(smsc::EditSmppAdvanced(host_, pending));
    EXPECT_EQ(pending, before);

    // A pending key equal to the stored value again drops out; a new connection keeps
    // LongSMSAlt=Yes until the box is checked.
    pending = "SMPP - TBD\tLongSMSAlt=Yes";
    host_.QueueDialog("DIALOG_SMPPADV", [](ui::Dialog& d) {
        EXPECT_FALSE(d.Checked("longPack"));
        d.UserSetText("keepAlive", "");
        d.UserClick(ui::IDOK);
    });
    ASSERT_TRUE(smsc::EditSmppAdvanced(host_, pending));
    EXPECT_EQ(pending, "SMPP - TBD\tLongSMSAlt=Yes");
    EXPECT_FALSE(host_.Failed()) << host_.TranscriptText();
}

}  // namespace
