// The packed user record and the account store, with real files and real processes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <future>
#include <memory>
#include <thread>
#include <vector>

#include "acctdb/acctdb.h"
#include "acctdb/gateway_group.h"
#include "platform/cancel.h"
#include "platform/files.h"
#include "tests/support/unprivileged.h"
#include "temp_data_dir.h"

using acctdb::UserRecord;
using acctdb_test::TempDataDir;

namespace {

UserRecord MakeUser(const std::string& name, const std::string& password = "pw",
                    const std::string& fullName = "") {
    UserRecord record;
    record.SetUserName(name);
    record.SetPassword(password);
    record.SetFullName(fullName.empty() ? name : fullName);
    return record;
}

// Owns an open store handle for one test.
class OpenStore {
public:
    explicit OpenStore(unsigned access = acctdb::GENERIC_READ | acctdb::GENERIC_WRITE) {
        opened_ = acctdb::SMSOpenUserFile(&handle_, access) != 0;
    }
    ~OpenStore() { acctdb::SMSCloseUserFile(handle_); }
    OpenStore(const OpenStore&) = delete;
    OpenStore& operator=(const OpenStore&) = delete;
    bool Opened() const { return opened_; }
    acctdb::UserHandle Handle() const { return handle_; }

private:
    acctdb::UserHandle handle_ = 0;
    bool opened_ = false;
};

std::vector<std::string> NamesInOrder(acctdb::UserHandle handle) {
    std::vector<std::string> names;
    UserRecord record;
    for (int i = 0; acctdb::SMSGetUserRecord(handle, i, &record); ++i) {
        names.push_back(record.UserName());
    }
    return names;
}

}  // namespace

TEST(UserRecordLayout, FieldsSitAtTheirOffsetsLittleEndian) {
    UserRecord record;
    record.SetUserName("alice");
    record.SetPassword("secret");
    record.SetFullName("Alice Doe");
    record.SetDailyLimit(0x01020304);
    record.SetMonthlyLimit(-2);
    record.SetAllowedIps("10.0.0.1");
    record.SetForcedSender("Shop");
    record.SetReceiveSpeedLimit("5/10");
    record.SetWebMenu(3);
    record.SetAdmin(true);
    record.SetAcceptReceived(true);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(record.bytes)), "alice");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(record.bytes + 51)), "secret");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(record.bytes + 102)), "Alice Doe");
    EXPECT_EQ(record.bytes[206], 0x04);
    EXPECT_EQ(record.bytes[209], 0x01);
    EXPECT_EQ(record.bytes[210], 0xFE);
    EXPECT_EQ(record.bytes[213], 0xFF);
    EXPECT_EQ(record.MonthlyLimit(), -2);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(record.bytes + 225)), "10.0.0.1");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(record.bytes + 276)), "Shop");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(record.bytes + 409)), "5/10");
    EXPECT_EQ(record.bytes[419], 0xB3);
    EXPECT_EQ(record.bytes[420], 'j');
    EXPECT_EQ(record.bytes[421], 1);
}

TEST(UserRecordLayout, OverlongTextStaysInsideItsSlotTerminated) {
    UserRecord record;
    record.SetUserName(std::string(80, 'n'));
    record.SetPassword("p");
    EXPECT_EQ(record.UserName(), std::string(50, 'n'));
    EXPECT_EQ(record.bytes[50], 0);
    EXPECT_EQ(record.Password(), "p");
    record.SetReceiveSpeedLimit("1234567890123");
    EXPECT_EQ(record.ReceiveSpeedLimit(), "123456789");
    EXPECT_EQ(record.bytes[419], 0);  // the web menu byte after it is untouched
}

TEST(UserRecordLayout, ShorterValueLeavesNoTailOfTheLongerOne) {
    UserRecord record;
    record.SetFullName("A very long full name");
    record.SetFullName("Bo");
    for (std::size_t i = 104; i < 203; ++i) ASSERT_EQ(record.bytes[i], 0) << i;
}

TEST(UserRecordLayout, UnknownWebMenuByteReadsAsFirstOption) {
    UserRecord record;
    EXPECT_EQ(record.WebMenu(), 0);
    record.bytes[419] = 0xB5;
    EXPECT_EQ(record.WebMenu(), 0);
    record.bytes[419] = 0xB4;
    EXPECT_EQ(record.WebMenu(), 4);
}

TEST(UserStore, StoreFileIsReadableOnlyByOwnerAndGroup) {
    TempDataDir temp;
    const mode_t previous = umask(022);
    {
        OpenStore store;
        ASSERT_TRUE(store.Opened());
        ASSERT_TRUE(acctdb::SMSAddUser(store.Handle(), MakeUser("alice")));
    }
    umask(previous);
    struct stat info {};
    ASSERT_EQ(stat((temp.Path() + "USERS.DB").c_str(), &info), 0);
    // Shared with the gateway's group only where that group exists.
    gid_t group = 0;
    EXPECT_EQ(info.st_mode & 0777, acctdb::GatewayGroupId(group) ? 0660u : 0600u);
}

// Nobody links USERS.DB in a data directory open to everybody to a private file of
// root's; root opening the store must not make that file group-readable.
TEST(UserStore, PlantedStoreLinkNeverWidensTheFileItNames) {
    if (!zella_test::CanActAsNobody()) GTEST_SKIP() << "needs root and setpriv";
    TempDataDir temp;
    zella_test::TempDir elsewhere("secret");
    const std::string secret = elsewhere.File("shadow");
    ASSERT_TRUE(platform::WriteFileAtomic(secret, "root:x:0\n"));
    ASSERT_EQ(0, chmod(secret.c_str(), 0600));
    ASSERT_TRUE(zella_test::OpenToEverybody(temp.Path()));
    ASSERT_TRUE(zella_test::RunAsNobody("ln -s " + secret + " " + temp.Path() + "USERS.DB"));
    { OpenStore store; }
    struct stat info {};
    ASSERT_EQ(stat(secret.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    std::string content;
    ASSERT_TRUE(platform::ReadFile(secret, content));
    EXPECT_EQ("root:x:0\n", content);
}

// Nobody plants USERS.DB as a link to another database of root's, and as a link to an
// empty file of root's, and as a FIFO: root's console opening the store must neither add
// its table to the other database nor turn the empty file into a database, nor wait on
// the FIFO. The store then does not open.
TEST(UserStore, PlantedStoreLinkOrFifoIsNeverOpenedAsTheStore) {
    if (!zella_test::CanActAsNobody()) GTEST_SKIP() << "needs root and setpriv";
    zella_test::TempDir elsewhere("victimdb");
    const std::string other = elsewhere.File("other.db"), empty = elsewhere.File("empty");
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(other.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE kept(x)", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    ASSERT_TRUE(platform::WriteFileAtomic(empty, ""));
    std::string before;
    ASSERT_TRUE(platform::ReadFile(other, before));
    for (const std::string& plant : std::vector<std::string>{"ln -s " + other, "ln -s " + empty, "mkfifo"}) {
        SCOPED_TRACE(plant);
        TempDataDir temp;
        ASSERT_TRUE(zella_test::OpenToEverybody(temp.Path()));
        ASSERT_TRUE(zella_test::RunAsNobody(plant + " " + temp.Path() + "USERS.DB"));
        // A guard, not a timing check: an opening that waits on the FIFO never returns.
        auto opened = std::make_shared<std::promise<bool>>();
        std::future<bool> done = opened->get_future();
        std::thread([opened] {
            OpenStore store;
            opened->set_value(store.Opened());
        }).detach();
        ASSERT_EQ(done.wait_for(std::chrono::seconds(30)), std::future_status::ready)
            << "opening the store waited on the FIFO";
        EXPECT_FALSE(done.get());
    }
    std::string after;
    ASSERT_TRUE(platform::ReadFile(other, after));
    EXPECT_EQ(before, after);
    struct stat info {};
    ASSERT_EQ(stat(empty.c_str(), &info), 0);
    EXPECT_EQ(info.st_size, 0);
}

TEST(UserStore, AddedAccountsAreFoundIgnoringCase) {
    TempDataDir temp;
    OpenStore store;
    ASSERT_TRUE(store.Opened());
    EXPECT_EQ(acctdb::SMSGetRecordCount(store.Handle()), 0);
    ASSERT_TRUE(acctdb::SMSAddUser(store.Handle(), MakeUser("Alice", "pw", "Alice Doe")));
    UserRecord found;
    ASSERT_TRUE(acctdb::SMSFindUserRecord(store.Handle(), "aLiCe", &found));
    EXPECT_EQ(found.UserName(), "Alice");
    EXPECT_EQ(found.FullName(), "Alice Doe");
    EXPECT_FALSE(acctdb::SMSFindUserRecord(store.Handle(), "Alic", &found));
    EXPECT_EQ(acctdb::SMSGetRecordCount(store.Handle()), 1);
}

TEST(UserStore, AddingSameNameInOtherCaseReplacesTheAccount) {
    TempDataDir temp;
    OpenStore store;
    ASSERT_TRUE(acctdb::SMSAddUser(store.Handle(), MakeUser("bob", "one", "Old")));
    ASSERT_TRUE(acctdb::SMSAddUser(store.Handle(), MakeUser("BOB", "two", "New")));
    EXPECT_EQ(acctdb::SMSGetRecordCount(store.Handle()), 1);
    UserRecord found;
    ASSERT_TRUE(acctdb::SMSFindUserRecord(store.Handle(), "bob", &found));
    EXPECT_EQ(found.UserName(), "BOB");
    EXPECT_EQ(found.Password(), "two");
    EXPECT_EQ(found.FullName(), "New");
}

TEST(UserStore, HiddenPasswordMarkerKeepsTheStoredPassword) {
    TempDataDir temp;
    OpenStore store;
    ASSERT_TRUE(acctdb::SMSAddUser(store.Handle(), MakeUser("carol", "s3cret", "Carol")));
    UserRecord edited = MakeUser("Carol", acctdb::kHiddenPasswordMarker, "Carol C.");
    ASSERT_TRUE(acctdb::SMSAddUser(store.Handle(), edited));
    UserRecord found;
    ASSERT_TRUE(acctdb::SMSFindUserRecord(store.Handle(), "carol", &found));
    EXPECT_EQ(found.Password(), "s3cret");
    EXPECT_EQ(found.FullName(), "Carol C.");
}

TEST(UserStore, BytesNobodyNamesSurviveTheRoundTrip) {
    TempDataDir temp;
    OpenStore store;
    UserRecord record = MakeUser("dave");
    for (std::size_t i = 214; i < 225; ++i) record.bytes[i] = static_cast<unsigned char>(i);
    for (std::size_t i = 327; i < 409; ++i) record.bytes[i] = static_cast<unsigned char>(i * 3);
    for (std::size_t i = 422; i < acctdb::kUserRecordSize; ++i) {
        record.bytes[i] = static_cast<unsigned char>(0xFF - i);
    }
    record.bytes[275] = 0x5A;
    ASSERT_TRUE(acctdb::SMSAddUser(store.Handle(), record));
    UserRecord found;
    ASSERT_TRUE(acctdb::SMSGetUserRecord(store.Handle(), 0, &found));
    EXPECT_EQ(std::memcmp(found.bytes, record.bytes, acctdb::kUserRecordSize), 0);
}

TEST(UserStore, RecordsComeInNameOrderIgnoringCase) {
    TempDataDir temp;
    OpenStore store;
    for (const char* name : {"charlie", "Alpha", "bravo", "Delta"}) {
        ASSERT_TRUE(acctdb::SMSAddUser(store.Handle(), MakeUser(name)));
    }
    EXPECT_EQ(NamesInOrder(store.Handle()),
              (std::vector<std::string>{"Alpha", "bravo", "charlie", "Delta"}));
    UserRecord record;
    EXPECT_FALSE(acctdb::SMSGetUserRecord(store.Handle(), -1, &record));
    EXPECT_FALSE(acctdb::SMSGetUserRecord(store.Handle(), 4, &record));
}

TEST(UserStore, FindFirstGivesIndexOfFirstNameWithThePrefix) {
    TempDataDir temp;
    OpenStore store;
    for (const char* name : {"anna", "Bert", "bertha", "carl"}) {
        ASSERT_TRUE(acctdb::SMSAddUser(store.Handle(), MakeUser(name)));
    }
    UserRecord record;
    EXPECT_EQ(acctdb::SMSFindFirstUserRecord(store.Handle(), "BER", &record), 1);
    EXPECT_EQ(record.UserName(), "Bert");
    EXPECT_EQ(acctdb::SMSFindFirstUserRecord(store.Handle(), "berth", &record), 2);
    EXPECT_EQ(acctdb::SMSFindFirstUserRecord(store.Handle(), "c", &record), 3);
    EXPECT_LT(acctdb::SMSFindFirstUserRecord(store.Handle(), "bz", &record), 0);
    EXPECT_LT(acctdb::SMSFindFirstUserRecord(store.Handle(), "zed", &record), 0);
}

TEST(UserStore, DeleteRemovesOnlyTheNamedAccount) {
    TempDataDir temp;
    OpenStore store;
    ASSERT_TRUE(acctdb::SMSAddUser(store.Handle(), MakeUser("erin")));
    ASSERT_TRUE(acctdb::SMSAddUser(store.Handle(), MakeUser("frank")));
    EXPECT_TRUE(acctdb::SMSDeleteUser(store.Handle(), "ERIN"));
    EXPECT_FALSE(acctdb::SMSDeleteUser(store.Handle(), "erin"));
    EXPECT_EQ(NamesInOrder(store.Handle()), (std::vector<std::string>{"frank"}));
}

TEST(UserStore, AccountWithoutNameIsRefused) {
    TempDataDir temp;
    OpenStore store;
    EXPECT_FALSE(acctdb::SMSAddUser(store.Handle(), MakeUser("")));
    EXPECT_EQ(acctdb::SMSGetRecordCount(store.Handle()), 0);
}

TEST(UserStore, ReadOnlyHandleCannotChangeTheStore) {
    TempDataDir temp;
    {
        OpenStore writer;
        ASSERT_TRUE(acctdb::SMSAddUser(writer.Handle(), MakeUser("gina")));
    }
    OpenStore reader(acctdb::GENERIC_READ);
    ASSERT_TRUE(reader.Opened());
    EXPECT_FALSE(acctdb::SMSAddUser(reader.Handle(), MakeUser("hank")));
    EXPECT_FALSE(acctdb::SMSDeleteUser(reader.Handle(), "gina"));
    EXPECT_EQ(NamesInOrder(reader.Handle()), (std::vector<std::string>{"gina"}));
}

TEST(UserStore, ClosedOrUnknownHandleIsRefused) {
    TempDataDir temp;
    acctdb::UserHandle handle = 0;
    ASSERT_TRUE(acctdb::SMSOpenUserFile(&handle, acctdb::GENERIC_WRITE));
    acctdb::SMSCloseUserFile(handle);
    UserRecord record = MakeUser("ivan");
    EXPECT_FALSE(acctdb::SMSAddUser(handle, record));
    EXPECT_FALSE(acctdb::SMSGetUserRecord(handle, 0, &record));
    EXPECT_EQ(acctdb::SMSGetRecordCount(0), 0);
    EXPECT_LT(acctdb::SMSFindFirstUserRecord(12345, "", &record), 0);
    EXPECT_FALSE(acctdb::SMSOpenUserFile(nullptr, acctdb::GENERIC_READ));
}

TEST(UserStore, ChangesThroughAnotherHandleAreSeen) {
    TempDataDir temp;
    OpenStore page;
    OpenStore service;
    ASSERT_TRUE(acctdb::SMSAddUser(page.Handle(), MakeUser("judy")));
    EXPECT_EQ(acctdb::SMSGetRecordCount(page.Handle()), 1);
    ASSERT_TRUE(acctdb::SMSAddUser(service.Handle(), MakeUser("abe")));
    EXPECT_EQ(NamesInOrder(page.Handle()), (std::vector<std::string>{"abe", "judy"}));
    ASSERT_TRUE(acctdb::SMSDeleteUser(service.Handle(), "judy"));
    EXPECT_EQ(acctdb::SMSGetRecordCount(page.Handle()), 1);
}

TEST(UserStore, AccountsOutliveTheHandle) {
    TempDataDir temp;
    {
        OpenStore store;
        ASSERT_TRUE(acctdb::SMSAddUser(store.Handle(), MakeUser("kate", "k")));
    }
    OpenStore reopened;
    UserRecord found;
    ASSERT_TRUE(acctdb::SMSFindUserRecord(reopened.Handle(), "KATE", &found));
    EXPECT_EQ(found.Password(), "k");
}

TEST(UserStore, EachInstanceHasItsOwnStore) {
    TempDataDir temp;
    acctdb::SetMultiHost("north");
    {
        OpenStore north;
        ASSERT_TRUE(acctdb::SMSAddUser(north.Handle(), MakeUser("leo")));
    }
    acctdb::SetMultiHost("");
    OpenStore main;
    EXPECT_EQ(acctdb::SMSGetRecordCount(main.Handle()), 0);
}

TEST(UserStore, TwoProcessesAddingAtOnceLoseNothing) {
    TempDataDir temp;
    constexpr int kPerProcess = 200;
    int gate[2];
    ASSERT_EQ(pipe(gate), 0);
    pid_t children[2];
    for (int p = 0; p < 2; ++p) {
        children[p] = fork();
        ASSERT_GE(children[p], 0);
        if (children[p] == 0) {
            close(gate[1]);
            char ignored;
            (void)read(gate[0], &ignored, 1);  // both start when the parent closes the gate
            acctdb::UserHandle handle = 0;
            if (!acctdb::SMSOpenUserFile(&handle, acctdb::GENERIC_READ | acctdb::GENERIC_WRITE)) {
                _exit(100);
            }
            int failures = 0;
            for (int n = 0; n < kPerProcess; ++n) {
                const std::string name = "p" + std::to_string(p) + "-user" + std::to_string(n);
                if (!acctdb::SMSAddUser(handle, MakeUser(name))) ++failures;
            }
            acctdb::SMSCloseUserFile(handle);
            _exit(failures > 99 ? 99 : failures);
        }
    }
    close(gate[0]);
    close(gate[1]);
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0) << "adds that failed in one process";
    }
    OpenStore store;
    EXPECT_EQ(acctdb::SMSGetRecordCount(store.Handle()), 2 * kPerProcess);
    for (int p = 0; p < 2; ++p) {
        for (int n = 0; n < kPerProcess; ++n) {
            const std::string name = "P" + std::to_string(p) + "-USER" + std::to_string(n);
            ASSERT_TRUE(acctdb::SMSFindUserRecord(store.Handle(), name, nullptr)) << name;
        }
    }
}

// While another process holds the store's write lock, a write through a handle waits on a
// worker; the same handle's reads go on meanwhile (the page keeps painting), and the
// operator's Cancel ends the wait with a failure, before the lock is released.
TEST(UserStore, WriteWaitingForAnotherLockHoldsUpNoReadAndCanBeCancelled) {
    TempDataDir temp;
    OpenStore page;
    ASSERT_TRUE(acctdb::SMSAddUser(page.Handle(), MakeUser("abe")));
    sqlite3* service = nullptr;
    ASSERT_EQ(sqlite3_open((acctdb::GetProgramDataDirectory() + "USERS.DB").c_str(), &service), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(service, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);

    platform::CancelToken cancel;
    std::atomic<int> written{-1};
    std::thread writer([&] {
        platform::ScopedCancelToken scope(&cancel);
        written = acctdb::SMSAddUser(page.Handle(), MakeUser("bea"));
    });
    // Give the writer time to reach the lock (not a timing check: were it late, the reads
    // below would only prove less); then reads through the same handle still answer.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(acctdb::SMSGetRecordCount(page.Handle()), 1);
    EXPECT_EQ(NamesInOrder(page.Handle()), std::vector<std::string>{"abe"});
    EXPECT_EQ(written.load(), -1) << "the write did not wait for the lock";
    cancel.Cancel();
    writer.join();
    EXPECT_EQ(written.load(), 0);

    // Once the lock is gone the same write goes through.
    ASSERT_EQ(sqlite3_exec(service, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(service);
    EXPECT_EQ(acctdb::SMSAddUser(page.Handle(), MakeUser("bea")), 1);
    EXPECT_EQ(NamesInOrder(page.Handle()), (std::vector<std::string>{"abe", "bea"}));
}
