// The trajectory file that quorvelctl run-trajectory reads (quorvel-sun trajectory writes it):
// one point a line, "YYYY-MM-DD HH:MM:SS" local civil time, azimuth and zenith in degrees,
// the fields separated by commas or white space; blank lines and lines beginning with '#'
// are skipped.
#pragma once

#include <istream>
#include <optional>
#include <string>
#include <vector>

#include "platform/WinTypes.h"

namespace quorvelctl {

struct STrajectoryFile {
    std::vector<SYSTEMTIME> times;  // local civil time of each point
    std::vector<double> azimuths;   // degrees from north towards east
    std::vector<double> zeniths;    // degrees from the vertical
    // Seconds between the first two stamps; empty for a single point.
    std::optional<int> stampSpacing;
};

// Reads the whole file; on the first bad line answers false with `error` naming the line
// number, and `file` is then not to be used.
bool ParseTrajectoryFile(std::istream& in, STrajectoryFile& file, std::string& error);

// "YYYY-MM-DD HH:MM:SS" with a real calendar date; nullopt otherwise.
std::optional<SYSTEMTIME> ParseLocalStamp(const std::string& date, const std::string& time);

}  // namespace quorvelctl
