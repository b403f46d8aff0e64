// The SSL/TLS page walked end to end through the headless host with the real TLS
// library: refused input, a generation checked with the openssl command line as an
// operator would, a refused subject that must leave the earlier set in place, and the
// console's own TLS client accepted by an openssl server made from the generated pair.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "accounts/scramble.h"
#include "acctdb/acctdb.h"
#include "platform/dynlib.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "server/server_certificate.h"
#include "server/ssl_page.h"
#include "shell/core/link_libraries.h"
#include "tests/support/console_process.h"
#include "tests/support/held_port.h"
#include "tests/support/temp_dir.h"
#include "tests/support/unprivileged.h"
#include "ui/headless_host.h"

namespace {

// Runs a shell command line and returns its output with standard error merged.
std::string Shell(const std::string& command) {
    std::string out;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return out;
    char buffer[4096];
    while (std::size_t n = fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, n);
    pclose(pipe);
    return out;
}

std::string Repeat(const std::string& piece, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += piece;
    return out;
}

std::string FileText(const std::string& path) {
    std::string text;
    platform::ReadFile(path, text);
    return text;
}

class SslPageTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(data_.Path().empty());
        platform::SetLibraryDirectory(std::string(ZELLA_BIN_DIR) + "/");
        shell::LoadLinkLibraries();
        ASSERT_NE(shell::TlsLink(), nullptr);
        ASSERT_TRUE(shell::TlsAvailable());
    }
    void TearDown() override {
        shell::FreeLinkLibraries();
        platform::SetLibraryDirectory("");
    }
    // Shows the page in a sheet and runs `script` on it while the sheet is open.
    void WithPage(const std::function<void(ui::Page&)>& script) {
        ui::Sheet sheet("Quv SMS/MMS Gateway");
        sheet.AddPage(server::CreateSslPage());
        host_.QueueSheet([&](ui::Sheet& s) {
            script(s.ActivePage());
            s.PressCancel();
        });
        host_.RunSheet(sheet);
    }
    // Queues the certificate dialog filled with `fields` (password2 as the retyped one).
    static void Fill(ui::Dialog& d, const server::CertificateFields& f, const std::string& password2) {
        d.UserSetText("host", f.host);
        d.UserSetText("email", f.email);
        d.UserSetText("company", f.company);
        d.UserSetText("department", f.department);
        d.UserSetText("city", f.city);
        d.UserSetText("state", f.state);
        d.UserSetText("country", f.country);
        d.UserSetText("password", f.password);
        d.UserSetText("password2", password2);
    }
    std::string Path(const char* name) const { return data_.Path() + name; }

    zella_test::ScopedDataDir data_{"server-ssl"};
    ui::HeadlessHost host_;
};

TEST_F(SslPageTest, GenerationWalksThePageAndOpensslAcceptsEveryFile) {
    // The department at X.509's bound for it, 64 characters of two bytes each.
    const std::string department = Repeat("é", 64);
    server::CertificateFields f{"gw.example.test", "ops@example.test",
                                "Ex/am=ple, \"Quoted\" Société", department, "", "", "GB", "pw1234"};
    std::string firstCert;
    WithPage([&](ui::Page& page) {
        EXPECT_EQ(page.Text("line2"), server::kSslLine2Disabled);
        EXPECT_EQ(page.Text("line3"), "");
        EXPECT_FALSE(page.Visible("requestCa"));

        host_.QueueDialog("DIALOG_SSLCERT", [&](ui::Dialog& d) {
            // Letter case counts; then a country OpenSSL refuses; then a good one.
            Fill(d, f, "PW1234");
            d.UserClick(ui::IDOK);
            EXPECT_FALSE(d.IsEnded());
            Fill(d, {f.host, f.email, f.company, "", "", "", "GBR", f.password}, f.password);
            d.UserClick(ui::IDOK);
            EXPECT_FALSE(d.IsEnded());
            EXPECT_FALSE(platform::FileExists(Path("SSL.KEY")));
            // 250 characters never reach the library; 249 do, and exceed what X.509 allows.
            Fill(d, {f.host, f.email, f.company, Repeat("€", 250), "", "", "GB", f.password}, f.password);
            d.UserClick(ui::IDOK);
            EXPECT_FALSE(d.IsEnded());
            Fill(d, {f.host, f.email, f.company, Repeat("€", 249), "", "", "GB", f.password}, f.password);
            d.UserClick(ui::IDOK);
            EXPECT_FALSE(d.IsEnded());
            EXPECT_FALSE(platform::FileExists(Path("SSL.KEY")));
            Fill(d, f, f.password);
            d.UserClick(ui::IDOK);
            EXPECT_TRUE(d.IsEnded());
        });
        page.UserClick("generate");
        EXPECT_EQ(page.Text("line2"), server::kSslLine2Enabled);
        EXPECT_EQ(page.Text("line3"), server::kSslUnsignedNote);
        EXPECT_TRUE(page.Visible("requestCa"));
        EXPECT_TRUE(shell::ServerCertificatePresent());
    });
    const std::string transcript = host_.TranscriptText();
    EXPECT_NE(transcript.find("box: Passwords must match"), std::string::npos) << transcript;
    // OpenSSL's own reason for the refused country reaches the operator.
    EXPECT_NE(transcript.find("country name cannot be used in a certificate"), std::string::npos)
        << transcript;
    EXPECT_NE(transcript.find("box: A field holds at most 249 characters"), std::string::npos);
    EXPECT_NE(transcript.find("department name cannot be used in a certificate (string too long: at "
                              "most 64 characters, not 249)"),
              std::string::npos)
        << transcript;

    // SSL.INI: all eight keys, the empty ones too, the password scrambled by the host.
    const std::string ini = server::SslIniPath();
    const auto section = platform::GetPrivateProfileSection(ini, "SSL");
    EXPECT_EQ(section.size(), 8u);
    EXPECT_EQ(platform::GetPrivateProfileString(ini, "SSL", "City", "absent"), "");
    EXPECT_EQ(platform::GetPrivateProfileString(ini, "SSL", "Country", ""), "GB");
    const std::string stored = platform::GetPrivateProfileString(ini, "SSL", "Password", "");
    EXPECT_NE(stored, f.password);
    EXPECT_EQ(accounts::UnscrambleText(f.host, stored), f.password);

    struct stat st {};
    ASSERT_EQ(stat(Path("SSL.KEY").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    const std::string x509 = Shell("openssl x509 -noout -subject -dates -ext subjectAltName -in " +
                                   Path("SSL.CRT"));
    EXPECT_NE(x509.find("CN = gw.example.test"), std::string::npos) << x509;
    // One RDN per line: the separators inside the company name never split the subject.
    const std::string rdns = Shell("openssl x509 -noout -subject -nameopt multiline,-esc_msb,utf8 -in " +
                                   Path("SSL.CRT"));
    EXPECT_NE(rdns.find("organizationName          = Ex/am=ple, \"Quoted\" Société\n"),
              std::string::npos) << rdns;
    EXPECT_NE(rdns.find("organizationalUnitName    = " + department + "\n"), std::string::npos) << rdns;
    const std::string oneLine = Shell("openssl x509 -noout -subject -nameopt utf8 -in " + Path("SSL.CRT"));
    EXPECT_NE(oneLine.find("OU=" + department + ", CN=gw.example.test"), std::string::npos) << oneLine;
    EXPECT_NE(x509.find("DNS:gw.example.test"), std::string::npos) << x509;
    EXPECT_NE(x509.find("notAfter="), std::string::npos) << x509;
    const std::string req = Shell("openssl req -verify -noout -text -in " + Path("SSL.CSR"));
    EXPECT_NE(req.find("verify OK"), std::string::npos) << req;
    EXPECT_NE(req.find("challengePassword"), std::string::npos) << req;
    EXPECT_NE(req.find("pw1234"), std::string::npos) << req;
    const std::string rsa = Shell("openssl rsa -check -noout -passin pass:pw1234 -in " + Path("SSL.KEY"));
    EXPECT_NE(rsa.find("RSA key ok"), std::string::npos) << rsa;
    EXPECT_NE(Shell("openssl rsa -text -noout -passin pass:pw1234 -in " + Path("SSL.KEY"))
                  .find("2048 bit"),
              std::string::npos);

    // A refused subject on regeneration keeps the working set byte for byte.
    const std::string cert = FileText(Path("SSL.CRT"));
    const std::string key = FileText(Path("SSL.KEY"));
    const std::string longPassword = Repeat("ü", 200);  // 400 bytes, 800 scrambled letters
    host_.ClearTranscript();
    WithPage([&](ui::Page& page) {
        host_.QueueAnswer("A Certificate Sign Request (CSR) has already been generated.", ui::kYes);
        host_.QueueDialog("DIALOG_SSLCERT", [&](ui::Dialog& d) {
            EXPECT_EQ(d.Text("password2"), f.password);  // unscrambled from SSL.INI
            d.UserSetText("country", "GBR");
            d.UserClick(ui::IDOK);
            EXPECT_FALSE(d.IsEnded());
            // A password the scrambling would cut is refused before anything is written.
            Fill(d, f, Repeat("€", 167));
            d.UserSetText("password", Repeat("€", 167));
            d.UserClick(ui::IDOK);
            EXPECT_FALSE(d.IsEnded());
            // Values of many bytes are kept whole in SSL.INI even when refused by OpenSSL.
            Fill(d, {f.host, f.email, f.company, Repeat("€", 249), "", "", "GB", longPassword},
                 longPassword);
            d.UserClick(ui::IDOK);
            EXPECT_FALSE(d.IsEnded());
            d.UserClick(ui::IDCANCEL);
        });
        page.UserClick("generate");
        EXPECT_EQ(page.Text("line2"), server::kSslLine2Enabled);
        host_.QueueAnswer("A Certificate Sign Request (CSR) has already been generated.", ui::kYes);
        host_.QueueDialog("DIALOG_SSLCERT", [&](ui::Dialog& d) {
            EXPECT_EQ(d.Text("department"), Repeat("€", 249));
            EXPECT_EQ(d.Text("password"), longPassword);
            d.UserClick(ui::IDCANCEL);
        });
        page.UserClick("generate");
    });
    EXPECT_NE(host_.TranscriptText().find("Unable to generate the server certificate."),
              std::string::npos);
    EXPECT_NE(host_.TranscriptText().find("box: The challenge password is too long to be kept"),
              std::string::npos);
    EXPECT_EQ(FileText(Path("SSL.CRT")), cert);
    EXPECT_EQ(FileText(Path("SSL.KEY")), key);

    // The console's TLS client is accepted by a server made from the pair.
    zella_test::HeldPort held;
    const unsigned port = held.port;
    close(held.fd);
    held.fd = -1;
    zella_test::ChildProcess server(
        {"/usr/bin/openssl", "s_server", "-quiet", "-accept", "127.0.0.1:" + std::to_string(port),
         "-cert", Path("SSL.CRT"), "-key", Path("SSL.KEY"), "-pass", "pass:pw1234", "-naccept", "1"},
        data_.Path() + "s_server.txt");
    int fd = -1;
    for (int i = 0; i < 250 && fd < 0; ++i) {
        fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
            close(fd);
            fd = -1;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    ASSERT_GE(fd, 0);
    char buffer[1024] = "gw.example.test";
    const shell::TlsLinkTable* tls = shell::TlsLink();
    void* session = tls->sslInitSession(fd, buffer, sizeof buffer);
    EXPECT_NE(session, nullptr) << buffer;
    if (session != nullptr) {
        char report[2048] = {};
        platform::DynamicLibrary lib;
        ASSERT_TRUE(lib.Load("TLSLNK.DLL"));
        auto peer = lib.Function<decltype(&::sslPeerReport)>("sslPeerReport");
        ASSERT_NE(peer, nullptr);
        peer(session, report, sizeof report);
        EXPECT_NE(std::string(report).find("gw.example.test"), std::string::npos) << report;
        tls->sslFreeSession(session);
    }
    close(fd);
}

}  // namespace

namespace {

// The names in `dir`, sorted.
std::vector<std::string> Names(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

// Tests run as root, whom no mode bits stop, so writes are made to fail by what stands
// where a file or directory is expected.
// Nobody, on a machine where the data directory was opened to everybody, reads what the
// console stored: the SMTP password in ZELLA.INI, the key's passphrase as the request's
// challenge password and scrambled in SSL.INI. The public certificate is the control
// that nobody can reach the folder at all.
TEST_F(SslPageTest, FilesHoldingSecretsGiveOthersNoAccess) {
    if (!zella_test::CanActAsNobody()) GTEST_SKIP() << "needs root and setpriv";
    const std::string fresh = data_.Path() + "fresh/";
    setenv("ZELLA_DATA_DIR", fresh.c_str(), 1);
    const std::string dir = acctdb::GetProgramDataDirectory();
    struct stat st {};
    ASSERT_EQ(stat(dir.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0007, 0u) << std::oct << st.st_mode;
    ASSERT_TRUE(zella_test::OpenToEverybody(data_.Path()));
    ASSERT_TRUE(zella_test::OpenToEverybody(dir));
    ASSERT_TRUE(platform::CreatePrivateFileIfMissing(dir + "MMSC.INI"));
    ASSERT_TRUE(platform::WritePrivateProfileString(dir + "ZELLA.INI", "ZELLA",
                                                    "AlertEMailSMTPPassword", "smtp-secret"));
    server::CertificateFields f{"gw.example.test", "ops@example.test", "Example", "Ops", "City", "State", "GB",
                                "pw1234"};
    WithPage([&](ui::Page& page) {
        host_.QueueDialog("DIALOG_SSLCERT", [&](ui::Dialog& d) {
            Fill(d, f, f.password);
            d.UserClick(ui::IDOK);
        });
        page.UserClick("generate");
    });
    ASSERT_TRUE(platform::FileExists(dir + "SSL.CSR")) << host_.TranscriptText();
    EXPECT_TRUE(zella_test::RunAsNobody("cat " + dir + "SSL.CRT >/dev/null"));
    for (const char* secret : {"ZELLA.INI", "MMSC.INI", "SSL.CSR", "SSL.INI", "SSL.KEY"})
        EXPECT_FALSE(zella_test::RunAsNobody("cat " + dir + secret + " >/dev/null")) << secret;
    setenv("ZELLA_DATA_DIR", data_.Path().c_str(), 1);
}

TEST_F(SslPageTest, UnwritableDataDirectoryIsReportedAndLeavesNoFiles) {
    const server::CertificateFields f{"gw.example.test", "ops@example.test", "Example", "", "", "",
                                      "GB", "pw1234"};
    // Opens the page and presses OK in a filled certificate dialog; true when it closed.
    const auto generate = [&](bool regenerate) {
        bool ended = false;
        WithPage([&](ui::Page& page) {
            if (regenerate) {
                host_.QueueAnswer("A Certificate Sign Request (CSR) has already been generated.", ui::kYes);
            }
            host_.QueueDialog("DIALOG_SSLCERT", [&](ui::Dialog& d) {
                Fill(d, f, f.password);
                d.UserClick(ui::IDOK);
                ended = d.IsEnded();
                if (!ended) d.UserClick(ui::IDCANCEL);
            });
            page.UserClick("generate");
        });
        return ended;
    };

    // The data directory's path names a file.
    ASSERT_TRUE(platform::WriteFileAtomic(Path("plain"), "x"));
    setenv("ZELLA_DATA_DIR", (Path("plain") + "/").c_str(), 1);
    EXPECT_FALSE(generate(false));
    setenv("ZELLA_DATA_DIR", data_.Path().c_str(), 1);
    EXPECT_NE(host_.TranscriptText().find("box: Unable to save the certificate details to " +
                                          Path("plain") + "/SSL.INI"),
              std::string::npos)
        << host_.TranscriptText();
    EXPECT_EQ(Names(data_.Path()), std::vector<std::string>{"plain"});

    // SSL.INI cannot be replaced: a directory stands at its name.
    ASSERT_EQ(mkdir(Path("SSL.INI").c_str(), 0755), 0);
    host_.ClearTranscript();
    EXPECT_FALSE(generate(false));
    EXPECT_NE(host_.TranscriptText().find("box: Unable to save the certificate details to " +
                                          server::SslIniPath()),
              std::string::npos);
    for (const std::string& name : Names(data_.Path())) {
        EXPECT_TRUE(name == "plain" || name.rfind("SSL.INI", 0) == 0) << name;
        EXPECT_EQ(name.find(".new-"), std::string::npos) << name;
    }
    EXPECT_TRUE(std::filesystem::is_empty(Path("SSL.INI")));
    ASSERT_EQ(rmdir(Path("SSL.INI").c_str()), 0);

    // The last of the three files cannot be replaced: nothing of the set may appear.
    ASSERT_EQ(mkdir(Path("SSL.CSR").c_str(), 0755), 0);
    host_.ClearTranscript();
    EXPECT_FALSE(generate(false));
    EXPECT_NE(host_.TranscriptText().find("Unable to replace " + Path("SSL.CSR")), std::string::npos)
        << host_.TranscriptText();
    EXPECT_FALSE(platform::FileExists(Path("SSL.KEY")));
    EXPECT_FALSE(platform::FileExists(Path("SSL.CRT")));
    ASSERT_EQ(rmdir(Path("SSL.CSR").c_str()), 0);

    // With a working set in place, the same failure keeps it byte for byte.
    ASSERT_TRUE(generate(false));
    const std::string key = FileText(Path("SSL.KEY"));
    const std::string cert = FileText(Path("SSL.CRT"));
    ASSERT_EQ(std::remove(Path("SSL.CSR").c_str()), 0);
    ASSERT_EQ(mkdir(Path("SSL.CSR").c_str(), 0755), 0);
    host_.ClearTranscript();
    EXPECT_FALSE(generate(true));
    EXPECT_NE(host_.TranscriptText().find("Unable to generate the server certificate."),
              std::string::npos);
    EXPECT_EQ(FileText(Path("SSL.KEY")), key);
    EXPECT_EQ(FileText(Path("SSL.CRT")), cert);
    struct stat st {};
    ASSERT_EQ(stat(Path("SSL.KEY").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    for (const std::string& name : Names(data_.Path())) {
        EXPECT_EQ(name.find(".new-"), std::string::npos) << name;
        EXPECT_EQ(name.find(".old-"), std::string::npos) << name;
    }
}

}  // namespace
