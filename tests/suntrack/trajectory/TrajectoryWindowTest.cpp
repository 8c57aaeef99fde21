// The window step: clipping to sunrise and sunset, the multi-day flag, a start in the past,
// a stop before the start, and dates without sunrise or sunset.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "core/TrajectoryGenerator.h"
#include "platform/Clock.h"

namespace {

using namespace SuntrackTest;
using Suntrack::CTrajectoryGenerator;

Suntrack::TrajectorySettings London() {
    Suntrack::TrajectorySettings s;
    s.site.longitudeEastDeg = -0.0015;
    s.site.latitudeDeg = 51.4779;
    s.site.elevationM = 46.0;
    s.site.pressureMb = 1013.0;
    s.site.temperatureC = 15.0;
    s.maxZenithDeg = 80.0;
    return s;
}

Suntrack::TrajectorySettings Svalbard() {
    Suntrack::TrajectorySettings s;
    s.site.longitudeEastDeg = 15.6;
    s.site.latitudeDeg = 78.2;
    s.site.pressureMb = 1013.0;
    return s;
}

class TrajectoryWindow : public ::testing::Test {
protected:
    TrajectoryWindow()
        : tz(kLondonTz),
          // "Now" is the day before the test dates unless a test moves it.
          clock(Platform::LocalTimeToSeconds(Local(2026, 6, 20, 12))),
          generator(log.Target(), alignment) {}

    Suntrack::LocalRiseSet Events(const SYSTEMTIME& date, double limit = 90.8333) {
        return Suntrack::SunRiseSetForLocalDate(London().site, date.wYear, date.wMonth, date.wDay,
                                                limit);
    }

    CTimeZoneScope tz;
    CClockScope clock;
    CLogCapture log;
    Suntrack::CAlignmentModel alignment;
    CFakePanel panel;
    CTrajectoryGenerator generator;
};

TEST_F(TrajectoryWindow, StartBeforeSunriseAndStopAfterSunsetAreClipped) {
    SYSTEMTIME start = Local(2026, 6, 21, 2, 0, 0);
    SYSTEMTIME stop = Local(2026, 6, 21, 23, 0, 0);
    const auto events = Events(start);
    ASSERT_TRUE(events.sunrise.valid && events.sunset.valid);

    ASSERT_TRUE(generator.AdjustTrajectoryWindow(start, panel, stop, London()));
    EXPECT_EQ(start, events.sunrise.local);
    EXPECT_EQ(stop, events.sunset.local);
    EXPECT_EQ(start.wHour, 4);  // 04:43 BST, not 03:43 GMT
    EXPECT_EQ(stop.wHour, 21);
    EXPECT_EQ(panel.multiDay, false);
    EXPECT_TRUE(panel.shown.empty());

    EXPECT_TRUE(
        log.Contains(L"Calculating sunrise and sunset with a maximuth zenith value of "
                     L"90.8333"));
    EXPECT_EQ(log.CountStartingWith(L"Sunrise time calculated as: "), 1);
    EXPECT_EQ(log.CountStartingWith(L"Sunset time calculated as: "), 1);
    EXPECT_TRUE(log.Contains(
        L"Sunrise time is later than start time so we are using it as the start time."));
    EXPECT_TRUE(log.Contains(
        L"Sunset time is earlier than stop time so we are using it as the stop time."));
}

TEST_F(TrajectoryWindow, WindowInsideTheDayIsKept) {
    SYSTEMTIME start = Local(2026, 6, 21, 9, 30, 15);
    SYSTEMTIME stop = Local(2026, 6, 21, 15, 0, 0);
    const SYSTEMTIME originalStart = start;
    const SYSTEMTIME originalStop = stop;
    ASSERT_TRUE(generator.AdjustTrajectoryWindow(start, panel, stop, London()));
    EXPECT_EQ(Platform::LocalTimeToSeconds(start), Platform::LocalTimeToSeconds(originalStart));
    EXPECT_EQ(Platform::LocalTimeToSeconds(stop), Platform::LocalTimeToSeconds(originalStop));
    EXPECT_EQ(log.CountStartingWith(L"Sunrise time is later"), 0);
    EXPECT_EQ(log.CountStartingWith(L"Sunset time is earlier"), 0);
}

TEST_F(TrajectoryWindow, LimitedZenithNarrowsTheDay) {
    panel.limitMaxZenith = true;
    SYSTEMTIME start = Local(2026, 6, 21, 2, 0, 0);
    SYSTEMTIME stop = Local(2026, 6, 21, 23, 0, 0);
    const auto events = Events(start, 80.0);
    ASSERT_TRUE(generator.AdjustTrajectoryWindow(start, panel, stop, London()));
    EXPECT_EQ(start, events.sunrise.local);
    EXPECT_EQ(stop, events.sunset.local);
    EXPECT_GT(Platform::LocalTimeToSeconds(start),
              Events(Local(2026, 6, 21)).sunrise.utcSeconds + 3600);
    EXPECT_TRUE(log.Contains(L"Calculating sunrise and sunset with a maximuth zenith value of 80"));
}

TEST_F(TrajectoryWindow, StopOnALaterDayBecomesTodaysSunsetAndSetsMultiDay) {
    const SYSTEMTIME base = Local(2026, 6, 21, 10, 0, 0);
    const auto events = Events(base);
    ASSERT_TRUE(events.sunset.valid);

    SYSTEMTIME nextDay = base;
    nextDay.wDay = 22;
    nextDay.wHour = 11;          // 25 hours later
    SYSTEMTIME year3000 = base;  // "Run until manually stopped"
    year3000.wYear = 3000;

    for (SYSTEMTIME requestedStop : {nextDay, year3000}) {
        CFakePanel p;
        SYSTEMTIME start = base;
        SYSTEMTIME stop = requestedStop;
        ASSERT_TRUE(generator.AdjustTrajectoryWindow(start, p, stop, London()));
        EXPECT_EQ(stop, events.sunset.local);
        EXPECT_EQ(start.wHour, 10);
        EXPECT_EQ(p.multiDay, true);
    }
    EXPECT_EQ(log.CountStartingWith(L"The stop time is on a later day than the current day so we "
                                    L"will use the sunset today as the stop time."),
              2);
}

TEST_F(TrajectoryWindow, PastStartDeclinedGeneratesNothing) {
    clock.Clock().Set(TicksOfUnixSeconds(Platform::LocalTimeToSeconds(Local(2026, 6, 21, 12))));
    panel.answer = IDNO;
    panel.times.Add(Local(2026, 1, 1));  // an earlier trajectory stays as it was
    panel.azimuths.Add(1.0);
    panel.zeniths.Add(2.0);
    SYSTEMTIME start = Local(2026, 6, 21, 10, 0, 0);
    SYSTEMTIME stop = Local(2026, 6, 21, 15, 0, 0);
    const SYSTEMTIME originalStart = start;

    EXPECT_FALSE(generator.AdjustTrajectoryWindow(start, panel, stop, London()));
    ASSERT_EQ(panel.shown.size(), 1u);
    EXPECT_EQ(panel.shown[0].text,
              L"Error: Start time is set earlier than the current time.\nWould you like to "
              L"continue with a start time of 5 minutes from now?");
    EXPECT_EQ(panel.shown[0].type, MB_YESNO | MB_ICONQUESTION);
    EXPECT_FALSE(panel.startTimeSet.has_value());
    EXPECT_EQ(start, originalStart);
    EXPECT_EQ(panel.times.GetSize(), 1);
    EXPECT_EQ(panel.azimuths[0], 1.0);
}

TEST_F(TrajectoryWindow, PastStartAcceptedMovesToFiveMinutesFromNow) {
    const std::int64_t now = Platform::LocalTimeToSeconds(Local(2026, 6, 21, 12, 0, 30));
    clock.Clock().Set(TicksOfUnixSeconds(now));
    panel.answer = IDYES;
    SYSTEMTIME start = Local(2026, 6, 21, 10, 0, 0);
    SYSTEMTIME stop = Local(2026, 6, 21, 15, 0, 0);

    ASSERT_TRUE(generator.AdjustTrajectoryWindow(start, panel, stop, London()));
    EXPECT_EQ(start, Platform::SecondsToLocalTime(now + 300));
    EXPECT_EQ(start.wHour, 12);
    EXPECT_EQ(start.wMinute, 5);
    EXPECT_EQ(start.wSecond, 30);
    EXPECT_EQ(Platform::LocalTimeToSeconds(start), now + 300);
    ASSERT_TRUE(panel.startTimeSet.has_value());
    EXPECT_EQ(*panel.startTimeSet, start);
    EXPECT_EQ(Platform::LocalTimeToSeconds(stop),
              Platform::LocalTimeToSeconds(Local(2026, 6, 21, 15, 0, 0)));
}

TEST_F(TrajectoryWindow, StopBeforeStartShowsTheErrorBox) {
    SYSTEMTIME start = Local(2026, 6, 21, 12, 0, 0);
    SYSTEMTIME stop = Local(2026, 6, 21, 11, 0, 0);
    EXPECT_FALSE(generator.AdjustTrajectoryWindow(start, panel, stop, London()));
    ASSERT_EQ(panel.shown.size(), 1u);
    EXPECT_EQ(panel.shown[0].text,
              L"Error: Stop time is before start time. Please fix and generate again.");
    EXPECT_EQ(panel.shown[0].type, MB_OK | MB_ICONERROR);
}

TEST_F(TrajectoryWindow, StopEqualToStartIsAccepted) {
    SYSTEMTIME start = Local(2026, 6, 21, 12, 0, 0);
    SYSTEMTIME stop = start;
    EXPECT_TRUE(generator.AdjustTrajectoryWindow(start, panel, stop, London()));
    EXPECT_EQ(Platform::LocalTimeToSeconds(start), Platform::LocalTimeToSeconds(stop));
}

TEST_F(TrajectoryWindow, PolarDayKeepsTheWindowAndTellsTheOperator) {
    CTimeZoneScope zurich(kZurichTz);
    clock.Clock().Set(TicksOfUnixSeconds(Platform::LocalTimeToSeconds(Local(2026, 6, 20, 12))));
    SYSTEMTIME start = Local(2026, 6, 21, 10, 0, 0);
    SYSTEMTIME stop = Local(2026, 6, 21, 14, 0, 0);
    ASSERT_TRUE(generator.AdjustTrajectoryWindow(start, panel, stop, Svalbard()));
    EXPECT_EQ(start.wHour, 10);
    EXPECT_EQ(start.wMinute, 0);
    EXPECT_EQ(stop.wHour, 14);
    EXPECT_EQ(panel.multiDay, false);
    ASSERT_EQ(panel.shown.size(), 1u);
    EXPECT_EQ(panel.shown[0].type, MB_OK | MB_ICONINFORMATION);
    EXPECT_EQ(panel.shown[0].text,
              L"The sun does not cross the zenith limit of 90.8333 degrees on the start date, "
              L"so there is no sunrise or sunset to clip the tracking window to.\nThe start and "
              L"stop times are used as they are.");
    EXPECT_EQ(log.CountStartingWith(L"Sunrise time calculated as: none"), 1);
}

TEST_F(TrajectoryWindow, PolarNightGeneratesNothingAndSaysSo) {
    // It used to keep the window and track a sun 20 degrees below the horizon.
    CTimeZoneScope zurich(kZurichTz);
    clock.Clock().Set(TicksOfUnixSeconds(Platform::LocalTimeToSeconds(Local(2026, 12, 20, 12))));
    SYSTEMTIME start = Local(2026, 12, 21, 10, 0, 0);
    SYSTEMTIME stop = Local(2026, 12, 21, 14, 0, 0);
    const SYSTEMTIME originalStart = start;
    EXPECT_FALSE(generator.AdjustTrajectoryWindow(start, panel, stop, Svalbard()));
    EXPECT_EQ(start, originalStart);
    ASSERT_EQ(panel.shown.size(), 1u);
    EXPECT_EQ(panel.shown[0].type, MB_OK | MB_ICONWARNING);
    EXPECT_EQ(panel.shown[0].text,
              L"The sun stays below the zenith limit of 90.8333 degrees at this site from the "
              L"start time on, so there is no daylight to track.\nNo trajectory has been "
              L"generated.");
    EXPECT_EQ(log.CountStartingWith(L"The sun stays below the zenith limit"), 1);

    // A limit the sun never reaches on a summer day is no daylight either.
    CFakePanel limited;
    limited.limitMaxZenith = true;
    Suntrack::TrajectorySettings settings = London();
    settings.maxZenithDeg = 20.0;  // the sun culminates at about 28 degrees from the zenith
    start = Local(2026, 6, 21, 10, 0, 0);
    stop = Local(2026, 6, 21, 14, 0, 0);
    EXPECT_FALSE(generator.AdjustTrajectoryWindow(start, limited, stop, settings));
    ASSERT_EQ(limited.shown.size(), 1u);
    EXPECT_EQ(limited.shown[0].type, MB_OK | MB_ICONWARNING);
}

TEST_F(TrajectoryWindow, DaylightAcrossTheComputersMidnightIsOneWindow) {
    // A computer on UTC and a site in California: sunrise about 12:45 UTC, sunset about
    // 03:00 UTC the next day. The sunset of the start's date (03:00, the evening before) came
    // before its sunrise and the window was refused as "stop before start".
    CTimeZoneScope utc(kUtcTz);
    clock.Clock().Set(TicksOfUnixSeconds(Platform::LocalTimeToSeconds(Local(2030, 6, 20, 12))));
    Suntrack::TrajectorySettings losAngeles;
    losAngeles.site = LosAngelesSite();

    SYSTEMTIME start = Local(2030, 6, 21, 12, 0, 0);
    SYSTEMTIME stop = Local(2030, 6, 22, 5, 0, 0);
    ASSERT_TRUE(generator.AdjustTrajectoryWindow(start, panel, stop, losAngeles));
    EXPECT_TRUE(panel.shown.empty());
    EXPECT_EQ(start.wDay, 21);
    EXPECT_NEAR(start.wHour * 60 + start.wMinute, 12 * 60 + 43, 4);
    EXPECT_EQ(stop.wDay, 22);
    EXPECT_NEAR(stop.wHour * 60 + stop.wMinute, 3 * 60 + 9, 4);
    EXPECT_EQ(panel.multiDay, false);

    // Started in the site's afternoon after the computer's midnight: the rest of that day.
    CFakePanel evening;
    start = Local(2030, 6, 22, 0, 30, 0);
    stop = Local(2030, 6, 22, 5, 0, 0);
    ASSERT_TRUE(generator.AdjustTrajectoryWindow(start, evening, stop, losAngeles));
    EXPECT_EQ(Platform::LocalTimeToSeconds(start),
              Platform::LocalTimeToSeconds(Local(2030, 6, 22, 0, 30, 0)));
    EXPECT_EQ(stop.wDay, 22);
    EXPECT_EQ(stop.wHour, 3);

    // Until stopped: the stop is the sunset that follows the day's sunrise.
    CFakePanel openEnded;
    start = Local(2030, 6, 21, 12, 0, 0);
    stop = Local(3000, 6, 21, 12, 0, 0);
    ASSERT_TRUE(generator.AdjustTrajectoryWindow(start, openEnded, stop, losAngeles));
    EXPECT_EQ(stop.wDay, 22);
    EXPECT_EQ(stop.wHour, 3);
    EXPECT_EQ(openEnded.multiDay, true);
}

TEST_F(TrajectoryWindow, NoSunsetOnAMultiDayRunEndsAtMidnight) {
    CTimeZoneScope zurich(kZurichTz);
    clock.Clock().Set(TicksOfUnixSeconds(Platform::LocalTimeToSeconds(Local(2026, 6, 20, 12))));
    SYSTEMTIME start = Local(2026, 6, 21, 10, 0, 0);  // midnight sun
    SYSTEMTIME stop = start;
    stop.wYear = 3000;
    ASSERT_TRUE(generator.AdjustTrajectoryWindow(start, panel, stop, Svalbard()));
    EXPECT_EQ(start.wHour, 10);
    EXPECT_EQ(stop.wYear, 2026);
    EXPECT_EQ(stop.wDay, 21);
    EXPECT_EQ(stop.wHour, 23);
    EXPECT_EQ(stop.wMinute, 59);
    EXPECT_EQ(stop.wSecond, 59);
    EXPECT_EQ(panel.multiDay, true);
    ASSERT_EQ(panel.shown.size(), 1u);
    EXPECT_NE(panel.shown[0].text.find(L"Today's trajectory ends at midnight"), std::wstring::npos);
}

}  // namespace
