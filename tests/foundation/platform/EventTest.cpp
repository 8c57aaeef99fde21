#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/Clock.h"
#include "platform/Event.h"

using namespace Platform;

namespace {

// Installs a clock for one test and restores the real one.
class ClockScope {
public:
    explicit ClockScope(IClock& clock) { SetClock(&clock); }
    ~ClockScope() { SetClock(nullptr); }
};

}  // namespace

TEST(Events, LowestSignalledIndexWins) {
    CEvent a(true, false), b(true, true), c(false, true);
    EXPECT_EQ(WaitForEvents({&a, &b, &c}, 0), 1);
    EXPECT_EQ(WaitForEvents({&c, &b}, 0), 0);
    EXPECT_FALSE(c.IsSet());  // the auto-reset winner was consumed
    EXPECT_TRUE(b.IsSet());   // a manual-reset winner stays set
    EXPECT_EQ(WaitForEvents({&a, &c}, 0), kWaitTimeout);
}

TEST(Events, AutoResetReleasesOneWaitPerSet) {
    CEvent autoReset(false, false);
    autoReset.Set();
    EXPECT_EQ(WaitForEvent(autoReset, 0), 0);
    EXPECT_EQ(WaitForEvent(autoReset, 0), kWaitTimeout);
    // An auto-reset event that loses to a lower index is left set.
    CEvent first(true, true);
    autoReset.Set();
    EXPECT_EQ(WaitForEvents({&first, &autoReset}, 0), 0);
    EXPECT_TRUE(autoReset.IsSet());
    autoReset.Reset();
    EXPECT_FALSE(autoReset.IsSet());
}

TEST(Events, SetFromAnotherThreadWakesAnInfiniteWait) {
    CEvent shutdown(true, false), work(false, false);
    std::atomic<int> result{-2};
    std::thread waiter([&] { result = WaitForEvents({&shutdown, &work}, kInfinite); });
    work.Set();
    waiter.join();
    EXPECT_EQ(result.load(), 1);
    EXPECT_FALSE(work.IsSet());
}

TEST(Events, RealClockTimeoutEnds) {
    CEvent never(false, false);
    EXPECT_EQ(WaitForEvent(never, 20), kWaitTimeout);
    EXPECT_FALSE(never.IsSet());
}

TEST(Events, TimeoutOnManualClockEndsOnlyWhenTheClockIsAdvanced) {
    CManualClock manual(1000 * kTicksPerSecond);
    ClockScope scope(manual);
    CEvent never(true, false);
    std::atomic<bool> started{false}, finished{false};
    std::atomic<int> result{-2};
    std::atomic<Ticks> waitStart{0};
    std::thread waiter([&] {
        waitStart = manual.NowUtc();
        started = true;
        result = WaitForEvent(never, 1000);
        finished = true;
    });
    while (!started) {
        std::this_thread::yield();
    }
    // Real time alone does not end a wait measured on a clock that stands still.
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_FALSE(finished.load());
    manual.Advance(std::chrono::milliseconds(999));
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(finished.load());
    while (!finished) {
        manual.Advance(std::chrono::milliseconds(1));
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    waiter.join();
    EXPECT_EQ(result.load(), kWaitTimeout);
    EXPECT_GE(manual.NowUtc() - waitStart.load(), 1000 * kTicksPerMillisecond);
}

TEST(Events, ReplacingTheClockWakesTimedWaits) {
    CManualClock manual(0);
    SetClock(&manual);
    CEvent never(true, false);
    std::atomic<int> result{-2};
    std::thread waiter([&] { result = WaitForEvent(never, 60'000); });
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    // Jumping the installed clock's time far ahead ends the wait.
    manual.Set(kTicksPerSecond * 3600);
    waiter.join();
    SetClock(nullptr);
    EXPECT_EQ(result.load(), kWaitTimeout);
}

TEST(Events, ScaledClockEndsALongWaitQuickly) {
    // Ten minutes of clock time at 60000 times real time: 10 ms.
    CScaledClock scaled(0, 60'000.0);
    ClockScope scope(scaled);
    CEvent never(true, false);
    const Ticks before = scaled.NowUtc();
    EXPECT_EQ(WaitForEvent(never, 10 * 60 * 1000), kWaitTimeout);
    EXPECT_GE(scaled.NowUtc() - before, 600 * kTicksPerSecond);
}
