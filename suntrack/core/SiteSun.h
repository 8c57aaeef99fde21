// The sun as seen from the operator's site at true instants.
//
// The solar-position module takes a calendar date and time plus a whole-hour zone offset.
// Feeding it local civil time with the host's standard-time bias would put every position an
// hour off while daylight saving time is in effect, and up to 45 minutes off in zones with
// fractional offsets (+5:30, +5:45, -3:30). These helpers therefore always hand it the UTC
// date and time of the instant (time zone 0) and convert its sunrise and sunset back into
// local civil time with the host's rules for that instant. Trajectory generation, the
// heliostat panel's "Sun Rise" / "Sun Set" and the calibration capture all go through here.
#pragma once

#include <cstdint>

#include "platform/WinTypes.h"

namespace Suntrack {

// The observer site and atmosphere as the application settings hold them.
struct SiteParameters {
    double longitudeEastDeg = 0.0;  // degrees, positive east of Greenwich
    double latitudeDeg = 0.0;       // degrees, positive north
    double elevationM = 0.0;        // metres above sea level
    double pressureMb = 0.0;        // millibars
    double temperatureC = 0.0;      // degrees Celsius
};

// Zenith angle (degrees) at which the upper limb touches the refracted horizon: the limit for
// "Sun Rise" / "Sun Set", data points, and trajectories without a maximum zenith angle.
inline constexpr double kStandardZenithLimitDeg = 90.8333;

struct SunSample {
    int errorCode = 0;        // 0, or the solar module's code for the first input it refused
    double azimuthDeg = 0.0;  // from north towards east, [0, 360]
    double zenithDeg = 0.0;   // apparent (refracted), degrees from the vertical
    // False: the site's pressure or temperature lies outside the refraction formula's range
    // and zenithDeg is the unrefracted one; the caller says so in its log.
    bool refracted = true;

    bool Valid() const { return errorCode == 0; }
};

// The sun at an instant given as seconds since 1970-01-01 00:00 UTC.
SunSample SunAtUtcSeconds(const SiteParameters& site, std::int64_t utcSeconds);
// The sun at a UTC calendar time (milliseconds ignored: the module takes whole seconds).
SunSample SunAtUtc(const SiteParameters& site, const SYSTEMTIME& utc);
// The sun at a local civil time of the host (converted to UTC with the host's rules).
SunSample SunAtLocalTime(const SiteParameters& site, const SYSTEMTIME& local);

struct LocalSunEvent {
    bool valid = false;           // false: the sun does not cross the limit on that date
    std::int64_t utcSeconds = 0;  // the instant, seconds since 1970 UTC, fraction truncated
    SYSTEMTIME local{};           // the same instant in local civil time, wMilliseconds 0
};

struct LocalRiseSet {
    LocalSunEvent sunrise;
    LocalSunEvent sunset;
};

// Sunrise and sunset that fall on the local calendar date (year, month, day) of the host, at
// the given zenith limit (degrees, 0..180).
LocalRiseSet SunRiseSetForLocalDate(const SiteParameters& site, int year, int month, int day,
                                    double zenithLimitDeg);

// The sun's day at the site: a sunrise and the sunset that follows it. Where the daylight
// crosses the computer's midnight (a site far from the computer's zone) the sunset falls on
// the next local date. No sunrise: the sun is already up (polar day, or the day's rise lies
// before the search); no sunset: it stays up for as far as the search reaches.
struct SunDay : LocalRiseSet {
    bool daylight = false;  // false: the sun stays below the limit (polar night), nothing to track
    int errorCode = 0;      // the solar module's code when it refused the site, else 0
};

// The sun's day a tracking window starting at `startUtcSeconds` belongs to: the one in
// progress at the start, else the next one to begin within two days.
SunDay SunDayFrom(const SiteParameters& site, std::int64_t startUtcSeconds, double zenithLimitDeg);

// The sun's day whose sunrise falls on the local date, with the sunset that follows it; on a
// date without a sunrise, the sunset on that date (as SunRiseSetForLocalDate finds it).
SunDay SunDayOfLocalDate(const SiteParameters& site, int year, int month, int day,
                         double zenithLimitDeg);

}  // namespace Suntrack
