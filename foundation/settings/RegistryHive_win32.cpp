// The per-user hive on Windows: HKEY_CURRENT_USER, or the key below it that
// QUORVEL_REGISTRY_ROOT names (a private root for test programs, as XDG_CONFIG_HOME is for
// the SQLite hive). A top key opened for writing runs in a kernel transaction (KTM); keys
// opened through a transacted handle take part in it, so a record's Save commits or rolls
// back as a whole, as on the SQLite hive.
//
// Where the system has no kernel transactions (Wine answers "call not implemented"), which
// the first save finds out, saves write their values one by one: a failed write still fails
// the save, but a save cut short by a crash can leave part of a record written, and an
// aborted import cannot be taken back. This is reported once per process.
// <ktmw32.h> needs <windows.h> before it.
// clang-format off
#include <windows.h>
#include <ktmw32.h>
// clang-format on

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "platform/SystemError.h"
#include "settings/RegistryHive.h"
#include "settings/StorageDiagnostics.h"

namespace Zezezezo {
namespace {

struct HiveTransaction {
    HiveTransaction() = default;
    HiveTransaction(const HiveTransaction&) = delete;
    HiveTransaction& operator=(const HiveTransaction&) = delete;
    ~HiveTransaction() {
        if (handle != INVALID_HANDLE_VALUE) {
            CloseHandle(handle);
        }
    }
    HANDLE handle = INVALID_HANDLE_VALUE;  // none while writing value by value
    bool failed = false;                   // a write failed: roll back at the end
    bool finished = false;                 // the top key was closed
};

// Whether this system has kernel transactions; the first save finds out.
enum TransactionSupport : int { kTransactionsUnknown, kTransactionsWork, kTransactionsMissing };
std::atomic<int> g_transactions{kTransactionsUnknown};

// The answers of a system without kernel transactions (Wine's stubs, a stripped-down
// Windows) to CreateTransaction or to the first transacted registry call.
bool MeansNoTransactions(DWORD code) {
    return code == ERROR_CALL_NOT_IMPLEMENTED || code == ERROR_NOT_SUPPORTED ||
           code == ERROR_PROC_NOT_FOUND;
}

// The registry has no busy state of its own; the setting is kept for the interface.
std::atomic<int> g_busyTimeoutMs{2000};

HiveResult FromWin32(LSTATUS status) {
    switch (status) {
        case ERROR_SUCCESS:
            return HiveResult::Success;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return HiveResult::NotFound;
        case ERROR_MORE_DATA:
            return HiveResult::MoreData;
        case ERROR_ACCESS_DENIED:
        case ERROR_WRITE_PROTECT:
            return HiveResult::AccessDenied;
        case ERROR_BADDB:
        case ERROR_BADKEY:
        case ERROR_REGISTRY_CORRUPT:
            return HiveResult::Corrupt;
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME:
        case ERROR_FILENAME_EXCED_RANGE:
            return HiveResult::InvalidName;
        case ERROR_LOCK_VIOLATION:
        case ERROR_SHARING_VIOLATION:
            return HiveResult::Busy;
        default:
            return HiveResult::Failed;
    }
}

std::wstring SystemMessage(DWORD code) {
    return Platform::SystemErrorText(code);
}

void NoteNoTransactions(DWORD code) {
    if (g_transactions.exchange(kTransactionsMissing) != kTransactionsMissing) {
        ReportStorageProblem(
            L"Settings: the registry offers no transactions here (" + SystemMessage(code) +
            L"); settings are saved value by value, so a save that is cut short can leave part "
            L"of a record written");
    }
}

// The key that stands for the per-user root: QUORVEL_REGISTRY_ROOT below HKEY_CURRENT_USER
// when that is set, else HKEY_CURRENT_USER itself. A handle for one call, closed at its end;
// the private root is made when a writer needs it, and a reader finds it missing like any
// missing key. A private root that cannot be used fails the call: never the user's own keys.
class CUserRoot {
public:
    explicit CUserRoot(bool write) {
        wchar_t below[512];
        const DWORD n = GetEnvironmentVariableW(L"QUORVEL_REGISTRY_ROOT", below, 512);
        if (n == 0) {
            m_key = HKEY_CURRENT_USER;
            return;
        }
        if (n >= 512) {
            m_status = ERROR_FILENAME_EXCED_RANGE;
            return;
        }
        m_status =
            write ? RegCreateKeyExW(HKEY_CURRENT_USER, below, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                    KEY_READ | KEY_WRITE, nullptr, &m_key, nullptr)
                  : RegOpenKeyExW(HKEY_CURRENT_USER, below, 0, KEY_READ, &m_key);
        if (m_status != ERROR_SUCCESS) {
            m_key = nullptr;
        } else {
            m_close = true;
        }
    }
    ~CUserRoot() {
        if (m_close) {
            RegCloseKey(m_key);
        }
    }
    CUserRoot(const CUserRoot&) = delete;
    CUserRoot& operator=(const CUserRoot&) = delete;

    HKEY Key() const { return m_key; }
    LSTATUS Status() const { return m_status; }

private:
    HKEY m_key = nullptr;
    LSTATUS m_status = ERROR_SUCCESS;
    bool m_close = false;
};

}  // namespace

struct HiveKeyState {
    HKEY key = nullptr;
    std::shared_ptr<HiveTransaction> transaction;  // null for keys read outside one
    bool write = false;
    bool ownsTransaction = false;
};

namespace {

HiveKeyState g_currentUser{HKEY_CURRENT_USER, nullptr, true, false};

HiveResult WriteFailed(HiveKeyState& key, LSTATUS status) {
    if (key.transaction) {
        if (!key.transaction->failed) {
            ReportStorageProblem(L"Settings: writing to the registry failed (" +
                                 SystemMessage(static_cast<DWORD>(status)) +
                                 (key.transaction->handle != INVALID_HANDLE_VALUE
                                      ? L"); nothing was saved"
                                      : L"); the record may be stored in part"));
        }
        key.transaction->failed = true;
    }
    return FromWin32(status);
}

bool Stale(HiveKey key) {
    return key == nullptr || (key->transaction && key->transaction->finished);
}

// The handle behind a key for one call; the per-user root is resolved for it (null, with the
// reason in Status(), when the private root cannot be opened).
class CKeyHandle {
public:
    CKeyHandle(HiveKey key, bool write) {
        if (key == &g_currentUser) {
            m_root = std::make_unique<CUserRoot>(write);
            m_key = m_root->Key();
            m_status = m_root->Status();
        } else {
            m_key = key->key;
        }
    }
    HKEY Key() const { return m_key; }
    LSTATUS Status() const { return m_status; }

private:
    std::unique_ptr<CUserRoot> m_root;
    HKEY m_key = nullptr;
    LSTATUS m_status = ERROR_SUCCESS;
};

// Opens the top key of a save below `base`, in a new transaction where the system has them,
// else directly (the transaction then has no handle).
LSTATUS OpenTopKey(HKEY base, const std::wstring& path, REGSAM access, bool create,
                   HiveKeyState& key) {
    HiveTransaction& t = *key.transaction;
    if (g_transactions.load() != kTransactionsMissing) {
        t.handle = CreateTransaction(nullptr, nullptr, 0, 0, 0, 0, nullptr);
        if (t.handle == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            if (!MeansNoTransactions(error)) {
                return static_cast<LSTATUS>(error);
            }
            NoteNoTransactions(error);
        } else {
            const LSTATUS status =
                create ? RegCreateKeyTransactedW(base, path.c_str(), 0, nullptr,
                                                 REG_OPTION_NON_VOLATILE, access, nullptr, &key.key,
                                                 nullptr, t.handle, nullptr)
                       : RegOpenKeyTransactedW(base, path.c_str(), 0, access, &key.key, t.handle,
                                               nullptr);
            if (!MeansNoTransactions(static_cast<DWORD>(status))) {
                return status;
            }
            CloseHandle(t.handle);
            t.handle = INVALID_HANDLE_VALUE;
            NoteNoTransactions(static_cast<DWORD>(status));
        }
    }
    return create ? RegCreateKeyExW(base, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access,
                                    nullptr, &key.key, nullptr)
                  : RegOpenKeyExW(base, path.c_str(), 0, access, &key.key);
}

HiveResult Open(HiveKey root, const std::wstring& path, bool write, bool create, HiveKey* result) {
    *result = nullptr;
    if (Stale(root)) {
        return HiveResult::Failed;
    }
    if (write && !root->write) {
        return HiveResult::AccessDenied;
    }
    auto key = std::make_unique<HiveKeyState>();
    key->write = write;
    const REGSAM access = write ? (KEY_READ | KEY_WRITE) : KEY_READ;
    LSTATUS status = ERROR_SUCCESS;
    if (root != &g_currentUser) {
        key->transaction = root->transaction;
        status = create
                     ? RegCreateKeyExW(root->key, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                       access, nullptr, &key->key, nullptr)
                     : RegOpenKeyExW(root->key, path.c_str(), 0, access, &key->key);
    } else {
        if (write) {
            key->transaction = std::make_shared<HiveTransaction>();
            key->ownsTransaction = true;
        }
        const CUserRoot base(write);
        if (base.Key() == nullptr) {
            status = base.Status();
        } else if (write) {
            status = OpenTopKey(base.Key(), path, access, create, *key);
        } else {
            status = RegOpenKeyExW(base.Key(), path.c_str(), 0, access, &key->key);
        }
    }
    if (status != ERROR_SUCCESS) {
        if (create) {
            WriteFailed(*key, status);
        }
        if (key->ownsTransaction && key->transaction->handle != INVALID_HANDLE_VALUE) {
            RollbackTransaction(key->transaction->handle);
        }
        return FromWin32(status);
    }
    *result = key.release();
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

static HiveResult Finish(HiveKey key, bool abort) {
    if (key == nullptr) {
        return HiveResult::Failed;
    }
    if (key == &g_currentUser) {
        return HiveResult::Success;
    }
    std::unique_ptr<HiveKeyState> owned(key);
    const LSTATUS closed = RegCloseKey(owned->key);
    if (!owned->ownsTransaction) {
        return FromWin32(closed);
    }
    HiveTransaction& t = *owned->transaction;
    t.finished = true;
    if (t.handle == INVALID_HANDLE_VALUE) {
        // Written value by value: what was written stays, and nothing can be taken back.
        return abort || t.failed ? HiveResult::Failed : FromWin32(closed);
    }
    if (abort || t.failed) {
        RollbackTransaction(t.handle);
        return abort ? HiveResult::Success : HiveResult::Failed;
    }
    if (!CommitTransaction(t.handle)) {
        const DWORD error = GetLastError();
        ReportStorageProblem(L"Settings: the registry transaction could not be committed (" +
                             SystemMessage(error) + L"); nothing was saved");
        return FromWin32(static_cast<LSTATUS>(error));
    }
    return HiveResult::Success;
}

HiveResult HiveCloseKey(HiveKey key) {
    return Finish(key, false);
}

HiveResult HiveAbortKey(HiveKey key) {
    return Finish(key, true);
}

HiveResult HiveSetValue(HiveKey key, const wchar_t* name, std::uint32_t type, const void* data,
                        std::size_t size) {
    if (Stale(key) || key == &g_currentUser) {
        return HiveResult::Failed;
    }
    if (!key->write) {
        return HiveResult::AccessDenied;
    }
    if (size > MAXDWORD) {
        return WriteFailed(*key, ERROR_INVALID_PARAMETER);
    }
    const LSTATUS status = RegSetValueExW(key->key, name, 0, type, static_cast<const BYTE*>(data),
                                          static_cast<DWORD>(size));
    return status == ERROR_SUCCESS ? HiveResult::Success : WriteFailed(*key, status);
}

HiveResult HiveQueryValue(HiveKey key, const wchar_t* name, std::uint32_t* type, void* data,
                          std::size_t* size) {
    if (Stale(key)) {
        return HiveResult::Failed;
    }
    const CKeyHandle handle(key, false);
    if (handle.Key() == nullptr) {
        return FromWin32(handle.Status());
    }
    DWORD valueType = REG_NONE;
    DWORD bytes = static_cast<DWORD>(data != nullptr ? *size : 0);
    const LSTATUS status =
        RegQueryValueExW(handle.Key(), name, nullptr, &valueType, static_cast<BYTE*>(data), &bytes);
    if (type != nullptr) {
        *type = valueType;
    }
    if (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
        *size = bytes;
    }
    return FromWin32(status);
}

HiveResult HiveDeleteValue(HiveKey key, const wchar_t* name) {
    if (Stale(key) || !key->write) {
        return HiveResult::AccessDenied;
    }
    const CKeyHandle handle(key, true);
    if (handle.Key() == nullptr) {
        return FromWin32(handle.Status());
    }
    const LSTATUS status = RegDeleteValueW(handle.Key(), name);
    if (status == ERROR_FILE_NOT_FOUND) {
        return HiveResult::NotFound;
    }
    return status == ERROR_SUCCESS ? HiveResult::Success : WriteFailed(*key, status);
}

HiveResult HiveDeleteTree(HiveKey key, const std::wstring& path) {
    if (Stale(key) || !key->write) {
        return HiveResult::AccessDenied;
    }
    const CKeyHandle handle(key, true);
    if (handle.Key() == nullptr) {
        return FromWin32(handle.Status());
    }
    const LSTATUS status = RegDeleteTreeW(handle.Key(), path.empty() ? nullptr : path.c_str());
    if (status == ERROR_FILE_NOT_FOUND) {
        return HiveResult::NotFound;
    }
    return status == ERROR_SUCCESS ? HiveResult::Success : WriteFailed(*key, status);
}

HiveResult HiveEnumSubKeys(HiveKey key, std::vector<std::wstring>* names) {
    if (Stale(key)) {
        return HiveResult::Failed;
    }
    names->clear();
    const CKeyHandle handle(key, false);
    if (handle.Key() == nullptr) {
        return FromWin32(handle.Status());
    }
    wchar_t name[256];
    for (DWORD index = 0;; ++index) {
        DWORD length = 256;
        const LSTATUS status =
            RegEnumKeyExW(handle.Key(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) {
            return HiveResult::Success;
        }
        if (status != ERROR_SUCCESS) {
            return FromWin32(status);
        }
        names->emplace_back(name, length);
    }
}

HiveResult HiveEnumValues(HiveKey key, std::vector<HiveValue>* values) {
    if (Stale(key)) {
        return HiveResult::Failed;
    }
    values->clear();
    const CKeyHandle handle(key, false);
    if (handle.Key() == nullptr) {
        return FromWin32(handle.Status());
    }
    DWORD longestName = 0;
    DWORD longestData = 0;
    LSTATUS status =
        RegQueryInfoKeyW(handle.Key(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr, &longestName, &longestData, nullptr, nullptr);
    if (status != ERROR_SUCCESS) {
        return FromWin32(status);
    }
    std::vector<wchar_t> name(longestName + 1);
    std::vector<BYTE> data(longestData);
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD dataLength = static_cast<DWORD>(data.size());
        DWORD type = REG_NONE;
        status = RegEnumValueW(handle.Key(), index, name.data(), &nameLength, nullptr, &type,
                               data.data(), &dataLength);
        if (status == ERROR_NO_MORE_ITEMS) {
            return HiveResult::Success;
        }
        if (status != ERROR_SUCCESS) {
            return FromWin32(status);
        }
        HiveValue value;
        value.name.assign(name.data(), nameLength);
        value.type = type;
        value.data.assign(data.begin(), data.begin() + dataLength);
        values->push_back(std::move(value));
    }
}

HiveResult HiveCheck(std::wstring* file) {
    // The registry keeps its own hive files whole (its log and KTM); a damaged hive is the
    // system's to repair, not ours to set aside.
    if (file != nullptr) {
        wchar_t below[512];
        const DWORD n = GetEnvironmentVariableW(L"QUORVEL_REGISTRY_ROOT", below, 512);
        *file = L"HKEY_CURRENT_USER";
        if (n != 0 && n < 512) {
            *file += L"\\" + std::wstring(below, n);
        }
    }
    return HiveResult::Success;
}

HiveResult HiveKeepDamagedCopy(std::wstring* copy) {
    if (copy != nullptr) {
        copy->clear();
    }
    return HiveResult::Failed;
}

void HiveSetBusyTimeout(std::chrono::milliseconds timeout) {
    g_busyTimeoutMs.store(static_cast<int>(timeout.count()));
}

}  // namespace Zezezezo
