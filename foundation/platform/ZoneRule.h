// A time zone written as a POSIX TZ rule, e.g. "CET-1CEST,M3.5.0,M10.5.0/3": the standard
// time's name and offset (hours[:minutes[:seconds]] WEST of Greenwich, so Zurich's is -1), and
// optionally the daylight time's name, its offset (one hour ahead of standard time when left
// out) and the two dates with times of day on which it starts and ends. A date is "Mm.w.d"
// (day d, 0 = Sunday, of week w, 5 = the last, of month m), "Jn" (day 1..365 of the year,
// 29 February never counted) or "n" (day 0..365, counted); a time "/[+-]h[:mm[:ss]]" (default
// 02:00, up to ±167 h) is local time before the change. A rule applies to every year alike.
//
// The C library applies such rules itself; this is the arithmetic for systems whose local
// clock knows no TZ variable (Windows), so that a process can compute local time in a zone
// it names rather than the host's (Clock.h, SetZoneRule).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace Platform {

class CZoneRule {
public:
    // Nothing when `text` is not such a rule (a zone database name like "Europe/Zurich").
    static std::optional<CZoneRule> Parse(std::string_view text);

    // Local civil time = UTC + offset, seconds, at an instant in seconds since 1970-01-01 UTC.
    int OffsetSecondsAt(std::int64_t utcSeconds) const;
    bool IsDaylightAt(std::int64_t utcSeconds) const;
    // The abbreviation in force ("CET", "CEST"; "+0530" for the quoted "<+0530>").
    const std::string& NameAt(std::int64_t utcSeconds) const;
    // Standard time's offset, seconds east of UTC (Zurich: 3600, New York: -18000).
    int StandardOffsetSeconds() const { return m_standardOffset; }

    // A date and time of the year on which daylight saving starts or ends.
    struct Change {
        enum class Form { MonthWeekDay, JulianNoLeap, DayOfYear };
        Form form = Form::MonthWeekDay;
        int month = 0;    // 1..12 (MonthWeekDay)
        int week = 0;     // 1..5, 5 = the last such weekday of the month (MonthWeekDay)
        int weekday = 0;  // 0 = Sunday (MonthWeekDay)
        int day = 0;      // 1..365 (JulianNoLeap), 0..365 (DayOfYear)
        int seconds = 0;  // local time of day before the change, may be < 0 or > 86400
    };

private:
    // The instant (seconds since 1970 UTC) of `change` in `year`, whose local time is read with
    // `offsetBefore` (seconds east of UTC).
    static std::int64_t InstantOf(const Change& change, std::int64_t year, int offsetBefore);

    std::string m_standardName;
    std::string m_daylightName;  // empty: no daylight saving
    int m_standardOffset = 0;    // seconds east of UTC
    int m_daylightOffset = 0;    // seconds east of UTC
    Change m_start;
    Change m_end;
};

}  // namespace Platform
