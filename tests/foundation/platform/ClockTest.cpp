#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "TestZone.h"
#include "platform/Clock.h"
#include "platform/ClockSync.h"

using namespace Platform;

namespace {

SYSTEMTIME Make(int y, int mo, int d, int h, int mi, int s, int ms = 0) {
    return MakeSystemTime(y, mo, d, h, mi, s, ms);
}

using QuorvelTest::CZoneScope;

// The zones as POSIX rules (today's rules, every year alike), so that the cases run on every
// system; only a case about a zone's history names the zone database.
constexpr const char* kZurich = "CET-1CEST,M3.5.0,M10.5.0/3";
constexpr const char* kNewYork = "EST5EDT,M3.2.0,M11.1.0";
constexpr const char* kKolkata = "IST-5:30";
constexpr const char* kSydney = "AEST-10AEDT,M10.1.0,M4.1.0/3";

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

TEST(ZoneRules, StandardBiasUsesWindowsSign) {
    {
        CZoneScope zone(kZurich);
        EXPECT_EQ(GetStandardBiasMinutes(), -60);
    }
    {
        CZoneScope zone(kNewYork);
        EXPECT_EQ(GetStandardBiasMinutes(), 300);
    }
    {
        CZoneScope zone(kKolkata);
        EXPECT_EQ(GetStandardBiasMinutes(), -330);
    }
}

TEST(ZoneRules, ZurichSpringForwardDay) {
    CZoneScope zone(kZurich);
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

TEST(ZoneRules, ZurichFallBackDay) {
    CZoneScope zone(kZurich);
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

TEST(ZoneRules, FractionalZoneOffset) {
    CZoneScope zone(kKolkata);
    EXPECT_EQ(UtcOffsetMinutesAt(1719835200), 330);
    const SYSTEMTIME local = UtcToLocal(Make(2024, 7, 1, 12, 0, 0, 0));
    EXPECT_EQ(local.wHour, 17);
    EXPECT_EQ(local.wMinute, 30);
    const SYSTEMTIME utc = LocalToUtc(local);
    EXPECT_EQ(utc.wHour, 12);
    EXPECT_EQ(utc.wMinute, 0);
}

TEST(ZoneRules, YearBefore1900ConvertsToZero) {
    CZoneScope zone(kZurich);
    EXPECT_EQ(LocalTimeToSeconds(Make(1899, 12, 31, 23, 59, 59)), 0);
    EXPECT_EQ(LocalTimeToSeconds(SYSTEMTIME{}), 0);
    EXPECT_NE(LocalTimeToSeconds(Make(1900, 1, 2, 0, 0, 0)), 0);
}

TEST(ZoneRules, DatesBefore1970AndFarAheadConvertBothWays) {
    CZoneScope zone(kZurich);
    // Half an hour before 1970 in Zurich, standard time: 22:30 UTC, a Wednesday.
    EXPECT_EQ(LocalTimeToSeconds(Make(1969, 12, 31, 23, 30, 0)), -5400);
    const SYSTEMTIME eve = SecondsToLocalTime(-5400);
    EXPECT_EQ(eve, (SYSTEMTIME{1969, 12, 3, 31, 23, 30, 0, 0}));
    const SYSTEMTIME winter = LocalToUtc(Make(1969, 1, 15, 12, 0, 0, 500));
    EXPECT_EQ(winter, (SYSTEMTIME{1969, 1, 3, 15, 11, 0, 0, 500}));
    EXPECT_EQ(UtcToLocal(winter), (SYSTEMTIME{1969, 1, 3, 15, 12, 0, 0, 500}));

    // 2100 is no leap year: the day after 28 February is 1 March, and summer time starts
    // on 28 March (01:00 UTC).
    const std::int64_t february = LocalTimeToSeconds(Make(2100, 2, 28, 12, 0, 0));
    EXPECT_EQ(february, 4107495600);
    EXPECT_EQ(SecondsToLocalTime(february + 86400), (SYSTEMTIME{2100, 3, 1, 1, 12, 0, 0, 0}));
    EXPECT_EQ(UtcOffsetMinutesAt(4109878799), 60);
    EXPECT_EQ(UtcOffsetMinutesAt(4109878800), 120);
    EXPECT_EQ(LocalTimeToSeconds(Make(2100, 7, 1, 12, 0, 0)), 4118119200);  // 10:00 UTC
    EXPECT_EQ(UtcToLocal(Make(2100, 7, 1, 10, 0, 0, 7)), (SYSTEMTIME{2100, 7, 4, 1, 12, 0, 0, 7}));
}

TEST(ZoneRules, HostZoneConvertsDatesBefore1970AndFarAhead) {
    ASSERT_TRUE(InstalledZoneRule().empty());
    // Noon UTC of 1 July 1969 and 2100: whatever the host's zone, its local time converts
    // back to the same instant.
    for (const std::int64_t noon : {std::int64_t{-15854400}, std::int64_t{4118126400}}) {
        const SYSTEMTIME local = SecondsToLocalTime(noon);
        EXPECT_EQ(local.wMonth, 7);
        EXPECT_EQ(LocalTimeToSeconds(local), noon);
        SYSTEMTIME utc = LocalToUtc(local);
        utc.wDayOfWeek = 0;
        EXPECT_EQ(utc, Make(local.wYear, 7, 1, 12, 0, 0));
    }
}

TEST(ZoneRules, SkippedHourReadsWithTheOffsetBeforeAndRepeatedHourHasTwoInstants) {
    CZoneScope zone(kZurich);
    // 02:30 does not exist on 31 March 2024; read as CET it is 01:30 UTC (03:30 CEST).
    EXPECT_EQ(LocalTimeToSeconds(Make(2024, 3, 31, 2, 30, 0)), 1711848600);
    EXPECT_EQ(LocalToUtc(Make(2024, 3, 31, 2, 30, 0)).wHour, 1);
    EXPECT_TRUE(LocalTimeInstants(Make(2024, 3, 31, 2, 30, 0)).empty());
    // 02:30 comes twice on 27 October 2024: at 00:30 (CEST) and 01:30 UTC (CET).
    EXPECT_EQ(LocalTimeInstants(Make(2024, 10, 27, 2, 30, 0)),
              (std::vector<std::int64_t>{1729989000, 1729992600}));
    const std::int64_t either = LocalTimeToSeconds(Make(2024, 10, 27, 2, 30, 0));
    EXPECT_TRUE(either == 1729989000 || either == 1729992600) << either;
}

TEST(ZoneRules, SouthernSummerSpansTheNewYear) {
    CZoneScope zone(kSydney);
    // 2026: daylight time ends on 5 April at 03:00 AEDT and starts on 4 October at 02:00
    // AEST, both 16:00 UTC the day before.
    EXPECT_EQ(UtcOffsetMinutesAt(1767225600), 660);  // 1 January
    EXPECT_EQ(ZoneNameAt(1767225600), L"AEDT");
    EXPECT_EQ(UtcOffsetMinutesAt(1775318399), 660);
    EXPECT_EQ(UtcOffsetMinutesAt(1775318400), 600);
    EXPECT_EQ(ZoneNameAt(1775318400), L"AEST");
    EXPECT_EQ(UtcOffsetMinutesAt(1791043199), 600);
    EXPECT_EQ(UtcOffsetMinutesAt(1791043200), 660);
    EXPECT_EQ(SecondsToLocalTime(1791043200).wHour, 3);
}

TEST(ZoneRules, ZoneDatabaseNamesBringTheZonesHistory) {
    CZoneScope zone("Europe/Zurich", CZoneScope::IfMissing::Skip);
    if (!zone.Applied()) {
        GTEST_SKIP() << "no zone database: Windows zones keep today's rules only (tzdata on Linux)";
    }
    // Switzerland kept standard time through the summer until 1981.
    EXPECT_EQ(UtcOffsetMinutesAt(173448000), 60);    // 1975-07-01 12:00 UTC
    EXPECT_EQ(UtcOffsetMinutesAt(1719835200), 120);  // 2024-07-01 12:00 UTC
}

TEST(ZoneSeam, RefusesWhatItCannotApplyAndRestoresTheHostZone) {
    const int hostOffset = UtcOffsetMinutesAt(1767225600);
    EXPECT_FALSE(SetZoneRule("CET-1CEST,M3.5.0"));  // the end of summer time missing
    EXPECT_FALSE(SetZoneRule("Nowhere/Atlantis"));
    EXPECT_FALSE(SetZoneRule(""));
    EXPECT_TRUE(InstalledZoneRule().empty());
    {
        CZoneScope kolkata(kKolkata);
        EXPECT_EQ(InstalledZoneRule(), kKolkata);
        {
            CZoneScope zurich(kZurich);
            EXPECT_EQ(UtcOffsetMinutesAt(1767225600), 60);
        }
        EXPECT_EQ(InstalledZoneRule(), kKolkata);
        EXPECT_EQ(UtcOffsetMinutesAt(1767225600), 330);
    }
    EXPECT_TRUE(InstalledZoneRule().empty());
    EXPECT_EQ(UtcOffsetMinutesAt(1767225600), hostOffset);
}

TEST(Clocks, ManualClockDrivesLocalAndUtcTime) {
    CZoneScope zone(kZurich);
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
    CZoneScope zurich(kZurich);
    EXPECT_EQ(ZoneNameAt(1'767'225'600), L"CET");   // 2026-01-01 00:00 UTC
    EXPECT_EQ(ZoneNameAt(1'783'000'000), L"CEST");  // 2026-07-02
    CZoneScope unnamed("<+0530>-5:30");
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
    // The system's own state (any kind; an unreadable one says why in the system's words:
    // the call on Linux, the time service on Windows).
    const ClockSyncState system = ReadClockSync();
    if (system.kind == ClockSyncState::Kind::Unknown) {
        EXPECT_FALSE(system.detail.empty());
    }
}
