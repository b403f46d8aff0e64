#include "server/ssl_page.h"

#include "accounts/scramble.h"
#include "server/server_certificate.h"
#include "shell/core/link_libraries.h"
#include "ui/host.h"
#include "ui/long_operation.h"
#include "ui/access_keys.h"

namespace server {

const char* const kSslLine1 =
    "1. SSL/TLS (HTTPS) support is available for connecting to other servers.";
const char* const kSslLine2Disabled =
    "2. SSL/TLS (HTTPS) support has not been enabled for this server to accept connections.  "
    "To enable this support, you must first generate a server certificate.";
const char* const kSslLine2Enabled =
    "2. SSL/TLS (HTTPS) support has been enabled for this server to accept connections.  "
    "Please review the SSL/TLS related port assignments on the \"Web\" and \"MMSC\" pages of "
    "this configuration dialog.";
const char* const kSslUnsignedNote =
    "3. The current server certificate has not been signed by a certificate authority.  This "
    "will not affect SMPP over SSL connections, however web browsers will display a warning "
    "when connecting in HTTPS mode.  To remove this warning, you must purchase a server "
    "certificate from a third party Certificate Authority (CA).  A CA verifies that the "
    "identity claimed on your certificate is valid, which in theory helps prevent another "
    "party from masquerading with your server's identity.  For more about server "
    "certificates, see https://en.wikipedia.org/wiki/Public_key_certificate.";

namespace {

constexpr const char* kCaInfo =
    "To obtain a signed certificate from a Certificate Authority (CA), you must submit a "
    "certificate sign request (CSR) to the CA.  The CSR is located in the file named SSL.CSR "
    "in the QuvSMS directory.\r\n\r\nWhen you have received your signed certificate back from "
    "the CA, save it to a file named SSL.CA in the QuvSMS directory.";
constexpr const char* kRegenerateQuestion =
    "A Certificate Sign Request (CSR) has already been generated.  If you continue, a new CSR "
    "will be generated, and any certificates related to your previous CSR will be "
    "invalidated.\r\n\r\nAre you sure you wish to continue?";

struct FieldId {
    const char* id;
    std::string CertificateFields::*member;
};
// Dialog order, which is also the order the required checks run in.
constexpr FieldId kFields[] = {
    {"host", &CertificateFields::host},       {"email", &CertificateFields::email},
    {"company", &CertificateFields::company}, {"department", &CertificateFields::department},
    {"city", &CertificateFields::city},       {"state", &CertificateFields::state},
    {"country", &CertificateFields::country}, {"password", &CertificateFields::password},
};

bool CertificateExists(int (*query)()) { return query != nullptr && query() != 0; }

}  // namespace

ui::Template SslPageTemplate() {
    using namespace ui;
    return ui::WithAccessKeys(ui::Template{"DIALOG_SSL", "SSL/TLS",
                    {Static("line1", kSslLine1, Flag::Wide),
                     Static("line2", kSslLine2Disabled, Flag::Wide),
                     Static("line3", "", Flag::Wide),
                     Row("buttons", {Button("generate", "Generate Server Certificate..."),
                                     Button("requestCa", "Request or Install Certificate from CA",
                                            Flag::Hidden)}),
                     Static("notice",
                            "This product includes software developed by the OpenSSL Project "
                            "for use in the OpenSSL Toolkit (http://www.openssl.org/).",
                            Flag::Wide)}}, ui::kSheetAccessKeys);
}

ui::Template SslCertTemplate() {
    using namespace ui;
    return ui::WithAccessKeys(ui::Template{"DIALOG_SSLCERT", "Generate SSL/TLS Certificate",
                    {Edit("host", "Host Name:"),
                     Edit("email", "Administrator E-Mail Address:"),
                     Edit("company", "Company or Organization Name:"),
                     Edit("department", "Department Name:"),
                     Edit("city", "City Name:"),
                     Edit("state", "State or Province Name:"),
                     Edit("country", "Country Name (2 letter code):"),
                     Edit("password", "Challenge Password:", Flag::Password),
                     Edit("password2", "Re-enter Password:", Flag::Password),
                     Row("okCancel", {Button(IDOK, "Generate Server Certificate", Flag::Default),
                                      Button(IDCANCEL, "Cancel")})}});
}

SslPage::SslPage() : ConsolePage(SslPageTemplate()) {}

void SslPage::OnInit() { Refresh(); }

void SslPage::OnSetActive() { Refresh(); }

void SslPage::Refresh() {
    const shell::TlsLinkTable* tls = shell::TlsLink();
    const bool present = tls && CertificateExists(tls->sslServerCertExists);
    const bool signedCert = present && CertificateExists(tls->sslSignedCertExists);
    if (present) shell::SetServerCertificatePresent(true);
    const std::string line2 = present ? kSslLine2Enabled : kSslLine2Disabled;
    const std::string line3 = present && !signedCert ? kSslUnsignedNote : "";
    if (Text("line2") != line2) SetText("line2", line2);
    if (Text("line3") != line3) SetText("line3", line3);
    Show("requestCa", present);
}

void SslPage::OnCommand(const std::string& id, ui::Event event) {
    if (event != ui::Event::Clicked) return;
    if (id == "requestCa") {
        ui::Info(GetHost(), kCaInfo);
        Refresh();
    } else if (id == "generate") {
        GenerateCertificate();
        Refresh();
    }
}

void SslPage::GenerateCertificate() {
    const shell::TlsLinkTable* tls = shell::TlsLink();
    if (tls && CertificateExists(tls->sslServerCertExists) &&
        ui::Ask(GetHost(), kRegenerateQuestion, ui::Buttons::YesNoCancel, 1) != ui::kYes) {
        return;
    }
    SslCertDialog dialog;
    GetHost().RunModal(dialog);
}

SslCertDialog::SslCertDialog() : ui::Dialog(SslCertTemplate()) {}

void SslCertDialog::OnInit() {
    const CertificateFields fields = ReadCertificateFields();
    for (const FieldId& f : kFields) SetText(f.id, fields.*f.member);
    SetText("password2", fields.password);
}

void SslCertDialog::OnOk() {
    ui::Host& host = GetHost();
    for (const char* required : {"host", "email", "company", "country", "password"}) {
        if (Text(required).empty()) {
            ui::Error(host, "Field is required");
            return Focus(required);
        }
    }
    if (Text("password") != Text("password2")) {
        ui::Error(host, "Passwords must match");
        return Focus("password");
    }
    CertificateFields fields;
    for (const FieldId& f : kFields) {
        fields.*f.member = Text(f.id);
        if (CharacterCount(fields.*f.member) > kSslFieldMax) {
            ui::Error(host, "A field holds at most 249 characters");
            return Focus(f.id);
        }
        // A line break would end the INI line early and hand the rest to another key.
        if ((fields.*f.member).find_first_of("\r\n") != std::string::npos) {
            ui::Error(host, "A field cannot hold a line break");
            return Focus(f.id);
        }
    }
    // The scrambling keeps this many bytes; a longer password would come back cut.
    if (fields.password.size() > accounts::kScrambleMaxText) {
        ui::Error(host, "The challenge password is too long to be kept (at most " +
                            std::to_string(accounts::kScrambleMaxText) + " bytes)");
        return Focus("password");
    }
    const shell::TlsLinkTable* tls = shell::TlsLink();
    if (tls == nullptr) {
        ui::Error(host, "SSL/TLS support is not available: the server certificate cannot be "
                        "generated");
        return;
    }
    if (!WriteCertificateFields(fields)) {
        ui::Error(host, "Unable to save the certificate details to " + SslIniPath() +
                            ".\r\n\r\nCheck that the gateway's data directory is writable.");
        return;
    }
    const GenerationResult result = ui::RunLong<GenerationResult>(
        host, "Generating the server key, certificate and sign request...",
        [&](ui::Host&) { return GenerateServerCertificate(*tls, fields); });
    if (!result.ok) {
        ui::Error(host, "Unable to generate the server certificate." +
                            (result.error.empty() ? std::string() : "\r\n\r\n" + result.error));
        return;
    }
    End(ui::kOk);
}

std::unique_ptr<ui::Page> CreateSslPage() { return std::make_unique<SslPage>(); }

}  // namespace server
