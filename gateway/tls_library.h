// The TLS library (libtlslnk.so beside the service), loaded once for the service's own
// TLS clients (e-mail alerts): the same function table the console loads.
#pragma once

#include "shell/core/link_libraries.h"

namespace gateway {

// The table, or null when the library or one of its required functions is missing or it
// did not initialise.
const shell::TlsLinkTable* ServiceTlsLibrary();

// The table for the service's TLS servers: null unless the library has the server side
// and the gateway's server certificate exists. The server key's password ("SSL.INI") is
// handed to the library on the first call.
const shell::TlsLinkTable* ServiceTlsServer();

}  // namespace gateway
