// The host's clock and time-zone rules on Windows: the precise system time, and local time
// from the system's time-zone setting (SystemTimeToTzSpecificLocalTime), or from the zone
// rule a test or tool installed. Local -> UTC is solved here from the UTC offset, so both
// kinds of zone read the skipped and the repeated hour alike and every year from 1601 on
// converts (the C runtime's mktime stops at 1970 and follows the TZ variable instead).
#include <algorithm>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/CivilDays.h"
#include "platform/Clock.h"
#include "platform/WindowsApi.h"
#include "platform/ZoneRule.h"

namespace Platform {

namespace {

constexpr std::int64_t kEpochDifferenceSeconds = 11'644'473'600;
constexpr std::int64_t kSecondsPerDay = 86'400;

struct ZoneState {
    std::mutex lock;
    std::shared_ptr<const CZoneRule> rule;  // null: the system's zone
    std::string text;
};

ZoneState& Installed() {
    static ZoneState installed;
    return installed;
}

// Seconds since 1970 UTC of the tick count; ticks are never before 1601.
std::int64_t TicksToUnixSeconds(Ticks ticks) {
    return static_cast<std::int64_t>(ticks / kTicksPerSecond) - kEpochDifferenceSeconds;
}

Ticks UnixSecondsToTicks(std::int64_t seconds, WORD milliseconds) {
    if (seconds < -kEpochDifferenceSeconds) {
        return 0;
    }
    return static_cast<Ticks>(seconds + kEpochDifferenceSeconds) * kTicksPerSecond +
           static_cast<Ticks>(milliseconds) * kTicksPerMillisecond;
}

// The calendar fields read as if they were UTC, in seconds since 1970. Fields beyond their
// range carry over as mktime's do (day 32 is the next month's first). Nothing before 1601.
bool CivilSeconds(const ::SYSTEMTIME& t, std::int64_t& seconds) {
    const std::int64_t monthIndex = static_cast<std::int64_t>(t.wMonth) - 1;  // may be -1
    const std::int64_t year = t.wYear + detail::FloorDiv(monthIndex, 12);
    const auto month = static_cast<unsigned>(monthIndex - detail::FloorDiv(monthIndex, 12) * 12);
    if (year < 1601) {
        return false;
    }
    const std::int64_t days = detail::DaysFromCivil(year, month + 1, 1) + t.wDay - 1;
    seconds = days * kSecondsPerDay + t.wHour * 3600 + t.wMinute * 60 + t.wSecond;
    return seconds >= -kEpochDifferenceSeconds;
}

// The system zone's offset at the instant, minutes east of UTC.
int SystemOffsetMinutesAt(std::int64_t utcSeconds) {
    const Ticks ticks = UnixSecondsToTicks(utcSeconds, 0);
    const WIN32_SYSTEMTIME utc = ToWin32SystemTime(TicksToSystemTime(ticks));
    WIN32_SYSTEMTIME local{};
    if (ticks == 0 || !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) {
        return -GetStandardBiasMinutes();
    }
    const auto difference =
        static_cast<std::int64_t>(SystemTimeToTicks(FromWin32SystemTime(local))) -
        static_cast<std::int64_t>(ticks);
    return static_cast<int>(difference / static_cast<std::int64_t>(kTicksPerSecond) / 60);
}

// The instant whose local time is `civil` (calendar fields read as UTC seconds): the only one,
// the earlier in the repeated hour, and in the skipped hour the one read with the offset in
// force before the change.
std::int64_t CivilToUtcSeconds(std::int64_t civil) {
    const std::vector<std::int64_t> instants =
        LocalTimeInstants(TicksToSystemTime(UnixSecondsToTicks(civil, 0)));
    if (!instants.empty()) {
        return instants.front();
    }
    // Clocks went forward: the offset before the change is the smaller of those a day either
    // side.
    const int before = std::min(UtcOffsetMinutesAt(civil - kSecondsPerDay),
                                UtcOffsetMinutesAt(civil + kSecondsPerDay));
    return civil - std::int64_t{before} * 60;
}

}  // namespace

namespace detail {
// The installed zone rule, null while the system's zone is in force (ClockSync_win32.cpp).
std::shared_ptr<const CZoneRule> InstalledZone() {
    ZoneState& installed = Installed();
    std::lock_guard<std::mutex> guard(installed.lock);
    return installed.rule;
}
}  // namespace detail

bool SetZoneRule(const std::string& zone) {
    std::optional<CZoneRule> rule = CZoneRule::Parse(zone);
    if (!rule) {
        return false;
    }
    ZoneState& installed = Installed();
    std::lock_guard<std::mutex> guard(installed.lock);
    installed.rule = std::make_shared<const CZoneRule>(*rule);
    installed.text = zone;
    return true;
}

void ClearZoneRule() {
    ZoneState& installed = Installed();
    std::lock_guard<std::mutex> guard(installed.lock);
    installed.rule.reset();
    installed.text.clear();
}

std::string InstalledZoneRule() {
    ZoneState& installed = Installed();
    std::lock_guard<std::mutex> guard(installed.lock);
    return installed.text;
}

Ticks CRealClock::NowUtc() const {
    FILETIME ft{};
    GetSystemTimePreciseAsFileTime(&ft);
    return (static_cast<Ticks>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

int GetStandardBiasMinutes() {
    if (const auto rule = detail::InstalledZone()) {
        return -rule->StandardOffsetSeconds() / 60;
    }
    TIME_ZONE_INFORMATION tzi{};
    if (GetTimeZoneInformation(&tzi) == TIME_ZONE_ID_INVALID) {
        return 0;
    }
    return static_cast<int>(tzi.Bias + tzi.StandardBias);
}

int UtcOffsetMinutesAt(std::int64_t utcSeconds) {
    if (const auto rule = detail::InstalledZone()) {
        return rule->OffsetSecondsAt(utcSeconds) / 60;
    }
    return SystemOffsetMinutesAt(utcSeconds);
}

std::int64_t LocalTimeToSeconds(const ::SYSTEMTIME& local) {
    std::int64_t civil = 0;
    if (local.wYear <= 1899 || !CivilSeconds(local, civil)) {
        return 0;
    }
    return CivilToUtcSeconds(civil);
}

::SYSTEMTIME SecondsToLocalTime(std::int64_t seconds) {
    const std::int64_t civil = seconds + std::int64_t{UtcOffsetMinutesAt(seconds)} * 60;
    const Ticks ticks = UnixSecondsToTicks(civil, 0);
    return ticks == 0 ? ::SYSTEMTIME{} : TicksToSystemTime(ticks);
}

::SYSTEMTIME LocalToUtc(const ::SYSTEMTIME& local) {
    std::int64_t civil = 0;
    if (!CivilSeconds(local, civil)) {
        return ::SYSTEMTIME{};
    }
    const Ticks ticks = UnixSecondsToTicks(CivilToUtcSeconds(civil), local.wMilliseconds);
    return ticks == 0 ? ::SYSTEMTIME{} : TicksToSystemTime(ticks);
}

::SYSTEMTIME UtcToLocal(const ::SYSTEMTIME& utc) {
    const Ticks ticks = SystemTimeToTicks(utc);
    if (ticks == 0) {
        return ::SYSTEMTIME{};
    }
    const std::int64_t seconds = TicksToUnixSeconds(ticks);
    const std::int64_t civil = seconds + std::int64_t{UtcOffsetMinutesAt(seconds)} * 60;
    const Ticks local = UnixSecondsToTicks(civil, utc.wMilliseconds);
    return local == 0 ? ::SYSTEMTIME{} : TicksToSystemTime(local);
}

}  // namespace Platform
