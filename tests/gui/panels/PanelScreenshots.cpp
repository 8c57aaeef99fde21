// Not a test: renders the main window with its "Manual" and "Heliostat" tabs (connected to
// the built-in simulated instrument) and the alignment calibration dialog into PNG files.
// Usage: panels_screenshots <output folder>
#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QPixmap>
#include <QTabBar>
#include <QTimer>
#include <functional>

#include "AlignmentCalibrationDlg.h"
#include "CommandIds.h"
#include "DialogTabCtrl.h"
#include "HeliostatControlsDlg.h"
#include "MainFrame.h"
#include "QuorvelApp.h"
#include "QuorvelView.h"
#include "core/Quorvel.h"
#include "core/SiteSun.h"
#include "platform/Clock.h"

namespace {
void RunFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}
}  // namespace

int main(int argc, char** argv) {
    QApplication qapp(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(out);

    CQuorvelAppOptions options;
    options.simulator = true;
    CQuorvelApp app(options);
    if (!app.InitInstance())
        return 1;
    CQuorvelAppSettings& settings = app.Settings();
    settings.dLongitude = 8.5417;
    settings.dLatitude = 47.3769;
    settings.dElevation = 408.0;
    settings.dPressure = 1013.0;
    settings.dTemperature = 15.0;
    app.MainFrame()->View()->HeliostatPanel()->ExchangeSettings(false);
    app.MainFrame()->resize(app.MainFrame()->sizeHint().expandedTo(QSize(900, 820)));
    app.MainFrame()->OnCommand(Cmd::Connect);
    for (int i = 0; i < 50 && !app.Device()->IsConnected(); ++i)
        RunFor(100);
    RunFor(600);
    app.MainFrame()->grab().save(out + QStringLiteral("/panels-manual-tab.png"));

    CDialogTabCtrl* tabs = app.MainFrame()->View()->TabCtrl();
    tabs->TabBar()->setCurrentIndex(1);
    RunFor(600);
    app.MainFrame()->grab().save(out + QStringLiteral("/panels-heliostat-tab.png"));

    {
        // A child of the view: it must be gone before the view deletes its children at exit.
        CAlignmentCalibrationDlg calibration(app.OperatorContext(), app.MainFrame()->View());
        // Three data points two hours apart on 21 June 2026 (06:14, 08:14, 10:14 UTC), the
        // instrument's frame turned 0.8 degrees in azimuth and tilted 0.3 degrees.
        for (int i = 0; i < 3; ++i) {
            const std::int64_t utc = 1'782'022'445 + 7200LL * i;
            const Suntrack::SunSample sun = Suntrack::SunAtUtcSeconds(SiteOf(settings), utc);
            Zezezezo::CAlignmentSettings p;
            p.dSunAzimuth = sun.azimuthDeg;
            p.dSunZenith = sun.zenithDeg;
            p.dQuorvelAzimuth = sun.azimuthDeg + 0.8;
            p.dQuorvelZenith = sun.zenithDeg - 0.3;
            p.timestamp.time = Platform::SecondsToLocalTime(utc);
            calibration.points.push_back(p);
        }
        calibration.Create();
        calibration.show();
        RunFor(200);
        calibration.grab().save(out + QStringLiteral("/panels-calibration-dialog.png"));
        calibration.hide();
    }
    app.ExitInstance();
    return 0;
}
