// The Gateway service's parts by tables: message coding and splitting, request files,
// routing, retry timing, connection keys and the SMPP PDUs built from them.
#include <set>

#include <gtest/gtest.h>

#include "acctdb/acctdb.h"
#include "gateway/links/smpp_parts.h"
#include "gateway/message_parts.h"
#include "gateway/request.h"
#include "gateway/retry.h"
#include "gateway/routing.h"
#include "gateway/settings.h"
#include "platform/files.h"
#include "platform/ini_snapshot.h"
#include "tests/support/temp_dir.h"

namespace gateway {
namespace {

TEST(MessageParts, CodingAndPartsFollowTheTextsCharacters) {
    struct Case {
        std::string text;
        Coding coding;
        std::size_t parts;
        unsigned firstPartUnits;  // septets (GSM) or payload octets / 2 (UCS-2)
    } cases[] = {
        {"Hello", Coding::Gsm7, 1, 5},
        {std::string(160, 'a'), Coding::Gsm7, 1, 160},
        {std::string(161, 'a'), Coding::Gsm7, 2, 153},
        {std::string(306, 'a'), Coding::Gsm7, 2, 153},
        {std::string(307, 'a'), Coding::Gsm7, 3, 153},
        {"\xE2\x82\xAC" + std::string(158, 'a'), Coding::Gsm7, 1, 160},          // euro: escape + code
        {std::string(152, 'a') + "\xE2\x82\xAC" + "b" + std::string(10, 'c'), Coding::Gsm7, 2, 152},  // never cut an escape
        {"\xD0\x96", Coding::Ucs2, 1, 1},                                       // Cyrillic
        {std::string(70, 'a') + "\xD0\x96", Coding::Ucs2, 2, 67},
        {"\xF0\x9F\x98\x80", Coding::Ucs2, 1, 2},                               // a surrogate pair
    };
    for (const Case& c : cases) {
        EncodedMessage m;
        ASSERT_TRUE(EncodeMessage(c.text, "", "", false, true, 7, m)) << c.text;
        EXPECT_EQ(c.coding, m.coding) << c.text;
        ASSERT_EQ(c.parts, m.parts.size()) << c.text;
        const unsigned units = c.coding == Coding::Gsm7 ? m.parts[0].septets
                                                        : static_cast<unsigned>(m.parts[0].payload.size() / 2);
        EXPECT_EQ(c.firstPartUnits, units) << c.text;
        if (c.parts > 1) {
            EXPECT_EQ(std::string("\x05\x00\x03\x07", 4), m.parts[0].udh.substr(0, 4));
            EXPECT_EQ(static_cast<char>(c.parts), m.parts[0].udh[4]);
            EXPECT_EQ('\x01', m.parts[0].udh[5]);
            EXPECT_EQ(static_cast<char>(c.parts), m.parts.back().udh[5]);
        }
    }
    EncodedMessage bad;
    EXPECT_FALSE(EncodeMessage("\xC3\x28", "", "", false, true, 1, bad));  // invalid UTF-8
}

TEST(MessageParts, GsmTextSurvivesEncodingPackingAndDecoding) {
    const std::string text = "Hi @ \xC2\xA3" "5 {x} [y] ~ \\ | ^ \xE2\x82\xAC \xC3\xA9\r\n\xCE\xA9";
    std::string septets;
    ASSERT_TRUE(acctdb::UTF8ToGSM7Septets(text, septets));
    EXPECT_EQ(text, acctdb::GSM7SeptetsToUTF8(septets));
    for (unsigned fill : {0u, 1u, 6u}) {
        std::string hex;
        for (unsigned char c : acctdb::PackGSM7Septets(septets, fill)) {
            char two[3];
            std::snprintf(two, sizeof two, "%02X", c);
            hex += two;
        }
        // A header whose length leaves `fill` spare bits: (7 - (octets*8) % 7) % 7 == fill.
        const std::string header = fill == 0 ? "" : fill == 1 ? "050003010201" : "0100";
        if (FillBits(header.size() / 2) != fill) continue;
        EXPECT_EQ(text, acctdb::GSM7ToUTF8String(header, hex)) << fill;
    }
    std::string ucs2;
    ASSERT_TRUE(acctdb::UTF8ToUCS2("a\xF0\x9F\x98\x80", ucs2));
    EXPECT_EQ(std::string("\x00" "a" "\xD8\x3D\xDE\x00", 6), ucs2);
    EXPECT_EQ("a\xF0\x9F\x98\x80", acctdb::UCS2ToUTF8(ucs2));
}

TEST(RequestFile, ParsingTakesTheConsolesKeysAndRefusesWhatCannotBeSent) {
    OutboundRequest r;
    std::string error;
    ASSERT_TRUE(ParseRequest("[SMS]\r\nPhoneNumber=+441\r\nData=a\\r\\nb\\\\c\r\nSMSCRoute=X\r\nSubmitUser=Ann\r\n"
                             "ReceiptRequested=Yes\r\npid=3F\r\n[ErrorDetail]\r\nRetryCount=4\r\n",
                             r, error));
    EXPECT_EQ("a\r\nb\\c", r.data);
    EXPECT_EQ("X", r.smscRoute);
    EXPECT_EQ("Ann", r.User());
    EXPECT_TRUE(r.receiptRequested);
    EXPECT_EQ(0x3F, r.pid);
    EXPECT_EQ(4u, r.retryCount);
    const struct {
        const char* text;
        const char* error;
    } bad[] = {
        {"junk", "no [SMS] section"},
        {"[SMS]\r\nData=x\r\n", "no recipient"},
        {"[SMS]\r\nPhoneNumber=1\r\nbinary=Yes\r\nData=ABC\r\n", "not hexadecimal"},
        {"[SMS]\r\nPhoneNumber=1\r\nudh=zz\r\n", "header is not hexadecimal"},
    };
    for (const auto& b : bad) {
        EXPECT_FALSE(ParseRequest(b.text, r, error)) << b.text;
        EXPECT_NE(std::string::npos, error.find(b.error)) << error;
    }
    EXPECT_EQ("localsystem", OutboundRequest().User());
}

TEST(RequestFile, ErrorDetailIsReplacedAndKeptOnOneCommaFreeLine) {
    const std::string text = "[SMS]\r\nPhoneNumber=1\r\n[ErrorDetail]\r\nRetryCount=1\r\nLastErrorInfo=old\r\n";
    const std::string updated = WithErrorDetail(text, 2, "20260101000000", "20260101000100", "bad, worse\r\nworst");
    const platform::IniSnapshot ini = platform::IniSnapshot::FromText(updated);
    EXPECT_EQ("2", ini.Get("ErrorDetail", "RetryCount"));
    EXPECT_EQ("bad; worse  worst", ini.Get("ErrorDetail", "LastErrorInfo"));
    EXPECT_EQ("1", ini.Get("SMS", "PhoneNumber"));
    EXPECT_EQ(199u, OneLineField(std::string(300, 'e')).size());
    // A cut never leaves half of a UTF-8 character.
    EXPECT_EQ(198u, OneLineField(std::string(198, 'e') + "\xC3\xA9").size());
}

class RoutingTable : public ::testing::Test {
protected:
    void SetUp() override {
        ini_ = dir_.File("ZELLA.INI");
        platform::WriteFileAtomic(ini_,
                                  "[ZELLA]\r\nModem1=SMPP - a:1\r\nModem2=SMPP - b:1\r\nModem3=UCP - c:1\r\nModem4=COM1:\r\n"
                                  "[SMPP - a:1]\r\nRouteName=alpha\r\nRoute1=+44\r\n"
                                  "[SMPP - b:1]\r\nAllowedUser1=vip\r\nRoutePrefOnly=Yes\r\n"
                                  "[UCP - c:1]\r\nRoute1=4477\r\n");
        settings_ = LoadSettings(ini_);
        for (const ConnectionSettings& c : settings_.connections) {
            RouteCandidate rc;
            rc.settings = &c;
            rc.driven = c.Kind() != LinkKind::GsmModem;
            rc.up = rc.hasRoom = true;
            candidates_.push_back(rc);
        }
    }
    RouteChoice Choose(RouteQuery q) { return ChooseRoute(q, candidates_, turn_); }

    zella_test::TempDir dir_;
    std::string ini_;
    GatewaySettings settings_;
    std::vector<RouteCandidate> candidates_;
    std::size_t turn_ = 0;
};

TEST_F(RoutingTable, PinnedNamesUsersAndPrefixesPickTheConnection) {
    struct Case {
        RouteQuery query;
        RouteChoice::Kind kind;
        std::size_t index;
    } cases[] = {
        {{"ALPHA", "", "+1", "x"}, RouteChoice::Kind::Send, 0},                // RouteName, any case
        {{"smpp - b:1", "", "+1", "x"}, RouteChoice::Kind::Send, 1},          // name, any case
        {{"", "UCP - c-1", "+1", "x"}, RouteChoice::Kind::Send, 2},           // queue folder
        {{"", "", "+1", "vip"}, RouteChoice::Kind::Send, 1},                  // listed user first
        {{"", "", "+447712", "x"}, RouteChoice::Kind::Send, 2},               // longest prefix
        {{"", "", "+4420", "x"}, RouteChoice::Kind::Send, 0},
        {{"nowhere", "", "+1", "x"}, RouteChoice::Kind::Wait, 0},
        {{"COM1:", "", "+1", "x"}, RouteChoice::Kind::Wait, 3},                // not served yet
    };
    for (const Case& c : cases) {
        const RouteChoice choice = Choose(c.query);
        EXPECT_EQ(c.kind, choice.kind) << c.query.smscRoute << c.query.folder << c.query.recipient;
        if (c.kind == RouteChoice::Kind::Send) {
            EXPECT_EQ(c.index, choice.index) << c.query.recipient;
        }
    }
    // Without a preference the connections not restricted to their prefixes take turns.
    std::set<std::size_t> used;
    for (int i = 0; i < 4; ++i) used.insert(Choose({"", "", "+1", "x"}).index);
    EXPECT_EQ((std::set<std::size_t>{0, 2}), used);
}

TEST_F(RoutingTable, BlockedDownAndFullConnectionsSayWhy) {
    candidates_[0].blockedReason = "Quiet hours";
    EXPECT_EQ("Quiet hours", Choose({"alpha", "", "+1", "x"}).reason);
    candidates_[0].blockedReason.clear();
    candidates_[0].up = false;
    candidates_[0].downError = "Unable to connect";
    EXPECT_EQ(RouteChoice::Kind::Down, Choose({"alpha", "", "+1", "x"}).kind);
    candidates_[0].up = true;
    candidates_[0].hasRoom = false;
    EXPECT_EQ(RouteChoice::Kind::Busy, Choose({"alpha", "", "+1", "x"}).kind);
    for (auto& c : candidates_) c.up = false;
    EXPECT_EQ(RouteChoice::Kind::Down, Choose({"", "", "+1", "x"}).kind);
    for (auto& c : candidates_) c.blockedReason = "Connection is off-line";
    EXPECT_EQ("Connection is off-line", Choose({"", "", "+1", "x"}).reason);
}

TEST(Settings, HostileValuesAreBoundedAndMalformedOnesIgnored) {
    EXPECT_EQ(0u, ParsePort("0"));
    EXPECT_EQ(0u, ParsePort("65536"));
    EXPECT_EQ(0u, ParsePort("-1"));
    EXPECT_EQ(0u, ParsePort("80x"));
    EXPECT_EQ(2775u, ParsePort(" 2775 "));
    EXPECT_EQ(1000, ParseBounded("100000", 1, 1, 1000));
    EXPECT_EQ(0, ParseBounded("-5", 3, 0, 10));
    EXPECT_EQ(3, ParseBounded("", 3, 0, 10));
    EXPECT_EQ(10, ParseBounded("99999999999999999999999", 3, 0, 10));
    EXPECT_EQ(10u, ParseSendLimit("10/60").count);
    EXPECT_EQ(0u, ParseSendLimit("10/0").count);
    EXPECT_EQ(0u, ParseSendLimit("-3/5").count);
    QuietHours night{22, 6};
    EXPECT_TRUE(night.Contains(23));
    EXPECT_TRUE(night.Contains(5));
    EXPECT_FALSE(night.Contains(6));
    EXPECT_FALSE((QuietHours{8, 8}).Contains(8));
}

TEST(Retry, DelaysDoubleUpToAnHourAndValidityEndsTheTries) {
    RetryPolicy p;
    EXPECT_EQ(60'000u, RetryDelayMs(p, 1));
    EXPECT_EQ(120'000u, RetryDelayMs(p, 2));
    EXPECT_EQ(3'600'000u, RetryDelayMs(p, 12));
    EXPECT_FALSE(GiveUp(p, 19, 0, ""));
    EXPECT_TRUE(GiveUp(p, 20, 0, ""));
    EXPECT_TRUE(GiveUp(p, 1, 48ull * 3'600'000, ""));
    EXPECT_TRUE(GiveUp(p, 1, 11 * 60'000, "10"));
    EXPECT_FALSE(GiveUp(p, 30, 9 * 60'000, "10"));
    EXPECT_EQ(0, Time14ToUnixMillis("2026010100000"));
    EXPECT_GT(Time14ToUnixMillis("20260101000000"), 0);
}

class SmppPdus : public ::testing::Test {
protected:
    ConnectionSettings Connection(const std::string& keys) {
        platform::WriteFileAtomic(dir_.File("ZELLA.INI"), "[ZELLA]\r\nModem1=SMPP - h:1\r\n[SMPP - h:1]\r\n" + keys);
        return LoadSettings(dir_.File("ZELLA.INI")).connections.at(0);
    }
    std::vector<smpplnk::MessageRequest> Parts(const std::string& keys, OutboundMessage m) {
        std::vector<smpplnk::MessageRequest> parts;
        std::string error;
        EXPECT_TRUE(BuildSmppParts(m, ReadSmppOptions(Connection(keys)), 9, parts, error)) << error;
        return parts;
    }
    zella_test::TempDir dir_;
};

TEST_F(SmppPdus, KeysChooseCharsetPackingAndLongMessageMethod) {
    OutboundMessage m;
    m.recipient = "+4477";
    m.sender = "Shop";
    m.text = "caf\xC3\xA9";
    auto p = Parts("", m);
    ASSERT_EQ(1u, p.size());
    EXPECT_EQ(std::string("caf\x05", 4), p[0].shortMessage);  // GSM septet of e-acute, unpacked
    EXPECT_EQ(0, p[0].dataCoding);
    EXPECT_EQ(1, p[0].destTon);
    EXPECT_EQ("4477", p[0].destination);
    EXPECT_EQ(5, p[0].sourceTon);
    p = Parts("SMSCCharset=iso-8859-1\r\n", m);
    EXPECT_EQ("caf\xE9", p[0].shortMessage);
    EXPECT_EQ(3, p[0].dataCoding);
    p = Parts("SMSCCharset=ISO-8859-1\r\nSMSCCharsetDefault=Yes\r\n", m);
    EXPECT_EQ(0, p[0].dataCoding);
    p = Parts("GSMPack=Yes\r\n", m);
    EXPECT_EQ(4u, p[0].shortMessage.size());  // 4 septets packed into 4 octets
    p = Parts("SenderAddressOverride=No\r\nSenderAddress=12345\r\n", m);
    EXPECT_EQ("12345", p[0].source);
    EXPECT_EQ(0, p[0].sourceTon);
    m.text = std::string(200, 'z');
    m.receiptRequested = true;
    p = Parts("UseTLV=Yes\r\n", m);
    ASSERT_EQ(2u, p.size());
    EXPECT_EQ(0, p[0].esmClass);
    EXPECT_EQ(1, p[0].registeredDelivery);
    ASSERT_EQ(3u, p[1].tlvs.size());
    EXPECT_EQ(std::string("\x00\x09", 2), p[1].tlvs[0].value);
    EXPECT_EQ(std::string("\x02", 1), p[1].tlvs[2].value);
    p = Parts("UseDataSM=Yes\r\n", m);
    ASSERT_EQ(1u, p.size());
    EXPECT_EQ(smpplnk::kDataSm, p[0].commandId);
    ASSERT_EQ(1u, p[0].tlvs.size());
    EXPECT_EQ(200u, p[0].tlvs[0].value.size());
    // What the codec makes of them decodes as the SMSC would read it.
    std::string pdu;
    ASSERT_EQ(0, smpplnk::EncodeMessage(p[0], 5, pdu));
    EXPECT_EQ(smpplnk::kDataSm, smpplnk::DecodeHeader(reinterpret_cast<const unsigned char*>(pdu.data())).id);
}

TEST_F(SmppPdus, ReceivedDeliveriesAndReceiptsAreRead) {
    const SmppOptions o = ReadSmppOptions(Connection(""));
    smpplnk::MessageDelivery d;
    d.source = "447001";
    d.sourceTon = 1;
    d.shortMessage = "id:AB12 sub:001 dlvrd:001 submit date:2601011200 done date:2601011201 stat:UNDELIV err:001";
    d.esmClass = 0x04;
    InboundMessage m = ReadSmppDelivery(d, o);
    EXPECT_EQ("+447001", m.sender);
    EXPECT_TRUE(m.isReceipt);
    EXPECT_EQ("AB12", m.receiptSmscId);
    EXPECT_EQ("UNDELIV", m.receiptState);
    d = smpplnk::MessageDelivery();
    d.esmClass = 0x40;
    d.dataCoding = 8;
    d.shortMessage = std::string("\x05\x00\x03\x01\x02\x01\x04\x16", 8);
    m = ReadSmppDelivery(d, o);
    EXPECT_FALSE(m.isReceipt);
    EXPECT_EQ(6u, m.udh.size());
    EXPECT_EQ("\xD0\x96", m.text);
    d.dataCoding = 4;
    d.esmClass = 0;
    m = ReadSmppDelivery(d, o);
    EXPECT_TRUE(m.binary);
    EXPECT_EQ(8u, m.octets.size());
}

}  // namespace
}  // namespace gateway
