// Programs the services run on behalf of their configuration (CGI scripts, commands):
// started from an argument vector with exactly the environment given, fed their input,
// their output collected up to a bound, killed with everything they started when they
// overrun their time. A service running as root never runs them as root: they run as
// the gateway's own unprivileged user ("quvsms", else "nobody") without supplementary
// groups, since the files naming them are writable by the operators' group.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace platform {

struct ConfinedRun {
    std::vector<std::string> argv;         // argv[0] a full path
    std::vector<std::string> environment;  // "NAME=value", the whole environment
    std::string workingDir;                // "" keeps this process's
    std::string input;                     // written to standard input, then closed
    std::size_t outputLimit = 4 * 1024 * 1024;
    int timeoutMs = 30'000;
};

struct ConfinedResult {
    bool started = false;
    bool timedOut = false;
    bool truncated = false;  // the output reached outputLimit; the rest was thrown away
    int exitCode = -1;       // 128 + signal for a signalled end
    std::string output;      // standard output (standard error is discarded)
    std::string error;       // why it did not start
};

// Runs the program to completion as described above.
ConfinedResult RunConfined(const ConfinedRun& run);

// The account RunConfined drops to when this process is root: "" when not root, or
// when neither account exists (RunConfined then refuses to run anything).
std::string ConfinedAccountName();

}  // namespace platform
