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


// Operations 51 to 58 (submit, deliver, notification, ...) share one layout of 33 fields;
// the positions of those the links read or fill.
namespace field {
inline constexpr std::size_t AdC = 0, OAdC = 1, NRq = 3, NAdC = 4, NT = 5, NPID = 6, SCTS = 14,
                             Dst = 15, Rsn = 16, DSCTS = 17, MT = 18, NB = 19, Msg = 20, DCs = 23,
                             OTOA = 28, XSer = 30, Count = 33;
}  // namespace field

// OTOA of an alphanumeric originator.
inline constexpr const char* kAlphanumericOtoa = "5039";

// An alphanumeric address (OAdC with OTOA 5039) from unpacked GSM 7-bit septets: two hex
// digits giving the number of semi-octets used, then the septets packed 7-bit in hex
// ("ALPHA" gives "094126141904"). At most 11 septets are used; "" for
// none or a byte above 0x7F.
std::string EncodeAlphanumericAddress(std::string_view septets);
// The unpacked septets of such an address, or false when it is not one.
bool DecodeAlphanumericAddress(std::string_view field, std::string* septets);

// The extra services field: type/length/value items, each as hex (type and length one
// octet each).
struct XSerItem {
    int type = 0;       // 0x01 GSM user data header, 0x02 data coding scheme, ...
    std::string value;  // octets
};
inline constexpr int kXSerUdh = 0x01, kXSerDcs = 0x02;
// The hex text of `items` ("" for none; values over 255 octets are cut).
std::string BuildXSer(const std::vector<XSerItem>& items);
// The items of an XSer text, or false when it is not whole items of hex.
bool ParseXSer(std::string_view hex, std::vector<XSerItem>* items);

// The alert (operation 31) that keeps a session alive: the account's address and PID
// 0539 (a PC application over TCP/IP).
std::string BuildAlertFrame(int trn, std::string_view address);

// A 51..58 operation or result frame's value by position; "" when the frame is shorter.
inline const std::string& FieldAt(const Frame& frame, std::size_t at) {
    static const std::string kNone;
    return at < frame.fields.size() ? frame.fields[at] : kNone;
}

}  // namespace ucp
