// Events share one lock and one condition variable: a wait on several events then needs no
// registration with each of them, and moving the process clock wakes every timed wait with
// one notify. The driver has a handful of events and waiters, so the shared wake-up costs
// nothing that matters.
#include "platform/Event.h"

#include <algorithm>
#include <vector>

#include "platform/Clock.h"

namespace Platform {

namespace {

struct WaitHub {
    std::mutex lock;
    std::condition_variable changed;  // an event was set, or the clock moved
};

WaitHub& Hub() {
    static WaitHub hub;
    return hub;
}

// Longest single real-time wait: a guard against overflow in the condition variable's
// deadline arithmetic; the loop re-reads the clock and waits again.
constexpr std::chrono::nanoseconds kLongestWait = std::chrono::hours(1);

}  // namespace

namespace detail {
void WakeTimedEventWaits() {
    WaitHub& hub = Hub();
    // Taking the lock orders this wake-up after a waiter's read of the clock: a waiter
    // either sees the new time or is already waiting when the notify comes.
    { std::lock_guard<std::mutex> guard(hub.lock); }
    hub.changed.notify_all();
}
}  // namespace detail

struct CEvent::Impl {
    bool manualReset;
    bool signalled;  // guarded by the hub's lock
};

CEvent::CEvent(bool manualReset, bool initiallySet) : m_impl(new Impl{manualReset, initiallySet}) {}

CEvent::~CEvent() {
    delete m_impl;
}

void CEvent::Set() {
    WaitHub& hub = Hub();
    {
        std::lock_guard<std::mutex> guard(hub.lock);
        m_impl->signalled = true;
    }
    hub.changed.notify_all();
}

void CEvent::Reset() {
    std::lock_guard<std::mutex> guard(Hub().lock);
    m_impl->signalled = false;
}

bool CEvent::IsSet() const {
    std::lock_guard<std::mutex> guard(Hub().lock);
    return m_impl->signalled;
}

int WaitForEvents(std::initializer_list<CEvent*> events, std::uint32_t timeoutMs) {
    WaitHub& hub = Hub();
    std::unique_lock<std::mutex> guard(hub.lock);
    const bool limited = timeoutMs != kInfinite;
    const Ticks deadline = Clock().NowUtc() + static_cast<Ticks>(timeoutMs) * kTicksPerMillisecond;
    // On the real clock the time-out is measured on the monotonic clock, so that a step of
    // the wall clock (NTP, the operator) neither stretches nor cuts a wait.
    const auto steadyDeadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int index = 0;
        for (CEvent* event : events) {
            if (event != nullptr && event->m_impl->signalled) {
                if (!event->m_impl->manualReset) {
                    event->m_impl->signalled = false;
                }
                return index;
            }
            ++index;
        }
        if (!limited) {
            hub.changed.wait(guard);
            continue;
        }
        // The clock is read under the hub's lock; see WakeTimedEventWaits.
        IClock& clock = Clock();
        if (dynamic_cast<CRealClock*>(&clock) != nullptr) {
            if (std::chrono::steady_clock::now() >= steadyDeadline) {
                return kWaitTimeout;
            }
            hub.changed.wait_until(guard, steadyDeadline);
            continue;
        }
        const Ticks now = clock.NowUtc();
        if (now >= deadline) {
            return kWaitTimeout;
        }
        const std::chrono::nanoseconds realWait =
            std::min(clock.RealDurationOf(deadline - now), kLongestWait);
        hub.changed.wait_for(guard, realWait);
    }
}

}  // namespace Platform
