// Directions as unit row vectors and the two mappings through the alignment matrix.
//
// Frame: x towards north on the horizon, y towards east, z up (the zenith). Azimuth is in
// degrees from north towards east, zenith in degrees from the vertical; a direction is the
// row (sin ze cos az, sin ze sin az, cos ze). The alignment matrix M maps a celestial
// (sun-frame) row s to the instrument row s * M; the way back uses M^-1.
#pragma once

#include <armadillo>

namespace Suntrack {

struct AzZe {
    double azimuthDeg;  // from north towards east, [0, 360]
    double zenithDeg;   // from the vertical
};

// (r sin ze cos az, r sin ze sin az, r cos ze), angles in degrees.
arma::rowvec3 SphericalToCartesian(double r, double azimuthDeg, double zenithDeg);

// Azimuth atan2(y, x) brought into [0, 360] and zenith acos(z / |v|) of any non-zero row.
// The zero row (no direction at all) answers azimuth 0, zenith 0.
AzZe CartesianToSpherical(const arma::rowvec3& v);

// Celestial -> instrument: the direction of (az, ze) multiplied on the right by M.
AzZe CelestialToInstrument(const arma::mat33& M, double azimuthDeg, double zenithDeg);

// Instrument -> celestial: the direction of (az, ze) multiplied on the right by Minv, the
// inverse of the alignment matrix (CAlignmentModel keeps it next to M).
AzZe InstrumentToCelestial(const arma::mat33& Minv, double azimuthDeg, double zenithDeg);

// |a . (b x c)| / (|a| |b| |c|) of the three rows a, b, c: the volume they span relative to
// the largest volume rows of their lengths can span. 1 when they are orthogonal, 0 when they
// lie in one plane (or one is zero). Scale-free, so one threshold serves unit directions and
// the alignment matrix alike; this build of Armadillo has no LAPACK behind det() and solve().
double RowVolumeRatio(const arma::mat33& m);

// Inverts `m` into `inverse` when RowVolumeRatio(m) is at least `minVolumeRatio`; false
// (inverse left unchanged) otherwise.
bool InvertIfRegular(const arma::mat33& m, double minVolumeRatio, arma::mat33& inverse);

}  // namespace Suntrack
