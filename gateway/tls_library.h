// The TLS library (libtlslnk.so beside the service), loaded once for the service's own
// TLS clients (e-mail alerts): the same function table the console loads.
#pragma once

#include "shell/core/link_libraries.h"

namespace gateway {

// The table, or null when the library or one of its required functions is missing or it
// did not initialise.
const shell::TlsLinkTable* ServiceTlsLibrary();

// Whether the library can serve TLS with the gateway's server certificate (present, with
// the server functions); gives the library the key's password from SSL.INI when it is.
bool ServerCertificateReady();

}  // namespace gateway
