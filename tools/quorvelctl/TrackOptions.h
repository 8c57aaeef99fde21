// The command line of `quorvelctl track`: the unattended heliostat cycle without a display.
// Every option overrides what the program has stored (Application Settings, Quorvel
// Settings); what is not given comes from there.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/WinTypes.h"

namespace quorvelctl {

struct STrackOptions {
    std::optional<unsigned> port;            // COM port number; default the stored connection
    std::optional<unsigned> baud;            // bits per second; default the stored connection
    std::optional<double> longitudeEastDeg;  // degrees, positive east of Greenwich
    std::optional<double> latitudeDeg;       // degrees, positive north
    std::optional<double> elevationM;        // metres above sea level
    std::optional<double> pressureMb;        // millibars
    std::optional<double> temperatureC;      // degrees Celsius
    std::optional<double> limitZenithDeg;    // clip the window at this zenith angle (degrees)
    int days = 0;                            // days to track; 0: until stopped
    bool homeOnExit = false;                 // home after a stop by signal
    bool noAlignment = false;                // generate without the alignment matrix
    std::optional<int> logCeiling;           // 0..7; default the stored ceiling
    // Rehearsal against quorvel-sim --time-scale X: the program's clock runs X times faster
    // than real time, from `clockStart` (local civil time "YYYY-MM-DD HH:MM:SS") or now.
    double timeScale = 1.0;
    std::optional<SYSTEMTIME> clockStart;
};

enum class ETrackParse { Run, Help, Error };

// `args` are the words after "track".
ETrackParse ParseTrackArguments(const std::vector<std::string>& args, STrackOptions& options,
                                std::string& error);
std::string TrackUsage();

}  // namespace quorvelctl
