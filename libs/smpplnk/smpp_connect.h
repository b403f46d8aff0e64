// The host text the console hands to SMPPConnect, made into what the resolver gets.
#pragma once

#include <string>

namespace smpplnk {

// Strips blanks, a trailing "#n" duplicate-connection suffix and IPv6 brackets from
// `host`; refuses (EINVAL) a null or empty host, unbalanced brackets, a name longer than
// 253 characters or with a label longer than 63, and a port outside 1..65535. Returns 0
// with the address or name in `target`.
int ConnectTarget(const char* host, unsigned port, std::string* target);

}  // namespace smpplnk
