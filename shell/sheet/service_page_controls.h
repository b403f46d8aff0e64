// The install/remove, start and stop controls of one service, as the Status page and
// the Service page both carry them: a "Run as a service" box and "Start" / "Stop"
// buttons, for the Gateway service or the MMSC service.
#pragma once

#include <string>

#include "ui/sheet.h"

namespace shell {

enum class ServiceKind { Gateway, Mmsc };

struct ServiceControlIds {
    std::string state;  // the state line (may be empty: none)
    std::string run;    // "Run as a service"
    std::string start;  // "Start"
    std::string stop;   // "Stop"
};

// What the service manager (or MMSCLNK) reports for one service.
struct ServiceSnapshot {
    bool available = true;  // false: MMSCLNK or its query functions are missing
    bool installed = false;
    bool active = false;
};

// The present state of a service: the Gateway service from the service manager, the MMSC
// service from MMSCLNK (loaded for the query and freed again).
ServiceSnapshot QueryService(ServiceKind kind);

// Shows `snapshot` in the controls: the box follows the installed state (only when it
// differs and `busy` is clear); Start is enabled when installed and not active, Stop when
// installed and active. An unavailable service has all its controls disabled, the state
// line included.
void ShowServiceControls(ui::Dialog& page, const ServiceControlIds& ids,
                         const ServiceSnapshot& snapshot, bool busy);

// A click on one of the controls of `ids`; false when `id` is none of them. `busy` is
// set while a "Run as a service" change runs. Ticking the box asks the save question
// and installs; clearing it asks "Are you sure?" ("Remove Service") and removes on Yes;
// Start asks the save question and starts; Stop stops. Start and Stop act only while
// the box is ticked; every action runs as a long operation of the host (progress line and
// Cancel) with elevation allowed.
// The MMSC service acts only when MMSCLNK has the install and remove functions and,
// for Start and Stop, the needed third one.
bool HandleServiceCommand(ui::Page& page, ServiceKind kind, const ServiceControlIds& ids,
                          const std::string& id, bool& busy);

}  // namespace shell
