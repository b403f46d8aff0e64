#include "tools/standin/modem_allocation.h"

#include "acctdb/acctdb.h"
#include "platform/files.h"
#include "tools/standin/spool_sender.h"

namespace standin {

gateway::ModemLender MakeModemLender() {
    const std::string dataDir = acctdb::GetProgramDataDirectory();
    gateway::ModemLender::Hooks hooks;
    hooks.busy = [dataDir](const std::string&) { return platform::FileExists(dataDir + "STANDIN-MODEM-BUSY"); };
    hooks.wanted = [dataDir](const std::string&) { return platform::FileExists(dataDir + "STANDIN-MODEM-WANTED"); };
    hooks.event = [](const std::string& text) { LogServiceEvent(platform::EventLevel::Info, text); };
    return gateway::ModemLender(dataDir + "ZELLA.INI", std::move(hooks));
}

}  // namespace standin
