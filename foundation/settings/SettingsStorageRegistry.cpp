#include "settings/SettingsStorageRegistry.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>

#include "platform/TextConvert.h"
#include "settings/StorageDiagnostics.h"

namespace Zezezezo {
namespace {

// Numbers are stored in the registry's byte order; the hosts we build for share it.
static_assert(std::endian::native == std::endian::little, "values are stored little-endian");

const wchar_t* TypeName(std::uint32_t type) {
    switch (type) {
        case kHiveSz:
            return L"SZ";
        case kHiveExpandSz:
            return L"EXPAND_SZ";
        case kHiveBinary:
            return L"BINARY";
        case kHiveDword:
            return L"DWORD";
        case kHiveMultiSz:
            return L"MULTI_SZ";
        case kHiveQword:
            return L"QWORD";
        default:
            return L"NONE";
    }
}

// "0", "1", ... as ExchangeArrayItem names them; anything else ("01", "-1", "x") is not an
// element.
bool ParseIndexName(const std::wstring& name, std::uint32_t* index) {
    if (name.empty() || name.size() > 10 || (name.size() > 1 && name[0] == L'0')) {
        return false;
    }
    std::uint64_t value = 0;
    for (const wchar_t c : name) {
        if (c < L'0' || c > L'9') {
            return false;
        }
        value = value * 10 + static_cast<std::uint64_t>(c - L'0');
    }
    if (value > static_cast<std::uint64_t>(INT_MAX)) {
        return false;
    }
    *index = static_cast<std::uint32_t>(value);
    return true;
}

std::vector<std::uint8_t> Utf16Bytes(const wchar_t* text, std::uint32_t length) {
    const std::u16string units = Platform::WideToUtf16(std::wstring(text, length));
    std::vector<std::uint8_t> bytes(units.size() * 2);
    for (std::size_t i = 0; i < units.size(); ++i) {
        bytes[2 * i] = static_cast<std::uint8_t>(units[i] & 0xFF);
        bytes[2 * i + 1] = static_cast<std::uint8_t>(units[i] >> 8);
    }
    return bytes;
}

std::wstring FromUtf16Bytes(const std::vector<std::uint8_t>& bytes) {
    std::u16string units(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i) {
        units[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    }
    return Platform::Utf16ToWide(units);
}

}  // namespace

CSettingsStorageRegistry::CSettingsStorageRegistry(HiveKey root, const std::wstring& path)
    : m_rootKey(root), m_path(path) {}

CSettingsStorageRegistry::CSettingsStorageRegistry(const std::wstring& path)
    : CSettingsStorageRegistry(HiveCurrentUser(), path) {}

CSettingsStorageRegistry::~CSettingsStorageRegistry() {
    // An array left open by a caller goes first: its key lives inside this storage's.
    m_currentArray.reset();
    Close();
}

bool CSettingsStorageRegistry::Assign(HiveKey root, const std::wstring& path) {
    if (m_openKey != nullptr) {
        return false;
    }
    m_rootKey = root;
    m_path = path;
    m_parentDescription.clear();
    return true;
}

CSettingsStorage* CSettingsStorageRegistry::CreateChild(const wchar_t* name) {
    auto* child = new CSettingsStorageRegistry(m_openKey, name != nullptr ? name : L"");
    child->m_parentDescription = DescribeValue(nullptr);
    return child;
}

bool CSettingsStorageRegistry::ContinueOnFailure() {
    return true;
}

bool CSettingsStorageRegistry::BeginSave() {
    return Open(true);
}
bool CSettingsStorageRegistry::EndSave() {
    return Close();
}
bool CSettingsStorageRegistry::BeginLoad() {
    return Open(false);
}
bool CSettingsStorageRegistry::EndLoad() {
    return Close();
}

bool CSettingsStorageRegistry::Open(bool save) {
    if (m_openKey != nullptr || m_rootKey == nullptr) {
        return false;
    }
    if (m_path.size() > kMaxPath) {
        ReportStorageProblem(L"Settings: the key path \"" + DescribeValue(nullptr) +
                             L"\" is longer than " + std::to_wstring(kMaxPath) +
                             L" characters; it is neither read nor written");
        return false;
    }
    const HiveResult result = save ? HiveCreateKey(m_rootKey, m_path, &m_openKey)
                                   : HiveOpenKey(m_rootKey, m_path, false, &m_openKey);
    m_writing = save;
    if (result == HiveResult::InvalidName) {
        ReportStorageProblem(L"Settings: the key \"" + DescribeValue(nullptr) +
                             L"\" has an invalid name; it is neither read nor written");
    }
    return result == HiveResult::Success;
}

bool CSettingsStorageRegistry::Close() {
    if (m_openKey == nullptr) {
        return true;
    }
    const bool topLevel = m_rootKey == HiveCurrentUser();
    const HiveResult result = HiveCloseKey(m_openKey);
    m_openKey = nullptr;
    if (result != HiveResult::Success && topLevel && m_writing) {
        ReportStorageProblem(L"Settings: \"" + DescribeValue(nullptr) +
                             L"\" could not be stored (" + HiveResultText(result) +
                             L"); what was stored before is kept");
    }
    return result == HiveResult::Success;
}

std::wstring CSettingsStorageRegistry::DescribeValue(const wchar_t* name) const {
    std::wstring text = m_parentDescription;
    if (!text.empty()) {
        text += L'\\';
    }
    text += m_path;
    if (name != nullptr) {
        text += L"\\";
        text += name;
    }
    return text;
}

bool CSettingsStorageRegistry::ExchangeBinary(const wchar_t* name, void* data, std::uint32_t size,
                                              bool save) {
    if (m_openKey == nullptr) {
        return false;
    }
    if (save) {
        return HiveSetValue(m_openKey, name, kHiveBinary, data, size) == HiveResult::Success;
    }
    return ReadExact(name, data, size, kHiveBinary);
}

bool CSettingsStorageRegistry::ReadExact(const wchar_t* name, void* data, std::uint32_t size,
                                         std::uint32_t expectedType) {
    std::vector<std::uint8_t> buffer(size);
    std::size_t length = size;
    std::uint32_t type = kHiveNone;
    const HiveResult result = HiveQueryValue(m_openKey, name, &type, buffer.data(), &length);
    if (result == HiveResult::NotFound) {
        return false;  // a missing value: the member takes its default, nothing to report
    }
    if (result == HiveResult::MoreData || (result == HiveResult::Success && length != size)) {
        // A value of another size than the member would be read as garbage (or cut short):
        // it reads as missing so that the member keeps a sane value.
        ReportStorageProblem(L"Settings: the value \"" + DescribeValue(name) + L"\" holds " +
                             std::to_wstring(length) + L" bytes where " + std::to_wstring(size) +
                             L" are expected; the default is used");
        return false;
    }
    if (result != HiveResult::Success) {
        return false;
    }
    if (type != expectedType) {
        ReportStorageProblem(L"Settings: the value \"" + DescribeValue(name) + L"\" is stored as " +
                             TypeName(type) + L" where " + TypeName(expectedType) +
                             L" is expected; its bytes are used as they are");
    }
    if (size != 0) {
        std::memcpy(data, buffer.data(), size);
    }
    return true;
}

bool CSettingsStorageRegistry::ExchangeText(const wchar_t* name, wchar_t* buffer,
                                            std::uint32_t* length, bool save) {
    if (m_openKey == nullptr) {
        if (!save) {
            *length = 0;
        }
        return false;
    }
    if (save) {
        const std::vector<std::uint8_t> bytes = Utf16Bytes(buffer, *length);
        return HiveSetValue(m_openKey, name, kHiveSz, bytes.data(), bytes.size()) ==
               HiveResult::Success;
    }
    std::size_t size = 0;
    std::uint32_t type = kHiveNone;
    HiveResult result = HiveQueryValue(m_openKey, name, &type, nullptr, &size);
    std::vector<std::uint8_t> bytes(size);
    if (result == HiveResult::Success) {
        result = HiveQueryValue(m_openKey, name, &type, bytes.data(), &size);
    }
    if (result != HiveResult::Success) {
        *length = 0;
        return false;
    }
    if (type != kHiveSz && type != kHiveExpandSz) {
        ReportStorageProblem(L"Settings: the value \"" + DescribeValue(name) + L"\" is stored as " +
                             TypeName(type) + L" where SZ is expected; it is read as text");
    }
    bytes.resize(size);
    const std::wstring text = FromUtf16Bytes(bytes);
    if (text.size() > *length) {
        // Too large for the buffer: say how much is needed, as the registry does.
        *length = static_cast<std::uint32_t>(text.size());
        return false;
    }
    std::copy(text.begin(), text.end(), buffer);
    *length = static_cast<std::uint32_t>(text.size());
    return true;
}

bool CSettingsStorageRegistry::Exchange(const wchar_t* name, float& value, bool save) {
    float temp = value;
    const bool ok = ExchangeBinary(name, &temp, sizeof temp, save);
    if (ok && !save) {
        value = temp;
    }
    return ok;
}

bool CSettingsStorageRegistry::Exchange(const wchar_t* name, double& value, bool save) {
    double temp = value;
    const bool ok = ExchangeBinary(name, &temp, sizeof temp, save);
    if (ok && !save) {
        value = temp;
    }
    return ok;
}

bool CSettingsStorageRegistry::Exchange(const wchar_t* name, bool& value, bool save) {
    std::uint32_t temp = value ? 1u : 0u;
    const bool ok = ExchangeUnsigned32(name, temp, save);
    if (ok && !save) {
        value = temp != 0;
    }
    return ok;
}

bool CSettingsStorageRegistry::ExchangeUnsigned32(const wchar_t* name, std::uint32_t& value,
                                                  bool save) {
    if (m_openKey == nullptr) {
        return false;
    }
    if (save) {
        return HiveSetValue(m_openKey, name, kHiveDword, &value, sizeof value) ==
               HiveResult::Success;
    }
    std::uint32_t temp = value;
    if (!ReadExact(name, &temp, sizeof temp, kHiveDword)) {
        return false;
    }
    value = temp;
    return true;
}

bool CSettingsStorageRegistry::ExchangeSigned32(const wchar_t* name, std::int32_t& value,
                                                bool save) {
    // The bits are stored unchanged.
    std::uint32_t bits = static_cast<std::uint32_t>(value);
    const bool ok = ExchangeUnsigned32(name, bits, save);
    if (ok && !save) {
        value = static_cast<std::int32_t>(bits);
    }
    return ok;
}

bool CSettingsStorageRegistry::ExistingArrayItems(std::uint32_t count,
                                                  std::vector<std::uint32_t>* indices) {
    indices->clear();
    auto* array = dynamic_cast<CSettingsStorageRegistry*>(m_currentArray.get());
    if (array == nullptr || array->m_openKey == nullptr) {
        return false;
    }
    std::vector<std::wstring> names;
    // If the key cannot even be listed, no element can be read: an empty list says so
    // without trying every index below the count.
    if (HiveEnumSubKeys(array->m_openKey, &names) == HiveResult::Success) {
        for (const std::wstring& name : names) {
            std::uint32_t index = 0;
            if (ParseIndexName(name, &index) && index < count) {
                indices->push_back(index);
            }
        }
    }
    std::sort(indices->begin(), indices->end());
    return true;
}

}  // namespace Zezezezo
