// ReadRequestDetail over the request files in tests/data/requests (each NAME.req beside
// NAME.out, the record it must give), hostile files made on the spot, and the text
// conversions the viewers apply to message text.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <sys/stat.h>

#include "platform/files.h"
#include "tests/support/temp_dir.h"
#include "viewers/char_convert.h"
#include "viewers/request_detail.h"

namespace {

namespace fs = std::filesystem;

std::string TimeText(const platform::SystemTime& t) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                  t.minute, t.second);
    return text;
}

// Every field of the record, one "name=value" line each, CR and LF shown as \r and \n.
std::string Describe(const viewers::RequestDetail& d) {
    std::ostringstream out;
    auto line = [&](const char* name, std::string value) {
        std::string shown;
        for (char c : value) shown += c == '\r' ? "\\r" : c == '\n' ? "\\n" : std::string(1, c);
        out << name << "=" << shown << "\n";
    };
    line("PhoneNumber", d.phoneNumber);
    line("Sender", d.sender);
    line("Data", d.data);
    line("udh", d.udh);
    line("SubmittedBy", d.submittedBy);
    line("SubmitUser", d.submitUser);
    line("ServiceType", d.serviceType);
    line("RouteToLocalUser", d.routeToLocalUser);
    line("SMPPOptions", d.smppOptions);
    line("SMSCRoute", d.smscRoute);
    line("Validity", d.validity);
    line("BillingInfo", d.billingInfo);
    line("ModemName", d.modemName);
    line("ReceiptMessageId", d.receiptMessageId);
    char numbers[96];
    std::snprintf(numbers, sizeof numbers, "pid=%02X\ndcs=%02X\nbinary=%d\nflags=%02X\n", d.pid, d.dcs,
                  d.binary ? 1 : 0, d.flags);
    out << numbers;
    line("RetryCount", std::to_string(d.retryCount));
    line("LastRetryTime", TimeText(d.lastRetryTime));
    line("FirstAttemptTime", TimeText(d.firstAttemptTime));
    line("LastErrorInfo", d.lastErrorInfo);
    return out.str();
}

TEST(ReadRequestDetail, GivesTheRecordOfEveryRequestFileInTheTable) {
    const char* data = std::getenv("ZELLA_TEST_DATA");
    const fs::path dir = fs::path(data != nullptr ? data : ZELLA_TEST_DATA_DIR) / "requests";
    int cases = 0;
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (entry.path().extension() != ".req") continue;
        fs::path expectedPath = entry.path();
        expectedPath.replace_extension(".out");
        std::string expected;
        ASSERT_TRUE(platform::ReadFile(expectedPath, expected)) << expectedPath;
        EXPECT_EQ(expected, Describe(viewers::ReadRequestDetail(entry.path())))
            << entry.path().filename();
        ++cases;
    }
    EXPECT_GE(cases, 10);
}

TEST(ReadRequestDetail, HostileFilesGiveWhatCouldBeRead) {
    zella_test::TempDir dir("requests");
    // Missing, a directory, a FIFO and a link read as an empty record.
    const viewers::RequestDetail empty;
    EXPECT_EQ(Describe(empty), Describe(viewers::ReadRequestDetail(dir.Path() + "missing.REQ")));
    EXPECT_EQ(Describe(empty), Describe(viewers::ReadRequestDetail(dir.Path())));
    ASSERT_EQ(0, mkfifo((dir.Path() + "fifo.REQ").c_str(), 0600));
    EXPECT_EQ(Describe(empty), Describe(viewers::ReadRequestDetail(dir.Path() + "fifo.REQ")));
    ASSERT_TRUE(platform::WriteFileAtomic(dir.Path() + "real.REQ", "[SMS]\nPhoneNumber=1\n"));
    fs::create_symlink(dir.Path() + "real.REQ", dir.Path() + "link.REQ");
    EXPECT_EQ("", viewers::ReadRequestDetail(dir.Path() + "link.REQ").phoneNumber);
    // 10 MB of one line after the keys: the keys still count, the long value is cut.
    std::string big = "[SMS]\r\nPhoneNumber=+441\r\nData=" + std::string(10u << 20, 'x');
    ASSERT_TRUE(platform::WriteFileAtomic(dir.Path() + "big.REQ", big));
    const viewers::RequestDetail d = viewers::ReadRequestDetail(dir.Path() + "big.REQ");
    EXPECT_EQ("+441", d.phoneNumber);
    EXPECT_EQ(8191u, d.data.size());
}

TEST(CharacterConversion, DecodesTheCodingsTheServiceStores) {
    struct DcsCase {
        unsigned dcs;
        bool gsm7, ucs2;
    };
    for (const DcsCase& c : {DcsCase{0x00, true, false}, {0xF1, true, false}, {0xC0, true, false},
                             {0xD8, true, false}, {0x08, false, true}, {0xE0, false, true},
                             {0xF4, false, false}, {0x04, false, false}, {0x40, false, false}}) {
        EXPECT_EQ(c.gsm7, viewers::IsGsm7Dcs(static_cast<std::uint8_t>(c.dcs))) << c.dcs;
        EXPECT_EQ(c.ucs2, viewers::IsUcs2Dcs(static_cast<std::uint8_t>(c.dcs))) << c.dcs;
    }
    struct HexCase {
        std::string in, out;
    };
    for (const HexCase& c : {HexCase{"004100420043", "ABC"}, {"00e9", "\xC3\xA9"},
                             {"20AC", "\xE2\x82\xAC"}, {"D83DDE00", "\xF0\x9F\x98\x80"},
                             {"D83D0041", "\xEF\xBF\xBD" "A"}, {"00410", std::string("A\0", 2)},
                             {"0041zz0042", "A"}, {"", ""}}) {
        EXPECT_EQ(c.out, viewers::HexUcs2ToUtf8(c.in)) << c.in;
    }
    EXPECT_EQ("\xE9", viewers::Utf8ToCodeSet("\xC3\xA9", 7168, "ISO-8859-1"));
    EXPECT_EQ("ab-", viewers::Utf8ToCodeSet("ab\xC3", 7168, "ISO-8859-1"));
    EXPECT_EQ("?", viewers::Utf8ToCodeSet("\xE2\x82\xAC", 7168, "ISO-8859-1"));
    EXPECT_EQ("caf\xC3\xA9 \xE2\x82\xAC", viewers::Utf8ToCodeSet("caf\xC3\xA9 \xE2\x82\xAC", 7168, "UTF-8"));
    EXPECT_EQ("ab", viewers::Utf8ToCodeSet("ab\xC3\xA9", 3, "UTF-8"));
    EXPECT_EQ(8192u, viewers::Utf8ToCodeSet(std::string(20000, 'a'), 100000, "UTF-8").size());
}

}  // namespace
