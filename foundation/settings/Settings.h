// CSettings: the base of every settings record. A record binds each of its members to a
// named value; InternalSaveLoad walks the members in a fixed order and hands each one to a
// storage, which writes it (save) or reads it back.
#pragma once

namespace Zezezezo {

class CSettingsStorage;

class CSettings {
public:
    virtual ~CSettings();

    // Hooks around Save and Load. `opened`: whether the storage opened; `result`: the
    // outcome of the whole call. They do nothing unless a record overrides them.
    virtual void OnBeforeSave(bool opened);
    virtual void OnAfterSave(bool result);
    virtual void OnBeforeLoad(bool opened);
    virtual void OnAfterLoad(bool result);

    // Exchanges every member in order with `storage` (writes when `save`, reads otherwise).
    // With `reset` it only sets the plain members to their defaults; `storage` may be null.
    virtual bool InternalSaveLoad(bool continueOnFailure, CSettingsStorage* storage, bool save,
                                  bool reset) = 0;

    // Open, exchange every member, close. True when all of it succeeded. A storage that does
    // not open leaves every member untouched.
    virtual bool Load(CSettingsStorage* storage);
    virtual bool Save(CSettingsStorage* storage);

protected:
    CSettings() = default;
    CSettings(const CSettings&) = default;
    CSettings& operator=(const CSettings&) = default;
};

}  // namespace Zezezezo
