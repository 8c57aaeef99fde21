#include "Directions.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace Suntrack {

namespace {

constexpr double kDegToRad = std::numbers::pi / 180.0;
constexpr double kRadToDeg = 180.0 / std::numbers::pi;

}  // namespace

arma::rowvec3 SphericalToCartesian(double r, double azimuthDeg, double zenithDeg) {
    const double az = azimuthDeg * kDegToRad;
    const double ze = zenithDeg * kDegToRad;
    arma::rowvec3 v;
    v(0) = r * std::sin(ze) * std::cos(az);
    v(1) = r * std::sin(ze) * std::sin(az);
    v(2) = r * std::cos(ze);
    return v;
}

AzZe CartesianToSpherical(const arma::rowvec3& v) {
    const double norm = std::sqrt(v(0) * v(0) + v(1) * v(1) + v(2) * v(2));
    if (norm == 0.0) {
        return {0.0, 0.0};
    }
    double az = std::atan2(v(1), v(0)) * kRadToDeg;
    while (az < 0.0) {
        az += 360.0;
    }
    while (az > 360.0) {
        az -= 360.0;
    }
    // Rounding may carry |z| / |v| a hair beyond 1; acos would answer NaN there.
    const double cosZe = std::clamp(v(2) / norm, -1.0, 1.0);
    return {az, std::acos(cosZe) * kRadToDeg};
}

AzZe CelestialToInstrument(const arma::mat33& M, double azimuthDeg, double zenithDeg) {
    const arma::rowvec3 s = SphericalToCartesian(1.0, azimuthDeg, zenithDeg);
    return CartesianToSpherical(s * M);
}

AzZe InstrumentToCelestial(const arma::mat33& Minv, double azimuthDeg, double zenithDeg) {
    const arma::rowvec3 q = SphericalToCartesian(1.0, azimuthDeg, zenithDeg);
    return CartesianToSpherical(q * Minv);
}

double RowVolumeRatio(const arma::mat33& m) {
    const arma::vec3 a = m.row(0).t();
    const arma::vec3 b = m.row(1).t();
    const arma::vec3 c = m.row(2).t();
    const double lengths = arma::norm(a) * arma::norm(b) * arma::norm(c);
    if (!(lengths > 0.0)) {
        return 0.0;
    }
    return std::fabs(arma::dot(a, arma::cross(b, c))) / lengths;
}

bool InvertIfRegular(const arma::mat33& m, double minVolumeRatio, arma::mat33& inverse) {
    if (!(RowVolumeRatio(m) >= minVolumeRatio)) {  // also refuses NaN
        return false;
    }
    arma::mat result;
    if (!arma::inv(result, arma::mat(m), arma::inv_opts::tiny)) {
        return false;
    }
    inverse = result;
    return true;
}

}  // namespace Suntrack
