// CAlignmentSettings: one alignment data point, the sun's direction and the instrument's
// direction recorded at one moment. Angles in degrees; azimuth from north towards east,
// zenith from the vertical.
#pragma once

#include "settings/Settings.h"
#include "settings/SystemTimeSettings.h"

namespace Zezezezo {

class CAlignmentSettings : public CSettings {
public:
    CAlignmentSettings();

    bool InternalSaveLoad(bool continueOnFailure, CSettingsStorage* storage, bool save,
                          bool reset) override;

    double dSunAzimuth;             // degrees
    double dSunZenith;              // degrees
    double dQuorvelAzimuth;         // degrees, instrument frame
    double dQuorvelZenith;          // degrees, instrument frame
    CSystemTimeSettings timestamp;  // local civil time of the recording
};

}  // namespace Zezezezo
