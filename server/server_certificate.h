// The subject of the gateway's server certificate as kept in "SSL.INI", and the
// generation of key, self-signed certificate and sign request through the TLS library.
#pragma once

#include <string>

#include "shell/core/link_libraries.h"

namespace server {

// The longest value a field of "SSL.INI" holds, in characters.
inline constexpr std::size_t kSslFieldMax = 249;

struct CertificateFields {
    std::string host, email, company, department, city, state, country, password;
};

// "SSL.INI" in the program data directory.
std::string SslIniPath();

// The fields stored in section "SSL" of "SSL.INI" (empty when absent); the password is
// unscrambled with the stored host as key.
CertificateFields ReadCertificateFields();

// Writes all eight keys, empty ones included, the password scrambled with the host as
// key. False when the file could not be written; it is then unchanged.
bool WriteCertificateFields(const CertificateFields& fields);

struct GenerationResult {
    bool ok = false;
    std::string error;  // the library's reason when it failed (may be empty)
};

// Calls sslGenerateCertificate of `tls` with the fields and, when it fails, asks the
// library's optional sslLastError on the same thread for the reason. Runs on any thread.
GenerationResult GenerateServerCertificate(const shell::TlsLinkTable& tls,
                                           const CertificateFields& fields);

// The number of characters (UTF-8 code points) of `text`.
std::size_t CharacterCount(const std::string& text);

}  // namespace server
