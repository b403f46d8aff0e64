// The codec pieces the SMSC links added: UCP alphanumeric addresses, extra services and
// alerts, the submit fields of a message and a delivery read back, and the frame cutter
// that faces whatever an SMSC sends.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cimdlnk/cimd_frame.h"
#include "gateway/links/cimd_text.h"
#include "gateway/links/ucp_cimd_common.h"
#include "gateway/links/ucp_text.h"
#include "ucplnk/ucp_frame.h"

namespace {

TEST(UcpCodec, AlphanumericAddressesPackSeptetsBehindTheirSemiOctetCount) {
    const struct {
        std::string septets, field;
    } cases[] = {
        {"ALPHA", "094126141904"},
        {"Zella", "09DA329B1D06"},
        {"A", "0241"},
        {"Test12345AB", "14D4F29C1E93CD68B5A010"},
        {"Test12345ABCDEF", "14D4F29C1E93CD68B5A010"},  // cut to 11
        {"", ""},
        {"\x80", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.septets);
        EXPECT_EQ(ucp::EncodeAlphanumericAddress(c.septets), c.field);
        if (c.field.empty()) continue;
        std::string back;
        ASSERT_TRUE(ucp::DecodeAlphanumericAddress(c.field, &back));
        EXPECT_EQ(back, c.septets.substr(0, 11));
    }
    for (const char* bad : {"", "09", "0941", "XX4126141904", "0"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(ucp::DecodeAlphanumericAddress(bad, nullptr));
    }
}

TEST(UcpCodec, ExtraServicesAreTypeLengthValueItemsInHex) {
    const std::vector<ucp::XSerItem> items{{1, std::string("\x05\x00\x03\x07\x02\x01", 6)},
                                           {2, "\x08"}};
    EXPECT_EQ(ucp::BuildXSer(items), "0106050003070201020108");
    EXPECT_EQ(ucp::BuildXSer({}), "");
    std::vector<ucp::XSerItem> back;
    ASSERT_TRUE(ucp::ParseXSer("0106050003070201020108", &back));
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[0].type, 1);
    EXPECT_EQ(back[0].value, items[0].value);
    EXPECT_EQ(back[1].value, "\x08");
    for (const char* bad : {"01", "0105AA", "0G", "010"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(ucp::ParseXSer(bad, &back));
    }
}

TEST(UcpCodec, TheAlertIsTheWorkedKeepAliveFrame) {
    EXPECT_EQ(ucp::BuildAlertFrame(1, "12345"), "\x02" "01/00027/O/31/12345/0539/F7\x03");
}

TEST(UcpText, SubmitFieldsCarryAddressCodingAndReceiptRequest) {
    gateway::OutboundMessage m;
    m.recipient = "+491701";
    m.text = "caf\xC3\xA9";  // Latin-1 goes as text
    m.receiptRequested = true;
    std::vector<std::vector<std::string>> submits;
    std::string error;
    ASSERT_TRUE(gateway::BuildUcpSubmits(m, "4930", 9, submits, error)) << error;
    ASSERT_EQ(submits.size(), 1u);
    const auto& f = submits[0];
    ASSERT_EQ(f.size(), ucp::field::Count);
    EXPECT_EQ(f[ucp::field::AdC], "00491701");
    EXPECT_EQ(f[ucp::field::OAdC], "4930");
    EXPECT_EQ(f[ucp::field::OTOA], "");
    EXPECT_EQ(f[ucp::field::NRq], "1");
    EXPECT_EQ(f[ucp::field::NT], "3");
    EXPECT_EQ(f[ucp::field::MT], "3");
    EXPECT_EQ(f[ucp::field::Msg], "636166E9");

    m.text = "\xCE\x94";  // a GSM character without a Latin-1 byte goes as UCS-2
    ASSERT_TRUE(gateway::BuildUcpSubmits(m, "", 9, submits, error));
    EXPECT_EQ(submits[0][ucp::field::MT], "4");
    EXPECT_EQ(submits[0][ucp::field::Msg], "0394");
    EXPECT_EQ(submits[0][ucp::field::XSer], "020108");

    m.binary = true;
    m.octets = "\x01\x02";
    m.udh = std::string("\x04\x05\x02\x0B\x84", 5);
    ASSERT_TRUE(gateway::BuildUcpSubmits(m, "", 9, submits, error));
    EXPECT_EQ(submits[0][ucp::field::NB], "16");
    EXPECT_EQ(submits[0][ucp::field::Msg], "0102");
    EXPECT_EQ(submits[0][ucp::field::XSer], "01050405020B84020104");

    m.recipient = "12a4";
    EXPECT_FALSE(gateway::BuildUcpSubmits(m, "", 9, submits, error));
    EXPECT_EQ(error, "Invalid recipient number: 12a4");
}

TEST(UcpText, DeliveriesAndNotificationsReadBack) {
    const struct {
        int ot;
        std::vector<std::pair<std::size_t, std::string>> fields;
        bool ok;
        std::string sender, text, octets, receiptId, state;
    } cases[] = {
        {52, {{0, "123"}, {1, "4930"}, {18, "3"}, {20, "636166E9"}}, true, "4930", "caf\xC3\xA9", "", "", ""},
        {52, {{1, "094126141904"}, {28, "5039"}, {18, "2"}, {20, "1234"}}, true, "ALPHA", "1234", "", "", ""},
        {52, {{1, "4930"}, {18, "4"}, {20, "041F"}, {30, "020108"}}, true, "4930", "\xD0\x9F", "", "", ""},
        {52, {{1, "4930"}, {18, "4"}, {20, "0102"}, {30, "020104"}}, true, "4930", "", "\x01\x02", "", ""},
        {52, {{18, "3"}, {20, "6G"}}, false, "", "", "", "", ""},
        {52, {{18, "9"}}, false, "", "", "", "", ""},
        {53, {{0, "0049170"}, {1, "12345"}, {14, "071200000001"}, {15, "0"}}, true, "0049170", "", "",
         "0049170:071200000001", "DELIVRD"},
        {53, {{0, "0049170"}, {14, "071200000002"}, {15, "2"}, {18, "3"}, {20, "4E6F"}}, true, "0049170",
         "No", "", "0049170:071200000002", "UNDELIV"},
    };
    for (const auto& c : cases) {
        ucp::Frame f{1, 'O', c.ot, std::vector<std::string>(ucp::field::Count)};
        for (const auto& [at, value] : c.fields) f.fields[at] = value;
        gateway::InboundMessage m;
        SCOPED_TRACE(c.sender + "/" + c.text);
        ASSERT_EQ(gateway::ReadUcpDelivery(f, m), c.ok);
        if (!c.ok) continue;
        EXPECT_EQ(m.sender, c.sender);
        EXPECT_EQ(m.text, c.text);
        EXPECT_EQ(m.octets, c.octets);
        EXPECT_EQ(m.isReceipt, c.ot == 53);
        EXPECT_EQ(m.receiptSmscId, c.receiptId);
        EXPECT_EQ(m.receiptState, c.state);
    }
}

TEST(CimdCodec, UserDataTextNamesGsmCharactersOutsideAsciiByCombinations) {
    const struct {
        std::string utf8;
        bool ok;
        std::string text;
    } cases[] = {
        {"Hello world 123!", true, "Hello world 123!"},
        {"a@b_c\"d", true, "a_Oab_--c_qqd"},
        {"\xC3\xA9t\xC3\xA9 \xC2\xA3 \xCE\x94 \xC3\xBC", true, "_e't_e' _L- _gd _u\""},
        {"", true, ""},
        {"line\nbreak", false, ""},  // a control byte cannot travel in a parameter
        {"{braces}", false, ""},     // the extension table goes as UCS-2
        {"\xE2\x82\xAC", false, ""},
        {"\xD0\x9F", false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.utf8);
        std::string text;
        ASSERT_EQ(cimd::EncodeUserDataText(c.utf8, &text), c.ok);
        if (!c.ok) continue;
        EXPECT_EQ(text, c.text);
        EXPECT_EQ(cimd::DecodeUserDataText(text), c.utf8);
    }
    EXPECT_EQ(cimd::DecodeUserDataText("_zz and _"), "_zz and _");  // unknown stays
}

TEST(CimdText, SubmitParametersAndDeliveriesRoundTheService) {
    gateway::OutboundMessage m;
    m.recipient = "+4917";
    m.text = "{x}";
    m.receiptRequested = true;
    std::vector<gateway::CimdParameters> submits;
    std::string error;
    ASSERT_TRUE(gateway::BuildCimdSubmits(m, "Zella", "49", 1, submits, error)) << error;
    ASSERT_EQ(submits.size(), 1u);
    const gateway::CimdParameters expected{{21, "004917"}, {27, "Zella"}, {30, "8"},
                                           {34, "007B0078007D"}, {56, "14"}};
    EXPECT_EQ(submits[0], expected);
    m.text = "ok";
    m.receiptRequested = false;
    ASSERT_TRUE(gateway::BuildCimdSubmits(m, "301", "49", 1, submits, error));
    EXPECT_EQ(submits[0], (gateway::CimdParameters{{21, "004917"}, {23, "49301"}, {33, "ok"}}));
    m.recipient = "";
    EXPECT_FALSE(gateway::BuildCimdSubmits(m, "301", "", 1, submits, error));

    gateway::InboundMessage in;
    ASSERT_TRUE(gateway::ReadCimdDelivery({20, 2, {{21, "123"}, {23, "4930"}, {33, "_Oa home"}}}, in));
    EXPECT_EQ(in.sender, "4930");
    EXPECT_EQ(in.text, "@ home");
    ASSERT_TRUE(gateway::ReadCimdDelivery({20, 2, {{27, "Shop"}, {30, "8"}, {34, "041F"}}}, in));
    EXPECT_EQ(in.sender, "Shop");
    EXPECT_EQ(in.text, "\xD0\x9F");
    ASSERT_TRUE(gateway::ReadCimdDelivery({20, 2, {{23, "1"}, {32, "050003010201"}, {34, "FF"}}}, in));
    EXPECT_TRUE(in.binary);
    EXPECT_EQ(in.octets, "\xFF");
    EXPECT_EQ(in.udh.size(), 6u);
    EXPECT_FALSE(gateway::ReadCimdDelivery({20, 2, {{34, "XY"}}}, in));
    ASSERT_TRUE(gateway::ReadCimdDelivery({23, 4, {{21, "0049"}, {60, "261207120000"}, {61, "3"}}}, in));
    EXPECT_TRUE(in.isReceipt);
    EXPECT_EQ(in.receiptSmscId, "0049:261207120000");
    EXPECT_EQ(in.receiptState, "UNDELIV");
    EXPECT_FALSE(gateway::ReadCimdDelivery({23, 4, {{21, "0049"}, {61, "4"}}}, in));
}

TEST(FrameCutter, HandsOutWholeFramesAndNamesWhatIsNone) {
    const struct {
        std::vector<std::string> chunks;
        std::vector<std::string> frames;
        gateway::FrameCutter::Cut last;
    } cases[] = {
        {{"\x02" "ab\x03"}, {"\x02" "ab\x03"}, gateway::FrameCutter::Cut::NeedMore},
        {{"\x02" "a", "b\x03\r\n\x02" "c\x03"}, {"\x02" "ab\x03", "\x02" "c\x03"},
         gateway::FrameCutter::Cut::NeedMore},
        {{"junk\x02" "a\x03"}, {}, gateway::FrameCutter::Cut::Garbage},
        {{"\x02" + std::string(40, 'x')}, {}, gateway::FrameCutter::Cut::TooLong},
        {{"\x02" "ab"}, {}, gateway::FrameCutter::Cut::NeedMore},
    };
    for (const auto& c : cases) {
        gateway::FrameCutter cutter(32);
        for (const std::string& chunk : c.chunks) cutter.Add(chunk.data(), chunk.size());
        std::vector<std::string> frames;
        std::string frame;
        gateway::FrameCutter::Cut cut;
        while ((cut = cutter.Next(frame)) == gateway::FrameCutter::Cut::Frame) frames.push_back(frame);
        EXPECT_EQ(frames, c.frames);
        EXPECT_EQ(cut, c.last);
    }
}

}  // namespace
