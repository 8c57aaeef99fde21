#include "settings/Settings.h"

#include "settings/SettingsStorage.h"

namespace Zezezezo {

CSettings::~CSettings() = default;

void CSettings::OnBeforeSave(bool) {}
void CSettings::OnAfterSave(bool) {}
void CSettings::OnBeforeLoad(bool) {}
void CSettings::OnAfterLoad(bool) {}

bool CSettings::Load(CSettingsStorage* storage) {
    const bool opened = storage->BeginLoad();
    OnBeforeLoad(opened);
    bool result = false;
    if (opened) {
        result = InternalSaveLoad(storage->ContinueOnFailure(), storage, false, false);
    }
    // Closed in every case: a storage that half-opened still releases what it holds.
    const bool closed = storage->EndLoad();
    result = result && closed;
    OnAfterLoad(result);
    return result;
}

bool CSettings::Save(CSettingsStorage* storage) {
    const bool opened = storage->BeginSave();
    OnBeforeSave(opened);
    bool result = false;
    if (opened) {
        result = InternalSaveLoad(storage->ContinueOnFailure(), storage, true, false);
    }
    const bool closed = storage->EndSave();
    result = result && closed;
    OnAfterSave(result);
    return result;
}

}  // namespace Zezezezo
