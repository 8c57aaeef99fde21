// The tracking schedule in plain words for the operator: what is uploaded, when it starts or
// ends, the day of an unattended run, and whether the computer's clock and zone can be
// trusted for a timed start. Times are read in the host's local zone, which is named.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/ClockSync.h"

namespace Suntrack {

struct ScheduleFacts {
    double nowUtc = 0;  // seconds since 1970 UTC
    bool uploading = false;
    int uploadPercent = 0;
    bool uploaded = false;  // a complete trajectory is in the instrument
    bool waiting = false;   // the timed start is armed
    bool running = false;   // the instrument runs the trajectory
    // The uploaded (or uploading) trajectory; `points` 0 when there is none.
    double firstUtc = 0;  // seconds since 1970 UTC
    double lastUtc = 0;
    int points = 0;
    int spacingSeconds = 0;
    int unattendedDay = 0;  // 1, 2, ... during an unattended run; 0 otherwise
    // The uploaded trajectory continues an unattended run on a later day than the one run.
    bool nextDay = false;
};

// "Tracking 08:42–15:51 CET (411 points, 60 s apart), starts in 10 h 21 min",
// "Running: 53 % of today's trajectory, ends in 3 h 2 min",
// "Next day's trajectory uploaded for 8 Dec, starts 08:43", each followed by
// "Unattended run: day 4" when one is on.
std::wstring ScheduleSentence(const ScheduleFacts& facts);

// `value` with `decimals` decimals and a "." whatever the locale (std::to_chars).
std::wstring DecimalText(double value, int decimals);

// "10 h 21 min", "3 min", "less than a minute" for a span in seconds.
std::wstring DurationWords(double seconds);

// The clock's state judged for a timed start: a warning when the operating system calls it
// unsynchronised or estimates its error above kClockErrorLimitSeconds.
inline constexpr double kClockErrorLimitSeconds = 0.5;
std::optional<std::wstring> ClockWarning(const Platform::ClockSyncState& state);

// The site's solar time against the computer's zone: a warning when the longitude is more
// than kZoneSolarLimitHours of solar time (15 degrees an hour) from the zone's offset at the
// instant, the usual sign of a longitude with the wrong sign or a wrong zone.
inline constexpr double kZoneSolarLimitHours = 3.0;
std::optional<std::wstring> ZoneWarning(double siteLongitudeEastDeg, int utcOffsetMinutes);

// "Computer clock: CET (UTC+01:00)" followed by the clock and zone warnings that apply.
std::wstring ClockSentence(const Platform::ClockSyncState& state, double nowUtc,
                           double siteLongitudeEastDeg);

// The whole schedule line: the schedule sentence and the clock sentence.
std::wstring ScheduleLine(const ScheduleFacts& facts, const Platform::ClockSyncState& state,
                          double siteLongitudeEastDeg);

}  // namespace Suntrack
