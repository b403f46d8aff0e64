// The "Event Log" dialog ("DIALOG_EVENT"): the Gateway service's events newest first,
// new ones added every 5 seconds while it is open. The log itself cannot be cleared by
// the console; "Clear Event Log" remembers the newest entry in the data directory and
// hides it and everything older from then on.
#pragma once

#include <string>

#include "platform/event_log.h"
#include "ui/host.h"

namespace viewers {

// The most lines the dialog lists; beyond it the operator is told to use the system's
// own journal viewer.
inline constexpr std::size_t kMaxEventLines = 100'000;

ui::Template EventLogTemplate();

// The gateway's log: the journal entries of "QuvSMS" on a systemd machine, else the
// supervisor's text log "EVENTS.LOG" in the log directory.
platform::EventSource GatewayEventSource();
// Where "Clear Event Log" keeps its cursor: "EVENTLOG.CLR" in the data directory.
std::string EventLogClearFile();

// "2024-03-02 10:00:05 - Error: text" with the time in the gateway's zone.
std::string EventLineText(const platform::EventEntry& entry);

// Shows the viewer modally over `source`, with the clear cursor kept in `clearFile`.
void OpenEventLogViewer(ui::Host& host, const platform::EventSource& source,
                        const std::string& clearFile);
// The same over the gateway's log and clear file.
void OpenEventLogViewer(ui::Host& host);

}  // namespace viewers
