#include "server/server_certificate.h"

#include "accounts/scramble.h"
#include "acctdb/acctdb.h"
#include "platform/dynlib.h"
#include "platform/ini.h"

namespace server {
namespace {

constexpr const char* kSection = "SSL";
// Room, with the terminator the INI reader counts, for the longest value kept: 249
// characters of up to four bytes each, or the scrambled password's two letters for each
// of its at most kScrambleMaxText bytes.
constexpr std::size_t kReadSize = 2 * accounts::kScrambleMaxText + 2;
static_assert(kReadSize > 4 * kSslFieldMax);

std::string Read(const std::string& key) {
    return platform::GetPrivateProfileString(SslIniPath(), kSection, key, "", kReadSize);
}

// The library's reason for the calling thread's last failure, when it offers one. The
// library is already loaded by the console, so this only takes another reference.
std::string LastTlsError() {
    platform::DynamicLibrary library;
    if (!library.Load("TLSLNK.DLL")) return {};
    auto lastError = library.Function<decltype(&::sslLastError)>("sslLastError");
    if (lastError == nullptr) return {};
    char buffer[1024] = {};
    const int n = lastError(nullptr, buffer, sizeof buffer);
    return n > 0 ? std::string(buffer) : std::string();
}

}  // namespace

std::string SslIniPath() { return acctdb::GetProgramDataDirectory() + "SSL.INI"; }

CertificateFields ReadCertificateFields() {
    CertificateFields f;
    f.host = Read("Host");
    f.email = Read("EMail");
    f.company = Read("Company");
    f.department = Read("Department");
    f.city = Read("City");
    f.state = Read("State");
    f.country = Read("Country");
    const std::string scrambled = Read("Password");
    if (!scrambled.empty()) f.password = accounts::UnscrambleText(f.host, scrambled);
    return f;
}

bool WriteCertificateFields(const CertificateFields& f) {
    const std::string path = SslIniPath();
    const std::pair<const char*, std::string> keys[] = {
        {"Host", f.host},       {"EMail", f.email}, {"Company", f.company},
        {"Department", f.department}, {"City", f.city}, {"State", f.state},
        {"Country", f.country}, {"Password", accounts::ScrambleText(f.host, f.password)},
    };
    // One batch, one atomic rewrite: a refused write leaves no half-updated section.
    platform::IniBatch batch(path);
    for (const auto& [key, value] : keys) batch.Write(kSection, key, value);
    return batch.Commit();
}

GenerationResult GenerateServerCertificate(const shell::TlsLinkTable& tls,
                                           const CertificateFields& f) {
    GenerationResult result;
    result.ok = tls.sslGenerateCertificate(f.country.c_str(), f.state.c_str(), f.city.c_str(),
                                           f.company.c_str(), f.department.c_str(),
                                           f.host.c_str(), f.email.c_str(),
                                           f.password.c_str()) != 0;
    if (!result.ok) result.error = LastTlsError();
    return result;
}

std::size_t CharacterCount(const std::string& text) {
    std::size_t n = 0;
    for (unsigned char c : text) n += (c & 0xC0) != 0x80;
    return n;
}

}  // namespace server
