// The Status page: the first tab ("Service") while the status page is enabled. Once a
// second it shows both services' states, the connection errors, the outbound queue, the
// message counters and the SMPP client count, with alarm lines in red, and it carries
// the service controls and the log, event-log and alert buttons.
#pragma once

#include <memory>
#include <string>

#include "shell/core/console_page.h"
#include "shell/sheet/status_refresh.h"

namespace shell {

class StatusPage : public ConsolePage {
public:
    StatusPage();

    // Refreshes at once and starts the one-second refresh timer.
    void OnInit() override;
    void OnTimer(int timerId) override;
    void OnCommand(const std::string& id, ui::Event event) override;

    // Puts `status` into the fields. A text is written only when it differs from the
    // field's text ignoring case, so unchanged lines do not flicker; the check boxes
    // follow the installed states unless a "Run as a service" change is running.
    void ShowStatus(const GatewayStatus& status);
    // Reads the status and shows it.
    void Refresh();

    // The filters of "View Log Files", the first one preselected.
    static std::vector<ui::FileFilter> LogFileFilters();

    static constexpr int kRefreshTimer = 1;
    static constexpr int kRefreshMs = 1000;

private:
    void SetTextIfDifferent(const std::string& id, const std::string& text);
    void SetAlarmIfDifferent(const std::string& id, bool alarm);
    void EnableIfDifferent(const std::string& id, bool enabled);
    void ShowCounters(const GatewayStatus& status);
    void ShowSmppClients(const GatewayStatus& status);
    void ViewLogFiles();

    bool busy_ = false;
};

// The template of the Status page ("DIALOG_STATUS", tab "Service").
ui::Template StatusPageTemplate();

}  // namespace shell
