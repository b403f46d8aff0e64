#include "shell/sheet/status_page.h"

#include "acctdb/acctdb.h"
#include "platform/text.h"
#include "shell/sheet/service_page_controls.h"
#include "shell/sheet/status_hooks.h"
#include "ui/access_keys.h"

namespace shell {
namespace {

using namespace ui;

const ServiceControlIds kGatewayIds{"gwState", "gwRun", "gwStart", "gwStop"};
const ServiceControlIds kMmscIds{"mmscState", "mmscRun", "mmscStart", "mmscStop"};

constexpr int kCounterLabelChars = 24;
constexpr int kCounterCellChars = 9;

Control Sized(Control c, int width) {
    c.width = width;
    return c;
}

// The state line on its own row, so that the longest error text fits beside its label.
std::vector<Control> ServiceRows(const std::string& rowId, const std::string& label,
                                 const ServiceControlIds& ids) {
    return {Edit(ids.state, label, Flag::ReadOnly),
            Row(rowId, {Check(ids.run, "Run as a service"), Button(ids.start, "Start", Flag::Disabled),
                        Button(ids.stop, "Stop", Flag::Disabled)})};
}

Control ServiceGroup() {
    std::vector<Control> rows = ServiceRows("gwRow", "SMS Gateway Service:", kGatewayIds);
    for (Control& c : ServiceRows("mmscRow", "MMSC Service:", kMmscIds)) rows.push_back(std::move(c));
    return Group("services", "Services", std::move(rows));
}

Control CounterGroup() {
    std::vector<Control> rows;
    rows.push_back(Row("counterHead", {Sized(Static("headLabel", ""), kCounterLabelChars),
                                       Sized(Static("headToday", "Today"), kCounterCellChars),
                                       Sized(Static("headLast7", "Last 7"), kCounterCellChars),
                                       Sized(Static("headLast30", "Last 30"), kCounterCellChars)}));
    for (const StatusCounterRow& row : kStatusCounters) {
        std::string id = row.id;
        rows.push_back(Row(id + "Row", {Sized(Static(id + "Label", row.label), kCounterLabelChars),
                                        Sized(Static(id + "Today", ""), kCounterCellChars),
                                        Sized(Static(id + "Last7", ""), kCounterCellChars),
                                        Sized(Static(id + "Last30", ""), kCounterCellChars)}));
    }
    return Group("counters", "Message Counters", std::move(rows));
}

Control ConnectionGroup() {
    Control detail = Edit("connDetail", "", Flag::Multiline | Flag::ReadOnly | Flag::Wide);
    detail.height = 3;
    return Group("connections", "Connections",
                 {Edit("connHeadline", "SMSC/MMSC Status:", Flag::ReadOnly), detail,
                  Row("queueRow", {Sized(Edit("queue", "Outbound SMS Queue:", Flag::ReadOnly), 12),
                                   Button("queueView", "View")}),
                  Row("smppRow", {Sized(Edit("smppClients", "SMPP Client Connections:",
                                             Flag::ReadOnly | Flag::Disabled),
                                        12),
                                  Button("smppView", "View", Flag::Disabled)})});
}

}  // namespace

Template StatusPageTemplate() {
    return ui::WithAccessKeys(ui::Template{
        "DIALOG_STATUS",
        "Service",
        // Services and connections side by side: the whole page fits a 1024x768 screen
        // without scrolling.
        {Row("stateRow", {ServiceGroup(), ConnectionGroup()}), CounterGroup(),
         Row("buttons", {Button("viewLogs", "View Log Files..."), Button("eventLog", "Event Log"),
                         Button("alerts", "Manage Alerts...")})}}, ui::kSheetAccessKeys);
}

StatusPage::StatusPage() : ConsolePage(StatusPageTemplate()) {}

void StatusPage::OnInit() {
    Refresh();
    SetTimer(kRefreshTimer, kRefreshMs);
}

void StatusPage::OnTimer(int timerId) {
    if (timerId == kRefreshTimer) Refresh();
}

void StatusPage::Refresh() { ShowStatus(ReadGatewayStatus()); }

void StatusPage::SetTextIfDifferent(const std::string& id, const std::string& text) {
    if (!platform::EqualsNoCase(Text(id), text)) SetText(id, text);
}

void StatusPage::SetAlarmIfDifferent(const std::string& id, bool alarm) {
    if (Alarm(id) != alarm) SetAlarm(id, alarm);
}

void StatusPage::EnableIfDifferent(const std::string& id, bool enabled) {
    if (Enabled(id) != enabled) Enable(id, enabled);
}

void StatusPage::ShowStatus(const GatewayStatus& s) {
    SetTextIfDifferent("connHeadline", s.connectionHeadline);
    SetTextIfDifferent("connDetail", s.connectionDetail);
    for (const char* id : {"connHeadline", "connDetail"}) SetAlarmIfDifferent(id, s.connectionAlarm);

    SetTextIfDifferent(kGatewayIds.state, s.gatewayLine);
    SetAlarmIfDifferent(kGatewayIds.state, s.gatewayAlarm);
    if (s.mmscAvailable) {
        SetTextIfDifferent(kMmscIds.state, s.mmscLine);
        SetAlarmIfDifferent(kMmscIds.state, s.mmscAlarm);
    }

    SetTextIfDifferent("queue", s.queueText);
    SetAlarmIfDifferent("queue", s.queueAlarm);
    ShowCounters(s);
    ShowSmppClients(s);

    ShowServiceControls(*this, kGatewayIds, {true, s.gatewayInstalled, s.gatewayActive}, busy_);
    ShowServiceControls(*this, kMmscIds, {s.mmscAvailable, s.mmscInstalled, s.mmscActive}, busy_);
}

void StatusPage::ShowCounters(const GatewayStatus& s) {
    for (std::size_t i = 0; i < kStatusCounterRows; ++i) {
        std::string id = kStatusCounters[i].id;
        SetTextIfDifferent(id + "Today", CounterCellText(s.counters[i].today));
        SetTextIfDifferent(id + "Last7", CounterCellText(s.counters[i].last7));
        SetTextIfDifferent(id + "Last30", CounterCellText(s.counters[i].last30));
    }
}

void StatusPage::ShowSmppClients(const GatewayStatus& s) {
    SetTextIfDifferent("smppClients", s.smppClientsCounted ? std::to_string(s.smppClients) : "");
    EnableIfDifferent("smppClients", s.smppClientsCounted);
    EnableIfDifferent("smppView", s.smppClientsCounted);
}

std::vector<FileFilter> StatusPage::LogFileFilters() {
    return {{"QuvSMS Log Files", "*.LOG"},        {"SMS Out Log Files", "SMSOUT*.LOG"},
            {"SMS In Files", "SMSIN*.LOG"},       {"SMS Submit Log Files", "SMSWEB*.LOG"},
            {"MMSC Log Files", "MMSC*.LOG"},      {"Debug Logs", "*DEBUG.LOG"},
            {"All Files", "*.*"}};
}

void StatusPage::ViewLogFiles() {
    OpenFileSpec spec;
    spec.title = "View Log Files";
    spec.filters = LogFileFilters();
    spec.initialDirectory = acctdb::GetLogDirectory();
    spec.mustExist = true;
    std::string path;
    if (!GetHost().GetFileName(spec, path)) return;
    GetHost().ShellOpen(path, path.substr(0, path.find_last_of('/') + 1));
}

void StatusPage::OnCommand(const std::string& id, Event event) {
    if (event != Event::Clicked) return;
    if (HandleServiceCommand(*this, ServiceKind::Gateway, kGatewayIds, id, busy_) ||
        HandleServiceCommand(*this, ServiceKind::Mmsc, kMmscIds, id, busy_)) {
        Refresh();  // show the outcome now rather than a second later
    } else if (id == "viewLogs") {
        ViewLogFiles();
    } else if (id == "queueView") {
        OpenOutboundQueueViewer(GetHost());
    } else if (id == "smppView") {
        OpenSmppClientMonitor(GetHost());
    } else if (id == "eventLog") {
        OpenEventLogViewer(GetHost());
    } else if (id == "alerts") {
        OpenAlertsDialog(GetHost());
    }
}

}  // namespace shell
