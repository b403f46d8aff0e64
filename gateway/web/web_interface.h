// The service's web interface as one component: the server and what it answers, set up
// from ZELLA.INI at start and at every reload (listeners restart only when their ports or
// address changed), with status byte 2 kept current.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "gateway/web/http_server.h"
#include "gateway/web/web_app.h"
#include "platform/shared_memory.h"

namespace gateway::web {

class WebInterface {
public:
    explicit WebInterface(platform::SharedMemory& block);
    ~WebInterface();

    // Reads the settings from `configPath`; `routes` are the names a message may be sent
    // by (connection names or their RouteName).
    void Configure(const std::string& configPath, std::vector<std::string> routes);
    void Stop();

private:
    platform::SharedMemory& block_;
    WebApp app_;
    std::unique_ptr<HttpServer> server_;
    bool phpLocated_ = false;
    std::string phpCgi_;
};

}  // namespace gateway::web
