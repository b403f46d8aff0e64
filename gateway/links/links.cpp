#include "gateway/links/link.h"
#include "gateway/links/modem_link.h"

namespace gateway {

std::unique_ptr<SmscLink> CreateSmppLink(const ConnectionSettings& settings, LinkEvents& events);
std::unique_ptr<SmscLink> CreateUcpLink(const ConnectionSettings& settings, LinkEvents& events);
std::unique_ptr<SmscLink> CreateCimdLink(const ConnectionSettings& settings, LinkEvents& events);
std::unique_ptr<SmscLink> CreateHttpLink(const ConnectionSettings& settings, LinkEvents& events);

std::unique_ptr<SmscLink> CreateLink(const ConnectionSettings& settings, LinkEvents& events) {
    switch (settings.Kind()) {
        case LinkKind::Smpp: return CreateSmppLink(settings, events);
        case LinkKind::Ucp: return CreateUcpLink(settings, events);
        case LinkKind::Cimd: return CreateCimdLink(settings, events);
        case LinkKind::Http: return CreateHttpLink(settings, events);
        case LinkKind::GsmModem:
        case LinkKind::IpModem: return std::make_unique<ModemLink>(settings, events);
        case LinkKind::NetworkModem: return std::make_unique<NetworkModemLink>(settings, events);
    }
    return nullptr;
}

}  // namespace gateway
