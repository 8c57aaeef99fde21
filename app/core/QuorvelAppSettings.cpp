#include "QuorvelAppSettings.h"

#include "settings/MemberExchange.h"
#include "settings/SettingsStorageRegistry.h"

CQuorvelAppSettings::CQuorvelAppSettings()
    : nLogCeiling(kDefaultLogCeiling),
      nAppStyle(kDefaultAppStyle),
      dLongitude(0.0),
      dLatitude(0.0),
      dElevation(0.0),
      dPressure(0.0),
      dTemperature(0.0),
      bLimitMaxZenith(0),
      dMaxZenith(kDefaultMaxZenith),
      bRunUntilStopped(0),
      bUnattendedRunArmed(0) {}

bool CQuorvelAppSettings::InternalSaveLoad(bool continueOnFailure,
                                           Zezezezo::CSettingsStorage* storage, bool save,
                                           bool reset) {
    Zezezezo::CMemberExchange m(continueOnFailure, storage, save, reset);
    m.Plain(L"nLogCeiling", nLogCeiling, kDefaultLogCeiling)
        .Plain(L"nAppStyle", nAppStyle, kDefaultAppStyle)
        .Plain(L"dLongitude", dLongitude, 0.0)
        .Plain(L"dLatitude", dLatitude, 0.0)
        .Plain(L"dElevation", dElevation, 0.0)
        .Plain(L"dPressure", dPressure, 0.0)
        .Plain(L"dTemperature", dTemperature, 0.0)
        .Plain(L"bLimitMaxZenith", bLimitMaxZenith, std::int32_t{0})
        .Plain(L"dMaxZenith", dMaxZenith, kDefaultMaxZenith)
        .Plain(L"bRunUntilStopped", bRunUntilStopped, std::int32_t{0})
        .Records(L"AlignmentArray", AlignmentArray)
        .Plain(L"bUnattendedRunArmed", bUnattendedRunArmed, std::int32_t{0});
    return m.Result();
}

bool CQuorvelAppSettings::LoadFromRegistry() {
    Zezezezo::CSettingsStorageRegistry storage(kRegistryPath);
    return Load(&storage);
}

bool CQuorvelAppSettings::SaveToRegistry() {
    Zezezezo::CSettingsStorageRegistry storage(kRegistryPath);
    return Save(&storage);
}

Suntrack::SiteParameters SiteOf(const CQuorvelAppSettings& settings) {
    Suntrack::SiteParameters site;
    site.longitudeEastDeg = settings.dLongitude;
    site.latitudeDeg = settings.dLatitude;
    site.elevationM = settings.dElevation;
    site.pressureMb = settings.dPressure;
    site.temperatureC = settings.dTemperature;
    return site;
}

Suntrack::TrajectorySettings TrajectorySettingsOf(const CQuorvelAppSettings& settings) {
    Suntrack::TrajectorySettings out;
    out.site = SiteOf(settings);
    out.maxZenithDeg = settings.dMaxZenith;
    return out;
}
