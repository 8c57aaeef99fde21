#include "TrackingError.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "platform/Clock.h"

namespace Suntrack {

void CTrajectoryTrack::AddLocal(const SYSTEMTIME& local, double azimuthDeg, double zenithDeg) {
    AddUtc(static_cast<double>(Platform::LocalTimeToSeconds(local)) + local.wMilliseconds / 1000.0,
           azimuthDeg, zenithDeg);
}

void CTrajectoryTrack::AddUtc(double utcSeconds, double azimuthDeg, double zenithDeg) {
    m_utc.push_back(utcSeconds);
    m_points.push_back({azimuthDeg, zenithDeg});
}

int CTrajectoryTrack::SpacingSeconds() const {
    if (m_utc.size() < 2)
        return 0;
    return static_cast<int>(std::lround(m_utc[1] - m_utc[0]));
}

std::optional<AzZe> CTrajectoryTrack::CommandedAt(double utcSeconds) const {
    if (m_utc.empty() || utcSeconds < m_utc.front() || utcSeconds > m_utc.back())
        return std::nullopt;
    const auto after = std::upper_bound(m_utc.begin(), m_utc.end(), utcSeconds);
    if (after == m_utc.end())
        return m_points.back();
    const std::size_t j = static_cast<std::size_t>(after - m_utc.begin());
    const std::size_t i = j - 1;
    const double span = m_utc[j] - m_utc[i];
    const double f = span > 0.0 ? (utcSeconds - m_utc[i]) / span : 0.0;
    // Normalised linear blend of the two unit vectors: on the great circle between them, and
    // within a few millidegrees of uniform speed for the points' spacing of a few degrees.
    const arma::rowvec3 a =
        SphericalToCartesian(1.0, m_points[i].azimuthDeg, m_points[i].zenithDeg);
    const arma::rowvec3 b =
        SphericalToCartesian(1.0, m_points[j].azimuthDeg, m_points[j].zenithDeg);
    const arma::rowvec3 blend = (1.0 - f) * a + f * b;
    if (arma::norm(blend) < 1e-12)
        return m_points[i];  // opposite points: no great circle to follow
    return CartesianToSpherical(blend);
}

double AngleBetweenDeg(const AzZe& a, const AzZe& b) {
    const arma::vec3 u = SphericalToCartesian(1.0, a.azimuthDeg, a.zenithDeg).t();
    const arma::vec3 v = SphericalToCartesian(1.0, b.azimuthDeg, b.zenithDeg).t();
    return std::atan2(arma::norm(arma::cross(u, v)), arma::dot(u, v)) * 180.0 / std::numbers::pi;
}

}  // namespace Suntrack
