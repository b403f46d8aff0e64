#include "smsc/connection_test.h"

#include "platform/tcp_socket.h"
#include "platform/unique_fd.h"
#include "shell/core/service_control.h"

namespace smsc {

bool ShouldTestConnection(ui::Host& host, bool existingConnection,
                          const std::function<bool()>& serviceActive) {
    if (!existingConnection) return true;
    const bool active = serviceActive ? serviceActive() : shell::IsGatewayServiceActive();
    if (!active) return true;
    return ui::Ask(host, kTestWhileActiveQuestion, ui::Buttons::YesNo, 1) == ui::kYes;
}

bool AskSaveConnection(ui::Host& host, const std::string& text) {
    return ui::MessageBox(host, text, ui::Icon::Warning, ui::Buttons::YesNo, 1) == ui::kYes;
}

void CloseSocketGracefully(int socket) {
    if (socket < 0) return;
    platform::TcpSocket(platform::UniqueFd(socket)).CloseGracefully(5000);
}

}  // namespace smsc
