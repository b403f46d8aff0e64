// zellant: the Gateway service. Run by systemd (a notify service) or by the console's
// built-in supervisor, in the program directory beside the console, with no arguments.
//
// Start-up order: the status block first (the console takes its presence for "running"),
// then the configuration and the links, then readiness: READY=1 to systemd and the pid in
// $ZELLA_SERVICE_READY_FILE for the supervisor. A stop comes as SIGTERM or as the block's
// stop byte; the block goes last, when everything else is closed.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "acctdb/acctdb.h"
#include "gateway/logs.h"
#include "gateway/service.h"
#include "platform/event_loop.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/service_notify.h"
#include "platform/shared_memory.h"

namespace {

namespace sb = platform::status_block;

void AnnounceReady() {
    platform::NotifyServiceManager("READY=1");
    const std::string file = platform::EnvironmentValue("ZELLA_SERVICE_READY_FILE");
    if (file.empty()) return;
    platform::WriteFileAtomic(file, std::to_string(platform::CurrentProcessId()) + "\n");
}

}  // namespace

int main() {
    // Before any thread starts, so every thread inherits the blocked signals.
    platform::TerminationSignals signals;
    // The SMPP server keeps a socket and a flag file open per client.
    platform::RaiseDescriptorLimit();
    platform::SharedMemory block;
    if (!block.Create(sb::kGatewayName, sb::kBlockSize)) {
        gateway::ServiceLogs().Configure(acctdb::GetLogDirectory(), false);
        gateway::ServiceLogs().Event(platform::EventLevel::Error,
                                     "Service could not start: cannot create its status block");
        std::fprintf(stderr, "zellant: cannot create the status block\n");
        return 1;
    }
    if (block.Byte(sb::kStopRequest) != 0) return 0;
    int code = 0;
    {
        gateway::Service service(block);
        code = service.Run(signals, AnnounceReady);
    }
    return code;
}
