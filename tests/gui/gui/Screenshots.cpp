// Renders the main window in two looks, the connection settings dialog, the auto-detect
// dialog with two instruments found and the application settings dialog into PNG files:
// gui_screenshots OUTPUT_FOLDER (offscreen platform).
#include <QApplication>
#include <QDir>
#include <QTimer>
#include <cstdio>

#include <bitset>
#include <cmath>

#include "AppSettingsDlg.h"
#include "CommandIds.h"
#include "ConnectionSettingsDlg.h"
#include "DialogTabCtrl.h"
#include "GuiTestSupport.h"
#include "HeliostatControlsDlg.h"
#include "MainFrame.h"
#include "ProgramLog.h"
#include "QuorvelApp.h"
#include "QuorvelView.h"
#include "TrackingView.h"
#include "core/HeliostatWorkflow.h"
#include "core/Quorvel.h"
#include "core/SiteSun.h"
#include "platform/Clock.h"
#include "platform/ClockSync.h"

namespace {
QuorvelDriver::PortDescription ScreenshotPort(unsigned number, const wchar_t* device,
                                              const wchar_t* description) {
    QuorvelDriver::PortDescription port;
    port.port = number;
    port.device = device;
    port.description = description;
    return port;
}

// Two adapters with an instrument each, a built-in UART and the simulated instrument.
std::vector<QuorvelDriver::PortDescription> ScreenshotPorts() {
    return {
        ScreenshotPort(1, L"/dev/ttyS0", L""),
        ScreenshotPort(33, L"/dev/ttyUSB0", L"FT232R USB UART (0403:6001, serial A10K3XYZ)"),
        ScreenshotPort(34, L"/dev/ttyUSB1", L"CP2102 USB to UART Bridge (10c4:ea60, serial 0001)"),
        ScreenshotPort(99, L"/dev/pts/3", L"")};
}

// The detection as it ends on that machine: both adapters answer, the UART is silent.
class CScreenshotDetection : public IPortDetection {
public:
    QuorvelDriver::DetectReport Run(
        const std::function<void(const QuorvelDriver::DetectProgress&)>&) override {
        const auto ports = ScreenshotPorts();
        QuorvelDriver::DetectReport report;
        report.found = {{ports[1], 115200, L"Pelvarin", L"QUORVEL4", L"4.2.1"},
                        {ports[2], 9600, L"Pelvarin", L"QUORVEL4", L"4.1.7"}};
        report.skipped = {{ports[0], L"no answer"}, {ports[3], L"in use by another program"}};
        return report;
    }
    void Cancel() override {}
};

CPortServices ScreenshotServices() {
    CPortServices services;
    services.describePorts = ScreenshotPorts;
    services.makeDetection = [](const QuorvelDriver::DetectOptions&) {
        return std::unique_ptr<IPortDetection>(new CScreenshotDetection);
    };
    return services;
}

constexpr double kEpochSeconds = 11'644'473'600.0;

Platform::Ticks TicksOf(double utcSeconds) {
    return static_cast<Platform::Ticks>((utcSeconds + kEpochSeconds) * 1e7);
}

class CSynchronisedClock : public Platform::IClockSyncSource {
public:
    Platform::ClockSyncState Read() const override {
        return {Platform::ClockSyncState::Kind::Synchronised, 0.02, L""};
    }
};

// The Tracking page at 13:30 of a midsummer day in Zurich: the day's trajectory from
// sunrise to sunset uploaded, and the run so far replayed on a manual clock with the
// instrument a few hundredths of a degree behind.
// `clock` is installed for the replay and left in place for the shot.
void ShowTrackingRun(CQuorvelApp& app, Platform::CManualClock& clock) {
    CQuorvelView* view = app.MainFrame()->View();
    CHeliostatControlsDlg* panel = view->HeliostatPanel();
    app.Settings().dLongitude = 8.5417;
    app.Settings().dLatitude = 47.3769;
    app.Settings().dElevation = 408.0;
    app.Settings().dPressure = 965.0;
    app.Settings().dTemperature = 22.0;
    const Suntrack::SiteParameters site = SiteOf(app.Settings());
    const double start = 1'813'548'900.0;  // 2027-06-21 05:35 CEST, just after sunrise
    const double now = 1'813'577'400.0;    // 13:30 CEST
    constexpr double kLagSeconds = 4.0;    // the replayed mirror runs this far behind
    const auto mirrorAt = [&](double t) {
        const Suntrack::SunSample sun =
            Suntrack::SunAtUtcSeconds(site, static_cast<std::int64_t>(t - kLagSeconds));
        return Suntrack::AzZe{sun.azimuthDeg + 0.02 * std::sin(t / 900.0), sun.zenithDeg + 0.01};
    };
    // The simulated mirror, which the status panel polls, goes where the replay ends (its
    // motion runs on the real clock, so before the manual one is installed).
    const Suntrack::AzZe end = mirrorAt(now);
    app.Device()->MoveAbs(end.azimuthDeg, end.zenithDeg, 60.0);
    GuiTest::RunLoopFor(200);
    GuiTest::RunLoopUntil([&] { return !app.Device()->GetStatus(1).test(MOVING); }, 10000);
    GuiTest::RunLoopFor(300);

    panel->TrajectoryTimes().RemoveAll();
    panel->TrajectoryAzimuths().RemoveAll();
    panel->TrajectoryZeniths().RemoveAll();
    for (double t = start;; t += 90.0) {
        const Suntrack::SunSample sun =
            Suntrack::SunAtUtcSeconds(site, static_cast<std::int64_t>(t));
        if (sun.zenithDeg > 90.0)
            break;
        panel->TrajectoryTimes().Add(Platform::SecondsToLocalTime(static_cast<std::int64_t>(t)));
        panel->TrajectoryAzimuths().Add(sun.azimuthDeg);
        panel->TrajectoryZeniths().Add(sun.zenithDeg);
    }
    clock.Set(TicksOf(start - 600.0));
    Platform::SetClock(&clock);
    const auto send = [&](unsigned bits) {
        const std::bitset<7> status(bits);
        view->SendMessage(WM_VIEW_STATUS, reinterpret_cast<WPARAM>(&status), 0);
    };
    send(Suntrack::HeliostatStatus::kUploading);
    view->SendMessage(WM_VIEW_UPLOAD_PROGRESS, 100, 0);
    view->SendMessage(WM_VIEW_UPLOAD_COMPLETE, 0, 0);
    send(Suntrack::HeliostatStatus::kWaiting);
    clock.Set(TicksOf(start));
    send(Suntrack::HeliostatStatus::kTrajectory);
    for (double t = start; t <= now; t += 1.0) {
        clock.Set(TicksOf(t));
        const Suntrack::AzZe p = mirrorAt(t);
        const double position[2] = {p.azimuthDeg, p.zenithDeg};
        view->SendMessage(WM_VIEW_POSITION, reinterpret_cast<WPARAM>(position), 0);
    }
    view->TabCtrl()->TabBar()->setCurrentIndex(2);
    GuiTest::RunLoopFor(600);
    view->TrackingPage()->Redraw();
}

bool Save(QWidget& widget, const QString& file) {
    widget.show();
    GuiTest::RunLoopFor(150);
    const bool ok = widget.grab().save(file);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(file));
    return ok;
}
}  // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qtApp(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(out);
    GuiTest::CPrivateFolders folders;
    CQuorvelAppOptions options;
    options.simulator = true;
    CQuorvelApp app(options);
    if (!app.InitInstance())
        return 1;
    CMainFrame* frame = app.MainFrame();
    frame->OnCommand(32773);
    GuiTest::RunLoopUntil([&] { return app.Device()->IsConnected() != 0; }, 5000);
    app.Device()->MoveAbs(123.4, 42.5, 20.0);
    GuiTest::RunLoopFor(1200);
    bool ok = true;
    frame->OnApplicationLook(219);
    ok &= Save(*frame, out + "/main-window-windows7.png");
    frame->OnApplicationLook(216);
    const std::wstring problem = L"Timed out getting position.";
    GuiTest::CRecordingBoxes quiet;
    Platform::SetMessageBoxService(&quiet);
    frame->SendMessage(WM_QUORVEL_ERROR, 1, reinterpret_cast<LPARAM>(problem.c_str()));
    ok &= Save(*frame, out + "/main-window-office2007-black.png");
    frame->OnApplicationLook(215);

    {
        // The Tracking page while a trajectory runs, in Zurich's summer time.
        ::setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
        ::tzset();
        CSynchronisedClock synchronised;
        Platform::SetClockSyncSource(&synchronised);
        Platform::CManualClock clock(0);
        ShowTrackingRun(app, clock);
        ok &= Save(*frame, out + "/main-window-tracking.png");
        Platform::SetClock(nullptr);
        frame->View()->TabCtrl()->TabBar()->setCurrentIndex(0);
        Platform::SetClockSyncSource(nullptr);
    }

    CQuorvelConnectionSettingsDlg connection(nullptr, ScreenshotServices());
    connection.m_settings.nPort = 33;
    connection.Create();
    ok &= Save(connection, out + "/connection-settings.png");
    connection.hide();

    CQuorvelAutoDetectDlg detect(nullptr, {}, ScreenshotServices());
    detect.Create();
    GuiTest::RunLoopUntil([&] { return !detect.IsProbing(); }, 5000);
    ok &= Save(detect, out + "/auto-detect.png");
    detect.hide();

    CAppSettingsDlg settings(app.Settings(), ProgramLog(), nullptr);
    settings.Create();
    ok &= Save(settings, out + "/application-settings.png");
    settings.hide();
    app.ExitInstance();
    return ok ? 0 : 1;
}
