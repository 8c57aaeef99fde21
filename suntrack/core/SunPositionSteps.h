// The steps of the solar position, each usable on its own (trajectory generation, the rise/set
// search and the tests reuse them). Conventions throughout:
//   - angles in degrees unless a name says hours; right ascension and sidereal time in hours;
//   - nutation in arcseconds;
//   - "jd" is a Julian day on the UT scale, "jde" one on the dynamical (TT) scale;
//   - longitudes of sites are positive WEST of Greenwich;
//   - azimuthFromSouth increases towards the west (astronomers' convention).
#pragma once

#include <cstdint>

#include "SunPosition.h"

namespace SolarPosition {

constexpr double kJ2000 = 2451545.0;  // Julian day of 2000 Jan 1.5 TT
// First Julian day of the Gregorian calendar (1582 Oct 15.0); earlier days are Julian calendar.
constexpr double kFirstGregorianJulianDay = 2299160.5;

// Adds or subtracts whole turns until the value lies in [0, 360] (360 itself stays 360).
double ReduceDegrees(double degrees);
// The same with 24 hours.
double ReduceHours(double hours);

// Julian day of a calendar date; `day` carries the time of day as a fraction. `gregorian`
// selects the Gregorian calendar, else the Julian calendar.
double JulianDay(std::int32_t year, std::int32_t month, double day, bool gregorian = true);

struct CalendarDate {
    std::int32_t year;
    std::int32_t month;
    double day;  // with fraction of day
};
struct CalendarTime {
    std::int32_t year;
    std::int32_t month;
    std::int32_t day;
    std::int32_t hour;
    std::int32_t minute;
    double second;  // with fraction
};

// Calendar date of a Julian day (Gregorian from 1582 Oct 15 on, Julian calendar before).
CalendarDate CalendarDateFromJulianDay(double jd);
// The same split into whole hours and minutes and seconds with fraction.
CalendarTime CalendarTimeFromJulianDay(double jd);

// Year with fraction: year + elapsed part of that calendar year.
double DecimalYear(double jd);

// ΔT = TT − UT in seconds for a decimal year (polynomial fits by interval, parabola outside
// −500 … 2150).
double DeltaT(double decimalYear);

// Heliocentric ecliptic coordinates of the Earth (mean equinox of date).
struct EarthPosition {
    double longitude;  // L, degrees in [0, 360]
    double latitude;   // B, degrees
    double radius;     // R, astronomical units
};
EarthPosition EarthHeliocentric(double jde);
// R alone, astronomical units.
double EarthRadiusVector(double jde);

struct Nutation {
    double longitude;  // Δψ, arcseconds
    double obliquity;  // Δε, arcseconds
};
Nutation NutationAt(double jde);

// Mean obliquity ε0 of the ecliptic, degrees (Laskar's polynomial).
double MeanObliquity(double jde);
// True obliquity ε = ε0 + Δε, degrees.
double TrueObliquity(double jde, const Nutation& nutation);

struct EclipticPosition {
    double longitude;  // λ, degrees
    double latitude;   // β, degrees
};
// Apparent geocentric ecliptic coordinates of the sun from the Earth's heliocentric position:
// geometric longitude and latitude, FK5 correction, nutation in longitude and aberration.
EclipticPosition ApparentSolarLongitudeLatitude(double jde, const EarthPosition& earth,
                                                const Nutation& nutation);

struct EquatorialPosition {
    double rightAscension;  // α, hours in [0, 24)
    double declination;     // δ, degrees
};
EquatorialPosition EquatorialFromEcliptic(const EclipticPosition& ecliptic, double obliquity);

// Everything of the geocentric apparent sun at one dynamical instant.
struct ApparentSun {
    EarthPosition earth;
    Nutation nutation;
    double obliquity;  // true ε, degrees
    EclipticPosition ecliptic;
    EquatorialPosition equatorial;
};
ApparentSun ApparentSunAt(double jde);

// Apparent Greenwich sidereal time, hours in [0, 24]. The first form computes nutation and
// true obliquity at `jd`; the second takes them (they must belong to `jd`).
double ApparentSiderealTime(double jd);
double ApparentSiderealTime(double jd, const Nutation& nutation, double trueObliquity);
// Mean Greenwich sidereal time, hours in [0, 24].
double MeanSiderealTime(double jd);

// Geocentric → topocentric right ascension and declination (parallax). `siderealHours` is the
// apparent sidereal time used for the hour angle, `radius` the Earth–Sun distance in AU,
// `elevation` in metres.
EquatorialPosition TopocentricCorrection(const EquatorialPosition& geocentric, double radius,
                                         double siderealHours, double longitudeWest,
                                         double latitude, double elevation);

struct HorizontalPosition {
    double azimuthFromSouth;  // degrees in [0, 360), from south towards west
    double altitude;          // degrees, geometric (no refraction)
};
// From the local hour angle (hours, positive west of the meridian) and the declination.
HorizontalPosition HorizontalFromEquatorial(double hourAngleHours, double declination,
                                            double latitude);

// Atmospheric refraction in degrees for a geometric altitude; pressure in millibars,
// temperature in degrees Celsius. Altitudes below the formula's turning point are clamped
// there, so the correction never shrinks towards the horizon and below.
double Refraction(double altitude, double pressure, double temperature);

// The air in which the refraction formula is used. Its factor (P/1010)·(283/(273 + T)) scales
// the standard refraction with the air's density, which holds for air as it is found at the
// Earth's surface, not for any number the module accepts: towards -273 °C the factor grows
// without bound (-272.9999 °C gives millions of degrees). Pressure: 0 (no air, no
// refraction) to 1100 mb, above the highest sea-level reading on record (1084 mb) and the
// pressure at the lowest dry land (about 1065 mb at the Dead Sea, 430 m below sea level).
// Temperature: -100 to +80 °C, around the recorded extremes of surface air (-89 °C at
// Vostok, +57 °C in Death Valley) with a margin. Outside, the altitude is left unrefracted.
inline constexpr double kRefractionMinPressureMb = 0.0;
inline constexpr double kRefractionMaxPressureMb = 1100.0;
inline constexpr double kRefractionMinTemperatureC = -100.0;
inline constexpr double kRefractionMaxTemperatureC = 80.0;
bool RefractionApplies(double pressure, double temperature);

// The observing site as the steps need it.
struct Site {
    double longitudeWest;  // degrees, positive west
    double latitude;       // degrees, positive north
    double elevation;      // metres
    double pressure;       // millibars
    double temperature;    // degrees Celsius
};

struct TopocentricSun {
    double altitude;          // apparent (refracted) altitude, degrees in [-90, 90]
    double azimuthFromSouth;  // degrees in [0, 360), from south towards west
    bool refracted;           // false: the air lies outside the refraction's range (above)
};
// The apparent topocentric sun at UT Julian day `jd` with ΔT = `deltaT` seconds.
TopocentricSun TopocentricSunAt(double jd, double deltaT, const Site& site);

struct RiseTransitSet {
    SunEvent sunrise;
    SunEvent transit;
    SunEvent sunset;
};
// Sunrise, transit and sunset of the UT day starting at `j0` (a Julian day at 0 h UT), as
// local civil times with `timeZone` hours east of UT. The sun counts as risen while its
// geometric geocentric altitude is above 90 − zenithLimit.
RiseTransitSet RiseTransitSetForUtDay(double j0, std::int32_t timeZone, double zenithLimit,
                                      const Site& site);
// Sunrise, transit and sunset falling on the local calendar date (year, month, day).
RiseTransitSet RiseTransitSetForLocalDate(std::int32_t year, std::int32_t month, std::int32_t day,
                                          std::int32_t timeZone, double zenithLimit,
                                          const Site& site);

}  // namespace SolarPosition
