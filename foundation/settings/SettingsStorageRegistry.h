// CSettingsStorageRegistry: a storage that keeps a record as one key of the per-user hive,
// each member as one named value and each nested record or array as a sub-key.
// Integers of 32 bits or less and flags: DWORD; float: 4-byte BINARY; double and the
// 8-byte kinds: 8-byte BINARY (IEEE 754, little-endian); text: SZ (UTF-16, no terminator).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "settings/ArrayItemEnumerator.h"
#include "settings/RegistryHive.h"
#include "settings/SettingsStorage.h"

namespace Zezezezo {

class CSettingsStorageRegistry : public CSettingsStorage, public CArrayItemEnumerator {
public:
    // Longest path below the root, in characters.
    static constexpr std::size_t kMaxPath = 259;

    // `root`: HiveCurrentUser() for a top-level record, or an open key. Closed after construction.
    CSettingsStorageRegistry(HiveKey root, const std::wstring& path);
    // A top-level storage below the per-user root.
    explicit CSettingsStorageRegistry(const std::wstring& path);
    ~CSettingsStorageRegistry() override;

    // Points a closed storage at another key; false (and no change) while it is open.
    bool Assign(HiveKey root, const std::wstring& path);

    CSettingsStorage* CreateChild(const wchar_t* name) override;
    bool ContinueOnFailure() override;
    bool BeginSave() override;
    bool EndSave() override;
    bool BeginLoad() override;
    bool EndLoad() override;

    using CSettingsStorage::Exchange;
    bool Exchange(const wchar_t* name, float& value, bool save) override;
    bool ExchangeBinary(const wchar_t* name, void* data, std::uint32_t size, bool save) override;
    bool ExchangeText(const wchar_t* name, wchar_t* buffer, std::uint32_t* length,
                      bool save) override;
    bool Exchange(const wchar_t* name, double& value, bool save) override;
    bool Exchange(const wchar_t* name, bool& value, bool save) override;
    bool ExchangeUnsigned32(const wchar_t* name, std::uint32_t& value, bool save) override;
    bool ExchangeSigned32(const wchar_t* name, std::int32_t& value, bool save) override;

    bool ExistingArrayItems(std::uint32_t count, std::vector<std::uint32_t>* indices) override;

    HiveKey OpenKey() const { return m_openKey; }
    const std::wstring& Path() const { return m_path; }

private:
    bool Open(bool save);
    bool Close();
    // Reads a value that must be exactly `size` bytes; reports a wrong size or type.
    bool ReadExact(const wchar_t* name, void* data, std::uint32_t size, std::uint32_t expectedType);
    // Full path for diagnostics, e.g. "Software\...\Application Settings\AlignmentArray".
    std::wstring DescribeValue(const wchar_t* name) const;

    HiveKey m_openKey = nullptr;  // null while closed
    bool m_writing = false;       // the open key was opened by BeginSave
    HiveKey m_rootKey = nullptr;
    std::wstring m_path;
    std::wstring m_parentDescription;  // path of the parent storage, for diagnostics
};

}  // namespace Zezezezo
