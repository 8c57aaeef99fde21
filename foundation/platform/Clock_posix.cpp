// The host's clock and time-zone rules through the C library (clock_gettime, tzset,
// mktime, localtime_r). An installed zone is the TZ variable, as a user would set it.
#include <stdlib.h>
#include <time.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <optional>

#include "platform/Clock.h"
#include "platform/ZoneRule.h"

namespace Platform {

namespace {

constexpr std::int64_t kEpochDifferenceSeconds = 11'644'473'600;

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

tm ToTm(const SYSTEMTIME& local) {
    tm t{};
    t.tm_year = static_cast<int>(local.wYear) - 1900;
    t.tm_mon = static_cast<int>(local.wMonth) - 1;
    t.tm_mday = local.wDay;
    t.tm_hour = local.wHour;
    t.tm_min = local.wMinute;
    t.tm_sec = local.wSecond;
    t.tm_isdst = -1;  // the library decides whether daylight saving applies
    return t;
}

SYSTEMTIME FromTm(const tm& t, WORD milliseconds) {
    SYSTEMTIME st{};
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

// mktime with the failure told apart from the valid result -1 (1969-12-31 23:59:59 UTC).
bool LocalTmToSeconds(tm t, std::int64_t& seconds) {
    tzset();
    errno = 0;
    const time_t result = mktime(&t);
    if (result == static_cast<time_t>(-1) && errno != 0) {
        return false;
    }
    seconds = static_cast<std::int64_t>(result);
    return true;
}

bool SecondsToLocalTm(std::int64_t seconds, tm& out) {
    tzset();
    const auto t = static_cast<time_t>(seconds);
    return localtime_r(&t, &out) != nullptr;
}

// The TZ variable while a zone is installed, and what it was before.
struct ZoneState {
    std::mutex lock;
    bool active = false;
    std::string zone;
    std::optional<std::string> hostTz;
};

ZoneState& Installed() {
    static ZoneState installed;
    return installed;
}

// Whether `name` names a zone of the installed database (TZDIR, else /usr/share/zoneinfo).
bool InZoneDatabase(std::string name) {
    if (!name.empty() && name[0] == ':') {
        name.erase(0, 1);
    }
    if (name.empty() || name.find("..") != std::string::npos) {
        return false;
    }
    const char* dir = std::getenv("TZDIR");
    const std::filesystem::path file =
        name[0] == '/'
            ? std::filesystem::path(name)
            : std::filesystem::path(dir != nullptr && *dir != '\0' ? dir : "/usr/share/zoneinfo") /
                  name;
    std::error_code error;
    return std::filesystem::is_regular_file(file, error);
}

}  // namespace

bool SetZoneRule(const std::string& zone) {
    if (!CZoneRule::Parse(zone) && !InZoneDatabase(zone)) {
        return false;
    }
    ZoneState& installed = Installed();
    std::lock_guard<std::mutex> guard(installed.lock);
    if (!installed.active) {
        const char* host = std::getenv("TZ");
        installed.hostTz = host != nullptr ? std::optional<std::string>(host) : std::nullopt;
        installed.active = true;
    }
    installed.zone = zone;
    setenv("TZ", zone.c_str(), 1);
    tzset();
    return true;
}

void ClearZoneRule() {
    ZoneState& installed = Installed();
    std::lock_guard<std::mutex> guard(installed.lock);
    if (!installed.active) {
        return;
    }
    if (installed.hostTz) {
        setenv("TZ", installed.hostTz->c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    tzset();
    installed.active = false;
    installed.zone.clear();
    installed.hostTz.reset();
}

std::string InstalledZoneRule() {
    ZoneState& installed = Installed();
    std::lock_guard<std::mutex> guard(installed.lock);
    return installed.zone;
}

Ticks CRealClock::NowUtc() const {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return UnixSecondsToTicks(now.tv_sec, 0) + static_cast<Ticks>(now.tv_nsec / 100);
}

int GetStandardBiasMinutes() {
    tzset();
    // `timezone` is seconds west of Greenwich for standard time: already the Windows sign.
    return static_cast<int>(timezone / 60);
}

std::int64_t LocalTimeToSeconds(const SYSTEMTIME& local) {
    if (local.wYear <= 1899) {
        return 0;
    }
    std::int64_t seconds = 0;
    return LocalTmToSeconds(ToTm(local), seconds) ? seconds : 0;
}

SYSTEMTIME SecondsToLocalTime(std::int64_t seconds) {
    tm t{};
    if (!SecondsToLocalTm(seconds, t)) {
        return SYSTEMTIME{};
    }
    return FromTm(t, 0);
}

SYSTEMTIME LocalToUtc(const SYSTEMTIME& local) {
    std::int64_t seconds = 0;
    if (!LocalTmToSeconds(ToTm(local), seconds)) {
        return SYSTEMTIME{};
    }
    return TicksToSystemTime(UnixSecondsToTicks(seconds, local.wMilliseconds));
}

SYSTEMTIME UtcToLocal(const SYSTEMTIME& utc) {
    const Ticks ticks = SystemTimeToTicks(utc);
    tm t{};
    if (ticks == 0 || !SecondsToLocalTm(TicksToUnixSeconds(ticks), t)) {
        return SYSTEMTIME{};
    }
    return FromTm(t, utc.wMilliseconds);
}

int UtcOffsetMinutesAt(std::int64_t utcSeconds) {
    tm t{};
    if (!SecondsToLocalTm(utcSeconds, t)) {
        return -GetStandardBiasMinutes();
    }
    return static_cast<int>(t.tm_gmtoff / 60);
}

}  // namespace Platform
