// The "Tracking" tab of the running program: the uploaded trajectory, the sun and the mirror
// on the sky plot, and stale marking of positions that are not being refreshed.
#include <QChartView>
#include <QLineSeries>
#include <QScatterSeries>
#include <bitset>
#include <cmath>

#include "AppFixture.h"
#include "CaptionBar.h"
#include "CommandIds.h"
#include "DialogTabCtrl.h"
#include "HeliostatControlsDlg.h"
#include "QuorvelView.h"
#include "TrackingView.h"
#include "platform/Clock.h"
#include "platform/ClockSync.h"

namespace {

double NowUtcSeconds() {
    return static_cast<double>(Platform::Clock().NowUtc()) / 1e7 - 11'644'473'600.0;
}

struct TrackingViewTest : AppFixture {
    CQuorvelView* View() const { return Frame()->View(); }
    CTrackingView* Page() const { return View()->TrackingPage(); }

    // Puts the site under the sun at this moment: longitude of local solar noon, on the
    // equator, so the sun is high whatever the date and the test's hour.
    void SiteUnderTheSun() {
        const double utcHours = std::fmod(NowUtcSeconds(), 86'400.0) / 3600.0;
        double longitude = (12.0 - utcHours) * 15.0;
        if (longitude > 180.0)
            longitude -= 360.0;
        app->Settings().dLongitude = longitude;
        app->Settings().dLatitude = 0.0;
    }

    // A trajectory of `points` from now on, one a minute, in the heliostat panel's arrays.
    void FillTrajectory(int points) {
        CHeliostatControlsDlg* panel = View()->HeliostatPanel();
        panel->TrajectoryTimes().RemoveAll();
        panel->TrajectoryAzimuths().RemoveAll();
        panel->TrajectoryZeniths().RemoveAll();
        const auto now = static_cast<std::int64_t>(NowUtcSeconds());
        for (int i = 0; i < points; ++i) {
            panel->TrajectoryTimes().Add(Platform::SecondsToLocalTime(now + 60 * i));
            panel->TrajectoryAzimuths().Add(90.0 + 0.25 * i);
            panel->TrajectoryZeniths().Add(60.0 - 0.05 * i);
        }
    }

    void SendStatus(unsigned bits) {
        const std::bitset<7> status(bits);
        View()->SendMessage(WM_VIEW_STATUS, reinterpret_cast<WPARAM>(&status), 0);
    }
};

}  // namespace

TEST_F(TrackingViewTest, ShowsTheUploadedTrajectoryTheSunAndTheMirror) {
    Start(true);
    ConnectToSimulator();
    SiteUnderTheSun();
    EXPECT_EQ(View()->TabCtrl()->TabBar()->tabText(2), QStringLiteral("Tracking"));
    View()->TabCtrl()->TabBar()->setCurrentIndex(2);

    FillTrajectory(700);
    SendStatus(1u << 6);  // UPLOADING: the page takes the panel's trajectory
    View()->SendMessage(WM_VIEW_UPLOAD_PROGRESS, 40, 1);
    EXPECT_TRUE(Page()->ScheduleText().startsWith(QStringLiteral("Uploading trajectory: 40 %")))
        << Page()->ScheduleText().toStdString();
    View()->SendMessage(WM_VIEW_UPLOAD_PROGRESS, 100, 0);
    View()->SendMessage(WM_VIEW_UPLOAD_COMPLETE, 0, 0);
    SendStatus(1u << 0);  // IDLE: the upload is over
    // The status panel's polls bring the simulator's position to the page.
    ASSERT_TRUE(
        GuiTest::RunLoopUntil([&] { return Page()->Monitor().LastPosition().has_value(); }, 3000));
    Page()->Redraw();

    EXPECT_EQ(Page()->SkyTrajectorySeries()->count(), 700);
    EXPECT_EQ(Page()->CommandedAzimuthSeries()->count(), 700);
    // With the identity alignment the sky path is the uploaded path.
    EXPECT_NEAR(Page()->SkyTrajectorySeries()->at(4).x(), 91.0, 1e-9);
    EXPECT_NEAR(Page()->SkyTrajectorySeries()->at(4).y(), 59.8, 1e-9);
    ASSERT_EQ(Page()->SunSeries()->count(), 1);
    EXPECT_LT(Page()->SunSeries()->at(0).y(), 30.0);  // high over the equator at noon
    ASSERT_EQ(Page()->MirrorSeries()->count(), 1);
    EXPECT_FALSE(Page()->MirrorStale()) << Page()->MirrorText().toStdString();
    EXPECT_TRUE(Page()->MirrorText().startsWith(QStringLiteral("Mirror: azimuth ")));
    EXPECT_FALSE(Page()->MirrorText().contains(QStringLiteral("old")));
    EXPECT_TRUE(Page()->ScheduleText().contains(QStringLiteral("(700 points, 60 s apart)")))
        << Page()->ScheduleText().toStdString();
    EXPECT_TRUE(Page()->ScheduleText().contains(QStringLiteral("Computer clock: ")));
}

TEST_F(TrackingViewTest, PositionsNotBeingRefreshedAreGreyedWithTheirAge) {
    Start(true);
    ConnectToSimulator();
    View()->TabCtrl()->TabBar()->setCurrentIndex(2);
    ASSERT_TRUE(
        GuiTest::RunLoopUntil([&] { return Page()->Monitor().LastPosition().has_value(); }, 3000));
    GuiTest::RunLoopFor(50);
    EXPECT_FALSE(Page()->MirrorStale());

    // Waiting for the timed start: the status panel does not poll, the value is old news.
    SendStatus(1u << 4);
    EXPECT_TRUE(Page()->MirrorStale());
    EXPECT_TRUE(Page()->MirrorText().contains(QStringLiteral("s old, not being refreshed")))
        << Page()->MirrorText().toStdString();
    SendStatus(1u << 0);

    // Disconnected: the next idle pass marks the last position stale.
    Frame()->OnCommand(32774);
    ASSERT_TRUE(GuiTest::RunLoopUntil([&] { return Page()->MirrorStale(); }, 3000));
    EXPECT_TRUE(Page()->MirrorText().contains(QStringLiteral("not being refreshed")));
    Page()->Redraw();
    EXPECT_EQ(Page()->MirrorSeries()->color(), QColor(150, 150, 150));
}

TEST_F(TrackingViewTest, AnUnsynchronisedClockAtTheTimedStartIsLoggedAndRaisesTheCaptionBar) {
    struct CUnsynchronised : Platform::IClockSyncSource {
        Platform::ClockSyncState Read() const override {
            return {Platform::ClockSyncState::Kind::Unsynchronised, -1.0, L""};
        }
    } unsynchronised;
    Platform::SetClockSyncSource(&unsynchronised);
    Start();
    EXPECT_FALSE(Frame()->CaptionBar()->isVisibleTo(Frame()));
    SendStatus(1u << 4);  // WAITING: the timed start is armed
    EXPECT_TRUE(Frame()->CaptionBar()->isVisibleTo(Frame()));
    bool logged = false;
    for (const std::wstring& line : Log())
        logged = logged || line.find(
                               L"Warning]: Timed start: the computer's clock is not "
                               L"synchronised") != std::wstring::npos;
    EXPECT_TRUE(logged);
    EXPECT_TRUE(
        Page()->ScheduleText().contains(QStringLiteral("the computer's clock is not synchronised")))
        << Page()->ScheduleText().toStdString();
    Platform::SetClockSyncSource(nullptr);
}
