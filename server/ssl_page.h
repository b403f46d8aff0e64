// The "SSL/TLS" page: whether the gateway can accept HTTPS and SMPP over TLS, and the
// generation of its server key, self-signed certificate and certificate sign request.
#pragma once

#include <memory>
#include <string>

#include "shell/core/console_page.h"
#include "ui/dialog.h"

namespace server {

// The page's template ("DIALOG_SSL", tab "SSL/TLS").
ui::Template SslPageTemplate();
// The certificate dialog's template ("DIALOG_SSLCERT", "Generate SSL/TLS Certificate").
ui::Template SslCertTemplate();

// Texts of the page's three lines.
extern const char* const kSslLine1;
extern const char* const kSslLine2Disabled;
extern const char* const kSslLine2Enabled;
extern const char* const kSslUnsignedNote;

class SslPage : public shell::ConsolePage {
public:
    SslPage();
    void OnInit() override;
    // Refreshes the three lines and the CA button from the TLS library.
    void OnSetActive() override;
    void OnCommand(const std::string& id, ui::Event event) override;

private:
    // Chooses the lines from sslServerCertExists / sslSignedCertExists and sets the
    // server-certificate-present flag when a certificate exists.
    void Refresh();
    void GenerateCertificate();
};

// The certificate dialog: fields from "SSL.INI"; OK checks them, writes "SSL.INI" and
// generates through the TLS library as a long operation, ending with kOk only when the
// library made the certificate. Failures are shown and keep the dialog open.
class SslCertDialog : public ui::Dialog {
public:
    SslCertDialog();
    void OnInit() override;
    void OnOk() override;
};

// Factory used by the sheet.
std::unique_ptr<ui::Page> CreateSslPage();

}  // namespace server
