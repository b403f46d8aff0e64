// The hand-over of a modem between the Gateway service and the console, as a section of
// ZELLA.INI in the program data directory. Shared by the library (the console's side)
// and by the stand-in service, so both spell every name the same way.
//
//   [ModemAllocate]
//   Modem=<modem name>         written by the console with RequestId and ConsolePid,
//   RequestId=<decimal id>     all in one rewrite, replacing any earlier request
//   ConsolePid=<pid>
//   Status=Granted|InUse       written by the service for that RequestId
//   Port=<number>              with Granted: the port the modem is on (0 when none)
//   Return=Yes                 written by the service while it wants the modem back
//
// The console removes the section to give the modem back (or when it stops waiting);
// the service takes the modem back when the section is gone, when its RequestId
// changes, or when the console's process is gone.
#pragma once

namespace waplnk::handover {

inline constexpr const char* kSection = "ModemAllocate";
inline constexpr const char* kModem = "Modem";
inline constexpr const char* kRequestId = "RequestId";
inline constexpr const char* kConsolePid = "ConsolePid";
inline constexpr const char* kStatus = "Status";
inline constexpr const char* kPort = "Port";
inline constexpr const char* kReturn = "Return";
inline constexpr const char* kGranted = "Granted";
inline constexpr const char* kInUse = "InUse";

}  // namespace waplnk::handover
