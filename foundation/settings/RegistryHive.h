// The per-user settings hive: a tree of keys holding typed, named values, reached through
// calls shaped like the registry's (create/open/close a key, set/query a value, list the
// sub-keys). On Windows it is HKEY_CURRENT_USER; elsewhere one SQLite file per user,
// Platform::SettingsHiveFile().
//
// Key names and value names compare case-insensitively; paths separate keys with '\'.
// On Windows, QUORVEL_REGISTRY_ROOT (a key path below HKEY_CURRENT_USER, such as
// "Software\QuorvelTests\1234-5678") moves the per-user root there, for test programs.
//
// Transactions: a key opened for writing directly below HiveCurrentUser() begins one; every
// key created or opened below it shares it; closing that top key commits it, or rolls it
// back when any write through it failed (the close then fails). A process that dies in
// between leaves the hive as it was before. Handles are used on one thread at a time.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace Zezezezo {

struct HiveKeyState;
using HiveKey = HiveKeyState*;

enum class HiveResult {
    Success,
    NotFound,      // key or value does not exist (also: no hive file yet)
    MoreData,      // the value is larger than the buffer; the size says how large
    AccessDenied,  // read-only key handle, read-only file or folder
    Busy,          // another process holds the hive past the busy time-out
    Corrupt,       // the hive file is damaged or not a settings hive; it is left alone
    InvalidName,   // empty or too long key name, path too long, name with '\'
    Failed,        // any other I/O failure
};

// Value types, numbered as the registry numbers them.
enum HiveValueType : std::uint32_t {
    kHiveNone = 0,
    kHiveSz = 1,
    kHiveExpandSz = 2,
    kHiveBinary = 3,
    kHiveDword = 4,
    kHiveMultiSz = 7,
    kHiveQword = 11,
};

struct HiveValue {
    std::wstring name;
    std::uint32_t type = kHiveNone;
    std::vector<std::uint8_t> data;
};

// The predefined per-user root. Closing it is a no-op.
HiveKey HiveCurrentUser();

// Opens `path` below `root` for writing, creating missing keys.
HiveResult HiveCreateKey(HiveKey root, const std::wstring& path, HiveKey* result);
// Opens an existing key; `write` asks for write access (and a transaction at the top).
HiveResult HiveOpenKey(HiveKey root, const std::wstring& path, bool write, HiveKey* result);
HiveResult HiveCloseKey(HiveKey key);
// Closes a key; when it is the top key of a transaction, rolls the transaction back.
// Failed when the writes made through it could not be taken back (a registry without
// transactions writes value by value).
HiveResult HiveAbortKey(HiveKey key);

HiveResult HiveSetValue(HiveKey key, const wchar_t* name, std::uint32_t type, const void* data,
                        std::size_t size);
// Reads up to `*size` bytes into `data` (null: only the size). Success: `*size` is the value's
// size. MoreData: nothing is copied and `*size` is the size needed.
HiveResult HiveQueryValue(HiveKey key, const wchar_t* name, std::uint32_t* type, void* data,
                          std::size_t* size);
HiveResult HiveDeleteValue(HiveKey key, const wchar_t* name);
// Deletes the key `path` below `key` with everything below it; an empty path deletes the
// contents of `key`, not the key.
HiveResult HiveDeleteTree(HiveKey key, const std::wstring& path);

// Names of the direct sub-keys, in no particular order.
HiveResult HiveEnumSubKeys(HiveKey key, std::vector<std::wstring>* names);
HiveResult HiveEnumValues(HiveKey key, std::vector<HiveValue>* values);

// Whether the whole hive can be read: Corrupt when the file is damaged anywhere (a writer
// refuses such a file too), Success when it is sound or there is none yet. `file` receives
// the hive's location for the operator (the file's path; on Windows the registry key).
HiveResult HiveCheck(std::wstring* file);
// Sets a damaged hive aside: the file is renamed to "<file>.damaged-YYYYMMDD-HHMMSS" (UTC)
// beside it, so the next save starts a fresh hive and the damaged bytes are kept as they
// were. `copy` receives the new path. Only for a file HiveCheck called Corrupt.
HiveResult HiveKeepDamagedCopy(std::wstring* copy);

// How long a call waits for another process that holds the hive (default 2 s).
void HiveSetBusyTimeout(std::chrono::milliseconds timeout);

// Case-insensitive comparison of key and value names, as the registry does it.
bool HiveNamesEqual(const std::wstring& a, const std::wstring& b);
// An upper-cased form of a name for case-insensitive ordering and lookup.
std::wstring HiveFoldName(const std::wstring& name);

// "the key was not found" etc., for diagnostics.
const wchar_t* HiveResultText(HiveResult result);

}  // namespace Zezezezo
