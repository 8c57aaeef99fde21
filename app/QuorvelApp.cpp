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
#include "settings/SettingsStorageRegistry.h"

namespace {
CQuorvelApp* g_app = nullptr;

std::wstring LogFileName(const SYSTEMTIME& utc) {
    wchar_t name[64];
    std::swprintf(name, 64, L"%04d-%02d-%02d_%02d-%02d-%02d_SystemLog.log", utc.wYear, utc.wMonth,
                  utc.wDay, utc.wHour, utc.wMinute, utc.wSecond);
    return name;
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
            const wchar_t* kind = ec == std::errc::filename_too_long
                                      ? L"ERROR_FILENAME_EXCED_RANGE: \""
                                      : L"ERROR_BAD_PATHNAME: \"";
            Platform::ShowMessageBox(kind + m_logPath + L"\"", L"", MB_OK);
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

    ChooseLogFile(startUtc);

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
    Platform::SetMessageBoxService(nullptr);
    m_boxes.reset();
    m_pump.reset();
    return exitCode;
}

void CQuorvelApp::SaveAllSettings() {
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
