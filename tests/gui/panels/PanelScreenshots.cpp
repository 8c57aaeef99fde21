// Not a test: renders the "Manual" and "Heliostat" tab pages and the alignment calibration
// dialog into PNG files. Usage: panels_screenshots <output folder>
#include <QApplication>
#include <QDir>
#include <QListWidget>
#include <QPixmap>

#include "AlignmentCalibrationDlg.h"
#include "HeliostatControlsDlg.h"
#include "ManualControlsDlg.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(out);

    CQuorvelAppSettings settings;
    settings.dLongitude = 8.5417;
    settings.dLatitude = 47.3769;
    settings.dElevation = 408.0;
    settings.dPressure = 1013.0;
    settings.dTemperature = 15.0;
    settings.bLimitMaxZenith = 1;
    settings.dMaxZenith = 85.0;
    COperatorContext context;
    context.settings = [&] { return &settings; };

    CManualControlsDlg manual(context, nullptr);
    manual.Create();
    manual.show();
    manual.OnIdleUpdateCmdUI();
    manual.grab().save(out + QStringLiteral("/panels-manual-tab.png"));

    CHeliostatControlsDlg heliostat(context, nullptr);
    heliostat.Create();
    heliostat.show();
    heliostat.grab().save(out + QStringLiteral("/panels-heliostat-tab.png"));

    CAlignmentCalibrationDlg calibration(context);
    for (int i = 0; i < 2; ++i) {
        Zezezezo::CAlignmentSettings p;
        p.timestamp.time = SYSTEMTIME{2026, 6, 0, 21, static_cast<WORD>(10 + 2 * i), 14, 5, 0};
        calibration.points.push_back(p);
    }
    calibration.Create();
    calibration.show();
    calibration.grab().save(out + QStringLiteral("/panels-calibration-dialog.png"));
    return 0;
}
