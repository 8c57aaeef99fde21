// The sun at true instants: positions for the UTC instant of a local time stamp, and sunrise
// and sunset as true local times, in zones with daylight saving time and fractional offsets.
#include <gtest/gtest.h>

#include <cmath>

#include "TestSupport.h"
#include "core/SiteSun.h"
#include "core/SunPosition.h"
#include "platform/Clock.h"

namespace {

using namespace SuntrackTest;
using Suntrack::SiteParameters;

SiteParameters Greenwich() {
    SiteParameters s;
    s.longitudeEastDeg = -0.0015;
    s.latitudeDeg = 51.4779;
    s.elevationM = 46.0;
    s.pressureMb = 1013.0;
    s.temperatureC = 15.0;
    return s;
}

SiteParameters NewDelhi() {
    SiteParameters s;
    s.longitudeEastDeg = 77.2090;
    s.latitudeDeg = 28.6139;
    s.elevationM = 216.0;
    s.pressureMb = 1000.0;
    s.temperatureC = 30.0;
    return s;
}

int MinuteOfDay(const SYSTEMTIME& t) {
    return t.wHour * 60 + t.wMinute;
}

// Published civil tables give these to the minute; two minutes allow for their rounding
// and for the site details. A zone handled as its standard whole hour would be 30 or 60
// minutes off.
constexpr int kToleranceMinutes = 2;

TEST(SiteSunRiseSet, LondonSummerDateUsesBritishSummerTime) {
    CTimeZoneScope tz(kLondonTz);
    const auto events = Suntrack::SunRiseSetForLocalDate(Greenwich(), 2026, 6, 21,
                                                         Suntrack::kStandardZenithLimitDeg);
    ASSERT_TRUE(events.sunrise.valid);
    ASSERT_TRUE(events.sunset.valid);
    EXPECT_NEAR(MinuteOfDay(events.sunrise.local), 4 * 60 + 43, kToleranceMinutes);
    EXPECT_NEAR(MinuteOfDay(events.sunset.local), 21 * 60 + 21, kToleranceMinutes);
    EXPECT_EQ(events.sunrise.local.wDay, 21);
    EXPECT_EQ(events.sunset.local.wDay, 21);
    // The instant and the local time stamp describe the same moment.
    EXPECT_EQ(Platform::LocalTimeToSeconds(events.sunrise.local), events.sunrise.utcSeconds);
    EXPECT_EQ(events.sunrise.local.wMilliseconds, 0);
}

TEST(SiteSunRiseSet, HalfHourZoneGivesIndianStandardTime) {
    CTimeZoneScope tz(kKolkataTz);
    const auto june = Suntrack::SunRiseSetForLocalDate(NewDelhi(), 2026, 6, 21,
                                                       Suntrack::kStandardZenithLimitDeg);
    ASSERT_TRUE(june.sunrise.valid && june.sunset.valid);
    EXPECT_NEAR(MinuteOfDay(june.sunrise.local), 5 * 60 + 23, kToleranceMinutes);
    EXPECT_NEAR(MinuteOfDay(june.sunset.local), 19 * 60 + 22, kToleranceMinutes);

    const auto december = Suntrack::SunRiseSetForLocalDate(NewDelhi(), 2026, 12, 21,
                                                           Suntrack::kStandardZenithLimitDeg);
    ASSERT_TRUE(december.sunrise.valid && december.sunset.valid);
    EXPECT_NEAR(MinuteOfDay(december.sunrise.local), 7 * 60 + 10, kToleranceMinutes + 1);
    EXPECT_NEAR(MinuteOfDay(december.sunset.local), 17 * 60 + 29, kToleranceMinutes + 1);
}

TEST(SiteSunRiseSet, SunsetAfterUtcMidnightStaysOnTheLocalDate) {
    // Honolulu: the evening sunset falls on the next UTC date.
    CTimeZoneScope tz("HST10");
    SiteParameters honolulu;
    honolulu.longitudeEastDeg = -157.8583;
    honolulu.latitudeDeg = 21.3069;
    honolulu.pressureMb = 1013.0;
    honolulu.temperatureC = 25.0;
    const auto events =
        Suntrack::SunRiseSetForLocalDate(honolulu, 2026, 6, 21, Suntrack::kStandardZenithLimitDeg);
    ASSERT_TRUE(events.sunrise.valid && events.sunset.valid);
    EXPECT_EQ(events.sunset.local.wDay, 21);
    EXPECT_NEAR(MinuteOfDay(events.sunrise.local), 5 * 60 + 51, kToleranceMinutes + 1);
    EXPECT_NEAR(MinuteOfDay(events.sunset.local), 19 * 60 + 16, kToleranceMinutes + 1);
}

TEST(SiteSunRiseSet, PolarNightAndPolarDayHaveNoEvents) {
    CTimeZoneScope tz(kZurichTz);
    SiteParameters svalbard;
    svalbard.longitudeEastDeg = 15.6;
    svalbard.latitudeDeg = 78.2;
    svalbard.pressureMb = 1013.0;
    const auto night =
        Suntrack::SunRiseSetForLocalDate(svalbard, 2026, 12, 21, Suntrack::kStandardZenithLimitDeg);
    EXPECT_FALSE(night.sunrise.valid);
    EXPECT_FALSE(night.sunset.valid);
    const auto day =
        Suntrack::SunRiseSetForLocalDate(svalbard, 2026, 6, 21, Suntrack::kStandardZenithLimitDeg);
    EXPECT_FALSE(day.sunrise.valid);
    EXPECT_FALSE(day.sunset.valid);
    // Not a date at all.
    const auto none =
        Suntrack::SunRiseSetForLocalDate(svalbard, 2026, 2, 30, Suntrack::kStandardZenithLimitDeg);
    EXPECT_FALSE(none.sunrise.valid || none.sunset.valid);
}

TEST(SiteSunDay, SunsetFollowsSunriseWhateverTheComputersZone) {
    // A computer on UTC, in Zurich or in Los Angeles, each driving a site in each of those
    // zones on 21 June 2030. Where the site is far from the computer's zone its daylight
    // crosses the computer's midnight; the day's sunset used to be the one before its sunrise.
    struct Site {
        const char* name;
        SiteParameters site;
        int daylightMinutes;  // sunrise to sunset on 21 June, from civil tables
    };
    const Site sites[] = {{"Los Angeles", LosAngelesSite(), 14 * 60 + 26},
                          {"Zurich", ZurichSite(), 15 * 60 + 56},
                          {"Greenwich", Greenwich(), 16 * 60 + 38}};
    for (const char* zone : {kUtcTz, kZurichTz, kLosAngelesTz}) {
        CTimeZoneScope tz(zone);
        for (const Site& s : sites) {
            const std::string what = std::string(s.name) + " from " + zone;
            const Suntrack::SunDay day =
                Suntrack::SunDayOfLocalDate(s.site, 2030, 6, 21, Suntrack::kStandardZenithLimitDeg);
            ASSERT_TRUE(day.daylight && day.sunrise.valid && day.sunset.valid) << what;
            EXPECT_EQ(day.sunrise.local.wDay, 21) << what;
            EXPECT_NEAR((day.sunset.utcSeconds - day.sunrise.utcSeconds) / 60.0, s.daylightMinutes,
                        kToleranceMinutes + 1)
                << what;

            // From inside the day it is the day in progress; from after its sunset, the next.
            const Suntrack::SunDay during = Suntrack::SunDayFrom(
                s.site, day.sunset.utcSeconds - 3600, Suntrack::kStandardZenithLimitDeg);
            EXPECT_EQ(during.sunrise.utcSeconds, day.sunrise.utcSeconds) << what;
            EXPECT_EQ(during.sunset.utcSeconds, day.sunset.utcSeconds) << what;
            const Suntrack::SunDay next = Suntrack::SunDayFrom(s.site, day.sunset.utcSeconds + 60,
                                                               Suntrack::kStandardZenithLimitDeg);
            EXPECT_NEAR(next.sunrise.utcSeconds - day.sunrise.utcSeconds, 86400, 300) << what;
            EXPECT_NEAR(next.sunset.utcSeconds - day.sunset.utcSeconds, 86400, 300) << what;
        }
    }
}

TEST(SiteSunDay, PolarNightHasNoDaylightAndPolarDayHasNoEvents) {
    CTimeZoneScope tz(kUtcTz);
    SiteParameters southPole;
    southPole.latitudeDeg = -90.0;
    southPole.pressureMb = 680.0;
    southPole.temperatureC = -60.0;
    const std::int64_t june21 = Platform::LocalTimeToSeconds(Local(2030, 6, 21));
    const Suntrack::SunDay night =
        Suntrack::SunDayFrom(southPole, june21, Suntrack::kStandardZenithLimitDeg);
    EXPECT_FALSE(night.daylight);
    EXPECT_EQ(night.errorCode, 0);

    SiteParameters northPole = southPole;
    northPole.latitudeDeg = 90.0;
    const Suntrack::SunDay day =
        Suntrack::SunDayFrom(northPole, june21, Suntrack::kStandardZenithLimitDeg);
    EXPECT_TRUE(day.daylight);
    EXPECT_FALSE(day.sunrise.valid || day.sunset.valid);

    SiteParameters refused = northPole;
    refused.temperatureC = -273.0;
    EXPECT_EQ(Suntrack::SunDayFrom(refused, june21, 90.8333).errorCode, SUNPOS_BAD_TEMPERATURE);
}

TEST(SiteSunPosition, LocalStampIsComputedAtItsUtcInstant) {
    CTimeZoneScope tz(kLondonTz);
    // Solar noon at Greenwich on 21 June is about 12:02 UTC, i.e. 13:02 BST.
    const Suntrack::SunSample noon =
        Suntrack::SunAtLocalTime(Greenwich(), Local(2026, 6, 21, 13, 2, 0));
    ASSERT_TRUE(noon.Valid());
    EXPECT_NEAR(noon.azimuthDeg, 180.0, 2.0);
    EXPECT_NEAR(noon.zenithDeg, 51.4779 - 23.44, 0.5);

    // The same as asking the solar module for the UTC time with time zone 0.
    SunPositionRequest request{};
    request.year = 2026;
    request.month = 6;
    request.day = 21;
    request.hour = 12;
    request.minute = 2;
    request.second = 0;
    request.timeZone = 0;
    request.longitude = 0.0015;
    request.latitude = 51.4779;
    request.elevation = 46.0;
    request.pressure = 1013.0;
    request.temperature = 15.0;
    request.zenithLimit = 90.8333;
    request.request = SUNPOS_ZENAZ;
    SunPositionResult result{};
    ASSERT_EQ(CalculateSunPosition(request, result), 0);
    EXPECT_DOUBLE_EQ(noon.azimuthDeg, result.azimuth);
    EXPECT_DOUBLE_EQ(noon.zenithDeg, result.zenith);
}

TEST(SiteSunPosition, HalfHourZoneNoon) {
    CTimeZoneScope tz(kKolkataTz);
    // Solar noon at New Delhi on 21 December: 12:00 IST + (82.5 - 77.209) * 4 min - 1.9 min.
    const Suntrack::SunSample noon =
        Suntrack::SunAtLocalTime(NewDelhi(), Local(2026, 12, 21, 12, 19, 0));
    ASSERT_TRUE(noon.Valid());
    EXPECT_NEAR(noon.azimuthDeg, 180.0, 2.0);
    EXPECT_DOUBLE_EQ(Suntrack::SunAtUtc(NewDelhi(), Local(2026, 12, 21, 6, 49, 0)).azimuthDeg,
                     noon.azimuthDeg);
}

TEST(SiteSunPosition, OutOfRangeSiteReportsTheModuleCode) {
    SiteParameters bad = Greenwich();
    bad.latitudeDeg = 95.0;
    const Suntrack::SunSample s = Suntrack::SunAtUtc(bad, Local(2026, 6, 21, 12));
    EXPECT_FALSE(s.Valid());
    EXPECT_EQ(s.errorCode, SUNPOS_BAD_LATITUDE);
}

}  // namespace
