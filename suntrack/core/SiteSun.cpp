#include "SiteSun.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "SunPosition.h"
#include "platform/Clock.h"

namespace Suntrack {

namespace {

constexpr std::int64_t kEpochDifferenceSeconds = 11'644'473'600;  // 1601 -> 1970
constexpr std::int64_t kSecondsPerDay = 86'400;

SunPositionRequest SiteRequest(const SiteParameters& site, std::int32_t what, double zenithLimit) {
    SunPositionRequest r{};
    r.timeZone = 0;                        // always UTC: the callers convert with the host's rules
    r.longitude = -site.longitudeEastDeg;  // the module counts west positive
    r.latitude = site.latitudeDeg;
    r.elevation = site.elevationM;
    r.pressure = site.pressureMb;
    r.temperature = site.temperatureC;
    r.zenithLimit = zenithLimit;
    r.request = what;
    return r;
}

std::int64_t UtcToSeconds(const SYSTEMTIME& utc) {
    return static_cast<std::int64_t>(Platform::SystemTimeToTicks(utc) / Platform::kTicksPerSecond) -
           kEpochDifferenceSeconds;
}

SYSTEMTIME SecondsToUtc(std::int64_t seconds) {
    return Platform::TicksToSystemTime(
        static_cast<Platform::Ticks>(seconds + kEpochDifferenceSeconds) *
        Platform::kTicksPerSecond);
}

// Seconds since 1970 of the start of the UTC date of `seconds`.
std::int64_t UtcMidnight(std::int64_t seconds) {
    std::int64_t day = seconds / kSecondsPerDay;
    if (seconds % kSecondsPerDay < 0) {
        --day;
    }
    return day * kSecondsPerDay;
}

// A UTC event of the module turned into an instant; the fraction of the second is dropped.
LocalSunEvent ToLocalEvent(const SunEvent& e) {
    LocalSunEvent out;
    if (e.valid != 1) {
        return out;
    }
    const SYSTEMTIME date = Platform::MakeSystemTime(e.year, e.month, e.day);
    // Hour, minute and second are added as numbers so that a second of 59.99999 rounded up
    // to 60 by the calendar conversion still lands on the right instant.
    out.utcSeconds = UtcToSeconds(date) + static_cast<std::int64_t>(e.hour) * 3600 +
                     static_cast<std::int64_t>(e.minute) * 60 +
                     static_cast<std::int64_t>(std::floor(e.second));
    out.local = Platform::SecondsToLocalTime(out.utcSeconds);
    out.valid = true;
    return out;
}

bool OnLocalDate(const LocalSunEvent& e, int year, int month, int day) {
    return e.valid && e.local.wYear == year && e.local.wMonth == month && e.local.wDay == day;
}

// The module's rise, transit and set for the UTC date that starts at `utcMidnight` (seconds
// since 1970); its result code.
std::int32_t RiseSetOfUtcDate(const SiteParameters& site, std::int64_t utcMidnight,
                              double zenithLimitDeg, SunPositionResult& result) {
    const SYSTEMTIME utcDate = SecondsToUtc(utcMidnight);
    SunPositionRequest request = SiteRequest(site, SUNPOS_RISESET, zenithLimitDeg);
    request.year = utcDate.wYear;
    request.month = utcDate.wMonth;
    request.day = utcDate.wDay;
    request.hour = 12;
    return CalculateSunPosition(request, result);
}

struct TimedEvent {
    bool rise;  // else a set
    LocalSunEvent event;
};

struct EventSearch {
    std::vector<TimedEvent> events;  // in time order
    bool upWithoutEvents = false;    // the module's verdict for the UTC date of the centre
    int errorCode = 0;
};

// Every rise and set of the UTC dates from two days before to two days after the UTC date
// of `centre`: enough to find the day in progress and the next one even where the daylight
// crosses the computer's midnight or a rise is missing from a date.
EventSearch EventsAround(const SiteParameters& site, std::int64_t centre, double zenithLimitDeg) {
    EventSearch found;
    const std::int64_t middle = UtcMidnight(centre);
    for (int offset = -2; offset <= 2; ++offset) {
        SunPositionResult result{};
        const std::int32_t code =
            RiseSetOfUtcDate(site, middle + offset * kSecondsPerDay, zenithLimitDeg, result);
        if (code != 0) {
            found.errorCode = code;
            found.events.clear();
            return found;
        }
        if (offset == 0) {
            // Neither rise nor set: a transit means the sun stays above the limit all day.
            found.upWithoutEvents = result.transit.valid == 1;
        }
        for (const auto& [e, rise] : {std::pair{result.sunrise, true}, {result.sunset, false}}) {
            const LocalSunEvent local = ToLocalEvent(e);
            if (local.valid) {
                found.events.push_back({rise, local});
            }
        }
    }
    std::sort(found.events.begin(), found.events.end(),
              [](const auto& a, const auto& b) { return a.event.utcSeconds < b.event.utcSeconds; });
    // A date's search may repeat an event of its neighbour (the local-date step of the
    // module); the sun cannot rise twice, or set twice, within an hour.
    std::vector<TimedEvent> distinct;
    for (const TimedEvent& e : found.events) {
        const auto same = std::find_if(distinct.rbegin(), distinct.rend(),
                                       [&](const TimedEvent& d) { return d.rise == e.rise; });
        if (same == distinct.rend() || e.event.utcSeconds - same->event.utcSeconds >= 3600) {
            distinct.push_back(e);
        }
    }
    found.events = std::move(distinct);
    return found;
}

LocalSunEvent FirstAfter(const std::vector<TimedEvent>& events, std::int64_t t, bool rise) {
    for (const TimedEvent& e : events) {
        if (e.rise == rise && e.event.utcSeconds > t) {
            return e.event;
        }
    }
    return {};
}

}  // namespace

SunSample SunAtUtcSeconds(const SiteParameters& site, std::int64_t utcSeconds) {
    return SunAtUtc(site, SecondsToUtc(utcSeconds));
}

SunSample SunAtUtc(const SiteParameters& site, const SYSTEMTIME& utc) {
    // The zenith limit plays no part in a position; any accepted value will do.
    SunPositionRequest request = SiteRequest(site, SUNPOS_ZENAZ, kStandardZenithLimitDeg);
    request.year = utc.wYear;
    request.month = utc.wMonth;
    request.day = utc.wDay;
    request.hour = utc.wHour;
    request.minute = utc.wMinute;
    request.second = utc.wSecond;
    SunPositionResult result{};
    SunSample sample;
    sample.errorCode = CalculateSunPosition(request, result);
    if (sample.errorCode == 0) {
        sample.azimuthDeg = result.azimuth;
        sample.zenithDeg = result.zenith;
        sample.refracted = result.refracted == 1;
    }
    return sample;
}

SunSample SunAtLocalTime(const SiteParameters& site, const SYSTEMTIME& local) {
    return SunAtUtc(site, Platform::LocalToUtc(local));
}

LocalRiseSet SunRiseSetForLocalDate(const SiteParameters& site, int year, int month, int day,
                                    double zenithLimitDeg) {
    LocalRiseSet found;
    // The local date spans parts of the UTC dates before, of and after it (offsets reach
    // -12 h and +14 h); each of those UTC dates has at most one rise and one set.
    const SYSTEMTIME localDate = Platform::MakeSystemTime(year, month, day);
    if (Platform::SystemTimeToTicks(localDate) == 0) {
        return found;  // not a calendar date
    }
    const std::int64_t middle = UtcMidnight(UtcToSeconds(localDate));
    for (int offset = -1; offset <= 1; ++offset) {
        SunPositionResult result{};
        if (RiseSetOfUtcDate(site, middle + offset * kSecondsPerDay, zenithLimitDeg, result) != 0) {
            continue;
        }
        const LocalSunEvent rise = ToLocalEvent(result.sunrise);
        const LocalSunEvent set = ToLocalEvent(result.sunset);
        if (!found.sunrise.valid && OnLocalDate(rise, year, month, day)) {
            found.sunrise = rise;
        }
        if (!found.sunset.valid && OnLocalDate(set, year, month, day)) {
            found.sunset = set;
        }
    }
    return found;
}

SunDay SunDayFrom(const SiteParameters& site, std::int64_t startUtcSeconds, double zenithLimitDeg) {
    SunDay day;
    const EventSearch search = EventsAround(site, startUtcSeconds, zenithLimitDeg);
    day.errorCode = search.errorCode;
    if (day.errorCode != 0) {
        return day;
    }
    // Whether the sun is up at the start: the last event before it says so; without one, the
    // first event after it; without any, the module's verdict for the day.
    const TimedEvent* before = nullptr;
    const TimedEvent* after = nullptr;
    for (const TimedEvent& e : search.events) {
        if (e.event.utcSeconds <= startUtcSeconds) {
            before = &e;
        } else if (after == nullptr) {
            after = &e;
        }
    }
    const bool up = before ? before->rise : after ? !after->rise : search.upWithoutEvents;
    if (up) {
        if (before != nullptr) {
            day.sunrise = before->event;
        }
        day.sunset = FirstAfter(search.events, startUtcSeconds, false);
    } else {
        day.sunrise = FirstAfter(search.events, startUtcSeconds, true);
        if (!day.sunrise.valid) {
            return day;  // no daylight within the search
        }
        day.sunset = FirstAfter(search.events, day.sunrise.utcSeconds, false);
    }
    day.daylight = true;
    return day;
}

SunDay SunDayOfLocalDate(const SiteParameters& site, int year, int month, int day,
                         double zenithLimitDeg) {
    const LocalRiseSet onDate = SunRiseSetForLocalDate(site, year, month, day, zenithLimitDeg);
    if (onDate.sunrise.valid) {
        SunDay sunDay = SunDayFrom(site, onDate.sunrise.utcSeconds, zenithLimitDeg);
        sunDay.sunrise = onDate.sunrise;
        return sunDay;
    }
    SunDay sunDay;
    static_cast<LocalRiseSet&>(sunDay) = onDate;
    sunDay.daylight = onDate.sunset.valid;
    return sunDay;
}

}  // namespace Suntrack
