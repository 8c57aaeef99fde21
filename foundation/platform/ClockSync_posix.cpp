// The kernel's NTP state (adjtimex / ntp_adjtime) and the C library's zone names.
#include <sys/timex.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "ClockSync.h"
#include "TextConvert.h"

namespace Platform {

ClockSyncState ReadSystemClockSync() {
    ClockSyncState state;
    timex t{};
    t.modes = 0;  // read only
    const int result = ntp_adjtime(&t);
    if (result == -1) {
        const int error = errno;
        state.detail = Utf8ToWide(std::string("ntp_adjtime: ") + std::strerror(error));
        return state;
    }
    // TIME_ERROR and STA_UNSYNC both mean the kernel does not consider the clock disciplined
    // by a time source (no NTP daemon, or it has lost its servers).
    const bool unsync = result == TIME_ERROR || (t.status & STA_UNSYNC) != 0;
    state.kind = unsync ? ClockSyncState::Kind::Unsynchronised : ClockSyncState::Kind::Synchronised;
    state.estimatedErrorSeconds = static_cast<double>(t.esterror) / 1e6;  // microseconds
    return state;
}

std::wstring ZoneNameAt(std::int64_t utcSeconds) {
    const std::time_t t = static_cast<std::time_t>(utcSeconds);
    std::tm local{};
    if (localtime_r(&t, &local) == nullptr)
        return L"UTC";
    char name[64] = {};
    if (std::strftime(name, sizeof name, "%Z", &local) > 0 && name[0] != '+' && name[0] != '-')
        return Utf8ToWide(name);
    const long offsetMinutes = local.tm_gmtoff / 60;
    const long magnitude = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    char text[32];
    std::snprintf(text, sizeof text, "UTC%c%02ld:%02ld", offsetMinutes < 0 ? '-' : '+',
                  magnitude / 60, magnitude % 60);
    return Utf8ToWide(text);
}

}  // namespace Platform
