#include "SunPositionSteps.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "SunPositionTables.h"

namespace SolarPosition {

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kRadPerDeg = kPi / 180.0;
constexpr double kDegPerRad = 180.0 / kPi;
constexpr double kDaysPerJulianMillennium = 365250.0;
constexpr double kDaysPerJulianCentury = 36525.0;
// Equatorial radius of the Earth, metres (the same figure bounds the site elevation).
constexpr double kEarthRadiusMetres = 6378140.0;
// Polar over equatorial radius of the Earth's ellipsoid.
constexpr double kEarthAxisRatio = 0.99664719;
// Equatorial horizontal parallax of the sun at 1 AU, arcseconds.
constexpr double kSolarParallaxArcsec = 8.794;

double Sin(double degrees) {
    return std::sin(degrees * kRadPerDeg);
}
double Cos(double degrees) {
    return std::cos(degrees * kRadPerDeg);
}

// Reduction into [0, period]: whole turns are added while negative and removed while above
// the period, so the period itself stays; fmod does the removal without accumulating error.
double ReduceToPeriod(double value, double period) {
    if (value > period) {
        const double reduced = std::fmod(value, period);
        return reduced == 0.0 ? period : reduced;
    }
    if (value < 0.0) {
        const double reduced = std::fmod(value, period);
        return reduced < 0.0 ? reduced + period : 0.0;
    }
    return value;
}

// Σ A·cos(B + C·τ) of each series, combined as a polynomial in τ (series k multiplies τ^k).
template <std::size_t N>
double EvaluateEarthSeries(const std::array<std::span<const EarthTerm>, N>& series, double tau) {
    double value = 0.0;
    for (std::size_t k = N; k-- > 0;) {
        double sum = 0.0;
        for (const EarthTerm& term : series[k]) {
            sum += term.a * std::cos(term.b + term.c * tau);
        }
        value = value * tau + sum;
    }
    return value * 1e-8;
}

// Brings a day fraction of the rise/set search into [0, 1].
double IntoUnitInterval(double m) {
    while (m < 0.0) {
        m += 1.0;
    }
    while (m > 1.0) {
        m -= 1.0;
    }
    return m;
}

// Interpolation between three values tabulated one day apart, y2 at n = 0.
double InterpolateThree(double y1, double y2, double y3, double n) {
    const double a = y2 - y1;
    const double b = y3 - y2;
    const double c = b - a;
    return y2 + n / 2.0 * (a + b + n * c);
}

bool IsGregorianLeapYear(std::int32_t year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

CalendarTime SplitDay(const CalendarDate& date) {
    CalendarTime out{};
    out.year = date.year;
    out.month = date.month;
    const double wholeDay = std::floor(date.day);
    out.day = static_cast<std::int32_t>(wholeDay);
    // Seconds since midnight; the clamps keep a fraction that rounds up to a full day from
    // showing as 24:00.
    double seconds = (date.day - wholeDay) * 86400.0;
    out.hour = std::min(static_cast<std::int32_t>(seconds / 3600.0), 23);
    seconds -= out.hour * 3600.0;
    out.minute = std::min(static_cast<std::int32_t>(seconds / 60.0), 59);
    out.second = std::max(seconds - out.minute * 60.0, 0.0);
    return out;
}

CalendarDate CalendarDateFromJulianDayIn(double jd, bool gregorian) {
    const double z = std::floor(jd + 0.5);
    const double f = jd + 0.5 - z;
    double a = z;
    if (gregorian) {
        const double alpha = std::floor((z - 1867216.25) / 36524.25);
        a = z + 1.0 + alpha - std::floor(alpha / 4.0);
    }
    const double b = a + 1524.0;
    const double c = std::floor((b - 122.1) / 365.25);
    const double d = std::floor(365.25 * c);
    const double e = std::floor((b - d) / 30.6001);
    CalendarDate out{};
    out.day = b - d - std::floor(30.6001 * e) + f;
    out.month = static_cast<std::int32_t>(e < 14.0 ? e - 1.0 : e - 13.0);
    out.year = static_cast<std::int32_t>(out.month > 2 ? c - 4716.0 : c - 4715.0);
    return out;
}

}  // namespace

double ReduceDegrees(double degrees) {
    return ReduceToPeriod(degrees, 360.0);
}

double ReduceHours(double hours) {
    return ReduceToPeriod(hours, 24.0);
}

double JulianDay(std::int32_t year, std::int32_t month, double day, bool gregorian) {
    if (month <= 2) {
        year -= 1;
        month += 12;
    }
    double b = 0.0;
    if (gregorian) {
        const double centuries = std::floor(year / 100.0);
        b = 2.0 - centuries + std::floor(centuries / 4.0);
    }
    return std::floor(365.25 * (year + 4716)) + std::floor(30.6001 * (month + 1)) + day + b -
           1524.5;
}

CalendarDate CalendarDateFromJulianDay(double jd) {
    return CalendarDateFromJulianDayIn(jd, jd >= kFirstGregorianJulianDay);
}

CalendarTime CalendarTimeFromJulianDay(double jd) {
    return SplitDay(CalendarDateFromJulianDay(jd));
}

double DecimalYear(double jd) {
    const bool gregorianDay = jd >= kFirstGregorianJulianDay;
    const std::int32_t year = CalendarDateFromJulianDay(jd).year;
    const double newYear = JulianDay(year, 1, 1.0, year > 1582);
    const bool leap = gregorianDay ? IsGregorianLeapYear(year) : year % 4 == 0;
    return year + (jd - newYear) / (leap ? 366.0 : 365.0);
}

double DeltaT(double y) {
    if (y < -500.0 || y >= 2150.0) {
        const double u = (y - 1820.0) / 100.0;
        return -20.0 + 32.0 * u * u;
    }
    if (y < 500.0) {
        const double u = y / 100.0;
        return 10583.6 +
               u * (-1014.41 +
                    u * (33.78311 + u * (-5.952053 +
                                         u * (-0.1798452 + u * (0.022174192 + u * 0.0090316521)))));
    }
    if (y < 1600.0) {
        const double u = (y - 1000.0) / 100.0;
        return 1574.2 +
               u * (-556.01 +
                    u * (71.23472 + u * (0.319781 + u * (-0.8503463 +
                                                         u * (-0.005050998 + u * 0.0083572073)))));
    }
    if (y < 1700.0) {
        const double t = y - 1600.0;
        return 120.0 + t * (-0.9808 + t * (-0.01532 + t / 7129.0));
    }
    if (y < 1800.0) {
        const double t = y - 1700.0;
        return 8.83 + t * (0.1603 + t * (-0.0059285 + t * (0.00013336 - t / 1174000.0)));
    }
    if (y < 1860.0) {
        const double t = y - 1800.0;
        return 13.72 +
               t * (-0.332447 +
                    t * (0.0068612 +
                         t * (0.0041116 +
                              t * (-0.00037436 + t * (0.0000121272 +
                                                      t * (-0.0000001699 + t * 0.000000000875))))));
    }
    if (y < 1900.0) {
        const double t = y - 1860.0;
        return 7.62 + t * (0.5737 +
                           t * (-0.251754 + t * (0.01680668 + t * (-0.0004473624 + t / 233174.0))));
    }
    if (y < 1920.0) {
        const double t = y - 1900.0;
        return -2.79 + t * (1.494119 + t * (-0.0598939 + t * (0.0061966 - t * 0.000197)));
    }
    if (y < 1941.0) {
        const double t = y - 1920.0;
        return 21.20 + t * (0.84493 + t * (-0.076100 + t * 0.0020936));
    }
    if (y < 1961.0) {
        const double t = y - 1950.0;
        return 29.07 + t * (0.407 + t * (-1.0 / 233.0 + t / 2547.0));
    }
    if (y < 1986.0) {
        const double t = y - 1975.0;
        return 45.45 + t * (1.067 + t * (-1.0 / 260.0 - t / 718.0));
    }
    if (y < 2005.0) {
        const double t = y - 2000.0;
        return 63.86 + t * (0.3345 + t * (-0.060374 +
                                          t * (0.0017275 + t * (0.000651814 + t * 0.00002373599))));
    }
    if (y < 2050.0) {
        const double u = (y - 2000.0) / 100.0;
        return 62.92 + u * (32.217 + u * 55.89);
    }
    const double c = (y - 1820.0) / 100.0;
    return -205.72 + c * (56.28 + c * 32.0);
}

EarthPosition EarthHeliocentric(double jde) {
    const double tau = (jde - kJ2000) / kDaysPerJulianMillennium;
    EarthPosition out{};
    out.longitude = ReduceDegrees(EvaluateEarthSeries(kEarthLongitudeSeries, tau) * kDegPerRad);
    out.latitude = EvaluateEarthSeries(kEarthLatitudeSeries, tau) * kDegPerRad;
    out.radius = EvaluateEarthSeries(kEarthRadiusSeries, tau);
    return out;
}

double EarthRadiusVector(double jde) {
    return EvaluateEarthSeries(kEarthRadiusSeries, (jde - kJ2000) / kDaysPerJulianMillennium);
}

Nutation NutationAt(double jde) {
    const double t = (jde - kJ2000) / kDaysPerJulianCentury;
    const double t2 = t * t;
    const double t3 = t2 * t;
    // Fundamental arguments, degrees.
    const double d = ReduceDegrees(297.85036 + 445267.111480 * t - 0.0019142 * t2 + t3 / 189474.0);
    const double m = ReduceDegrees(357.52772 + 35999.05034 * t - 0.0001603 * t2 - t3 / 300000.0);
    const double mPrime =
        ReduceDegrees(134.96298 + 477198.867398 * t + 0.0086972 * t2 + t3 / 56250.0);
    const double f = ReduceDegrees(93.27191 + 483202.017538 * t - 0.0036825 * t2 + t3 / 327270.0);
    const double omega =
        ReduceDegrees(125.04452 - 1934.136261 * t + 0.0020708 * t2 + t3 / 450000.0);

    double longitude = 0.0;
    double obliquity = 0.0;
    for (const NutationTerm& row : kNutation) {
        const double argument =
            (row.d * d + row.m * m + row.mPrime * mPrime + row.f * f + row.omega * omega) *
            kRadPerDeg;
        longitude += (row.sine + row.sineT * t) * std::sin(argument);
        obliquity += (row.cosine + row.cosineT * t) * std::cos(argument);
    }
    return Nutation{longitude * 0.0001, obliquity * 0.0001};
}

double MeanObliquity(double jde) {
    const double u = (jde - kJ2000) / kDaysPerJulianCentury / 100.0;
    constexpr double kCoefficients[] = {23.43929111, -1.3002583,  -0.00043056, 0.55534722,
                                        -0.01427222, -0.06935278, -0.01084722, 0.00197778,
                                        0.00774167,  0.00160833,  0.00068056};
    double value = 0.0;
    for (std::size_t i = std::size(kCoefficients); i-- > 0;) {
        value = value * u + kCoefficients[i];
    }
    return value;
}

double TrueObliquity(double jde, const Nutation& nutation) {
    return MeanObliquity(jde) + nutation.obliquity / 3600.0;
}

EclipticPosition ApparentSolarLongitudeLatitude(double jde, const EarthPosition& earth,
                                                const Nutation& nutation) {
    // Geometric geocentric position of the sun: opposite the Earth.
    const double theta = ReduceDegrees(earth.longitude + 180.0);
    const double beta = -earth.latitude;

    // FK5 correction (arcseconds).
    const double t = (jde - kJ2000) / kDaysPerJulianCentury;
    const double lambdaPrime = theta - 1.397 * t - 0.00031 * t * t;
    const double fk5Longitude =
        -0.09033 + 0.03916 * (Cos(lambdaPrime) + Sin(lambdaPrime)) * std::tan(beta * kRadPerDeg);
    const double fk5Latitude = 0.03916 * (Cos(lambdaPrime) - Sin(lambdaPrime));

    const double aberration = 20.4898 / earth.radius;  // arcseconds
    EclipticPosition out{};
    out.longitude = theta + (fk5Longitude + nutation.longitude - aberration) / 3600.0;
    out.latitude = beta + fk5Latitude / 3600.0;
    return out;
}

EquatorialPosition EquatorialFromEcliptic(const EclipticPosition& ecliptic, double obliquity) {
    const double lambda = ecliptic.longitude * kRadPerDeg;
    const double beta = ecliptic.latitude * kRadPerDeg;
    const double epsilon = obliquity * kRadPerDeg;
    double alpha =
        std::atan2(std::sin(lambda) * std::cos(epsilon) - std::tan(beta) * std::sin(epsilon),
                   std::cos(lambda)) *
        12.0 / kPi;
    if (alpha < 0.0) {
        alpha += 24.0;
    }
    const double delta = std::asin(std::sin(beta) * std::cos(epsilon) +
                                   std::cos(beta) * std::sin(epsilon) * std::sin(lambda));
    return EquatorialPosition{alpha, delta * kDegPerRad};
}

ApparentSun ApparentSunAt(double jde) {
    ApparentSun sun{};
    sun.earth = EarthHeliocentric(jde);
    sun.nutation = NutationAt(jde);
    sun.obliquity = TrueObliquity(jde, sun.nutation);
    sun.ecliptic = ApparentSolarLongitudeLatitude(jde, sun.earth, sun.nutation);
    sun.equatorial = EquatorialFromEcliptic(sun.ecliptic, sun.obliquity);
    return sun;
}

double MeanSiderealTime(double jd) {
    // The Julian day of the same calendar date at 0 h is the preceding half day, whichever
    // calendar the date is in; the time since then, in degrees, is 360 × that day fraction.
    const double j0 = std::floor(jd + 0.5) - 0.5;
    const double t0 = (j0 - kJ2000) / kDaysPerJulianCentury;
    const double theta0 = 100.46061837 + 36000.770053608 * t0 + 0.000387933 * t0 * t0 -
                          t0 * t0 * t0 / 38710000.0 + 1.00273790935 * (360.0 * (jd - j0));
    return ReduceHours(theta0 / 15.0);
}

double ApparentSiderealTime(double jd, const Nutation& nutation, double trueObliquity) {
    // Equation of the equinoxes: Δψ·cos ε arcseconds of arc, /15 → seconds of time.
    return ReduceHours(MeanSiderealTime(jd) + nutation.longitude * Cos(trueObliquity) / 54000.0);
}

double ApparentSiderealTime(double jd) {
    const Nutation nutation = NutationAt(jd);
    return ApparentSiderealTime(jd, nutation, TrueObliquity(jd, nutation));
}

EquatorialPosition TopocentricCorrection(const EquatorialPosition& geocentric, double radius,
                                         double siderealHours, double longitudeWest,
                                         double latitude, double elevation) {
    const double phi = latitude * kRadPerDeg;
    const double u = std::atan(kEarthAxisRatio * std::tan(phi));
    const double heightRatio = elevation / kEarthRadiusMetres;
    const double rhoSinPhi = kEarthAxisRatio * std::sin(u) + heightRatio * std::sin(phi);
    const double rhoCosPhi = std::cos(u) + heightRatio * std::cos(phi);
    const double sinParallax = std::sin(kSolarParallaxArcsec / 3600.0 * kRadPerDeg) / radius;

    const double hourAngle =
        (siderealHours - longitudeWest / 15.0 - geocentric.rightAscension) * 15.0 * kRadPerDeg;
    const double delta = geocentric.declination * kRadPerDeg;
    const double denominator = std::cos(delta) - rhoCosPhi * sinParallax * std::cos(hourAngle);
    const double deltaAlpha =
        std::atan2(-rhoCosPhi * sinParallax * std::sin(hourAngle), denominator);
    EquatorialPosition out{};
    out.rightAscension = ReduceHours(geocentric.rightAscension + deltaAlpha * 12.0 / kPi);
    out.declination = std::atan2((std::sin(delta) - rhoSinPhi * sinParallax) * std::cos(deltaAlpha),
                                 denominator) *
                      kDegPerRad;
    return out;
}

HorizontalPosition HorizontalFromEquatorial(double hourAngleHours, double declination,
                                            double latitude) {
    const double h = hourAngleHours * 15.0 * kRadPerDeg;
    const double phi = latitude * kRadPerDeg;
    const double delta = declination * kRadPerDeg;
    double azimuth =
        std::atan2(std::sin(h), std::cos(h) * std::sin(phi) - std::tan(delta) * std::cos(phi)) *
        kDegPerRad;
    if (azimuth < 0.0) {
        azimuth += 360.0;
    }
    const double altitude =
        std::asin(std::sin(phi) * std::sin(delta) + std::cos(phi) * std::cos(delta) * std::cos(h));
    return HorizontalPosition{azimuth, altitude * kDegPerRad};
}

double Refraction(double altitude, double pressure, double temperature) {
    // h + 10.3/(h + 5.11) is smallest at h = √10.3 − 5.11; below that the formula would turn
    // back towards zero refraction and then diverge at −5.11°.
    constexpr double kTurningPoint = -1.9006387000003735;
    const double h = std::max(altitude, kTurningPoint);
    const double arcminutes = 1.02 / std::tan((h + 10.3 / (h + 5.11)) * kRadPerDeg) + 0.0019279;
    return arcminutes * (pressure / 1010.0) * (283.0 / (273.0 + temperature)) / 60.0;
}

bool RefractionApplies(double pressure, double temperature) {
    return pressure >= kRefractionMinPressureMb && pressure <= kRefractionMaxPressureMb &&
           temperature >= kRefractionMinTemperatureC && temperature <= kRefractionMaxTemperatureC;
}

TopocentricSun TopocentricSunAt(double jd, double deltaT, const Site& site) {
    const double jde = jd + deltaT / 86400.0;
    const ApparentSun sun = ApparentSunAt(jde);
    // The parallax uses the sidereal time at the dynamical instant, the hour angle of the
    // horizontal position the one at the UT instant.
    const double siderealJde = ApparentSiderealTime(jde, sun.nutation, sun.obliquity);
    const EquatorialPosition topocentric =
        TopocentricCorrection(sun.equatorial, sun.earth.radius, siderealJde, site.longitudeWest,
                              site.latitude, site.elevation);
    const double hourAngle =
        ApparentSiderealTime(jd) - site.longitudeWest / 15.0 - topocentric.rightAscension;
    const HorizontalPosition horizontal =
        HorizontalFromEquatorial(hourAngle, topocentric.declination, site.latitude);
    TopocentricSun out{};
    out.refracted = RefractionApplies(site.pressure, site.temperature);
    const double refraction =
        out.refracted ? Refraction(horizontal.altitude, site.pressure, site.temperature) : 0.0;
    // Near the zenith the refraction can lift the altitude a hair past 90°.
    out.altitude = std::clamp(horizontal.altitude + refraction, -90.0, 90.0);
    out.azimuthFromSouth = horizontal.azimuthFromSouth;
    return out;
}

namespace {

// Local civil time of an event at day fraction m (UT) of the day starting at j0. The date
// is read in the proleptic Gregorian calendar, the one the requested date was read in.
SunEvent LocalEvent(double j0, std::int32_t timeZone, double m) {
    const double jd = j0 + (timeZone + 24.0 * m) / 24.0;
    const CalendarTime t = SplitDay(CalendarDateFromJulianDayIn(jd, true));
    return SunEvent{1, t.year, t.month, t.day, t.hour, t.minute, t.second};
}

int CompareDates(const SunEvent& event, std::int32_t year, std::int32_t month, std::int32_t day) {
    if (event.year != year) {
        return event.year < year ? -1 : 1;
    }
    if (event.month != month) {
        return event.month < month ? -1 : 1;
    }
    if (event.day != day) {
        return event.day < day ? -1 : 1;
    }
    return 0;
}

}  // namespace

RiseTransitSet RiseTransitSetForUtDay(double j0, std::int32_t timeZone, double zenithLimit,
                                      const Site& site) {
    // Geocentric apparent positions a day apart, each day taken as dynamical time.
    const ApparentSun before = ApparentSunAt(j0 - 1.0);
    const ApparentSun today = ApparentSunAt(j0);
    const ApparentSun after = ApparentSunAt(j0 + 1.0);
    double alpha1 = before.equatorial.rightAscension;
    double alpha2 = today.equatorial.rightAscension;
    double alpha3 = after.equatorial.rightAscension;
    const double delta1 = before.equatorial.declination;
    const double delta2 = today.equatorial.declination;
    const double delta3 = after.equatorial.declination;

    const double h0 = 90.0 - zenithLimit;
    const double theta0 = 15.0 * ApparentSiderealTime(j0, today.nutation, today.obliquity);
    const double deltaTDays = DeltaT(DecimalYear(j0)) / 86400.0;
    const double lon = site.longitudeWest;
    const double phi = site.latitude;

    RiseTransitSet out{};
    const double cosH0 = (Sin(h0) - Sin(phi) * Sin(delta2)) / (Cos(phi) * Cos(delta2));
    double mTransit = IntoUnitInterval((15.0 * alpha2 + lon - theta0) / 360.0);
    double mRise = 0.0;
    double mSet = 0.0;
    bool riseAndSet = false;
    bool transit = false;
    if (cosH0 > -1.0 && cosH0 < 1.0) {
        riseAndSet = true;
        transit = true;
        const double h0Angle = std::acos(cosH0) * kDegPerRad;
        mRise = IntoUnitInterval(mTransit - h0Angle / 360.0);
        mSet = IntoUnitInterval(mTransit + h0Angle / 360.0);
    } else if (cosH0 <= -1.0) {
        transit = true;  // above the limit all day
    }
    // Otherwise (cosH0 ≥ 1, or not a number at a pole) the sun stays below: nothing is valid.

    // Keep the three right ascensions on one branch across 0 h.
    if (alpha2 - alpha1 > 12.0) {
        alpha1 += 24.0;
    } else if (alpha2 - alpha1 < -12.0) {
        alpha2 += 24.0;
    }
    if (alpha3 - alpha2 > 12.0) {
        alpha2 += 24.0;
    } else if (alpha3 - alpha2 < -12.0) {
        alpha3 += 24.0;
    }

    // Local hour angle (degrees, not reduced) and declination of the sun at day fraction m.
    auto hourAngleAt = [&](double m, double* declination) {
        const double n = m + deltaTDays;
        const double theta = ReduceDegrees(theta0 + 360.985647 * m);
        const double alpha = InterpolateThree(alpha1, alpha2, alpha3, n);
        *declination = InterpolateThree(delta1, delta2, delta3, n);
        return theta - lon - 15.0 * alpha;
    };
    auto correctRiseOrSet = [&](double& m) {
        double declination = 0.0;
        const double hourAngle = hourAngleAt(m, &declination);
        const double altitude =
            HorizontalFromEquatorial(hourAngle / 15.0, declination, phi).altitude;
        const double correction =
            (altitude - h0) / (360.0 * Cos(declination) * Cos(phi) * Sin(hourAngle));
        // At the very edge of polar day or night sin H vanishes; keep the estimate then.
        if (std::isfinite(correction)) {
            m += correction;
        }
    };
    for (int pass = 0; pass < 2; ++pass) {
        if (riseAndSet) {
            correctRiseOrSet(mRise);
            correctRiseOrSet(mSet);
        }
        double declination = 0.0;
        double hourAngle = ReduceDegrees(hourAngleAt(mTransit, &declination));
        if (hourAngle > 180.0) {
            hourAngle -= 360.0;
        }
        mTransit -= hourAngle / 360.0;
    }

    if (riseAndSet) {
        out.sunrise = LocalEvent(j0, timeZone, mRise);
        out.sunset = LocalEvent(j0, timeZone, mSet);
    }
    if (transit) {
        out.transit = LocalEvent(j0, timeZone, mTransit);
    }
    return out;
}

RiseTransitSet RiseTransitSetForLocalDate(std::int32_t year, std::int32_t month, std::int32_t day,
                                          std::int32_t timeZone, double zenithLimit,
                                          const Site& site) {
    const double j0 = JulianDay(year, month, day, true);
    // A day past the month's end (Feb 31) is read as the date it runs on to (Mar 2 or 3),
    // as for the position; the events are then expected on that date.
    const CalendarDate date = CalendarDateFromJulianDayIn(j0, true);
    year = date.year;
    month = date.month;
    day = static_cast<std::int32_t>(date.day);
    RiseTransitSet out = RiseTransitSetForUtDay(j0, timeZone, zenithLimit, site);
    // With a time zone far from the site's longitude an event of this UT day can fall on the
    // neighbouring local date; the neighbouring UT day then holds the one for this date.
    const int riseSide = out.sunrise.valid ? CompareDates(out.sunrise, year, month, day) : 0;
    if (riseSide != 0) {
        out.sunrise = RiseTransitSetForUtDay(j0 - riseSide, timeZone, zenithLimit, site).sunrise;
    }
    const int setSide = out.sunset.valid ? CompareDates(out.sunset, year, month, day) : 0;
    if (setSide != 0) {
        out.sunset = RiseTransitSetForUtDay(j0 - setSide, timeZone, zenithLimit, site).sunset;
    }
    return out;
}

}  // namespace SolarPosition
