// Per-user credit balances: the file "SMS.CTR" in the user's directory holds what is left
// to send, in thousandths of a message, as a signed 64-bit little-endian integer. A file
// of exactly 4 bytes is the older form, a signed 32-bit count of whole messages. Any other
// length, and a negative balance, read as 0. A user without the file has no credit limit.
// The Gateway service debits the same files; writers take an exclusive flock on the file
// for the length of one read-modify-write.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace config {

// What DebitCredit reports for a user without a limit: a thousand messages.
inline constexpr std::int64_t kNoCreditLimit = 1'000'000;
inline constexpr const char* kCreditFileName = "SMS.CTR";

// Where the credit file of `user` is: UserDirectory(user) + "SMS.CTR", computed without
// creating the user's directory (the users directory itself may be created).
std::string CreditFilePath(const std::string& user);

// `HasCreditFile`: true when the user's credit file exists and is not a directory.
bool HasCreditFile(const std::string& user);

// `DebitCredit`: takes `amount` thousandths from the user's balance and returns the
// balance minus the amount, negative when the credit did not cover it. The stored
// balance becomes that result, or 0 when it would be negative; a negative amount adds
// credit. With `readOnly` nothing is written (the result tells what a debit would leave).
// When the balance is below the amount and `message` is given, it receives
// "Account <user>:  credit limit exceeded.". Returns kNoCreditLimit and changes nothing
// for "localsystem" (any case), for a user without credit file, and when the file stays
// locked by another writer for 60 seconds (retried every 100 ms on platform::Clock()) or
// cannot be opened; a symbolic link, FIFO or device under the name is never opened. A stored file of any other length than 8 bytes is rewritten as
// exactly 8 bytes. Write failures are not reported.
std::int64_t DebitCredit(const std::string& user, std::string* message, std::int64_t amount,
                         bool readOnly);

// `FormatCredit`: thousandths as text: the whole part, then "." and the thousandths with
// trailing zeros left out when there are any (1500 "1.5", 1005 "1.005", 2000 "2").
// A negative value is written as "-" and the text of its size.
std::string FormatCredit(std::int64_t thousandths);

// `ParseCredit`: blanks skipped, an optional "-" (or "+"), the whole part in decimal, then
// after a "." up to three digits of thousandths, stopping at the first other character
// ("1.5" 1500, "0.125" 125, "2." 2000, "-1.5" -1500, "abc" 0). Saturates at the int64
// limits rather than wrapping.
std::int64_t ParseCredit(std::string_view text);

// `CreateCreditFile`: creates the user's directory and an empty credit file when missing
// (balance 0), retrying every 100 ms for up to 2 seconds; an existing file is kept.
// True when a regular file exists afterwards (never created through a planted link).
bool CreateCreditFile(const std::string& user);

// `DeleteCreditFile`: deletes the user's credit file, removing the limit. False when it
// could not be deleted (still held by the service, or a directory); true when it is gone,
// also when there was none.
bool DeleteCreditFile(const std::string& user);

}  // namespace config
