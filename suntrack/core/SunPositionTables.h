// Constant periodic-term tables of the solar position: the Earth's heliocentric series
// (abridged VSOP87) and the IAU 1980 nutation series. Read-only, no allocation.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace SolarPosition {

// One term A·cos(B + C·τ) of an Earth series. A in 1e-8 radians (L, B) or 1e-8 AU (R); B in
// radians; C in radians per Julian millennium (τ counts millennia from J2000.0).
struct EarthTerm {
    double a;
    double b;
    double c;
};

// One row of the nutation series. The argument is the integer combination of the Moon's
// mean elongation D, the Sun's mean anomaly M, the Moon's mean anomaly M′, the Moon's
// argument of latitude F and the longitude of the Moon's ascending node Ω. Coefficients in
// 0.0001″; the T coefficients per Julian century.
struct NutationTerm {
    std::int32_t d;
    std::int32_t m;
    std::int32_t mPrime;
    std::int32_t f;
    std::int32_t omega;
    std::int32_t sine;  // longitude (Δψ), multiplies sin(argument)
    double sineT;
    std::int32_t cosine;  // obliquity (Δε), multiplies cos(argument)
    double cosineT;
};

extern const std::array<EarthTerm, 64> kEarthL0;
extern const std::array<EarthTerm, 34> kEarthL1;
extern const std::array<EarthTerm, 20> kEarthL2;
extern const std::array<EarthTerm, 7> kEarthL3;
extern const std::array<EarthTerm, 3> kEarthL4;
extern const std::array<EarthTerm, 1> kEarthL5;
extern const std::array<EarthTerm, 5> kEarthB0;
extern const std::array<EarthTerm, 2> kEarthB1;
extern const std::array<EarthTerm, 40> kEarthR0;
extern const std::array<EarthTerm, 10> kEarthR1;
extern const std::array<EarthTerm, 6> kEarthR2;
extern const std::array<EarthTerm, 2> kEarthR3;
extern const std::array<EarthTerm, 1> kEarthR4;

extern const std::array<NutationTerm, 63> kNutation;

// The series of each coordinate, lowest power of τ first.
extern const std::array<std::span<const EarthTerm>, 6> kEarthLongitudeSeries;
extern const std::array<std::span<const EarthTerm>, 2> kEarthLatitudeSeries;
extern const std::array<std::span<const EarthTerm>, 5> kEarthRadiusSeries;

}  // namespace SolarPosition
