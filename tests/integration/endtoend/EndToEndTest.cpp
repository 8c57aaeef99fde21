// One operator's session, end to end: connect, an absolute move ending in "P:1", a jog, a
// homing, then "Generate and Upload" with the progress bar, the automatic run, the end of
// the trajectory, the homing that follows and the next day's trajectory generated, uploaded
// and started without the operator, for three days; then three calibration points recorded
// while the instrument tracks, OK, and the recomputed alignment matrix in the run's log.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFocusEvent>
#include <QLineEdit>
#include <QProgressBar>
#include <QTabBar>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "AlignmentCalibrationDlg.h"
#include "CommandIds.h"
#include "DialogTabCtrl.h"
#include "HeliostatControlsDlg.h"
#include "InstrumentSimulator.h"
#include "MainFrame.h"
#include "ManualControlsDlg.h"
#include "QuorvelApp.h"
#include "QuorvelView.h"
#include "TestFolders.h"
#include "core/Quorvel.h"
#include "platform/Clock.h"
#include "platform/MessageBox.h"

namespace {

constexpr int kPort = 9;
constexpr std::int64_t kEpochDifferenceSeconds = 11'644'473'600;
// 2026-06-21 03:00:00 UTC: before sunrise on midsummer day on the Greenwich meridian.
constexpr std::int64_t kStartUtc = 1'782'010'800;

Platform::Ticks TicksOf(std::int64_t unixSeconds) {
    return static_cast<Platform::Ticks>(unixSeconds + kEpochDifferenceSeconds) *
           Platform::kTicksPerSecond;
}

class CBoxes final : public Platform::IMessageBoxService {
public:
    std::vector<std::wstring> shown;
    int answer = IDOK;
    int Show(const std::wstring& text, const std::wstring&, UINT) override {
        shown.push_back(text);
        return answer;
    }
};

// Runs Qt's event loop as the program does (it sleeps only when nothing is pending, so the
// instrument's replies are handled at once) until `done` or the timeout.
bool RunUntil(const std::function<bool()>& done, int timeoutMs = 10000) {
    if (done())
        return true;
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (done())
            loop.quit();
    });
    check.start(5);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    return done();
}

// Clicks a button once the idle pass has enabled it (the enabling follows the device's
// state on every idle pass, so a button may still be greyed right after a state change).
bool Click(QWidget* button) {
    if (!RunUntil([&] { return button->isEnabled(); }))
        return false;
    QTest::mouseClick(button, Qt::LeftButton);
    return true;
}

void LeaveFocus(QWidget* w) {
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(w, &out);
}

void Type(QWidget* edit, const QString& text) {
    ASSERT_TRUE(RunUntil([&] { return edit->isEnabled(); }));
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
    LeaveFocus(edit);
}

std::wstring ReadLog(const std::wstring& path) {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::wstring text;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        text += static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) |
                                     (static_cast<unsigned char>(bytes[i + 1]) << 8));
    return text;
}

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        // A first run: no settings, no logs from an earlier run of this test.
        QuorvelTest::EmptyPrivateFolders();
        ::setenv("TZ", "UTC0", 1);
        ::tzset();
        Platform::SetClock(&clock);

        // The operator's settings from an earlier run: the site, an open-ended run, and the
        // log at Debug so that the protocol and the alignment steps are on record.
        CQuorvelAppSettings seed;
        seed.nLogCeiling = 7;
        seed.dLongitude = 0.0;
        seed.dLatitude = 45.0;
        seed.dElevation = 50.0;
        seed.dPressure = 1013.0;
        seed.dTemperature = 20.0;
        seed.bRunUntilStopped = 1;
        ASSERT_TRUE(seed.SaveToRegistry());

        quorvel::sim::SSimulatorOptions options;
        options.portDir = std::getenv("QUORVEL_PORT_DIR");
        options.comPort = kPort;
        options.replaceLink = true;
        options.timeScale = 10000.0;
        ASSERT_FALSE(simulator.Start(options).empty()) << simulator.LastError();

        app = std::make_unique<CQuorvelApp>();
        ASSERT_TRUE(app->InitInstance());
        Platform::SetMessageBoxService(&boxes);
        CQuorvelSettings connection = app->Device()->GetSettings();
        connection.nPort = kPort;
        app->Device()->SetSettings(connection);
    }
    void TearDown() override {
        if (HasFailure()) {
            // What went over the wire last, for the failure report.
            const auto lines = simulator.CommandLog();
            const std::size_t from = lines.size() > 12 ? lines.size() - 12 : 0;
            for (std::size_t i = from; i < lines.size(); ++i)
                std::fprintf(stderr, "instrument received: %s\n", lines[i].text.c_str());
            std::fprintf(stderr, "status %s\n", Status().to_string().c_str());
        }
        if (app)
            app->ExitInstance();
        app.reset();
        simulator.Stop();
        Platform::SetClock(nullptr);
    }

    CQuorvel* Device() const { return app->Device(); }
    std::bitset<7> Status() const { return Device()->GetStatus(1); }
    CQuorvelView* View() const { return app->MainFrame()->View(); }
    int Count(const std::string& prefix) const {
        int n = 0;
        for (const auto& entry : simulator.CommandLog())
            n += entry.text.rfind(prefix, 0) == 0 ? 1 : 0;
        return n;
    }
    // Moves the program's clock to a local (= UTC here) time.
    void SetClock(const SYSTEMTIME& local) {
        clock.Set(TicksOf(Platform::LocalTimeToSeconds(local)));
    }

    Platform::CManualClock clock{TicksOf(kStartUtc)};
    CBoxes boxes;
    quorvel::sim::CInstrumentSimulator simulator;
    std::unique_ptr<CQuorvelApp> app;
};

TEST_F(EndToEnd, ManualControlThreeUnattendedDaysAndCalibration) {
    // Connect from the ribbon.
    app->MainFrame()->OnCommand(Cmd::Connect);
    ASSERT_TRUE(RunUntil([&] { return Device()->IsConnected() && Status().test(IDLE); }));

    // Manual tab: an absolute move, which the instrument ends with "!P:1".
    CManualControlsDlg* manual = View()->ManualPanel();
    ASSERT_TRUE(manual->isVisible());
    Type(manual->GetDlgItem(CManualControlsDlg::IDC_AZIMUTH), "90");
    Type(manual->GetDlgItem(CManualControlsDlg::IDC_ZENITH), "45");
    Type(manual->GetDlgItem(CManualControlsDlg::IDC_VELOCITY), "120");
    ASSERT_TRUE(Click(manual->GetDlgItem(CManualControlsDlg::IDC_MOVE)));
    // At the instrument's time scale the move is over within milliseconds: "!P:1" clears
    // MOVING (the log holds the line, checked at the end).
    ASSERT_TRUE(RunUntil([&] { return Count("P(90.000,45.000,120.000)") == 1; }));
    ASSERT_TRUE(RunUntil([&] { return Status() == std::bitset<7>(1u << IDLE); }));

    // Jog while the button is held.
    QWidget* azimuthPlus = manual->GetDlgItem(CManualControlsDlg::IDC_AZIMUTH_PLUS);
    ASSERT_TRUE(RunUntil([&] { return azimuthPlus->isEnabled(); }));
    QTest::mousePress(azimuthPlus, Qt::LeftButton);
    ASSERT_TRUE(RunUntil([&] { return Status().test(JOGGING); }));
    QTest::mouseRelease(azimuthPlus, Qt::LeftButton);
    ASSERT_TRUE(RunUntil([&] { return Status().test(IDLE); }));
    EXPECT_EQ(Count("V(10.000,0.000)"), 1);

    // Home.
    ASSERT_TRUE(Click(manual->GetDlgItem(CManualControlsDlg::IDC_HOME)));
    ASSERT_TRUE(RunUntil([&] { return Count("H!") == 1; }));
    ASSERT_TRUE(RunUntil([&] { return Status().test(IDLE); }));
    EXPECT_EQ(Count("T("), 0);  // a homing by hand starts no heliostat day

    // Heliostat tab: the window from ten minutes from now, open-ended.
    CDialogTabCtrl* tabs = View()->TabCtrl();
    QTest::mouseClick(tabs->TabBar(), Qt::LeftButton, {}, tabs->TabBar()->tabRect(1).center());
    CHeliostatControlsDlg* heliostat = View()->HeliostatPanel();
    ASSERT_TRUE(RunUntil([&] { return heliostat->isVisible(); }));
    ASSERT_TRUE(heliostat->IsRunUntilStoppedChecked());
    ASSERT_TRUE(heliostat->IsAutoRunChecked());
    ASSERT_TRUE(Click(heliostat->GetDlgItem(CHeliostatControlsDlg::IDC_NOW_PLUS_10)));
    auto* progress = heliostat->Item<QProgressBar>(CHeliostatControlsDlg::IDC_PROGRESS);
    bool progressShown = false;
    ASSERT_TRUE(Click(heliostat->GetDlgItem(CHeliostatControlsDlg::IDC_GENERATE)));

    QElapsedTimer phase;
    phase.start();
    for (int day = 0; day < 3; ++day) {
        std::fprintf(stderr, "day %d at %lld ms\n", day, phase.elapsed());
        // Uploaded (the bar shows while it runs) and started automatically: waiting.
        ASSERT_TRUE(RunUntil(
            [&] {
                progressShown = progressShown || progress->isVisible();
                return Status().test(WAITING);
            },
            20000))
            << "day " << day << ", uploads " << Count("T(") << ", starts " << Count("T!")
            << ", boxes " << boxes.shown.size()
            << (boxes.shown.empty() ? std::string()
                                    : QString::fromStdWString(boxes.shown[0]).toStdString());
        std::fprintf(stderr, "  waiting at %lld ms\n", phase.elapsed());
        ASSERT_EQ(Count("T("), day + 1);
        const SYSTEMTIME first = heliostat->TrajectoryTimes()[0];
        EXPECT_EQ(first.wDay, 21 + day);
        EXPECT_EQ(first.wHour, 4);  // that day's sunrise
        EXPECT_TRUE(boxes.shown.empty()) << "day " << day;

        // Ten seconds before the first time stamp "T!", at it "G!".
        // The clock moves only once the timed-start thread has begun each of its waits: it
        // reads the clock just after it reports WAITING and just after the answer to "T!".
        SYSTEMTIME t10 = Platform::SecondsToLocalTime(Platform::LocalTimeToSeconds(first) - 10);
        QTest::qWait(300);
        SetClock(t10);
        ASSERT_TRUE(RunUntil([&] { return Count("T!") == day + 1; }));
        QTest::qWait(300);
        SetClock(first);
        ASSERT_TRUE(RunUntil([&] { return Status().test(TRAJECTORY); }));
        EXPECT_EQ(Count("G!"), day + 1);
        std::fprintf(stderr, "  tracking at %lld ms\n", phase.elapsed());
        if (day == 2)
            break;
        // The day's run ends, the program homes the instrument and goes on by itself.
        ASSERT_TRUE(RunUntil([&] { return Count("H!") == day + 2; }, 20000));
    }
    EXPECT_TRUE(progressShown);

    std::fprintf(stderr, "calibration at %lld ms\n", phase.elapsed());
    // Calibration while tracking: three points, a few real tenths of a second apart (hours
    // of the instrument's fast trajectory) and two hours apart on the program's clock.
    std::size_t captured = 0;
    bool scripted = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<CAlignmentCalibrationDlg*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        for (int i = 0; i < 3; ++i) {
            dialog->OnIdleUpdateCmdUI();
            QWidget* save = dialog->GetDlgItem(CAlignmentCalibrationDlg::IDC_SAVE);
            if (!save->isEnabled())
                break;
            QTest::mouseClick(save, Qt::LeftButton);
            if (!RunUntil([&] {
                    clock.Advance(std::chrono::milliseconds(100));
                    return dialog->points.size() == static_cast<std::size_t>(i + 1) &&
                           !dialog->IsBusy();
                }))
                break;
            clock.Advance(std::chrono::hours(2));
            QTest::qWait(300);
        }
        captured = dialog->points.size();
        scripted = true;
        // The instrument's three readings lie within about 20 degrees of each other (its
        // trajectory runs fast), so OK asks whether to keep a poor fit: the operator does.
        boxes.answer = IDYES;
        QTest::mouseClick(dialog->GetDlgItem(IDOK), Qt::LeftButton);
        if (dialog->isVisible())
            dialog->reject();  // never left open: the modal loop would wait for ever
    });
    app->MainFrame()->OnCommand(Cmd::AlignmentCalibration);
    ASSERT_TRUE(scripted);
    EXPECT_EQ(captured, 3u);
    EXPECT_EQ(app->Settings().AlignmentArray.size(), 3u);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(QString::fromStdWString(boxes.shown[0]).left(34),
              "The data points are close together");

    std::fprintf(stderr, "stop at %lld ms\n", phase.elapsed());
    // The operator ends the unattended run.
    ASSERT_TRUE(Click(heliostat->GetDlgItem(CHeliostatControlsDlg::IDC_STOP)));
    ASSERT_TRUE(RunUntil([&] { return Status().test(IDLE); }, 20000));
    EXPECT_FALSE(heliostat->Workflow().MultiDay());

    std::fprintf(stderr, "exit at %lld ms\n", phase.elapsed());
    // The run's log, complete once the program has closed.
    const std::wstring logPath = app->LogPath();
    app->ExitInstance();
    const std::wstring log = ReadLog(logPath);
    EXPECT_NE(log.find(L"QuorvelDll: \"P:1\" response received."), std::wstring::npos);
    EXPECT_NE(log.find(L"QuorvelDll: Homing routine finished."), std::wstring::npos);
    // The computation after OK (the last one of the run) fitted a matrix.
    const std::size_t last =
        log.rfind(L"Starting calculation of the alignment transformation matrix.");
    ASSERT_NE(last, std::wstring::npos);
    const std::wstring fit = log.substr(last);
    EXPECT_NE(fit.find(L"M (Transformation Matrix):"), std::wstring::npos);
    EXPECT_EQ(fit.find(L"FAILED"), std::wstring::npos);
    EXPECT_NE(fit.find(L"Finished calculation of the alignment transformation matrix."),
              std::wstring::npos);
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    return RUN_ALL_TESTS();
}
