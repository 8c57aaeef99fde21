// The calibration workflow against a fake dialog and a fake device: a capture whose sun
// position cannot be computed saves nothing, the live poll and the capture sharing one
// answer stream, the enabling table, the list line, the fit quality in words and the
// warning before OK.
#include <gtest/gtest.h>

#include <vector>

#include "TestSupport.h"
#include "core/CalibrationWorkflow.h"
#include "core/SunPosition.h"
#include "platform/Clock.h"
#include "platform/Wnd.h"

namespace {

using namespace SuntrackTest;
using namespace Suntrack;
using Clock = std::chrono::steady_clock;

class CFakeCalibrationDevice : public ICalibrationDevice {
public:
    bool connected = true;
    unsigned status = CalibrationStatus::kTrajectory;
    int requests = 0;

    bool IsConnected() override { return connected; }
    unsigned Status() override { return status; }
    bool RequestPosition() override {
        ++requests;
        return connected;
    }
};

class CFakeCalibrationPanel : public ICalibrationPanel {
public:
    int answer = IDYES;
    int refreshes = 0;
    std::vector<ShownMessage> shown;

    int ShowMessage(const std::wstring& text, UINT type) override {
        shown.push_back({text, type});
        return answer;
    }
    void PointsChanged() override { ++refreshes; }
};

Zezezezo::CAlignmentSettings Point(double sunAz, double sunZe, double az, double ze) {
    Zezezezo::CAlignmentSettings p;
    p.dSunAzimuth = sunAz;
    p.dSunZenith = sunZe;
    p.dQuorvelAzimuth = az;
    p.dQuorvelZenith = ze;
    p.timestamp.time = SYSTEMTIME{2026, 12, 0, 6, 10, 3, 5, 0};
    return p;
}

class CalibrationWorkflow : public ::testing::Test {
protected:
    void SetUp() override {
        // A whole second already: the capture's wait is one second of this clock.
        clock = std::make_unique<Platform::CManualClock>(
            Platform::SystemTimeToTicks(SYSTEMTIME{2026, 6, 0, 21, 10, 0, 0, 0}));
        Platform::SetClock(clock.get());
        site.longitudeEastDeg = 8.54;
        site.latitudeDeg = 47.37;
        site.pressureMb = 1013.0;
        site.temperatureC = 10.0;
        workflow = std::make_unique<CCalibrationWorkflow>(
            points, panel, device, [this] { return site; }, [this] { return now; });
    }
    void TearDown() override {
        workflow.reset();
        Platform::SetClock(nullptr);
    }
    // Runs the capture up to its position request.
    void StartCapture() {
        const int before = device.requests;
        ASSERT_TRUE(workflow->SaveDataPoint());
        ASSERT_TRUE(Platform::CMessageLoop::RunUntil(
            [&] {
                clock->Advance(std::chrono::milliseconds(100));
                return device.requests > before;
            },
            std::chrono::seconds(5)));
    }
    bool CaptureEnds() {
        return Platform::CMessageLoop::RunUntil([&] { return !workflow->IsBusy(); },
                                                std::chrono::seconds(5));
    }

    std::unique_ptr<Platform::CManualClock> clock;
    Clock::time_point now{std::chrono::hours(1)};
    SiteParameters site;
    std::vector<Zezezezo::CAlignmentSettings> points;
    CFakeCalibrationPanel panel;
    CFakeCalibrationDevice device;
    std::unique_ptr<CCalibrationWorkflow> workflow;
};

TEST_F(CalibrationWorkflow, ACaptureWithTheSunRefusedSavesNothing) {
    site.temperatureC = -300.0;  // below what the sun module accepts
    StartCapture();
    workflow->OnPositionAnswer(123.0, 45.0);
    ASSERT_TRUE(CaptureEnds());
    EXPECT_TRUE(points.empty());  // not a record of azimuth 0, zenith 0
    ASSERT_EQ(panel.shown.size(), 1u);
    EXPECT_EQ(panel.shown[0].text, SunRefusedText(SUNPOS_BAD_TEMPERATURE));
    EXPECT_NE(panel.shown[0].text.find(L"temperature"), std::wstring::npos);

    site.temperatureC = 10.0;
    StartCapture();
    workflow->OnPositionAnswer(123.0, 45.0);
    ASSERT_TRUE(CaptureEnds());
    ASSERT_EQ(points.size(), 1u);
    EXPECT_EQ(points[0].dQuorvelAzimuth, 123.0);
    EXPECT_GT(points[0].dSunAzimuth, 0.0);
    EXPECT_EQ(panel.refreshes, 1);
}

TEST_F(CalibrationWorkflow, LivePollAndCaptureShareTheAnswers) {
    // Polls while connected, tracking, not uploading and not capturing, at most every 500 ms.
    workflow->Poll();
    EXPECT_EQ(device.requests, 1);
    workflow->Poll();  // its answer is still due
    EXPECT_EQ(device.requests, 1);
    workflow->OnPositionAnswer(10.0, 20.0);
    ASSERT_TRUE(workflow->Live().has_value());
    EXPECT_EQ(workflow->LiveText(), L"Quorvel position: azimuth 10.000\u00b0, zenith 20.000\u00b0");
    workflow->Poll();
    EXPECT_EQ(device.requests, 1);  // too soon
    now += CCalibrationWorkflow::kPollInterval;
    device.status |= CalibrationStatus::kUploading;
    workflow->Poll();
    EXPECT_EQ(device.requests, 1);  // the device refuses queries while uploading
    device.status = 0;
    workflow->Poll();
    EXPECT_EQ(device.requests, 1);  // nothing to steer: the dialog's controls are greyed
    device.status = CalibrationStatus::kTrajectory;
    workflow->Poll();
    EXPECT_EQ(device.requests, 2);

    // A capture requested while that poll is unanswered: the first answer is the poll's.
    StartCapture();
    EXPECT_EQ(device.requests, 3);
    workflow->OnPositionAnswer(11.0, 21.0);  // the poll's
    workflow->Poll();                        // no polls during a capture
    EXPECT_EQ(device.requests, 3);
    workflow->OnPositionAnswer(12.0, 22.0);  // the capture's
    ASSERT_TRUE(CaptureEnds());
    ASSERT_EQ(points.size(), 1u);
    EXPECT_EQ(points[0].dQuorvelAzimuth, 12.0);
    EXPECT_EQ(points[0].dQuorvelZenith, 22.0);

    // A poll whose reply was unreadable (neither answer nor time-out) is given up.
    now += CCalibrationWorkflow::kPollInterval;
    workflow->Poll();
    EXPECT_EQ(device.requests, 4);
    now += CCalibrationWorkflow::kPollGiveUp + std::chrono::milliseconds(1);
    EXPECT_NE(workflow->LiveText().find(L" s old)"), std::wstring::npos);
    StartCapture();
    workflow->OnPositionAnswer(13.0, 23.0);
    ASSERT_TRUE(CaptureEnds());
    ASSERT_EQ(points.size(), 2u);
    EXPECT_EQ(points[1].dQuorvelAzimuth, 13.0);

    // Disconnected: no polls.
    device.connected = false;
    now += CCalibrationWorkflow::kPollInterval;
    const int before = device.requests;
    workflow->Poll();
    EXPECT_EQ(device.requests, before);
}

TEST_F(CalibrationWorkflow, EnablingFollowsTrajectoryJoggingBusyAndCount) {
    const auto none = ComputeCalibrationEnabling(0, false, 1);
    EXPECT_FALSE(none.velocity || none.jog || none.save || none.remove || none.list);
    const auto jogging = ComputeCalibrationEnabling(CalibrationStatus::kJogging, false, 1);
    EXPECT_TRUE(jogging.jog);
    EXPECT_FALSE(jogging.velocity || jogging.save || jogging.remove || jogging.list);
    const auto t = CalibrationStatus::kTrajectory;
    const auto empty = ComputeCalibrationEnabling(t, false, 0);
    EXPECT_TRUE(empty.velocity && empty.jog && empty.save && empty.list);
    EXPECT_FALSE(empty.remove);
    const auto full = ComputeCalibrationEnabling(t, false, 3);
    EXPECT_FALSE(full.save);
    EXPECT_TRUE(full.remove);
    const auto busy = ComputeCalibrationEnabling(t, true, 1);
    EXPECT_FALSE(busy.save || busy.remove || busy.list);
    EXPECT_TRUE(busy.jog && busy.velocity);
}

TEST_F(CalibrationWorkflow, ListLineIsIsoTimeWithBothPairs) {
    CTimeZoneScope zone("UTC0");
    EXPECT_EQ(CalibrationListLine(Point(123.4564, 45.6781, 123.5, 45.7)),
              L"2026-12-06 10:03:05  Sun az/ze 123.456/45.678  Quorvel az/ze 123.500/45.700");
    // A stamp without a year is shown as calendar time 0.
    EXPECT_EQ(CalibrationListLine(Zezezezo::CAlignmentSettings{}).substr(0, 19),
              L"1970-01-01 00:00:00");
}

TEST_F(CalibrationWorkflow, FitQualityInWordsAndTheWarningBeforeOk) {
    // Fewer than three: unusable, and OK asks before keeping them.
    points = {Point(100, 40, 101, 40), Point(160, 30, 161, 30)};
    EXPECT_EQ(FitQualityText(workflow->Fit()),
              L"Alignment fit: unusable, 3 data points are needed, 2 saved");
    panel.answer = IDNO;
    EXPECT_FALSE(workflow->ConfirmOk());
    ASSERT_EQ(panel.shown.size(), 1u);
    EXPECT_EQ(panel.shown[0].type, static_cast<UINT>(MB_YESNO | MB_ICONWARNING));
    EXPECT_EQ(panel.shown[0].text.rfind(L"These data points do not give a usable alignment fit: "
                                        L"3 data points are needed, 2 saved.",
                                        0),
              0u);
    panel.answer = IDYES;
    EXPECT_TRUE(workflow->ConfirmOk());

    // Three a few minutes apart: too close together.
    points.push_back(Point(100.5, 40.1, 101.5, 40.1));
    points[1] = Point(101, 40.3, 102, 40.3);
    EXPECT_EQ(FitQualityText(workflow->Fit())
                  .rfind(L"Alignment fit: unusable, the sun positions are too close together or on "
                         L"one great circle (volume ratio 0.000",
                         0),
              0u);

    // About five degrees apart: usable but poor, and OK warns.
    points = {Point(180, 40, 181, 40), Point(180, 45, 181, 45), Point(187.8, 42.5, 188.8, 42.5)};
    EXPECT_EQ(workflow->Fit().quality, AlignmentFitQuality::Poor);
    EXPECT_EQ(FitQualityText(workflow->Fit()).rfind(L"Alignment fit: usable, quality poor", 0), 0u);
    panel.shown.clear();
    panel.answer = IDNO;
    EXPECT_FALSE(workflow->ConfirmOk());
    ASSERT_EQ(panel.shown.size(), 1u);
    EXPECT_EQ(panel.shown[0].text.rfind(L"The data points are close together", 0), 0u);

    // Far apart: good, and OK closes without a box.
    points = {Point(100, 60, 101, 60), Point(180, 30, 181, 30), Point(260, 60, 261, 60)};
    EXPECT_EQ(FitQualityText(workflow->Fit()).rfind(L"Alignment fit: usable, quality good", 0), 0u);
    panel.shown.clear();
    EXPECT_TRUE(workflow->ConfirmOk());
    EXPECT_TRUE(panel.shown.empty());
}

}  // namespace
