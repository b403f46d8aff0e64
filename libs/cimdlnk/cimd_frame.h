// CIMD2 packets: building and checking `<STX>OO:NNN<TAB>PPP:value<TAB>...[CC]<ETX>`,
// and the login and logout built on them. Shared by the client library, the test SMSC
// and the fuzz target, so both ends agree on one codec.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ucplnk/link_errors.h"

namespace cimd {

inline constexpr char kStx = '\x02';
inline constexpr char kEtx = '\x03';
inline constexpr char kTab = '\x09';

inline constexpr int kLogin = 1, kLogout = 2, kLoginResponse = 51, kLogoutResponse = 52;
inline constexpr int kGeneralError = 98, kNack = 99;
inline constexpr int kUserIdentity = 10, kPassword = 11, kErrorCode = 900, kErrorText = 901;

struct Packet {
    int operation = 0;                                    // 0..99
    int number = 0;                                       // packet number, 0..999
    std::vector<std::pair<int, std::string>> parameters;  // code 0..999, value
    bool checksum = true;  // the packet carries (or is to carry) the checksum
};

enum class ParseError {
    None,
    NotFramed,    // no STX at the start or no ETX at the end, or one inside
    Syntax,       // header, parameter codes or separators wrong
    BadChecksum,  // CC is not the sum of the bytes it covers
};

// The two upper-case hex digits of the low 8 bits of the sum of `covered`'s bytes.
std::string Checksum(std::string_view covered);

// The complete packet, or "" when a value holds a byte the packet cannot carry (TAB,
// STX, ETX or another control byte) or a number is out of its range.
std::string BuildPacket(const Packet& packet);

// Checks and splits one complete packet (STX through ETX); a checksum, when present, is
// read in either case and must match. `out` is filled only on ParseError::None.
ParseError ParseFrame(std::string_view text, Packet* out);

// The value of parameter `code`, or nullptr.
const std::string* FindParameter(const Packet& packet, int code);

using LoginInputError = smsc_link::LoginInputError;

inline constexpr std::size_t kMaxUserLength = 32;
inline constexpr std::size_t kMaxPasswordLength = 32;

// Checks the login inputs: a user of 1..32 and a password of at most 32 printable ASCII
// characters (TAB, STX, ETX and other control bytes would end a field or the packet).
LoginInputError CheckLoginInput(std::string_view user, std::string_view password);

// The login packet (operation 01) with `number`, or "" when the inputs do not pass.
std::string BuildLoginPacket(int number, std::string_view user, std::string_view password);

// The logout packet (operation 02) with `number`.
std::string BuildLogoutPacket(int number);


// The operations the service's link speaks beyond the login (a response is the request
// plus 50) and the parameters of submit, deliver and status report.
inline constexpr int kSubmit = 3, kDeliver = 20, kStatusReport = 23, kAlive = 40;
inline constexpr int kSubmitResponse = 53, kDeliverResponse = 70, kStatusReportResponse = 73,
                     kAliveResponse = 90;
inline constexpr int kWindowSize = 19, kDestination = 21, kOriginator = 23,
                     kAlphanumericOriginator = 27, kDataCoding = 30, kUserDataHeader = 32,
                     kUserData = 33, kUserDataBinary = 34, kProtocolId = 52,
                     kStatusReportRequest = 56, kTimestamp = 60, kStatusCode = 61,
                     kStatusErrorCode = 62;

// UTF-8 text as the user data parameter carries it: printable ASCII as it is, the other
// characters of the GSM default alphabet that the protocol names as "_" and two
// characters ("@" is "_Oa", "_" is "_--", "\"" is "_qq"). False when a character has no
// such form (control characters, the GSM extension table, anything else): such a
// message goes as UCS-2 instead.
bool EncodeUserDataText(std::string_view utf8, std::string* text);
// The UTF-8 of a user data text; a "_" combination it does not know stays as it is.
std::string DecodeUserDataText(std::string_view text);

}  // namespace cimd
