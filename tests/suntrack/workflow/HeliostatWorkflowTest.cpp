// The heliostat workflow against a fake panel and a fake device: the unattended cycle for as
// many days as the run lasts, "Stop" ending it, the sunrise/sunset buttons in true local
// time, the auto run, the site fields' range rules, a site the sun computation refuses, and
// the enabling table.
#include <gtest/gtest.h>

#include <clocale>
#include <vector>

#include "TestSupport.h"
#include "core/HeliostatWorkflow.h"
#include "core/SunPosition.h"
#include "core/UnattendedRecovery.h"
#include "platform/Clock.h"

namespace {

using namespace SuntrackTest;
using namespace Suntrack;

// The program runs with the desktop's locale in the C library (the GUI toolkit sets it from
// the environment), and ctest runs these tests under German, Swedish and Finnish locales too.
class CDesktopLocale : public ::testing::Environment {
public:
    void SetUp() override { std::setlocale(LC_ALL, ""); }
    void TearDown() override { std::setlocale(LC_ALL, "C"); }
};
::testing::Environment* const kDesktopLocale =
    ::testing::AddGlobalTestEnvironment(new CDesktopLocale);

class CFakeDevice : public IHeliostatDevice {
public:
    bool connected = true;
    unsigned status = HeliostatStatus::kIdle;
    bool accept = true;
    struct Upload {
        int spacing;
        std::vector<SYSTEMTIME> times;
    };
    std::vector<Upload> uploads;
    std::vector<std::string> calls;

    bool IsConnected() override { return connected; }
    unsigned Status() override { return status; }
    bool IsTrajectoryUploaded() override { return !uploads.empty(); }
    bool SetTrajectory(int spacing, const CArray<SYSTEMTIME>& times, const CArray<double>&,
                       const CArray<double>&) override {
        calls.push_back("SetTrajectory");
        if (!accept)
            return false;
        uploads.push_back({spacing, times.Items()});
        return true;
    }
    void StartTrajectory() override { calls.push_back("StartTrajectory"); }
    void CancelTrajectoryUpload() override { calls.push_back("CancelTrajectoryUpload"); }
    void CancelTrajectory() override { calls.push_back("CancelTrajectory"); }
    void StopAll() override { calls.push_back("StopAll"); }
};

class CFakeHeliostatPanel : public IHeliostatPanel {
public:
    CHeliostatWorkflow* workflow = nullptr;
    SYSTEMTIME startTime{}, stopTime{};
    bool runUntilStopped = false;
    bool autoRun = true;
    bool limitMaxZenith = false;
    int answer = IDYES;
    std::vector<ShownMessage> shown;
    CArray<SYSTEMTIME> times;
    CArray<double> azimuths, zeniths;

    bool IsLimitMaxZenithChecked() const override { return limitMaxZenith; }
    bool IsUseAlignmentChecked() const override { return true; }
    void SetStartTime(const SYSTEMTIME& local) override { startTime = local; }
    int ShowMessage(const std::wstring& text, UINT type) override {
        shown.push_back({text, type});
        return (type & 0x0F) == MB_YESNO ? answer : IDOK;
    }
    CArray<SYSTEMTIME>& TrajectoryTimes() override { return times; }
    CArray<double>& TrajectoryAzimuths() override { return azimuths; }
    CArray<double>& TrajectoryZeniths() override { return zeniths; }
    void SetMultiDay(bool value) override { workflow->SetMultiDay(value); }
    SYSTEMTIME StartDate() const override { return startTime; }
    SYSTEMTIME StopDate() const override { return stopTime; }
    SYSTEMTIME StartTime() const override { return startTime; }
    SYSTEMTIME StopTime() const override { return stopTime; }
    void SetStopTime(const SYSTEMTIME& local) override { stopTime = local; }
    bool IsRunUntilStoppedChecked() const override { return runUntilStopped; }
    bool IsAutoRunChecked() const override { return autoRun; }
};

TrajectorySettings Zurich() {
    TrajectorySettings s;
    s.site.longitudeEastDeg = 8.54;
    s.site.latitudeDeg = 47.37;
    s.site.elevationM = 408.0;
    s.site.pressureMb = 1013.0;
    s.site.temperatureC = 15.0;
    return s;
}

class HeliostatWorkflowTest : public ::testing::Test {
protected:
    HeliostatWorkflowTest()
        : tz(kZurichTz),
          clock(Platform::LocalTimeToSeconds(Local(2026, 6, 20, 12))),
          generator(log.Target(), alignment),
          workflow(panel, device, generator, [this] { return settings; }) {
        panel.workflow = &workflow;
    }

    // Moves the clock to a local time.
    void SetNow(const SYSTEMTIME& local) {
        clock.Clock().Set(TicksOfUnixSeconds(Platform::LocalTimeToSeconds(local)));
    }
    LocalRiseSet Events(int y, int m, int d) {
        return SunRiseSetForLocalDate(settings.site, y, m, d, kStandardZenithLimitDeg);
    }
    // The trajectory that just ran ends, the instrument is homed, the homing finishes.
    bool EndOfDay() {
        workflow.OnTrajectoryFinished();
        return workflow.UploadNextDayTrajectory();
    }

    CTimeZoneScope tz;
    CClockScope clock;
    CLogCapture log;
    CAlignmentModel alignment;
    TrajectorySettings settings = Zurich();
    CFakeDevice device;
    CFakeHeliostatPanel panel;
    CTrajectoryGenerator generator;
    CHeliostatWorkflow workflow;
};

TEST_F(HeliostatWorkflowTest, UnattendedRunGoesOnForAsManyDaysAsItLasts) {
    panel.runUntilStopped = true;
    panel.startTime = Local(2026, 6, 21, 3, 0, 0);
    ASSERT_TRUE(workflow.GenerateAndUpload());
    ASSERT_TRUE(workflow.MultiDay());
    ASSERT_EQ(device.uploads.size(), 1u);
    EXPECT_EQ(device.uploads[0].times.front(), Events(2026, 6, 21).sunrise.local);

    // Each evening after sunset the next day's sunrise-to-sunset trajectory goes up, with no
    // question to answer; the start time control stays where the operator put it.
    for (int day = 22; day <= 26; ++day) {
        SetNow(Local(2026, 6, day - 1, 22, 30, 0));
        ASSERT_TRUE(EndOfDay()) << "day " << day;
        ASSERT_EQ(device.uploads.size(), static_cast<std::size_t>(day - 20));
        const LocalRiseSet events = Events(2026, 6, day);
        EXPECT_EQ(device.uploads.back().times.front(), events.sunrise.local) << "day " << day;
        EXPECT_LE(Platform::LocalTimeToSeconds(device.uploads.back().times.back()) -
                      Platform::LocalTimeToSeconds(events.sunset.local),
                  device.uploads.back().spacing - 1);
        EXPECT_TRUE(workflow.MultiDay());
    }
    EXPECT_TRUE(panel.shown.empty());
    EXPECT_EQ(panel.startTime, Local(2026, 6, 21, 3, 0, 0));
}

TEST_F(HeliostatWorkflowTest, RunWithAStopDaysAheadEndsOnItsLastDay) {
    panel.startTime = Local(2026, 6, 21, 3, 0, 0);
    panel.stopTime = Local(2026, 6, 23, 12, 0, 0);
    ASSERT_TRUE(workflow.GenerateAndUpload());
    EXPECT_TRUE(workflow.MultiDay());

    SetNow(Local(2026, 6, 21, 22, 30, 0));
    ASSERT_TRUE(EndOfDay());  // 22 June: the stop is still more than a day after its start
    EXPECT_TRUE(workflow.MultiDay());
    SetNow(Local(2026, 6, 22, 22, 30, 0));
    ASSERT_TRUE(EndOfDay());  // 23 June: ends at noon, the last day
    EXPECT_EQ(device.uploads.back().times.back().wHour, 12);
    EXPECT_FALSE(workflow.MultiDay());
    SetNow(Local(2026, 6, 23, 22, 30, 0));
    EXPECT_FALSE(EndOfDay());
    EXPECT_EQ(device.uploads.size(), 3u);
    EXPECT_TRUE(panel.shown.empty());
}

TEST_F(HeliostatWorkflowTest, OnlyAHomingAfterAFinishedTrajectoryContinuesTheRun) {
    panel.runUntilStopped = true;
    panel.startTime = Local(2026, 6, 21, 3, 0, 0);
    ASSERT_TRUE(workflow.GenerateAndUpload());
    SetNow(Local(2026, 6, 21, 22, 30, 0));
    // The operator homes the instrument by hand: no trajectory has finished.
    EXPECT_FALSE(workflow.UploadNextDayTrajectory());
    EXPECT_EQ(device.uploads.size(), 1u);
    EXPECT_TRUE(EndOfDay());
    EXPECT_EQ(device.uploads.size(), 2u);
}

TEST_F(HeliostatWorkflowTest, StopCancelsWhateverIsUnderWayAndEndsTheUnattendedRun) {
    panel.runUntilStopped = true;
    panel.startTime = Local(2026, 6, 21, 3, 0, 0);
    ASSERT_TRUE(workflow.GenerateAndUpload());

    device.status = HeliostatStatus::kUploading;
    workflow.Stop();
    device.status = HeliostatStatus::kWaiting;
    workflow.Stop();
    device.status = HeliostatStatus::kTrajectory;
    workflow.Stop();
    device.status = HeliostatStatus::kIdle;
    workflow.Stop();
    EXPECT_EQ(device.calls, (std::vector<std::string>{"SetTrajectory", "CancelTrajectoryUpload",
                                                      "CancelTrajectory", "StopAll"}));
    EXPECT_FALSE(workflow.MultiDay());

    // Homing afterwards (even after a reported end) does not re-arm the run.
    SetNow(Local(2026, 6, 21, 22, 30, 0));
    EXPECT_FALSE(EndOfDay());
    EXPECT_EQ(device.uploads.size(), 1u);
}

TEST_F(HeliostatWorkflowTest, RefusedUploadIsReportedAndNothingIsRemembered) {
    panel.startTime = Local(2026, 6, 21, 9, 0, 0);
    panel.stopTime = Local(2026, 6, 21, 10, 0, 0);
    device.accept = false;
    EXPECT_FALSE(workflow.GenerateAndUpload());
    ASSERT_EQ(panel.shown.size(), 1u);
    EXPECT_EQ(panel.shown[0].text, L"Error uploading trajectory!!");
    EXPECT_EQ(panel.shown[0].type, MB_OK);
    EXPECT_FALSE(workflow.LastTrajectoryDay().has_value());
}

TEST_F(HeliostatWorkflowTest, PastStartDeclinedUploadsNothing) {
    panel.startTime = Local(2026, 6, 20, 9, 0, 0);  // three hours ago
    panel.stopTime = Local(2026, 6, 20, 18, 0, 0);
    panel.answer = IDNO;
    EXPECT_FALSE(workflow.GenerateAndUpload());
    EXPECT_TRUE(device.uploads.empty());
    ASSERT_EQ(panel.shown.size(), 1u);
    EXPECT_EQ(panel.shown[0].text, kPastStartQuestion);
}

TEST_F(HeliostatWorkflowTest, AutoRunStartsOnlyWhenTicked) {
    panel.autoRun = false;
    workflow.OnUploadComplete();
    EXPECT_TRUE(device.calls.empty());
    panel.autoRun = true;
    workflow.OnUploadComplete();
    workflow.Run();
    EXPECT_EQ(device.calls, (std::vector<std::string>{"StartTrajectory", "StartTrajectory"}));
}

TEST_F(HeliostatWorkflowTest, SunriseAndSunsetAreInLocalCivilTimeWithDaylightSaving) {
    panel.startTime = Local(2026, 6, 21, 9, 30, 0);
    panel.stopTime = Local(2026, 6, 21, 9, 30, 0);
    ASSERT_TRUE(workflow.SetStartToSunrise());
    ASSERT_TRUE(workflow.SetStopToSunset());
    // Zurich at midsummer: about 05:30 and 21:26 CEST (an hour later than standard time).
    EXPECT_EQ(panel.startTime.wHour, 5);
    EXPECT_NEAR(panel.startTime.wMinute, 30, 3);
    EXPECT_EQ(panel.stopTime.wHour, 21);
    EXPECT_NEAR(panel.stopTime.wMinute, 26, 3);
    EXPECT_EQ(panel.startTime.wDay, 21);
    EXPECT_EQ(panel.startTime.wMilliseconds, 0);
}

TEST_F(HeliostatWorkflowTest, SunriseInAFractionalZoneUsesTheTrueOffset) {
    CTimeZoneScope kolkata(kKolkataTz);
    settings.site = {};
    settings.site.longitudeEastDeg = 88.36;  // Kolkata
    settings.site.latitudeDeg = 22.57;
    settings.site.pressureMb = 1013.0;
    settings.site.temperatureC = 25.0;
    panel.startTime = Local(2026, 3, 20, 12, 0, 0);
    ASSERT_TRUE(workflow.SetStartToSunrise());
    // About 05:44 IST at the equinox; whole-hour zones would put it half an hour off.
    EXPECT_EQ(panel.startTime.wHour, 5);
    EXPECT_NEAR(panel.startTime.wMinute, 44, 4);
}

TEST_F(HeliostatWorkflowTest, DateWithoutSunriseLeavesTheTimeAndTellsTheOperator) {
    settings.site.longitudeEastDeg = 15.6;  // Svalbard, midnight sun
    settings.site.latitudeDeg = 78.2;
    panel.startTime = Local(2026, 6, 21, 9, 30, 0);
    panel.stopTime = Local(2026, 6, 21, 18, 0, 0);
    EXPECT_FALSE(workflow.SetStartToSunrise());
    EXPECT_FALSE(workflow.SetStopToSunset());
    EXPECT_EQ(panel.startTime, Local(2026, 6, 21, 9, 30, 0));
    EXPECT_EQ(panel.stopTime, Local(2026, 6, 21, 18, 0, 0));
    ASSERT_EQ(panel.shown.size(), 2u);
    EXPECT_EQ(panel.shown[0].text, kNoSunriseNotice);
    EXPECT_EQ(panel.shown[1].text, kNoSunsetNotice);
}

TrajectorySettings LosAngeles() {
    TrajectorySettings s;
    s.site = LosAngelesSite();
    return s;
}

TEST_F(HeliostatWorkflowTest, SunSetIsTheOneAfterTheSunRiseWhereTheDayCrossesMidnight) {
    // A computer on UTC for a site in California: "Sun Set" on the date gave 03:00 that
    // morning, before the date's sunrise at 12:45.
    CTimeZoneScope utc(kUtcTz);
    settings = LosAngeles();
    panel.startTime = Local(2030, 6, 21, 9, 0, 0);
    panel.stopTime = Local(2030, 6, 21, 9, 0, 0);
    ASSERT_TRUE(workflow.SetStartToSunrise());
    ASSERT_TRUE(workflow.SetStopToSunset());
    EXPECT_EQ(panel.startTime.wDay, 21);
    EXPECT_EQ(panel.startTime.wHour, 12);
    EXPECT_EQ(panel.stopTime.wDay, 22);
    EXPECT_EQ(panel.stopTime.wHour, 3);
    EXPECT_TRUE(panel.shown.empty());
}

TEST_F(HeliostatWorkflowTest, UnattendedRunFollowsTheSunsDayAcrossTheComputersMidnight) {
    // Computer on UTC, site in California: each day runs from about 12:45 to about 03:00
    // UTC the next day, and the next day's upload goes up after that sunset.
    CTimeZoneScope utc(kUtcTz);
    settings = LosAngeles();
    SetNow(Local(2030, 6, 20, 12));
    panel.runUntilStopped = true;
    panel.startTime = Local(2030, 6, 21, 6, 0, 0);
    ASSERT_TRUE(workflow.GenerateAndUpload());
    for (int day = 21; day <= 24; ++day) {
        const CFakeDevice::Upload& upload = device.uploads.back();
        EXPECT_EQ(upload.times.front().wDay, day);
        EXPECT_EQ(upload.times.front().wHour, 12);
        EXPECT_EQ(upload.times.back().wDay, day + 1);
        EXPECT_EQ(upload.times.back().wHour, 3);
        // Homed a few minutes after the last point.
        SetNow(
            Platform::SecondsToLocalTime(Platform::LocalTimeToSeconds(upload.times.back()) + 300));
        ASSERT_TRUE(EndOfDay()) << "after day " << day;
    }
    EXPECT_EQ(device.uploads.size(), 5u);
    EXPECT_TRUE(panel.shown.empty());
}

TEST_F(HeliostatWorkflowTest, UnattendedPolarDayRunsSixDaysWithoutAsking) {
    // 78 degrees north in June: no sunrise, no sunset. Each day's trajectory ends at
    // midnight and the next day's window has begun by the time the instrument is home: it
    // used to stop at the past-start question (and a notice) every midnight.
    settings.site.longitudeEastDeg = 15.6;
    settings.site.latitudeDeg = 78.0;
    panel.runUntilStopped = true;
    panel.startTime = Local(2026, 6, 21, 10, 0, 0);
    SetNow(Local(2026, 6, 21, 9, 0, 0));
    ASSERT_TRUE(workflow.GenerateAndUpload());
    ASSERT_EQ(panel.shown.size(), 1u);  // the operator was told once, at the start
    panel.shown.clear();
    // Each upload takes 40 s; the next one is allowed twice that and the timed start's lead.
    SetNow(Local(2026, 6, 21, 9, 0, 40));
    workflow.OnUploadComplete();
    const std::int64_t lead = 10 + 2 * 40;

    for (int day = 22; day <= 27; ++day) {
        const CFakeDevice::Upload& ran = device.uploads.back();
        const std::int64_t last = Platform::LocalTimeToSeconds(ran.times.back());
        EXPECT_NEAR(last, Platform::LocalTimeToSeconds(StartOfNextLocalDay(ran.times.front())),
                    ran.spacing)
            << "day " << day - 1 << " runs until midnight";
        // The instrument is home two minutes after the last point.
        const std::int64_t now = last + 120;
        SetNow(Platform::SecondsToLocalTime(now));
        ASSERT_TRUE(EndOfDay()) << "day " << day;
        ASSERT_EQ(device.uploads.size(), static_cast<std::size_t>(day - 20));
        const CFakeDevice::Upload& next = device.uploads.back();
        const std::int64_t first = Platform::LocalTimeToSeconds(next.times.front());
        EXPECT_GE(first, now + lead) << "day " << day;
        EXPECT_LT(first, now + lead + 2 * next.spacing) << "day " << day;
        EXPECT_EQ(next.times.front().wDay, day);
        EXPECT_TRUE(workflow.MultiDay());
        SetNow(Platform::SecondsToLocalTime(now + 40));
        workflow.OnUploadComplete();
        EXPECT_EQ(device.calls.back(), "StartTrajectory");
    }
    EXPECT_TRUE(panel.shown.empty());
}

TEST_F(HeliostatWorkflowTest, ASiteTheSunComputationRefusesIsNamedNotTakenForNoSunrise) {
    settings.site.temperatureC = -273.0;  // stored before the panel kept it above
    panel.startTime = Local(2026, 6, 21, 9, 30, 0);
    panel.stopTime = Local(2026, 6, 21, 18, 0, 0);
    EXPECT_FALSE(workflow.SetStartToSunrise());
    EXPECT_FALSE(workflow.SetStopToSunset());
    EXPECT_FALSE(workflow.GenerateAndUpload());
    EXPECT_EQ(panel.startTime, Local(2026, 6, 21, 9, 30, 0));
    EXPECT_TRUE(device.calls.empty());
    ASSERT_EQ(panel.shown.size(), 3u);
    EXPECT_EQ(panel.shown[0].text, SunRefusedNotice(SUNPOS_BAD_TEMPERATURE, kStartUnchanged));
    EXPECT_EQ(panel.shown[1].text, SunRefusedNotice(SUNPOS_BAD_TEMPERATURE, kStopUnchanged));
    EXPECT_EQ(panel.shown[2].text, SunRefusedNotice(SUNPOS_BAD_TEMPERATURE, kNothingUploaded));
    EXPECT_NE(panel.shown[0].text.find(L"temperature"), std::wstring::npos);
}

TEST(HeliostatSiteFields, EveryFieldsRangeIsOneTheSunComputationAccepts) {
    for (double extreme : {-1e308, -1e6, -273.0, -272.95, 0.0, 1e6, 1e308}) {
        SiteParameters site;
        site.longitudeEastDeg = BringIntoRange(SiteField::Longitude, extreme);
        site.latitudeDeg = BringIntoRange(SiteField::Latitude, extreme);
        site.elevationM = BringIntoRange(SiteField::Elevation, extreme);
        site.pressureMb = BringIntoRange(SiteField::Pressure, extreme);
        site.temperatureC = BringIntoRange(SiteField::Temperature, extreme);
        EXPECT_EQ(RefusedSiteInput(site), 0) << extreme;
    }
}

// An unattended run picked up again after a reconnection or a restart: the rest of today's
// window from the lead on, on the day's grid, without a question (the operator is away and
// would be asked about the past start), and the day-to-day cycle follows.
TEST_F(HeliostatWorkflowTest, ResumedRunPlansTheRestOfTodayWithoutAskingAndGoesOn) {
    panel.runUntilStopped = true;
    panel.answer = IDNO;
    panel.startTime = Local(2026, 6, 20, 3, 0, 0);  // where the operator left it this morning
    SetNow(Local(2026, 6, 20, 13, 0, 0));
    const std::int64_t now = Platform::LocalTimeToSeconds(Local(2026, 6, 20, 13, 0, 0));

    ASSERT_TRUE(workflow.ResumeUnattendedRun(kResumeLeadSeconds));
    EXPECT_TRUE(panel.shown.empty());
    EXPECT_TRUE(workflow.MultiDay());
    ASSERT_EQ(device.uploads.size(), 1u);
    const auto& upload = device.uploads[0];
    const std::int64_t first = Platform::LocalTimeToSeconds(upload.times.front());
    EXPECT_GE(first, now + kResumeLeadSeconds);
    EXPECT_LT(first, now + kResumeLeadSeconds + upload.spacing);
    const LocalRiseSet today = Events(2026, 6, 20);
    EXPECT_LE(Platform::LocalTimeToSeconds(upload.times.back()) -
                  Platform::LocalTimeToSeconds(today.sunset.local),
              upload.spacing - 1);
    EXPECT_EQ(Platform::LocalTimeToSeconds(panel.startTime),
              now + kResumeLeadSeconds);  // the start control shows the resumption

    SetNow(Local(2026, 6, 20, 22, 30, 0));
    ASSERT_TRUE(EndOfDay());
    EXPECT_EQ(device.uploads.back().times.front(), Events(2026, 6, 21).sunrise.local);
}

TEST_F(HeliostatWorkflowTest, ResumedRunAfterTodaysSunsetPlansTomorrow) {
    panel.runUntilStopped = true;
    SetNow(Local(2026, 6, 20, 23, 0, 0));
    ASSERT_TRUE(workflow.ResumeUnattendedRun(kResumeLeadSeconds));
    ASSERT_EQ(device.uploads.size(), 1u);
    EXPECT_EQ(device.uploads[0].times.front(), Events(2026, 6, 21).sunrise.local);
    EXPECT_TRUE(panel.shown.empty());
}

// The instrument answers again: an instrument on today's trajectory is left alone; another
// trajectory, or a start armed by a program that is gone, is stopped and the day planned
// afresh; an idle one gets the rest of the day.
TEST_F(HeliostatWorkflowTest, ReconnectionLeavesTodaysTrajectoryAndReplansAnythingElse) {
    const std::int64_t now = Platform::LocalTimeToSeconds(Local(2026, 6, 20, 12));
    const SunSample sun = SunAtUtcSeconds(settings.site, now);
    ASSERT_TRUE(sun.Valid());
    Logging::CLogger& logger = log.Target().logger;
    EXPECT_TRUE(PointsAtTodaysTrajectory(settings.site, nullptr, now, sun.azimuthDeg,
                                         sun.zenithDeg + 0.5, logger));
    EXPECT_FALSE(PointsAtTodaysTrajectory(settings.site, nullptr, now, sun.azimuthDeg,
                                          sun.zenithDeg + 2.0, logger));
    // Through the alignment: a mirror turned by 90 degrees in azimuth.
    const arma::mat33 turned = {{0, -1, 0}, {1, 0, 0}, {0, 0, 1}};
    const AzZe instrument = CelestialToInstrument(turned, sun.azimuthDeg, sun.zenithDeg);
    EXPECT_TRUE(PointsAtTodaysTrajectory(settings.site, &turned, now, instrument.azimuthDeg,
                                         instrument.zenithDeg, logger));
    EXPECT_FALSE(PointsAtTodaysTrajectory(settings.site, nullptr, now, instrument.azimuthDeg,
                                          instrument.zenithDeg, logger));

    using HeliostatStatus::kIdle;
    using HeliostatStatus::kTrajectory;
    using HeliostatStatus::kWaiting;
    EXPECT_EQ(DecideAfterReconnect(kTrajectory, true), EResumeAction::LeaveRunning);
    EXPECT_EQ(DecideAfterReconnect(kTrajectory, false), EResumeAction::StopThenPlan);
    EXPECT_EQ(DecideAfterReconnect(kWaiting, false), EResumeAction::StopThenPlan);
    EXPECT_EQ(DecideAfterReconnect(kWaiting, true), EResumeAction::StopThenPlan);
    EXPECT_EQ(DecideAfterReconnect(kIdle, true), EResumeAction::Plan);
    EXPECT_EQ(DecideAfterReconnect(0u, false), EResumeAction::Plan);
}

TEST(ReconnectBackoff, OneSecondDoublingToAMinuteAndAfreshAfterAReset) {
    CReconnectBackoff backoff;
    std::vector<std::int64_t> delays;
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(backoff.BeginAttempt(), i + 1);
        delays.push_back(backoff.NextDelaySeconds());
    }
    EXPECT_EQ(delays, (std::vector<std::int64_t>{1, 2, 4, 8, 16, 32, 60, 60, 60}));
    backoff.Reset();
    EXPECT_EQ(backoff.Attempts(), 0);
    EXPECT_EQ(backoff.BeginAttempt(), 1);
    EXPECT_EQ(backoff.NextDelaySeconds(), 1);
}

TEST_F(HeliostatWorkflowTest, NowPlusTenMinutesIsWholeSecondsLocal) {
    clock.Clock().Set(clock.Clock().NowUtc() + 7'500'000);  // +0.75 s
    const SYSTEMTIME t = workflow.NowPlusTenMinutes();
    EXPECT_EQ(t, Platform::SecondsToLocalTime(Platform::LocalTimeToSeconds(Local(2026, 6, 20, 12)) +
                                              600));
}

TEST(HeliostatNextDay, MidnightAfterTheDayAcrossDaylightSavingChanges) {
    CTimeZoneScope tz(kZurichTz);
    EXPECT_EQ(StartOfNextLocalDay(Local(2026, 3, 28, 19, 0, 0)).wDay, 29);
    const SYSTEMTIME after = StartOfNextLocalDay(Local(2026, 3, 29, 20, 0, 0));  // 23-hour day
    EXPECT_EQ(after.wDay, 30);
    EXPECT_EQ(after.wHour, 0);
    EXPECT_EQ(StartOfNextLocalDay(Local(2026, 12, 31, 16, 0, 0)).wYear, 2027);
}

TEST(HeliostatSiteFields, RangesAndDecimals) {
    EXPECT_EQ(FormatFixed(BringIntoRange(SiteField::Latitude, 95.0), 4), L"90.0000");
    EXPECT_EQ(FormatFixed(BringIntoRange(SiteField::Longitude, 190.0), 4), L"-170.0000");
    EXPECT_EQ(FormatFixed(BringIntoRange(SiteField::Longitude, -540.0), 4), L"-180.0000");
    EXPECT_EQ(BringIntoRange(SiteField::Longitude, 180.0), 180.0);
    EXPECT_EQ(FormatFixed(BringIntoRange(SiteField::Elevation, ReadLeadingNumber(L"")), 1), L"0.0");
    EXPECT_EQ(ReadLeadingNumber(L"abc"), 0.0);
    EXPECT_EQ(ReadLeadingNumber(L" 12.5m"), 12.5);
    EXPECT_EQ(BringIntoRange(SiteField::Elevation, -7e6), -6378140.0);
    EXPECT_EQ(BringIntoRange(SiteField::Pressure, 6000.0), 5000.0);
    // -273 itself the sun computation refuses (its refraction term divides by 273 + T); the
    // value is rounded to the shown decimal first, so -272.96 does not come back as -273.0.
    EXPECT_EQ(BringIntoRange(SiteField::Temperature, -300.0), -272.9);
    EXPECT_EQ(BringIntoRange(SiteField::Temperature, -272.96), -272.9);
    EXPECT_EQ(FormatFixed(-0.00004, 4), L"0.0000");
    EXPECT_EQ(ReadLeadingNumber(L"-1e3x"), -1000.0);
    EXPECT_EQ(ReadLeadingNumber(L"--5"), 0.0);
    EXPECT_EQ(BringIntoRange(SiteField::MaxZenith, 200.0), 180.0);
    EXPECT_EQ(DecimalsOf(SiteField::Longitude), 4);
    EXPECT_EQ(DecimalsOf(SiteField::Pressure), 1);
    EXPECT_EQ(DecimalsOf(SiteField::MaxZenith), 3);
}

TEST(HeliostatEnablingRules, BusyIdleAndTheOptions) {
    using namespace HeliostatStatus;
    const auto idle = ComputeHeliostatEnabling(true, kIdle, false, false, false);
    EXPECT_TRUE(idle.generate && idle.locationEdits && idle.startControls && idle.stopControls);
    EXPECT_FALSE(idle.run || idle.stop || idle.maxZenithEdit);
    EXPECT_TRUE(ComputeHeliostatEnabling(true, kIdle, true, false, false).run);
    EXPECT_TRUE(ComputeHeliostatEnabling(true, kIdle, false, false, true).maxZenithEdit);

    const auto openEnded = ComputeHeliostatEnabling(true, kIdle, true, true, false);
    EXPECT_FALSE(openEnded.stopControls);
    EXPECT_TRUE(openEnded.startControls);

    for (unsigned busy : {kWaiting, kTrajectory, kUploading | kIdle}) {
        const auto e = ComputeHeliostatEnabling(true, busy, true, false, true);
        EXPECT_TRUE(e.stop);
        EXPECT_FALSE(e.locationEdits || e.startControls || e.stopControls || e.runOptions ||
                     e.maxZenithEdit || e.windowOptions);
    }
    const auto offline = ComputeHeliostatEnabling(false, kIdle, true, false, false);
    EXPECT_FALSE(offline.generate || offline.run || offline.stop);
    EXPECT_TRUE(offline.locationEdits);
}

}  // namespace
