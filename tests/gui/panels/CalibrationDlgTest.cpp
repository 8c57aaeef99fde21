// The alignment calibration dialog: the list lines and the fit line, the warning before OK,
// the live position, the list after deletes, delete-all and its question, the whole-second
// capture stamped with that second, a missing or unreadable position answer ending the
// capture with the error box, and closing the dialog while a capture runs.
#include <gtest/gtest.h>

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <cstdlib>
#include <ctime>
#include <string>

#include "AlignmentCalibrationDlg.h"
#include "FaultRule.h"
#include "PanelTestSupport.h"
#include "core/SiteSun.h"
#include "platform/Clock.h"

namespace {

using namespace PanelTest;
using C = CAlignmentCalibrationDlg;

constexpr std::int64_t kEpochDifferenceSeconds = 11'644'473'600;

Zezezezo::CAlignmentSettings Point(int hour) {
    Zezezezo::CAlignmentSettings p;
    p.dSunAzimuth = 100.0 + hour;
    p.timestamp.time = SYSTEMTIME{2026, 12, 0, 6, static_cast<WORD>(hour), 3, 5, 0};
    return p;
}

class CalibrationDlg : public DeviceFixture {
protected:
    void SetUp() override {
        DeviceFixture::SetUp();
        appSettings.dLongitude = 8.54;
        appSettings.dLatitude = 47.37;
        appSettings.dPressure = 1013.0;
        appSettings.dTemperature = 10.0;
        dialog = std::make_unique<CAlignmentCalibrationDlg>(context);
    }
    void TearDown() override {
        dialog.reset();
        Platform::SetClock(nullptr);
        DeviceFixture::TearDown();
    }
    void Open(int points) {
        for (int i = 0; i < points; ++i)
            dialog->points.push_back(Point(10 + i));
        dialog->Create();
        dialog->show();
    }
    QListWidget* List() const { return dialog->Item<QListWidget>(C::IDC_LIST); }
    void Press(int id) {
        dialog->GetDlgItem(id)->setEnabled(true);  // as while a trajectory runs
        QTest::mouseClick(dialog->GetDlgItem(id), Qt::LeftButton);
    }
    std::vector<int> Hours() const {
        std::vector<int> hours;
        for (const auto& p : dialog->points)
            hours.push_back(p.timestamp.time.wHour);
        return hours;
    }
    std::size_t PositionQueries() const {
        std::size_t n = 0;
        for (const auto& line : Lines())
            n += line == "P?" ? 1 : 0;
        return n;
    }

    std::unique_ptr<CAlignmentCalibrationDlg> dialog;
};

TEST_F(CalibrationDlg, ListLinesAreIsoTimeStampsWithTheAngles) {
    Open(1);
    ASSERT_EQ(List()->count(), 1);
    EXPECT_EQ(List()->item(0)->text(),
              "2026-12-06 10:03:05  Sun az/ze 110.000/0.000  Quorvel az/ze 0.000/0.000");
}

TEST_F(CalibrationDlg, FitLineShowsWhetherThePointsGiveAUsableFit) {
    Open(2);
    auto* fit = dialog->Item<QLabel>(C::IDC_FIT);
    ASSERT_NE(fit, nullptr);
    EXPECT_EQ(fit->text(), "Alignment fit: unusable, 3 data points are needed, 2 saved");
    EXPECT_EQ(dialog->ColorsOf(C::IDC_FIT)->text, QColor(176, 0, 0));
    // Three points far apart on the sky, the instrument turned 1 degree in azimuth.
    const double sky[3][2] = {{100, 60}, {180, 30}, {260, 60}};
    for (int i = 0; i < 3; ++i) {
        auto& p = i < 2 ? dialog->points[i] : dialog->points.emplace_back(Point(12));
        p.dSunAzimuth = sky[i][0];
        p.dSunZenith = sky[i][1];
        p.dQuorvelAzimuth = sky[i][0] + 1.0;
        p.dQuorvelZenith = sky[i][1];
    }
    dialog->SendMessage(C::WM_REFRESH_LIST);
    EXPECT_TRUE(fit->text().startsWith("Alignment fit: usable, quality good (volume ratio "))
        << fit->text().toStdString();
    EXPECT_EQ(dialog->ColorsOf(C::IDC_FIT)->text, QColor(0, 120, 0));
}

TEST_F(CalibrationDlg, OkWarnsBeforeKeepingAnUnusableFit) {
    Open(2);
    boxes.answer = IDNO;  // back to the dialog
    QTest::mouseClick(dialog->GetDlgItem(IDOK), Qt::LeftButton);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].type, static_cast<UINT>(MB_YESNO | MB_ICONWARNING));
    EXPECT_NE(boxes.shown[0].text.find(L"do not give a usable alignment fit"), std::wstring::npos);
    EXPECT_TRUE(dialog->isVisible());
    boxes.answer = IDYES;  // keep the points all the same
    QTest::mouseClick(dialog->GetDlgItem(IDOK), Qt::LeftButton);
    EXPECT_EQ(boxes.shown.size(), 2u);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), IDOK);
    EXPECT_EQ(dialog->points.size(), 2u);
}

TEST_F(CalibrationDlg, ShowsTheLivePositionWhileTheInstrumentMoves) {
    Connect();
    Open(0);
    auto* live = dialog->Item<QLabel>(C::IDC_LIVE_POSITION);
    ASSERT_NE(live, nullptr);
    EXPECT_EQ(live->text(), "Quorvel position: not known");
    EXPECT_FALSE(live->isEnabled());
    ASSERT_EQ(device->MoveVel(0.5, 0.0), 1);  // jogging: the jog buttons are live
    ASSERT_TRUE(RunUntil([&] { return live->text().contains("azimuth") && live->isEnabled(); }));
    ASSERT_EQ(device->Stop(StopAll), 1);
}

TEST_F(CalibrationDlg, DeletingKeepsASensibleSelection) {
    Open(3);
    List()->setCurrentRow(2);
    Press(C::IDC_DELETE);
    EXPECT_EQ(Hours(), (std::vector<int>{10, 11}));
    EXPECT_EQ(List()->currentRow(), 1);  // the new last line

    List()->setCurrentRow(0);
    Press(C::IDC_DELETE);
    EXPECT_EQ(Hours(), (std::vector<int>{11}));
    EXPECT_EQ(List()->currentRow(), 0);  // the new first line

    List()->setCurrentRow(-1);
    List()->clearSelection();
    Press(C::IDC_DELETE);
    EXPECT_EQ(Hours(), (std::vector<int>{11}));
    EXPECT_TRUE(List()->selectedItems().isEmpty());
}

TEST_F(CalibrationDlg, DeleteAllAsksFirst) {
    Open(3);
    boxes.answer = IDCANCEL;
    Press(C::IDC_DELETE_ALL);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, L"Are you sure you want to delete all of the data points?");
    EXPECT_EQ(boxes.shown[0].type, MB_OKCANCEL);
    EXPECT_EQ(dialog->points.size(), 3u);
    boxes.answer = IDOK;
    Press(C::IDC_DELETE_ALL);
    EXPECT_TRUE(dialog->points.empty());
    EXPECT_EQ(List()->count(), 0);
}

TEST_F(CalibrationDlg, WithoutATrajectoryOnlyOkAndCancelAreLive) {
    Connect();
    Open(1);
    dialog->OnIdleUpdateCmdUI();
    for (int id :
         {C::IDC_SLIDER, C::IDC_VELOCITY, C::IDC_RESET_OFFSET, C::IDC_ZENITH_PLUS,
          C::IDC_AZIMUTH_MINUS, C::IDC_SAVE, C::IDC_DELETE, C::IDC_DELETE_ALL, C::IDC_LIST})
        EXPECT_FALSE(dialog->GetDlgItem(id)->isEnabled()) << id;
    EXPECT_TRUE(dialog->GetDlgItem(IDOK)->isEnabled());
    EXPECT_TRUE(dialog->GetDlgItem(IDCANCEL)->isEnabled());
}

TEST_F(CalibrationDlg, CaptureWaitsForTheWholeSecondAndStampsIt) {
    Connect();
    // 12:00:00.300 UTC on a winter day.
    const std::int64_t noon = Platform::LocalTimeToSeconds(SYSTEMTIME{2026, 12, 0, 6, 12, 0, 0, 0});
    const std::int64_t t0 = noon - Platform::UtcOffsetMinutesAt(noon) * 60LL;  // 12:00 UTC
    Platform::CManualClock clock(static_cast<Platform::Ticks>(t0 + kEpochDifferenceSeconds) *
                                     Platform::kTicksPerSecond +
                                 300 * Platform::kTicksPerMillisecond);
    Platform::SetClock(&clock);
    Open(2);
    const std::size_t before = PositionQueries();
    ASSERT_TRUE(dialog->OnSaveDataPoint());
    EXPECT_FALSE(dialog->OnSaveDataPoint());  // one capture at a time
    QTest::qWait(150);
    EXPECT_EQ(PositionQueries(), before);  // still 12:00:00.300
    clock.Advance(std::chrono::milliseconds(700));
    ASSERT_TRUE(RunUntil([&] { return dialog->points.size() == 3 && !dialog->IsBusy(); }));
    EXPECT_EQ(PositionQueries(), before + 1);

    const auto& record = dialog->points.back();
    EXPECT_EQ(record.timestamp.time, Platform::SecondsToLocalTime(t0 + 1));
    const Suntrack::SunSample sun = Suntrack::SunAtUtcSeconds(SiteOf(appSettings), t0 + 1);
    EXPECT_DOUBLE_EQ(record.dSunAzimuth, sun.azimuthDeg);
    EXPECT_DOUBLE_EQ(record.dSunZenith, sun.zenithDeg);
    EXPECT_NEAR(record.dQuorvelAzimuth, simulator->State().azimuthDeg, 1e-3);
    EXPECT_EQ(List()->count(), 3);
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_FALSE(dialog->OnSaveDataPoint());  // a fourth is refused
}

TEST_F(CalibrationDlg, PositionTimeOutEndsTheCaptureWithTheErrorBox) {
    Connect();
    simulator->SetFaults({{quorvel::sim::EFaultKind::NoReply, "P?", -1, 0}});
    Open(0);
    ASSERT_TRUE(dialog->OnSaveDataPoint());
    ASSERT_TRUE(RunUntil([&] { return !dialog->IsBusy(); }, 8000));
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, L"Error getting the current position of the Quorvel!");
    EXPECT_TRUE(dialog->points.empty());
}

TEST_F(CalibrationDlg, AnAnswerThatNeverComesIsWaitedForOnlySoLong) {
    Connect();
    simulator->SetFaults({{quorvel::sim::EFaultKind::GarbledReply, "P?", -1, 0}});
    Platform::CManualClock clock(Platform::Clock().NowUtc());
    Platform::SetClock(&clock);
    Open(0);
    const std::size_t before = PositionQueries();
    ASSERT_TRUE(dialog->OnSaveDataPoint());
    // Moves the clock until the worker, wherever it is in its wait, reaches the second.
    ASSERT_TRUE(RunUntil([&] {
        clock.Advance(std::chrono::milliseconds(50));
        return PositionQueries() == before + 1;
    }));
    QTest::qWait(100);  // the unreadable answer arrives and is dropped by the device
    EXPECT_TRUE(dialog->IsBusy());
    clock.Advance(std::chrono::milliseconds(C::kPositionWaitMs));
    ASSERT_TRUE(RunUntil([&] { return !dialog->IsBusy(); }));
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, L"Error getting the current position of the Quorvel!");
    EXPECT_TRUE(dialog->points.empty());
}

TEST_F(CalibrationDlg, ClosingDuringACaptureIsSafe) {
    Connect();
    // Closed while waiting for the whole second.
    Open(0);
    ASSERT_TRUE(dialog->OnSaveDataPoint());
    dialog.reset();

    // Closed while waiting for an answer that comes (as a time-out) after the dialog is gone.
    simulator->SetFaults({{quorvel::sim::EFaultKind::NoReply, "P?", -1, 0}});
    dialog = std::make_unique<CAlignmentCalibrationDlg>(context);
    Open(0);
    const std::size_t before = PositionQueries();
    ASSERT_TRUE(dialog->OnSaveDataPoint());
    ASSERT_TRUE(RunUntil([&] { return PositionQueries() == before + 1; }));
    dialog.reset();
    QTest::qWait(1500);  // the device's time-out notice reaches nobody
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(device->IsConnected(), 1);
}

}  // namespace
