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

    CAlignmentCalibrationDlg calibration(app.OperatorContext(), app.MainFrame()->View());
    for (int i = 0; i < 2; ++i) {
        Zezezezo::CAlignmentSettings p;
        p.timestamp.time = SYSTEMTIME{2026, 6, 0, 21, static_cast<WORD>(10 + 2 * i), 14, 5, 0};
        calibration.points.push_back(p);
    }
    calibration.Create();
    calibration.show();
    RunFor(200);
    calibration.grab().save(out + QStringLiteral("/panels-calibration-dialog.png"));
    calibration.hide();
    app.ExitInstance();
    return 0;
}
