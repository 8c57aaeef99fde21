// CSystemTimeSettings: a SYSTEMTIME as a settings record, eight 16-bit values stored as
// DWORDs. Which clock the time belongs to is the owner's business.
#pragma once

#include "platform/WinTypes.h"
#include "settings/Settings.h"

namespace Zezezezo {

class CSystemTimeSettings : public CSettings {
public:
    CSystemTimeSettings();
    explicit CSystemTimeSettings(const SYSTEMTIME& time);

    bool InternalSaveLoad(bool continueOnFailure, CSettingsStorage* storage, bool save,
                          bool reset) override;

    SYSTEMTIME time;  // all fields 0 by default
};

}  // namespace Zezezezo
