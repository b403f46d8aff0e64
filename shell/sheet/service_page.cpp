#include "shell/sheet/service_page.h"

#include "platform/shared_memory.h"
#include "shell/sheet/service_page_controls.h"
#include "shell/sheet/status_hooks.h"
#include "ui/access_keys.h"

namespace shell {
namespace {

using namespace ui;

const ServiceControlIds kGatewayIds{"gwLabel", "gwRun", "gwStart", "gwStop"};
const ServiceControlIds kMmscIds{"mmscLabel", "mmscRun", "mmscStart", "mmscStop"};

constexpr int kServiceLabelChars = 22;

Control ServiceRow(const std::string& rowId, const std::string& label, const ServiceControlIds& ids) {
    Control name = Static(ids.state, label);
    name.width = kServiceLabelChars;
    return Row(rowId, {name, Check(ids.run, "Run as a service"),
                       Button(ids.start, "Start", Flag::Disabled),
                       Button(ids.stop, "Stop", Flag::Disabled)});
}

}  // namespace

Template ServicePageTemplate() {
    return ui::WithAccessKeys(ui::Template{"DIALOG_SERVICE",
                    "Service",
                    {Group("settings", "Service Settings",
                           {ServiceRow("gwRow", "SMS Gateway Service:", kGatewayIds),
                            ServiceRow("mmscRow", "MMSC Service:", kMmscIds)}),
                     Row("buttons", {Button("eventLog", "Event Log"),
                                     Button("alerts", "Manage Alerts...")})}}, ui::kSheetAccessKeys);
}

ServicePage::ServicePage() : ConsolePage(ServicePageTemplate()) {}

void ServicePage::OnInit() {
    Refresh();
    SetTimer(kRefreshTimer, kRefreshMs);
}

void ServicePage::OnTimer(int timerId) {
    if (timerId == kRefreshTimer) Refresh();
}

void ServicePage::Refresh() {
    ServiceSnapshot gateway = QueryService(ServiceKind::Gateway);
    ShowServiceControls(*this, kGatewayIds, gateway, busy_);
    ShowServiceControls(*this, kMmscIds, QueryService(ServiceKind::Mmsc), busy_);
    if (!gateway.active || webPortWarningShown_) return;
    platform::GatewayStatusBytes bytes = platform::ReadGatewayStatus();
    if (!bytes.opened || !bytes.webPortInUse) return;
    // Marked before the box: the box's own event loop may run this timer again.
    webPortWarningShown_ = true;
    ui::Error(GetHost(), kWebPortWarning);
}

void ServicePage::OnCommand(const std::string& id, Event event) {
    if (event != Event::Clicked) return;
    if (id == kGatewayIds.run) webPortWarningShown_ = false;
    if (HandleServiceCommand(*this, ServiceKind::Gateway, kGatewayIds, id, busy_) ||
        HandleServiceCommand(*this, ServiceKind::Mmsc, kMmscIds, id, busy_)) {
        Refresh();
    } else if (id == "eventLog") {
        OpenEventLogViewer(GetHost());
    } else if (id == "alerts") {
        OpenAlertsDialog(GetHost());
    }
}

}  // namespace shell
