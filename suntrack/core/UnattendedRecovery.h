// The decisions of an unattended heliostat run that has lost its instrument, shared by the GUI
// program and quorvelctl track: the reconnection back-off, whether the instrument is already
// running the trajectory the run would upload for today, and what to do once it answers
// again. Neither threads nor a toolkit: the callers time the attempts on their own loops.
#pragma once

#include <cstdint>

#include "Directions.h"
#include "SiteSun.h"
#include "TrajectoryGenerator.h"

namespace Suntrack {

// Reconnection attempts: 1 s after the first failure, doubling to at most 60 s (seconds of
// the program's clock).
class CReconnectBackoff {
public:
    static constexpr std::int64_t kFirstDelayS = 1;
    static constexpr std::int64_t kLongestDelayS = 60;

    // Counts an attempt; its number (1 for the first).
    int BeginAttempt() { return ++m_attempts; }
    // After a failed attempt: how long to wait before the next, seconds.
    std::int64_t NextDelaySeconds();
    int Attempts() const { return m_attempts; }
    void Reset();

    // The log lines of a reconnection: each attempt at Informational, each failure and the
    // outcome at Warning.
    static void LogAttempt(Logging::CLogger& log, int port, int attempt);
    static void LogFailure(Logging::CLogger& log, int port, std::int64_t delayS);
    static void LogReconnected(Logging::CLogger& log, int attempts);

private:
    int m_attempts = 0;
    std::int64_t m_delayS = kFirstDelayS;
};

// A running trajectory within this angle (degrees) of where today's sun trajectory points
// now is taken for today's: about four minutes of the sun's motion.
inline constexpr double kSameTrajectoryDeg = 1.0;
// The rest of a day is planned to start this far ahead (seconds), so that the upload and the
// ten seconds of the timed start fit before its first point.
inline constexpr std::int64_t kResumeLeadSeconds = 120;

// Whether the instrument, at azimuth/zenith (degrees, instrument frame), points where today's
// sun trajectory points at `utcSeconds`: through `alignment` (celestial to instrument) or,
// when null, the sun's own direction. Logs both directions at Informational.
bool PointsAtTodaysTrajectory(const SiteParameters& site, const arma::mat33* alignment,
                              std::int64_t utcSeconds, double azimuthDeg, double zenithDeg,
                              Logging::CLogger& log);

enum class EResumeAction {
    LeaveRunning,  // the instrument runs today's trajectory: do not disturb it
    StopThenPlan,  // it runs or waits for another one: stop it, then plan the rest of the day
    Plan,          // it is idle: plan the rest of the day
};
// `status`: the device's status bits (HeliostatStatus); `pointsAtToday`: the position check.
EResumeAction DecideAfterReconnect(unsigned status, bool pointsAtToday);

}  // namespace Suntrack
