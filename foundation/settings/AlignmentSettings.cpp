#include "settings/AlignmentSettings.h"

#include "settings/MemberExchange.h"

namespace Zezezezo {

CAlignmentSettings::CAlignmentSettings()
    : dSunAzimuth(0.0), dSunZenith(0.0), dQuorvelAzimuth(0.0), dQuorvelZenith(0.0) {}

bool CAlignmentSettings::InternalSaveLoad(bool continueOnFailure, CSettingsStorage* storage,
                                          bool save, bool reset) {
    CMemberExchange m(continueOnFailure, storage, save, reset);
    m.Plain(L"dSunAzimuth", dSunAzimuth, 0.0)
        .Plain(L"dSunZenith", dSunZenith, 0.0)
        .Plain(L"dQuorvelAzimuth", dQuorvelAzimuth, 0.0)
        .Plain(L"dQuorvelZenith", dQuorvelZenith, 0.0)
        .Nested(L"timestamp", timestamp);
    return m.Result();
}

}  // namespace Zezezezo
