#include "platform/Clock.h"

#include <algorithm>
#include <atomic>
#include <limits>
#include <map>

#include "platform/CivilDays.h"

namespace Platform {

namespace detail {
// Event.cpp: wakes the waits of WaitForEvents so that they re-read the clock.
void WakeTimedEventWaits();
}  // namespace detail

using detail::CivilFromDays;
using detail::DaysFromCivil;
using detail::DaysInMonth;

namespace {

// Seconds from 1601-01-01 (tick origin) to 1970-01-01 (the C library's origin).
constexpr std::int64_t kEpochDifferenceSeconds = 11'644'473'600;

std::atomic<IClock*> g_installedClock{nullptr};

CRealClock& RealClock() {
    static CRealClock clock;
    return clock;
}

struct ClockListeners {
    std::mutex lock;  // held while listeners run, see NotifyClockChanged
    std::map<std::uint64_t, std::function<void()>> listeners;
    std::uint64_t nextId = 1;
};

ClockListeners& Listeners() {
    static ClockListeners listeners;
    return listeners;
}

}  // namespace

// ---- clocks ---------------------------------------------------------------------------

std::chrono::nanoseconds CRealClock::RealDurationOf(Ticks span) const {
    constexpr Ticks kMaxSpan = static_cast<Ticks>(std::numeric_limits<std::int64_t>::max() / 100);
    if (span >= kMaxSpan) {
        return std::chrono::nanoseconds::max();
    }
    return std::chrono::nanoseconds(static_cast<std::int64_t>(span) * 100);
}

CManualClock::CManualClock(Ticks startUtc) : m_now(startUtc) {}

Ticks CManualClock::NowUtc() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_now;
}

std::chrono::nanoseconds CManualClock::RealDurationOf(Ticks) const {
    return std::chrono::nanoseconds::max();
}

void CManualClock::Set(Ticks utc) {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_now = utc;
    }
    NotifyClockChanged();
}

void CManualClock::Advance(std::chrono::milliseconds span) {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        const auto delta = span.count() * static_cast<std::int64_t>(kTicksPerMillisecond);
        if (delta < 0 && static_cast<Ticks>(-delta) > m_now) {
            m_now = 0;
        } else {
            m_now += static_cast<Ticks>(delta);
        }
    }
    NotifyClockChanged();
}

CScaledClock::CScaledClock(Ticks startUtc, double scale)
    : m_start(startUtc),
      m_scale(scale > 0.0 ? scale : 1.0),
      m_realStart(std::chrono::steady_clock::now()) {}

Ticks CScaledClock::NowUtc() const {
    const auto real = std::chrono::steady_clock::now() - m_realStart;
    const double ticks = std::chrono::duration<double, std::nano>(real).count() / 100.0 * m_scale;
    return m_start + static_cast<Ticks>(ticks);
}

std::chrono::nanoseconds CScaledClock::RealDurationOf(Ticks span) const {
    const double ns = static_cast<double>(span) * 100.0 / m_scale;
    if (ns >= static_cast<double>(std::numeric_limits<std::int64_t>::max() / 2)) {
        return std::chrono::nanoseconds::max();
    }
    // Round up so a waiter never wakes just before the clock reaches its deadline.
    return std::chrono::nanoseconds(static_cast<std::int64_t>(ns) + 1);
}

IClock& Clock() {
    IClock* installed = g_installedClock.load(std::memory_order_acquire);
    return installed != nullptr ? *installed : RealClock();
}

void SetClock(IClock* clock) {
    g_installedClock.store(clock, std::memory_order_release);
    NotifyClockChanged();
}

void NotifyClockChanged() {
    detail::WakeTimedEventWaits();
    ClockListeners& all = Listeners();
    std::lock_guard<std::mutex> guard(all.lock);
    // Called under the lock so that RemoveClockChangeListener cannot return while a call of
    // the removed listener is still running. Listeners must not block.
    for (auto& [id, wake] : all.listeners) {
        try {
            wake();
        } catch (...) {
            // A listener's failure must not stop the others from waking.
        }
    }
}

std::uint64_t AddClockChangeListener(std::function<void()> wake) {
    ClockListeners& all = Listeners();
    std::lock_guard<std::mutex> guard(all.lock);
    const std::uint64_t id = all.nextId++;
    all.listeners.emplace(id, std::move(wake));
    return id;
}

void RemoveClockChangeListener(std::uint64_t id) {
    ClockListeners& all = Listeners();
    std::lock_guard<std::mutex> guard(all.lock);
    all.listeners.erase(id);
}

// ---- calendar -------------------------------------------------------------------------

SYSTEMTIME MakeSystemTime(int year, int month, int day, int hour, int minute, int second,
                          int milliseconds) {
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(year);
    st.wMonth = static_cast<WORD>(month);
    st.wDay = static_cast<WORD>(day);
    st.wHour = static_cast<WORD>(hour);
    st.wMinute = static_cast<WORD>(minute);
    st.wSecond = static_cast<WORD>(second);
    st.wMilliseconds = static_cast<WORD>(milliseconds);
    return st;
}

Ticks SystemTimeToTicks(const SYSTEMTIME& utc) {
    if (utc.wYear < 1601 || utc.wMonth < 1 || utc.wMonth > 12 || utc.wDay < 1 ||
        utc.wDay > DaysInMonth(utc.wYear, utc.wMonth) || utc.wHour > 23 || utc.wMinute > 59 ||
        utc.wSecond > 59 || utc.wMilliseconds > 999) {
        return 0;
    }
    const std::int64_t days = DaysFromCivil(utc.wYear, utc.wMonth, utc.wDay);
    const std::int64_t seconds =
        days * 86400 + utc.wHour * 3600 + utc.wMinute * 60 + utc.wSecond + kEpochDifferenceSeconds;
    return static_cast<Ticks>(seconds) * kTicksPerSecond +
           static_cast<Ticks>(utc.wMilliseconds) * kTicksPerMillisecond;
}

SYSTEMTIME TicksToSystemTime(Ticks utc) {
    const auto totalSeconds = static_cast<std::int64_t>(utc / kTicksPerSecond);
    const auto milliseconds = static_cast<WORD>((utc % kTicksPerSecond) / kTicksPerMillisecond);
    const std::int64_t unixSeconds = totalSeconds - kEpochDifferenceSeconds;
    std::int64_t days = unixSeconds / 86400;
    std::int64_t secondOfDay = unixSeconds % 86400;
    if (secondOfDay < 0) {
        secondOfDay += 86400;
        --days;
    }
    std::int64_t year = 0;
    unsigned month = 0;
    unsigned day = 0;
    CivilFromDays(days, year, month, day);
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(std::clamp<std::int64_t>(year, 0, 65535));
    st.wMonth = static_cast<WORD>(month);
    st.wDay = static_cast<WORD>(day);
    st.wDayOfWeek = static_cast<WORD>(((days % 7) + 7 + 4) % 7);  // 1970-01-01 was a Thursday
    st.wHour = static_cast<WORD>(secondOfDay / 3600);
    st.wMinute = static_cast<WORD>(secondOfDay / 60 % 60);
    st.wSecond = static_cast<WORD>(secondOfDay % 60);
    st.wMilliseconds = milliseconds;
    return st;
}

std::vector<std::int64_t> LocalTimeInstants(const SYSTEMTIME& local) {
    SYSTEMTIME whole = local;
    whole.wMilliseconds = 0;
    const Ticks ticks = SystemTimeToTicks(whole);
    if (ticks == 0) {
        return {};
    }
    // The civil time read as if it were UTC; an instant u fits when u + offset(u) equals it.
    // Offsets lie within a day of UTC, so the offsets in force a day before and after, and at
    // the civil time itself, include both sides of any change near it.
    const std::int64_t civil =
        static_cast<std::int64_t>(ticks / kTicksPerSecond) - kEpochDifferenceSeconds;
    std::vector<std::int64_t> instants;
    for (const std::int64_t probe : {civil - 86400, civil, civil + 86400}) {
        const std::int64_t candidate = civil - std::int64_t{UtcOffsetMinutesAt(probe)} * 60;
        if (candidate + std::int64_t{UtcOffsetMinutesAt(candidate)} * 60 == civil &&
            std::find(instants.begin(), instants.end(), candidate) == instants.end()) {
            instants.push_back(candidate);
        }
    }
    std::sort(instants.begin(), instants.end());
    return instants;
}

SYSTEMTIME GetSystemTimeUtc() {
    return TicksToSystemTime(Clock().NowUtc());
}

SYSTEMTIME GetLocalTime() {
    return UtcToLocal(GetSystemTimeUtc());
}

}  // namespace Platform
