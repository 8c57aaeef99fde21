// The main frame: command enabling, Connect (success, while connected, failure), problem
// reports by code, the one-box rule for time-outs, the application settings dialog's OK and
// Cancel, the looks, key tips, and the view's routing to the status panel and the tabs.
#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QScrollArea>
#include <QTabBar>
#include <QTest>
#include <QTimer>
#include <bitset>

#include "platform/Clock.h"

#include "AppFixture.h"
#include "AppSettingsDlg.h"
#include "CaptionBar.h"
#include "CommandIds.h"
#include "ConnectionSettingsDlg.h"
#include "DialogTabCtrl.h"
#include "HeliostatControlsDlg.h"
#include "LocaleNotation.h"
#include "ManualControlsDlg.h"
#include "QuorvelView.h"
#include "RibbonBar.h"
#include "StatusDlg.h"
#include "ToolkitProfile.h"

namespace {

const QString kDeg = QString(QChar(0x00B0));
using GuiTestText::Shown;

using MainFrameTest = AppFixture;

bool Enabled(CMainFrame* frame, int id) {
    return frame->Ribbon()->Button(id)->isEnabled();
}

// Runs `act` on the application settings dialog once it is shown modally.
void WithAppSettingsDialog(const std::function<void(CAppSettingsDlg&)>& act) {
    QTimer::singleShot(0, [act] {
        auto* dialog = qobject_cast<CAppSettingsDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        act(*dialog);
    });
}

TEST_F(MainFrameTest, EnablingWhileNotConnected) {
    Start();
    GuiTest::RunLoopFor(20);  // idle pass
    EXPECT_TRUE(Enabled(Frame(), Cmd::ApplicationSettings));
    EXPECT_TRUE(Enabled(Frame(), Cmd::ConnectionSettings));
    EXPECT_TRUE(Enabled(Frame(), Cmd::Connect));
    EXPECT_FALSE(Enabled(Frame(), Cmd::Disconnect));
    EXPECT_FALSE(Enabled(Frame(), Cmd::AlignmentCalibration));
    EXPECT_FALSE(Enabled(Frame(), Cmd::UpdateFirmware));
    EXPECT_TRUE(Enabled(Frame(), Cmd::About));
}

TEST(FrameRules, EnablingFollowsConnectionAndTheCachedTrajectoryFlag) {
    const std::bitset<7> idle(1), trajectory(0x20), waiting(0x10);
    EXPECT_FALSE(CMainFrame::CommandEnabledFor(Cmd::Connect, true, idle));
    EXPECT_FALSE(CMainFrame::CommandEnabledFor(Cmd::ConnectionSettings, true, idle));
    EXPECT_TRUE(CMainFrame::CommandEnabledFor(Cmd::Disconnect, true, idle));
    EXPECT_FALSE(CMainFrame::CommandEnabledFor(Cmd::AlignmentCalibration, true, idle));
    EXPECT_FALSE(CMainFrame::CommandEnabledFor(Cmd::AlignmentCalibration, true, waiting));
    EXPECT_TRUE(CMainFrame::CommandEnabledFor(Cmd::AlignmentCalibration, true, trajectory));
    for (bool connected : {false, true})
        for (auto status : {idle, trajectory})
            EXPECT_FALSE(CMainFrame::CommandEnabledFor(Cmd::UpdateFirmware, connected, status));
}

TEST_F(MainFrameTest, ConnectToTheSimulatorPaintsConnectedAndPollsPosition) {
    Start(true);
    ConnectToSimulator();
    CStatusDlg* panel = Frame()->View()->StatusPanel();
    ASSERT_TRUE(GuiTest::RunLoopUntil([&] { return panel->Text(1045) == "CONNECTED"; }, 3000));
    EXPECT_TRUE(panel->LampShowsConnected());
    EXPECT_TRUE(panel->Polling());
    EXPECT_TRUE(GuiTest::RunLoopUntil([&] { return panel->Text(1008) == "IDLE"; }, 3000));
    EXPECT_TRUE(GuiTest::RunLoopUntil([&] { return panel->Text(1052).endsWith(kDeg); }, 3000));
    EXPECT_TRUE(
        GuiTest::RunLoopUntil([&] { return panel->Text(1050).endsWith(kDeg + "/sec"); }, 3000));
    EXPECT_FALSE(Enabled(Frame(), Cmd::Connect));
    EXPECT_FALSE(Enabled(Frame(), Cmd::ConnectionSettings));
    EXPECT_TRUE(Enabled(Frame(), Cmd::Disconnect));

    // Connect while connected does nothing at all.
    const auto linesBefore = Log().size();
    Frame()->OnCommand(Cmd::Connect);
    GuiTest::RunLoopFor(50);
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_EQ(Log().size(), linesBefore);
    EXPECT_TRUE(Device()->IsConnected());

    QTest::mouseClick(Frame()->Ribbon()->Button(Cmd::Disconnect), Qt::LeftButton);
    EXPECT_FALSE(Device()->IsConnected());
    ASSERT_TRUE(GuiTest::RunLoopUntil([&] { return panel->Text(1045) == "DISCONNECTED"; }, 3000));
    EXPECT_FALSE(panel->GetDlgItem(1052)->isEnabled());
    EXPECT_FALSE(panel->Polling());
    EXPECT_TRUE(Enabled(Frame(), Cmd::Connect));
}

TEST_F(MainFrameTest, FailedConnectShowsAndLogsThePortAndBaud) {
    Start();
    Frame()->OnCommand(Cmd::Connect);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, L"Error opening the COM port (Port=0,Baud=115200)");
    EXPECT_EQ(boxes.boxes[0].type, MB_OK | MB_ICONWARNING);
    const auto lines = Log();
    EXPECT_TRUE(GuiTest::LogHas(lines, L"Error opening the COM port (Port=0,Baud=115200)"));
    bool errorSeverity = false;
    for (const auto& line : lines)
        errorSeverity |= line.find(L"; Error]: Error opening the COM port") != std::wstring::npos;
    EXPECT_TRUE(errorSeverity);
    EXPECT_FALSE(Device()->IsConnected());
}

struct ProblemCase {
    WPARAM code;
    const wchar_t* severity;  // nullptr: no log line
    bool box;
};

TEST_F(MainFrameTest, ProblemReportsLogAndBoxByCodeAndAlwaysRaiseTheCaptionBar) {
    Start();
    const ProblemCase cases[] = {{0, L"Warning", true},
                                 {1, L"Informational", false},
                                 {2, L"Error", false},
                                 {4, nullptr, false}};
    for (const ProblemCase& c : cases) {
        Frame()->CaptionBar()->CloseButton()->click();
        ASSERT_FALSE(Frame()->CaptionBar()->isVisibleTo(Frame()));
        boxes.boxes.clear();
        const std::wstring text = L"problem with code " + std::to_wstring(c.code);
        Frame()->SendMessage(WM_QUORVEL_ERROR, c.code, reinterpret_cast<LPARAM>(text.c_str()));
        EXPECT_TRUE(Frame()->CaptionBar()->isVisibleTo(Frame())) << c.code;
        EXPECT_EQ(boxes.boxes.size(), c.box ? 1u : 0u) << c.code;
        if (c.box) {
            EXPECT_EQ(boxes.boxes[0].text, text);
        }
        bool logged = false;
        for (const auto& line : Log())
            logged |= line.find(std::wstring(L"; ") + (c.severity ? c.severity : L"") + L"]: " +
                                text) != std::wstring::npos;
        bool anyLine = false;
        for (const auto& line : Log())
            anyLine |= line.ends_with(L"]: " + text);
        EXPECT_EQ(anyLine, c.severity != nullptr) << c.code;
        if (c.severity) {
            EXPECT_TRUE(logged) << c.code;
        }
    }
    EXPECT_EQ(Frame()->CaptionBar()->Text(), "Errors encountered! See log file for details.");
}

TEST_F(MainFrameTest, TimeoutsWhileATimeoutBoxIsOpenAreLoggedButNotBoxedAgain) {
    Start();
    int nested = 0;
    boxes.duringShow = [&] {
        if (nested++ > 0)
            return;
        for (int i = 0; i < 3; ++i)
            Frame()->SendMessage(WM_QUORVEL_ERROR, 0,
                                 reinterpret_cast<LPARAM>(L"Timed out getting position."));
    };
    Frame()->SendMessage(WM_QUORVEL_ERROR, 0,
                         reinterpret_cast<LPARAM>(L"Timed out getting position."));
    EXPECT_EQ(boxes.boxes.size(), 1u);
    int lines = 0;
    for (const auto& line : Log())
        lines += line.ends_with(L"; Warning]: Timed out getting position.") ? 1 : 0;
    EXPECT_EQ(lines, 4);
    EXPECT_TRUE(Frame()->CaptionBar()->isVisibleTo(Frame()));
    // Once the box is closed, the next time-out gets its box again.
    boxes.duringShow = nullptr;
    Frame()->SendMessage(WM_QUORVEL_ERROR, 0, reinterpret_cast<LPARAM>(L"again"));
    EXPECT_EQ(boxes.boxes.size(), 2u);
}

TEST_F(MainFrameTest, ApplicationSettingsOkWithoutChangesLogsTheCeilingAndSavesBothRecords) {
    Start();
    CQuorvelSettings connection;
    connection.nPort = 7;
    connection.nBaud = 19200;
    Device()->SetSettings(connection);
    WithAppSettingsDialog([](CAppSettingsDlg& d) { d.Item<QPushButton>(IDOK)->click(); });
    Frame()->OnCommand(Cmd::ApplicationSettings);
    EXPECT_TRUE(GuiTest::LogHas(Log(), L"The logging ceiling has been changed to 6"));
    CQuorvelSettings stored;
    Zezezezo::CSettingsStorageRegistry storage(CQuorvelApp::kDeviceSettingsKey);
    ASSERT_TRUE(stored.Load(&storage));
    EXPECT_EQ(stored.nPort, 7u);
    EXPECT_TRUE(KeyExists(CQuorvelApp::kAppSettingsKey));
    EXPECT_EQ(app->Look(), 215u);  // nAppStyle 0 applied
}

TEST_F(MainFrameTest, ApplicationSettingsCancelChangesNothing) {
    Start();
    WithAppSettingsDialog([](CAppSettingsDlg& d) {
        d.Item<QComboBox>(1004)->setCurrentIndex(4);
        d.Item<QComboBox>(1005)->setCurrentIndex(1);
        d.Item<QPushButton>(IDCANCEL)->click();
    });
    Frame()->OnCommand(Cmd::ApplicationSettings);
    EXPECT_EQ(app->Settings().nAppStyle, 0);
    EXPECT_EQ(app->Settings().nLogCeiling, 6);
    EXPECT_FALSE(KeyExists(CQuorvelApp::kAppSettingsKey));
    for (const auto& line : Log())
        EXPECT_EQ(line.find(L"The logging ceiling has been changed"), std::wstring::npos);
}

TEST_F(MainFrameTest, ChoosingWindows7GivesLook219AndRemembersIt) {
    Start();
    WithAppSettingsDialog([](CAppSettingsDlg& d) {
        d.Item<QComboBox>(1004)->setCurrentIndex(1);  // Office 2007 (Black)
        d.Item<QComboBox>(1005)->setCurrentIndex(1);  // + Debug
        d.Item<QPushButton>(IDOK)->click();
    });
    Frame()->OnCommand(Cmd::ApplicationSettings);
    EXPECT_EQ(app->Look(), 216u);
    EXPECT_FALSE(Frame()->Ribbon()->Windows7Look());
    EXPECT_EQ(app->Settings().nLogCeiling, 7);
    EXPECT_TRUE(GuiTest::LogHas(Log(), L"The logging ceiling has been changed to 7"));

    WithAppSettingsDialog([](CAppSettingsDlg& d) {
        d.Item<QComboBox>(1004)->setCurrentIndex(4);
        d.Item<QPushButton>(IDOK)->click();
    });
    Frame()->OnCommand(Cmd::ApplicationSettings);
    EXPECT_EQ(app->Settings().nAppStyle, 4);
    EXPECT_EQ(app->Look(), 219u);
    EXPECT_TRUE(Frame()->Ribbon()->Windows7Look());
    EXPECT_EQ(ToolkitProfile::ReadInt(L"ApplicationLook", 0), 219u);
}

TEST_F(MainFrameTest, RibbonTooltipsCarryTitleAndDescription) {
    Start();
    const QString tip = Frame()->Ribbon()->Button(Cmd::Connect)->toolTip();
    EXPECT_TRUE(tip.contains("<b>Connect</b>"));
    EXPECT_TRUE(tip.contains("Connect to the Quorvel."));
    EXPECT_TRUE(Frame()
                    ->Ribbon()
                    ->Button(Cmd::ConnectionSettings)
                    ->toolTip()
                    .contains("Quorvel Connection Settings"));
    EXPECT_EQ(Frame()->Ribbon()->Button(Cmd::ApplicationSettings)->text(), "Application");
}

TEST_F(MainFrameTest, AltShowsKeyTipsAndHOpensTheHomeCategoryTips) {
    Start();
    QApplication::setActiveWindow(Frame());
    CRibbonBar* ribbon = Frame()->Ribbon();
    QTest::keyClick(Frame(), Qt::Key_Alt);
    EXPECT_EQ(ribbon->KeyTipLevel(), 1);
    QTest::keyClick(Frame(), Qt::Key_H);
    EXPECT_EQ(ribbon->KeyTipLevel(), 2);
    QTest::keyClick(Frame(), Qt::Key_Escape);
    EXPECT_EQ(ribbon->KeyTipLevel(), 1);
    QTest::keyClick(Frame(), Qt::Key_Alt);
    EXPECT_EQ(ribbon->KeyTipLevel(), 0);
    EXPECT_EQ(ribbon->KeyTipOf(Cmd::About), "A");
    // H, then the Connect button's letter runs Connect (which fails: no port configured).
    QTest::keyClick(Frame(), Qt::Key_Alt);
    QTest::keyClick(Frame(), Qt::Key_H);
    QTest::keyClick(Frame(), Qt::Key_C);
    EXPECT_EQ(ribbon->KeyTipLevel(), 0);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, L"Error opening the COM port (Port=0,Baud=115200)");
}

TEST_F(MainFrameTest, NotificationsReachTheStatusPanelThroughTheView) {
    Start();
    const std::bitset<7> status(0x24);
    Frame()->SendMessage(WM_QUORVEL_STATUS, reinterpret_cast<WPARAM>(&status), 0);
    CStatusDlg* panel = Frame()->View()->StatusPanel();
    EXPECT_EQ(panel->Text(1008), "MOVING,\nTRAJECTORY");
    const double position[2] = {370.0, 45.0};
    Frame()->SendMessage(WM_QUORVEL_GET_POSITION, reinterpret_cast<WPARAM>(position), 0);
    EXPECT_EQ(panel->Text(1052), Shown("10.000") + " " + kDeg);
    const double velocity[2] = {0.25, -0.5};
    Frame()->SendMessage(WM_QUORVEL_GET_VELOCITY, reinterpret_cast<WPARAM>(velocity), 0);
    EXPECT_EQ(panel->Text(1051), Shown("-0.500") + " " + kDeg + "/sec");
}

TEST_F(MainFrameTest, TabsSwitchByMouseAtTheSamePlace) {
    Start();
    CDialogTabCtrl* tabs = Frame()->View()->TabCtrl();
    QWidget* manual = Frame()->View()->ManualPanel();
    QWidget* heliostat = Frame()->View()->HeliostatPanel();
    EXPECT_EQ(tabs->TabBar()->tabText(0), "Manual");
    EXPECT_EQ(tabs->TabBar()->tabText(1), "Heliostat");
    EXPECT_TRUE(manual->isVisible());
    EXPECT_FALSE(heliostat->isVisible());
    QTest::mouseClick(tabs->TabBar(), Qt::LeftButton, {}, tabs->TabBar()->tabRect(1).center());
    EXPECT_TRUE(heliostat->isVisible());
    EXPECT_FALSE(manual->isVisible());
    EXPECT_EQ(heliostat->geometry(), manual->geometry());
    EXPECT_EQ(heliostat->geometry(), tabs->DisplayRect());
    QTest::mouseClick(tabs->TabBar(), Qt::LeftButton, {}, tabs->TabBar()->tabRect(0).center());
    EXPECT_TRUE(manual->isVisible());
    EXPECT_FALSE(heliostat->isVisible());
    EXPECT_FALSE(tabs->AddTab(nullptr, "none"));
}

TEST_F(MainFrameTest, ResizingKeepsPanelAndTabsCentredAtTheirDistanceFromTheTop) {
    Start();
    CQuorvelView* view = Frame()->View();
    const int panelTop = view->StatusPanel()->y();
    const int tabsTop = view->TabCtrl()->y();
    EXPECT_EQ(panelTop, 15);
    EXPECT_EQ(tabsTop, view->StatusPanel()->height() + 30);
    Frame()->resize(Frame()->width() + 300, Frame()->height() + 100);
    GuiTest::RunLoopFor(20);
    for (QWidget* w :
         {static_cast<QWidget*>(view->StatusPanel()), static_cast<QWidget*>(view->TabCtrl())})
        EXPECT_NEAR(w->x(), (view->width() - w->width()) / 2, 1);
    EXPECT_EQ(view->StatusPanel()->y(), panelTop);
    EXPECT_EQ(view->TabCtrl()->y(), tabsTop);
    EXPECT_EQ(view->ManualPanel()->geometry(), view->TabCtrl()->DisplayRect());
}

// Whether `w` can be brought into view: every scroll area around it scrolls to it, and then
// no ancestor up to the window cuts off any of it (`whole`) or its middle (a window narrower
// than the control still lets the operator click it).
bool Reachable(QWidget* w, bool whole) {
    for (QWidget* p = w->parentWidget(); p; p = p->parentWidget())
        if (auto* area = qobject_cast<QScrollArea*>(p))
            area->ensureWidgetVisible(w, 0, 0);
    QRect r = whole ? w->rect() : QRect(w->rect().center() - QPoint(2, 2), QSize(5, 5));
    QWidget* child = w;
    for (QWidget* p = w->parentWidget(); p; child = p, p = p->parentWidget()) {
        r.translate(child->pos());  // into p's coordinates
        if (!p->rect().contains(r))
            return false;
        if (p->isWindow())
            break;
    }
    return true;
}

TEST_F(MainFrameTest, PanelsStayReachableAtAnySizeAndUnderTheCaptionBar) {
    Start();
    CQuorvelView* view = Frame()->View();
    const QSize initial = Frame()->size();
    auto expectAllReachable = [&](const char* when, bool whole) {
        GuiTest::RunLoopFor(20);
        std::vector<QWidget*> controls = {view->TabCtrl(), view->TabCtrl()->TabBar()};
        for (QWidget* panel : {static_cast<QWidget*>(view->ManualPanel()),
                               static_cast<QWidget*>(view->HeliostatPanel())})
            for (QPushButton* button : panel->findChildren<QPushButton*>())
                if (!button->isHidden())
                    controls.push_back(button);
        controls.push_back(view->HeliostatPanel()->GetDlgItem(CHeliostatControlsDlg::IDC_STOP));
        for (QWidget* control : controls)
            EXPECT_TRUE(Reachable(control, whole))
                << when << ": " << control->objectName().toStdString() << " "
                << control->property("dlgCtrlId").toInt();
    };
    expectAllReachable("initial size", true);
    Frame()->resize(160, 120);
    expectAllReachable("shrunk", false);
    // Back to a frame just tall enough for the tabs, then the caption bar takes its room.
    Frame()->resize(initial);
    GuiTest::RunLoopFor(20);
    const int slack = view->height() - (view->TabCtrl()->geometry().bottom() + 1);
    Frame()->resize(initial.width(), initial.height() - std::max(0, slack));
    GuiTest::RunLoopFor(20);
    const std::wstring text = L"problem";
    Frame()->SendMessage(WM_QUORVEL_ERROR, 2, reinterpret_cast<LPARAM>(text.c_str()));
    ASSERT_TRUE(Frame()->CaptionBar()->isVisibleTo(Frame()));
    expectAllReachable("caption bar shown", true);
}

}  // namespace

namespace {

TEST_F(MainFrameTest, ConnectionSettingsOkAppliesTheChoiceAndSavesIt) {
    Start(true);  // the simulated instrument is present as COM99
    QTimer::singleShot(0, [] {
        auto* dialog =
            qobject_cast<CQuorvelConnectionSettingsDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        auto* ports = dialog->Item<QComboBox>(2001);
        ASSERT_GE(ports->findData(99u), 0);
        EXPECT_EQ(ports->currentData().toUInt(), 99u);
        EXPECT_TRUE(ports->currentText().startsWith("COM99")) << ports->currentText().toStdString();
        dialog->Item<QComboBox>(2002)->setCurrentText("9600");
        dialog->Item<QPushButton>(IDOK)->click();
    });
    Frame()->OnCommand(Cmd::ConnectionSettings);
    EXPECT_EQ(Device()->GetSettings().nPort, 99u);
    EXPECT_EQ(Device()->GetSettings().nBaud, 9600u);
    // The operator's own choice is kept, also in a simulator run.
    CQuorvelSettings stored;
    Zezezezo::CSettingsStorageRegistry storage(CQuorvelApp::kDeviceSettingsKey);
    ASSERT_TRUE(stored.Load(&storage));
    EXPECT_EQ(stored.nBaud, 9600u);
    EXPECT_EQ(stored.nPort, 99u);
}

TEST_F(MainFrameTest, ConnectionSettingsCancelLeavesTheDeviceAlone) {
    Start();
    QTimer::singleShot(0, [] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            dialog->reject();
    });
    Frame()->OnCommand(Cmd::ConnectionSettings);
    EXPECT_EQ(Device()->GetSettings().nBaud, 115200u);
    EXPECT_FALSE(KeyExists(CQuorvelApp::kDeviceSettingsKey));
}

}  // namespace

namespace {

// A trajectory uploaded and started on the simulated instrument, with the process clock
// running fifty times faster so that the timed start comes within a fraction of a second.
TEST_F(MainFrameTest, AlignmentCalibrationIsEnabledOnlyWhileATrajectoryRuns) {
    Start(true);
    ConnectToSimulator();
    GuiTest::RunLoopFor(20);
    EXPECT_FALSE(Enabled(Frame(), Cmd::AlignmentCalibration));

    Platform::CScaledClock fast(Platform::Clock().NowUtc(), 50.0);
    Platform::SetClock(&fast);
    struct RestoreClock {
        ~RestoreClock() { Platform::SetClock(nullptr); }
    } restore;
    const std::int64_t now = Platform::LocalTimeToSeconds(Platform::GetLocalTime());
    CArray<SYSTEMTIME> times;
    CArray<double> azimuths, zeniths;
    for (int i = 0; i < 3; ++i) {
        times.Add(Platform::SecondsToLocalTime(now + 15 + 60 * i));
        azimuths.Add(100.0 + i);
        zeniths.Add(40.0);
    }
    ASSERT_EQ(Device()->SetTrajectory(60, times, azimuths, zeniths), 1);
    ASSERT_TRUE(GuiTest::RunLoopUntil([&] { return Device()->IsTrajectoryUploaded() != 0; }, 5000));
    ASSERT_TRUE(GuiTest::RunLoopUntil([&] { return !Device()->GetStatus(1).test(6); }, 5000));
    // Refused while the upload thread is still winding down.
    bool started = false;
    GuiTest::RunLoopUntil([&] { return started || (started = Device()->StartTrajectory(0) == 1); },
                          3000);
    ASSERT_TRUE(started);
    const bool running =
        GuiTest::RunLoopUntil([&] { return Device()->GetStatus(1).test(5); }, 5000);
    GuiTest::RunLoopFor(20);
    const bool enabled = Enabled(Frame(), Cmd::AlignmentCalibration);
    Device()->Stop(StopTrajectory);
    GuiTest::RunLoopUntil([&] { return !Device()->GetStatus(1).test(5); }, 3000);
    ASSERT_TRUE(running);
    EXPECT_TRUE(enabled);
    EXPECT_FALSE(Enabled(Frame(), Cmd::Connect));
    EXPECT_FALSE(Enabled(Frame(), Cmd::UpdateFirmware));
}

TEST_F(MainFrameTest, DisconnectAndCloseAskWhileAnUnattendedRunIsArmedAndLogTheChoice) {
    Start(true);
    ConnectToSimulator();
    ASSERT_TRUE(GuiTest::RunLoopUntil([&] { return Device()->IsConnected() != 0; }, 3000));
    Frame()->View()->HeliostatPanel()->Workflow().SetMultiDay(true);

    boxes.answer = IDNO;
    Frame()->OnCommand(Cmd::Disconnect);
    ASSERT_EQ(1u, boxes.boxes.size());
    EXPECT_EQ(kDisconnectArmedQuestion, boxes.boxes[0].text);
    EXPECT_TRUE(Device()->IsConnected());
    EXPECT_FALSE(Frame()->close());  // the operator keeps the run
    ASSERT_EQ(2u, boxes.boxes.size());
    EXPECT_EQ(kCloseArmedQuestion, boxes.boxes[1].text);
    EXPECT_TRUE(GuiTest::LogHas(Log(),
                                L"Disconnect while an unattended heliostat run was armed: "
                                L"the operator chose to keep the run."));

    boxes.answer = IDYES;
    Frame()->OnCommand(Cmd::Disconnect);
    EXPECT_FALSE(Device()->IsConnected());
    EXPECT_TRUE(GuiTest::LogHas(Log(),
                                L"Disconnect while an unattended heliostat run was armed: "
                                L"the operator chose to go on and end the run."));
    // Not connected: nothing left to ask about.
    EXPECT_EQ(3u, boxes.boxes.size());
}

}  // namespace
