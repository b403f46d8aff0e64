// The gateway's server key and certificates in the program data directory, and the
// server context made from them. The directory is shared with the services and the
// gateway's group, so files are read without following links and written only through
// new files renamed into place.
#include <fcntl.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509v3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>

#include "acctdb/acctdb.h"
#include "platform/unique_fd.h"
#include "tlslnk/tls_internal.h"
#include "tlslnk/tlslnk.h"

namespace tlslnk {
namespace {

// Keys and certificate chains are a few kilobytes; anything far larger is not ours.
constexpr std::size_t kMaxFileBytes = 1 << 20;

bool ReadSmallFile(const std::string& path, std::string& content, struct stat* info = nullptr) {
    // O_NONBLOCK: a FIFO planted under the name must not hold the opener (every console
    // start looks at these files) until somebody writes to it.
    platform::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat st {};
    if (!fd || fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode) ||
        static_cast<std::size_t>(st.st_size) > kMaxFileBytes) {
        return false;
    }
    content.assign(static_cast<std::size_t>(st.st_size), '\0');
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = ::read(fd.Get(), content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    content.resize(done);
    if (info != nullptr) *info = st;
    return true;
}

X509Ptr ReadCertificate(const std::string& path) {
    std::string pem;
    if (!ReadSmallFile(path, pem)) return nullptr;
    std::unique_ptr<BIO, SslDeleter> bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
    X509Ptr cert(bio ? PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr) : nullptr);
    ERR_clear_error();
    return cert;
}

int PasswordCallback(char* buffer, int size, int, void* user) {
    return CopyOut(*static_cast<const std::string*>(user), buffer, size);
}

PkeyPtr ReadKey(std::string& error) {
    std::string pem;
    if (!ReadSmallFile(KeyPath(), pem)) {
        error = "No server certificate has been generated";
        return nullptr;
    }
    std::string password = ServerKeyPassword();
    std::unique_ptr<BIO, SslDeleter> bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
    PkeyPtr key(bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, PasswordCallback, &password)
                    : nullptr);
    OPENSSL_cleanse(password.data(), password.size());
    if (!key) error = "The server key cannot be read (" + TakeOpenSslError() + ")";
    return key;
}

// The CA-signed certificate counts when it is not self-issued and carries the public key
// of the server key (judged through the self-signed certificate, which needs no password).
bool SignedMatches(const X509Ptr& signedCert, const X509Ptr& ownCert) {
    if (!signedCert || !ownCert) return false;
    if (X509_check_issued(signedCert.get(), signedCert.get()) == X509_V_OK) return false;
    return EVP_PKEY_eq(X509_get0_pubkey(signedCert.get()), X509_get0_pubkey(ownCert.get())) == 1;
}

std::string FileStamp(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return "-";
    return std::to_string(st.st_ino) + ":" + std::to_string(st.st_size) + ":" +
           std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec);
}

// The CA's file may carry intermediate certificates after the server's own. It is read
// as every data file is (no link followed, no FIFO waited on), not by OpenSSL's own
// file loader.
bool UseCertificateChain(SSL_CTX* ctx, const std::string& path) {
    std::string pem;
    if (!ReadSmallFile(path, pem)) return false;
    std::unique_ptr<BIO, SslDeleter> bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
    X509Ptr leaf(bio ? PEM_read_bio_X509_AUX(bio.get(), nullptr, nullptr, nullptr) : nullptr);
    if (!leaf || SSL_CTX_use_certificate(ctx, leaf.get()) != 1 || SSL_CTX_clear_chain_certs(ctx) != 1)
        return false;
    while (X509* extra = PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr)) {
        if (SSL_CTX_add0_chain_cert(ctx, extra) != 1) {
            X509_free(extra);
            return false;
        }
    }
    // The end of the file reads as a "no start line" error, which is no error here.
    ERR_clear_error();
    return true;
}

SslCtxPtr LoadServerContext(std::string& error) {
    PkeyPtr key = ReadKey(error);
    if (!key) return nullptr;
    SslCtxPtr ctx(SSL_CTX_new(TLS_server_method()));
    if (!ctx) {
        error = "TLS is not available: " + TakeOpenSslError();
        return nullptr;
    }
    SSL_CTX_set_min_proto_version(ctx.get(), TLS1_2_VERSION);
    const X509Ptr own = ReadCertificate(CertificatePath());
    const X509Ptr signedCert = ReadCertificate(SignedCertificatePath());
    bool ok = false;
    if (SignedMatches(signedCert, own) || (!own && signedCert)) {
        ok = UseCertificateChain(ctx.get(), SignedCertificatePath());
    } else if (own) {
        ok = SSL_CTX_use_certificate(ctx.get(), own.get()) == 1;
    }
    if (!ok || SSL_CTX_use_PrivateKey(ctx.get(), key.get()) != 1 ||
        SSL_CTX_check_private_key(ctx.get()) != 1) {
        const std::string why = TakeOpenSslError();
        error = "The server certificate cannot be used" + (why.empty() ? "" : " (" + why + ")");
        return nullptr;
    }
    return ctx;
}

struct ServerCache {
    std::mutex mutex;
    std::string stamp;
    std::string password;
    SslCtxPtr ctx;
};

ServerCache& Cache() {
    static ServerCache cache;
    return cache;
}

}  // namespace

std::string KeyPath() { return acctdb::GetProgramDataDirectory() + "SSL.KEY"; }
std::string CertificatePath() { return acctdb::GetProgramDataDirectory() + "SSL.CRT"; }
std::string RequestPath() { return acctdb::GetProgramDataDirectory() + "SSL.CSR"; }
std::string SignedCertificatePath() { return acctdb::GetProgramDataDirectory() + "SSL.CA"; }

SslCtxPtr ServerContext(std::string& error) {
    const std::string stamp = KeyPath() + FileStamp(KeyPath()) + FileStamp(CertificatePath()) +
                              FileStamp(SignedCertificatePath());
    ServerCache& cache = Cache();
    std::lock_guard<std::mutex> lock(cache.mutex);
    const std::string password = ServerKeyPassword();
    if (!cache.ctx || cache.stamp != stamp || cache.password != password) {
        cache.ctx = LoadServerContext(error);
        cache.stamp = stamp;
        cache.password = password;
    }
    if (!cache.ctx) {
        if (error.empty()) error = "No server certificate has been generated";
        return nullptr;
    }
    SSL_CTX_up_ref(cache.ctx.get());
    return SslCtxPtr(cache.ctx.get());
}

std::string StageFile(const std::string& path, const std::string& content, unsigned mode,
                      std::string& error) {
    unsigned char random[8];
    if (RAND_bytes(random, sizeof random) != 1) {
        error = "No random data for a file name";
        return {};
    }
    std::string temp = path + ".new-";
    static const char kHex[] = "0123456789abcdef";
    for (unsigned char b : random) temp += {kHex[b >> 4], kHex[b & 15]};
    platform::UniqueFd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                                 static_cast<mode_t>(mode)));
    bool ok = fd.Valid();
    for (std::size_t done = 0; ok && done < content.size();) {
        const ssize_t n = ::write(fd.Get(), content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        if (ok) done += static_cast<std::size_t>(n);
    }
    ok = ok && ::fsync(fd.Get()) == 0;
    if (!ok) {
        error = "Unable to write " + path + ": " + std::strerror(errno);
        if (fd.Valid()) ::unlink(temp.c_str());
        return {};
    }
    return temp;
}

}  // namespace tlslnk

using namespace tlslnk;

extern "C" {

int sslServerCertExists(void) {
    struct stat st {};
    if (::lstat(KeyPath().c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size == 0) return 0;
    const X509Ptr own = ReadCertificate(CertificatePath());
    return own || ReadCertificate(SignedCertificatePath()) ? 1 : 0;
}

int sslSignedCertExists(void) {
    if (sslServerCertExists() == 0) return 0;
    return SignedMatches(ReadCertificate(SignedCertificatePath()), ReadCertificate(CertificatePath()))
               ? 1
               : 0;
}

}  // extern "C"
