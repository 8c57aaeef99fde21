// The computer's clock as a timed start depends on it: whether the operating system keeps it
// synchronised to a time source, how far off it may be, and the name of the local zone.
//
// Linux: the kernel's NTP state (ntp_adjtime with no modes): the unsynchronised status bit
// and the estimated error. Windows: the time service's last successful synchronisation and
// its configured source. Tests install a fake source with SetClockSyncSource.
#pragma once

#include <cstdint>
#include <string>

namespace Platform {

struct ClockSyncState {
    enum class Kind {
        Synchronised,    // the operating system reports a synchronised clock
        Unsynchronised,  // it reports the clock as not (or no longer) synchronised
        Unknown,         // the state could not be read (`detail` says why)
    };
    Kind kind = Kind::Unknown;
    // The operating system's estimate of the clock's error, seconds; negative when it gives
    // none.
    double estimatedErrorSeconds = -1.0;
    // The system's own words for an unreadable state, or the source's name; may be empty.
    std::wstring detail;
};

class IClockSyncSource {
public:
    virtual ~IClockSyncSource() = default;
    virtual ClockSyncState Read() const = 0;
};

// The clock state from the process's source: the operating system unless a test installed
// another one.
ClockSyncState ReadClockSync();
// Installs `source` (not owned; nullptr restores the operating system's state).
void SetClockSyncSource(const IClockSyncSource* source);
// The operating system's own answer (the *_posix / *_win32 half).
ClockSyncState ReadSystemClockSync();

// The short name of the host's zone at the instant (seconds since 1970 UTC), e.g. "CET" or
// "CEST"; the UTC offset as "UTC+01:00" when the zone has no name.
std::wstring ZoneNameAt(std::int64_t utcSeconds);

}  // namespace Platform
