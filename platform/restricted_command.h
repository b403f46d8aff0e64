// Runs a command line from configuration the way a service must: never through a shell,
// with a fixed environment instead of the service's own, bounded in time and output, and
// — when the service runs as root — as an unprivileged account, since the configuration
// is writable by a group that is not root.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace platform {

struct RestrictedRun {
    std::vector<std::string> argv;  // argv[0]: a path, or a name looked up in the PATH of `env`
    std::vector<std::string> env;   // the child's whole environment ("NAME=value")
    std::string input;              // written to its standard input, which then closes
    std::string workingDir;         // "" = "/"
    int timeoutMs = 30'000;         // then the child and its process group are killed
    std::size_t maxOutput = 64 * 1024;  // standard output (and error, when merged); the rest is read and dropped
    bool mergeErrors = true;            // false: standard error goes nowhere (a CGI answer is stdout alone)
    std::string runAsUser = "nobody";   // used only when this process is root
};

struct RestrictedResult {
    bool started = false;
    int exitCode = -1;  // 128 + signal for a child ended by a signal
    bool timedOut = false;
    bool truncated = false;  // the output went beyond maxOutput
    std::string output;
    std::string error;  // why it did not start
};

RestrictedResult RunRestricted(const RestrictedRun& run);

// The account for programs that must read the gateway's data folder (PHP scripts): the
// gateway's own account "quvsms" when the system has it, else "nobody".
std::string GatewayProgramAccount();

// Splits a command line into words: blanks separate, double quotes group (and are
// dropped), a backslash before a quote or backslash inside quotes escapes it.
std::vector<std::string> SplitCommandLine(const std::string& line);

}  // namespace platform
