// CQuorvelAppSettings: everything the program itself persists - the logging ceiling, the
// window look, the observer site and atmosphere, the heliostat options and the operator's
// alignment data points. One instance lives in the application object, loaded at start-up and
// saved at exit and whenever a settings dialog is confirmed; dialogs edit a copy. GUI thread
// only. Public members are named as their stored values.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/SiteSun.h"
#include "core/TrajectoryGenerator.h"
#include "settings/AlignmentSettings.h"
#include "settings/Settings.h"

class CQuorvelAppSettings : public Zezezezo::CSettings {
public:
    // Key below the per-user root.
    static constexpr const wchar_t* kRegistryPath =
        L"Software\\Pelvarin\\Quorvel Control Software\\Application Settings";

    // Defaults; also what a missing value reads as and what the reset form restores.
    static constexpr std::int32_t kDefaultLogCeiling = 6;  // Informational
    static constexpr std::int32_t kDefaultAppStyle = 0;    // "Office 2007 (Blue)"
    static constexpr double kDefaultMaxZenith = 90.0;

    CQuorvelAppSettings();
    CQuorvelAppSettings(const CQuorvelAppSettings&) = default;
    CQuorvelAppSettings& operator=(const CQuorvelAppSettings&) = default;

    bool InternalSaveLoad(bool continueOnFailure, Zezezezo::CSettingsStorage* storage, bool save,
                          bool reset) override;

    // Load or Save through a registry storage on kRegistryPath. Loading a missing key (first
    // run) leaves every member as it is and answers false.
    bool LoadFromRegistry();
    bool SaveToRegistry();

    std::int32_t nLogCeiling;       // highest severity written to the log (0..7)
    std::int32_t nAppStyle;         // window look 0..4; look command 215 + value
    double dLongitude;              // site longitude, degrees east
    double dLatitude;               // site latitude, degrees north
    double dElevation;              // site elevation, metres
    double dPressure;               // atmospheric pressure, millibars
    double dTemperature;            // air temperature, degrees Celsius
    std::int32_t bLimitMaxZenith;   // non-zero: clip trajectories at dMaxZenith
    double dMaxZenith;              // maximum zenith angle, degrees (stored unchecked)
    std::int32_t bRunUntilStopped;  // non-zero: the heliostat runs until stopped
    std::vector<Zezezezo::CAlignmentSettings> AlignmentArray;  // data points, in order
    // Non-zero: an unattended heliostat run is armed and has not been ended by the operator;
    // the program offers to resume it when it starts.
    std::int32_t bUnattendedRunArmed;
};

// The site and atmosphere as the sun computations take them.
Suntrack::SiteParameters SiteOf(const CQuorvelAppSettings& settings);
// The inputs of trajectory generation.
Suntrack::TrajectorySettings TrajectorySettingsOf(const CQuorvelAppSettings& settings);
