// The status panel: state words, position through the inverse alignment, velocity, and the
// connection indicator's painted states.
#include <gtest/gtest.h>
#include <QLabel>
#include <cmath>

#include "GuiTestSupport.h"
#include "LocaleNotation.h"
#include "StatusDlg.h"

namespace {

const QString kDash = QString(QChar(0x2014));
const QString kDeg = QString(QChar(0x00B0));
using GuiTestText::Shown;

struct StatusPanel : ::testing::Test {
    CPanelContext context;
    std::unique_ptr<CStatusDlg> panel;
    void SetUp() override {
        panel = std::make_unique<CStatusDlg>(context, nullptr);
        panel->Create();
    }
};

TEST_F(StatusPanel, StateWordsOfTheSevenFlags) {
    EXPECT_EQ(CStatusDlg::StatusText(0), "UNKNOWN");
    EXPECT_EQ(CStatusDlg::StatusText(1), "IDLE");
    EXPECT_EQ(CStatusDlg::StatusText(0x24), "MOVING,\nTRAJECTORY");
    EXPECT_EQ(CStatusDlg::StatusText(0x41), "IDLE,\nUPLOADING");
    EXPECT_EQ(CStatusDlg::StatusText(0x7F),
              "IDLE,\nHOMING,\nMOVING,\nJOGGING,\nWAITING,\nTRAJECTORY,\nUPLOADING");
    EXPECT_EQ(CStatusDlg::StatusText(0x80), "FUNKY");  // none of the seven bits
    panel->UpdateStatusText(0x24);
    EXPECT_EQ(panel->Text(1008), "MOVING,\nTRAJECTORY");
}

TEST_F(StatusPanel, PositionIsBroughtIntoRangeWithThreeDecimalsAndDegreeSign) {
    panel->UpdatePosition(370.0, 45.0);
    EXPECT_EQ(panel->Text(1052), Shown("10.000") + " " + kDeg);
    EXPECT_EQ(panel->Text(1053), Shown("45.000") + " " + kDeg);
    panel->UpdatePosition(-90.0, 12.3456);
    EXPECT_EQ(panel->Text(1052), Shown("270.000") + " " + kDeg);
    EXPECT_EQ(panel->Text(1053), Shown("12.346") + " " + kDeg);
}

TEST_F(StatusPanel, VelocityIsShownAsReportedInDegreesPerSecond) {
    panel->UpdateVelocity(-1.5, 0.0004);
    EXPECT_EQ(panel->Text(1050), Shown("-1.500") + " " + kDeg + "/sec");
    EXPECT_EQ(panel->Text(1051), Shown("0.000") + " " + kDeg + "/sec");
}

TEST(StatusPanelAlignment, PositionIsMappedBackThroughTheInverseAlignment) {
    // M turns the frame by +10 degrees of azimuth; the panel shows celestial directions.
    const double a = 10.0 * M_PI / 180.0;
    arma::mat33 M = {
        {std::cos(a), std::sin(a), 0.0}, {-std::sin(a), std::cos(a), 0.0}, {0.0, 0.0, 1.0}};
    CPanelContext context;
    context.alignmentInverse = [M] { return arma::mat33(M.t()); };
    CStatusDlg panel(context, nullptr);
    panel.Create();
    panel.UpdatePosition(110.0, 30.0);
    EXPECT_EQ(panel.Text(1052), Shown("100.000") + " " + kDeg);
    EXPECT_EQ(panel.Text(1053), Shown("30.000") + " " + kDeg);
}

TEST_F(StatusPanel, FirstIdlePassWithoutInstrumentPaintsDisconnectedAndGreysValues) {
    panel->UpdatePosition(10.0, 20.0);
    panel->UpdateStatusText(1);
    panel->OnIdleUpdateCmdUI();
    EXPECT_FALSE(panel->LampShowsConnected());
    EXPECT_EQ(panel->Text(1045), "DISCONNECTED");
    for (int id : {1008, 1052, 1053, 1050, 1051}) {
        EXPECT_EQ(panel->Text(id), kDash) << id;
        EXPECT_FALSE(panel->GetDlgItem(id)->isEnabled()) << id;
    }
    EXPECT_EQ(panel->Item<QLabel>(1007)->pixmap().size(), QSize(43, 43));
    EXPECT_FALSE(panel->Polling());
}

TEST_F(StatusPanel, PollsAskNothingWithoutAConnectedDevice) {
    // No device at all: the timers' handlers return without touching anything.
    panel->OnTimer(0);
    panel->OnTimer(1);
    EXPECT_EQ(panel->Text(1052), kDash);
}

}  // namespace
