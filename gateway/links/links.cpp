#include "gateway/links/link.h"

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
        default: return nullptr;  // modems and phones are not driven by this service yet
    }
}

}  // namespace gateway
