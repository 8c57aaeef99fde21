// Trajectory generation: turns the operator's tracking window (a start and a stop in local
// civil time) into equally spaced time stamps with the sun's azimuth and zenith, clipped to
// the day's sunrise and sunset and, on request, mapped through the alignment matrix. Runs on
// the GUI thread; every step is logged at Debug, since those lines are the only record of
// why a window changed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "AlignmentModel.h"
#include "MatrixDump.h"
#include "SiteSun.h"
#include "TrajectoryPanel.h"

namespace Suntrack {

// Most points one trajectory may hold; the spacing grows in 15 s steps until the count fits.
inline constexpr long long kMaxTrajectoryPoints = 700;
inline constexpr int kMinSpacingSeconds = 60;
inline constexpr int kSpacingStepSeconds = 15;

// What the generation takes from the application settings.
struct TrajectorySettings {
    SiteParameters site;
    double maxZenithDeg = 90.0;  // used when "Limit maximum zenith angle" is ticked
};

struct TrajectorySpacing {
    std::int64_t spacingSeconds;  // multiple of 15, at least 60
    long long points;             // ceil(span / spacing) + 1, at most 700
};

// The spacing search for a window of `spanSeconds` (>= 0), logging each candidate.
TrajectorySpacing ChooseSpacing(std::int64_t spanSeconds, const LogTarget& log);

// Operator texts of the window step.
inline constexpr const wchar_t* kPastStartQuestion =
    L"Error: Start time is set earlier than the current time.\nWould you like to continue with "
    L"a start time of 5 minutes from now?";
inline constexpr const wchar_t* kStopBeforeStartError =
    L"Error: Stop time is before start time. Please fix and generate again.";

// The next-day step of an unattended run: nobody is there to answer a question or close a
// notice, so a window that has already begun starts at the first of its points that can
// still be reached, and notices that do not end the run go to the log.
struct UnattendedStart {
    // Seconds after now before which no point can be reached: the upload's duration and the
    // timed start's lead.
    std::int64_t leadSeconds = 0;
};

class CTrajectoryGenerator {
public:
    // `log` and `alignment` must outlive the generator; the alignment matrix is read at each
    // generation, so a recalibration takes effect with the next one.
    CTrajectoryGenerator(LogTarget log, const CAlignmentModel& alignment);

    // Clips [start, stop] (local civil times, rewritten on success) to the sun's day at the
    // site that the start belongs to (the one in progress, else the next; its sunset is the
    // one that follows its sunrise), sets the panel's multi-day flag, offers now + 5 minutes
    // for a start in the past and refuses a stop before the start and a window without
    // daylight. False: nothing is to be generated. `unattended`: see UnattendedStart.
    bool AdjustTrajectoryWindow(SYSTEMTIME& start, ITrajectoryPanel& panel, SYSTEMTIME& stop,
                                const TrajectorySettings& settings,
                                std::optional<UnattendedStart> unattended = std::nullopt) const;

    // Fills the panel's arrays with the points from start to stop and writes the spacing
    // (seconds) to `spacingOut`. False, with the arrays left empty, when stop precedes start
    // or a position cannot be computed.
    bool GenerateTrajectory(ITrajectoryPanel& panel, int& spacingOut, const SYSTEMTIME& start,
                            const SYSTEMTIME& stop, const TrajectorySettings& settings) const;

private:
    LogTarget m_log;
    const CAlignmentModel& m_alignment;
};

// The host locale's date-and-time text ("%c") of an instant in seconds since 1970 UTC,
// shown in local civil time.
std::wstring LocaleDateTimeText(std::int64_t utcSeconds);

// Seconds since 1970 UTC of the Clock().
std::int64_t NowUtcSeconds();

}  // namespace Suntrack
