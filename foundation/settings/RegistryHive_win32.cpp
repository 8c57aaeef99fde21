// The per-user hive on Windows: HKEY_CURRENT_USER itself. A top key opened for writing
// runs in a kernel transaction (KTM); keys opened through a transacted handle take part in
// it, so a record's Save commits or rolls back as a whole, as on the SQLite hive.
// <ktmw32.h> needs <windows.h> before it.
// clang-format off
#include <windows.h>
#include <ktmw32.h>
// clang-format on

#include <atomic>
#include <memory>
#include <string>
#include <vector>

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
    HANDLE handle = INVALID_HANDLE_VALUE;
    bool failed = false;    // a write failed: roll back at the end
    bool finished = false;  // the top key was closed
};

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
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message =
        length != 0 ? std::wstring(text, length) : L"error " + std::to_wstring(code);
    LocalFree(text);
    while (!message.empty() && (message.back() == L'\r' || message.back() == L'\n')) {
        message.pop_back();
    }
    return message;
}

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
                                 L"); nothing was saved");
        }
        key.transaction->failed = true;
    }
    return FromWin32(status);
}

bool Stale(HiveKey key) {
    return key == nullptr || (key->transaction && key->transaction->finished);
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
    if (root == &g_currentUser && write) {
        key->transaction = std::make_shared<HiveTransaction>();
        key->transaction->handle = CreateTransaction(nullptr, nullptr, 0, 0, 0, 0, nullptr);
        if (key->transaction->handle == INVALID_HANDLE_VALUE) {
            return FromWin32(static_cast<LSTATUS>(GetLastError()));
        }
        key->ownsTransaction = true;
        status = create
                     ? RegCreateKeyTransactedW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr,
                                               REG_OPTION_NON_VOLATILE, access, nullptr, &key->key,
                                               nullptr, key->transaction->handle, nullptr)
                     : RegOpenKeyTransactedW(HKEY_CURRENT_USER, path.c_str(), 0, access, &key->key,
                                             key->transaction->handle, nullptr);
    } else {
        key->transaction = root->transaction;
        status = create
                     ? RegCreateKeyExW(root->key, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                       access, nullptr, &key->key, nullptr)
                     : RegOpenKeyExW(root->key, path.c_str(), 0, access, &key->key);
    }
    if (status != ERROR_SUCCESS) {
        if (create) {
            WriteFailed(*key, status);
        }
        if (key->ownsTransaction) {
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
    DWORD valueType = REG_NONE;
    DWORD bytes = static_cast<DWORD>(data != nullptr ? *size : 0);
    const LSTATUS status =
        RegQueryValueExW(key->key, name, nullptr, &valueType, static_cast<BYTE*>(data), &bytes);
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
    const LSTATUS status = RegDeleteValueW(key->key, name);
    if (status == ERROR_FILE_NOT_FOUND) {
        return HiveResult::NotFound;
    }
    return status == ERROR_SUCCESS ? HiveResult::Success : WriteFailed(*key, status);
}

HiveResult HiveDeleteTree(HiveKey key, const std::wstring& path) {
    if (Stale(key) || !key->write) {
        return HiveResult::AccessDenied;
    }
    const LSTATUS status = RegDeleteTreeW(key->key, path.empty() ? nullptr : path.c_str());
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
    wchar_t name[256];
    for (DWORD index = 0;; ++index) {
        DWORD length = 256;
        const LSTATUS status =
            RegEnumKeyExW(key->key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
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
    DWORD longestName = 0;
    DWORD longestData = 0;
    LSTATUS status =
        RegQueryInfoKeyW(key->key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                         &longestName, &longestData, nullptr, nullptr);
    if (status != ERROR_SUCCESS) {
        return FromWin32(status);
    }
    std::vector<wchar_t> name(longestName + 1);
    std::vector<BYTE> data(longestData);
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD dataLength = static_cast<DWORD>(data.size());
        DWORD type = REG_NONE;
        status = RegEnumValueW(key->key, index, name.data(), &nameLength, nullptr, &type,
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
        *file = L"HKEY_CURRENT_USER";
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
