// The "Manual" tab: the field normalisations, the slider and jog-velocity coupling, moves
// through the alignment matrix, jogging while a button is held, the enabling rules for a
// move, a jog and a disconnected device, where the keyboard focus goes when Stop disables
// itself, and numbers typed on Swedish and German desktops.
#include <gtest/gtest.h>

#include <QRadioButton>
#include <QSlider>
#include <QTest>

#include "ManualControlsDlg.h"
#include "NumberEdit.h"
#include "PanelTestSupport.h"
#include "TestSupport.h"

namespace {

using namespace PanelTest;
using M = CManualControlsDlg;

class ManualPanel : public DeviceFixture {
protected:
    void SetUp() override {
        DeviceFixture::SetUp();
        MakePanel();
    }
    // The panel takes the desktop's notation when it is made.
    void MakePanel() {
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
    EXPECT_EQ(Edit(M::IDC_AZIMUTH)->text(), Shown("0.000"));
    EXPECT_EQ(Edit(M::IDC_VELOCITY)->text(), Shown("10.000"));
    EXPECT_EQ(Edit(M::IDC_JOG_VELOCITY)->text(), Shown("10.000"));
    EXPECT_EQ(panel->Item<QSlider>(M::IDC_JOG_SLIDER)->value(), 10000);
    EXPECT_EQ(panel->Item<QSlider>(M::IDC_JOG_SLIDER)->minimum(), 1);
    EXPECT_EQ(panel->Item<QSlider>(M::IDC_JOG_SLIDER)->maximum(), 120000);
    EXPECT_TRUE(Edit(M::IDC_AZIMUTH)->IsDigitsOnly());
    EXPECT_FALSE(Edit(M::IDC_JOG_VELOCITY)->IsDigitsOnly());
}

TEST_F(ManualPanel, AbsoluteFieldsAreBroughtIntoTheirRangesRelativeOnesAreNot) {
    EXPECT_EQ(Enter(M::IDC_AZIMUTH, "370"), Shown("10.000"));
    EXPECT_EQ(Enter(M::IDC_AZIMUTH, "-30"), Shown("330.000"));
    EXPECT_EQ(Enter(M::IDC_AZIMUTH, "360"), Shown("0.000"));
    EXPECT_EQ(Enter(M::IDC_AZIMUTH, "1000000000000"), Shown("280.000"));  // no endless loop
    EXPECT_EQ(Enter(M::IDC_ZENITH, "-180"), Shown("180.000"));
    EXPECT_EQ(Enter(M::IDC_ZENITH, "190"), Shown("-170.000"));
    EXPECT_EQ(Enter(M::IDC_ZENITH, ""), Shown("0.000"));
    EXPECT_EQ(Enter(M::IDC_ZENITH, "-"), Shown("0.000"));  // no number counts as empty
    QTest::mouseClick(panel->GetDlgItem(M::IDC_REL), Qt::LeftButton);
    ASSERT_TRUE(panel->Item<QRadioButton>(M::IDC_REL)->isChecked());
    EXPECT_EQ(Enter(M::IDC_ZENITH, "190"), Shown("190.000"));
    EXPECT_EQ(Enter(M::IDC_AZIMUTH, "-30"), Shown("-30.000"));
}

TEST_F(ManualPanel, VelocitiesAreClampedAndTheSliderFollowsTheJogVelocity) {
    EXPECT_EQ(Enter(M::IDC_VELOCITY, "0"), Shown("0.001"));
    EXPECT_EQ(Enter(M::IDC_VELOCITY, "500"), Shown("120.000"));
    EXPECT_EQ(Enter(M::IDC_VELOCITY, ""), Shown("90.000"));

    auto* slider = panel->Item<QSlider>(M::IDC_JOG_SLIDER);
    slider->setValue(2500);  // the operator drags it
    EXPECT_EQ(Edit(M::IDC_JOG_VELOCITY)->text(), Shown("2.500"));
    EXPECT_EQ(Enter(M::IDC_JOG_VELOCITY, "0"), Shown("0.001"));
    EXPECT_EQ(slider->value(), 1);
    EXPECT_EQ(Enter(M::IDC_JOG_VELOCITY, "7.25"), Shown("7.250"));
    EXPECT_EQ(slider->value(), 7250);
    EXPECT_EQ(Enter(M::IDC_JOG_VELOCITY, "0.0005"), Shown("0.001"));
    EXPECT_EQ(Enter(M::IDC_JOG_VELOCITY, ""), Shown("90.000"));
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

TEST_F(ManualPanel, StopThatDisablesItselfLeavesTheFocusOffEveryMovingControl) {
    Connect();
    Enter(M::IDC_AZIMUTH, "180");
    Enter(M::IDC_VELOCITY, "1");
    QTest::mouseClick(panel->GetDlgItem(M::IDC_MOVE), Qt::LeftButton);
    ASSERT_TRUE(RunUntil([&] { return device->GetStatus(1).test(MOVING); }));
    panel->OnIdleUpdateCmdUI();
    QApplication::setActiveWindow(panel.get());
    QWidget* stop = panel->GetDlgItem(M::IDC_STOP);
    stop->setFocus(Qt::TabFocusReason);
    ASSERT_EQ(panel->focusWidget(), stop);
    QTest::keyClick(stop, Qt::Key_Space);  // the operator presses Stop from the keyboard
    EXPECT_TRUE(Received("S!"));
    ASSERT_TRUE(RunUntil([&] { return device->GetStatus(1).test(IDLE); }));
    panel->OnIdleUpdateCmdUI();
    ASSERT_FALSE(stop->isEnabled());
    for (int id : {M::IDC_MOVE, M::IDC_HOME, M::IDC_ZENITH_PLUS, M::IDC_ZENITH_MINUS,
                   M::IDC_AZIMUTH_PLUS, M::IDC_AZIMUTH_MINUS})
        EXPECT_NE(panel->focusWidget(), panel->GetDlgItem(id)) << id;
    // A second Space press moves nothing.
    const std::size_t sent = Lines().size();
    if (QWidget* focus = panel->focusWidget())
        QTest::keyClick(focus, Qt::Key_Space);
    QTest::qWait(100);
    EXPECT_EQ(Lines().size(), sent);
}

TEST_F(ManualPanel, KeyboardMinusAndPointMoveOnASwedishDesktop) {
    CScopedDesktopLocale swedish("sv_SE.UTF-8");
    if (!swedish.Ok())
        GTEST_SKIP() << "sv_SE.UTF-8 is not installed";
    MakePanel();
    ASSERT_EQ(Edit(M::IDC_AZIMUTH)->NegativeSign(), QString(QChar(0x2212)));
    Connect();
    EXPECT_EQ(Enter(M::IDC_AZIMUTH, "-5"), QStringLiteral("355,000"));
    EXPECT_EQ(Enter(M::IDC_ZENITH, "12.5"), QStringLiteral("12,500"));
    EXPECT_EQ(Enter(M::IDC_VELOCITY, "7,5"), QStringLiteral("7,500"));
    QTest::mouseClick(panel->GetDlgItem(M::IDC_MOVE), Qt::LeftButton);
    EXPECT_TRUE(Received("P(355.000,12.500,7.500)"));
}

// Everything written for the instrument and the log keeps "." while the C library writes
// decimal commas.
TEST_F(ManualPanel, CommandsLogLinesAndMatrixDumpsKeepThePointOnAGermanDesktop) {
    CScopedDesktopLocale german("de_DE.UTF-8");
    if (!german.Ok())
        GTEST_SKIP() << "de_DE.UTF-8 is not installed";
    MakePanel();
    Connect();
    EXPECT_EQ(Enter(M::IDC_ZENITH, "12.5"), QStringLiteral("12,500"));
    QTest::mouseClick(panel->GetDlgItem(M::IDC_MOVE), Qt::LeftButton);
    EXPECT_TRUE(Received("P(0.000,12.500,10.000)"));

    SuntrackTest::CLogCapture log;
    log.Logger().LogParts(Logging::Informational, L"Velocity ", 12.5, L" deg/s");
    Suntrack::DumpMatrix(log.Target(), L"M:", arma::mat{{1.5, -0.25}});
    const std::vector<std::wstring> messages = log.Messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0], L"Velocity 12.5 deg/s");
    EXPECT_EQ(messages[1], L"\nM:\n  1.500000  -0.250000 \n");
}

}  // namespace
