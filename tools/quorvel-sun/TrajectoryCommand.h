// The trajectory command of quorvel-sun: the heliostat panel's "Generate" step from the
// command line. Clips a start/stop window (local civil time of the host) to the day's sunrise
// and sunset, chooses the spacing, computes every point and, with an alignment file, maps the
// points into the instrument frame. Streams are parameters so that tests drive it without a
// process.
#pragma once

#include <iosfwd>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/AlignmentModel.h"
#include "platform/WinTypes.h"

namespace QuorvelSun {

int RunTrajectoryCommand(std::span<const std::string> args, std::istream& in, std::ostream& out,
                         std::ostream& err);

void PrintTrajectoryHelp(std::ostream& out);

// "YYYY-MM-DD HH:MM:SS" (also with 'T' between date and time) -> a local SYSTEMTIME with the
// fields checked against the calendar (the year may reach 3000, "until stopped").
std::optional<SYSTEMTIME> ParseLocalDateTime(std::string_view text);

// "YYYY-MM-DD HH:MM:SS" of a SYSTEMTIME.
std::string FormatLocalDateTime(const SYSTEMTIME& t);

// The alignment file: three data lines "sunAz sunZe quorvelAz quorvelZe" (degrees, blanks or
// tabs between the numbers); blank lines and lines starting with '#' are skipped. On failure
// returns nothing and sets `error` (with the line number where there is one).
std::optional<std::vector<Suntrack::AlignmentObservation>> ParseAlignmentFile(std::istream& in,
                                                                              std::string& error);

}  // namespace QuorvelSun
