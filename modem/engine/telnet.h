// The telnet side of talking to a terminal server: commands at the start of what
// arrived are answered and removed, the rest is data searched for a prompt.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace modem::telnet {

inline constexpr unsigned char IAC = 255, DONT = 254, DO = 253, WONT = 252, WILL = 251,
                               SB = 250, GA = 249, EL = 248, EC = 247, AYT = 246, AO = 245,
                               IP = 244, BRK = 243, DM = 242, NOP = 241, SE = 240;
inline constexpr unsigned char kSuppressGoAhead = 3;

// Handles the commands at the front of `data` and removes them. Every answer is
// appended to `replies` as three bytes (IAC, verb, option). The first DO of a wait
// (`negotiated` false) is preceded by IAC DO 3 and IAC WILL 3. DO 3 is answered WILL,
// any other DO WONT, DONT WONT; WILL, WONT and the two-byte commands get no answer; a
// sub-negotiation is dropped through its IAC SE, or with everything when its end has
// not arrived. Stops at data, at IAC IAC (an escaped 255 that stays as data) and at a
// three-byte command whose option has not arrived yet (it is handled once it has).
void HandleCommands(std::string& data, bool& negotiated, std::string& replies);

// True when one of the "+++"-separated alternatives of `expect` occurs in `received`
// (exact bytes, case-sensitive). Empty alternatives never match.
bool MatchesExpectList(std::string_view received, std::string_view expect);

// The longest alternative of `expect`, in bytes.
std::size_t LongestAlternative(std::string_view expect);

}  // namespace modem::telnet
