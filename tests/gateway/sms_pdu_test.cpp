// The PDU codec against the table in tests/data/pdu/pdus.txt: PDUs read back field by
// field, malformed ones refused for the stated reason, and SMS-SUBMITs built byte for byte.
#include "gateway/sms_pdu.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "gateway/links/modem_reassembly.h"
#include "gateway/request.h"

namespace gateway::pdu {
namespace {

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    std::stringstream in(line);
    for (std::string f; std::getline(in, f, '|');) fields.push_back(f);
    return fields;
}

std::string NoSpaces(std::string s) {
    std::erase(s, ' ');
    return s;
}

const char* KindName(Kind k) {
    return k == Kind::Deliver ? "deliver" : k == Kind::Submit ? "submit" : "report";
}

std::string DcsHex(int dcs) {
    char text[4];
    std::snprintf(text, sizeof text, "%02X", dcs);
    return text;
}

void CheckDecoded(const std::vector<std::string>& f) {
    ASSERT_EQ(f.size(), 9u);
    Decoded d;
    std::string error;
    ASSERT_TRUE(Decode(NoSpaces(f[1]), d, error)) << error;
    EXPECT_EQ(KindName(d.kind), f[2]);
    EXPECT_EQ(d.address, f[3]);
    EXPECT_EQ(DcsHex(d.dcs), f[4]);
    EXPECT_EQ(d.coding == Coding::Binary ? OctetsToHex(d.octets) : d.text, f[5]);
    EXPECT_EQ(std::to_string(d.concat.reference) + "/" + std::to_string(d.concat.total) + "/" +
                  std::to_string(d.concat.number),
              f[6]);
    EXPECT_EQ(std::to_string(d.messageReference), f[7]);
    EXPECT_EQ(std::to_string(d.status), f[8]);
}

void CheckRefused(const std::vector<std::string>& f) {
    ASSERT_EQ(f.size(), 3u);
    Decoded d;
    std::string error;
    EXPECT_FALSE(Decode(NoSpaces(f[1]), d, error));
    EXPECT_NE(error.find(f[2]), std::string::npos) << error;
}

void CheckSubmit(const std::vector<std::string>& f) {
    ASSERT_EQ(f.size(), 6u);
    EncodedMessage m;
    ASSERT_TRUE(EncodeMessage(f[2], "", "", false, true, 0, m));
    SubmitOptions o;
    o.recipient = f[1];
    o.validityMinutes = std::atoi(f[3].c_str());
    o.statusReport = f[4] == "1";
    const std::vector<SubmitPdu> pdus = EncodeSubmit(m, o);
    ASSERT_EQ(pdus.size(), 1u);
    EXPECT_EQ(pdus[0].hex, NoSpaces(f[5]));
    EXPECT_EQ(pdus[0].tpduLength * 2 + 2, pdus[0].hex.size());
}

TEST(SmsPdu, TableOfPdusReadRefusedAndBuilt) {
    const char* root = std::getenv("ZELLA_TEST_DATA");
    std::ifstream file(std::string(root != nullptr ? root : ZELLA_TEST_DATA_DIR) + "/pdu/pdus.txt");
    ASSERT_TRUE(file.good());
    unsigned rows = 0;
    for (std::string line; std::getline(file, line);) {
        if (line.empty() || line[0] == '#') continue;
        SCOPED_TRACE(line);
        const std::vector<std::string> f = Fields(line);
        ++rows;
        if (f[0] == "decode")
            CheckDecoded(f);
        else if (f[0] == "refuse")
            CheckRefused(f);
        else if (f[0] == "submit")
            CheckSubmit(f);
        else
            ADD_FAILURE() << "unknown row kind " << f[0];
    }
    EXPECT_GE(rows, 20u);
}

// A long UCS-2 text goes as parts whose PDUs read back to the same text, in order.
TEST(SmsPdu, LongTextSplitsIntoPartsThatReadBack) {
    std::string text;
    for (int i = 0; i < 40; ++i)
        text += "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 ";  // "Привет " x40
    EncodedMessage m;
    ASSERT_TRUE(EncodeMessage(text, "", "", false, true, 7, m));
    SubmitOptions o;
    o.recipient = "+4912345678";
    const std::vector<SubmitPdu> pdus = EncodeSubmit(m, o);
    ASSERT_EQ(pdus.size(), 5u);
    std::string joined;
    for (std::size_t i = 0; i < pdus.size(); ++i) {
        Decoded d;
        std::string error;
        ASSERT_TRUE(Decode(pdus[i].hex, d, error)) << error;
        EXPECT_EQ(d.concat.total, pdus.size());
        EXPECT_EQ(d.concat.number, i + 1);
        EXPECT_EQ(d.concat.reference, 7u);
        joined += d.text;
    }
    EXPECT_EQ(joined, text);
}

Reassembly::Part PartOf(const std::string& sender, unsigned reference, unsigned total,
                        unsigned number, int index, const std::string& text) {
    Reassembly::Part p;
    p.index = index;
    p.pdu.address = sender;
    p.pdu.concat = {reference, total, number};
    p.pdu.text = text;
    return p;
}

// Parts held until the last arrives, whatever the order; a storage index seen again is
// not taken twice; a message still missing parts after ten minutes (even one claiming
// 255) is given up as what it has; at most 32 messages wait.
TEST(Reassembly, PartsWaitForTheLastOneAndGiveUpAfterTenMinutes) {
    Reassembly r;
    EXPECT_TRUE(r.Add(PartOf("+49", 7, 3, 3, 5, "c"), 0));
    EXPECT_TRUE(r.Add(PartOf("+49", 7, 3, 1, 6, "a"), 0));
    EXPECT_FALSE(r.Add(PartOf("+49", 7, 3, 1, 6, "a"), 0));  // the sweep sees it again
    EXPECT_TRUE(r.Holds(5));
    EXPECT_TRUE(r.Take(1000).empty());
    EXPECT_TRUE(r.Add(PartOf("+49", 7, 3, 2, 8, "b"), 2000));
    std::vector<Reassembly::Ready> ready = r.Take(2000);
    ASSERT_EQ(1u, ready.size());
    EXPECT_TRUE(ready[0].whole);
    EXPECT_EQ("abc", JoinParts(ready[0].parts, "+1").text);
    EXPECT_FALSE(r.Holds(5));

    EXPECT_TRUE(r.Add(PartOf("+49", 9, 255, 17, 1, "x"), 0));
    EXPECT_TRUE(r.Take(Reassembly::kTimeoutMs - 1).empty());
    ready = r.Take(Reassembly::kTimeoutMs);
    ASSERT_EQ(1u, ready.size());
    EXPECT_FALSE(ready[0].whole);
    ASSERT_EQ(1u, ready[0].parts.size());
    EXPECT_EQ(17u, ready[0].parts[0].pdu.concat.number);

    for (unsigned m = 0; m < 40; ++m)
        r.Add(PartOf("+49", m, 2, 1, static_cast<int>(100 + m), "y"), m);
    ready = r.Take(100);
    ASSERT_EQ(8u, ready.size());
    EXPECT_EQ(0u, ready[0].parts[0].pdu.concat.reference);  // the oldest go first
}

}  // namespace
}  // namespace gateway::pdu
