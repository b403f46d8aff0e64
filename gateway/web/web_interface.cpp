#include "gateway/web/web_interface.h"

#include "gateway/tls_library.h"
#include "twoway/php_support.h"

namespace gateway::web {

WebInterface::WebInterface(platform::SharedMemory& block) : block_(block) {
    server_ = std::make_unique<HttpServer>(
        [this](const HttpRequest& request, const ClientInfo& client) { return app_.Handle(request, client); },
        [this](bool inUse) { block_.SetByte(platform::status_block::kWebPortInUse, inUse ? 1 : 0); });
}

WebInterface::~WebInterface() { Stop(); }

void WebInterface::Configure(const std::string& configPath, std::vector<std::string> routes) {
    const WebSettings settings = LoadWebSettings(configPath, ServiceTlsServer() != nullptr);
    // Located once, when PHP is first wanted: the search may store the key it found.
    if (settings.phpEnable && !phpLocated_) {
        std::string message;
        phpLocated_ = twoway::LocatePhpCgi(phpCgi_, message);
        if (!phpLocated_) phpCgi_.clear();
    }
    app_.Configure(settings, std::move(routes), phpCgi_);
    server_->Configure(settings);
}

void WebInterface::Stop() {
    if (server_) server_->Stop();
}

}  // namespace gateway::web
