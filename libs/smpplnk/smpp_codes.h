// Result codes of the SMPP link functions: 0 for success, an SMPP command_status
// (positive) when the SMSC refused, or one of the negative local codes below when the
// library itself stopped the exchange. SMPPErrorText has a text for every one.
#pragma once

namespace smpplnk {

enum LocalError : int {
    kErrTimedOut = -1,       // no complete reply within the reply time-out
    kErrClosed = -2,         // the SMSC closed the connection (possibly mid-PDU)
    kErrSend = -3,           // the request could not be sent
    kErrReceive = -4,        // a socket or TLS read failed
    kErrMalformed = -5,      // a reply that does not decode as its PDU
    kErrLength = -6,         // a command_length below 16 or above the library's bound
    kErrUnexpected = -7,     // a response to something we never asked
    kErrGenericNack = -8,    // generic_nack without a status
    kErrSmscUnbound = -9,    // the SMSC sent unbind while we waited
    kErrSystemIdLong = -10,  // the fields below exceed their SMPP maxima
    kErrPasswordLong = -11,
    kErrSystemTypeLong = -12,
    kErrAddressRangeLong = -13,
    kErrBindTonNpi = -14,  // BindTON/BindNPI in section "SMPP" not 0..255
    kErrVersion = -15,     // interface version other than 0x33 or 0x34
    kErrBindType = -16,    // bind type other than 1, 2 or 9
    kErrSourceLong = -17,
    kErrDestinationLong = -18,
    kErrMessageLong = -19,
    kErrBadArgument = -20,  // a null text, a negative length, a bad data coding
    kErrNoTls = -21,        // a TLS session was given but the TLS library is missing
    kErrEncode = -22,       // the PDU encoder refused the request
    kErrCancelled = -23,    // the operator cancelled the wait
    kErrNotSocket = -24,    // the descriptor is not an open socket
};

// An SMPP command_status as a positive result code; the few values above INT_MAX (none
// defined) all read as the largest, never as 0 or as a local code.
inline int StatusCode(unsigned status) {
    return status > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int>(status);
}

}  // namespace smpplnk
