// The gateway's own server key, self-signed certificate and certificate sign request.
// Nothing replaces the earlier set until the whole new set is on disk, so a refused
// subject (a three-letter country, say) leaves a working server certificate in place.
#include <openssl/bn.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <openssl/x509v3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "tlslnk/tls_internal.h"
#include "tlslnk/tlslnk.h"

namespace tlslnk {
namespace {

constexpr int kKeyBits = 2048;
constexpr long kValidDays = 825;  // the longest validity browsers accept for a server

struct Subject {
    std::string country, state, city, company, department, host, email, password;
};

template <typename T, void (*Free)(T*)>
struct Freer {
    void operator()(T* p) const { Free(p); }
};
using NamePtr = std::unique_ptr<X509_NAME, Freer<X509_NAME, X509_NAME_free>>;
using ReqPtr = std::unique_ptr<X509_REQ, Freer<X509_REQ, X509_REQ_free>>;
using ExtPtr = std::unique_ptr<X509_EXTENSION, Freer<X509_EXTENSION, X509_EXTENSION_free>>;
using BnPtr = std::unique_ptr<BIGNUM, Freer<BIGNUM, BN_free>>;

std::string Text(const char* s) { return s != nullptr ? s : ""; }

bool AddEntry(X509_NAME* name, int nid, const char* label, const std::string& value,
              std::string& error) {
    if (value.empty()) return true;
    if (X509_NAME_add_entry_by_NID(name, nid, MBSTRING_UTF8,
                                   reinterpret_cast<const unsigned char*>(value.data()),
                                   static_cast<int>(value.size()), -1, 0) == 1) {
        return true;
    }
    error = std::string("The ") + label + " cannot be used in a certificate (" + TakeOpenSslError();
    // X.509 bounds each name attribute in characters; tell the operator the bound.
    const ASN1_STRING_TABLE* bounds = ASN1_STRING_TABLE_get(nid);
    std::size_t characters = 0;
    for (unsigned char c : value) characters += (c & 0xC0) != 0x80;
    if (bounds != nullptr && bounds->maxsize > 0 && characters > static_cast<std::size_t>(bounds->maxsize)) {
        error += ": at most " + std::to_string(bounds->maxsize) + " characters, not " +
                 std::to_string(characters);
    }
    error += ")";
    return false;
}

NamePtr MakeName(const Subject& s, std::string& error) {
    NamePtr name(X509_NAME_new());
    if (name && AddEntry(name.get(), NID_countryName, "country name", s.country, error) &&
        AddEntry(name.get(), NID_stateOrProvinceName, "state or province name", s.state, error) &&
        AddEntry(name.get(), NID_localityName, "city name", s.city, error) &&
        AddEntry(name.get(), NID_organizationName, "company or organization name", s.company, error) &&
        AddEntry(name.get(), NID_organizationalUnitName, "department name", s.department, error) &&
        AddEntry(name.get(), NID_commonName, "host name", s.host, error) &&
        AddEntry(name.get(), NID_pkcs9_emailAddress, "e-mail address", s.email, error)) {
        return name;
    }
    return nullptr;
}

bool IsDnsName(const std::string& host) {
    for (unsigned char c : host) {
        if (!(std::isalnum(c) || c == '-' || c == '.' || c == '*')) return false;
    }
    return !host.empty();
}

// The host as subject alternative name, built as a structure rather than from
// configuration text so no character of the host can add a second name.
ExtPtr MakeAltName(const std::string& host) {
    GENERAL_NAMES* names = sk_GENERAL_NAME_new_null();
    if (names == nullptr) return nullptr;
    GENERAL_NAME* entry = GENERAL_NAME_new();
    if (ASN1_OCTET_STRING* ip = a2i_IPADDRESS(host.c_str())) {
        GENERAL_NAME_set0_value(entry, GEN_IPADD, ip);
    } else if (IsDnsName(host)) {
        ASN1_IA5STRING* dns = ASN1_IA5STRING_new();
        ASN1_STRING_set(dns, host.data(), static_cast<int>(host.size()));
        GENERAL_NAME_set0_value(entry, GEN_DNS, dns);
    } else {
        GENERAL_NAME_free(entry);
        entry = nullptr;
    }
    ExtPtr ext;
    if (entry != nullptr && sk_GENERAL_NAME_push(names, entry) > 0) {
        ext.reset(X509V3_EXT_i2d(NID_subject_alt_name, 0, names));
    } else {
        GENERAL_NAME_free(entry);
    }
    GENERAL_NAMES_free(names);
    return ext;
}

bool AddConfExtension(X509* cert, int nid, const char* value) {
    X509V3_CTX ctx;
    X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
    ExtPtr ext(X509V3_EXT_conf_nid(nullptr, &ctx, nid, value));
    return ext && X509_add_ext(cert, ext.get(), -1) == 1;
}

X509Ptr MakeCertificate(EVP_PKEY* key, X509_NAME* name, X509_EXTENSION* altName) {
    X509Ptr cert(X509_new());
    BnPtr serial(BN_new());
    // A random 159-bit serial: positive, unique across regenerations, within 20 octets.
    bool ok = cert && serial && X509_set_version(cert.get(), X509_VERSION_3) == 1 &&
              BN_rand(serial.get(), 159, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ANY) == 1 &&
              BN_to_ASN1_INTEGER(serial.get(), X509_get_serialNumber(cert.get())) != nullptr &&
              X509_gmtime_adj(X509_getm_notBefore(cert.get()), 0) != nullptr &&
              X509_time_adj_ex(X509_getm_notAfter(cert.get()), kValidDays, 0, nullptr) != nullptr &&
              X509_set_subject_name(cert.get(), name) == 1 &&
              X509_set_issuer_name(cert.get(), name) == 1 && X509_set_pubkey(cert.get(), key) == 1 &&
              AddConfExtension(cert.get(), NID_basic_constraints, "critical,CA:FALSE") &&
              AddConfExtension(cert.get(), NID_key_usage, "critical,digitalSignature,keyEncipherment") &&
              AddConfExtension(cert.get(), NID_ext_key_usage, "serverAuth") &&
              AddConfExtension(cert.get(), NID_subject_key_identifier, "hash") &&
              (altName == nullptr || X509_add_ext(cert.get(), altName, -1) == 1) &&
              X509_sign(cert.get(), key, EVP_sha256()) > 0;
    return ok ? std::move(cert) : nullptr;
}

ReqPtr MakeRequest(EVP_PKEY* key, X509_NAME* name, X509_EXTENSION* altName,
                   const std::string& password) {
    ReqPtr req(X509_REQ_new());
    bool ok = req && X509_REQ_set_version(req.get(), 0) == 1 &&
              X509_REQ_set_subject_name(req.get(), name) == 1 && X509_REQ_set_pubkey(req.get(), key) == 1;
    if (ok && altName != nullptr) {
        STACK_OF(X509_EXTENSION)* exts = sk_X509_EXTENSION_new_null();
        ok = exts != nullptr && sk_X509_EXTENSION_push(exts, altName) > 0 &&
             X509_REQ_add_extensions(req.get(), exts) == 1;
        sk_X509_EXTENSION_free(exts);  // the extension itself stays the caller's
    }
    if (ok && !password.empty()) {
        ok = X509_REQ_add1_attr_by_NID(req.get(), NID_pkcs9_challengePassword, MBSTRING_UTF8,
                                       reinterpret_cast<const unsigned char*>(password.data()),
                                       static_cast<int>(password.size())) == 1;
    }
    ok = ok && X509_REQ_sign(req.get(), key, EVP_sha256()) > 0;
    return ok ? std::move(req) : nullptr;
}

template <typename Write>
std::string Pem(Write write) {
    std::unique_ptr<BIO, SslDeleter> bio(BIO_new(BIO_s_mem()));
    if (!bio || !write(bio.get())) return {};
    char* data = nullptr;
    const long n = BIO_get_mem_data(bio.get(), &data);
    return n > 0 ? std::string(data, static_cast<std::size_t>(n)) : std::string();
}

std::string KeyPem(EVP_PKEY* key, const std::string& password) {
    return Pem([&](BIO* bio) {
        const EVP_CIPHER* cipher = password.empty() ? nullptr : EVP_aes_256_cbc();
        return PEM_write_bio_PKCS8PrivateKey(bio, key, cipher, password.data(),
                                             static_cast<int>(password.size()), nullptr, nullptr) == 1;
    });
}

void RemoveAll(const std::vector<std::string>& paths) {
    for (const std::string& p : paths) {
        if (!p.empty()) std::remove(p.c_str());
    }
}

// Keeps each earlier file under a second name (a hard link: no copy, same owner and
// mode) so a failed rename further on can put it back. An empty entry: no earlier file.
bool KeepEarlier(const std::vector<std::pair<std::string, std::string>>& files,
                 std::vector<std::string>& kept, std::string& error) {
    for (const auto& file : files) {
        struct stat st {};
        std::string keep;
        if (::lstat(file.first.c_str(), &st) == 0) {
            if (!S_ISREG(st.st_mode)) {
                error = "Unable to replace " + file.first + ": it is not a file";
                return false;
            }
            keep = file.first + ".old-" + std::to_string(::getpid());
            std::remove(keep.c_str());
            if (::link(file.first.c_str(), keep.c_str()) != 0) {
                error = "Unable to replace " + file.first + ": " + std::strerror(errno);
                return false;
            }
        } else if (errno != ENOENT) {
            error = "Unable to replace " + file.first + ": " + std::strerror(errno);
            return false;
        }
        kept.push_back(keep);
    }
    return true;
}

// Stages every file, then renames them all into place. Any failure leaves the earlier
// set as it was: nothing is renamed before all are staged, and a failed rename undoes
// the ones before it, so a key never ends up beside another key's certificate.
bool WriteSet(const std::vector<std::pair<std::string, std::string>>& files,
              const std::vector<unsigned>& modes, std::string& error) {
    std::vector<std::string> staged, kept;
    for (std::size_t i = 0; i < files.size(); ++i) {
        std::string temp = StageFile(files[i].first, files[i].second, modes[i], error);
        if (temp.empty()) {
            RemoveAll(staged);
            return false;
        }
        staged.push_back(temp);
    }
    if (!KeepEarlier(files, kept, error)) {
        RemoveAll(staged);
        RemoveAll(kept);
        return false;
    }
    bool ok = true;
    for (std::size_t i = 0; i < files.size() && ok; ++i) {
        if (std::rename(staged[i].c_str(), files[i].first.c_str()) == 0) continue;
        ok = false;
        error = "Unable to replace " + files[i].first + ": " + std::strerror(errno);
        for (std::size_t j = 0; j < i; ++j) {
            const std::string& path = files[j].first;
            if (kept[j].empty() ? std::remove(path.c_str()) : std::rename(kept[j].c_str(), path.c_str())) {
                error += "; " + path + " could not be restored: " + std::strerror(errno);
            }
            kept[j].clear();
        }
        RemoveAll({staged.begin() + static_cast<std::ptrdiff_t>(i), staged.end()});
    }
    RemoveAll(kept);
    return ok;
}

bool Generate(const Subject& s, std::string& error) {
    if (s.host.empty()) {
        error = "The host name is required for a server certificate";
        return false;
    }
    NamePtr name = MakeName(s, error);
    if (!name) return false;
    PkeyPtr key(EVP_RSA_gen(kKeyBits));
    const ExtPtr altName = MakeAltName(s.host);
    X509Ptr cert = key ? MakeCertificate(key.get(), name.get(), altName.get()) : nullptr;
    ReqPtr req = cert ? MakeRequest(key.get(), name.get(), altName.get(), s.password) : nullptr;
    if (!req) {
        error = "Unable to make the server certificate (" + TakeOpenSslError() + ")";
        return false;
    }
    std::string keyPem = KeyPem(key.get(), s.password);
    const std::string certPem = Pem([&](BIO* b) { return PEM_write_bio_X509(b, cert.get()) == 1; });
    const std::string reqPem = Pem([&](BIO* b) { return PEM_write_bio_X509_REQ(b, req.get()) == 1; });
    if (keyPem.empty() || certPem.empty() || reqPem.empty()) {
        error = "Unable to encode the server certificate (" + TakeOpenSslError() + ")";
        return false;
    }
    // The request carries the key's passphrase as its challenge password.
    const bool ok = WriteSet({{KeyPath(), keyPem}, {CertificatePath(), certPem}, {RequestPath(), reqPem}},
                             {0600, 0644, 0640}, error);
    OPENSSL_cleanse(keyPem.data(), keyPem.size());
    return ok;
}

}  // namespace
}  // namespace tlslnk

extern "C" int sslGenerateCertificate(const char* country, const char* state, const char* city,
                                      const char* company, const char* department,
                                      const char* host, const char* email,
                                      const char* password) {
    using tlslnk::Text;
    tlslnk::Subject subject{Text(country), Text(state), Text(city),  Text(company),
                            Text(department), Text(host), Text(email), Text(password)};
    ERR_clear_error();
    std::string error;
    const bool ok = tlslnk::Generate(subject, error);
    tlslnk::ThreadLastError() = ok ? std::string() : error;
    OPENSSL_cleanse(subject.password.data(), subject.password.size());
    return ok ? 1 : 0;
}
