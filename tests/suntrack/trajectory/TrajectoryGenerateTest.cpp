// The generation step: the spacing search and its 700-point cap, the time stamps (also
// across daylight-saving changes) and the alignment step with its dumps.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cwchar>

#include "TestSupport.h"
#include "core/Directions.h"
#include "core/TrajectoryGenerator.h"
#include "platform/Clock.h"

namespace {

using namespace SuntrackTest;
using Suntrack::CTrajectoryGenerator;

Suntrack::TrajectorySettings Zurich() {
    Suntrack::TrajectorySettings s;
    s.site.longitudeEastDeg = 8.5417;
    s.site.latitudeDeg = 47.3769;
    s.site.elevationM = 408.0;
    s.site.pressureMb = 965.0;
    s.site.temperatureC = 12.0;
    return s;
}

TEST(TrajectorySpacing, ElevenHoursThirtyNineMinutesFitsAtSixtySeconds) {
    CLogCapture log;
    const auto s = Suntrack::ChooseSpacing(41940, log.Target());
    EXPECT_EQ(s.spacingSeconds, 60);
    EXPECT_EQ(s.points, 700);
    EXPECT_EQ(log.CountStartingWith(L"Using a time between data points of "), 1);
}

TEST(TrajectorySpacing, OneSecondMoreNeedsSeventyFiveSeconds) {
    CLogCapture log;
    const auto s = Suntrack::ChooseSpacing(41941, log.Target());
    EXPECT_EQ(s.spacingSeconds, 75);
    EXPECT_EQ(s.points, 561);
    const auto messages = log.Messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0],
              L"Using a time between data points of 60 seconds, we calculate that 701 data points "
              L"are needed.");
    EXPECT_EQ(messages[1],
              L"Using a time between data points of 75 seconds, we calculate that 561 data points "
              L"are needed.");
}

TEST(TrajectorySpacing, CapHoldsForAnySpan) {
    CLogCapture log(Logging::Informational);  // no lines needed
    for (std::int64_t span :
         {0LL, 1LL, 59LL, 60LL, 61LL, 86'400LL, 90'000LL, 400'000LL, 31'536'000'000LL}) {
        const auto s = Suntrack::ChooseSpacing(span, log.Target());
        EXPECT_LE(s.points, 700) << span;
        EXPECT_GE(s.points, 1) << span;
        EXPECT_EQ(s.spacingSeconds % 15, 0) << span;
        EXPECT_GE(s.spacingSeconds, 60) << span;
        EXPECT_EQ(
            s.points,
            static_cast<long long>(std::ceil(static_cast<double>(span) / s.spacingSeconds)) + 1)
            << span;
        if (s.spacingSeconds > 60) {  // the previous step would not have fitted
            const double previous = static_cast<double>(span) / (s.spacingSeconds - 15);
            EXPECT_GT(static_cast<long long>(std::ceil(previous)) + 1, 700) << span;
        }
    }
    EXPECT_EQ(Suntrack::ChooseSpacing(0, log.Target()).points, 1);
}

class TrajectoryGenerate : public ::testing::Test {
protected:
    TrajectoryGenerate() : tz(kZurichTz), generator(log.Target(), alignment) {}

    std::int64_t Seconds(const SYSTEMTIME& t) { return Platform::LocalTimeToSeconds(t); }

    CTimeZoneScope tz;
    CLogCapture log;
    Suntrack::CAlignmentModel alignment;
    CFakePanel panel;
    CTrajectoryGenerator generator;
    int spacing = 0;
};

TEST_F(TrajectoryGenerate, FullCapWindow) {
    const SYSTEMTIME start = Local(2026, 6, 21, 6, 0, 0);
    const SYSTEMTIME stop = Local(2026, 6, 21, 17, 39, 0);  // 41 940 s later
    ASSERT_TRUE(generator.GenerateTrajectory(panel, spacing, start, stop, Zurich()));
    EXPECT_EQ(spacing, 60);
    ASSERT_EQ(panel.times.GetSize(), 700);
    EXPECT_EQ(panel.azimuths.GetSize(), 700);
    EXPECT_EQ(panel.zeniths.GetSize(), 700);
    EXPECT_EQ(panel.times[0], Platform::SecondsToLocalTime(Seconds(start)));
    EXPECT_EQ(panel.times[699], Platform::SecondsToLocalTime(Seconds(stop)));
    EXPECT_EQ(panel.times[0].wDayOfWeek, 0);  // a Sunday
    EXPECT_EQ(panel.times[0].wMilliseconds, 0);
    EXPECT_TRUE(log.Contains(L"The trajectory has a timespan of 41940 seconds."));
    EXPECT_TRUE(log.Contains(L"We will be using 700 data points spaced apart by 60 seconds."));
    EXPECT_TRUE(log.Contains(L"No coordinate system transformations are being done."));
    for (long long k = 0; k < 700; ++k) {
        EXPECT_GE(panel.azimuths[k], 0.0);
        EXPECT_LE(panel.azimuths[k], 360.0);
    }
}

TEST_F(TrajectoryGenerate, OneSecondMoreGives561PointsAt75Seconds) {
    const SYSTEMTIME start = Local(2026, 6, 21, 6, 0, 0);
    const SYSTEMTIME stop = Local(2026, 6, 21, 17, 39, 1);
    ASSERT_TRUE(generator.GenerateTrajectory(panel, spacing, start, stop, Zurich()));
    EXPECT_EQ(spacing, 75);
    ASSERT_EQ(panel.times.GetSize(), 561);
    // The last point lies up to spacing - 1 seconds after the stop.
    EXPECT_EQ(Seconds(panel.times[560]), Seconds(start) + 560 * 75);
    EXPECT_EQ(log.CountStartingWith(L"Using a time between data points of "), 2);
}

TEST_F(TrajectoryGenerate, StartEqualToStopGivesOnePoint) {
    const SYSTEMTIME t = Local(2026, 6, 21, 12, 0, 0);
    panel.times.Add(Local(2020, 1, 1));  // the previous trajectory is cleared
    panel.azimuths.Add(0.0);
    panel.zeniths.Add(0.0);
    ASSERT_TRUE(generator.GenerateTrajectory(panel, spacing, t, t, Zurich()));
    EXPECT_EQ(spacing, 60);
    ASSERT_EQ(panel.times.GetSize(), 1);
    EXPECT_EQ(panel.azimuths.GetSize(), 1);
    EXPECT_EQ(Seconds(panel.times[0]), Seconds(t));
    EXPECT_TRUE(log.Contains(L"We will be using 1 data points spaced apart by 60 seconds."));
}

TEST_F(TrajectoryGenerate, StopBeforeStartGeneratesNothing) {
    panel.times.Add(Local(2020, 1, 1));
    EXPECT_FALSE(generator.GenerateTrajectory(panel, spacing, Local(2026, 6, 21, 12),
                                              Local(2026, 6, 21, 11), Zurich()));
    EXPECT_TRUE(panel.times.IsEmpty());
    EXPECT_TRUE(panel.azimuths.IsEmpty());
}

TEST_F(TrajectoryGenerate, StampsAndPositionsAcrossSpringForward) {
    // 29 March 2026: at 02:00 CET the clocks go to 03:00 CEST.
    const SYSTEMTIME start = Local(2026, 3, 29, 1, 0, 0);
    const SYSTEMTIME stop = Local(2026, 3, 29, 4, 0, 0);
    ASSERT_TRUE(generator.GenerateTrajectory(panel, spacing, start, stop, Zurich()));
    EXPECT_TRUE(log.Contains(L"The trajectory has a timespan of 7200 seconds."));
    ASSERT_EQ(panel.times.GetSize(), 121);
    EXPECT_EQ(panel.times[59].wHour, 1);
    EXPECT_EQ(panel.times[59].wMinute, 59);
    EXPECT_EQ(panel.times[60].wHour, 3);
    EXPECT_EQ(panel.times[60].wMinute, 0);
    EXPECT_EQ(panel.times[120].wHour, 4);
    // 03:00 CEST is 01:00 UTC: the position is the sun's at that instant.
    const auto sun = Suntrack::SunAtUtc(Zurich().site, Local(2026, 3, 29, 1, 0, 0));
    EXPECT_DOUBLE_EQ(panel.azimuths[60], sun.azimuthDeg);
    EXPECT_DOUBLE_EQ(panel.zeniths[60], sun.zenithDeg);
    const auto before = Suntrack::SunAtUtc(Zurich().site, Local(2026, 3, 29, 0, 59, 0));
    EXPECT_DOUBLE_EQ(panel.azimuths[59], before.azimuthDeg);
}

TEST_F(TrajectoryGenerate, RepeatedHourAfterFallBackKeepsTrueInstants) {
    // 25 October 2026: at 03:00 CEST the clocks go back to 02:00 CET; 02:00-02:59 happens twice.
    const SYSTEMTIME start = Local(2026, 10, 25, 1, 30, 0);
    const SYSTEMTIME stop = Local(2026, 10, 25, 3, 30, 0);
    ASSERT_TRUE(generator.GenerateTrajectory(panel, spacing, start, stop, Zurich()));
    ASSERT_EQ(panel.times.GetSize(), 181);  // three real hours
    EXPECT_EQ(panel.times[30].wHour, 2);
    EXPECT_EQ(panel.times[30].wMinute, 0);
    EXPECT_EQ(panel.times[90].wHour, 2);
    EXPECT_EQ(panel.times[90].wMinute, 0);
    // 02:00 CEST (00:00 UTC) and 02:00 CET (01:00 UTC) are an hour apart for the sun.
    EXPECT_DOUBLE_EQ(panel.azimuths[30],
                     Suntrack::SunAtUtc(Zurich().site, Local(2026, 10, 25, 0, 0, 0)).azimuthDeg);
    EXPECT_DOUBLE_EQ(panel.azimuths[90],
                     Suntrack::SunAtUtc(Zurich().site, Local(2026, 10, 25, 1, 0, 0)).azimuthDeg);
    EXPECT_GT(std::fabs(panel.azimuths[90] - panel.azimuths[30]), 5.0);
}

Suntrack::AlignmentObservation Rotated(double az, double ze, double by) {
    return {az, ze, std::fmod(az + by, 360.0), ze};
}

TEST_F(TrajectoryGenerate, AlignmentRotationShiftsEveryAzimuth) {
    ASSERT_TRUE(alignment.Calculate(
        {Rotated(90.0, 40.0, 10.0), Rotated(180.0, 30.0, 10.0), Rotated(260.0, 60.0, 10.0)},
        log.Target()));
    const SYSTEMTIME start = Local(2026, 6, 21, 8, 0, 0);
    const SYSTEMTIME stop = Local(2026, 6, 21, 16, 0, 0);

    CFakePanel raw;
    ASSERT_TRUE(generator.GenerateTrajectory(raw, spacing, start, stop, Zurich()));
    panel.useAlignment = true;
    ASSERT_TRUE(generator.GenerateTrajectory(panel, spacing, start, stop, Zurich()));
    ASSERT_EQ(panel.azimuths.GetSize(), raw.azimuths.GetSize());
    for (long long k = 0; k < raw.azimuths.GetSize(); ++k) {
        EXPECT_NEAR(panel.azimuths[k], std::fmod(raw.azimuths[k] + 10.0, 360.0), 1e-9);
        EXPECT_NEAR(panel.zeniths[k], raw.zeniths[k], 1e-9);
        EXPECT_EQ(panel.times[k], raw.times[k]);
    }
    EXPECT_TRUE(log.Contains(L"Transforming points into output coordinate system."));
    for (const wchar_t* title :
         {L"\nCalculated points in (az,ze):\n", L"\nCalculated points in (x,y,z):\n",
          L"\nTransformed points in (x,y,z):\n", L"\nTransformed points in (az,ze):\n"}) {
        EXPECT_EQ(log.CountStartingWith(title), 1) << "dump missing";
    }
    // The result dump holds one "%10.6f " pair per point.
    const std::wstring title = L"\nTransformed points in (az,ze):\n";
    const auto dump = log.FindStartingWith(title);
    ASSERT_TRUE(dump.has_value());
    wchar_t first[64];
    std::swprintf(first, 64, L"%10.6f %10.6f \n", panel.azimuths[0], panel.zeniths[0]);
    EXPECT_EQ(dump->substr(title.size(), std::wcslen(first)), first);
    EXPECT_EQ(static_cast<long long>(std::count(dump->begin(), dump->end(), L'\n')),
              2 + panel.azimuths.GetSize());
}

TEST_F(TrajectoryGenerate, IdentityAlignmentKeepsThePositions) {
    const SYSTEMTIME start = Local(2026, 6, 21, 8, 0, 0);
    const SYSTEMTIME stop = Local(2026, 6, 21, 9, 0, 0);
    CFakePanel raw;
    ASSERT_TRUE(generator.GenerateTrajectory(raw, spacing, start, stop, Zurich()));
    panel.useAlignment = true;
    ASSERT_TRUE(generator.GenerateTrajectory(panel, spacing, start, stop, Zurich()));
    for (long long k = 0; k < raw.azimuths.GetSize(); ++k) {
        EXPECT_NEAR(panel.azimuths[k], raw.azimuths[k], 1e-9);
        EXPECT_NEAR(panel.zeniths[k], raw.zeniths[k], 1e-9);
    }
}

TEST_F(TrajectoryGenerate, WithoutDebugNoLinesAndNoDumps) {
    log.SetCeiling(Logging::Informational);
    panel.useAlignment = true;
    ASSERT_TRUE(generator.GenerateTrajectory(panel, spacing, Local(2026, 6, 21, 8),
                                             Local(2026, 6, 21, 9), Zurich()));
    EXPECT_EQ(panel.times.GetSize(), 61);
    EXPECT_TRUE(log.Messages().empty());
}

}  // namespace
