// The steps of the solar position against published worked values (Meeus, Astronomical
// Algorithms 2nd ed., examples 7.a–7.c, 12.a/b, 22.a, 25.b; the NREL solar position report's
// example for 2003 Oct 17). Every tolerance is stated where it is used.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "core/SunPositionSteps.h"
#include "core/SunPositionTables.h"

using namespace SolarPosition;

namespace {

constexpr double kArcsec = 1.0 / 3600.0;  // degrees

double Dms(double d, double m, double s) {
    return d + m / 60.0 + s / 3600.0;
}
double Hms(double h, double m, double s) {
    return h + m / 60.0 + s / 3600.0;
}

}  // namespace

TEST(SolarCalendar, JulianDayOfPublishedDates) {
    // Exact to the last digit printed: 1e-9 d.
    EXPECT_NEAR(JulianDay(2000, 1, 1.5), 2451545.0, 1e-9);
    EXPECT_NEAR(JulianDay(1987, 1, 27.0), 2446822.5, 1e-9);
    EXPECT_NEAR(JulianDay(1988, 6, 19.5), 2447332.0, 1e-9);
    EXPECT_NEAR(JulianDay(1600, 1, 1.0), 2305447.5, 1e-9);
    EXPECT_NEAR(JulianDay(1957, 10, 4.81), 2436116.31, 1e-9);
    EXPECT_NEAR(JulianDay(1582, 10, 15.0), kFirstGregorianJulianDay, 1e-9);
    // Julian-calendar dates.
    EXPECT_NEAR(JulianDay(333, 1, 27.5, false), 1842713.0, 1e-9);
    EXPECT_NEAR(JulianDay(-1000, 7, 12.5, false), 1356001.0, 1e-9);
    EXPECT_NEAR(JulianDay(1582, 10, 4.0, false), 2299159.5, 1e-9);
    // Negative years in the Gregorian calendar need floor, not truncation, of year/100.
    EXPECT_NEAR(JulianDay(-2000, 1, 1.0) + 365.0 * 4000 + 970.0, JulianDay(2000, 1, 1.0), 1e-9);
}

TEST(SolarCalendar, CalendarDateOfPublishedJulianDays) {
    const CalendarDate sputnik = CalendarDateFromJulianDay(2436116.31);
    EXPECT_EQ(sputnik.year, 1957);
    EXPECT_EQ(sputnik.month, 10);
    EXPECT_NEAR(sputnik.day, 4.81, 1e-8);  // 1e-8 d: the fraction carries JD rounding

    const CalendarDate julian = CalendarDateFromJulianDay(1842713.0);  // Julian calendar
    EXPECT_EQ(julian.year, 333);
    EXPECT_EQ(julian.month, 1);
    EXPECT_NEAR(julian.day, 27.5, 1e-9);

    const CalendarDate ancient = CalendarDateFromJulianDay(1507900.13);
    EXPECT_EQ(ancient.year, -584);
    EXPECT_EQ(ancient.month, 5);
    EXPECT_NEAR(ancient.day, 28.63, 1e-8);

    // Calendar switch: the day before 1582 Oct 15 is Oct 4 (Julian calendar).
    EXPECT_EQ(CalendarDateFromJulianDay(2299160.5).day, 15.0);
    EXPECT_EQ(CalendarDateFromJulianDay(2299159.5).day, 4.0);
}

TEST(SolarCalendar, RoundTripsThroughTimeOfDay) {
    for (std::int32_t year : {-2000, -1, 0, 1581, 1583, 1900, 2000, 2024, 3000}) {
        for (std::int32_t month : {1, 2, 3, 12}) {
            const double day = 28.0 + (12.0 * 3600 + 34 * 60 + 56.5) / 86400.0;
            const double jd = JulianDay(year, month, day, year > 1582);
            const CalendarTime t = CalendarTimeFromJulianDay(jd);
            EXPECT_EQ(t.year, year);
            EXPECT_EQ(t.month, month);
            EXPECT_EQ(t.day, 28);
            EXPECT_EQ(t.hour, 12);
            EXPECT_EQ(t.minute, 34);
            EXPECT_NEAR(t.second, 56.5, 1e-4);  // 0.1 ms: a Julian day resolves ~40 µs
        }
    }
    // A fraction a hair below the next midnight must not read as 24:00.
    const CalendarTime late = CalendarTimeFromJulianDay(std::nextafter(2451545.5, 0.0));
    EXPECT_EQ(late.hour, 23);
    EXPECT_EQ(late.minute, 59);
    EXPECT_LT(late.second, 60.0);
}

TEST(SolarCalendar, DecimalYear) {
    EXPECT_NEAR(DecimalYear(JulianDay(2000, 1, 1.0)), 2000.0, 1e-12);
    // 2000 is a leap year (366 days), 1900 is not (Gregorian), 1500 is (Julian calendar).
    EXPECT_NEAR(DecimalYear(JulianDay(2000, 7, 2.0)), 2000.0 + 183.0 / 366.0, 1e-9);
    EXPECT_NEAR(DecimalYear(JulianDay(1900, 7, 2.0)), 1900.0 + 182.0 / 365.0, 1e-9);
    EXPECT_NEAR(DecimalYear(JulianDay(1500, 12, 31.0, false)), 1500.0 + 365.0 / 366.0, 1e-9);
}

TEST(SolarDeltaT, PublishedValuesAndContinuity) {
    // The fits' constant terms at their reference years (exact).
    EXPECT_NEAR(DeltaT(2000.0), 63.86, 1e-9);
    EXPECT_NEAR(DeltaT(1975.0), 45.45, 1e-9);
    EXPECT_NEAR(DeltaT(1950.0), 29.07, 1e-9);
    EXPECT_NEAR(DeltaT(1920.0), 21.20, 1e-9);
    EXPECT_NEAR(DeltaT(1900.0), -2.79, 1e-9);
    EXPECT_NEAR(DeltaT(1860.0), 7.62, 1e-9);
    EXPECT_NEAR(DeltaT(1800.0), 13.72, 1e-9);
    EXPECT_NEAR(DeltaT(1700.0), 8.83, 1e-9);
    EXPECT_NEAR(DeltaT(1600.0), 120.0, 1e-9);
    EXPECT_NEAR(DeltaT(1000.0), 1574.2, 1e-9);
    EXPECT_NEAR(DeltaT(0.0), 10583.6, 1e-9);
    EXPECT_NEAR(DeltaT(2010.0), 62.92 + 3.2217 + 0.5589, 1e-9);
    EXPECT_NEAR(DeltaT(2200.0), -20.0 + 32.0 * 3.8 * 3.8, 1e-9);
    EXPECT_NEAR(DeltaT(-1000.0), -20.0 + 32.0 * 28.2 * 28.2, 1e-9);
    // Observed ΔT 1990.0 was 56.86 s; the fit gives 56.89 s (0.1 s).
    EXPECT_NEAR(DeltaT(1990.0), 56.86, 0.1);

    // Neighbouring fits meet at the interval bounds; a mistyped coefficient shows as a jump.
    // The published fits agree within 0.3 s there (1 s allowed; 0.1 % of ΔT before 1600).
    for (double y : {-500.0, 500.0, 1600.0, 1700.0, 1800.0, 1860.0, 1900.0, 1920.0, 1941.0, 1961.0,
                     1986.0, 2005.0, 2050.0, 2150.0}) {
        const double below = DeltaT(std::nextafter(y, -1e9));
        const double above = DeltaT(y);
        EXPECT_NEAR(below, above, std::max(1.0, 1e-3 * std::abs(above))) << "at " << y;
    }
}

TEST(SolarNutation, MeeusExample22a) {
    // 1987 Apr 10.0 TD.
    const double jde = 2446895.5;
    const Nutation n = NutationAt(jde);
    EXPECT_NEAR(n.longitude, -3.788, 0.0005);  // arcseconds, last printed digit
    EXPECT_NEAR(n.obliquity, 9.443, 0.0005);
    // Laskar's polynomial against the printed 23°26′27.407″: within 0.002″.
    EXPECT_NEAR(MeanObliquity(jde), Dms(23, 26, 27.407), 0.002 * kArcsec);
    EXPECT_NEAR(TrueObliquity(jde, n), Dms(23, 26, 36.850), 0.002 * kArcsec);
}

TEST(SolarSiderealTime, MeeusExamples12aAnd12b) {
    // 1987 Apr 10 0h UT: 13h10m46.3668s mean, 13h10m46.1351s apparent (0.0001 s of time).
    const double jd = 2446895.5;
    EXPECT_NEAR(MeanSiderealTime(jd), Hms(13, 10, 46.3668), 0.0001 / 3600.0);
    EXPECT_NEAR(ApparentSiderealTime(jd), Hms(13, 10, 46.1351), 0.0001 / 3600.0);
    // 1987 Apr 10 19h21m00s UT: mean 8h34m57.0896s (0.001 s of time).
    const double later = jd + (19.0 + 21.0 / 60.0) / 24.0;
    EXPECT_NEAR(MeanSiderealTime(later), Hms(8, 34, 57.0896), 0.001 / 3600.0);
}

TEST(SolarEarth, MeeusExample25bWithTheAbridgedSeries) {
    // 1992 Oct 13.0 TD.
    const double jde = 2448908.5;
    const EarthPosition earth = EarthHeliocentric(jde);
    EXPECT_NEAR(earth.longitude, 19.907372, 1e-6);  // degrees, last printed digit
    EXPECT_NEAR(earth.latitude, -0.000179, 1e-6);
    EXPECT_NEAR(earth.radius, 0.99760775, 1e-8);  // AU
    EXPECT_NEAR(EarthRadiusVector(jde), earth.radius, 1e-15);

    const ApparentSun sun = ApparentSunAt(jde);
    EXPECT_NEAR(ReduceDegrees(earth.longitude + 180.0), 199.907372, 1e-6);
    EXPECT_NEAR(sun.nutation.longitude, 15.908, 0.0005);  // arcseconds
    // Apparent longitude with FK5 correction, nutation and aberration: 199°54′21.818″ (0.01″).
    EXPECT_NEAR(sun.ecliptic.longitude, Dms(199, 54, 21.818), 0.01 * kArcsec);
    // Right ascension and declination: within 1e-6° (last printed digit).
    EXPECT_NEAR(sun.equatorial.rightAscension * 15.0, 198.378178, 1e-6);
    EXPECT_NEAR(sun.equatorial.declination, -7.783871, 1e-6);
}

TEST(SolarEarth, NrelExampleIntermediateValues) {
    // 2003 Oct 17 12:30:30 local (UT−7), ΔT = 67 s. The reference omits the FK5 correction
    // (−0.09″ in λ), so λ, α and δ agree within 5e-5°; the series to its 10 printed digits
    // (1e-9), nutation and obliquity to the last printed digit.
    const double jd = JulianDay(2003, 10, 17.0 + (12.5 + 7.0) / 24.0 + 30.0 / 86400.0);
    EXPECT_NEAR(jd, 2452930.312847, 1e-6);
    const double jde = jd + 67.0 / 86400.0;
    const ApparentSun sun = ApparentSunAt(jde);
    EXPECT_NEAR(sun.earth.longitude, 24.0182616917, 1e-9);
    EXPECT_NEAR(sun.earth.latitude, -0.0001011219, 1e-9);
    EXPECT_NEAR(sun.earth.radius, 0.9965422974, 1e-9);
    EXPECT_NEAR(sun.nutation.longitude * kArcsec, -0.00399840, 1e-7);
    EXPECT_NEAR(sun.nutation.obliquity * kArcsec, 0.00166657, 1e-7);
    EXPECT_NEAR(sun.obliquity, 23.440465, 1e-6);
    EXPECT_NEAR(sun.ecliptic.longitude, 204.0085519281, 5e-5);
    EXPECT_NEAR(sun.equatorial.rightAscension * 15.0, 202.22741, 5e-5);
    EXPECT_NEAR(sun.equatorial.declination, -9.31434, 5e-5);
}

TEST(SolarTopocentric, ParallaxMovesTheSunAwayFromTheZenith) {
    // A sun on the meridian 50° south of the zenith: parallax lowers it along the meridian by
    // the 8.794″ horizontal parallax times ρ·sin z, i.e. the declination drops by ~6.7″.
    const EquatorialPosition geo{12.0, -10.0};
    const EquatorialPosition topo = TopocentricCorrection(geo, 1.0, 12.0, 0.0, 40.0, 0.0);
    EXPECT_NEAR(topo.rightAscension, 12.0, 1e-9);  // on the meridian α is unchanged
    EXPECT_NEAR(geo.declination - topo.declination,
                8.794 * kArcsec * std::sin(50.0 * std::numbers::pi / 180),
                0.05 * kArcsec);  // within 0.05″ (geocentric vs. geodetic latitude)
    // West of the meridian the sun appears later in right ascension order (smaller α).
    const EquatorialPosition west = TopocentricCorrection(geo, 1.0, 15.0, 0.0, 40.0, 0.0);
    EXPECT_LT(west.rightAscension, geo.rightAscension);
}

TEST(SolarHorizontal, AzimuthFromSouthAndAltitude) {
    // On the meridian, south of the zenith: azimuth 0, altitude 90 − φ + δ.
    HorizontalPosition p = HorizontalFromEquatorial(0.0, -10.0, 40.0);
    EXPECT_NEAR(p.azimuthFromSouth, 0.0, 1e-12);
    EXPECT_NEAR(p.altitude, 40.0, 1e-12);
    // Six hours west of the meridian on the equator: due west (90 from south), on the horizon.
    p = HorizontalFromEquatorial(6.0, 0.0, 0.0);
    EXPECT_NEAR(p.azimuthFromSouth, 90.0, 1e-9);
    EXPECT_NEAR(p.altitude, 0.0, 1e-9);
    // Six hours east: due east, 270 from south.
    p = HorizontalFromEquatorial(-6.0, 0.0, 0.0);
    EXPECT_NEAR(p.azimuthFromSouth, 270.0, 1e-9);
}

TEST(SolarRefraction, SaemundssonWithPressureAndTemperature) {
    // Standard conditions (1010 mbar, 10 °C): 0.0 at the zenith by construction (within
    // 1e-5°), about 28.9′ at the horizon (Sæmundsson; within 0.1′).
    EXPECT_NEAR(Refraction(90.0, 1010.0, 10.0), 0.0, 1e-5);
    EXPECT_NEAR(Refraction(0.0, 1010.0, 10.0) * 60.0, 28.9, 0.1);
    // Proportional to pressure, inversely to absolute temperature.
    EXPECT_NEAR(Refraction(10.0, 505.0, 10.0), Refraction(10.0, 1010.0, 10.0) / 2.0, 1e-15);
    EXPECT_NEAR(Refraction(10.0, 1010.0, 293.0), Refraction(10.0, 1010.0, 10.0) / 2.0, 1e-15);
    EXPECT_EQ(Refraction(10.0, 0.0, 10.0), 0.0);
    // Below the turning point the formula is clamped: the value stops growing and stays finite
    // all the way down, across the pole of the unclamped formula at −5.11°.
    const double atTurn = Refraction(-1.9006387000003735, 1010.0, 10.0);
    EXPECT_EQ(Refraction(-2.5, 1010.0, 10.0), atTurn);
    EXPECT_EQ(Refraction(-5.11, 1010.0, 10.0), atTurn);
    EXPECT_EQ(Refraction(-90.0, 1010.0, 10.0), atTurn);
    EXPECT_GT(atTurn, Refraction(-1.0, 1010.0, 10.0));
}

TEST(SolarReduction, KeepsTheUpperBound) {
    EXPECT_EQ(ReduceDegrees(360.0), 360.0);
    EXPECT_EQ(ReduceDegrees(720.0), 360.0);
    EXPECT_EQ(ReduceDegrees(-360.0), 0.0);
    EXPECT_NEAR(ReduceDegrees(-10.0), 350.0, 1e-12);
    EXPECT_NEAR(ReduceDegrees(1e7 + 0.5), std::fmod(1e7 + 0.5, 360.0), 1e-9);
    EXPECT_EQ(ReduceHours(24.0), 24.0);
    EXPECT_NEAR(ReduceHours(-1.0), 23.0, 1e-12);
    EXPECT_NEAR(ReduceHours(49.0), 1.0, 1e-12);
}

TEST(SolarTables, FirstRowsAsPublished) {
    // Spot checks of the rows the rest of the tests depend on least.
    EXPECT_EQ(kEarthL0[1].a, 3341656.0);
    EXPECT_EQ(kEarthL0[1].b, 4.6692568);
    EXPECT_EQ(kEarthL0[1].c, 6283.07585);
    EXPECT_EQ(kEarthL1[0].a, 628331966747.0);
    EXPECT_EQ(kEarthR0[0].a, 100013989.0);
    EXPECT_EQ(kEarthL5[0].b, 3.14);
    EXPECT_EQ(kEarthR4[0].a, 4.0);
    EXPECT_EQ(kEarthR4[0].b, 2.56);
    EXPECT_EQ(kNutation[0].sine, -171996);
    EXPECT_EQ(kNutation[0].sineT, -174.2);
    EXPECT_EQ(kNutation[0].cosine, 92025);
    EXPECT_EQ(kNutation[0].cosineT, 8.9);
}
