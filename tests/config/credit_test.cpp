// Credit balances: the file forms, debits and the limit message, credit text, and the
// create and delete operations, on real files in a fresh users directory.
#include <gtest/gtest.h>

#include <limits>

#include "config/credit.h"
#include "counters_fixture.h"

namespace {

using config::DebitCredit;
using config::kNoCreditLimit;

class CreditTest : public CountersTest {
protected:
    std::string CreditPath(const std::string& user = "alice") {
        return dir_ + "USERS/" + user + "/SMS.CTR";
    }
    void WriteBalance(std::int64_t thousandths, const std::string& user = "alice") {
        WriteRaw(CreditPath(user), LittleEndian(static_cast<std::uint64_t>(thousandths), 8));
    }
    std::int64_t StoredBalance(const std::string& user = "alice") {
        std::string bytes = ReadRaw(CreditPath(user));
        EXPECT_EQ(bytes.size(), 8u);
        std::uint64_t raw = 0;
        for (std::size_t i = bytes.size(); i-- > 0;) {
            raw = raw << 8 | static_cast<unsigned char>(bytes[i]);
        }
        return static_cast<std::int64_t>(raw);
    }
};

TEST_F(CreditTest, FourByteFileHoldsWholeMessagesAndIsRewrittenAsEightBytes) {
    WriteRaw(CreditPath(), LittleEndian(25, 4));
    EXPECT_EQ(DebitCredit("alice", nullptr, 0, true), 25000);
    EXPECT_EQ(DebitCredit("alice", nullptr, 1000, false), 24000);
    EXPECT_EQ(StoredBalance(), 24000);
}

TEST_F(CreditTest, NegativeFourByteCountReadsAsZero) {
    WriteRaw(CreditPath(), LittleEndian(0xFFFFFFFFu, 4));  // -1 message
    EXPECT_EQ(DebitCredit("alice", nullptr, 0, true), 0);
}

TEST_F(CreditTest, DebitBeyondBalanceReportsLimitReturnsShortfallAndStoresZero) {
    WriteBalance(2000);
    std::string message;
    EXPECT_EQ(DebitCredit("alice", &message, 3000, false), -1000);
    EXPECT_EQ(message, "Account alice:  credit limit exceeded.");
    EXPECT_EQ(StoredBalance(), 0);
}

TEST_F(CreditTest, DebitWithinBalanceLeavesMessageUntouched) {
    WriteBalance(2000);
    std::string message = "untouched";
    EXPECT_EQ(DebitCredit("alice", &message, 1500, false), 500);
    EXPECT_EQ(message, "untouched");
    EXPECT_EQ(StoredBalance(), 500);
}

TEST_F(CreditTest, ReadOnlyDebitReportsButWritesNothing) {
    WriteBalance(2000);
    std::string message;
    EXPECT_EQ(DebitCredit("alice", &message, 3000, true), -1000);
    EXPECT_EQ(message, "Account alice:  credit limit exceeded.");
    EXPECT_EQ(StoredBalance(), 2000);
}

TEST_F(CreditTest, NegativeAmountAddsCreditWithoutLimitMessage) {
    WriteBalance(500);
    std::string message;
    EXPECT_EQ(DebitCredit("alice", &message, -1500, false), 2000);
    EXPECT_TRUE(message.empty());
    EXPECT_EQ(StoredBalance(), 2000);
}

TEST_F(CreditTest, AccountWithoutCreditFileHasNoLimitAndNothingIsCreated) {
    std::string message;
    EXPECT_EQ(DebitCredit("bob", &message, 1000, false), kNoCreditLimit);
    EXPECT_TRUE(message.empty());
    EXPECT_FALSE(platform::PathExists(dir_ + "USERS/bob"));
    EXPECT_FALSE(config::HasCreditFile("bob"));
}

TEST_F(CreditTest, LocalSystemIsNeverLimitedInAnyCase) {
    WriteBalance(0, "LocalSystem");
    EXPECT_EQ(DebitCredit("LocalSystem", nullptr, 1000, false), kNoCreditLimit);
    EXPECT_EQ(DebitCredit("LOCALSYSTEM", nullptr, 1000, false), kNoCreditLimit);
    EXPECT_EQ(StoredBalance("LocalSystem"), 0);
}

TEST_F(CreditTest, EmptyFileIsBalanceZeroAndBecomesEightBytes) {
    WriteRaw(CreditPath(), "");
    std::string message;
    EXPECT_EQ(DebitCredit("alice", &message, 1000, false), -1000);
    EXPECT_FALSE(message.empty());
    EXPECT_EQ(StoredBalance(), 0);
}

TEST_F(CreditTest, ShortFileReadsAsZero) {
    WriteRaw(CreditPath(), std::string("\x10\x27\x00", 3));
    EXPECT_EQ(DebitCredit("alice", nullptr, 0, true), 0);
}

TEST_F(CreditTest, OversizedFileReadsAsZeroAndAddedCreditIsNotSwallowed) {
    WriteRaw(CreditPath(), LittleEndian(5000, 8) + std::string(4, '\0'));
    EXPECT_EQ(DebitCredit("alice", nullptr, 0, true), 0);
    // Writing only the first 8 bytes would leave a 12-byte file that reads 0 again.
    EXPECT_EQ(DebitCredit("alice", nullptr, -2000, false), 2000);
    EXPECT_EQ(StoredBalance(), 2000);
    EXPECT_EQ(DebitCredit("alice", nullptr, 0, true), 2000);
}

TEST_F(CreditTest, NegativeStoredBalanceReadsAsZero) {
    WriteBalance(-5000);
    EXPECT_EQ(DebitCredit("alice", nullptr, 1000, false), -1000);
    EXPECT_EQ(StoredBalance(), 0);
}

TEST_F(CreditTest, HugeAmountsSaturateInsteadOfWrapping) {
    WriteBalance(std::numeric_limits<std::int64_t>::max() - 10);
    EXPECT_EQ(DebitCredit("alice", nullptr, -100, true), std::numeric_limits<std::int64_t>::max());
    WriteBalance(0);
    EXPECT_EQ(DebitCredit("alice", nullptr, std::numeric_limits<std::int64_t>::min(), true),
              std::numeric_limits<std::int64_t>::max());
}

TEST_F(CreditTest, DirectoryNamedLikeCreditFileIsNoCreditFile) {
    ASSERT_TRUE(platform::CreateDirectories(CreditPath()));
    EXPECT_FALSE(config::HasCreditFile("alice"));
    EXPECT_EQ(DebitCredit("alice", nullptr, 1000, false), kNoCreditLimit);
    EXPECT_FALSE(config::DeleteCreditFile("alice"));
}

TEST_F(CreditTest, CreatedFileIsBalanceZeroAndDeletingRemovesTheLimit) {
    EXPECT_TRUE(config::CreateCreditFile("carol"));
    EXPECT_TRUE(config::HasCreditFile("carol"));
    EXPECT_EQ(ReadRaw(CreditPath("carol")), "");
    EXPECT_EQ(DebitCredit("carol", nullptr, 1000, false), -1000);
    EXPECT_TRUE(config::DeleteCreditFile("carol"));
    EXPECT_FALSE(config::HasCreditFile("carol"));
    EXPECT_EQ(DebitCredit("carol", nullptr, 1000, false), kNoCreditLimit);
    EXPECT_TRUE(config::DeleteCreditFile("carol"));  // nothing left to delete
}

TEST_F(CreditTest, CreatingKeepsAnExistingBalance) {
    WriteBalance(7000);
    EXPECT_TRUE(config::CreateCreditFile("alice"));
    EXPECT_EQ(StoredBalance(), 7000);
}

TEST_F(CreditTest, UserNamesCannotReachOutsideTheUsersDirectory) {
    const std::string path = config::CreditFilePath("../../evil");
    EXPECT_EQ(path.rfind(dir_ + "USERS/", 0), 0u) << path;
    EXPECT_EQ(path.find("/../"), std::string::npos) << path;
    EXPECT_TRUE(config::CreateCreditFile("../../evil"));
    EXPECT_TRUE(platform::FileExists(path));
    EXPECT_FALSE(platform::PathExists(dir_ + "../evil"));
}

TEST(FormatCredit, LeavesOutTrailingZerosOfThousandths) {
    EXPECT_EQ(config::FormatCredit(1500), "1.5");
    EXPECT_EQ(config::FormatCredit(1050), "1.05");
    EXPECT_EQ(config::FormatCredit(1005), "1.005");
    EXPECT_EQ(config::FormatCredit(2000), "2");
    EXPECT_EQ(config::FormatCredit(0), "0");
    EXPECT_EQ(config::FormatCredit(125), "0.125");
    EXPECT_EQ(config::FormatCredit(5'000'000'000'000), "5000000000");
}

TEST(FormatCredit, NegativeValuesKeepTheirSign) {
    EXPECT_EQ(config::FormatCredit(-1500), "-1.5");
    EXPECT_EQ(config::FormatCredit(-500), "-0.5");
    EXPECT_EQ(config::FormatCredit(std::numeric_limits<std::int64_t>::min()),
              "-9223372036854775.808");
}

TEST(ParseCredit, ReadsWholePartAndUpToThreeDecimals) {
    EXPECT_EQ(config::ParseCredit("1.5"), 1500);
    EXPECT_EQ(config::ParseCredit("0.125"), 125);
    EXPECT_EQ(config::ParseCredit("2."), 2000);
    EXPECT_EQ(config::ParseCredit("  42"), 42000);
    EXPECT_EQ(config::ParseCredit("-1.5"), -1500);
    EXPECT_EQ(config::ParseCredit(".75"), 750);
    EXPECT_EQ(config::ParseCredit("1.23456"), 1234);
}

TEST(ParseCredit, StopsAtFirstCharacterThatIsNotADigit) {
    EXPECT_EQ(config::ParseCredit("abc"), 0);
    EXPECT_EQ(config::ParseCredit(""), 0);
    EXPECT_EQ(config::ParseCredit("3 messages"), 3000);
    EXPECT_EQ(config::ParseCredit("1.2x5"), 1200);
    EXPECT_EQ(config::ParseCredit("7x.5"), 7000);
}

TEST(ParseCredit, SaturatesOnOverflow) {
    EXPECT_EQ(config::ParseCredit("99999999999999999999"), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(config::ParseCredit("-99999999999999999999"), std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(config::ParseCredit("9223372036854776"), std::numeric_limits<std::int64_t>::max());
}

TEST(ParseCredit, GivesBackWhatFormatCreditWrote) {
    for (std::int64_t value : {0LL, 1LL, 999LL, 1000LL, 1005LL, 123456789LL, -4500LL}) {
        EXPECT_EQ(config::ParseCredit(config::FormatCredit(value)), value) << value;
    }
}

}  // namespace
