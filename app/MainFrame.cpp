#include "MainFrame.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QMimeData>
#include <QScrollArea>
#include <QShortcut>
#include <QVBoxLayout>
#include <filesystem>

#include "AppSettingsDlg.h"
#include "CaptionBar.h"
#include "CommandIds.h"
#include "ConnectionSettingsDlg.h"
#include "CustomDialog.h"
#include "HeliostatControlsDlg.h"
#include "IdleHook.h"
#include "ProgramLog.h"
#include "QuorvelApp.h"
#include "QuorvelView.h"
#include "RibbonBar.h"
#include "ToolkitProfile.h"
#include "UnattendedRun.h"
#include "core/Quorvel.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"

CMainFrame::CMainFrame(CQuorvelApp& app) : m_app(app) {
    m_app.SetLook(ToolkitProfile::ReadInt(L"ApplicationLook", 219));
    // The title is the application's title alone, without a document name.
    setWindowTitle(QStringLiteral("Pelvarin Quorvel Control Software"));
    setObjectName(QStringLiteral("mainFrame"));
    // The driver library stays free of Qt: it runs the connection dialog through this hook.
    CQuorvel::SetConnectionSettingsDlgHook(&RunConnectionSettingsDlg);
}

CMainFrame::~CMainFrame() {
    // The device window is a child of this one: destroying it first stops the device's
    // monitor thread before anything it reports to is gone.
    DestroyWindow();
}

bool CMainFrame::Create() {
    OnApplicationLook(m_app.Look());

    m_ribbon = new CRibbonBar(this);
    m_ribbon->ApplyLook(m_lookColors);
    setMenuWidget(m_ribbon);
    connect(m_ribbon, &CRibbonBar::commandTriggered, this, &CMainFrame::OnCommand);

    auto* client = new QWidget(this);
    auto* column = new QVBoxLayout(client);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    m_captionBar = new CCaptionBar(client);
    m_captionBar->ApplyLook(m_lookColors.panelBottom, m_lookColors.panelBorder);
    connect(m_captionBar, &CCaptionBar::openLogFile, this, [this] { OnCommand(Cmd::OpenLogFile); });
    column->addWidget(m_captionBar);
    m_view = new CQuorvelView(m_app.PanelContext(), m_app.OperatorContext(), client);
    m_view->SetParent(this);
    connect(m_view, &CQuorvelView::clockWarning, this, [this] { ShowCaptionBar(); });
    // The view keeps its panels at their form size; a frame smaller than that (or one whose
    // caption bar takes room) scrolls the view instead of cutting its controls off.
    auto* scroller = new QScrollArea(client);
    scroller->setObjectName(QStringLiteral("viewScroller"));
    scroller->setFrameShape(QFrame::NoFrame);
    scroller->setWidgetResizable(true);
    scroller->setWidget(m_view);
    column->addWidget(scroller, 1);
    setCentralWidget(client);
    m_captionBar->hide();

    CreateAccelerators();
    setAcceptDrops(true);
    m_idle = new CIdleHook([this] { OnIdle(); }, this);
    m_unattended = new CUnattendedRun(m_app, *this, m_app.CountdownClock());

    // Shrink the frame to fit the view's form.
    resize(m_view->TemplateSize().width(),
           m_ribbon->sizeHint().height() + m_view->TemplateSize().height());
    return true;
}

void CMainFrame::CreateAccelerators() {
    const struct {
        QKeySequence keys;
        int id;
    } accelerators[] = {
        {QKeySequence(Qt::CTRL | Qt::Key_N), Cmd::FileNew},
        {QKeySequence(Qt::CTRL | Qt::Key_O), Cmd::FileOpen},
        {QKeySequence(Qt::CTRL | Qt::Key_S), Cmd::FileSave},
        {QKeySequence(Qt::Key_F6), Cmd::NextPane},
        {QKeySequence(Qt::SHIFT | Qt::Key_F6), Cmd::PrevPane},
    };
    for (const auto& accelerator : accelerators) {
        auto* shortcut = new QShortcut(accelerator.keys, this);
        const int id = accelerator.id;
        connect(shortcut, &QShortcut::activated, this, [this, id] { OnCommand(id); });
    }
}

bool CMainFrame::CommandEnabledFor(int id, bool connected, std::bitset<7> cachedStatus) {
    switch (id) {
        case Cmd::ConnectionSettings:
        case Cmd::Connect:
            return !connected;
        case Cmd::Disconnect:
            return connected;
        case Cmd::AlignmentCalibration:
            return cachedStatus.test(5);  // TRAJECTORY
        case Cmd::UpdateFirmware:
            return false;  // no handler
        default:
            return true;
    }
}

bool CMainFrame::IsCommandEnabled(int id) const {
    CQuorvel* device = m_app.Device();
    const bool connected = device && device->IsConnected();
    const std::bitset<7> status = device ? device->GetStatus(1) : std::bitset<7>();
    // While an unattended run reconnects, Disconnect is how the operator ends it.
    if (id == Cmd::Disconnect && m_unattended && m_unattended->Recovering())
        return true;
    return CommandEnabledFor(id, connected, status);
}

void CMainFrame::OnIdle() {
    if (m_ribbon)
        m_ribbon->UpdateCmdUI([this](int id) { return IsCommandEnabled(id); });
    for (CCustomDialog* dialog : findChildren<CCustomDialog*>())
        dialog->OnIdleUpdateCmdUI();
    if (m_unattended)
        m_unattended->OnIdle();
}

void CMainFrame::OnCommand(int id) {
    if (!IsCommandEnabled(id))
        return;
    switch (id) {
        case Cmd::ApplicationSettings:
            OnApplicationSettings();
            break;
        case Cmd::ConnectionSettings:
            OnConnectionSettings();
            break;
        case Cmd::Connect:
            OnConnect();
            break;
        case Cmd::Disconnect:
            OnDisconnect();
            break;
        case Cmd::AlignmentCalibration:
            OnAlignmentCalibration();
            break;
        case Cmd::About:
            m_app.OnAppAbout();
            break;
        case Cmd::OpenLogFile:
            OnOpenLogFile();
            break;
        case Cmd::FileNew:
            m_app.OnFileNew();
            break;
        case Cmd::FileOpen:
            OnFileOpen();
            break;
        case Cmd::FileSave:
            OnFileSave();
            break;
        default:
            if (id >= Cmd::LookFirst && id <= Cmd::LookLast)
                OnApplicationLook(static_cast<unsigned>(id));
            break;
    }
}

LRESULT CMainFrame::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_QUORVEL_ERROR:
            return OnQuorvelError(wParam, lParam);
        case WM_QUORVEL_STATUS:
            if (m_unattended && wParam)
                m_unattended->OnStatus(*reinterpret_cast<const std::bitset<7>*>(wParam));
            return Forward(WM_VIEW_STATUS, wParam, 0);
        case WM_QUORVEL_GET_POSITION:
            if (m_unattended && wParam) {
                const auto* values = reinterpret_cast<const double*>(wParam);
                m_unattended->OnPosition(values[0], values[1]);
            }
            return Forward(WM_VIEW_POSITION, wParam, 0);
        case WM_QUORVEL_GET_VELOCITY:
            return Forward(WM_VIEW_VELOCITY, wParam, 0);
        case WM_QUORVEL_TRAJ_PROGRESS:
            return Forward(WM_VIEW_UPLOAD_PROGRESS, wParam, lParam);
        case WM_QUORVEL_TRAJ_UPLOADED:
            return Forward(WM_VIEW_UPLOAD_COMPLETE, 0, 0);
        case WM_QUORVEL_TRAJ_FINISHED:
            return Forward(WM_VIEW_TRAJ_FINISHED, 0, 0);
        case WM_QUORVEL_HOME_FINISHED:
            return Forward(WM_VIEW_HOME_FINISHED, 0, 0);
        default:
            return CWnd::WindowProc(message, wParam, lParam);
    }
}

LRESULT CMainFrame::Forward(UINT viewMessage, WPARAM wParam, LPARAM lParam) {
    if (m_view)
        m_view->SendMessage(viewMessage, wParam, lParam);
    return 0;
}

LRESULT CMainFrame::OnQuorvelError(WPARAM code, LPARAM text) {
    const std::wstring message = text ? reinterpret_cast<const wchar_t*>(text) : L"";
    switch (code) {
        case 0:
            ProgramLog().Log(Logging::Warning, message);
            // An armed unattended run reconnects instead; the caption bar says so.
            if (m_unattended && m_unattended->OnTimeout())
                break;
            if (!m_timeoutBoxOpen) {
                m_timeoutBoxOpen = true;
                Platform::ShowMessageBox(message, L"", MB_OK);
                m_timeoutBoxOpen = false;
            }
            break;
        case 1:
            ProgramLog().Log(Logging::Informational, message);
            break;
        case 2:
            ProgramLog().Log(Logging::Error, message);
            break;
        default:
            break;
    }
    ShowCaptionBar();
    return 0;
}

void CMainFrame::ShowCaptionBar() {
    if (m_captionBar)
        m_captionBar->show();
}

void CMainFrame::OnConnect() {
    CQuorvel* device = m_app.Device();
    if (!device || device->IsConnected())
        return;
    if (device->Connect())
        return;
    const CQuorvelSettings settings = device->GetSettings();
    ProgramLog().LogParts(Logging::Error, "Error opening the COM port (Port=", settings.nPort,
                          ",Baud=", settings.nBaud, ")");
    Platform::ShowMessageBox(L"Error opening the COM port (Port=" +
                                 std::to_wstring(settings.nPort) + L",Baud=" +
                                 std::to_wstring(settings.nBaud) + L")",
                             L"", MB_OK | MB_ICONWARNING);
}

void CMainFrame::OnDisconnect() {
    CQuorvel* device = m_app.Device();
    const bool reconnecting = m_unattended && m_unattended->Recovering();
    if (!device || (!device->IsConnected() && !reconnecting))
        return;
    if (!ConfirmEndOfUnattendedRun(kDisconnectArmedQuestion, "Disconnect"))
        return;
    if (m_unattended)
        m_unattended->EndByOperator();
    device->Disconnect();
}

bool CMainFrame::ConfirmEndOfUnattendedRun(const wchar_t* question, const char* action) {
    CQuorvel* device = m_app.Device();
    CHeliostatControlsDlg* heliostat = m_view ? m_view->HeliostatPanel() : nullptr;
    const bool reconnecting = m_unattended && m_unattended->Recovering();
    if (!device || (!device->IsConnected() && !reconnecting) || !heliostat)
        return true;
    const unsigned status = static_cast<unsigned>(device->GetStatus(1).to_ulong());
    const bool armed = reconnecting || heliostat->Workflow().MultiDay() ||
                       (status & Suntrack::HeliostatStatus::kBusy) != 0;
    if (!armed)
        return true;
    const bool goOn = Platform::ShowMessageBox(question, L"", MB_YESNO | MB_ICONQUESTION) == IDYES;
    ProgramLog().LogParts(Logging::Informational, action,
                          " while an unattended heliostat run was "
                          "armed: the operator chose to ",
                          goOn ? "go on and end the run." : "keep the run.");
    return goOn;
}

void CMainFrame::OnConnectionSettings() {
    CQuorvel* device = m_app.Device();
    if (!device)
        return;
    CQuorvelSettings settings = device->GetSettings();
    if (device->LaunchConnectionSettingsDlg(settings) == IDOK) {
        device->SetSettings(settings);
        m_app.OnConnectionSettingsConfirmed();
        m_app.SaveAllSettings();
    }
}

void CMainFrame::OnApplicationSettings() {
    CAppSettingsDlg dialog(m_app.Settings(), ProgramLog(), this);
    if (dialog.DoModal() != IDOK)
        return;
    m_app.Settings() = dialog.Settings();
    m_app.SaveAllSettings();
    OnApplicationLook(215u + static_cast<unsigned>(m_app.Settings().nAppStyle));
    ProgramLog().LogParts(Logging::Informational, "The logging ceiling has been changed to ",
                          m_app.Settings().nLogCeiling);
    CQuorvel::SetLogCeiling(m_app.Settings().nLogCeiling);
}

void CMainFrame::OnAlignmentCalibration() {
    // The dialog edits a copy of the data points; on OK they are stored and the alignment
    // is computed again.
    m_app.RunAlignmentCalibration(m_view);
}

void CMainFrame::OnOpenLogFile() {
    const std::wstring& path = m_app.LogPath();
    std::error_code ec;
    // A path that names nothing opens nothing; a folder path opens the folder.
    if (!path.empty() && std::filesystem::exists(std::filesystem::path(path), ec))
        Platform::OpenWithDesktop(std::filesystem::path(path));
}

void CMainFrame::OnFileOpen() {
    const QString path = QFileDialog::getOpenFileName(this, QString(), QString(),
                                                      QString::fromLatin1(CQuorvelDoc::kFilter));
    if (!path.isEmpty())
        m_app.OpenDocumentFile(path);
}

void CMainFrame::OnFileSave() {
    const QString path = QFileDialog::getSaveFileName(this, QString(), QString(),
                                                      QString::fromLatin1(CQuorvelDoc::kFilter));
    if (!path.isEmpty())
        m_app.Document().OnSaveDocument(path);
}

unsigned CMainFrame::Look() const {
    return m_app.Look();
}

void CMainFrame::OnApplicationLook(unsigned look) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_app.SetLook(look);
    m_lookColors = ColorsForLook(look);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, m_lookColors.frame);
    setPalette(pal);
    if (m_ribbon)
        m_ribbon->ApplyLook(m_lookColors);
    if (m_captionBar)
        m_captionBar->ApplyLook(m_lookColors.panelBottom, m_lookColors.panelBorder);
    update();
    ToolkitProfile::WriteInt(L"ApplicationLook", look);
    QApplication::restoreOverrideCursor();
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (!m_app.EndingWithoutOperator() &&
        !ConfirmEndOfUnattendedRun(kCloseArmedQuestion, "Closing the program")) {
        event->ignore();
        return;
    }
    // The operator's Close ends the run; an ending without the operator keeps it for the
    // next start.
    if (!m_app.EndingWithoutOperator() && m_unattended)
        m_unattended->EndByOperator();
    CQuorvel* device = m_app.Device();
    if (device && device->IsConnected())
        device->Disconnect();
    event->accept();
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent* event) {
    const auto urls = event->mimeData()->urls();
    if (!urls.isEmpty() && urls.front().isLocalFile())
        m_app.OpenDocumentFile(urls.front().toLocalFile());
}
