#include <gtest/gtest.h>

#include "TestSupport.h"
#include "core/HeliostatWorkflow.h"
#include "core/ScheduleText.h"
#include "core/TrackingMonitor.h"
#include "platform/ClockSync.h"

using namespace Suntrack;
using namespace SuntrackTest;
using Platform::ClockSyncState;

namespace {

double Utc(const SYSTEMTIME& local) {
    return static_cast<double>(Platform::LocalTimeToSeconds(local));
}

// A trajectory from `first` to `last` (local civil times), one point every `spacing` s.
CTrajectoryTrack Track(const SYSTEMTIME& first, const SYSTEMTIME& last, int spacing = 60) {
    CTrajectoryTrack track;
    for (double t = Utc(first); t <= Utc(last); t += spacing)
        track.AddUtc(t, 180.0, 40.0);
    return track;
}

ScheduleFacts FactsOf(const CTrajectoryTrack& track, double now) {
    ScheduleFacts f;
    f.nowUtc = now;
    f.uploaded = true;
    f.firstUtc = track.FirstUtc();
    f.lastUtc = track.LastUtc();
    f.points = static_cast<int>(track.Size());
    f.spacingSeconds = track.SpacingSeconds();
    return f;
}

class CFakeClockSource : public Platform::IClockSyncSource {
public:
    ClockSyncState state{ClockSyncState::Kind::Synchronised, 0.01, L""};
    ClockSyncState Read() const override { return state; }
};

}  // namespace

TEST(ScheduleText, WaitingOverMidnightCountsDownToTheStart) {
    CTimeZoneScope zone(kZurichTz);
    const CTrajectoryTrack track = Track(Local(2026, 12, 8, 8, 42), Local(2026, 12, 8, 15, 51));
    ScheduleFacts f = FactsOf(track, Utc(Local(2026, 12, 7, 22, 21)));
    f.waiting = true;
    EXPECT_EQ(ScheduleSentence(f),
              L"Tracking 08:42\u201315:51 CET (430 points, 60 s apart), starts in 10 h 21 min");
    f.waiting = false;
    EXPECT_EQ(ScheduleSentence(f),
              L"Tracking 08:42\u201315:51 CET (430 points, 60 s apart), not started");
}

TEST(ScheduleText, RunningShowsTheShareDoneAndTheTimeLeft) {
    CTimeZoneScope zone(kZurichTz);
    const CTrajectoryTrack track = Track(Local(2026, 12, 8, 8, 0), Local(2026, 12, 8, 16, 0));
    ScheduleFacts f = FactsOf(track, Utc(Local(2026, 12, 8, 12, 15)));
    f.running = true;
    EXPECT_EQ(ScheduleSentence(f), L"Running: 53 % of today's trajectory, ends in 3 h 45 min");
}

TEST(ScheduleText, DaylightSavingChangeCountsRealTimeAndNamesEachZone) {
    CTimeZoneScope zone(kZurichTz);
    // Clocks go from 02:00 CET to 03:00 CEST on 29 March 2026: 20:00 CET to 07:00 CEST is
    // ten hours, not the eleven the wall clock suggests.
    const CTrajectoryTrack day = Track(Local(2026, 3, 29, 7, 0), Local(2026, 3, 29, 19, 0));
    ScheduleFacts f = FactsOf(day, Utc(Local(2026, 3, 28, 20, 0)));
    f.waiting = true;
    EXPECT_EQ(ScheduleSentence(f),
              L"Tracking 07:00\u201319:00 CEST (721 points, 60 s apart), starts in 10 h 0 min");
    // A trajectory through the change names the zone at each end.
    const CTrajectoryTrack night = Track(Local(2026, 3, 29, 1, 0), Local(2026, 3, 29, 5, 0));
    f = FactsOf(night, Utc(Local(2026, 3, 28, 23, 0)));
    EXPECT_EQ(ScheduleSentence(f),
              L"Tracking 01:00 CET\u201305:00 CEST (181 points, 60 s apart), not started");
}

TEST(ScheduleText, UnattendedRunNamesTheNextDayAndCountsDays) {
    CTimeZoneScope zone(kZurichTz);
    CLogCapture log;
    const auto folder = std::filesystem::temp_directory_path() / "quorvel-schedule-test";
    CTrackingMonitor monitor(log.Logger(), folder, [] { return 8.54; });
    for (int day = 5; day <= 8; ++day) {
        const bool continuation = day > 5;
        monitor.OnUploadStarted(Track(Local(2026, 12, day, 8, 43), Local(2026, 12, day, 15, 51)),
                                true, continuation);
        monitor.OnUploadProgress(100, false);
        monitor.OnUploadComplete();
    }
    // The day-7 trajectory has just ended and homed; the day-8 one is in the instrument.
    const ScheduleFacts f = monitor.Facts(Utc(Local(2026, 12, 7, 16, 5)));
    EXPECT_EQ(
        ScheduleSentence(f),
        L"Next day's trajectory uploaded for 8 Dec, starts 08:43 \u00b7 Unattended run: day 4");
    // A new run from the panel starts counting again.
    monitor.OnUploadStarted(Track(Local(2026, 12, 9, 8, 43), Local(2026, 12, 9, 15, 51)), true,
                            false);
    EXPECT_EQ(monitor.Facts(0).unattendedDay, 1);
    std::filesystem::remove_all(folder);
}

TEST(ClockCheck, UnsynchronisedOrImpreciseClocksAndFarZonesAreWarnedAbout) {
    using Kind = ClockSyncState::Kind;
    EXPECT_EQ(ClockWarning({Kind::Unsynchronised, -1, L""}),
              L"the computer's clock is not synchronised");
    EXPECT_EQ(ClockWarning({Kind::Synchronised, 0.6, L""}),
              L"the computer's clock may be off by 0.6 s");
    EXPECT_FALSE(ClockWarning({Kind::Synchronised, 0.5, L""}));
    EXPECT_FALSE(ClockWarning({Kind::Unknown, -1, L"ntp_adjtime: Operation not permitted"}));

    // Zurich on CET / CEST: within three hours of solar time.
    EXPECT_FALSE(ZoneWarning(8.54, 60));
    EXPECT_FALSE(ZoneWarning(8.54, 120));
    // Almería's longitude entered east instead of west still passes (1.6 h): near Greenwich
    // a wrong sign cannot be told from the zone. California with the sign lost does not.
    EXPECT_FALSE(ZoneWarning(2.46, 60));
    EXPECT_EQ(ZoneWarning(117.16, -480),
              L"the site's longitude 117.1600\u00b0 is 8.2 h of solar time from the "
              L"computer's zone (UTC-08:00): check the longitude's sign and the zone");
    // Across the date line: Fiji (178.4 E) on UTC+12 and Samoa (-171.8) on UTC+13.
    EXPECT_FALSE(ZoneWarning(178.4, 720));
    EXPECT_FALSE(ZoneWarning(-171.8, 780));
}

TEST(ClockCheck, ArmingTheTimedStartChecksTheClockOnce) {
    CTimeZoneScope zone(kZurichTz);
    CLogCapture log;
    CFakeClockSource source;
    Platform::SetClockSyncSource(&source);
    CTrackingMonitor monitor(log.Logger(), std::filesystem::temp_directory_path(),
                             [] { return 8.54; });
    const double now = Utc(Local(2026, 12, 7, 22, 0));
    EXPECT_FALSE(monitor.OnStatus(HeliostatStatus::kWaiting, now));
    EXPECT_EQ(log.CountStartingWith(L"Timed start: "), 0);
    monitor.OnStatus(HeliostatStatus::kIdle, now);

    source.state = {ClockSyncState::Kind::Unsynchronised, 16.0, L""};
    EXPECT_TRUE(monitor.OnStatus(HeliostatStatus::kWaiting, now));
    EXPECT_FALSE(monitor.OnStatus(HeliostatStatus::kWaiting, now + 1));  // still armed
    EXPECT_EQ(log.CountStartingWith(L"Timed start: the computer's clock is not synchronised"), 1);
    EXPECT_EQ(ClockSentence(source.state, now, 8.54),
              L"Computer clock: CET (UTC+01:00); the computer's clock is not synchronised");
    Platform::SetClockSyncSource(nullptr);
}
