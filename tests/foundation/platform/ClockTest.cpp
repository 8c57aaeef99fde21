#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>

#include "TestProcess.h"
#include "platform/Clock.h"
#include "platform/ClockSync.h"

using namespace Platform;

namespace {

SYSTEMTIME Make(int y, int mo, int d, int h, int mi, int s, int ms = 0) {
    return MakeSystemTime(y, mo, d, h, mi, s, ms);
}

// Runs a test body under a time zone and restores the previous one.
class ZoneGuard {
public:
    explicit ZoneGuard(const char* zone) {
        const char* old = std::getenv("TZ");
        m_had = old != nullptr;
        if (m_had) {
            m_old = old;
        }
        QuorvelTest::SetVariable("TZ", zone);
        tzset();
    }
    ~ZoneGuard() {
        if (m_had) {
            QuorvelTest::SetVariable("TZ", m_old.c_str());
        } else {
            QuorvelTest::UnsetVariable("TZ");
        }
        tzset();
    }

private:
    bool m_had = false;
    std::string m_old;
};

// The zone tests need the host's time-zone database (Debian package tzdata).
class ZoneRules : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* zone : {"Europe/Zurich", "America/New_York", "Asia/Kolkata"}) {
            if (!std::filesystem::exists(std::string("/usr/share/zoneinfo/") + zone)) {
                GTEST_SKIP() << "time-zone data for " << zone << " missing: install tzdata";
            }
        }
    }
};
using Clocks = ZoneRules;

}  // namespace

TEST(Calendar, TicksRoundTripWithPublishedAnchors) {
    // 1970-01-01 is 116444736000000000 ticks after 1601-01-01 (the FILETIME of the Unix epoch).
    EXPECT_EQ(SystemTimeToTicks(Make(1970, 1, 1, 0, 0, 0)), 116444736000000000ULL);
    EXPECT_EQ(SystemTimeToTicks(Make(1601, 1, 1, 0, 0, 0)), 0ULL);

    const SYSTEMTIME leap = Make(2024, 2, 29, 23, 59, 59, 999);
    SYSTEMTIME back = TicksToSystemTime(SystemTimeToTicks(leap));
    EXPECT_EQ(back.wDayOfWeek, 4);  // a Thursday
    back.wDayOfWeek = 0;
    EXPECT_EQ(back, leap);

    const SYSTEMTIME y2k = TicksToSystemTime(SystemTimeToTicks(Make(2000, 1, 1, 0, 0, 0)));
    EXPECT_EQ(y2k.wDayOfWeek, 6);  // a Saturday
}

TEST(Calendar, InvalidFieldsGiveZeroTicks) {
    EXPECT_EQ(SystemTimeToTicks(Make(2023, 2, 29, 0, 0, 0)), 0ULL);
    EXPECT_EQ(SystemTimeToTicks(Make(2023, 13, 1, 0, 0, 0)), 0ULL);
    EXPECT_EQ(SystemTimeToTicks(Make(2023, 1, 1, 24, 0, 0)), 0ULL);
    EXPECT_EQ(SystemTimeToTicks(Make(1600, 12, 31, 0, 0, 0)), 0ULL);
}

TEST_F(ZoneRules, StandardBiasUsesWindowsSign) {
    {
        ZoneGuard zone("Europe/Zurich");
        EXPECT_EQ(GetStandardBiasMinutes(), -60);
    }
    {
        ZoneGuard zone("America/New_York");
        EXPECT_EQ(GetStandardBiasMinutes(), 300);
    }
    {
        ZoneGuard zone("Asia/Kolkata");
        EXPECT_EQ(GetStandardBiasMinutes(), -330);
    }
}

TEST_F(ZoneRules, ZurichSpringForwardDay) {
    ZoneGuard zone("Europe/Zurich");
    // 2024-03-31: clocks go from 02:00 CET to 03:00 CEST (01:00 UTC).
    EXPECT_EQ(LocalTimeToSeconds(Make(2024, 3, 31, 1, 30, 0)), 1711845000);  // 00:30 UTC
    EXPECT_EQ(LocalTimeToSeconds(Make(2024, 3, 31, 3, 30, 0)), 1711848600);  // 01:30 UTC
    EXPECT_EQ(UtcOffsetMinutesAt(1711846799), 60);
    EXPECT_EQ(UtcOffsetMinutesAt(1711846800), 120);

    const SYSTEMTIME before = LocalToUtc(Make(2024, 3, 31, 1, 59, 59, 250));
    EXPECT_EQ(before.wHour, 0);
    EXPECT_EQ(before.wMinute, 59);
    EXPECT_EQ(before.wMilliseconds, 250);
    const SYSTEMTIME after = UtcToLocal(Make(2024, 3, 31, 1, 0, 0, 5));
    EXPECT_EQ(after.wHour, 3);
    EXPECT_EQ(after.wMilliseconds, 5);
    EXPECT_EQ(after.wDayOfWeek, 0);  // a Sunday
}

TEST_F(ZoneRules, ZurichFallBackDay) {
    ZoneGuard zone("Europe/Zurich");
    // 2024-10-27: clocks go from 03:00 CEST back to 02:00 CET (01:00 UTC).
    EXPECT_EQ(LocalTimeToSeconds(Make(2024, 10, 27, 0, 30, 0)), 1729981800);  // 22:30 UTC
    EXPECT_EQ(LocalTimeToSeconds(Make(2024, 10, 27, 12, 0, 0)), 1730026800);  // 11:00 UTC
    EXPECT_EQ(UtcOffsetMinutesAt(1729990799), 120);
    EXPECT_EQ(UtcOffsetMinutesAt(1729990800), 60);

    const SYSTEMTIME evening = SecondsToLocalTime(1730052000);  // 18:00 UTC
    EXPECT_EQ(evening.wHour, 19);
    EXPECT_EQ(evening.wDay, 27);
    EXPECT_EQ(evening.wMilliseconds, 0);
    // The standard bias ignores daylight saving, whatever the date.
    EXPECT_EQ(GetStandardBiasMinutes(), -60);
}

TEST_F(ZoneRules, FractionalZoneOffset) {
    ZoneGuard zone("Asia/Kolkata");
    EXPECT_EQ(UtcOffsetMinutesAt(1719835200), 330);
    const SYSTEMTIME local = UtcToLocal(Make(2024, 7, 1, 12, 0, 0, 0));
    EXPECT_EQ(local.wHour, 17);
    EXPECT_EQ(local.wMinute, 30);
    const SYSTEMTIME utc = LocalToUtc(local);
    EXPECT_EQ(utc.wHour, 12);
    EXPECT_EQ(utc.wMinute, 0);
}

TEST_F(ZoneRules, YearBefore1900ConvertsToZero) {
    ZoneGuard zone("Europe/Zurich");
    EXPECT_EQ(LocalTimeToSeconds(Make(1899, 12, 31, 23, 59, 59)), 0);
    EXPECT_EQ(LocalTimeToSeconds(SYSTEMTIME{}), 0);
    EXPECT_NE(LocalTimeToSeconds(Make(1900, 1, 2, 0, 0, 0)), 0);
}

TEST_F(Clocks, ManualClockDrivesLocalAndUtcTime) {
    ZoneGuard zone("Europe/Zurich");
    CManualClock manual(SystemTimeToTicks(Make(2024, 7, 1, 10, 0, 0, 123)));
    SetClock(&manual);
    EXPECT_EQ(GetSystemTimeUtc().wHour, 10);
    EXPECT_EQ(GetSystemTimeUtc().wMilliseconds, 123);
    EXPECT_EQ(GetLocalTime().wHour, 12);
    manual.Advance(std::chrono::hours(1));
    EXPECT_EQ(GetSystemTimeUtc().wHour, 11);
    SetClock(nullptr);
    EXPECT_GT(GetSystemTimeUtc().wYear, 2020);
}

TEST(ScaledClock, RunsFaster) {
    CScaledClock scaled(0, 1000.0);
    // 1000 s of clock time take 1 s of real time (rounded up by a nanosecond).
    EXPECT_EQ(scaled.RealDurationOf(kTicksPerSecond * 1000),
              std::chrono::seconds(1) + std::chrono::nanoseconds(1));
    const Ticks a = scaled.NowUtc();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    // At least 20 ms of real time passed: at least 20 s of clock time.
    EXPECT_GE(scaled.NowUtc() - a, 20 * kTicksPerSecond);
}

TEST(ClockListeners, CalledUntilRemoved) {
    std::atomic<int> calls{0};
    const auto id = AddClockChangeListener([&calls] { ++calls; });
    CManualClock manual(0);
    manual.Advance(std::chrono::milliseconds(5));
    manual.Set(42);
    EXPECT_EQ(calls.load(), 2);
    RemoveClockChangeListener(id);
    manual.Set(43);
    EXPECT_EQ(calls.load(), 2);
}

TEST(ZoneNames, NamesTheZoneInEffectAtTheInstantAndFallsBackToTheOffset) {
    ZoneGuard zurich("CET-1CEST,M3.5.0,M10.5.0/3");
    EXPECT_EQ(ZoneNameAt(1'767'225'600), L"CET");   // 2026-01-01 00:00 UTC
    EXPECT_EQ(ZoneNameAt(1'783'000'000), L"CEST");  // 2026-07-02
    ZoneGuard unnamed("<+0530>-5:30");
    EXPECT_EQ(ZoneNameAt(1'767'225'600), L"UTC+05:30");
}

TEST(ClockSync, AnInstalledSourceAnswersInsteadOfTheSystem) {
    struct CFakeSource : IClockSyncSource {
        ClockSyncState Read() const override {
            return {ClockSyncState::Kind::Unsynchronised, 2.5, L"fake"};
        }
    } fake;
    SetClockSyncSource(&fake);
    EXPECT_EQ(ReadClockSync().kind, ClockSyncState::Kind::Unsynchronised);
    EXPECT_EQ(ReadClockSync().estimatedErrorSeconds, 2.5);
    SetClockSyncSource(nullptr);
    // The kernel's own state is readable here (any kind; an error names the call).
    const ClockSyncState system = ReadClockSync();
    if (system.kind == ClockSyncState::Kind::Unknown) {
        EXPECT_NE(system.detail.find(L"ntp_adjtime"), std::wstring::npos);
    }
}
