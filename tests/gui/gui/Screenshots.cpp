// Renders the main window in two looks, the connection settings dialog and the application
// settings dialog into PNG files: gui_screenshots OUTPUT_FOLDER (offscreen platform).
#include <QApplication>
#include <QDir>
#include <QTimer>
#include <cstdio>

#include "AppSettingsDlg.h"
#include "ConnectionSettingsDlg.h"
#include "GuiTestSupport.h"
#include "MainFrame.h"
#include "ProgramLog.h"
#include "QuorvelApp.h"
#include "core/Quorvel.h"

namespace {
std::vector<unsigned> ScreenshotPorts() {
    return {1, 2, 99};
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

    CQuorvelConnectionSettingsDlg connection(nullptr, ScreenshotPorts);
    connection.m_settings = app.Device()->GetSettings();
    connection.Create();
    ok &= Save(connection, out + "/connection-settings.png");
    connection.hide();

    CAppSettingsDlg settings(app.Settings(), ProgramLog(), nullptr);
    settings.Create();
    ok &= Save(settings, out + "/application-settings.png");
    settings.hide();
    app.ExitInstance();
    return ok ? 0 : 1;
}
