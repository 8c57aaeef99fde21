// Clocks and calendar conversions.
//
// Time base of the clocks: "ticks", 100-nanosecond units since 1601-01-01 00:00 UTC (the
// FILETIME form). Every reader of the current time in the system goes through Clock(), so
// tests can replace it with a clock they drive (CManualClock) or one that runs faster
// than real time (CScaledClock) and run a day-long heliostat cycle in seconds. Timed waits
// (WaitForEvents) measure their time-outs on the same clock.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "WinTypes.h"

namespace Platform {

using Ticks = std::uint64_t;
constexpr Ticks kTicksPerMillisecond = 10'000;
constexpr Ticks kTicksPerSecond = 10'000'000;

class IClock {
public:
    virtual ~IClock() = default;
    // Current UTC time in ticks.
    virtual Ticks NowUtc() const = 0;
    // How much real time has to pass for this clock to advance by `span` ticks. A clock
    // that moves only when told answers std::chrono::nanoseconds::max(); waiters are then
    // woken by NotifyClockChanged().
    virtual std::chrono::nanoseconds RealDurationOf(Ticks span) const = 0;
};

// The system clock (clock_gettime / GetSystemTimePreciseAsFileTime).
class CRealClock final : public IClock {
public:
    Ticks NowUtc() const override;
    std::chrono::nanoseconds RealDurationOf(Ticks span) const override;
};

// A clock that stands still until Set or Advance moves it; moving it wakes timed waits.
class CManualClock final : public IClock {
public:
    explicit CManualClock(Ticks startUtc);
    Ticks NowUtc() const override;
    std::chrono::nanoseconds RealDurationOf(Ticks span) const override;
    void Set(Ticks utc);
    void Advance(std::chrono::milliseconds span);

private:
    mutable std::mutex m_lock;
    Ticks m_now;
};

// A clock that starts at `startUtc` and runs `scale` times faster than real time.
class CScaledClock final : public IClock {
public:
    CScaledClock(Ticks startUtc, double scale);
    Ticks NowUtc() const override;
    std::chrono::nanoseconds RealDurationOf(Ticks span) const override;

private:
    Ticks m_start;
    double m_scale;
    std::chrono::steady_clock::time_point m_realStart;
};

// The process clock: the real clock unless a test or tool has installed another one.
IClock& Clock();
// Installs `clock` (not owned; nullptr restores the real clock) and wakes timed waits.
void SetClock(IClock* clock);
// Wakes every timed wait so that it re-reads the clock (a replaced or moved clock).
void NotifyClockChanged();

// For timed waits built on other primitives (poll() on descriptors, a GUI timer): `wake` is
// called, on the thread that moved or replaced the clock, after every NotifyClockChanged.
// It must not block. Returns an id for RemoveClockChangeListener, which returns only once
// no call of that listener is running.
std::uint64_t AddClockChangeListener(std::function<void()> wake);
void RemoveClockChangeListener(std::uint64_t id);

// The zone of local civil time: the host's (on Linux the TZ variable and the zone database,
// on Windows the system's time-zone setting) unless one is installed here. Tests and tools
// install one to compute in a stated zone the same way on every system: a POSIX TZ rule
// (ZoneRule.h) such as "CET-1CEST,M3.5.0,M10.5.0/3"; on Linux also a zone database name
// ("Europe/Zurich"), which brings the zone's history. False, with the zone left as it was, for
// text this system cannot apply: a malformed rule, a database name on Windows or one not
// installed on Linux. Process-wide like the clock: set it before threads read local time.
// (The GNU C library applies a rule's daylight saving from 1970 on only; Windows applies it
// to every year.)
bool SetZoneRule(const std::string& zone);
// Back to the host's zone.
void ClearZoneRule();
// The installed zone as given to SetZoneRule; empty while the host's zone is in force.
std::string InstalledZoneRule();

// Current time from Clock(): UTC, and local civil time under the zone's rules (daylight
// saving included).
SYSTEMTIME GetSystemTimeUtc();
SYSTEMTIME GetLocalTime();

// A SYSTEMTIME from calendar fields, in whatever frame the caller means (UTC or local). The
// fields are not checked and the day of week stays 0: the conversions below ignore it.
SYSTEMTIME MakeSystemTime(int year, int month, int day, int hour = 0, int minute = 0,
                          int second = 0, int milliseconds = 0);

// UTC SYSTEMTIME <-> ticks. The day of week is filled in on the way out.
Ticks SystemTimeToTicks(const SYSTEMTIME& utc);
SYSTEMTIME TicksToSystemTime(Ticks utc);

// The zone's standard-time bias in minutes, Windows sign: UTC = local standard time + bias
// (Zurich: -60, New York: +300). Daylight saving is not applied.
int GetStandardBiasMinutes();

// Local civil time <-> seconds since 1970-01-01 UTC under the zone's rules, for any year from
// 1900 on (before 1970 too). A SYSTEMTIME whose year is 1899 or less converts to 0. A local
// time in the hour skipped when daylight saving begins is read with the offset in force
// before the change; one in the hour repeated when it ends is either instant on Linux (the C
// library's mktime decides), the earlier on Windows: callers that care use LocalTimeInstants.
// Milliseconds are ignored on the way in and 0 on the way out; the day of week is filled in.
std::int64_t LocalTimeToSeconds(const SYSTEMTIME& local);
SYSTEMTIME SecondsToLocalTime(std::int64_t seconds);

// Local civil time <-> UTC under the zone's rules (the skipped and the repeated hour as
// above), milliseconds kept.
SYSTEMTIME LocalToUtc(const SYSTEMTIME& local);
SYSTEMTIME UtcToLocal(const SYSTEMTIME& utc);

// UTC offset of the zone in minutes (local = UTC + offset) at the given UTC instant,
// daylight saving and fractional zones included (Zurich in July: +120; Kolkata: +330).
int UtcOffsetMinutesAt(std::int64_t utcSeconds);

// Every instant (seconds since 1970-01-01 UTC, ascending) whose local civil time under the
// zone's rules is `local`: one as a rule, two in the hour repeated when daylight saving ends,
// none in the hour skipped when it begins. Milliseconds are ignored.
std::vector<std::int64_t> LocalTimeInstants(const SYSTEMTIME& local);

}  // namespace Platform
