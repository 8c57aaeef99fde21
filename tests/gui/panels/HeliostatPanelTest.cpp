// The "Heliostat" tab: the site fields' range rules and their storage (also on a German
// desktop), the options and the enabling they drive, the date controls carrying the start and
// stop instants, and "Stop" cancelling an upload and a waiting start on a simulated
// instrument without leaving the keyboard focus on a control that moves it.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDateTimeEdit>
#include <QLineEdit>
#include <QProgressBar>
#include <QTest>
#include <cstdlib>
#include <ctime>

#include "HeliostatControlsDlg.h"
#include "PanelTestSupport.h"
#include "platform/Clock.h"

namespace {

using namespace PanelTest;
using H = CHeliostatControlsDlg;

class HeliostatPanel : public DeviceFixture {
protected:
    // The panel takes the desktop's notation when it is made.
    void MakePanel() {
        panel = std::make_unique<CHeliostatControlsDlg>(context, nullptr);
        panel->Create();
        panel->show();
    }
    void SetUp() override {
        DeviceFixture::SetUp();
        // Midsummer noon at a site on the Greenwich meridian, host clock on UTC. The clock
        // stands still, so a start once uploaded keeps waiting.
        ASSERT_TRUE(Platform::SetZoneRule("UTC0"));
        clock = std::make_unique<Platform::CManualClock>(
            static_cast<Platform::Ticks>(1'782'043'200LL + 11'644'473'600LL) *
            Platform::kTicksPerSecond);  // 2026-06-21 12:00:00 UTC
        Platform::SetClock(clock.get());
        appSettings.dLongitude = 0.0;
        appSettings.dLatitude = 45.0;
        appSettings.dPressure = 1013.0;
        appSettings.dTemperature = 20.0;
        MakePanel();
        owner.route = [this](UINT message, WPARAM wParam, LPARAM lParam) {
            if (message == WM_QUORVEL_TRAJ_PROGRESS) {
                panel->OnUploadProgress(static_cast<int>(wParam), lParam != 0);
                progressSeen = progressSeen || panel->GetDlgItem(H::IDC_PROGRESS)->isVisible();
            }
            if (message == WM_QUORVEL_TRAJ_UPLOADED)
                uploaded = true;
        };
    }
    void TearDown() override {
        owner.route = nullptr;
        panel.reset();
        DeviceFixture::TearDown();
        Platform::SetClock(nullptr);
        Platform::ClearZoneRule();
    }
    QString Enter(int id, const QString& text) {
        auto* edit = panel->Item<QLineEdit>(id);
        TypeInto(edit, text);
        LeaveFocus(edit);
        return edit->text();
    }
    void Click(int id) { QTest::mouseClick(panel->GetDlgItem(id), Qt::LeftButton); }
    bool Enabled(int id) const { return panel->GetDlgItem(id)->isEnabled(); }
    // A window from ten minutes from now for `minutes`.
    void ChooseWindow(int minutes) {
        Click(H::IDC_NOW_PLUS_10);
        auto* start = panel->Item<QDateTimeEdit>(H::IDC_START_TIME);
        panel->Item<QDateTimeEdit>(H::IDC_STOP_TIME)
            ->setDateTime(start->dateTime().addSecs(60LL * minutes));
    }

    std::unique_ptr<Platform::CManualClock> clock;
    std::unique_ptr<CHeliostatControlsDlg> panel;
    bool progressSeen = false;
    bool uploaded = false;  // the upload-complete notice (sent once the upload thread is done)
};

TEST_F(HeliostatPanel, SiteFieldsAreBroughtIntoRangeShownAndStored) {
    EXPECT_EQ(Enter(H::IDC_LATITUDE, "95"), Shown("90.0000"));
    EXPECT_EQ(appSettings.dLatitude, 90.0);
    EXPECT_EQ(Enter(H::IDC_LONGITUDE, "190"), Shown("-170.0000"));
    EXPECT_EQ(appSettings.dLongitude, -170.0);
    EXPECT_EQ(Enter(H::IDC_ELEVATION, ""), Shown("0.0"));
    EXPECT_EQ(appSettings.dElevation, 0.0);
    EXPECT_EQ(Enter(H::IDC_PRESSURE, "-5"), Shown("0.0"));
    EXPECT_EQ(Enter(H::IDC_TEMPERATURE, "21.25x"), Shown("21.2"));
    EXPECT_EQ(Enter(H::IDC_MAX_ZENITH, "200"), Shown("180.000"));
    EXPECT_EQ(appSettings.dMaxZenith, 180.0);
}

TEST_F(HeliostatPanel, SiteFieldsTakeThePointAndTheCommaOnAGermanDesktop) {
    CScopedDesktopLocale german("de_DE.UTF-8");
    if (!german.Ok())
        GTEST_SKIP() << "de_DE.UTF-8 is not installed";
    MakePanel();
    EXPECT_EQ(panel->Item<QLineEdit>(H::IDC_LATITUDE)->text(), QStringLiteral("45,0000"));
    EXPECT_EQ(Enter(H::IDC_LATITUDE, "48.1374"), QStringLiteral("48,1374"));
    EXPECT_EQ(appSettings.dLatitude, 48.1374);
    appSettings.dLatitude = 0.0;
    EXPECT_EQ(Enter(H::IDC_LATITUDE, "48,1374"), QStringLiteral("48,1374"));
    EXPECT_EQ(appSettings.dLatitude, 48.1374);
    EXPECT_EQ(Enter(H::IDC_LONGITUDE, "-11.5755"), QStringLiteral("-11,5755"));
    EXPECT_EQ(appSettings.dLongitude, -11.5755);
    // The stored values also go back into the fields in the desktop's notation.
    appSettings.dMaxZenith = 85.25;
    panel->ExchangeSettings(false);
    EXPECT_EQ(panel->Item<QLineEdit>(H::IDC_MAX_ZENITH)->text(), QStringLiteral("85,250"));
}

TEST_F(HeliostatPanel, ATemperatureTheSunComputationRefusesIsNeverKept) {
    EXPECT_EQ(Enter(H::IDC_TEMPERATURE, "-273"), Shown("-272.9"));
    EXPECT_EQ(appSettings.dTemperature, -272.9);
    EXPECT_EQ(Enter(H::IDC_TEMPERATURE, "-272.96"), Shown("-272.9"));
    EXPECT_EQ(appSettings.dTemperature, -272.9);
    Click(H::IDC_SUNRISE);
    EXPECT_TRUE(boxes.shown.empty());  // the sun rises at 45 degrees north in June
}

TEST_F(HeliostatPanel, InitialOptionsAndTheirEnabling) {
    EXPECT_TRUE(panel->IsUseAlignmentChecked());
    EXPECT_TRUE(panel->IsAutoRunChecked());
    EXPECT_FALSE(panel->GetDlgItem(H::IDC_PROGRESS)->isVisible());
    EXPECT_FALSE(panel->GetDlgItem(H::IDC_SECRET)->isVisible());

    panel->OnIdleUpdateCmdUI();
    EXPECT_FALSE(Enabled(H::IDC_GENERATE));  // not connected
    EXPECT_FALSE(Enabled(H::IDC_MAX_ZENITH));
    EXPECT_TRUE(Enabled(H::IDC_SUNSET));

    Click(H::IDC_RUN_UNTIL_STOPPED);
    EXPECT_EQ(appSettings.bRunUntilStopped, 1);  // stored when clicked, kept at exit
    Click(H::IDC_LIMIT_ZENITH);
    EXPECT_EQ(appSettings.bLimitMaxZenith, 1);
    panel->OnIdleUpdateCmdUI();
    for (int id : {H::IDC_STOP_DATE, H::IDC_STOP_TIME, H::IDC_SUNSET})
        EXPECT_FALSE(Enabled(id)) << id;
    EXPECT_TRUE(Enabled(H::IDC_START_TIME));
    EXPECT_TRUE(Enabled(H::IDC_MAX_ZENITH));

    Connect();
    panel->OnIdleUpdateCmdUI();
    EXPECT_TRUE(Enabled(H::IDC_GENERATE));
    EXPECT_FALSE(Enabled(H::IDC_RUN));  // nothing uploaded yet
    EXPECT_FALSE(Enabled(H::IDC_STOP));
}

TEST_F(HeliostatPanel, DateChangesMoveTheTimeControlsDateOnly) {
    auto* time = panel->Item<QDateTimeEdit>(H::IDC_START_TIME);
    time->setDateTime(QDateTime(QDate(2026, 6, 21), QTime(9, 15, 30), Qt::UTC));
    panel->Item<QDateTimeEdit>(H::IDC_START_DATE)->setDate(QDate(2026, 7, 4));
    const SYSTEMTIME start = panel->StartTime();
    EXPECT_EQ(start.wMonth, 7);
    EXPECT_EQ(start.wDay, 4);
    EXPECT_EQ(start.wHour, 9);
    EXPECT_EQ(start.wMinute, 15);
    EXPECT_EQ(start.wSecond, 30);
}

TEST_F(HeliostatPanel, SunRiseOnADateWithoutOneLeavesTheStartAndSaysSo) {
    appSettings.dLatitude = 89.0;  // polar day or night whatever today is
    panel->ExchangeSettings(false);
    panel->Item<QDateTimeEdit>(H::IDC_START_DATE)->setDate(QDate(2026, 6, 21));
    const SYSTEMTIME before = panel->StartTime();
    Click(H::IDC_SUNRISE);
    EXPECT_EQ(panel->StartTime(), before);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, Suntrack::kNoSunriseNotice);
}

TEST_F(HeliostatPanel, StopCancelsAnUploadWithTheProgressBarShown) {
    Connect(1.0, 19200);  // the wire time makes the upload last long enough to cancel
    panel->Item<QCheckBox>(H::IDC_AUTO_RUN)->setChecked(false);
    ChooseWindow(600);
    Click(H::IDC_GENERATE);
    ASSERT_GT(panel->TrajectoryTimes().GetSize(), 100);
    ASSERT_TRUE(RunUntil([&] { return progressSeen; }));
    // Stopped once the pairs are going over (the upload thread arms its cancel event only
    // after the header's acknowledgement).
    ASSERT_TRUE(RunUntil([&] { return simulator->State().trajectoryPairsReceived > 3; }));
    ASSERT_TRUE(device->GetStatus(1).test(UPLOADING));
    panel->OnIdleUpdateCmdUI();
    EXPECT_TRUE(Enabled(H::IDC_STOP));
    EXPECT_FALSE(Enabled(H::IDC_GENERATE));
    EXPECT_FALSE(Enabled(H::IDC_LATITUDE));

    Click(H::IDC_STOP);
    ASSERT_TRUE(RunUntil([&] { return !device->GetStatus(1).test(UPLOADING); }, 10000));
    EXPECT_FALSE(device->IsTrajectoryUploaded());
    EXPECT_LT(simulator->State().trajectoryPairsReceived, panel->TrajectoryTimes().GetSize());
}

TEST_F(HeliostatPanel, StopCancelsAStartThatIsWaiting) {
    Connect();
    panel->Item<QCheckBox>(H::IDC_AUTO_RUN)->setChecked(false);
    ChooseWindow(30);
    Click(H::IDC_GENERATE);
    ASSERT_TRUE(RunUntil([&] { return uploaded; }, 15000));
    ASSERT_TRUE(device->GetStatus(1).test(IDLE));
    panel->OnIdleUpdateCmdUI();
    ASSERT_TRUE(Enabled(H::IDC_RUN));
    Click(H::IDC_RUN);
    ASSERT_TRUE(RunUntil([&] { return device->GetStatus(1).test(WAITING); }))
        << device->GetStatus(1) << " boxes " << boxes.shown.size();
    // The timed-start thread arms its cancel event just after it reports WAITING; an
    // operator is never faster than that, a test can be.
    QTest::qWait(200);
    panel->OnIdleUpdateCmdUI();
    EXPECT_TRUE(Enabled(H::IDC_STOP));
    // Pressed from the keyboard: once Stop disables itself, no Space press may move anything.
    QApplication::setActiveWindow(panel.get());
    QWidget* stop = panel->GetDlgItem(H::IDC_STOP);
    stop->setFocus(Qt::TabFocusReason);
    ASSERT_EQ(panel->focusWidget(), stop);
    QTest::keyClick(stop, Qt::Key_Space);
    ASSERT_TRUE(RunUntil([&] { return !device->GetStatus(1).test(WAITING); }));
    EXPECT_TRUE(boxes.shown.empty());
    panel->OnIdleUpdateCmdUI();
    ASSERT_FALSE(stop->isEnabled());
    for (int id : {H::IDC_GENERATE, H::IDC_SECRET, H::IDC_RUN})
        EXPECT_NE(panel->focusWidget(), panel->GetDlgItem(id)) << id;
}

}  // namespace
