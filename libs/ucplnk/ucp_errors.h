// The codes UCPBind returns and their texts. 1..99 are the SMSC's own error codes of a
// negative acknowledgement; 1000 and above are found by this side before or instead of a
// usable answer.
#pragma once

#include <string>

namespace ucp {

enum LocalError : int {
    kNotConnected = 1000,    // the descriptor is not an open socket
    kTimedOut = 1001,        // no complete answer within the time-out
    kClosed = 1002,          // the server closed the connection (mid-frame or before)
    kReplyChecksum = 1003,   // the answer's checksum is wrong
    kReplyTrn = 1004,        // the answer carries another transaction number
    kReplyMalformed = 1005,  // the answer is not a UCP frame
    kReplyTooLong = 1006,    // no frame end within the size an answer may have
    kSendFailed = 1007,      // the login could not be sent
    kCancelled = 1008,       // the operator cancelled the test
    kUserEmpty = 1009,
    kUserTooLong = 1010,
    kUserBadCharacter = 1011,
    kPasswordTooLong = 1012,
    kPasswordBadCharacter = 1013,
    kReplyUnexpected = 1014,  // a well-formed answer to something other than the login
    kRefusedNoCode = 1015,    // a negative acknowledgement with error code 00
};

// The operator's text for a code of UCPBind; `serverText` (the SMSC's own words from the
// refusal, may be empty) is added when it says something the code's text does not.
std::string ErrorText(int code, const std::string& serverText);

}  // namespace ucp
