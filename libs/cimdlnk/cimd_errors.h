// The codes CIMDBind returns and their texts. 1..999 are the SMSC's own error codes
// (parameter 900 of its answer); 1000 and above are found by this side before or instead
// of a usable answer.
#pragma once

#include <string>

#include "ucplnk/link_errors.h"

namespace cimd {

// The codes found on this side: the links' shared ones, two under this protocol's names.
using enum smsc_link::LocalError;
inline constexpr int kReplyNumber = smsc_link::kReplyOutOfOrder;
inline constexpr int kRejected = smsc_link::kRefusedWithoutCode;

// The operator's text for a code of CIMDBind; `serverText` (the SMSC's own words from
// the refusal, may be empty) is added when it says something the code's text does not.
std::string ErrorText(int code, const std::string& serverText);

}  // namespace cimd
