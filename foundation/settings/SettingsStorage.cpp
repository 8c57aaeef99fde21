#include "settings/SettingsStorage.h"

#include <algorithm>
#include <cstring>
#include <cwchar>

#include "settings/Settings.h"
#include "settings/StorageDiagnostics.h"

namespace Zezezezo {
namespace {

// The first attempt at reading a text, in characters.
constexpr std::uint32_t kFirstTextCapacity = 128;
// A text the storage claims is longer than this is treated as damage, not allocated.
constexpr std::uint32_t kLargestText = 1u << 24;

// Typed exchanges go through a temporary that is written back only after a successful read,
// so a failed read leaves the member as it was.
template <typename Member, typename Temp, typename Call>
bool ThroughTemporary(Member& member, bool save, Call call) {
    Temp temp = static_cast<Temp>(member);
    const bool ok = call(temp);
    if (ok && !save) {
        member = static_cast<Member>(temp);
    }
    return ok;
}

template <typename T>
bool ExchangeBytes(CSettingsStorage& storage, const wchar_t* name, T& member, bool save) {
    T temp = member;
    const bool ok = storage.ExchangeBinary(name, &temp, sizeof temp, save);
    if (ok && !save) {
        member = temp;
    }
    return ok;
}

std::wstring IndexName(int index) {
    wchar_t text[16];
    std::swprintf(text, sizeof text / sizeof text[0], L"%i", index);
    return text;
}

}  // namespace

CSettingsStorage::CSettingsStorage() : m_itemName{} {}

CSettingsStorage::~CSettingsStorage() = default;

bool CSettingsStorage::BeginSave() {
    return true;
}
bool CSettingsStorage::EndSave() {
    return true;
}
bool CSettingsStorage::BeginLoad() {
    return true;
}
bool CSettingsStorage::EndLoad() {
    return true;
}

bool CSettingsStorage::Exchange(const wchar_t* name, std::wstring& value, bool save) {
    if (save) {
        std::uint32_t length = static_cast<std::uint32_t>(value.size());
        return ExchangeText(name, value.data(), &length, true);
    }
    std::wstring buffer(kFirstTextCapacity, L'\0');
    std::uint32_t length = kFirstTextCapacity;
    if (!ExchangeText(name, buffer.data(), &length, false)) {
        if (length == 0) {
            return false;
        }
        if (length > kLargestText) {
            ReportStorageProblem(L"Settings: the text value \"" + std::wstring(name) +
                                 L"\" claims " + std::to_wstring(length) +
                                 L" characters; it is ignored");
            return false;
        }
        // The value is larger than the first buffer: ask again with the size it needs.
        buffer.assign(length, L'\0');
        if (!ExchangeText(name, buffer.data(), &length, false)) {
            return false;
        }
    }
    const std::size_t read = std::min<std::size_t>(length, buffer.size());
    const auto end = std::find(buffer.begin(), buffer.begin() + read, L'\0');
    value.assign(buffer.begin(), end);
    return true;
}

bool CSettingsStorage::Exchange(const wchar_t* name, CSettings& value, bool save) {
    std::unique_ptr<CSettingsStorage> child(CreateChild(name));
    if (!child) {
        return false;
    }
    return save ? value.Save(child.get()) : value.Load(child.get());
}

bool CSettingsStorage::Exchange(const wchar_t* name, float& value, bool save) {
    return ThroughTemporary<float, double>(
        value, save, [&](double& temp) { return Exchange(name, temp, save); });
}

bool CSettingsStorage::Exchange(const wchar_t* name, std::int64_t& value, bool save) {
    return ExchangeBytes(*this, name, value, save);
}

bool CSettingsStorage::Exchange(const wchar_t* name, std::uint64_t& value, bool save) {
    return ExchangeBytes(*this, name, value, save);
}

bool CSettingsStorage::Exchange(const wchar_t* name, std::uint8_t& value, bool save) {
    return ThroughTemporary<std::uint8_t, std::uint32_t>(
        value, save, [&](std::uint32_t& temp) { return ExchangeUnsigned32(name, temp, save); });
}

bool CSettingsStorage::Exchange(const wchar_t* name, std::int8_t& value, bool save) {
    return ThroughTemporary<std::int8_t, std::int32_t>(
        value, save, [&](std::int32_t& temp) { return ExchangeSigned32(name, temp, save); });
}

bool CSettingsStorage::Exchange(const wchar_t* name, std::uint16_t& value, bool save) {
    return ThroughTemporary<std::uint16_t, std::uint32_t>(
        value, save, [&](std::uint32_t& temp) { return ExchangeUnsigned32(name, temp, save); });
}

bool CSettingsStorage::Exchange(const wchar_t* name, std::int16_t& value, bool save) {
    return ThroughTemporary<std::int16_t, std::int32_t>(
        value, save, [&](std::int32_t& temp) { return ExchangeSigned32(name, temp, save); });
}

bool CSettingsStorage::Exchange(const wchar_t* name, std::uint32_t& value, bool save) {
    return ThroughTemporary<std::uint32_t, std::uint32_t>(
        value, save, [&](std::uint32_t& temp) { return ExchangeUnsigned32(name, temp, save); });
}

bool CSettingsStorage::Exchange(const wchar_t* name, std::int32_t& value, bool save) {
    return ThroughTemporary<std::int32_t, std::int32_t>(
        value, save, [&](std::int32_t& temp) { return ExchangeSigned32(name, temp, save); });
}

bool CSettingsStorage::OpenArrayChild(std::int32_t* count, bool save, bool* opened) {
    *opened = save ? m_currentArray->BeginSave() : m_currentArray->BeginLoad();
    // "Count" is kept as a DWORD; the bits of the signed count are stored unchanged.
    std::uint32_t stored = static_cast<std::uint32_t>(*count);
    const bool ok = m_currentArray->ExchangeUnsigned32(L"Count", stored, save);
    if (ok && !save) {
        *count = static_cast<std::int32_t>(stored);
    }
    return ok;
}

bool CSettingsStorage::BeginArray(const wchar_t* name, std::int32_t* count, bool save) {
    m_currentArray.reset(CreateChild(name));
    if (!m_currentArray || *count == -1) {
        return false;
    }
    bool opened = false;
    return OpenArrayChild(count, save, &opened);
}

bool CSettingsStorage::ExchangeArrayItem(int index, CSettings* item, bool save) {
    if (!m_currentArray) {
        return false;
    }
    const std::wstring childName = IndexName(index);
    std::unique_ptr<CSettingsStorage> child(m_currentArray->CreateChild(childName.c_str()));
    if (!child) {
        return false;
    }
    return save ? item->Save(child.get()) : item->Load(child.get());
}

bool CSettingsStorage::EndArray(bool save) {
    if (!m_currentArray) {
        return false;
    }
    if (save) {
        m_currentArray->EndSave();
    } else {
        m_currentArray->EndLoad();
    }
    m_currentArray.reset();
    return true;
}

bool CSettingsStorage::BeginArrayChecked(const wchar_t* name, std::int32_t* count, bool save) {
    m_currentArray.reset(CreateChild(name));
    if (!m_currentArray) {
        return false;
    }
    bool opened = false;
    if (!OpenArrayChild(count, save, &opened)) {
        if (save) {
            m_currentArray->EndSave();
        } else {
            m_currentArray->EndLoad();
        }
        m_currentArray.reset();
        return false;
    }
    return opened;
}

bool CSettingsStorage::ArrayItemName(int index, bool, const wchar_t** name) {
    const std::wstring text = L"Item." + IndexName(index);
    // "Item.-2147483648" needs 17 characters; the buffer holds 15 and the terminator.
    const std::size_t kept = std::min<std::size_t>(text.size(), 15);
    std::wmemcpy(m_itemName, text.data(), kept);
    m_itemName[kept] = L'\0';
    *name = m_itemName;
    return true;
}

bool CSettingsStorage::EndArrayChecked(bool save) {
    if (!m_currentArray) {
        return false;
    }
    const bool closed = save ? m_currentArray->EndSave() : m_currentArray->EndLoad();
    m_currentArray.reset();
    return closed;
}

}  // namespace Zezezezo
