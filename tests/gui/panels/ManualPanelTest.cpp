// The "Manual" tab: the field normalisations, the slider and jog-velocity coupling, moves
// through the alignment matrix, jogging while a button is held, and the enabling rules for a
// move, a jog and a disconnected device.
#include <gtest/gtest.h>

#include <QRadioButton>
#include <QSlider>
#include <QTest>

#include "ManualControlsDlg.h"
#include "NumberEdit.h"
#include "PanelTestSupport.h"

namespace {

using namespace PanelTest;
using M = CManualControlsDlg;

class ManualPanel : public DeviceFixture {
protected:
    void SetUp() override {
        DeviceFixture::SetUp();
        panel = std::make_unique<CManualControlsDlg>(context, nullptr);
        panel->Create();
        panel->show();
    }
    void TearDown() override {
        panel.reset();
        DeviceFixture::TearDown();
    }
    CNumberEdit* Edit(int id) const { return panel->Item<CNumberEdit>(id); }
    QString Enter(int id, const QString& text) {
        TypeInto(Edit(id), text);
        LeaveFocus(Edit(id));
        return Edit(id)->text();
    }
    bool Enabled(int id) const { return panel->GetDlgItem(id)->isEnabled(); }
    std::vector<int> EnabledActors() const {
        std::vector<int> on;
        for (int id :
             {M::IDC_AZIMUTH, M::IDC_ZENITH, M::IDC_VELOCITY, M::IDC_ABS, M::IDC_REL, M::IDC_MOVE,
              M::IDC_STOP, M::IDC_HOME, M::IDC_JOG_SLIDER, M::IDC_JOG_VELOCITY, M::IDC_ZENITH_PLUS,
              M::IDC_ZENITH_MINUS, M::IDC_AZIMUTH_PLUS, M::IDC_AZIMUTH_MINUS})
            if (Enabled(id))
                on.push_back(id);
        return on;
    }
    std::unique_ptr<CManualControlsDlg> panel;
};

TEST_F(ManualPanel, InitialFields) {
    EXPECT_TRUE(panel->Item<QRadioButton>(M::IDC_ABS)->isChecked());
    EXPECT_EQ(Edit(M::IDC_AZIMUTH)->text(), "0.000");
    EXPECT_EQ(Edit(M::IDC_VELOCITY)->text(), "10.000");
    EXPECT_EQ(Edit(M::IDC_JOG_VELOCITY)->text(), "10.000");
    EXPECT_EQ(panel->Item<QSlider>(M::IDC_JOG_SLIDER)->value(), 10000);
    EXPECT_EQ(panel->Item<QSlider>(M::IDC_JOG_SLIDER)->minimum(), 1);
    EXPECT_EQ(panel->Item<QSlider>(M::IDC_JOG_SLIDER)->maximum(), 120000);
    EXPECT_TRUE(Edit(M::IDC_AZIMUTH)->IsDigitsOnly());
    EXPECT_FALSE(Edit(M::IDC_JOG_VELOCITY)->IsDigitsOnly());
}

TEST_F(ManualPanel, AbsoluteFieldsAreBroughtIntoTheirRangesRelativeOnesAreNot) {
    EXPECT_EQ(Enter(M::IDC_AZIMUTH, "370"), "10.000");
    EXPECT_EQ(Enter(M::IDC_AZIMUTH, "-30"), "330.000");
    EXPECT_EQ(Enter(M::IDC_AZIMUTH, "360"), "0.000");
    EXPECT_EQ(Enter(M::IDC_AZIMUTH, "1000000000000"), "280.000");  // no endless loop
    EXPECT_EQ(Enter(M::IDC_ZENITH, "-180"), "180.000");
    EXPECT_EQ(Enter(M::IDC_ZENITH, "190"), "-170.000");
    EXPECT_EQ(Enter(M::IDC_ZENITH, ""), "0.000");
    EXPECT_EQ(Enter(M::IDC_ZENITH, "-"), "0.000");  // no number counts as empty
    QTest::mouseClick(panel->GetDlgItem(M::IDC_REL), Qt::LeftButton);
    ASSERT_TRUE(panel->Item<QRadioButton>(M::IDC_REL)->isChecked());
    EXPECT_EQ(Enter(M::IDC_ZENITH, "190"), "190.000");
    EXPECT_EQ(Enter(M::IDC_AZIMUTH, "-30"), "-30.000");
}

TEST_F(ManualPanel, VelocitiesAreClampedAndTheSliderFollowsTheJogVelocity) {
    EXPECT_EQ(Enter(M::IDC_VELOCITY, "0"), "0.001");
    EXPECT_EQ(Enter(M::IDC_VELOCITY, "500"), "120.000");
    EXPECT_EQ(Enter(M::IDC_VELOCITY, ""), "90.000");

    auto* slider = panel->Item<QSlider>(M::IDC_JOG_SLIDER);
    slider->setValue(2500);  // the operator drags it
    EXPECT_EQ(Edit(M::IDC_JOG_VELOCITY)->text(), "2.500");
    EXPECT_EQ(Enter(M::IDC_JOG_VELOCITY, "0"), "0.001");
    EXPECT_EQ(slider->value(), 1);
    EXPECT_EQ(Enter(M::IDC_JOG_VELOCITY, "7.25"), "7.250");
    EXPECT_EQ(slider->value(), 7250);
    EXPECT_EQ(Enter(M::IDC_JOG_VELOCITY, "0.0005"), "0.001");
    EXPECT_EQ(Enter(M::IDC_JOG_VELOCITY, ""), "90.000");
    EXPECT_EQ(slider->value(), 1);  // an emptied field leaves the slider
}

TEST_F(ManualPanel, AbsoluteMoveGoesThroughTheAlignmentMatrix) {
    Connect();
    Enter(M::IDC_AZIMUTH, "90");
    Enter(M::IDC_ZENITH, "45");
    Enter(M::IDC_VELOCITY, "120");
    QTest::mouseClick(panel->GetDlgItem(M::IDC_MOVE), Qt::LeftButton);
    EXPECT_TRUE(Received("P(90.000,45.000,120.000)"));
    ASSERT_TRUE(RunUntil([&] { return device->GetStatus(1).test(IDLE); }, 20000));

    // An instrument frame turned by +10 degrees in azimuth.
    std::vector<Suntrack::AlignmentObservation> points = {
        {100.0, 30.0, 110.0, 30.0}, {200.0, 60.0, 210.0, 60.0}, {300.0, 45.0, 310.0, 45.0}};
    Logging::CLogger silent("Quorvel", [](int) { return false; });
    ASSERT_TRUE(alignment.Calculate(points, {silent}));
    Enter(M::IDC_AZIMUTH, "20");
    Enter(M::IDC_ZENITH, "5");
    QTest::mouseClick(panel->GetDlgItem(M::IDC_MOVE), Qt::LeftButton);
    EXPECT_TRUE(Received("P(30.000,5.000,120.000)"));
}

TEST_F(ManualPanel, HoldingAJogButtonJogsAndLettingGoStopsEverything) {
    Connect();
    Enter(M::IDC_JOG_VELOCITY, "5");
    auto* button = panel->GetDlgItem(M::IDC_AZIMUTH_MINUS);
    QTest::mousePress(button, Qt::LeftButton);
    EXPECT_TRUE(Received("V(-5.000,0.000)"));
    ASSERT_TRUE(RunUntil([&] { return device->GetStatus(1).test(JOGGING); }));

    // While jogging only the jog group is live.
    panel->OnIdleUpdateCmdUI();
    EXPECT_EQ(EnabledActors(),
              (std::vector<int>{M::IDC_JOG_SLIDER, M::IDC_JOG_VELOCITY, M::IDC_ZENITH_PLUS,
                                M::IDC_ZENITH_MINUS, M::IDC_AZIMUTH_PLUS, M::IDC_AZIMUTH_MINUS}));

    QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(-40, -40));
    EXPECT_TRUE(Received("S!"));
    ASSERT_TRUE(RunUntil([&] { return device->GetStatus(1) == std::bitset<7>(1); }));
}

TEST_F(ManualPanel, EnablingDisconnectedIdleAndMoving) {
    panel->OnIdleUpdateCmdUI();
    EXPECT_TRUE(EnabledActors().empty());

    Connect();
    panel->OnIdleUpdateCmdUI();
    std::vector<int> idle = EnabledActors();
    EXPECT_EQ(idle.size(), 13u);  // all but Stop
    EXPECT_FALSE(Enabled(M::IDC_STOP));

    Enter(M::IDC_AZIMUTH, "180");
    Enter(M::IDC_VELOCITY, "1");
    QTest::mouseClick(panel->GetDlgItem(M::IDC_MOVE), Qt::LeftButton);
    ASSERT_TRUE(RunUntil([&] { return device->GetStatus(1) == std::bitset<7>(1u << MOVING); }));
    panel->OnIdleUpdateCmdUI();
    EXPECT_EQ(EnabledActors(), (std::vector<int>{M::IDC_STOP}));

    QTest::mouseClick(panel->GetDlgItem(M::IDC_STOP), Qt::LeftButton);
    EXPECT_TRUE(Received("S!"));
    ASSERT_TRUE(RunUntil([&] { return device->GetStatus(1).test(IDLE); }));
    // Home only while idle; the guard refuses it otherwise.
    panel->OnIdleUpdateCmdUI();
    QTest::mouseClick(panel->GetDlgItem(M::IDC_HOME), Qt::LeftButton);
    EXPECT_TRUE(Received("H!"));
}

}  // namespace
