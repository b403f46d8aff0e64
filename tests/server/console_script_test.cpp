// The real console under the script driver generates the server certificate from the
// "SSL/TLS" tab, after which the Web page offers its SSL port.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "platform/ini.h"
#include "tests/support/console_process.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace std::chrono_literals;

const char* kGenerateScript =
    "tab \"SSL/TLS\"\n"
    "answer \"No SMSC connections or modems are defined.\" Yes\n"
    "press \"Generate Server Certificate\"\n"
    "set \"Host Name:\" \"gw.example.test\"\n"
    "set \"Administrator E-Mail Address:\" \"ops@example.test\"\n"
    "set \"Company or Organization Name:\" \"Example\"\n"
    "set \"Country Name (2 letter code):\" \"GB\"\n"
    "set \"Challenge Password:\" \"pw1234\"\n"
    "set \"Re-enter Password:\" \"pw1234\"\n"
    "press \"Generate Server Certificate\"\n"
    "expect \"line2\" \"2. SSL/TLS (HTTPS) support has been enabled for this server to accept "
    "connections.  Please review the SSL/TLS related port assignments on the \\\"Web\\\" and "
    "\\\"MMSC\\\" pages of this configuration dialog.\"\n"
    "tab \"Web\"\n"
    "expect \"SSL port number for web interface:\" visible\n"
    "expect \"SSL port number for web interface:\" enabled\n"
    "press \"OK\"\n";

TEST(ServerConsoleScript, GeneratedCertificateEnablesTheSslWebPort) {
    zella_test::TempDir temp("server-script");
    const std::string dir = temp.Path();
    const std::string program = dir + "program/", data = dir + "data/";
    std::filesystem::create_directories(data);
    zella_test::CopyConsoleInto(ZELLA_CONSOLE_DIR, program, zella_test::SmscLinks::None);
    std::ofstream(dir + "script.txt") << kGenerateScript;
    const int status = zella_test::RunConsoleScript(
        program, dir + "script.txt", dir + "out.txt",
        {"ZELLA_DATA_DIR=" + data, "ZELLA_SERVICE_MANAGER=supervisor"}, {}, 120s);
    const std::string out = zella_test::ReadAll(dir + "out.txt");
    EXPECT_EQ(status, 0) << out;
    EXPECT_EQ(out.find("FAIL"), std::string::npos) << out;

    EXPECT_TRUE(std::filesystem::exists(data + "SSL.KEY"));
    std::string x509;
    FILE* pipe = popen(("openssl x509 -noout -subject -in " + data + "SSL.CRT 2>&1; openssl req "
                        "-verify -noout -in " + data + "SSL.CSR 2>&1").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char buffer[1024];
    while (std::size_t n = fread(buffer, 1, sizeof buffer, pipe)) x509.append(buffer, n);
    pclose(pipe);
    EXPECT_NE(x509.find("CN = gw.example.test"), std::string::npos) << x509;
    EXPECT_NE(x509.find("verify OK"), std::string::npos) << x509;
    EXPECT_EQ(platform::GetPrivateProfileSection(data + "SSL.INI", "SSL").size(), 8u);
}

}  // namespace
