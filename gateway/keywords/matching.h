// Which keyword command applies to a received message, and which local account a
// received message belongs to.
//
// A keyword matches when it equals the first word of the message's text, ignoring case
// and leading blanks. A keyword key "<keyword>##<numbers>" applies only to messages
// received on one of those numbers (the operator's free text: every run of digits, with
// an optional "+" or "00" in front, is one number); such a key wins over the same keyword
// without numbers. Among equals the first in the list wins.
#pragma once

#include <string>
#include <vector>

#include "platform/ini_snapshot.h"

namespace gateway::keywords {

// The keyword key of `keys` (as listed in "2Way-Keywords") that applies, or "".
std::string MatchKeyword(const std::vector<std::string>& keys, const std::string& text, const std::string& recipient);

// Whether `number` is one of the numbers in `list` (free text, as above).
bool NumberInList(const std::string& number, const std::string& list);

// The account a message received on `connection` for `recipient` goes to: the
// connection's RouteLocal, else the first account of "[Inbound SMS Routing]" whose
// addresses hold the recipient; "" for none.
std::string LocalUserFor(const std::string& iniPath, const platform::IniSnapshot& ini, const std::string& connection,
                         const std::string& recipient);

}  // namespace gateway::keywords
