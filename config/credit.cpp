#include "config/credit.h"

#include <limits>

#include "acctdb/acctdb.h"
#include "config/config_store.h"
#include "platform/cancel.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/regular_file.h"
#include "platform/text.h"

namespace config {

namespace {

constexpr std::uint64_t kRetryMs = 100;
constexpr std::uint64_t kDebitWaitMs = 60'000;
constexpr std::uint64_t kCreateWaitMs = 2'000;
constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();

using platform::EqualsNoCase;

enum class OpenOutcome { Opened, Locked, Failed };

// One attempt. A writer needs the file to itself, as the service does, so it holds an
// exclusive flock; a reader only looks and takes none, like a Windows reader that shares
// writing. A link, FIFO or device under the name is refused, never followed or waited on.
OpenOutcome TryOpen(const std::string& path, bool readOnly, platform::RegularFile& out) {
    using platform::FileAccess;
    platform::RegularFile file =
        platform::RegularFile::Open(path, readOnly ? FileAccess::Read : FileAccess::ReadWrite);
    if (!file.Valid()) return OpenOutcome::Failed;
    if (!readOnly) {
        platform::LockResult lock = file.TryLock(true);
        if (lock != platform::LockResult::Locked) {
            return lock == platform::LockResult::Busy ? OpenOutcome::Locked : OpenOutcome::Failed;
        }
    }
    out = std::move(file);
    return OpenOutcome::Opened;
}

// Opens the credit file, waiting while another writer holds it; invalid on failure.
platform::RegularFile OpenCreditFile(const std::string& path, bool readOnly) {
    platform::ClockSource& clock = platform::Clock();
    const std::uint64_t start = clock.TickCount();
    for (;;) {
        platform::RegularFile file;
        OpenOutcome outcome = TryOpen(path, readOnly, file);
        if (outcome == OpenOutcome::Opened) return file;
        // Only a holder goes away by waiting; a file that is gone or refuses us stays so.
        if (outcome == OpenOutcome::Failed || !platform::FileExists(path)) return {};
        if (clock.TickCount() - start >= kDebitWaitMs || platform::CancelRequested()) return {};
        clock.Sleep(kRetryMs);
    }
}

std::int64_t ReadBalance(const platform::RegularFile& file) {
    const std::int64_t size = file.Size();
    unsigned char bytes[8] = {};
    std::int64_t balance = 0;
    if (size == 8 && file.ReadAt(0, bytes, 8) == 8) {
        std::uint64_t raw = 0;
        for (int i = 7; i >= 0; --i) raw = raw << 8 | bytes[i];
        balance = static_cast<std::int64_t>(raw);
    } else if (size == 4 && file.ReadAt(0, bytes, 4) == 4) {
        std::uint32_t raw = static_cast<std::uint32_t>(bytes[0]) |
                            static_cast<std::uint32_t>(bytes[1]) << 8 |
                            static_cast<std::uint32_t>(bytes[2]) << 16 |
                            static_cast<std::uint32_t>(bytes[3]) << 24;
        balance = static_cast<std::int64_t>(static_cast<std::int32_t>(raw)) * 1000;
    }
    return balance < 0 ? 0 : balance;
}

void WriteBalance(platform::RegularFile& file, std::int64_t balance) {
    unsigned char bytes[8];
    std::uint64_t raw = static_cast<std::uint64_t>(balance);
    for (int i = 0; i < 8; ++i) bytes[i] = static_cast<unsigned char>(raw >> (8 * i));
    if (!file.WriteAt(0, bytes, sizeof bytes)) return;
    // An oversized file would read back as 0 and swallow the balance just written.
    if (file.Size() > 8) (void)file.Truncate(8);
}

std::int64_t SaturatingSub(std::int64_t a, std::int64_t b) {
    std::int64_t result;
    if (__builtin_sub_overflow(a, b, &result)) return b > 0 ? kMin : kMax;
    return result;
}

}  // namespace

std::string CreditFilePath(const std::string& user) {
    return UserDirectory() + acctdb::SafeUserDirectoryName(user) + "/" + kCreditFileName;
}

bool HasCreditFile(const std::string& user) { return platform::FileExists(CreditFilePath(user)); }

std::int64_t DebitCredit(const std::string& user, std::string* message, std::int64_t amount,
                         bool readOnly) {
    if (EqualsNoCase(user, "localsystem") || !HasCreditFile(user)) return kNoCreditLimit;
    const std::string path = UserDirectory(user) + kCreditFileName;
    platform::RegularFile file = OpenCreditFile(path, readOnly);
    if (!file.Valid()) return kNoCreditLimit;

    const std::int64_t balance = ReadBalance(file);
    const std::int64_t result = SaturatingSub(balance, amount);
    if (balance < amount && message != nullptr) {
        *message = "Account " + user + ":  credit limit exceeded.";
    }
    if (!readOnly) WriteBalance(file, balance < amount ? 0 : result);
    return result;
}

std::string FormatCredit(std::int64_t thousandths) {
    // The smallest value cannot be negated; its size is computed without overflow.
    const std::uint64_t size = thousandths < 0
                                   ? static_cast<std::uint64_t>(-(thousandths + 1)) + 1
                                   : static_cast<std::uint64_t>(thousandths);
    std::string text = (thousandths < 0 ? "-" : "") + std::to_string(size / 1000);
    if (size % 1000 != 0) {
        std::string part = std::to_string(size % 1000 + 1000).substr(1);  // three digits
        while (part.back() == '0') part.pop_back();
        text += "." + part;
    }
    return text;
}

std::int64_t ParseCredit(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    // Accumulated as a negative number, whose range holds the smallest value too.
    std::int64_t value = 0;
    bool saturated = false;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (__builtin_mul_overflow(value, 10, &value) ||
            __builtin_sub_overflow(value, text[i] - '0', &value)) {
            saturated = true;
        }
    }
    if (saturated || __builtin_mul_overflow(value, 1000, &value)) {
        return negative ? kMin : kMax;
    }
    if (i < text.size() && text[i] == '.') {
        ++i;
        static constexpr int kPlace[3] = {100, 10, 1};
        for (int d = 0; d < 3 && i < text.size() && text[i] >= '0' && text[i] <= '9'; ++d, ++i) {
            if (__builtin_sub_overflow(value, (text[i] - '0') * kPlace[d], &value)) {
                return negative ? kMin : kMax;
            }
        }
    }
    if (negative) return value;
    return value == kMin ? kMax : -value;
}

bool CreateCreditFile(const std::string& user) {
    const std::string path = UserDirectory(user) + kCreditFileName;
    platform::ClockSource& clock = platform::Clock();
    const std::uint64_t start = clock.TickCount();
    for (;;) {
        if (platform::CreateFileIfMissing(path)) return true;
        if (clock.TickCount() - start >= kCreateWaitMs || platform::CancelRequested()) return false;
        clock.Sleep(kRetryMs);
    }
}

bool DeleteCreditFile(const std::string& user) {
    const std::string path = CreditFilePath(user);
    if (!platform::PathExists(path)) return true;
    return platform::DeleteFileChecked(path);
}

}  // namespace config
