// What the operator learns about a server certificate. SMSCs often use a private
// certificate authority, so verification problems are recorded and reported, never fatal.
#include <openssl/x509v3.h>

#include <algorithm>
#include <ctime>

#include "tlslnk/tls_internal.h"
#include "tlslnk/tlslnk.h"

namespace tlslnk {
namespace {

int RecordProblem(int preverifyOk, X509_STORE_CTX* store) {
    if (preverifyOk == 0) {
        auto* ssl = static_cast<SSL*>(
            X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
        auto* session = ssl != nullptr ? static_cast<Session*>(SSL_get_app_data(ssl)) : nullptr;
        const int error = X509_STORE_CTX_get_error(store);
        if (session != nullptr &&
            std::find(session->verifyErrors.begin(), session->verifyErrors.end(), error) ==
                session->verifyErrors.end()) {
            session->verifyErrors.push_back(error);
        }
    }
    return 1;  // go on: the report tells, the operator decides
}

std::string NameText(const X509_NAME* name) {
    BIO* bio = BIO_new(BIO_s_mem());
    if (bio == nullptr) return {};
    // RFC 2253 escaping in the certificate's own order (as the openssl command line shows
    // it), with UTF-8 kept as it is rather than as \XX escapes.
    const unsigned long flags = (ASN1_STRFLGS_RFC2253 & ~ASN1_STRFLGS_ESC_MSB) |
                                XN_FLAG_SEP_CPLUS_SPC | XN_FLAG_FN_SN | XN_FLAG_DUMP_UNKNOWN_FIELDS;
    X509_NAME_print_ex(bio, name, 0, flags);
    char* data = nullptr;
    const long n = BIO_get_mem_data(bio, &data);
    std::string text(data != nullptr && n > 0 ? std::string(data, static_cast<std::size_t>(n)) : "");
    BIO_free(bio);
    return text;
}

std::string TimeText(const ASN1_TIME* time) {
    std::tm tm{};
    if (time == nullptr || ASN1_TIME_to_tm(time, &tm) != 1) return "unknown";
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &tm);
    return text;
}

std::string VerificationText(const Session& s) {
    if (s.verifyErrors.empty()) {
        return s.peerName.empty() ? "OK (host name not checked)" : "OK";
    }
    std::string text;
    for (int error : s.verifyErrors) {
        if (!text.empty()) text += "; ";
        text += X509_verify_cert_error_string(error);
    }
    return text;
}

}  // namespace

std::string VerificationResult(const Session& s) { return VerificationText(s); }

void InstallVerifyRecorder(SSL* ssl, Session* session) {
    SSL_set_app_data(ssl, session);
    SSL_set_verify(ssl, SSL_VERIFY_NONE, RecordProblem);
}

std::string PeerReport(const Session& s) {
    if (!s.ssl) return {};
    X509Ptr cert(SSL_get1_peer_certificate(s.ssl.get()));
    if (!cert) return {};
    std::string text = "Certificate subject: " + NameText(X509_get_subject_name(cert.get()));
    text += "\r\nIssuer: " + NameText(X509_get_issuer_name(cert.get()));
    text += "\r\nValid until: " + TimeText(X509_get0_notAfter(cert.get()));
    if (!s.server) text += "\r\nVerification: " + VerificationText(s);
    return text;
}

}  // namespace tlslnk

extern "C" int sslPeerReport(void* session, char* buffer, int size) {
    if (session == nullptr) return 0;
    return tlslnk::CopyOut(tlslnk::PeerReport(*static_cast<tlslnk::Session*>(session)), buffer, size);
}

extern "C" int sslPeerVerified(void* session, char* buffer, int size) {
    if (size > 0) buffer[0] = '\0';
    if (session == nullptr) return 0;
    const auto& s = *static_cast<tlslnk::Session*>(session);
    if (s.server || !s.ssl) return 0;
    tlslnk::X509Ptr cert(SSL_get1_peer_certificate(s.ssl.get()));
    const std::string result = cert ? tlslnk::VerificationResult(s) : "no certificate";
    tlslnk::CopyOut(result, buffer, size);
    return cert && !s.peerName.empty() && s.verifyErrors.empty() &&
                   SSL_get_verify_result(s.ssl.get()) == X509_V_OK
               ? 1
               : 0;
}

extern "C" int sslPeerFingerprint(void* session, char* buffer, int size) {
    if (size > 0) buffer[0] = '\0';
    if (session == nullptr) return 0;
    const auto& s = *static_cast<tlslnk::Session*>(session);
    if (!s.ssl) return 0;
    tlslnk::X509Ptr cert(SSL_get1_peer_certificate(s.ssl.get()));
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!cert || X509_digest(cert.get(), EVP_sha256(), digest, &length) != 1) return 0;
    static const char kHex[] = "0123456789ABCDEF";
    std::string text;
    for (unsigned int i = 0; i < length; ++i) {
        if (i > 0) text += ':';
        text += kHex[digest[i] >> 4];
        text += kHex[digest[i] & 15];
    }
    return tlslnk::CopyOut(text, buffer, size);
}
