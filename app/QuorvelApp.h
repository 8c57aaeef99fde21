// CQuorvelApp: the program's application object. It chooses this run's log file, restores
// the application settings and the device's connection settings, builds the main frame and
// view, creates the one device object with the main frame as owner, and at exit saves both
// settings records and deletes the device. Everything else reaches the device, the settings
// and the log path through it. GUI thread.
#pragma once

#include <QString>
#include <memory>
#include <optional>
#include <string>

#include "OperatorContext.h"
#include "PanelContext.h"
#include "QuorvelAppSettings.h"
#include "QuorvelDoc.h"
#include "core/AlignmentModel.h"
#include "core/QuorvelSettings.h"
#include "platform/MessageBox.h"

class CEmbeddedSimulator;
class CMainFrame;
class CQtMessageBoxService;
class CQtMessagePump;
class CQuorvel;
class QWidget;
namespace Platform {
class IClock;
}

struct CQuorvelAppOptions {
    bool simulator = false;  // run against the built-in simulated instrument
    QString documentPath;    // a ".qvl" file named on the command line
    // Shows the program's boxes instead of Qt's (tests); not owned.
    Platform::IMessageBoxService* messageBoxes = nullptr;
    // The clock of the resume box's countdown (tests: a fast one); not owned; null: the
    // program's clock.
    Platform::IClock* countdownClock = nullptr;
};

class CQuorvelApp {
public:
    static constexpr const wchar_t* kAppSettingsKey =
        L"Software\\Pelvarin\\Quorvel Control Software\\Application Settings";
    static constexpr const wchar_t* kDeviceSettingsKey =
        L"Software\\Pelvarin\\Quorvel Control Software\\Quorvel Settings";
    static constexpr const char* kUserModelId = "Pelvarin.QuorvelControlSoftware";

    explicit CQuorvelApp(CQuorvelAppOptions options = {});
    ~CQuorvelApp();
    CQuorvelApp(const CQuorvelApp&) = delete;
    CQuorvelApp& operator=(const CQuorvelApp&) = delete;

    // The running application, or null.
    static CQuorvelApp* Instance();

    // Start-up and shutdown. A QApplication must exist. ExitInstance closes and destroys the
    // main frame first if it is still there.
    bool InitInstance();
    int ExitInstance(int exitCode = 0);

    CQuorvel* Device() const { return m_device.get(); }
    CQuorvelAppSettings& Settings() { return m_settings; }
    // The program is ending without the operator's Close (exit, session end): the frame
    // asks nothing then.
    bool EndingWithoutOperator() const { return m_exited || m_closingFromSession; }
    const std::wstring& LogPath() const { return m_logPath; }
    CMainFrame* MainFrame() const { return m_frame.get(); }
    CQuorvelDoc& Document() { return m_document; }
    Platform::IClock* CountdownClock() const { return m_options.countdownClock; }
    CEmbeddedSimulator* Simulator() const { return m_simulator.get(); }
    const CPanelContext& PanelContext() const { return m_panelContext; }
    const COperatorContext& OperatorContext() const { return m_operatorContext; }

    unsigned Look() const { return m_look; }
    void SetLook(unsigned look) { m_look = look; }

    // Recomputes the alignment matrix from the data points in the settings.
    void CalculateAlignmentMatrix();
    const Suntrack::CAlignmentModel& Alignment() const { return m_alignment; }

    // Saves the application settings and the connection settings; nothing when the operator
    // chose at start-up to leave a damaged settings file untouched.
    void SaveAllSettings();
    // Whether this run leaves a damaged settings file untouched (saves nothing).
    bool KeepsDamagedStore() const { return m_keepDamagedStore; }
    // The operator confirmed the connection settings dialog: from now on the device's
    // settings are the ones to keep, also in a simulator run.
    void OnConnectionSettingsConfirmed() { m_operatorConnection.reset(); }

    // The closing request of the desktop session (SIGINT, SIGTERM, logout): closes open
    // dialogs and then the main frame, exactly as the operator closing it would.
    void CloseFromSession();

    void OnAppAbout();
    void OnFileNew();
    void OpenDocumentFile(const QString& path);
    void RunAlignmentCalibration(QWidget* parent);

private:
    void ChooseLogFile(const SYSTEMTIME& startUtc);
    // A settings file that cannot be read whole is never written without the operator's
    // consent: asks whether to keep a copy and start afresh or to leave it untouched.
    void CheckSettingsStore();

    CQuorvelAppOptions m_options;
    unsigned m_look = 219;
    std::unique_ptr<CQuorvel> m_device;
    CQuorvelAppSettings m_settings;
    std::wstring m_logPath;
    Suntrack::CAlignmentModel m_alignment;
    CQuorvelDoc m_document;
    CPanelContext m_panelContext;
    COperatorContext m_operatorContext;
    std::unique_ptr<CQtMessagePump> m_pump;
    std::unique_ptr<CQtMessageBoxService> m_boxes;
    std::unique_ptr<CMainFrame> m_frame;
    std::unique_ptr<CEmbeddedSimulator> m_simulator;
    // In a simulator run: the operator's saved connection, written back at exit instead of
    // the simulated port.
    std::optional<CQuorvelSettings> m_operatorConnection;
    bool m_exited = false;
    bool m_closingFromSession = false;
    bool m_keepDamagedStore = false;  // the operator chose to leave a damaged file untouched
};
