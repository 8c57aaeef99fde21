#include "UnattendedRecovery.h"

#include <algorithm>
#include <cmath>

#include "HeliostatWorkflow.h"

namespace Suntrack {

namespace {
constexpr double kPi = 3.14159265358979323846;
}

std::int64_t CReconnectBackoff::NextDelaySeconds() {
    const std::int64_t delay = m_delayS;
    m_delayS = std::min(m_delayS * 2, kLongestDelayS);
    return delay;
}

void CReconnectBackoff::Reset() {
    m_attempts = 0;
    m_delayS = kFirstDelayS;
}

void CReconnectBackoff::LogAttempt(Logging::CLogger& log, int port, int attempt) {
    log.LogParts(Logging::Informational, "Connecting to the instrument on COM", port, " (attempt ",
                 attempt, ").");
}

void CReconnectBackoff::LogFailure(Logging::CLogger& log, int port, std::int64_t delayS) {
    log.LogParts(Logging::Warning, "The instrument on COM", port,
                 " did not answer; next attempt in ", static_cast<long long>(delayS), " s.");
}

void CReconnectBackoff::LogReconnected(Logging::CLogger& log, int attempts) {
    log.LogParts(Logging::Warning, "Reconnected to the instrument after ", attempts, " attempts.");
}

bool PointsAtTodaysTrajectory(const SiteParameters& site, const arma::mat33* alignment,
                              std::int64_t utcSeconds, double azimuthDeg, double zenithDeg,
                              Logging::CLogger& log) {
    const SunSample sun = SunAtUtcSeconds(site, utcSeconds);
    if (!sun.Valid())
        return false;
    const AzZe expected = alignment
                              ? CelestialToInstrument(*alignment, sun.azimuthDeg, sun.zenithDeg)
                              : AzZe{sun.azimuthDeg, sun.zenithDeg};
    const double cosSeparation =
        arma::dot(SphericalToCartesian(1.0, expected.azimuthDeg, expected.zenithDeg),
                  SphericalToCartesian(1.0, azimuthDeg, zenithDeg));
    log.LogParts(Logging::Informational, "The instrument runs a trajectory at azimuth ", azimuthDeg,
                 ", zenith ", zenithDeg, "; today's would be at ", expected.azimuthDeg, ", ",
                 expected.zenithDeg, ".");
    return cosSeparation >= std::cos(kSameTrajectoryDeg * kPi / 180.0);
}

EResumeAction DecideAfterReconnect(unsigned status, bool pointsAtToday) {
    if ((status & HeliostatStatus::kTrajectory) != 0 && pointsAtToday)
        return EResumeAction::LeaveRunning;
    if ((status & (HeliostatStatus::kTrajectory | HeliostatStatus::kWaiting)) != 0)
        return EResumeAction::StopThenPlan;
    return EResumeAction::Plan;
}

}  // namespace Suntrack
