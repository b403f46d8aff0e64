// The stand-in service's side of the modem hand-over: the service's own lender
// (gateway/modem_lending.h) with two files of the data directory playing the modem's
// state for tests. "STANDIN-MODEM-BUSY" makes a new request be answered "InUse";
// "STANDIN-MODEM-WANTED" makes the lender ask for the lent modem back ("Return=Yes").
// Lending and taking back are Info events: "Modem <name> lent to the console",
// "Modem <name> taken back".
#pragma once

#include "gateway/modem_lending.h"

namespace standin {

gateway::ModemLender MakeModemLender();

}  // namespace standin
