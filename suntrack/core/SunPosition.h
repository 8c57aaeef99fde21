// Apparent (topocentric, refracted) position of the sun for one local civil time and one site,
// and the day's sunrise, transit and sunset at a chosen zenith limit. Pure computation: no
// toolkit, device or settings; no allocation. The steps are in SunPositionSteps.h.
#pragma once

#include <cstdint>

// Bits of SunPositionRequest::request: what CalculateSunPosition writes.
constexpr std::int32_t SUNPOS_ALTAZ = 1;    // altitude, azimuthFromSouth
constexpr std::int32_t SUNPOS_ZENAZ = 2;    // zenith, azimuth
constexpr std::int32_t SUNPOS_RISESET = 4;  // sunrise, sunset, transit

struct SunPositionRequest {
    std::int32_t year;      // calendar year, -2000 … 3000
    std::int32_t month;     // 1 … 12
    std::int32_t day;       // 1 … 31
    std::int32_t hour;      // local civil time, 0 … 23
    std::int32_t minute;    // 0 … 59
    std::int32_t second;    // whole seconds, 0 … 59
    std::int32_t timeZone;  // whole hours east of UT (UT = local − timeZone), -18 … 18
    double longitude;       // degrees, positive WEST of Greenwich, -180 … 180
    double latitude;        // degrees, positive north, -90 … 90
    double elevation;       // metres above sea level, ≥ -6378140
    double pressure;        // millibars, 0 … 5000
    double temperature;     // degrees Celsius, above -273 … 6000
    double zenithLimit;    // zenith angle (degrees) at which the sun counts as risen/set, 0 … 180
    std::int32_t request;  // SUNPOS_* bits, 0 … 7
};

// A sunrise, transit or sunset in local civil time of the request's timeZone. When valid is 0
// the event does not happen that day and the other fields are left as they were.
struct SunEvent {
    std::int32_t valid;  // 1 = the event exists
    std::int32_t year;
    std::int32_t month;
    std::int32_t day;
    std::int32_t hour;
    std::int32_t minute;
    double second;  // with fraction
};

struct SunPositionResult {
    double altitude;          // SUNPOS_ALTAZ: apparent (refracted) altitude, degrees
    double azimuthFromSouth;  // SUNPOS_ALTAZ: degrees in [0, 360], from south towards west
    double zenith;            // SUNPOS_ZENAZ: 90 − apparent altitude, degrees
    double azimuth;           // SUNPOS_ZENAZ: degrees in [0, 360], from north towards east
    SunEvent sunrise;         // SUNPOS_RISESET
    SunEvent sunset;          // SUNPOS_RISESET
    SunEvent transit;         // SUNPOS_RISESET
    // SUNPOS_ALTAZ or SUNPOS_ZENAZ: 1 when the altitude is refracted, 0 when the pressure or
    // temperature lies outside the refraction formula's range and it is the geometric one
    // (the caller logs that; see kRefractionMinPressureMb in SunPositionSteps.h).
    std::int32_t refracted;
};

// Result codes: 0 success, else the first input outside its range, examined in this order.
enum SunPositionCode : std::int32_t {
    SUNPOS_OK = 0,
    SUNPOS_BAD_YEAR = 1,
    SUNPOS_BAD_MONTH = 2,
    SUNPOS_BAD_DAY = 3,
    SUNPOS_BAD_HOUR = 4,
    SUNPOS_BAD_MINUTE = 5,
    SUNPOS_BAD_SECOND = 6,
    SUNPOS_BAD_TIMEZONE = 7,
    SUNPOS_BAD_LONGITUDE = 8,
    SUNPOS_BAD_LATITUDE = 9,
    SUNPOS_BAD_ELEVATION = 10,
    SUNPOS_BAD_PRESSURE = 11,
    SUNPOS_BAD_TEMPERATURE = 12,
    SUNPOS_BAD_ZENITH_LIMIT = 13,
    SUNPOS_BAD_REQUEST = 14,
};

// The code CalculateSunPosition would return for `request` without computing anything.
// Non-finite values (NaN, infinities) are outside every range.
std::int32_t ValidateSunPositionRequest(const SunPositionRequest& request);

// Computes what `request.request` asks for into `result`. Returns 0, or an error code and
// leaves `result` untouched.
std::int32_t CalculateSunPosition(const SunPositionRequest& request, SunPositionResult& result);

// Operator text for a result code, e.g. "longitude outside -180..180 degrees (positive west)".
const char* SunPositionCodeText(std::int32_t code);
