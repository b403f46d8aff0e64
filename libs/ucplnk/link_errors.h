// The failures both SMSC login links (UCP/EMI and CIMD2) find on their own side, with
// their codes and texts, and the SMSC's last refusal kept for the error text asked for
// next. Codes below 1000 are the SMSC's own; each link names them. Header only, like
// link_support.h, so each library carries its own copy.
#pragma once

#include <cerrno>
#include <cstdio>
#include <mutex>
#include <string>

#include "platform/tcp_socket.h"
#include "ucplnk/link_support.h"

namespace smsc_link {

enum LocalError : int {
    kNotConnected = 1000,    // the descriptor is not an open socket
    kTimedOut = 1001,        // no complete answer within the time-out
    kClosed = 1002,          // the server closed the connection (mid-answer or before)
    kReplyChecksum = 1003,   // the answer's checksum is wrong
    kReplyOutOfOrder = 1004, // the answer carries another transaction or packet number
    kReplyMalformed = 1005,  // the answer is not one of the protocol's frames
    kReplyTooLong = 1006,    // no frame end within the size an answer may have
    kSendFailed = 1007,      // the login could not be sent
    kCancelled = 1008,       // the operator cancelled the test
    kUserEmpty = 1009,
    kUserTooLong = 1010,
    kUserBadCharacter = 1011,
    kPasswordTooLong = 1012,
    kPasswordBadCharacter = 1013,
    kReplyUnexpected = 1014,   // a well-formed answer to something other than the login
    kRefusedWithoutCode = 1015,  // a refusal that names no error code
};

// What a login's user and password are checked for before anything is sent.
enum class LoginInputError {
    None,
    UserEmpty,
    UserTooLong,
    UserBadCharacter,
    PasswordTooLong,
    PasswordBadCharacter
};

// The code of a refused login input; 0 for None.
inline int LoginInputCode(LoginInputError e) {
    switch (e) {
        case LoginInputError::UserEmpty: return kUserEmpty;
        case LoginInputError::UserTooLong: return kUserTooLong;
        case LoginInputError::UserBadCharacter: return kUserBadCharacter;
        case LoginInputError::PasswordTooLong: return kPasswordTooLong;
        case LoginInputError::PasswordBadCharacter: return kPasswordBadCharacter;
        case LoginInputError::None: break;
    }
    return 0;
}

// The code of a failed read of the answer.
inline int IoCode(const platform::IoResult& r) {
    switch (r.status) {
        case platform::IoStatus::TimedOut: return kTimedOut;
        case platform::IoStatus::Cancelled: return kCancelled;
        case platform::IoStatus::Closed: return kClosed;
        default: return r.error == EMSGSIZE ? kReplyTooLong : kClosed;
    }
}

// The code of a failed send of the request.
inline int SendCode(const platform::IoResult& r) {
    return r.status == platform::IoStatus::Cancelled ? kCancelled : kSendFailed;
}

// The words that tell the two links' texts apart.
struct LinkWords {
    const char* server;               // "UCP": "The UCP server closed the connection"
    const char* numberName;           // what an answer must repeat: "transaction number"
    const char* validAnswer;          // "valid UCP frame"
    const char* userBadCharacter;     // the whole text for kUserBadCharacter
    const char* passwordBadCharacter; // the whole text for kPasswordBadCharacter
    const char* refusedWithoutCode;   // the whole text for kRefusedWithoutCode
    std::size_t maxUser, maxPassword;
};

// The text of a code found on this side; "" for any other code.
inline std::string LocalErrorText(int code, const LinkWords& w) {
    char text[200];
    auto say = [&](const char* format, const char* extra = "") {
        std::snprintf(text, sizeof text, format, w.server, extra);
        return std::string(text);
    };
    switch (code) {
        case kNotConnected: return say("Not connected to the %s server");
        case kTimedOut: return say("No answer from the %s server (timed out)");
        case kClosed: return say("The %s server closed the connection");
        case kReplyChecksum: return say("The %s server's answer has a wrong checksum");
        case kReplyOutOfOrder: return say("The %s server answered with a wrong %s", w.numberName);
        case kReplyMalformed: return say("The %s server's answer is not a %s", w.validAnswer);
        case kReplyTooLong: return say("The %s server's answer is too long");
        case kSendFailed: return say("Unable to send the login to the %s server");
        case kReplyUnexpected: return say("The %s server answered another operation than the login");
        case kCancelled: return "Cancelled";
        case kUserEmpty: return "A user name is required";
        case kUserTooLong:
            return "The user name is longer than " + std::to_string(w.maxUser) + " characters";
        case kPasswordTooLong:
            return "The password is longer than " + std::to_string(w.maxPassword) + " characters";
        case kUserBadCharacter: return w.userBadCharacter;
        case kPasswordBadCharacter: return w.passwordBadCharacter;
        case kRefusedWithoutCode: return w.refusedWithoutCode;
        default: return {};
    }
}

// The SMSC's own words from the last refusal, kept for the error text asked for next.
class LastRefusal {
public:
    void Remember(int code, const std::string& serverText) {
        std::lock_guard<std::mutex> lock(mutex_);
        code_ = code;
        text_ = Printable(serverText, 120);
    }
    // The words kept with `code`; "" when the last refusal had another code.
    std::string WordsFor(int code) {
        std::lock_guard<std::mutex> lock(mutex_);
        return code == code_ ? text_ : std::string();
    }

private:
    std::mutex mutex_;
    int code_ = 0;
    std::string text_;
};

}  // namespace smsc_link
