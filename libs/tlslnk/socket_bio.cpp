// The session's transport: the caller's socket stays blocking for the caller, but every
// call through this BIO returns at once (MSG_DONTWAIT), so waits happen only in poll,
// where they are bounded and cancellable. MSG_NOSIGNAL keeps a peer that hung up from
// killing the process with SIGPIPE.
#include <sys/socket.h>

#include <cerrno>
#include <memory>

#include "tlslnk/tls_internal.h"

namespace tlslnk {
namespace {

int SocketOf(BIO* bio) { return static_cast<int>(reinterpret_cast<std::intptr_t>(BIO_get_data(bio))); }

bool Transient(int error) { return error == EAGAIN || error == EWOULDBLOCK || error == EINTR; }

int BioWrite(BIO* bio, const char* data, int length) {
    BIO_clear_retry_flags(bio);
    const ssize_t n = ::send(SocketOf(bio), data, static_cast<size_t>(length),
                             MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n < 0 && Transient(errno)) BIO_set_retry_write(bio);
    return static_cast<int>(n);
}

int BioRead(BIO* bio, char* data, int length) {
    BIO_clear_retry_flags(bio);
    const ssize_t n = ::recv(SocketOf(bio), data, static_cast<size_t>(length), MSG_DONTWAIT);
    if (n < 0 && Transient(errno)) BIO_set_retry_read(bio);
    return static_cast<int>(n);
}

long BioCtrl(BIO* bio, int command, long, void* pointer) {
    switch (command) {
    case BIO_CTRL_FLUSH:
        return 1;
    case BIO_C_GET_FD:
        if (pointer != nullptr) *static_cast<int*>(pointer) = SocketOf(bio);
        return SocketOf(bio);
    default:
        return 0;
    }
}

int BioCreate(BIO* bio) {
    BIO_set_init(bio, 1);
    return 1;
}

struct MethodFree {
    void operator()(BIO_METHOD* m) const { BIO_meth_free(m); }
};

const BIO_METHOD* Method() {
    // Made once and kept while the library is loaded; freed when it is unloaded, since the
    // console loads this library at run time and may close it again.
    static const std::unique_ptr<BIO_METHOD, MethodFree> method([] {
        BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "zella socket");
        if (m == nullptr) return m;
        BIO_meth_set_write(m, BioWrite);
        BIO_meth_set_read(m, BioRead);
        BIO_meth_set_ctrl(m, BioCtrl);
        BIO_meth_set_create(m, BioCreate);
        return m;
    }());
    return method.get();
}

}  // namespace

BIO* NewSocketBio(int socket) {
    const BIO_METHOD* method = Method();
    if (method == nullptr) return nullptr;
    BIO* bio = BIO_new(method);
    if (bio != nullptr) BIO_set_data(bio, reinterpret_cast<void*>(static_cast<std::intptr_t>(socket)));
    return bio;
}

}  // namespace tlslnk
