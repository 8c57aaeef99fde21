// CalculateSunPosition: the full topocentric position against the NREL worked example, the
// output conventions, the input checks and the rise/transit/set search.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <vector>

#include "core/SunPosition.h"
#include "core/SunPositionSteps.h"

using namespace SolarPosition;

namespace {

// The NREL example site: Golden, Colorado.
SunPositionRequest GoldenRequest() {
    SunPositionRequest r{};
    r.year = 2003;
    r.month = 10;
    r.day = 17;
    r.hour = 12;
    r.minute = 30;
    r.second = 30;
    r.timeZone = -7;
    r.longitude = 105.1786;  // west
    r.latitude = 39.742476;
    r.elevation = 1830.14;
    r.pressure = 820.0;
    r.temperature = 11.0;
    r.zenithLimit = 90.8333;
    r.request = SUNPOS_ALTAZ | SUNPOS_ZENAZ | SUNPOS_RISESET;
    return r;
}

Site SiteOf(const SunPositionRequest& r) {
    return Site{r.longitude, r.latitude, r.elevation, r.pressure, r.temperature};
}

SunPositionResult Filled() {
    SunPositionResult result;
    std::memset(&result, 0x5A, sizeof result);
    return result;
}

bool SameBytes(const SunPositionResult& a, const SunPositionResult& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Geometric geocentric altitude and hour angle (degrees, in (−180, 180]) of the sun at a
// local civil time given as an event.
struct GeocentricSun {
    double altitude;
    double hourAngle;
};
GeocentricSun GeocentricAt(const SunEvent& e, std::int32_t timeZone, const Site& site) {
    const double localDay = e.day + (e.hour + e.minute / 60.0 + e.second / 3600.0) / 24.0;
    const double jd = JulianDay(e.year, e.month, localDay) - timeZone / 24.0;
    const ApparentSun sun = ApparentSunAt(jd + DeltaT(DecimalYear(jd)) / 86400.0);
    const double hourAngle =
        ApparentSiderealTime(jd) - site.longitudeWest / 15.0 - sun.equatorial.rightAscension;
    double hourAngleDeg = ReduceDegrees(hourAngle * 15.0);
    if (hourAngleDeg > 180.0) {
        hourAngleDeg -= 360.0;
    }
    return GeocentricSun{
        HorizontalFromEquatorial(hourAngle, sun.equatorial.declination, site.latitude).altitude,
        hourAngleDeg};
}

}  // namespace

TEST(SolarPosition, NrelExampleWithDeltaTForcedTo67Seconds) {
    const SunPositionRequest r = GoldenRequest();
    const double jd =
        JulianDay(r.year, r.month,
                  r.day + (r.hour - r.timeZone) / 24.0 + r.minute / 1440.0 + r.second / 86400.0);
    const TopocentricSun sun = TopocentricSunAt(jd, 67.0, SiteOf(r));
    // Published: zenith 50.11162°, azimuth 194.34024° (within 0.0005°).
    EXPECT_NEAR(90.0 - sun.altitude, 50.11162, 0.0005);
    EXPECT_NEAR(ReduceDegrees(sun.azimuthFromSouth + 180.0), 194.34024, 0.0005);

    // The module's own ΔT for late 2003 (about 64.6 s) moves the sun by a few 1e-5° only.
    SunPositionResult result{};
    ASSERT_EQ(CalculateSunPosition(r, result), 0);
    EXPECT_NEAR(result.zenith, 90.0 - sun.altitude, 0.001);
    EXPECT_NEAR(result.azimuth, ReduceDegrees(sun.azimuthFromSouth + 180.0), 0.001);
}

TEST(SolarPosition, OutputConventionsAgreeAcrossRequestBits) {
    SunPositionRequest r = GoldenRequest();
    for (std::int32_t hour = 0; hour < 24; hour += 3) {
        r.hour = hour;
        r.request = SUNPOS_ALTAZ;
        SunPositionResult altAz = Filled();
        ASSERT_EQ(CalculateSunPosition(r, altAz), 0);
        r.request = SUNPOS_ZENAZ;
        SunPositionResult zenAz = Filled();
        ASSERT_EQ(CalculateSunPosition(r, zenAz), 0);

        EXPECT_EQ(zenAz.zenith, 90.0 - altAz.altitude) << "hour " << hour;
        EXPECT_EQ(zenAz.azimuth, ReduceDegrees(altAz.azimuthFromSouth + 180.0)) << "hour " << hour;
        EXPECT_GE(zenAz.azimuth, 0.0);
        EXPECT_LE(zenAz.azimuth, 360.0);
        EXPECT_GE(altAz.azimuthFromSouth, 0.0);
        EXPECT_LE(altAz.azimuthFromSouth, 360.0);

        // Each bit writes its own pair and nothing else.
        const SunPositionResult untouched = Filled();
        EXPECT_EQ(std::memcmp(&altAz.zenith, &untouched.zenith, sizeof(double) * 2), 0);
        EXPECT_EQ(std::memcmp(&zenAz.altitude, &untouched.altitude, sizeof(double) * 2), 0);
        EXPECT_EQ(std::memcmp(&zenAz.sunrise, &untouched.sunrise, sizeof(SunEvent) * 3), 0);
    }
}

TEST(SolarPosition, SunAtTransitIsDueSouthOrNorth) {
    // At a northern mid-latitude site the sun transits due south: azimuth 180 from north,
    // 0 (or 360) from south.
    SunPositionRequest r = GoldenRequest();
    r.request = SUNPOS_RISESET;
    SunPositionResult events{};
    ASSERT_EQ(CalculateSunPosition(r, events), 0);
    ASSERT_EQ(events.transit.valid, 1);
    r.hour = events.transit.hour;
    r.minute = events.transit.minute;
    r.second = static_cast<std::int32_t>(std::lround(events.transit.second)) % 60;
    r.request = SUNPOS_ALTAZ | SUNPOS_ZENAZ;
    SunPositionResult at{};
    ASSERT_EQ(CalculateSunPosition(r, at), 0);
    // One second of time and the parallax in hour angle keep it within 0.02°.
    EXPECT_NEAR(at.azimuth, 180.0, 0.02);
    EXPECT_NEAR(std::min(at.azimuthFromSouth, 360.0 - at.azimuthFromSouth), 0.0, 0.02);
}

TEST(SolarPosition, RefractionUsesTheClampedAltitudeOnly) {
    // Deep below the horizon (local midnight): apparent altitude = geometric altitude plus
    // the refraction at the clamp point; without air (pressure 0) it is the geometric one.
    SunPositionRequest r = GoldenRequest();
    r.hour = 0;
    r.minute = 30;
    r.request = SUNPOS_ALTAZ;
    SunPositionResult withAir{};
    ASSERT_EQ(CalculateSunPosition(r, withAir), 0);
    r.pressure = 0.0;
    SunPositionResult noAir{};
    ASSERT_EQ(CalculateSunPosition(r, noAir), 0);
    ASSERT_LT(noAir.altitude, -30.0);
    EXPECT_NEAR(withAir.altitude - noAir.altitude, Refraction(-1.9006387000003735, 820.0, 11.0),
                1e-12);
}

TEST(SolarPosition, RefractionOnlyInAirItsFormulaHolds) {
    // Just above absolute zero the density factor 283/(273 + t) explodes: the altitude came
    // out as millions of degrees with a success code. Outside its range the refraction is
    // left out and the result says so; every angle stays in its range.
    SunPositionRequest r = GoldenRequest();
    r.request = SUNPOS_ALTAZ | SUNPOS_ZENAZ;
    SunPositionResult geometric{};
    r.pressure = 0.0;
    ASSERT_EQ(CalculateSunPosition(r, geometric), 0);
    EXPECT_EQ(geometric.refracted, 1);  // no air: no refraction, and rightly so

    struct Air {
        double pressure;
        double temperature;
    };
    for (const Air air : {Air{820.0, -272.9999999}, Air{820.0, -150.0}, Air{820.0, 200.0},
                          Air{1500.0, 11.0}, Air{5000.0, 11.0}}) {
        r.pressure = air.pressure;
        r.temperature = air.temperature;
        SunPositionResult result{};
        ASSERT_EQ(CalculateSunPosition(r, result), 0) << air.temperature;
        EXPECT_EQ(result.refracted, 0) << air.pressure << " mb " << air.temperature << " C";
        EXPECT_DOUBLE_EQ(result.altitude, geometric.altitude) << air.temperature;
        EXPECT_DOUBLE_EQ(result.zenith, 90.0 - geometric.altitude);
    }
    for (const Air air : {Air{820.0, -100.0}, Air{820.0, 80.0}, Air{1100.0, 11.0}}) {
        r.pressure = air.pressure;
        r.temperature = air.temperature;
        SunPositionResult result{};
        ASSERT_EQ(CalculateSunPosition(r, result), 0);
        EXPECT_EQ(result.refracted, 1) << air.pressure << " mb " << air.temperature << " C";
        EXPECT_GT(result.altitude, geometric.altitude);
    }

    // Below the horizon at the coldest and densest air the formula takes, and at the zenith:
    // altitude within [-90, 90], zenith within [0, 180].
    r.hour = 0;
    r.pressure = 1100.0;
    r.temperature = -100.0;
    for (const double latitude : {-90.0, -10.0, 0.0, 90.0}) {
        r.latitude = latitude;
        SunPositionResult result{};
        ASSERT_EQ(CalculateSunPosition(r, result), 0);
        EXPECT_GE(result.altitude, -90.0);
        EXPECT_LE(result.altitude, 90.0);
        EXPECT_GE(result.zenith, 0.0);
        EXPECT_LE(result.zenith, 180.0);
    }
}

TEST(SolarPosition, NothingIsWrittenForRequestZeroOrAnError) {
    SunPositionRequest r = GoldenRequest();
    r.request = 0;
    SunPositionResult result = Filled();
    EXPECT_EQ(CalculateSunPosition(r, result), 0);
    EXPECT_TRUE(SameBytes(result, Filled()));

    r.request = 7;
    r.latitude = 91.0;
    EXPECT_EQ(CalculateSunPosition(r, result), SUNPOS_BAD_LATITUDE);
    EXPECT_TRUE(SameBytes(result, Filled()));
}

TEST(SolarPosition, InputChecksAtAndPastEachBound) {
    using Set = std::function<void(SunPositionRequest&, double)>;
    struct Bound {
        const char* name;
        Set set;
        std::vector<double> accepted;
        std::vector<double> rejected;
        std::int32_t code;
    };
    constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
    constexpr double kInf = std::numeric_limits<double>::infinity();
    auto i32 = [](std::int32_t SunPositionRequest::*field) {
        return Set(
            [field](SunPositionRequest& r, double v) { r.*field = static_cast<std::int32_t>(v); });
    };
    auto f64 = [](double SunPositionRequest::*field) {
        return Set([field](SunPositionRequest& r, double v) { r.*field = v; });
    };
    const std::vector<Bound> bounds = {
        {"year", i32(&SunPositionRequest::year), {-2000, 3000}, {-2001, 3001}, 1},
        {"month", i32(&SunPositionRequest::month), {1, 12}, {0, 13}, 2},
        {"day", i32(&SunPositionRequest::day), {1, 31}, {0, 32}, 3},
        {"hour", i32(&SunPositionRequest::hour), {0, 23}, {-1, 24}, 4},
        {"minute", i32(&SunPositionRequest::minute), {0, 59}, {-1, 60}, 5},
        {"second", i32(&SunPositionRequest::second), {0, 59}, {-1, 60}, 6},
        {"timeZone", i32(&SunPositionRequest::timeZone), {-18, 18}, {-19, 19}, 7},
        {"longitude",
         f64(&SunPositionRequest::longitude),
         {-180, 180},
         {-180.000001, 180.000001, kNaN},
         8},
        {"latitude",
         f64(&SunPositionRequest::latitude),
         {-90, 90},
         {-90.000001, 90.000001, kNaN},
         9},
        {"elevation",
         f64(&SunPositionRequest::elevation),
         {-6378140, 1e7},
         {-6378140.001, kNaN, kInf},
         10},
        {"pressure",
         f64(&SunPositionRequest::pressure),
         {0, 5000},
         {-0.000001, 5000.000001, kNaN},
         11},
        // −273 °C itself is refused: the refraction would divide by zero there.
        {"temperature",
         f64(&SunPositionRequest::temperature),
         {-272.999999, 6000},
         {-273, 6000.000001, kNaN},
         12},
        {"zenithLimit",
         f64(&SunPositionRequest::zenithLimit),
         {0, 180},
         {-0.000001, 180.000001, kNaN},
         13},
        {"request", i32(&SunPositionRequest::request), {0, 7}, {8, -1}, 14},
    };
    for (const Bound& b : bounds) {
        for (double v : b.accepted) {
            SunPositionRequest r = GoldenRequest();
            b.set(r, v);
            SunPositionResult result{};
            EXPECT_EQ(CalculateSunPosition(r, result), 0) << b.name << " = " << v;
            if (r.request & SUNPOS_ZENAZ) {
                EXPECT_TRUE(std::isfinite(result.zenith)) << b.name << " = " << v;
                EXPECT_TRUE(std::isfinite(result.azimuth)) << b.name << " = " << v;
            }
        }
        for (double v : b.rejected) {
            SunPositionRequest r = GoldenRequest();
            b.set(r, v);
            EXPECT_EQ(ValidateSunPositionRequest(r), b.code) << b.name << " = " << v;
        }
    }
    // The first bad field in table order decides.
    SunPositionRequest r = GoldenRequest();
    r.request = 8;
    r.latitude = 100.0;
    r.month = 13;
    EXPECT_EQ(ValidateSunPositionRequest(r), SUNPOS_BAD_MONTH);
    r.month = 1;
    EXPECT_EQ(ValidateSunPositionRequest(r), SUNPOS_BAD_LATITUDE);
    EXPECT_STREQ(SunPositionCodeText(SUNPOS_BAD_LATITUDE), "latitude outside -90..90 degrees");
}

TEST(SolarRiseSet, EventsMeetTheZenithLimit) {
    struct Case {
        double lonWest, lat;
        std::int32_t tz, year, month, day;
        double zenithLimit;
    };
    const Case cases[] = {
        {105.1786, 39.742476, -7, 2003, 10, 17, 90.8333},  // Golden
        {-8.54, 47.37, 1, 2024, 6, 21, 90.8333},           // Zurich, midsummer
        {-8.54, 47.37, 1, 2024, 12, 21, 85.0},             // Zurich, midwinter, high limit
        {-151.21, -33.87, 10, 2024, 1, 15, 90.8333},       // Sydney
        {78.5, -0.2, -5, 2024, 3, 20, 95.0},               // Quito, below the horizon
        {-18.96, 69.65, 1, 2024, 3, 1, 90.8333},           // Tromsø, fast-changing days
        {0.0, 51.48, 0, 1900, 1, 1, 90.8333},              // Greenwich, old ΔT
        {-139.7, 35.7, 9, 2100, 9, 1, 90.8333},            // Tokyo, extrapolated ΔT
    };
    for (const Case& c : cases) {
        SunPositionRequest r = GoldenRequest();
        r.longitude = c.lonWest;
        r.latitude = c.lat;
        r.timeZone = c.tz;
        r.year = c.year;
        r.month = c.month;
        r.day = c.day;
        r.zenithLimit = c.zenithLimit;
        r.request = SUNPOS_RISESET;
        SunPositionResult result{};
        ASSERT_EQ(CalculateSunPosition(r, result), 0);
        const Site site = SiteOf(r);
        ASSERT_EQ(result.sunrise.valid, 1) << c.lat;
        ASSERT_EQ(result.sunset.valid, 1) << c.lat;
        ASSERT_EQ(result.transit.valid, 1) << c.lat;
        // Geocentric geometric altitude at the instants: within 0.01° of the limit; the
        // transit within 0.01° of hour angle of the meridian.
        const GeocentricSun rise = GeocentricAt(result.sunrise, c.tz, site);
        const GeocentricSun set = GeocentricAt(result.sunset, c.tz, site);
        const GeocentricSun transit = GeocentricAt(result.transit, c.tz, site);
        EXPECT_NEAR(rise.altitude, 90.0 - c.zenithLimit, 0.01) << c.lat << " " << c.month;
        EXPECT_NEAR(set.altitude, 90.0 - c.zenithLimit, 0.01) << c.lat << " " << c.month;
        EXPECT_NEAR(transit.hourAngle, 0.0, 0.01) << c.lat << " " << c.month;
        EXPECT_LT(rise.hourAngle, 0.0);  // rising east of the meridian
        EXPECT_GT(set.hourAngle, 0.0);
        // Each on the requested local date, in order.
        for (const SunEvent* e : {&result.sunrise, &result.transit, &result.sunset}) {
            EXPECT_EQ(e->year, c.year);
            EXPECT_EQ(e->month, c.month);
            EXPECT_EQ(e->day, c.day);
        }
        const auto minutes = [](const SunEvent& e) { return e.hour * 60 + e.minute; };
        EXPECT_LT(minutes(result.sunrise), minutes(result.transit));
        EXPECT_LT(minutes(result.transit), minutes(result.sunset));
    }
}

TEST(SolarRiseSet, PolarDayAndPolarNight) {
    SunPositionRequest r = GoldenRequest();
    r.longitude = -15.6;  // Longyearbyen
    r.latitude = 78.22;
    r.timeZone = 1;
    r.year = 2024;
    r.request = SUNPOS_RISESET;

    r.month = 6;
    r.day = 21;
    SunPositionResult day = Filled();
    ASSERT_EQ(CalculateSunPosition(r, day), 0);
    EXPECT_EQ(day.sunrise.valid, 0);
    EXPECT_EQ(day.sunset.valid, 0);
    EXPECT_EQ(day.transit.valid, 1);
    EXPECT_EQ(day.sunrise.year, Filled().sunrise.year);  // fields of a missing event untouched
    EXPECT_EQ(day.transit.day, 21);

    r.month = 12;
    SunPositionResult night = Filled();
    ASSERT_EQ(CalculateSunPosition(r, night), 0);
    EXPECT_EQ(night.sunrise.valid, 0);
    EXPECT_EQ(night.sunset.valid, 0);
    EXPECT_EQ(night.transit.valid, 0);
    EXPECT_EQ(night.transit.hour, Filled().transit.hour);

    // The same in the south, six months apart.
    r.latitude = -78.22;
    SunPositionResult southDay{};
    ASSERT_EQ(CalculateSunPosition(r, southDay), 0);
    EXPECT_EQ(southDay.sunrise.valid, 0);
    EXPECT_EQ(southDay.transit.valid, 1);

    // The extreme limits: a zenith limit of 180 is always passed, 0 never reached.
    r.latitude = 45.0;
    r.zenithLimit = 180.0;
    SunPositionResult always{};
    ASSERT_EQ(CalculateSunPosition(r, always), 0);
    EXPECT_EQ(always.sunrise.valid, 0);
    EXPECT_EQ(always.transit.valid, 1);
    r.zenithLimit = 0.0;
    SunPositionResult never{};
    ASSERT_EQ(CalculateSunPosition(r, never), 0);
    EXPECT_EQ(never.sunrise.valid, 0);
    EXPECT_EQ(never.transit.valid, 0);
}

TEST(SolarRiseSet, EventsNearLocalMidnightStayOnTheRequestedDate) {
    // Greenwich sun, clock seven hours off: the sunset of UT Mar 19 is at about 01:10 local
    // on Mar 20 (time zone +7), the sunrise of UT Mar 21 at about 23:05 on Mar 20 (−7).
    SunPositionRequest r = GoldenRequest();
    r.longitude = 0.0;
    r.latitude = 40.0;
    r.year = 2024;
    r.month = 3;
    r.day = 20;
    r.request = SUNPOS_RISESET;
    const Site site = SiteOf(r);

    r.timeZone = 7;
    SunPositionResult east{};
    ASSERT_EQ(CalculateSunPosition(r, east), 0);
    ASSERT_EQ(east.sunset.valid, 1);
    EXPECT_EQ(east.sunset.day, 20);
    EXPECT_EQ(east.sunset.hour, 1);
    EXPECT_NEAR(GeocentricAt(east.sunset, 7, site).altitude, 90.0 - r.zenithLimit, 0.01);
    EXPECT_EQ(east.sunrise.day, 20);
    EXPECT_EQ(east.sunrise.hour, 13);

    r.timeZone = -7;
    SunPositionResult west{};
    ASSERT_EQ(CalculateSunPosition(r, west), 0);
    ASSERT_EQ(west.sunrise.valid, 1);
    EXPECT_EQ(west.sunrise.day, 20);
    EXPECT_EQ(west.sunrise.hour, 23);
    EXPECT_NEAR(GeocentricAt(west.sunrise, -7, site).altitude, 90.0 - r.zenithLimit, 0.01);
    EXPECT_EQ(west.sunset.day, 20);
    EXPECT_EQ(west.sunset.hour, 11);

    // The extreme offsets keep every event on the requested date too.
    for (std::int32_t tz : {-18, -12, 12, 18}) {
        r.timeZone = tz;
        r.longitude = tz > 0 ? -90.0 : 90.0;
        SunPositionResult far{};
        ASSERT_EQ(CalculateSunPosition(r, far), 0);
        EXPECT_EQ(far.sunrise.day, 20) << tz;
        EXPECT_EQ(far.sunset.day, 20) << tz;
    }
}

TEST(SolarRiseSet, ProlepticGregorianDatesComeBackInTheSameCalendar) {
    // The request's date is read as Gregorian at any year; the events are reported in that
    // calendar, not the Julian one used for Julian days before 1582.
    SunPositionRequest r = GoldenRequest();
    r.year = 1000;
    r.month = 6;
    r.day = 1;
    r.longitude = -8.54;
    r.latitude = 47.37;
    r.timeZone = 1;
    r.request = SUNPOS_RISESET;
    SunPositionResult result{};
    ASSERT_EQ(CalculateSunPosition(r, result), 0);
    ASSERT_EQ(result.sunrise.valid, 1);
    for (const SunEvent* e : {&result.sunrise, &result.transit, &result.sunset}) {
        EXPECT_EQ(e->year, 1000);
        EXPECT_EQ(e->month, 6);
        EXPECT_EQ(e->day, 1);
    }
}

TEST(SolarRiseSet, DayPastTheMonthEndRunsOnLikeThePosition) {
    // 2024 Feb 31 is read as Mar 2, for the position and for the events alike.
    SunPositionRequest r = GoldenRequest();
    r.year = 2024;
    r.month = 2;
    r.day = 31;
    SunPositionResult overrun{};
    ASSERT_EQ(CalculateSunPosition(r, overrun), 0);
    r.month = 3;
    r.day = 2;
    SunPositionResult actual{};
    ASSERT_EQ(CalculateSunPosition(r, actual), 0);
    EXPECT_EQ(overrun.zenith, actual.zenith);
    for (const auto& [a, b] :
         {std::pair{overrun.sunrise, actual.sunrise}, std::pair{overrun.sunset, actual.sunset},
          std::pair{overrun.transit, actual.transit}}) {
        EXPECT_EQ(a.month, 3);
        EXPECT_EQ(a.day, 2);
        EXPECT_EQ(a.hour, b.hour);
        EXPECT_EQ(a.second, b.second);
    }
}
