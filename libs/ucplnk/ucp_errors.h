// The codes UCPBind returns and their texts. 1..99 are the SMSC's own error codes of a
// negative acknowledgement; 1000 and above are found by this side before or instead of a
// usable answer.
#pragma once

#include <string>

#include "ucplnk/link_errors.h"

namespace ucp {

// The codes found on this side: the links' shared ones, two under this protocol's names.
using enum smsc_link::LocalError;
inline constexpr int kReplyTrn = smsc_link::kReplyOutOfOrder;
inline constexpr int kRefusedNoCode = smsc_link::kRefusedWithoutCode;

// The operator's text for a code of UCPBind; `serverText` (the SMSC's own words from the
// refusal, may be empty) is added when it says something the code's text does not.
std::string ErrorText(int code, const std::string& serverText);

}  // namespace ucp
