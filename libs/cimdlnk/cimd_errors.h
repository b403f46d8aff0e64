// The codes CIMDBind returns and their texts. 1..999 are the SMSC's own error codes
// (parameter 900 of its answer); 1000 and above are found by this side before or instead
// of a usable answer.
#pragma once

#include <string>

namespace cimd {

enum LocalError : int {
    kNotConnected = 1000,    // the descriptor is not an open socket
    kTimedOut = 1001,        // no complete answer within the time-out
    kClosed = 1002,          // the server closed the connection (mid-packet or before)
    kReplyChecksum = 1003,   // the answer's checksum is wrong
    kReplyNumber = 1004,     // the answer carries another packet number
    kReplyMalformed = 1005,  // the answer is not a CIMD2 packet
    kReplyTooLong = 1006,    // no packet end within the size an answer may have
    kSendFailed = 1007,      // the login could not be sent
    kCancelled = 1008,       // the operator cancelled the test
    kUserEmpty = 1009,
    kUserTooLong = 1010,
    kUserBadCharacter = 1011,
    kPasswordTooLong = 1012,
    kPasswordBadCharacter = 1013,
    kReplyUnexpected = 1014,  // a well-formed packet that answers something else
    kRejected = 1015,         // a NACK or general error without an error code
};

// The operator's text for a code of CIMDBind; `serverText` (the SMSC's own words from
// the refusal, may be empty) is added when it says something the code's text does not.
std::string ErrorText(int code, const std::string& serverText);

}  // namespace cimd
