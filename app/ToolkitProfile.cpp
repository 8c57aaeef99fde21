#include "ToolkitProfile.h"

#include "settings/SettingsStorageRegistry.h"

namespace ToolkitProfile {

std::uint32_t ReadInt(const wchar_t* entry, std::uint32_t defaultValue) {
    Zezezezo::CSettingsStorageRegistry storage(kPath);
    std::uint32_t value = defaultValue;
    if (storage.BeginLoad()) {
        if (!storage.ExchangeUnsigned32(entry, value, false))
            value = defaultValue;
    }
    storage.EndLoad();
    return value;
}

bool WriteInt(const wchar_t* entry, std::uint32_t value) {
    Zezezezo::CSettingsStorageRegistry storage(kPath);
    bool ok = storage.BeginSave() && storage.ExchangeUnsigned32(entry, value, true);
    ok = storage.EndSave() && ok;
    return ok;
}

}  // namespace ToolkitProfile
