// The account store: USERS.DB, one SQLite table keyed by the lower-cased user name and
// holding each packed record whole, so bytes that this side does not interpret survive
// for the services that do. The console and both services use the file at once; WAL
// lets readers go on while one writes, and a busy wait queues the writers. A handle reads
// and writes through two connections of its own, so a write that waits for another
// process's lock never holds up the reads of the page that shows the accounts.
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "acctdb/acctdb.h"
#include "acctdb/gateway_group.h"
#include "platform/cancel.h"

namespace acctdb {
namespace {

constexpr const char* kStoreFileName = "USERS.DB";
constexpr int kBusyTimeoutMs = 30'000;
constexpr int kBusySliceMs = 20;
constexpr std::size_t kPasswordOffset = 51, kPasswordSize = 51;

struct DatabaseCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct StatementFinalizer {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Database = std::unique_ptr<sqlite3, DatabaseCloser>;
using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

std::string KeyOf(const std::string& userName) {
    std::string key = userName;
    for (char& c : key) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return key;
}

Statement Prepare(sqlite3* db, const char* sql) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) != SQLITE_OK) return nullptr;
    return Statement(statement);
}

bool Execute(sqlite3* db, const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

// Waits for another connection's lock in short slices: at most kBusyTimeoutMs, and not at
// all once the long operation the call runs in has been cancelled.
int WaitWhileBusy(void*, int attempt) {
    if (platform::CancelRequested() || attempt >= kBusyTimeoutMs / kBusySliceMs) return 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(kBusySliceMs));
    return 1;
}

void BindText(sqlite3_stmt* statement, int index, const std::string& text) {
    sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()),
                      SQLITE_TRANSIENT);
}

// Rolls back unless committed, so every early return leaves the store as it was.
class WriteTransaction {
public:
    explicit WriteTransaction(sqlite3* db) : db_(db), open_(Execute(db, "BEGIN IMMEDIATE")) {}
    ~WriteTransaction() {
        if (open_) Execute(db_, "ROLLBACK");
    }
    WriteTransaction(const WriteTransaction&) = delete;
    WriteTransaction& operator=(const WriteTransaction&) = delete;
    bool Open() const { return open_; }
    bool Commit() {
        if (!open_ || !Execute(db_, "COMMIT")) return false;
        open_ = false;
        return true;
    }

private:
    sqlite3* db_;
    bool open_;
};

// The file is created before SQLite sees it so that its mode does not depend on the
// caller's umask; SQLite gives its -wal and -shm files the database file's mode. It is
// readable by its owner and the gateway's group only (by the owner alone on a machine
// without that group), and an existing file is changed only through a descriptor
// opened without following a link, and only when it is this user's own.
// True when a regular file stands at `path` afterwards: a link, FIFO or device planted
// there is not a store, and SQLite would follow the link or wait on the FIFO.
bool PrepareStoreFile(const std::string& path) {
    gid_t group = 0;
    const bool shared = GatewayGroupId(group);
    const mode_t mode = shared ? 0660 : 0600;
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0 && errno == EEXIST) fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat info {};
    const bool regular = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    if (regular && info.st_uid == geteuid()) {
        if (shared && info.st_gid != group) (void)fchown(fd, static_cast<uid_t>(-1), group);
        if ((info.st_mode & 0777) != mode) (void)fchmod(fd, mode);
    }
    close(fd);
    return regular;
}

class UserStore {
public:
    // `writer` is null for a handle opened for reading only.
    UserStore(Database reader, Database writer)
        : reader_(std::move(reader)), writer_(std::move(writer)) {}

    static std::shared_ptr<UserStore> Open(const std::string& path, bool writable);

    int Count() {
        std::lock_guard<std::mutex> lock(readMutex_);
        return RefreshKeys() ? static_cast<int>(keys_.size()) : 0;
    }

    bool Get(int index, UserRecord* record) {
        std::lock_guard<std::mutex> lock(readMutex_);
        if (!RefreshKeys() || index < 0 || static_cast<std::size_t>(index) >= keys_.size()) {
            return false;
        }
        return Load(reader_.get(), keys_[index], record);
    }

    bool Find(const std::string& userName, UserRecord* record) {
        std::lock_guard<std::mutex> lock(readMutex_);
        UserRecord found;
        if (userName.empty() || !Load(reader_.get(), KeyOf(userName), &found)) return false;
        if (record) *record = found;
        return true;
    }

    int FindFirst(const std::string& text, UserRecord* record) {
        std::lock_guard<std::mutex> lock(readMutex_);
        if (!RefreshKeys()) return -1;
        const std::string prefix = KeyOf(text);
        const auto it = std::lower_bound(keys_.begin(), keys_.end(), prefix);
        if (it == keys_.end() || it->compare(0, prefix.size(), prefix) != 0) return -1;
        UserRecord found;
        if (!Load(reader_.get(), *it, &found)) return -1;
        if (record) *record = found;
        return static_cast<int>(it - keys_.begin());
    }

    bool Add(const UserRecord& record);
    bool Remove(const std::string& userName);

private:
    bool RefreshKeys();
    static bool Load(sqlite3* db, const std::string& key, UserRecord* record);

    // Reads: the key list and the reader connection.
    std::mutex readMutex_;
    Database reader_;
    std::vector<std::string> keys_;
    bool keysValid_ = false;
    sqlite3_int64 keysVersion_ = -1;
    // Writes: the writer connection (its commits change the reader's data_version).
    std::mutex writeMutex_;
    Database writer_;
};

// A connection to the store at `path` with the busy wait above; null when it cannot be
// opened with `flags`.
Database Connect(const std::string& path, int flags) {
    sqlite3* raw = nullptr;
    // A link swapped in after the check above is refused here too.
    const int rc = sqlite3_open_v2(path.c_str(), &raw, flags | SQLITE_OPEN_NOFOLLOW, nullptr);
    Database db(raw);
    if (rc != SQLITE_OK) return nullptr;
    sqlite3_busy_handler(db.get(), WaitWhileBusy, nullptr);
    return db;
}

std::shared_ptr<UserStore> UserStore::Open(const std::string& path, bool writable) {
    if (!PrepareStoreFile(path)) return nullptr;
    Database db = Connect(path, SQLITE_OPEN_READWRITE);
    // A reader without write permission to the file still gets to read it.
    if (!db && !writable) db = Connect(path, SQLITE_OPEN_READONLY);
    if (!db) return nullptr;
    if (sqlite3_db_readonly(db.get(), "main")) return std::make_shared<UserStore>(std::move(db), nullptr);
    Execute(db.get(), "PRAGMA journal_mode=WAL");
    if (!Execute(db.get(),
                 "CREATE TABLE IF NOT EXISTS users ("
                 " name_key TEXT PRIMARY KEY NOT NULL,"
                 " record BLOB NOT NULL) WITHOUT ROWID")) {
        return nullptr;
    }
    if (!writable) return std::make_shared<UserStore>(std::move(db), nullptr);
    Database reader = Connect(path, SQLITE_OPEN_READWRITE);
    if (!reader) return nullptr;
    return std::make_shared<UserStore>(std::move(reader), std::move(db));
}

// The ordered key list is kept between calls because the users page walks the store by
// index, row after row; it is reloaded when another connection (this handle's writer
// among them) committed.
bool UserStore::RefreshKeys() {
    Statement version = Prepare(reader_.get(), "PRAGMA data_version");
    if (!version || sqlite3_step(version.get()) != SQLITE_ROW) return false;
    const sqlite3_int64 current = sqlite3_column_int64(version.get(), 0);
    if (keysValid_ && current == keysVersion_) return true;
    Statement list = Prepare(reader_.get(), "SELECT name_key FROM users ORDER BY name_key");
    if (!list) return false;
    std::vector<std::string> keys;
    int rc;
    while ((rc = sqlite3_step(list.get())) == SQLITE_ROW) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(list.get(), 0));
        keys.emplace_back(text ? text : "", sqlite3_column_bytes(list.get(), 0));
    }
    if (rc != SQLITE_DONE) return false;
    keys_ = std::move(keys);
    keysVersion_ = current;
    keysValid_ = true;
    return true;
}

bool UserStore::Load(sqlite3* db, const std::string& key, UserRecord* record) {
    Statement select = Prepare(db, "SELECT record FROM users WHERE name_key = ?1");
    if (!select) return false;
    BindText(select.get(), 1, key);
    if (sqlite3_step(select.get()) != SQLITE_ROW) return false;
    const void* blob = sqlite3_column_blob(select.get(), 0);
    const auto size = static_cast<std::size_t>(sqlite3_column_bytes(select.get(), 0));
    *record = UserRecord{};
    if (blob) std::memcpy(record->bytes, blob, std::min(size, kUserRecordSize));
    return true;
}

bool UserStore::Add(const UserRecord& record) {
    std::lock_guard<std::mutex> lock(writeMutex_);
    const std::string userName = record.UserName();
    if (!writer_ || userName.empty()) return false;
    const std::string key = KeyOf(userName);
    WriteTransaction transaction(writer_.get());
    if (!transaction.Open()) return false;
    UserRecord stored = record;
    UserRecord previous;
    // The editor never sees a stored password; it hands back the marker instead. Read and
    // replace inside one transaction so that a concurrent password change is not undone.
    if (record.Password() == kHiddenPasswordMarker && Load(writer_.get(), key, &previous)) {
        std::memcpy(stored.bytes + kPasswordOffset, previous.bytes + kPasswordOffset,
                    kPasswordSize);
    }
    Statement insert =
        Prepare(writer_.get(), "INSERT OR REPLACE INTO users (name_key, record) VALUES (?1, ?2)");
    if (!insert) return false;
    BindText(insert.get(), 1, key);
    sqlite3_bind_blob(insert.get(), 2, stored.bytes, static_cast<int>(kUserRecordSize),
                      SQLITE_TRANSIENT);
    if (sqlite3_step(insert.get()) != SQLITE_DONE) return false;
    return transaction.Commit();
}

bool UserStore::Remove(const std::string& userName) {
    std::lock_guard<std::mutex> lock(writeMutex_);
    if (!writer_ || userName.empty()) return false;
    Statement remove = Prepare(writer_.get(), "DELETE FROM users WHERE name_key = ?1");
    if (!remove) return false;
    BindText(remove.get(), 1, KeyOf(userName));
    if (sqlite3_step(remove.get()) != SQLITE_DONE) return false;
    return sqlite3_changes(writer_.get()) > 0;
}

// Handles are numbers looked up here rather than pointers handed out, so a stale or
// foreign handle is refused instead of being followed.
struct Registry {
    std::mutex mutex;
    std::map<UserHandle, std::shared_ptr<UserStore>> stores;
    UserHandle next = 1;
};

Registry& Stores() {
    static Registry registry;
    return registry;
}

std::shared_ptr<UserStore> StoreOf(UserHandle handle) {
    Registry& registry = Stores();
    std::lock_guard<std::mutex> lock(registry.mutex);
    const auto it = registry.stores.find(handle);
    return it == registry.stores.end() ? nullptr : it->second;
}

}  // namespace

int SMSOpenUserFile(UserHandle* handle, unsigned access) {
    if (handle == nullptr) return 0;
    *handle = 0;
    const std::string path = GetProgramDataDirectory() + kStoreFileName;
    auto store = UserStore::Open(path, (access & GENERIC_WRITE) != 0);
    if (!store) return 0;
    Registry& registry = Stores();
    std::lock_guard<std::mutex> lock(registry.mutex);
    *handle = registry.next++;
    registry.stores.emplace(*handle, std::move(store));
    return 1;
}

void SMSCloseUserFile(UserHandle handle) {
    Registry& registry = Stores();
    std::lock_guard<std::mutex> lock(registry.mutex);
    registry.stores.erase(handle);
}

int SMSGetUserRecord(UserHandle handle, int index, UserRecord* record) {
    const auto store = StoreOf(handle);
    return store && record && store->Get(index, record) ? 1 : 0;
}

int SMSFindUserRecord(UserHandle handle, const std::string& userName, UserRecord* record) {
    const auto store = StoreOf(handle);
    return store && store->Find(userName, record) ? 1 : 0;
}

int SMSFindFirstUserRecord(UserHandle handle, const std::string& text, UserRecord* record) {
    const auto store = StoreOf(handle);
    return store ? store->FindFirst(text, record) : -1;
}

int SMSGetRecordCount(UserHandle handle) {
    const auto store = StoreOf(handle);
    return store ? store->Count() : 0;
}

int SMSAddUser(UserHandle handle, const UserRecord& record) {
    const auto store = StoreOf(handle);
    return store && store->Add(record) ? 1 : 0;
}

int SMSDeleteUser(UserHandle handle, const std::string& userName) {
    const auto store = StoreOf(handle);
    return store && store->Remove(userName) ? 1 : 0;
}

}  // namespace acctdb
