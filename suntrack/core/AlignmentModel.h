// The alignment model: the 3x3 matrix M that maps a celestial (sun-frame) direction row s to
// the instrument direction s * M, fitted from three data points that each pair the sun's
// computed direction with the direction the instrument reported while pointed at the sun.
// The application object owns one model next to its list of data points; everything runs on
// the GUI thread.
#pragma once

#include <vector>

#include <armadillo>

#include "MatrixDump.h"
#include "settings/AlignmentSettings.h"

namespace Suntrack {

// One data point: degrees, azimuth from north towards east.
struct AlignmentObservation {
    double sunAzimuthDeg;
    double sunZenithDeg;
    double quorvelAzimuthDeg;
    double quorvelZenithDeg;
};

class CAlignmentModel {
public:
    // Below this RowVolumeRatio (Directions.h) of the three sun directions, or of the three
    // instrument directions, the points are refused: the volume ratio of three unit vectors
    // is about 0.87 * d^2 for a triangle of side d radians on the sphere, so 1e-3 means the
    // points span less than about two degrees in some direction, and an instrument reading
    // error of 0.01 degrees would already tilt M by the better part of a degree.
    static constexpr double kMinVolumeRatio = 1e-3;

    // Starts as the identity.
    CAlignmentModel();

    // Recomputes M (and its inverse) from the data points, logging every step at Debug.
    // Anything but three usable points leaves M the identity and logs why. Returns whether a
    // fitted matrix (rather than the identity) is in use.
    bool Calculate(const std::vector<AlignmentObservation>& points, const LogTarget& log);
    // The same from the stored data points ("AlignmentArray").
    bool Calculate(const std::vector<Zezezezo::CAlignmentSettings>& points, const LogTarget& log);

    // Celestial -> instrument.
    const arma::mat33& Matrix() const { return m_matrix; }
    // Instrument -> celestial.
    const arma::mat33& Inverse() const { return m_inverse; }

private:
    void UseIdentity();

    arma::mat33 m_matrix;
    arma::mat33 m_inverse;
};

std::vector<AlignmentObservation> ToObservations(
    const std::vector<Zezezezo::CAlignmentSettings>& points);

// Rows (sin ze cos az, sin ze sin az, cos ze) of the sun readings (A) or of the instrument
// readings (B), one row per point in list order.
arma::mat33 SunDirections(const std::vector<AlignmentObservation>& points);
arma::mat33 QuorvelDirections(const std::vector<AlignmentObservation>& points);

}  // namespace Suntrack
