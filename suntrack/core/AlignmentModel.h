// The alignment model: the 3x3 matrix M that maps a celestial (sun-frame) direction row s to
// the instrument direction s * M, fitted from three data points that each pair the sun's
// computed direction with the direction the instrument reported while pointed at the sun.
// The application object owns one model next to its list of data points; everything runs on
// the GUI thread.
#pragma once

#include <cstddef>
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

// How well a set of data points determines M, judged by the smaller RowVolumeRatio
// (Directions.h) of the sun directions and of the instrument directions.
enum class AlignmentFitQuality {
    Unusable,  // no fit: M stays the identity
    Poor,      // fitted, but reading errors are magnified many times (points close together)
    Good,
};

// Why a fit is unusable.
enum class AlignmentFitProblem {
    None,
    WrongCount,        // not exactly three points
    SunDependent,      // the sun directions nearly lie in one plane through the origin
    QuorvelDependent,  // the instrument directions do
    NotFinite,         // a reading is not a number
};

struct AlignmentFitAssessment {
    AlignmentFitQuality quality = AlignmentFitQuality::Unusable;
    AlignmentFitProblem problem = AlignmentFitProblem::WrongCount;
    std::size_t count = 0;  // data points given
    // The ratio that decided (sun's, or the smaller of both when the sun's passes); 0 with
    // a wrong count, NaN with a non-finite reading.
    double volumeRatio = 0.0;
};

class CAlignmentModel {
public:
    // Below this RowVolumeRatio (Directions.h) of the three sun directions, or of the three
    // instrument directions, the points are refused: the volume ratio of three unit vectors
    // is about 0.87 * d^2 for a triangle of side d radians on the sphere, so 1e-3 means the
    // points span less than about two degrees in some direction, and an instrument reading
    // error of 0.01 degrees would already tilt M by the better part of a degree.
    static constexpr double kMinVolumeRatio = 1e-3;
    // At or above this ratio the fit counts as good. For three points on an equilateral
    // triangle of side d radians the ratio is about 0.87 * d^2 (twice the triangle's area); a
    // reading error e then tilts M by about e / d, and the error reaches trajectory points up
    // to a quarter turn (pi/2) from the triangle multiplied by about (pi/2) / d. Keeping that
    // factor at or below 10 needs d >= 0.157 rad (9 degrees), a ratio of 0.87 * 0.157^2 =
    // 0.021. Three sun readings two hours apart near a solstice at mid latitudes give about
    // 0.04; one hour apart about 0.006 (poor); near an equinox the sun's day arc is a great
    // circle and any three points of one day are unusable.
    static constexpr double kGoodVolumeRatio = 0.02;

    // Starts as the identity.
    CAlignmentModel();

    // Recomputes M (and its inverse) from the data points, logging every step at Debug.
    // Anything but three usable points leaves M the identity and logs why at Warning (the
    // operator asked for a correction the system cannot make). Returns whether a fitted
    // matrix (rather than the identity) is in use.
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

// Whether (and how well) `points` give M, without fitting or logging anything. Calculate uses
// the same test.
AlignmentFitAssessment AssessAlignmentFit(const std::vector<AlignmentObservation>& points);

std::vector<AlignmentObservation> ToObservations(
    const std::vector<Zezezezo::CAlignmentSettings>& points);

// Rows (sin ze cos az, sin ze sin az, cos ze) of the sun readings (A) or of the instrument
// readings (B), one row per point in list order.
arma::mat33 SunDirections(const std::vector<AlignmentObservation>& points);
arma::mat33 QuorvelDirections(const std::vector<AlignmentObservation>& points);

}  // namespace Suntrack
