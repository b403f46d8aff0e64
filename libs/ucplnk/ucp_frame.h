// UCP/EMI frames: building and checking `<STX>TRN/LEN/O|R/OT/fields.../CS<ETX>`, and the
// session-management login (operation 60) built on them. Shared by the client library,
// the test SMSC and the fuzz target, so both ends agree on one codec.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "ucplnk/link_errors.h"

namespace ucp {

inline constexpr char kStx = '\x02';
inline constexpr char kEtx = '\x03';
// LEN has five digits, so no valid frame is longer than this (STX, 99999, ETX).
inline constexpr std::size_t kMaxFrameSize = 100001;

struct Frame {
    int trn = 0;      // 0..99
    char kind = 'O';  // 'O' operation, 'R' result
    int ot = 0;       // operation type, 0..99
    std::vector<std::string> fields;
};

enum class ParseError {
    None,
    NotFramed,       // no STX at the start or no ETX at the end, or one inside
    Syntax,          // header, separators or digits wrong
    LengthMismatch,  // LEN differs from the characters between STX and ETX
    BadChecksum,     // CS is not the sum of the bytes it covers
};

// The two upper-case hex digits of the low 8 bits of the sum of `covered`'s bytes.
std::string Checksum(std::string_view covered);

// The complete frame for `frame` (TRN, LEN and CS computed), or "" when a field holds a
// byte the frame cannot carry ("/", STX, ETX, a control byte) or the frame would exceed
// what LEN can express.
std::string BuildFrame(const Frame& frame);

// Checks and splits one complete frame (STX through ETX); hex of the checksum is read in
// either case. `out` is filled only on ParseError::None.
ParseError ParseFrame(std::string_view text, Frame* out);

// Upper-case IRA hex of each byte of `text` ("secret" -> "736563726574").
std::string IraHex(std::string_view text);
// The bytes of an IRA hex text, or false when it has an odd length or a non-hex digit.
bool FromIraHex(std::string_view hex, std::string* out);

using LoginInputError = smsc_link::LoginInputError;

inline constexpr std::size_t kMaxUserLength = 16;
inline constexpr std::size_t kMaxPasswordLength = 149;

// Checks the login inputs: the user (the account's address) is 1..16 printable ASCII
// characters without "/"; the password at most 149 printable ASCII characters (any of
// them, "/" included, since it travels as hex).
LoginInputError CheckLoginInput(std::string_view user, std::string_view password);

// The operation 60 frame that opens a session for `user` with `password` (checked with
// CheckLoginInput first; "" when they do not pass).
std::string BuildLoginFrame(int trn, std::string_view user, std::string_view password);

}  // namespace ucp
