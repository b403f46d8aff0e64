// The Service page: the first tab ("Service") when the status page is disabled. It
// carries the service controls of both services, "Event Log" and "Manage Alerts", and
// warns once when the running gateway cannot have its web port.
#pragma once

#include <string>

#include "shell/core/console_page.h"

namespace shell {

class ServicePage : public ConsolePage {
public:
    ServicePage();

    // Refreshes at once and starts the one-second refresh timer.
    void OnInit() override;
    void OnTimer(int timerId) override;
    void OnCommand(const std::string& id, ui::Event event) override;

    // Sets the boxes and buttons from the services' states; then, while the gateway is
    // active with its web port taken (status block byte 2), shows the web-port warning
    // unless it was shown already. Clicking the gateway's "Run as a service" arms the
    // warning again.
    void Refresh();

    static constexpr int kRefreshTimer = 1;
    static constexpr int kRefreshMs = 1000;

private:
    bool busy_ = false;
    bool webPortWarningShown_ = false;
};

inline constexpr const char* kWebPortWarning =
    "Gateway is not active.  Port number for web interface in use by another "
    "application.\r\n\r\nPlease change the port number on the Web page of this dialog.";

// The template of the Service page ("DIALOG_SERVICE", tab "Service").
ui::Template ServicePageTemplate();

}  // namespace shell
