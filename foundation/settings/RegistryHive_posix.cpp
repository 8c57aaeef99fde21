// The per-user hive on a system without a registry: one SQLite file holding the key tree.
//
//   hive_keys(id, parent, name, folded)          one row per key; id 1 is the per-user root
//   hive_values(key_id, name, folded, type, data) one row per named value, data as stored
//
// `folded` is the upper-cased name that makes lookups case-insensitive while `name` keeps
// the spelling it was created with. The file uses SQLite's rollback journal: a writer that
// dies mid-transaction leaves a journal that the next reader plays back, so the hive is
// always either before or after a whole transaction.
#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <unordered_map>

#include "platform/Clock.h"
#include "platform/Paths.h"
#include "platform/TextConvert.h"
#include "settings/RegistryHive.h"
#include "settings/StorageDiagnostics.h"

namespace Zezezezo {
namespace {

// "QCS1" in the file header: marks a file as this system's hive.
constexpr int kApplicationId = 0x51435331;
constexpr std::int64_t kRootKeyId = 1;
// Longest key name component and value name, in characters, as the registry allows.
constexpr std::size_t kMaxKeyName = 255;
constexpr std::size_t kMaxValueName = 16383;
// Larger values are refused rather than stored; the registry advises far less.
constexpr std::size_t kMaxValueSize = 16u << 20;

std::atomic<int> g_busyTimeoutMs{2000};

HiveResult FromSqlite(int code) {
    switch (code & 0xff) {
        case SQLITE_OK:
        case SQLITE_DONE:
        case SQLITE_ROW:
            return HiveResult::Success;
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return HiveResult::Busy;
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB:
        case SQLITE_FORMAT:
        case SQLITE_SCHEMA:
            return HiveResult::Corrupt;
        case SQLITE_READONLY:
        case SQLITE_PERM:
        case SQLITE_CANTOPEN:
        case SQLITE_AUTH:
            return HiveResult::AccessDenied;
        default:
            return HiveResult::Failed;
    }
}

// One open hive file and its transaction, shared by the top key and every key below it.
struct HiveConnection {
    HiveConnection() = default;
    HiveConnection(const HiveConnection&) = delete;
    HiveConnection& operator=(const HiveConnection&) = delete;
    ~HiveConnection() {
        for (auto& entry : statements) {
            sqlite3_finalize(entry.second);
        }
        if (db != nullptr) {
            sqlite3_close_v2(db);
        }
    }

    sqlite3* db = nullptr;
    std::filesystem::path file;
    bool failed = false;    // a write failed: the transaction is rolled back at its end
    bool finished = false;  // the top key was closed; keys below it are stale
    bool reported = false;  // a problem with this transaction has been reported already
    std::unordered_map<const char*, sqlite3_stmt*> statements;
};

}  // namespace

struct HiveKeyState {
    std::shared_ptr<HiveConnection> connection;  // null for the predefined root
    std::int64_t id = kRootKeyId;
    bool write = false;
    bool ownsTransaction = false;
};

namespace {

HiveKeyState g_currentUser;

std::wstring FileText(const HiveConnection& c) {
    return Platform::Utf8ToWide(c.file.string());
}

void Report(HiveConnection& c, const std::wstring& what) {
    if (c.reported) {
        return;
    }
    c.reported = true;
    ReportStorageProblem(L"Settings: the settings file \"" + FileText(c) + L"\" " + what);
}

std::wstring SqliteText(sqlite3* db) {
    return Platform::Utf8ToWide(db != nullptr ? sqlite3_errmsg(db) : "out of memory");
}

void ReportSqlite(HiveConnection& c, int code, const std::wstring& doing) {
    const std::wstring detail = L" (" + SqliteText(c.db) + L")";
    switch (FromSqlite(code)) {
        case HiveResult::Busy:
            Report(c, L"is locked by another process; gave up " + doing + L" after " +
                          std::to_wstring(g_busyTimeoutMs.load()) + L" ms");
            break;
        case HiveResult::Corrupt:
            Report(c, L"is damaged or is not a settings file" + detail +
                          L"; it is left as it is and nothing was " + doing);
            break;
        case HiveResult::AccessDenied:
            Report(c, L"cannot be written" + detail + L"; nothing was " + doing);
            break;
        default:
            Report(c, L"failed while " + doing + detail);
            break;
    }
}

sqlite3_stmt* Statement(HiveConnection& c, const char* sql) {
    auto found = c.statements.find(sql);
    if (found != c.statements.end()) {
        sqlite3_reset(found->second);
        sqlite3_clear_bindings(found->second);
        return found->second;
    }
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(c.db, sql, -1, &statement, nullptr) != SQLITE_OK) {
        return nullptr;
    }
    c.statements.emplace(sql, statement);
    return statement;
}

int Execute(HiveConnection& c, const char* sql) {
    return sqlite3_exec(c.db, sql, nullptr, nullptr, nullptr);
}

void BindText(sqlite3_stmt* s, int index, const std::string& text) {
    sqlite3_bind_text(s, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

std::string Folded(const std::wstring& name) {
    return Platform::WideToUtf8(HiveFoldName(name));
}

std::wstring ColumnText(sqlite3_stmt* s, int column) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s, column));
    return Platform::Utf8ToWide(text != nullptr ? text : "");
}

// Splits "A\B\C" into its key names; empty components (doubled or edge backslashes) are
// skipped. InvalidName for a component longer than a key name may be.
HiveResult SplitPath(const std::wstring& path, std::vector<std::wstring>* parts) {
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find(L'\\', start);
        if (end == std::wstring::npos) {
            end = path.size();
        }
        if (end > start) {
            if (end - start > kMaxKeyName) {
                return HiveResult::InvalidName;
            }
            parts->push_back(path.substr(start, end - start));
        }
        start = end + 1;
    }
    return HiveResult::Success;
}

// Prepares a fresh file or checks that an existing one is ours. `write`: inside BEGIN
// IMMEDIATE, allowed to create the schema.
HiveResult CheckSchema(HiveConnection& c, bool write, const std::wstring& doing) {
    sqlite3_stmt* s = Statement(c, "PRAGMA application_id");
    int rc = s != nullptr ? sqlite3_step(s) : sqlite3_errcode(c.db);
    if (rc != SQLITE_ROW) {
        ReportSqlite(c, rc, doing);
        return FromSqlite(rc) == HiveResult::Success ? HiveResult::Failed : FromSqlite(rc);
    }
    const int applicationId = sqlite3_column_int(s, 0);
    sqlite3_reset(s);
    if (applicationId == kApplicationId) {
        return HiveResult::Success;
    }
    s = Statement(c, "SELECT count(*) FROM sqlite_master");
    rc = s != nullptr ? sqlite3_step(s) : sqlite3_errcode(c.db);
    if (rc != SQLITE_ROW) {
        ReportSqlite(c, rc, doing);
        return FromSqlite(rc) == HiveResult::Success ? HiveResult::Failed : FromSqlite(rc);
    }
    const int objects = sqlite3_column_int(s, 0);
    sqlite3_reset(s);
    if (applicationId != 0 || objects != 0) {
        Report(c,
               L"is an SQLite database but not a settings file; it is left as it is and "
               L"nothing was " +
                   doing);
        return HiveResult::Corrupt;
    }
    if (!write) {
        return HiveResult::NotFound;  // an empty file: nothing stored yet
    }
    rc = Execute(c,
                 "CREATE TABLE hive_keys(id INTEGER PRIMARY KEY, parent INTEGER NOT NULL,"
                 " name TEXT NOT NULL, folded TEXT NOT NULL, UNIQUE(parent, folded));"
                 "CREATE TABLE hive_values(key_id INTEGER NOT NULL, name TEXT NOT NULL,"
                 " folded TEXT NOT NULL, type INTEGER NOT NULL, data BLOB NOT NULL,"
                 " PRIMARY KEY(key_id, folded)) WITHOUT ROWID;"
                 "INSERT INTO hive_keys(id, parent, name, folded)"
                 " VALUES(1, 0, 'HKEY_CURRENT_USER', 'HKEY_CURRENT_USER');"
                 "PRAGMA application_id = 1363366705;");
    if (rc != SQLITE_OK) {
        ReportSqlite(c, rc, doing);
        return FromSqlite(rc);
    }
    return HiveResult::Success;
}

// SQLite's own check of every page and b-tree of the file (not of index contents, which the
// settings never rely on): Corrupt, reported, when any page is damaged.
HiveResult CheckWhole(HiveConnection& c, const std::wstring& doing) {
    sqlite3_stmt* s = Statement(c, "PRAGMA quick_check(1)");
    const int rc = s != nullptr ? sqlite3_step(s) : sqlite3_errcode(c.db);
    if (rc != SQLITE_ROW) {
        sqlite3_reset(s);
        ReportSqlite(c, rc, doing);
        return FromSqlite(rc) == HiveResult::Success ? HiveResult::Failed : FromSqlite(rc);
    }
    std::wstring verdict = ColumnText(s, 0);
    sqlite3_reset(s);
    // SQLite's verdict spans lines; a log line must not.
    std::replace(verdict.begin(), verdict.end(), L'\n', L' ');
    if (verdict != L"ok") {
        Report(c, L"is damaged (" + verdict + L"); it is left as it is and nothing was " + doing);
        return HiveResult::Corrupt;
    }
    return HiveResult::Success;
}

// Opens the hive file and begins the transaction of a top key.
HiveResult OpenConnection(bool write, std::shared_ptr<HiveConnection>* result) {
    auto c = std::make_shared<HiveConnection>();
    c->file = Platform::SettingsHiveFile();
    const std::wstring doing = write ? L"saved" : L"loaded";
    std::error_code error;
    if (!write && !std::filesystem::exists(c->file, error)) {
        return HiveResult::NotFound;  // first run
    }
    if (write) {
        std::filesystem::create_directories(c->file.parent_path(), error);
        if (error) {
            Report(*c, L"cannot be created: its folder cannot be made (" +
                           Platform::Utf8ToWide(error.message()) + L"); nothing was saved");
            return HiveResult::AccessDenied;
        }
    }
    const int flags = SQLITE_OPEN_READWRITE | (write ? SQLITE_OPEN_CREATE : 0);
    int rc = sqlite3_open_v2(c->file.c_str(), &c->db, flags, nullptr);
    if (rc != SQLITE_OK) {
        ReportSqlite(*c, rc, doing);
        return FromSqlite(rc) == HiveResult::Success ? HiveResult::Failed : FromSqlite(rc);
    }
    sqlite3_busy_timeout(c->db, g_busyTimeoutMs.load());
    // A writer takes the write lock at once so that it waits (or fails) before changing
    // anything; a reader's snapshot begins with its first read.
    rc = Execute(*c, write ? "BEGIN IMMEDIATE" : "BEGIN");
    if (rc != SQLITE_OK) {
        ReportSqlite(*c, rc, doing);
        return FromSqlite(rc) == HiveResult::Success ? HiveResult::Failed : FromSqlite(rc);
    }
    HiveResult schema = CheckSchema(*c, write, doing);
    if (schema == HiveResult::Success && write) {
        // A damaged page that this save would not touch would still be saved over and stay
        // unreadable: a file that is not whole is never written.
        schema = CheckWhole(*c, doing);
    }
    if (schema != HiveResult::Success) {
        Execute(*c, "ROLLBACK");
        return schema;
    }
    *result = std::move(c);
    return HiveResult::Success;
}

// Marks the transaction failed after a write error, reporting it once.
HiveResult WriteFailed(HiveConnection& c, int rc) {
    c.failed = true;
    ReportSqlite(c, rc, L"saved");
    const HiveResult result = FromSqlite(rc);
    return result == HiveResult::Success ? HiveResult::Failed : result;
}

HiveResult FindChild(HiveConnection& c, std::int64_t parent, const std::wstring& name,
                     std::int64_t* id) {
    sqlite3_stmt* s = Statement(c, "SELECT id FROM hive_keys WHERE parent = ?1 AND folded = ?2");
    if (s == nullptr) {
        return FromSqlite(sqlite3_errcode(c.db));
    }
    sqlite3_bind_int64(s, 1, parent);
    BindText(s, 2, Folded(name));
    const int rc = sqlite3_step(s);
    if (rc == SQLITE_ROW) {
        *id = sqlite3_column_int64(s, 0);
        sqlite3_reset(s);
        return HiveResult::Success;
    }
    sqlite3_reset(s);
    if (rc == SQLITE_DONE) {
        return HiveResult::NotFound;
    }
    ReportSqlite(c, rc, L"loaded");
    return FromSqlite(rc);
}

HiveResult InsertChild(HiveConnection& c, std::int64_t parent, const std::wstring& name,
                       std::int64_t* id) {
    sqlite3_stmt* s =
        Statement(c, "INSERT INTO hive_keys(parent, name, folded) VALUES(?1, ?2, ?3)");
    if (s == nullptr) {
        return WriteFailed(c, sqlite3_errcode(c.db));
    }
    sqlite3_bind_int64(s, 1, parent);
    BindText(s, 2, Platform::WideToUtf8(name));
    BindText(s, 3, Folded(name));
    const int rc = sqlite3_step(s);
    sqlite3_reset(s);
    if (rc != SQLITE_DONE) {
        return WriteFailed(c, rc);
    }
    *id = sqlite3_last_insert_rowid(c.db);
    return HiveResult::Success;
}

HiveResult Resolve(HiveConnection& c, std::int64_t from, const std::vector<std::wstring>& parts,
                   bool create, std::int64_t* id) {
    std::int64_t current = from;
    for (const std::wstring& part : parts) {
        std::int64_t next = 0;
        HiveResult r = FindChild(c, current, part, &next);
        if (r == HiveResult::NotFound && create) {
            r = InsertChild(c, current, part, &next);
        }
        if (r != HiveResult::Success) {
            return r;
        }
        current = next;
    }
    *id = current;
    return HiveResult::Success;
}

HiveResult Open(HiveKey root, const std::wstring& path, bool write, bool create, HiveKey* result) {
    *result = nullptr;
    if (root == nullptr) {
        return HiveResult::InvalidName;
    }
    std::vector<std::wstring> parts;
    if (SplitPath(path, &parts) != HiveResult::Success) {
        return HiveResult::InvalidName;
    }
    auto key = std::make_unique<HiveKeyState>();
    key->write = write;
    std::int64_t from = root->id;
    if (root == &g_currentUser) {
        const HiveResult opened = OpenConnection(write, &key->connection);
        if (opened != HiveResult::Success) {
            return opened;
        }
        key->ownsTransaction = true;
        from = kRootKeyId;
    } else {
        if (!root->connection || root->connection->finished) {
            return HiveResult::Failed;
        }
        if (write && !root->write) {
            return HiveResult::AccessDenied;
        }
        key->connection = root->connection;
    }
    const HiveResult resolved = Resolve(*key->connection, from, parts, create, &key->id);
    if (resolved != HiveResult::Success) {
        if (key->ownsTransaction) {
            Execute(*key->connection, "ROLLBACK");
        } else if (write) {
            // A sub-key of a record being saved that cannot be made (a damaged page, a bad
            // name): the record's save must not commit without it.
            key->connection->failed = true;
        }
        return resolved;
    }
    *result = key.release();
    return HiveResult::Success;
}

// Checks that `key` may be written through and its transaction is still open.
HiveResult Writable(HiveKey key) {
    if (key == nullptr || !key->connection || key->connection->finished) {
        return HiveResult::Failed;
    }
    return key->write ? HiveResult::Success : HiveResult::AccessDenied;
}

HiveResult Readable(HiveKey key) {
    if (key == nullptr || !key->connection || key->connection->finished) {
        return HiveResult::Failed;
    }
    return HiveResult::Success;
}

}  // namespace

HiveKey HiveCurrentUser() {
    return &g_currentUser;
}

HiveResult HiveCreateKey(HiveKey root, const std::wstring& path, HiveKey* result) {
    return Open(root, path, true, true, result);
}

HiveResult HiveOpenKey(HiveKey root, const std::wstring& path, bool write, HiveKey* result) {
    return Open(root, path, write, false, result);
}

HiveResult HiveAbortKey(HiveKey key) {
    if (key == nullptr || key == &g_currentUser || !key->ownsTransaction) {
        return HiveCloseKey(key);
    }
    std::unique_ptr<HiveKeyState> owned(key);
    owned->connection->finished = true;
    Execute(*owned->connection, "ROLLBACK");
    return HiveResult::Success;
}

HiveResult HiveCloseKey(HiveKey key) {
    if (key == nullptr) {
        return HiveResult::Failed;
    }
    if (key == &g_currentUser) {
        return HiveResult::Success;
    }
    std::unique_ptr<HiveKeyState> owned(key);
    if (!owned->ownsTransaction) {
        return HiveResult::Success;
    }
    HiveConnection& c = *owned->connection;
    c.finished = true;
    if (c.failed) {
        Execute(c, "ROLLBACK");
        return HiveResult::Failed;
    }
    const int rc = Execute(c, "COMMIT");
    if (rc != SQLITE_OK) {
        ReportSqlite(c, rc, owned->write ? L"saved" : L"loaded");
        Execute(c, "ROLLBACK");
        const HiveResult result = FromSqlite(rc);
        return result == HiveResult::Success ? HiveResult::Failed : result;
    }
    return HiveResult::Success;
}

HiveResult HiveSetValue(HiveKey key, const wchar_t* name, std::uint32_t type, const void* data,
                        std::size_t size) {
    const HiveResult access = Writable(key);
    if (access != HiveResult::Success) {
        return access;
    }
    HiveConnection& c = *key->connection;
    const std::wstring valueName = name != nullptr ? name : L"";
    if (valueName.size() > kMaxValueName || size > kMaxValueSize) {
        c.failed = true;
        return HiveResult::InvalidName;
    }
    sqlite3_stmt* s = Statement(c,
                                "INSERT INTO hive_values(key_id, name, folded, type, data)"
                                " VALUES(?1, ?2, ?3, ?4, ?5) ON CONFLICT(key_id, folded)"
                                " DO UPDATE SET type = excluded.type, data = excluded.data");
    if (s == nullptr) {
        return WriteFailed(c, sqlite3_errcode(c.db));
    }
    sqlite3_bind_int64(s, 1, key->id);
    BindText(s, 2, Platform::WideToUtf8(valueName));
    BindText(s, 3, Folded(valueName));
    sqlite3_bind_int64(s, 4, type);
    // A zero-length blob must still be a blob, not NULL.
    static const std::uint8_t empty = 0;
    sqlite3_bind_blob(s, 5, size != 0 ? data : &empty, static_cast<int>(size), SQLITE_TRANSIENT);
    const int rc = sqlite3_step(s);
    sqlite3_reset(s);
    if (rc != SQLITE_DONE) {
        return WriteFailed(c, rc);
    }
    return HiveResult::Success;
}

HiveResult HiveQueryValue(HiveKey key, const wchar_t* name, std::uint32_t* type, void* data,
                          std::size_t* size) {
    const HiveResult access = Readable(key);
    if (access != HiveResult::Success) {
        return access;
    }
    HiveConnection& c = *key->connection;
    sqlite3_stmt* s =
        Statement(c, "SELECT type, data FROM hive_values WHERE key_id = ?1 AND folded = ?2");
    if (s == nullptr) {
        return FromSqlite(sqlite3_errcode(c.db));
    }
    sqlite3_bind_int64(s, 1, key->id);
    BindText(s, 2, Folded(name != nullptr ? name : L""));
    const int rc = sqlite3_step(s);
    if (rc != SQLITE_ROW) {
        sqlite3_reset(s);
        if (rc == SQLITE_DONE) {
            return HiveResult::NotFound;
        }
        ReportSqlite(c, rc, L"loaded");
        return FromSqlite(rc);
    }
    if (type != nullptr) {
        *type = static_cast<std::uint32_t>(sqlite3_column_int64(s, 0));
    }
    const void* blob = sqlite3_column_blob(s, 1);
    const auto stored = static_cast<std::size_t>(sqlite3_column_bytes(s, 1));
    HiveResult result = HiveResult::Success;
    if (data != nullptr) {
        if (stored > *size) {
            result = HiveResult::MoreData;
        } else if (stored != 0) {
            std::memcpy(data, blob, stored);
        }
    }
    *size = stored;
    sqlite3_reset(s);
    return result;
}

HiveResult HiveDeleteValue(HiveKey key, const wchar_t* name) {
    const HiveResult access = Writable(key);
    if (access != HiveResult::Success) {
        return access;
    }
    HiveConnection& c = *key->connection;
    sqlite3_stmt* s = Statement(c, "DELETE FROM hive_values WHERE key_id = ?1 AND folded = ?2");
    if (s == nullptr) {
        return WriteFailed(c, sqlite3_errcode(c.db));
    }
    sqlite3_bind_int64(s, 1, key->id);
    BindText(s, 2, Folded(name != nullptr ? name : L""));
    const int rc = sqlite3_step(s);
    sqlite3_reset(s);
    if (rc != SQLITE_DONE) {
        return WriteFailed(c, rc);
    }
    return sqlite3_changes(c.db) > 0 ? HiveResult::Success : HiveResult::NotFound;
}

HiveResult HiveDeleteTree(HiveKey key, const std::wstring& path) {
    const HiveResult access = Writable(key);
    if (access != HiveResult::Success) {
        return access;
    }
    HiveConnection& c = *key->connection;
    std::vector<std::wstring> parts;
    if (SplitPath(path, &parts) != HiveResult::Success) {
        return HiveResult::InvalidName;
    }
    std::int64_t top = 0;
    const HiveResult resolved = Resolve(c, key->id, parts, false, &top);
    if (resolved != HiveResult::Success) {
        return resolved;
    }
    const bool keepTop = parts.empty();
    sqlite3_stmt* s = Statement(c,
                                "WITH RECURSIVE tree(id) AS (SELECT ?1 UNION ALL"
                                " SELECT k.id FROM hive_keys k JOIN tree ON k.parent = tree.id)"
                                " DELETE FROM hive_values WHERE key_id IN tree");
    if (s == nullptr) {
        return WriteFailed(c, sqlite3_errcode(c.db));
    }
    sqlite3_bind_int64(s, 1, top);
    int rc = sqlite3_step(s);
    sqlite3_reset(s);
    if (rc != SQLITE_DONE) {
        return WriteFailed(c, rc);
    }
    s = Statement(c,
                  "WITH RECURSIVE tree(id) AS (SELECT ?1 UNION ALL"
                  " SELECT k.id FROM hive_keys k JOIN tree ON k.parent = tree.id)"
                  " DELETE FROM hive_keys WHERE id IN tree AND (?2 = 0 OR id <> ?1)");
    if (s == nullptr) {
        return WriteFailed(c, sqlite3_errcode(c.db));
    }
    sqlite3_bind_int64(s, 1, top);
    sqlite3_bind_int(s, 2, keepTop ? 1 : 0);
    rc = sqlite3_step(s);
    sqlite3_reset(s);
    if (rc != SQLITE_DONE) {
        return WriteFailed(c, rc);
    }
    return HiveResult::Success;
}

HiveResult HiveEnumSubKeys(HiveKey key, std::vector<std::wstring>* names) {
    const HiveResult access = Readable(key);
    if (access != HiveResult::Success) {
        return access;
    }
    HiveConnection& c = *key->connection;
    sqlite3_stmt* s = Statement(c, "SELECT name FROM hive_keys WHERE parent = ?1");
    if (s == nullptr) {
        return FromSqlite(sqlite3_errcode(c.db));
    }
    sqlite3_bind_int64(s, 1, key->id);
    names->clear();
    int rc = 0;
    while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
        names->push_back(ColumnText(s, 0));
    }
    sqlite3_reset(s);
    if (rc != SQLITE_DONE) {
        ReportSqlite(c, rc, L"loaded");
        return FromSqlite(rc);
    }
    return HiveResult::Success;
}

HiveResult HiveEnumValues(HiveKey key, std::vector<HiveValue>* values) {
    const HiveResult access = Readable(key);
    if (access != HiveResult::Success) {
        return access;
    }
    HiveConnection& c = *key->connection;
    sqlite3_stmt* s = Statement(c, "SELECT name, type, data FROM hive_values WHERE key_id = ?1");
    if (s == nullptr) {
        return FromSqlite(sqlite3_errcode(c.db));
    }
    sqlite3_bind_int64(s, 1, key->id);
    values->clear();
    int rc = 0;
    while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
        HiveValue value;
        value.name = ColumnText(s, 0);
        value.type = static_cast<std::uint32_t>(sqlite3_column_int64(s, 1));
        const auto* bytes = static_cast<const std::uint8_t*>(sqlite3_column_blob(s, 2));
        value.data.assign(bytes, bytes + sqlite3_column_bytes(s, 2));
        values->push_back(std::move(value));
    }
    sqlite3_reset(s);
    if (rc != SQLITE_DONE) {
        ReportSqlite(c, rc, L"loaded");
        return FromSqlite(rc);
    }
    return HiveResult::Success;
}

namespace {

// "20261207-213045": the UTC time a damaged file was set aside, so copies never collide.
std::string CopyStamp(const SYSTEMTIME& utc) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04u%02u%02u-%02u%02u%02u", unsigned{utc.wYear},
                  unsigned{utc.wMonth}, unsigned{utc.wDay}, unsigned{utc.wHour},
                  unsigned{utc.wMinute}, unsigned{utc.wSecond});
    return stamp;
}

}  // namespace

HiveResult HiveCheck(std::wstring* file) {
    const std::filesystem::path path = Platform::SettingsHiveFile();
    if (file != nullptr) {
        *file = Platform::Utf8ToWide(path.string());
    }
    std::shared_ptr<HiveConnection> c;
    HiveResult result = OpenConnection(false, &c);
    if (result == HiveResult::Success) {
        result = CheckWhole(*c, L"loaded");
        Execute(*c, "ROLLBACK");
    }
    return result == HiveResult::NotFound ? HiveResult::Success : result;
}

HiveResult HiveKeepDamagedCopy(std::wstring* copy) {
    const std::filesystem::path file = Platform::SettingsHiveFile();
    const std::filesystem::path kept =
        file.string() + ".damaged-" + CopyStamp(Platform::GetSystemTimeUtc());
    std::error_code error;
    // A rename keeps the damaged bytes exactly and leaves no half-written copy; the journal
    // goes with its file so that the copy stays what SQLite would read.
    std::filesystem::rename(file, kept, error);
    if (error) {
        ReportStorageProblem(L"Settings: the damaged settings file \"" +
                             Platform::Utf8ToWide(file.string()) + L"\" could not be kept as \"" +
                             Platform::Utf8ToWide(kept.string()) + L"\" (" +
                             Platform::Utf8ToWide(error.message()) + L")");
        return error == std::errc::permission_denied ? HiveResult::AccessDenied
                                                     : HiveResult::Failed;
    }
    const std::filesystem::path journal = file.string() + "-journal";
    if (std::filesystem::exists(journal, error)) {
        std::filesystem::rename(journal, kept.string() + "-journal", error);
    }
    if (copy != nullptr) {
        *copy = Platform::Utf8ToWide(kept.string());
    }
    return HiveResult::Success;
}

void HiveSetBusyTimeout(std::chrono::milliseconds timeout) {
    g_busyTimeoutMs.store(static_cast<int>(timeout.count()));
}

}  // namespace Zezezezo
