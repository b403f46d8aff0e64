// The /init exchange with a network modem: the header helpers against the table in
// tests/data/http, and the probe against the stand-in phone in each of its fault modes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "modem/network_modem.h"
#include "platform/files.h"
#include "tests/support/first_line_child.h"
#include "tests/support/temp_dir.h"
#include "tools/phonesim/c_escapes.h"

namespace {

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    std::stringstream in(line);
    std::string field;
    while (std::getline(in, field, '\t')) fields.push_back(phonesim::DecodeEscapes(field));
    if (!line.empty() && line.back() == '\t') fields.emplace_back();
    return fields;
}

TEST(HttpHeaderTable, EveryCaseGivesItsExpectedResult) {
    const char* data = std::getenv("ZELLA_TEST_DATA");
    ASSERT_NE(data, nullptr);
    std::ifstream in(std::string(data) + "/http/header_cases.tsv");
    ASSERT_TRUE(in.is_open());
    std::string line;
    int cases = 0;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        const std::vector<std::string> f = Fields(line);
        ASSERT_EQ(f.size(), 6u) << line;
        SCOPED_TRACE(line);
        if (f[0] == "find") {
            EXPECT_EQ(modem::FindHttpHeaderEnd(f[1]), std::stoul(f[5]));
        } else if (f[0] == "value") {
            EXPECT_EQ(modem::GetHttpHeaderValue(f[1], f[2], std::stoul(f[3])), f[5]);
        } else if (f[0] == "replace") {
            EXPECT_EQ(modem::ReplaceAllNoCase(f[1], f[2], f[3], std::stoul(f[4])), f[5]);
        } else {
            ADD_FAILURE() << "unknown operation " << f[0];
        }
        ++cases;
    }
    EXPECT_GE(cases, 24);
}

class StandInPhone : public ::testing::Test {
protected:
    // Starts the stand-in with `args`; the device text that reaches it.
    std::string Start(std::vector<std::string> args) {
        args.push_back("--log=" + dir_.Path() + "requests.log");
        phone_ = std::make_unique<zella_test::FirstLineChild>(
            platform::ExecutableDirectory() + "phonesim", args);
        EXPECT_TRUE(phone_->Started()) << "phonesim did not start";
        return "127.0.0.1:" + phone_->FirstLine();
    }
    std::string Requests() {
        std::ifstream in(dir_.Path() + "requests.log", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    zella_test::TempDir dir_;
    std::unique_ptr<zella_test::FirstLineChild> phone_;
};

TEST_F(StandInPhone, AnsweringPhonePassesAndReportsItsMmsSettings) {
    const std::string device = Start({"--mms-url=http://mms.op.example/", "--mms-proxy=10.0.0.9:80"});
    EXPECT_TRUE(modem::ProbeNetworkModem(device));
    EXPECT_EQ(Requests(), "GET /init HTTP/1.1\r\nHost: quvsmsmodem_" + device +
                              "\r\nX-QuvSMS-Timeout: 5\r\n\r\n");
    std::string url = "old", proxy = "old";
    EXPECT_TRUE(modem::QuvsmsModemHasDefaultSettings(device, &url, &proxy));
    EXPECT_EQ(url, "http://mms.op.example/");
    EXPECT_EQ(proxy, "10.0.0.9:80");
}

TEST_F(StandInPhone, EachFaultOfThePhoneIsToldApart) {
    struct Case {
        std::vector<std::string> args;
        bool probe, defaults;
        std::string proxy;
    };
    const std::vector<Case> cases = {
        {{"--omit=name"}, false, true, "10.1.2.3:8080"},
        {{"--omit=id"}, false, true, "10.1.2.3:8080"},
        {{"--omit=mmsurl"}, true, false, ""},
        {{"--omit=mmsproxy"}, true, true, ""},
        {{"--slow=5"}, true, true, "10.1.2.3:8080"},
        {{"--close-early"}, false, false, ""},
        {{"--html"}, false, false, ""},
        {{"--no-header-end"}, false, false, ""},
        {{"--omit=id", "--raw-header=X-QuvSMS-DeviceID: \\x01hidden"}, false, true, "10.1.2.3:8080"},
        {{"--omit=proxy-none", "--big-body"}, true, true, "10.1.2.3:8080"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = c.args;
        std::erase(args, std::string("--omit=proxy-none"));
        SCOPED_TRACE(args.back());
        const std::string device = Start(args);
        EXPECT_EQ(modem::ProbeNetworkModem(device), c.probe);
        std::string url, proxy;
        EXPECT_EQ(modem::QuvsmsModemHasDefaultSettings(device, &url, &proxy), c.defaults);
        EXPECT_EQ(proxy, c.proxy);
        if (!c.defaults) {
            EXPECT_EQ(url, "");
        }
    }
}

TEST_F(StandInPhone, RunawayBodyIsCutAtTheCapAndFalseLengthEndsWithTheClose) {
    std::string response;
    ASSERT_TRUE(modem::ExchangeInit(Start({"--big-body"}), &response));
    EXPECT_EQ(response.size(), modem::kMaxHttpResponse);

    ASSERT_TRUE(modem::ExchangeInit(Start({"--lie-length=1000000"}), &response));
    const std::size_t end = modem::FindHttpHeaderEnd(response);
    ASSERT_NE(end, 0u);
    EXPECT_EQ(response.substr(end), "0123456789");
    EXPECT_EQ(modem::GetHttpHeaderValue(response, "x-quvsms-deviceid:", 150), "a1b2c3d4e5f6");
}

TEST_F(StandInPhone, UnusableDeviceTextsAndPortsAreRefusedWithoutARequest) {
    const std::string device = Start({});
    const std::string text115 = device + std::string(115 - device.size(), 'x');
    EXPECT_TRUE(modem::IsUsableDeviceText(text115));
    const std::string text116 = text115 + "x";
    EXPECT_FALSE(modem::IsUsableDeviceText(text116));
    EXPECT_FALSE(modem::ProbeNetworkModem(text116));
    for (const std::string& bad : {std::string("127.0.0.1:0"), std::string("127.0.0.1:65536"),
                                   device + "\r\nX-Injected: 1", std::string("[::1]:0"),
                                   std::string("[::1")}) {
        EXPECT_FALSE(modem::ProbeNetworkModem(bad)) << bad;
    }
    EXPECT_EQ(Requests(), "");
    EXPECT_EQ(modem::ShortDeviceName("10.0.0.200:8990"), "10.0.0.200");
    EXPECT_EQ(modem::ShortDeviceName("[::1]:8990"), "[::1]");
    EXPECT_EQ(modem::ShortDeviceName("Pixel"), "Pixel");
}

}  // namespace
