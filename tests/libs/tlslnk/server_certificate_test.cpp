// The gateway's server certificate: generated files checked with the openssl command
// line as an operator would, a CA-signed certificate recognised, and a TLS client
// (openssl s_client) served with the generated pair.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <thread>

#include "platform/files.h"
#include "tests/libs/tlslnk/openssl_peer.h"
#include "tests/platform/planted_files.h"
#include "tests/support/held_port.h"
#include "tests/support/temp_dir.h"
#include "tlslnk/tlslnk.h"

namespace tlslnk_test {
namespace {

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string Contents(const std::string& path) {
    std::string text;
    platform::ReadFile(path, text);
    return text;
}

TEST(TlsServerCertificate, GeneratedKeyCertificateAndRequestPassOpensslChecks) {
    zella_test::ScopedDataDir data("tlslnk");
    const std::string dir = data.Path();
    EXPECT_EQ(sslServerCertExists(), 0);

    // A country OpenSSL refuses: nothing is written and the reason is told.
    EXPECT_EQ(sslGenerateCertificate("GBR", "", "", "Example", "", "gw.zella.test", "ops@zella.test", "pw1234"), 0);
    char why[256];
    ASSERT_GT(sslLastError(nullptr, why, sizeof why), 0);
    EXPECT_TRUE(Has(why, "country name")) << why;
    EXPECT_FALSE(platform::PathExists(dir + "SSL.KEY"));
    EXPECT_EQ(platform::ListDirectory(dir, "SSL.*").size(), 0u);

    ASSERT_EQ(sslGenerateCertificate("GB", "", "Zürich", "Zëlla, \"Ops\" / Test", "", "gw.zella.test",
                                     "ops@zella.test", "pw1234"),
              1);
    EXPECT_EQ(sslServerCertExists(), 1);
    EXPECT_EQ(sslSignedCertExists(), 0);
    struct stat st {};
    ASSERT_EQ(stat((dir + "SSL.KEY").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_TRUE(Has(Contents(dir + "SSL.KEY"), "BEGIN ENCRYPTED PRIVATE KEY"));

    std::string out;
    ASSERT_EQ(RunOpenssl({"x509", "-in", dir + "SSL.CRT", "-noout", "-subject", "-dates", "-ext",
                          "subjectAltName", "-nameopt", "esc_2253,utf8,sep_comma_plus_space"},
                         &out),
              0)
        << out;
    // Every field whole, in UTF-8, empty ones left out; the comma and quotes stay inside O.
    EXPECT_TRUE(Has(out, "subject=C=GB, L=Zürich, O=Zëlla\\, \\\"Ops\\\" / Test, CN=gw.zella.test, "
                         "emailAddress=ops@zella.test\n"))
        << out;
    EXPECT_TRUE(Has(out, "notAfter=")) << out;
    EXPECT_TRUE(Has(out, "DNS:gw.zella.test")) << out;

    ASSERT_EQ(RunOpenssl({"req", "-in", dir + "SSL.CSR", "-verify", "-noout", "-text"}, &out), 0) << out;
    EXPECT_TRUE(Has(out, "verify OK")) << out;
    EXPECT_TRUE(Has(out, "challengePassword")) << out;
    EXPECT_TRUE(Has(out, "pw1234")) << out;
    EXPECT_TRUE(Has(out, "DNS:gw.zella.test")) << out;

    ASSERT_EQ(RunOpenssl({"rsa", "-in", dir + "SSL.KEY", "-check", "-noout", "-text", "-passin", "pass:pw1234"}, &out), 0)
        << out;
    EXPECT_TRUE(Has(out, "RSA key ok")) << out;
    EXPECT_TRUE(Has(out, "2048 bit")) << out;
    EXPECT_NE(RunOpenssl({"rsa", "-in", dir + "SSL.KEY", "-check", "-noout", "-passin", "pass:wrong"}, &out), 0);

    // A certificate signed by a CA from the request counts as signed.
    ASSERT_EQ(RunOpenssl({"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", dir + "ca.key", "-out",
                          dir + "ca.crt", "-days", "30", "-subj", "/CN=Zella Test CA"},
                         &out),
              0)
        << out;
    ASSERT_EQ(RunOpenssl({"x509", "-req", "-in", dir + "SSL.CSR", "-CA", dir + "ca.crt", "-CAkey", dir + "ca.key",
                          "-CAcreateserial", "-out", dir + "SSL.CA", "-days", "30"},
                         &out),
              0)
        << out;
    EXPECT_EQ(sslSignedCertExists(), 1);

    // A refused regeneration keeps the earlier set; a new one makes the CA's certificate
    // belong to an old key, so it no longer counts.
    const std::string keyBefore = Contents(dir + "SSL.KEY");
    EXPECT_EQ(sslGenerateCertificate("GBR", "", "", "Example", "", "gw.zella.test", "ops@zella.test", ""), 0);
    EXPECT_EQ(Contents(dir + "SSL.KEY"), keyBefore);
    EXPECT_EQ(sslSignedCertExists(), 1);
    ASSERT_EQ(sslGenerateCertificate("GB", "", "", "Example", "", "gw.zella.test", "ops@zella.test", ""), 1);
    EXPECT_NE(Contents(dir + "SSL.KEY"), keyBefore);
    EXPECT_TRUE(Has(Contents(dir + "SSL.KEY"), "BEGIN PRIVATE KEY"));
    EXPECT_EQ(sslServerCertExists(), 1);
    EXPECT_EQ(sslSignedCertExists(), 0);
    EXPECT_EQ(platform::ListDirectory(dir, "*.new-*").size(), 0u);
}

// Nobody plants FIFOs at SSL.CRT and SSL.CA of a data directory opened to everybody:
// root's console looks at them on every start (and the elevated copy for its service
// switches), and the server side loads them for each accepted session. None of it may
// wait for a writer; a FIFO is no certificate.
TEST(TlsServerCertificate, FifosPlantedAtTheCertificatesNeverHoldTheReader) {
    if (!zella_test::RunningAsRoot()) GTEST_SKIP() << "needs root to play both sides";
    zella_test::ScopedDataDir data("tlslnk");
    const std::string dir = data.Path();
    ASSERT_NE(sslInitLib(), 0);
    ASSERT_EQ(sslGenerateCertificate("GB", "", "", "Example", "", "gw.zella.test", "", ""), 1);
    ASSERT_TRUE(zella_test::OpenToEverybody(dir));
    ASSERT_EQ(unlink((dir + "SSL.CRT").c_str()), 0);
    ASSERT_TRUE(zella_test::AsNobody("mkfifo " + dir + "SSL.CRT " + dir + "SSL.CA"));
    struct Seen {
        int exists = -1, signedExists = -1;
        bool accepted = true;
    };
    const std::optional<Seen> seen = zella_test::WithinHangGuard<Seen>([] {
        Seen s;
        s.exists = sslServerCertExists();
        s.signedExists = sslSignedCertExists();
        int pair[2];
        if (socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0) return s;
        char buffer[512] = "";
        void* session = sslAcceptSession(pair[0], buffer, sizeof buffer);
        s.accepted = session != nullptr;
        sslFreeSession(session);
        close(pair[0]);
        close(pair[1]);
        return s;
    });
    ASSERT_TRUE(seen.has_value()) << "a certificate read waited on a FIFO";
    EXPECT_EQ(seen->exists, 0);
    EXPECT_EQ(seen->signedExists, 0);
    EXPECT_FALSE(seen->accepted);
}

TEST(TlsServerCertificate, AcceptedSessionServesOpensslClientWithGeneratedCertificate) {
    zella_test::ScopedDataDir data("tlslnk");
    ASSERT_NE(sslInitLib(), 0);
    ASSERT_EQ(sslGenerateCertificate("GB", "", "", "Example", "", "gw.zella.test", "ops@zella.test", "pw1234"), 1);

    // Without the key's password the server side cannot start, and says why.
    int pair[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    sslSetServerKeyPassword(nullptr);
    char buffer[512] = "";
    EXPECT_EQ(sslAcceptSession(pair[0], buffer, sizeof buffer), nullptr);
    EXPECT_TRUE(Has(buffer, "The server key cannot be read")) << buffer;
    close(pair[0]);
    close(pair[1]);

    sslSetServerKeyPassword("pw1234");
    zella_test::HeldPort listener;
    OpensslPeer client({"s_client", "-connect", "127.0.0.1:" + std::to_string(listener.port), "-servername",
                        "gw.zella.test", "-CAfile", data.File("SSL.CRT"), "-verify_hostname", "gw.zella.test",
                        "-msg"});
    const int fd = accept(listener.fd, nullptr, nullptr);
    ASSERT_GE(fd, 0);
    void* session = sslAcceptSessionApp(fd, buffer, sizeof buffer);
    ASSERT_NE(session, nullptr) << buffer;
    EXPECT_TRUE(client.WaitFor("Verify return code: 0 (ok)")) << client.Output();

    client.Write("hello server\n");
    char text[64] = "";
    int got = 0;
    while (got < 13) {
        const int n = sslRecv(session, text + got, static_cast<int>(sizeof text) - 1 - got);
        ASSERT_GT(n, 0);
        got += n;
    }
    EXPECT_EQ(std::string(text, 13), "hello server\n");
    const std::string answer = "hello client\n";
    EXPECT_EQ(sslSend(session, answer.data(), static_cast<int>(answer.size())), static_cast<int>(answer.size()));
    EXPECT_TRUE(client.WaitFor(answer)) << client.Output();
    sslFreeSession(session);
    close(fd);
    EXPECT_TRUE(client.WaitFor("close_notify")) << client.Output();
    sslSetServerKeyPassword(nullptr);
}

}  // namespace
}  // namespace tlslnk_test
