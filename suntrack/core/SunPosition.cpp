#include "SunPosition.h"

#include <limits>

#include "SunPositionSteps.h"

namespace {

// Inclusive range tests written so that NaN fails them.
bool Within(std::int32_t value, std::int32_t low, std::int32_t high) {
    return value >= low && value <= high;
}
bool Within(double value, double low, double high) {
    return value >= low && value <= high;
}

// An event whose valid is 0 leaves the caller's other fields as they were.
void WriteEvent(const SunEvent& computed, SunEvent& out) {
    if (computed.valid) {
        out = computed;
    } else {
        out.valid = 0;
    }
}

}  // namespace

std::int32_t ValidateSunPositionRequest(const SunPositionRequest& r) {
    if (!Within(r.year, -2000, 3000))
        return SUNPOS_BAD_YEAR;
    if (!Within(r.month, 1, 12))
        return SUNPOS_BAD_MONTH;
    if (!Within(r.day, 1, 31))
        return SUNPOS_BAD_DAY;
    if (!Within(r.hour, 0, 23))
        return SUNPOS_BAD_HOUR;
    if (!Within(r.minute, 0, 59))
        return SUNPOS_BAD_MINUTE;
    if (!Within(r.second, 0, 59))
        return SUNPOS_BAD_SECOND;
    if (!Within(r.timeZone, -18, 18))
        return SUNPOS_BAD_TIMEZONE;
    if (!Within(r.longitude, -180.0, 180.0))
        return SUNPOS_BAD_LONGITUDE;
    if (!Within(r.latitude, -90.0, 90.0))
        return SUNPOS_BAD_LATITUDE;
    if (!(r.elevation >= -6378140.0 && r.elevation <= std::numeric_limits<double>::max())) {
        return SUNPOS_BAD_ELEVATION;
    }
    if (!Within(r.pressure, 0.0, 5000.0))
        return SUNPOS_BAD_PRESSURE;
    // At -273 °C the refraction's temperature factor 283/(273 + t) divides by zero.
    if (!(r.temperature > -273.0 && r.temperature <= 6000.0))
        return SUNPOS_BAD_TEMPERATURE;
    if (!Within(r.zenithLimit, 0.0, 180.0))
        return SUNPOS_BAD_ZENITH_LIMIT;
    // A negative request would have every bit set; it is as meaningless as 8 and above.
    if (!Within(r.request, 0, 7))
        return SUNPOS_BAD_REQUEST;
    return SUNPOS_OK;
}

std::int32_t CalculateSunPosition(const SunPositionRequest& r, SunPositionResult& result) {
    const std::int32_t code = ValidateSunPositionRequest(r);
    if (code != SUNPOS_OK) {
        return code;
    }
    const SolarPosition::Site site{r.longitude, r.latitude, r.elevation, r.pressure, r.temperature};

    if (r.request & (SUNPOS_ALTAZ | SUNPOS_ZENAZ)) {
        // Local civil time → UT day with fraction.
        const double day =
            r.day + (r.hour - r.timeZone) / 24.0 + r.minute / 1440.0 + r.second / 86400.0;
        const double jd = SolarPosition::JulianDay(r.year, r.month, day, true);
        const double deltaT = SolarPosition::DeltaT(SolarPosition::DecimalYear(jd));
        const SolarPosition::TopocentricSun sun = SolarPosition::TopocentricSunAt(jd, deltaT, site);
        result.refracted = sun.refracted ? 1 : 0;
        if (r.request & SUNPOS_ALTAZ) {
            result.altitude = sun.altitude;
            result.azimuthFromSouth = sun.azimuthFromSouth;
        }
        if (r.request & SUNPOS_ZENAZ) {
            result.zenith = 90.0 - sun.altitude;
            result.azimuth = SolarPosition::ReduceDegrees(sun.azimuthFromSouth + 180.0);
        }
    }

    if (r.request & SUNPOS_RISESET) {
        const SolarPosition::RiseTransitSet events = SolarPosition::RiseTransitSetForLocalDate(
            r.year, r.month, r.day, r.timeZone, r.zenithLimit, site);
        WriteEvent(events.sunrise, result.sunrise);
        WriteEvent(events.sunset, result.sunset);
        WriteEvent(events.transit, result.transit);
    }
    return SUNPOS_OK;
}

const char* SunPositionCodeText(std::int32_t code) {
    switch (code) {
        case SUNPOS_OK:
            return "success";
        case SUNPOS_BAD_YEAR:
            return "year outside -2000..3000";
        case SUNPOS_BAD_MONTH:
            return "month outside 1..12";
        case SUNPOS_BAD_DAY:
            return "day outside 1..31";
        case SUNPOS_BAD_HOUR:
            return "hour outside 0..23";
        case SUNPOS_BAD_MINUTE:
            return "minute outside 0..59";
        case SUNPOS_BAD_SECOND:
            return "second outside 0..59";
        case SUNPOS_BAD_TIMEZONE:
            return "time zone outside -18..18 hours";
        case SUNPOS_BAD_LONGITUDE:
            return "longitude outside -180..180 degrees (positive west)";
        case SUNPOS_BAD_LATITUDE:
            return "latitude outside -90..90 degrees";
        case SUNPOS_BAD_ELEVATION:
            return "elevation below -6378140 m";
        case SUNPOS_BAD_PRESSURE:
            return "pressure outside 0..5000 mbar";
        case SUNPOS_BAD_TEMPERATURE:
            return "temperature outside -273 (exclusive)..6000 degrees Celsius";
        case SUNPOS_BAD_ZENITH_LIMIT:
            return "zenith limit outside 0..180 degrees";
        case SUNPOS_BAD_REQUEST:
            return "request outside 0..7";
        default:
            return "unknown result code";
    }
}
