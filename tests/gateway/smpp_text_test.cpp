// The SMPP server's reading of what clients send, by tables: bind requests, and the text
// of submit_sm and data_sm by data coding and the account's character set; and what it
// sends back in a deliver_sm.
#include <gtest/gtest.h>

#include "gateway/clients/smpp_text.h"
#include "platform/ini.h"
#include "smpplnk/smpp_codes.h"
#include "smpplnk/smpp_server_pdu.h"
#include "tests/support/temp_dir.h"

namespace gateway::clients {
namespace {

std::string Be32(std::uint32_t v) {
    std::string s;
    for (int shift = 24; shift >= 0; shift -= 8) s += static_cast<char>((v >> shift) & 0xFF);
    return s;
}

std::string Pdu(std::uint32_t id, const std::string& body, int lengthDelta = 0) {
    return Be32(static_cast<std::uint32_t>(16 + body.size() + lengthDelta)) + Be32(id) + Be32(0) + Be32(5) + body;
}

std::string Z(const std::string& text) { return text + std::string(1, '\0'); }

TEST(SmppServerPdu, BindRequestsAreReadWithTheAccountsLongNames) {
    const std::string tail = std::string("\x34\x01\x01", 3) + Z("");
    const struct {
        std::string pdu;
        int rc;
        const char* user;
        const char* password;
        std::uint8_t version;
    } cases[] = {
        {Pdu(smpplnk::kBindTransceiver, Z("ann") + Z("pw") + Z("") + tail), 0, "ann", "pw", 0x34},
        {Pdu(smpplnk::kBindReceiver, Z("ann") + Z("pw") + Z("VMA") + std::string("\x33\0\0", 3) + Z("")), 0, "ann",
         "pw", 0x33},
        {Pdu(smpplnk::kBindTransmitter, Z("a-much-longer-account") + Z("a password of 26 letters!!") + Z("") + tail), 0,
         "a-much-longer-account", "a password of 26 letters!!", 0x34},
        {Pdu(smpplnk::kBindTransmitter, Z("ann") + Z(std::string(51, 'p')) + Z("") + tail), smpplnk::kErrMalformed, "",
         "", 0x34},
        {Pdu(smpplnk::kBindTransmitter, Z("ann") + Z("pw") + Z("")), smpplnk::kErrMalformed, "", "", 0x34},  // cut short
        {Pdu(smpplnk::kBindTransmitter, "ann"), smpplnk::kErrMalformed, "", "", 0x34},  // no NUL at all
        {Pdu(smpplnk::kSubmitSm, Z("ann") + Z("pw") + Z("") + tail), smpplnk::kErrMalformed, "", "", 0x34},
        {Pdu(smpplnk::kBindTransmitter, Z("ann") + Z("pw") + Z("") + tail, 4), smpplnk::kErrMalformed, "", "", 0x34},
    };
    for (const auto& c : cases) {
        smpplnk::BindRequest b;
        EXPECT_EQ(c.rc, smpplnk::DecodeBindRequest(c.pdu, b)) << c.user;
        if (c.rc != 0) continue;
        EXPECT_EQ(c.user, b.systemId);
        EXPECT_EQ(c.password, b.password);
        EXPECT_EQ(c.version, b.version);
    }
    std::string resp;
    ASSERT_EQ(0, smpplnk::EncodeBindResponse(smpplnk::kBindReceiver, 0, 9, "QuvSMS", resp));
    EXPECT_EQ(Be32(23) + Be32(0x80000001) + Be32(0) + Be32(9) + Z("QuvSMS"), resp);
}

smpplnk::MessageRequest Message(std::uint8_t dcs, const std::string& body, std::uint8_t esm = 0) {
    smpplnk::MessageRequest m;
    m.destination = "447700900001";
    m.source = "Shop";
    m.dataCoding = dcs;
    m.esmClass = esm;
    m.shortMessage = body;
    return m;
}

TEST(SmppServerText, SubmittedTextIsReadByDataCodingAndCharset) {
    const ClientCoding gsm, latin{"iso-8859-1", true}, latinOwnCoding{"iso-8859-1", false}, ia5{"IA5", false};
    smpplnk::MessageRequest sar = Message(0, "Hi");
    sar.tlvs = {{smpplnk::kTagSarMsgRefNum, std::string("\x01\x02", 2)},
                {smpplnk::kTagSarTotalSegments, "\x02"},
                {smpplnk::kTagSarSegmentSeqnum, "\x01"}};
    smpplnk::MessageRequest payload = Message(8, "");
    payload.tlvs = {{smpplnk::kTagMessagePayload, std::string("\x04\x16\x00!", 4)}};
    smpplnk::MessageRequest noDestination = Message(0, "x");
    noDestination.destination.clear();
    const struct {
        smpplnk::MessageRequest pdu;
        ClientCoding charset;
        std::uint32_t status;
        const char* text;
        bool binary;
        std::string udh;
    } cases[] = {
        {Message(0, std::string("Hi \x00 \x1B\x65", 7)), gsm, 0, "Hi @ \xE2\x82\xAC", false, ""},  // GSM septets
        {Message(0, "caf\xE9"), latin, 0, "caf\xC3\xA9", false, ""},
        {Message(0, std::string("caf\x04", 4)), latinOwnCoding, 0, "caf\xC3\xA8", false, ""},  // still GSM: 0x04 = e grave
        {Message(3, "caf\xE9"), gsm, 0, "caf\xC3\xA9", false, ""},
        {Message(0, "plain"), ia5, 0, "plain", false, ""},
        {Message(8, std::string("\x04\x1F\x04\x40", 4)), gsm, 0, "\xD0\x9F\xD1\x80", false, ""},
        {Message(4, std::string("\x01\x02\x00", 3)), gsm, 0, "", true, ""},
        {Message(0, std::string("\x05\x00\x03\x07\x02\x01Hi", 8), 0x40), gsm, 0, "Hi", false,
         std::string("\x05\x00\x03\x07\x02\x01", 6)},
        {Message(0, std::string("\x09\x00\x03", 3), 0x40), gsm, 0x01, "", false, ""},  // header longer than the message
        {sar, gsm, 0, "Hi", false, std::string("\x06\x08\x04\x01\x02\x02\x01", 7)},
        {payload, gsm, 0, "\xD0\x96!", false, ""},
        {noDestination, gsm, 0x0B, "", false, ""},
    };
    for (const auto& c : cases) {
        ClientMessage out;
        EXPECT_EQ(c.status, MessageFromPdu(c.pdu, c.charset, out)) << c.text;
        if (c.status != 0) continue;
        EXPECT_EQ(c.binary, out.binary) << c.text;
        if (c.binary) EXPECT_EQ(c.pdu.shortMessage, out.text);
        else EXPECT_EQ(c.text, out.text);
        EXPECT_EQ(c.udh, out.udh) << c.text;
        EXPECT_EQ("Shop", out.from);
    }
}

TEST(SmppServerText, DeliveriesAreCodedForTheClient) {
    smpplnk::MessageRequest pdu;
    DeliveryText m;
    m.from = "+4470000001";
    m.to = "4470000002";
    m.text = "Hello @";
    ASSERT_TRUE(PduForDelivery(m, {}, pdu));
    EXPECT_EQ(0, pdu.dataCoding);
    EXPECT_EQ(std::string("Hello \x00", 7), pdu.shortMessage);
    EXPECT_EQ("4470000001", pdu.source);
    EXPECT_EQ(1, pdu.sourceTon);
    EXPECT_EQ("4470000002", pdu.destination);
    EXPECT_EQ(0, pdu.destTon);
    m.text = "\xD0\x96";
    ASSERT_TRUE(PduForDelivery(m, {}, pdu));
    EXPECT_EQ(8, pdu.dataCoding);
    EXPECT_EQ(std::string("\x04\x16", 2), pdu.shortMessage);
    m.text = "caf\xC3\xA9";
    ASSERT_TRUE(PduForDelivery(m, {"iso-8859-1", false}, pdu));
    EXPECT_EQ(3, pdu.dataCoding);
    EXPECT_EQ("caf\xE9", pdu.shortMessage);
    m.text = std::string(300, 'a');
    ASSERT_TRUE(PduForDelivery(m, {}, pdu));
    EXPECT_TRUE(pdu.shortMessage.empty());
    ASSERT_EQ(1u, pdu.tlvs.size());
    EXPECT_EQ(smpplnk::kTagMessagePayload, pdu.tlvs[0].tag);
    m.text = std::string(2000, 'a');
    EXPECT_FALSE(PduForDelivery(m, {}, pdu));
    DeliveryText receipt;
    receipt.receipt = true;
    receipt.receiptId = "C2026";
    receipt.receiptState = "UNDELIV";
    ASSERT_TRUE(PduForDelivery(receipt, {}, pdu));
    EXPECT_EQ(0x04, pdu.esmClass);
    EXPECT_EQ(0u, pdu.shortMessage.find("id:C2026 sub:001 dlvrd:000 "));
    EXPECT_NE(std::string::npos, pdu.shortMessage.find(" stat:UNDELIV "));
    std::string encoded;
    EXPECT_EQ(0, smpplnk::EncodeMessage(pdu, 3, encoded));
    m.text = "Hello";
    ASSERT_TRUE(PduForDelivery(m, {"", false, true}, pdu));
    EXPECT_EQ(smpplnk::kDataSm, pdu.commandId);
    EXPECT_TRUE(pdu.shortMessage.empty());
    ASSERT_EQ(1u, pdu.tlvs.size());
    EXPECT_EQ("Hello", pdu.tlvs[0].value);
    EXPECT_EQ(0, smpplnk::EncodeMessage(pdu, 4, encoded));
    EXPECT_EQ(std::string("\x00\x00\x01\x03", 4), encoded.substr(4, 4));
}

TEST(SmppServerText, AccountCharsetFollowsTheGatewayUnlessOverridden) {
    zella_test::TempDir dir("charset");
    const std::string ini = dir.File("ZELLA.INI");
    platform::WritePrivateProfileString(ini, "SMPP", "SMSCCharset", "iso-8859-1");
    platform::WritePrivateProfileString(ini, "SMPP", "SMSCCharsetDefault", "Yes");
    platform::WritePrivateProfileString(ini, "SMPPClient - bob", "SMSCCharset", "Default");
    platform::WritePrivateProfileString(ini, "SMPPClient - bob", "SMSCCharsetDefault", "No");
    platform::WritePrivateProfileString(ini, "SMPPClient - bob", "UseDataSM", "Yes");
    const ClientCoding ann = ReadClientCoding(ini, "ann"), bob = ReadClientCoding(ini, "bob");
    EXPECT_EQ("iso-8859-1", ann.charset);
    EXPECT_TRUE(ann.asDefault);
    EXPECT_EQ("", bob.charset);
    EXPECT_FALSE(bob.asDefault);
    EXPECT_FALSE(ann.useDataSm);
    EXPECT_TRUE(bob.useDataSm);
}

}  // namespace
}  // namespace gateway::clients
