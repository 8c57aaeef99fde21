#include "QuorvelApp.h"

#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "AboutDlg.h"
#include "AlignmentCalibrationDlg.h"
#include "CaptionBar.h"
#include "EmbeddedSimulator.h"
#include "MainFrame.h"
#include "ProgramLog.h"
#include "QtMessageBoxService.h"
#include "QtMessagePump.h"
#include "QuorvelView.h"
#include "UnattendedRun.h"
#include "core/Quorvel.h"
#include "platform/Clock.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "platform/TextConvert.h"
#include "settings/RegistryHive.h"
#include "settings/SettingsStorageRegistry.h"
#include "settings/StorageDiagnostics.h"

namespace {
CQuorvelApp* g_app = nullptr;

std::wstring LogFileName(const SYSTEMTIME& utc) {
    wchar_t name[64];
    std::swprintf(name, 64, L"%04d-%02d-%02d_%02d-%02d-%02d_SystemLog.log", utc.wYear, utc.wMonth,
                  utc.wDay, utc.wHour, utc.wMinute, utc.wSecond);
    return name;
}

// The two named cases keep their texts; any other cause (no permission, a part of the path
// that is a file, a read-only or full disk) is told with the system's own reason.
std::wstring LogFolderFailureText(const std::wstring& folder, const std::error_code& ec) {
    if (ec == std::errc::filename_too_long)
        return L"ERROR_FILENAME_EXCED_RANGE: \"" + folder + L"\"";
    if (ec == std::errc::invalid_argument)
        return L"ERROR_BAD_PATHNAME: \"" + folder + L"\"";
    return L"The log folder \"" + folder + L"\" could not be created: " +
           Platform::Utf8ToWide(ec.message()) + L". This run writes no log file.";
}

// What the operator is asked when the settings file cannot be read whole.
std::wstring DamagedStoreQuestion(const std::wstring& file) {
    return L"The settings file \"" + file +
           L"\" is damaged and could not be read: the alignment points, the site and the "
           L"connection settings it holds may be missing or wrong in this run.\n\n"
           L"Yes: keep a copy of the damaged file beside it (\"" +
           file +
           L".damaged-...\") and start afresh with default settings, which are saved as "
           L"usual.\n"
           L"No: leave the damaged file untouched; this run saves no settings at all.";
}
}  // namespace

CQuorvelApp::CQuorvelApp(CQuorvelAppOptions options) : m_options(std::move(options)) {
    g_app = this;
    SetProgramLogCeilingSource(&m_settings.nLogCeiling);
    m_panelContext.device = [this] { return m_device.get(); };
    m_panelContext.alignmentInverse = [this] { return m_alignment.Inverse(); };
    m_operatorContext.device = [this] { return m_device.get(); };
    m_operatorContext.settings = [this] { return &m_settings; };
    m_operatorContext.alignment = [this] { return &m_alignment; };
    m_operatorContext.log = [] { return Suntrack::LogTarget{ProgramLog()}; };
}

CQuorvelApp::~CQuorvelApp() {
    if (!m_exited)
        ExitInstance();
    SetProgramLogCeilingSource(nullptr);
    if (g_app == this)
        g_app = nullptr;
}

CQuorvelApp* CQuorvelApp::Instance() {
    return g_app;
}

void CQuorvelApp::ChooseLogFile(const SYSTEMTIME& startUtc) {
    const std::filesystem::path appData = Platform::AppDataHome();
    if (appData.empty()) {
        Platform::ShowMessageBox(L"Error getting path to application data folder!", L"", MB_OK);
        return;
    }
    const std::filesystem::path folder = Platform::LogFolder();
    m_logPath = (folder / "").wstring();
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec)) {
        ec.clear();
        std::filesystem::create_directories(folder, ec);
        if (ec) {
            // Any failure to make the folder is reported: without it the run has no log.
            Platform::ShowMessageBox(LogFolderFailureText(m_logPath, ec), L"", MB_OK);
            return;
        }
    }
    m_logPath = (folder / LogFileName(startUtc)).wstring();
    ProgramLog().SetFilePath(m_logPath);
    ProgramLog().LogParts(Logging::Debug, "Application logfile path set to \"", m_logPath, "\"");
}

bool CQuorvelApp::InitInstance() {
    const SYSTEMTIME startUtc = Platform::GetSystemTimeUtc();

    // The toolkit: the GUI thread's message queue is pumped by Qt's loop from here on, and
    // boxes raised by any thread are shown by this thread.
    QApplication::setApplicationName(QStringLiteral("Quorvel"));
    QApplication::setOrganizationName(QStringLiteral("Pelvarin"));
    QApplication::setDesktopFileName(QStringLiteral("quorvel"));
    m_pump = std::make_unique<CQtMessagePump>();
    m_boxes = std::make_unique<CQtMessageBoxService>(QStringLiteral("Quorvel"));
    Platform::SetMessageBoxService(m_options.messageBoxes ? m_options.messageBoxes : m_boxes.get());

    // The settings layer's complaints go into this run's log (kept in memory until its file
    // is chosen), not only to standard error.
    Zezezezo::SetStorageDiagnostics(
        [](const std::wstring& line) { ProgramLog().Log(Logging::Warning, line); });

    ChooseLogFile(startUtc);

    CheckSettingsStore();
    m_settings.LoadFromRegistry();
    CalculateAlignmentMatrix();
    CQuorvel::SetLogCeiling(m_settings.nLogCeiling);

    // A new, empty document: the main frame and its view.
    m_document.OnNewDocument();
    m_frame = std::make_unique<CMainFrame>(*this);
    if (!m_frame->Create())
        return false;
    m_frame->View()->OnInitialUpdate();
    if (!m_options.documentPath.isEmpty())
        m_document.OnOpenDocument(m_options.documentPath);

    m_frame->CaptionBar()->hide();
    m_frame->show();

    m_device = std::make_unique<CQuorvel>(m_frame.get());
    {
        Zezezezo::CSettingsStorageRegistry storage(kDeviceSettingsKey);
        m_device->LoadSettings(storage);
    }
    if (m_options.simulator) {
        m_simulator = std::make_unique<CEmbeddedSimulator>();
        std::string error;
        if (m_simulator->Start(&error)) {
            m_operatorConnection = m_device->GetSettings();
            CQuorvelSettings simulated;
            simulated.nPort = CEmbeddedSimulator::kPort;
            simulated.nBaud = 115200;
            m_device->SetSettings(simulated);
            ProgramLog().LogParts(Logging::Informational, "Simulated instrument on COM",
                                  CEmbeddedSimulator::kPort, " (", m_simulator->DevicePath(), ")");
        } else {
            m_simulator.reset();
            ProgramLog().LogParts(Logging::Error,
                                  "The simulated instrument did not start: ", error);
            Platform::ShowMessageBox(L"The simulated instrument did not start: " +
                                         std::wstring(error.begin(), error.end()),
                                     L"", MB_OK | MB_ICONWARNING);
        }
    }
    m_device->SetLogfilePath(m_logPath.c_str());
    CalculateAlignmentMatrix();
    // A run the program did not end by the operator's hand (a crash, a power cut, the session
    // ending) is offered for resumption.
    m_frame->UnattendedRun()->OfferResume();
    return true;
}

int CQuorvelApp::ExitInstance(int exitCode) {
    if (m_exited)
        return exitCode;
    m_exited = true;
    // The toolkit's close of the main window (disconnects a connected instrument), then its
    // destruction, which takes the device window and its monitor thread with it.
    if (m_frame) {
        if (m_frame->isVisible())
            m_frame->close();
        m_frame.reset();
    }
    SaveAllSettings();
    m_device.reset();
    m_simulator.reset();
    Zezezezo::SetStorageDiagnostics({});
    Platform::SetMessageBoxService(nullptr);
    m_boxes.reset();
    m_pump.reset();
    return exitCode;
}

void CQuorvelApp::CheckSettingsStore() {
    std::wstring file;
    if (Zezezezo::HiveCheck(&file) != Zezezezo::HiveResult::Corrupt)
        return;
    ProgramLog().LogParts(Logging::Error, "The settings file \"", file,
                          "\" is damaged; the operator is asked what to do with it");
    const int answer = Platform::ShowMessageBox(DamagedStoreQuestion(file), L"Quorvel",
                                                MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2);
    if (answer != IDYES) {
        // Also the answer of a box that could not be shown: nothing is lost by waiting.
        m_keepDamagedStore = true;
        ProgramLog().LogParts(Logging::Warning,
                              "The operator chose to leave the damaged settings file \"", file,
                              "\" untouched: no settings are saved in this run");
        return;
    }
    std::wstring copy;
    if (Zezezezo::HiveKeepDamagedCopy(&copy) != Zezezezo::HiveResult::Success) {
        m_keepDamagedStore = true;
        ProgramLog().LogParts(Logging::Error, "The damaged settings file \"", file,
                              "\" could not be kept as a copy: no settings are saved in this run");
        Platform::ShowMessageBox(L"The damaged settings file \"" + file +
                                     L"\" could not be kept as a copy, so it is left untouched "
                                     L"and this run saves no settings. See the log file.",
                                 L"Quorvel", MB_OK | MB_ICONWARNING);
        return;
    }
    ProgramLog().LogParts(Logging::Warning,
                          "The operator chose to start afresh: the damaged settings file \"", file,
                          "\" is kept as \"", copy, "\" and default settings are used");
}

void CQuorvelApp::SaveAllSettings() {
    if (m_keepDamagedStore) {
        ProgramLog().Log(Logging::Warning,
                         L"Settings not saved: the damaged settings file is left untouched in "
                         L"this run, as the operator chose at start-up");
        return;
    }
    Zezezezo::CSettingsStorageRegistry storage(kAppSettingsKey);
    m_settings.Save(&storage);
    storage.Assign(Zezezezo::HiveCurrentUser(), kDeviceSettingsKey);
    if (m_operatorConnection) {
        m_operatorConnection->Save(&storage);
    } else if (m_device) {
        m_device->SaveSettings(storage);
    }
}

void CQuorvelApp::CalculateAlignmentMatrix() {
    const Suntrack::LogTarget log{ProgramLog()};
    m_alignment.Calculate(m_settings.AlignmentArray, log);
}

void CQuorvelApp::CloseFromSession() {
    m_closingFromSession = true;
    // Open dialogs and boxes end as if cancelled; their modal loops unwind first.
    for (int guard = 0; guard < 32; ++guard) {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            break;
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
        if (QApplication::activeModalWidget() == modal)
            modal->hide();
    }
    if (m_frame)
        QTimer::singleShot(0, m_frame.get(), [frame = m_frame.get()] { frame->close(); });
}

void CQuorvelApp::OnAppAbout() {
    CAboutDlg about(m_frame.get());
    about.DoModal();
}

void CQuorvelApp::OnFileNew() {
    m_document.OnNewDocument();
    if (m_frame)
        m_frame->View()->OnInitialUpdate();
}

void CQuorvelApp::OpenDocumentFile(const QString& path) {
    m_document.OnOpenDocument(path);
    if (m_frame)
        m_frame->View()->OnInitialUpdate();
}

void CQuorvelApp::RunAlignmentCalibration(QWidget* parent) {
    CAlignmentCalibrationDlg dialog(m_operatorContext, parent);
    dialog.points = m_settings.AlignmentArray;
    if (dialog.DoModal() != IDOK)
        return;
    m_settings.AlignmentArray = dialog.points;
    SaveAllSettings();
    CalculateAlignmentMatrix();
}
