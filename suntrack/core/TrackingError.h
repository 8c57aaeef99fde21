// The trajectory as the instrument runs it, the direction it commands at any instant, and
// the tracking error: how far the reported direction is from the commanded one.
//
// Azimuth and zenith are degrees in the instrument's frame (after the alignment matrix: what
// was uploaded and what the instrument reports); times are seconds since 1970-01-01 UTC.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "Directions.h"
#include "platform/WinTypes.h"

namespace Suntrack {

class CTrajectoryTrack {
public:
    // Appends one point; `local` is the local civil time stamp the upload carries.
    void AddLocal(const SYSTEMTIME& local, double azimuthDeg, double zenithDeg);
    // Appends one point at a UTC instant (seconds since 1970).
    void AddUtc(double utcSeconds, double azimuthDeg, double zenithDeg);

    std::size_t Size() const { return m_utc.size(); }
    bool Empty() const { return m_utc.empty(); }
    double UtcAt(std::size_t i) const { return m_utc[i]; }
    AzZe PointAt(std::size_t i) const { return m_points[i]; }
    double FirstUtc() const { return m_utc.front(); }
    double LastUtc() const { return m_utc.back(); }
    // Seconds between the first two points; 0 for fewer than two.
    int SpacingSeconds() const;

    // The commanded direction at `utcSeconds`, interpolated along the great circle between
    // the neighbouring points (so an azimuth crossing north goes 359 -> 0 -> 1, not back
    // through south). Empty before the first and after the last point.
    std::optional<AzZe> CommandedAt(double utcSeconds) const;

private:
    std::vector<double> m_utc;  // ascending
    std::vector<AzZe> m_points;
};

// The angle between two directions, degrees in [0, 180]; atan2 of the cross and dot
// products, so it stays exact for the small angles a tracking error has.
double AngleBetweenDeg(const AzZe& a, const AzZe& b);

}  // namespace Suntrack
