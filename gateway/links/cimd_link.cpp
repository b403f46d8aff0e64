#include "gateway/links/link.h"

namespace gateway {

std::unique_ptr<SmscLink> CreateCimdLink(const ConnectionSettings&, LinkEvents&) { return nullptr; }

}  // namespace gateway
