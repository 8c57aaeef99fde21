// The trajectory file that quorvelctl run-trajectory reads (quorvel-sun trajectory writes it):
// one point a line, "YYYY-MM-DD HH:MM:SS" civil time with an optional UTC offset ("+01:00",
// "-05:30", "Z"; without one the local time of this computer), azimuth and zenith in degrees,
// the fields separated by commas or white space; blank lines and lines beginning with '#'
// are skipped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <optional>
#include <string>
#include <vector>

#include "platform/WinTypes.h"

namespace quorvelctl {

// The instrument takes at most this many points; the reader refuses the next one as soon as
// it is read.
constexpr std::size_t kMaxTrajectoryPoints = 700;
// A point line is some 45 bytes; a longer line is refused when this many have been read.
constexpr std::size_t kMaxTrajectoryLineBytes = 1024;

struct STrajectoryFile {
    std::vector<SYSTEMTIME> times;       // local civil time of each point on this computer
    std::vector<std::int64_t> instants;  // each point's instant, seconds since 1970-01-01 UTC
    std::vector<double> azimuths;        // degrees from north towards east
    std::vector<double> zeniths;         // degrees from the vertical
    // Seconds between the first two stamps; empty for a single point.
    std::optional<int> stampSpacing;
};

// Reads the file; on the first bad line answers false with `error` naming the line number
// (file bytes quoted in it are made printable), and `file` is then not to be used.
bool ParseTrajectoryFile(std::istream& in, STrajectoryFile& file, std::string& error);

// A stamp as written in the file: the civil date and time and, when given, the UTC offset
// (minutes, local = UTC + offset).
struct SFileStamp {
    SYSTEMTIME civil{};
    std::optional<int> utcOffsetMinutes;
};

// "YYYY-MM-DD" and "HH:MM:SS[+HH:MM|-HH:MM|Z]" with a real calendar date; nullopt otherwise.
std::optional<SFileStamp> ParseFileStamp(const std::string& date, const std::string& time);

}  // namespace quorvelctl
