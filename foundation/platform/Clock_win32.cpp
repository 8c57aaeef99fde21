// The host's clock and time-zone rules on Windows: the precise system time, the time-zone
// information for the standard bias, and the C runtime's mktime/localtime for the
// conversions that must follow the C library's rules.
#include <time.h>

#include "platform/Clock.h"
#include "platform/WindowsApi.h"

namespace Platform {

namespace {

constexpr std::int64_t kEpochDifferenceSeconds = 11'644'473'600;

Ticks UnixSecondsToTicks(std::int64_t seconds, WORD milliseconds) {
    if (seconds < -kEpochDifferenceSeconds) {
        return 0;
    }
    return static_cast<Ticks>(seconds + kEpochDifferenceSeconds) * kTicksPerSecond +
           static_cast<Ticks>(milliseconds) * kTicksPerMillisecond;
}

tm ToTm(const ::SYSTEMTIME& local) {
    tm t{};
    t.tm_year = static_cast<int>(local.wYear) - 1900;
    t.tm_mon = static_cast<int>(local.wMonth) - 1;
    t.tm_mday = local.wDay;
    t.tm_hour = local.wHour;
    t.tm_min = local.wMinute;
    t.tm_sec = local.wSecond;
    t.tm_isdst = -1;
    return t;
}

::SYSTEMTIME FromTm(const tm& t, WORD milliseconds) {
    ::SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(t.tm_year + 1900);
    st.wMonth = static_cast<WORD>(t.tm_mon + 1);
    st.wDayOfWeek = static_cast<WORD>(t.tm_wday);
    st.wDay = static_cast<WORD>(t.tm_mday);
    st.wHour = static_cast<WORD>(t.tm_hour);
    st.wMinute = static_cast<WORD>(t.tm_min);
    st.wSecond = static_cast<WORD>(t.tm_sec);
    st.wMilliseconds = milliseconds;
    return st;
}

}  // namespace

Ticks CRealClock::NowUtc() const {
    FILETIME ft{};
    GetSystemTimePreciseAsFileTime(&ft);
    return (static_cast<Ticks>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

int GetStandardBiasMinutes() {
    TIME_ZONE_INFORMATION tzi{};
    if (GetTimeZoneInformation(&tzi) == TIME_ZONE_ID_INVALID) {
        return 0;
    }
    return static_cast<int>(tzi.Bias + tzi.StandardBias);
}

std::int64_t LocalTimeToSeconds(const ::SYSTEMTIME& local) {
    if (local.wYear <= 1899) {
        return 0;
    }
    tm t = ToTm(local);
    const __time64_t result = _mktime64(&t);
    return result == -1 ? 0 : static_cast<std::int64_t>(result);
}

::SYSTEMTIME SecondsToLocalTime(std::int64_t seconds) {
    const __time64_t t = seconds;
    tm out{};
    if (_localtime64_s(&out, &t) != 0) {
        return ::SYSTEMTIME{};
    }
    return FromTm(out, 0);
}

::SYSTEMTIME LocalToUtc(const ::SYSTEMTIME& local) {
    const WIN32_SYSTEMTIME in = ToWin32SystemTime(local);
    WIN32_SYSTEMTIME utc{};
    if (!TzSpecificLocalTimeToSystemTime(nullptr, &in, &utc)) {
        return ::SYSTEMTIME{};
    }
    return TicksToSystemTime(SystemTimeToTicks(FromWin32SystemTime(utc)));
}

::SYSTEMTIME UtcToLocal(const ::SYSTEMTIME& utc) {
    const WIN32_SYSTEMTIME in = ToWin32SystemTime(utc);
    WIN32_SYSTEMTIME local{};
    if (!SystemTimeToTzSpecificLocalTime(nullptr, &in, &local)) {
        return ::SYSTEMTIME{};
    }
    return FromWin32SystemTime(local);
}

int UtcOffsetMinutesAt(std::int64_t utcSeconds) {
    const ::SYSTEMTIME utc = TicksToSystemTime(UnixSecondsToTicks(utcSeconds, 0));
    const ::SYSTEMTIME local = UtcToLocal(utc);
    const auto difference = static_cast<std::int64_t>(SystemTimeToTicks(local)) -
                            static_cast<std::int64_t>(SystemTimeToTicks(utc));
    return static_cast<int>(difference / static_cast<std::int64_t>(kTicksPerSecond) / 60);
}

}  // namespace Platform
