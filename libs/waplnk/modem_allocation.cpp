// The console's side of the modem hand-over (protocol in modem_handover.h).
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "acctdb/acctdb.h"
#include "platform/cancel.h"
#include "platform/ini.h"
#include "platform/io_wait.h"
#include "platform/shared_memory.h"
#include "waplnk/modem_handover.h"
#include "waplnk/waplnk.h"

namespace {

namespace ho = waplnk::handover;

// The allocation of a modem that nobody had to hand over; never a request id.
constexpr intptr_t kNothingBorrowed = 1;

std::atomic<unsigned> g_sequence{0};

std::string IniPath() { return acctdb::GetProgramDataDirectory() + "ZELLA.INI"; }

std::string Value(const char* key) {
    return platform::GetPrivateProfileString(IniPath(), ho::kSection, key, "");
}

// A request id unique among this machine's consoles for a long while: the pid in the
// high bits, a per-process sequence in the low ones; always above kNothingBorrowed.
intptr_t NewRequestId() {
    unsigned sequence = (g_sequence.fetch_add(1) % 0xffff) + 2;
    return static_cast<intptr_t>((static_cast<std::uint64_t>(getpid()) << 16) | sequence) & INTPTR_MAX;
}

bool OurRequest(intptr_t allocation) {
    return allocation > kNothingBorrowed && Value(ho::kRequestId) == std::to_string(allocation);
}

// Whether the Gateway service runs: its status block exists while it does.
bool GatewayRunning() {
    platform::SharedMemory block;
    return block.OpenEither(platform::status_block::kGatewayName,
                            platform::status_block::kGatewayGlobalName);
}

}  // namespace

extern "C" WAPLNK_API intptr_t ModemAllocate(const char* modemName, int timeoutSeconds, int* value) {
    if (value != nullptr) *value = 0;
    std::string name = modemName != nullptr ? modemName : "";
    // No modem named ("(none)" is what the console passes when none is chosen) means
    // nothing to borrow, and a stopped service holds no modem: both succeed at once.
    if (name.empty() || name == "(none)" || !GatewayRunning()) return kNothingBorrowed;
    intptr_t id = NewRequestId();
    platform::IniBatch request(IniPath());
    request.DeleteSection(ho::kSection);
    request.Write(ho::kSection, ho::kModem, name);
    request.Write(ho::kSection, ho::kRequestId, std::to_string(id));
    request.Write(ho::kSection, ho::kConsolePid, std::to_string(getpid()));
    if (!request.Commit()) return 0;
    std::uint64_t deadline = platform::SteadyMillis() + static_cast<std::uint64_t>(std::max(timeoutSeconds, 0)) * 1000;
    for (;;) {
        if (!OurRequest(id)) return 0;  // another console asked since: it has the turn
        std::string status = Value(ho::kStatus);
        if (status == ho::kGranted) {
            if (value != nullptr) *value = std::atoi(Value(ho::kPort).c_str());
            return id;
        }
        if (status == ho::kInUse || platform::SteadyMillis() >= deadline || platform::CancelRequested()) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ModemRelease(id);
    return 0;
}

extern "C" WAPLNK_API int ModemRequested(intptr_t allocation) {
    if (!OurRequest(allocation)) return 0;
    std::string wanted = Value(ho::kReturn);
    return (!wanted.empty() && (wanted[0] == 'Y' || wanted[0] == 'y' || wanted[0] == '1')) ? 1 : 0;
}

extern "C" WAPLNK_API void ModemRelease(intptr_t allocation) {
    // Only our own request is removed: a later console's request stays untouched.
    if (OurRequest(allocation)) {
        platform::WritePrivateProfileString(IniPath(), ho::kSection, std::nullopt, std::nullopt);
    }
}
