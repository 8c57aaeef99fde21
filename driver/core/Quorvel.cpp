// CQuorvel: construction and lifetime, connection and identification, motion and query
// commands, and the reply handlers. The trajectory operations are in QuorvelTrajectory.cpp.
#include "Quorvel.h"

#include <cmath>
#include <stdexcept>

#include "AckTexts.h"
#include "DllLog.h"
#include "ProtocolText.h"
#include "ReplyMailbox.h"
#include "SerialPort.h"
#include "platform/Event.h"
#include "platform/MessageBox.h"
#include "settings/SettingsStorage.h"
#include "settings/StorageDiagnostics.h"

using QuorvelDriver::DllLog;
using QuorvelDriver::FormatFixed;
using QuorvelDriver::kProductId;
using QuorvelDriver::ParseIdentification;
using QuorvelDriver::WidenAscii;

namespace {

bool AllFinite(std::initializer_list<double> values) {
    for (double v : values) {
        if (!std::isfinite(v))
            return false;
    }
    return true;
}

void LogSend(const std::string& command) {
    DllLog(Logging::Debug, L"Sending command - \"", WidenAscii(command), L"\"");
}

// A motion command "X(a,b[,c]<tail>)": its numbers with three decimals, `tail` before the
// closing bracket.
std::string MotionCommand(char name, std::initializer_list<double> values, const char* tail) {
    std::string command(1, name);
    command += '(';
    const char* separator = "";
    for (double v : values) {
        command += separator;
        command += FormatFixed(v, 3);
        separator = ",";
    }
    return command + tail + ")";
}

}  // namespace

CQuorvel::CQuorvel(CWnd* pOwner)
    : m_nPeriod(0),
      m_nStartIndex(0),
      m_pOwner(pOwner),
      m_pSerialPort(nullptr),
      m_bBusy(0),
      m_bConnected(0),
      m_bLoadOk(0),
      m_bPairOk(0),
      m_bInitOk(0),
      m_bUploaded(0),
      m_pPositionTarget(nullptr) {
    m_pMailbox = std::make_unique<QuorvelDriver::CReplyMailbox>();
    m_pSerialPort = new QuorvelDriver::CSerialPort(*m_pMailbox);
    // The device window: a hidden child of the owner, destroyed with it.
    SetParent(pOwner);
    SetWindowText(L"CQuorvel");
    m_hUploadCancel = std::make_unique<Platform::CEvent>(true, false);
    m_hStartCancel = std::make_unique<Platform::CEvent>(true, false);
    m_hLoadAck = std::make_unique<Platform::CEvent>(true, false);
    m_hPairAck = std::make_unique<Platform::CEvent>(true, false);
    m_hInitAck = std::make_unique<Platform::CEvent>(false, false);
    m_hLinkDown = std::make_unique<Platform::CEvent>(true, true);
}

CQuorvel::~CQuorvel() {
    // Wake every worker wait, let the workers finish (they may be sending notifications to
    // this thread, so it keeps pumping), then close the port.
    m_hLinkDown->Set();
    m_hUploadCancel->Set();
    m_hStartCancel->Set();
    JoinWorkers();
    if (IsWindowAlive())
        DestroyWindow();
    ClosePort();
    delete m_pSerialPort;
    m_pSerialPort = nullptr;
}

void CQuorvel::OnNcDestroy() {
    m_hLinkDown->Set();
    QuorvelDriver::CSerialPort* port = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_portPtrLock);
        port = m_pSerialPort;
        m_pSerialPort = nullptr;
    }
    delete port;  // stops the monitor thread, closes the device, frees the queue
    m_bConnected = 0;
}

LRESULT CQuorvel::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_NCDESTROY:
            OnNcDestroy();
            return 0;
        case WM_QUORVEL_HOME:
            return OnQuorvelHome(wParam, lParam);
        case WM_QUORVEL_ID:
            return OnQuorvelId(wParam, lParam);
        case WM_QUORVEL_ID_CONNECT:
            return OnQuorvelIdConnect(wParam, lParam);
        case WM_QUORVEL_MOVE:
            // Move replies are not examined: "!P:1" reports the end of a move.
            m_pMailbox->Adopt(wParam);
            return 0;
        case WM_QUORVEL_STATUS:
            return OnQuorvelStatus(wParam, lParam);
        case WM_QUORVEL_GET_POSITION:
            return OnQuorvelGetPosition(wParam, lParam);
        case WM_QUORVEL_GET_POSITION_CUSTOM:
            return OnQuorvelGetPositionCustom(wParam, lParam);
        case WM_QUORVEL_GET_VELOCITY:
            return OnQuorvelGetVelocity(wParam, lParam);
        case WM_QUORVEL_STOP:
            return OnQuorvelStop(wParam, lParam);
        case WM_QUORVEL_STOP_TRAJ1:
            return OnQuorvelStopTraj1(wParam, lParam);
        case WM_QUORVEL_STOP_TRAJ2:
            return OnQuorvelStopTraj2(wParam, lParam);
        case WM_QUORVEL_TRAJ_LOAD:
            return OnQuorvelTrajLoad(wParam, lParam);
        case WM_QUORVEL_TRAJ_PAIR:
            return OnQuorvelTrajPair(wParam, lParam);
        case WM_QUORVEL_TRAJECTORY:
            return OnQuorvelTrajectory(wParam, lParam);
        case WM_QUORVEL_TRAJECTORY_GO:
            return OnQuorvelTrajectoryGo(wParam, lParam);
        case WM_QUORVEL_SET_OFFSET:
            return OnQuorvelSetOffset(wParam, lParam);
        case WM_COMM_RXSTRING:
            return OnCommRxstring(wParam, lParam);
        case WM_COMM_PORT_FAILURE:
            return OnCommPortFailure(wParam, lParam);
        default:
            return CWnd::WindowProc(message, wParam, lParam);
    }
}

// ---- helpers ---------------------------------------------------------------------------

void CQuorvel::QueueCommand(const char* pszCommand, UINT nReplyMessage) {
    std::lock_guard<std::mutex> lock(m_portPtrLock);
    if (m_pSerialPort != nullptr)
        m_pSerialPort->QueueCommand(pszCommand, nReplyMessage);
}

void CQuorvel::ClosePort() {
    m_hLinkDown->Set();
    if (m_pSerialPort != nullptr)
        m_pSerialPort->Close();
}

LRESULT CQuorvel::Notify(UINT message, WPARAM wParam, LPARAM lParam) {
    if (m_pOwner == nullptr)
        return 0;
    return m_pOwner->SendMessage(message, wParam, lParam);
}

void CQuorvel::ReportError(CWnd* pReceiver, int nCode, const wchar_t* pszText) {
    if (pReceiver == nullptr)
        return;
    pReceiver->SendMessage(WM_QUORVEL_ERROR, static_cast<WPARAM>(nCode),
                           reinterpret_cast<LPARAM>(pszText));
}

void CQuorvel::NotifyStatus(const std::bitset<7>& snapshot) {
    // Receivers copy what they need during the call; a snapshot keeps a worker thread's next
    // change from racing with the receiver's read.
    std::bitset<7> copy = snapshot;
    Notify(WM_QUORVEL_STATUS, reinterpret_cast<WPARAM>(&copy), 0);
}

bool CQuorvel::KeepPendingStartShown(std::bitset<7>& status) {
    if (!m_bStartPending || status.test(WAITING))
        return false;
    status.reset(IDLE);
    status.set(WAITING);
    return true;
}

void CQuorvel::WarnPendingStartKept() {
    DllLog(Logging::Warning,
           L"A timed trajectory start is still waiting; it stays in the status until it is "
           L"sent or cancelled.");
}

void CQuorvel::SetStatus(unsigned long nBit, int bExclusive) {
    if (nBit > 6)
        throw std::out_of_range("invalid bitset<N> position");
    std::bitset<7> snapshot;
    bool kept = false;
    {
        std::lock_guard<std::mutex> lock(m_statusLock);
        if (m_status.test(IDLE) || bExclusive)
            m_status.reset();
        m_status.set(nBit);
        kept = KeepPendingStartShown(m_status);
        snapshot = m_status;
    }
    if (kept)
        WarnPendingStartKept();
    NotifyStatus(snapshot);
}

void CQuorvel::SetStatus(std::bitset<7> status) {
    bool kept = false;
    {
        std::lock_guard<std::mutex> lock(m_statusLock);
        kept = KeepPendingStartShown(status);
        m_status = status;
    }
    if (kept)
        WarnPendingStartKept();
    NotifyStatus(status);
}

void CQuorvel::ClearStatus(unsigned long nBit) {
    if (nBit > 6)
        throw std::out_of_range("invalid bitset<N> position");
    std::bitset<7> snapshot;
    {
        std::lock_guard<std::mutex> lock(m_statusLock);
        m_status.reset(nBit);
        if (m_status.none())
            m_status.set(IDLE);
        snapshot = m_status;
    }
    NotifyStatus(snapshot);
}

bool CQuorvel::CheckAcknowledged(const CStringW& reply, LPARAM timedOut,
                                 const QuorvelDriver::SAckTexts& texts) {
    if (timedOut) {
        DllLog(Logging::Warning, texts.timedOutLog);
        ReportError(m_pOwner, 0, texts.timedOutError);
        return false;
    }
    if (reply != L"1") {
        DllLog(Logging::Warning, texts.invalidLog, reply, L"\").");
        ReportError(m_pOwner, texts.invalidCode, texts.invalidError);
        return false;
    }
    return true;
}

// ---- connection --------------------------------------------------------------------------

int CQuorvel::Connect() {
    if (m_pSerialPort == nullptr)
        return 0;
    if (!m_pSerialPort->Open(this, m_settings.nPort, m_settings.nBaud))
        return 0;
    if (!m_pSerialPort->StartMonitor())
        return 0;
    m_hLinkDown->Reset();
    QueueCommand("I?", WM_QUORVEL_ID_CONNECT);
    return 1;
}

int CQuorvel::Disconnect() {
    ClosePort();
    m_bConnected = 0;
    std::lock_guard<std::mutex> lock(m_statusLock);
    m_status.reset();
    return 1;
}

int CQuorvel::IsConnected() {
    return m_bConnected.load();
}

int CQuorvel::GetIdentification() {
    if (!m_bConnected)
        return 0;
    LogSend("I?");
    QueueCommand("I?", WM_QUORVEL_ID);
    return 1;
}

IdStruct CQuorvel::ParseIdString(CStringW strReply) {
    return ParseIdentification(strReply);
}

LRESULT CQuorvel::OnQuorvelIdConnect(WPARAM wParam, LPARAM lParam) {
    const std::unique_ptr<CStringW> reply = m_pMailbox->Adopt(wParam);
    if (lParam) {
        DllLog(Logging::Warning, L"Timed out getting identification string after connecting.");
        ReportError(m_pOwner, 0, L"Timed out getting identification string.");
        return 0;
    }
    DllLog(Logging::Debug, L"Identification string received: \"", *reply, L"\"");
    const IdStruct id = ParseIdString(*reply);
    if (id.strProductId == kProductId) {
        DllLog(Logging::Informational, L"A Quorvel has been successfully detected.");
        m_bConnected = 1;
        GetStatus(0);
        return 0;
    }
    DllLog(Logging::Debug, L"Wrong product ID (\"", id.strProductId,
           L"\") in identification string.");
    ClosePort();
    DllLog(Logging::Debug, L"Serial port uninitialized.");
    ReportError(m_pOwner, 1, L"Quorvel not found on COM port.");
    return 0;
}

LRESULT CQuorvel::OnQuorvelId(WPARAM wParam, LPARAM lParam) {
    const std::unique_ptr<CStringW> reply = m_pMailbox->Adopt(wParam);
    auto id = std::make_unique<IdStruct>();
    if (!lParam)
        *id = ParseIdString(*reply);
    if (m_pOwner == nullptr)
        return 0;
    // The receiver owns the record.
    m_pOwner->SendMessage(WM_QUORVEL_ID, reinterpret_cast<WPARAM>(id.release()), lParam ? 1 : 0);
    return 0;
}

LRESULT CQuorvel::OnCommPortFailure(WPARAM wParam, LPARAM lParam) {
    const std::unique_ptr<CStringW> text = m_pMailbox->Adopt(wParam);
    if (lParam) {
        // The device has gone and its monitor has stopped: release the port so that a later
        // Connect starts afresh.
        const bool wasConnected = m_bConnected.exchange(0) != 0;
        ClosePort();
        std::bitset<7> emptied;
        {
            std::lock_guard<std::mutex> lock(m_statusLock);
            m_status.reset();
        }
        DllLog(Logging::Error, L"Serial port closed after a device failure; not connected.");
        if (wasConnected)
            NotifyStatus(emptied);
    }
    Platform::ShowMessageBox(*text, L"Application Error", MB_OK | MB_ICONERROR);
    return 0;
}

// ---- motion and queries ----------------------------------------------------------------

int CQuorvel::Home() {
    LogSend("H!");
    QueueCommand("H!", WM_QUORVEL_HOME);
    return 1;
}

int CQuorvel::MoveAbs(double dAzimuth, double dZenith) {
    return SendMotion('P', {dAzimuth, dZenith}, "", MOVING);
}

int CQuorvel::MoveAbs(double dAzimuth, double dZenith, double dVelocity) {
    return SendMotion('P', {dAzimuth, dZenith, dVelocity}, "", MOVING);
}

int CQuorvel::MoveRel(double dAzimuth, double dZenith, double dVelocity) {
    return SendMotion('P', {dAzimuth, dZenith, dVelocity}, ",1", MOVING);
}

int CQuorvel::MoveVel(double dAzimuthRate, double dZenithRate) {
    return SendMotion('V', {dAzimuthRate, dZenithRate}, "", JOGGING);
}

int CQuorvel::SendMotion(char name, std::initializer_list<double> values, const char* tail,
                         unsigned long nStatusBit) {
    if (m_bBusy || !m_bConnected || !AllFinite(values))
        return 0;
    const std::string command = MotionCommand(name, values, tail);
    SetStatus(nStatusBit, 0);
    LogSend(command);
    QueueCommand(command.c_str(), WM_QUORVEL_MOVE);
    return 1;
}

int CQuorvel::Stop(QuorvelStopMode eMode) {
    if (m_bBusy || !m_bConnected)
        return 0;
    std::string command;
    UINT reply = 0;
    switch (static_cast<int>(eMode)) {
        case StopAll:
            command = "S!";
            reply = WM_QUORVEL_STOP;
            break;
        case StopMotion:
            command = "S1!";
            reply = WM_QUORVEL_STOP_TRAJ1;
            break;
        case StopTrajectory:
            command = "S2!";
            reply = WM_QUORVEL_STOP_TRAJ2;
            break;
        default:
            DllLog(Logging::Debug, L"Invalid stop mode requested (", static_cast<int>(eMode), L")");
            return 0;
    }
    QueueCommand(command.c_str(), reply);
    LogSend(command);
    return 1;
}

int CQuorvel::SetOffset(double dAzimuth, double dZenith) {
    if (m_bBusy || !m_bConnected || !AllFinite({dAzimuth, dZenith}))
        return 0;
    // The offset field is an integer of at least four digits; a fractional offset is rounded
    // to the nearest whole degree, and out-of-range values are refused.
    if (std::fabs(dAzimuth) > 1e9 || std::fabs(dZenith) > 1e9)
        return 0;
    const std::string command = "O(" + QuorvelDriver::FormatInt4(std::llround(dAzimuth)) + "," +
                                QuorvelDriver::FormatInt4(std::llround(dZenith)) + ")";
    LogSend(command);
    QueueCommand(command.c_str(), WM_QUORVEL_SET_OFFSET);
    return 1;
}

int CQuorvel::GetPosition(CWnd* pTarget) {
    if (!m_bConnected)
        return 0;
    if (m_bBusy && GetStatus(1) != std::bitset<7>(1u << IDLE))
        return 0;
    if (pTarget != nullptr) {
        m_pPositionTarget = pTarget;
        LogSend("P?");
        QueueCommand("P?", WM_QUORVEL_GET_POSITION_CUSTOM);
    } else {
        QueueCommand("P?", WM_QUORVEL_GET_POSITION);
    }
    return 1;
}

int CQuorvel::GetVelocity() {
    if (!m_bConnected)
        return 0;
    if (m_bBusy && GetStatus(1) != std::bitset<7>(1u << IDLE))
        return 0;
    QueueCommand("V?", WM_QUORVEL_GET_VELOCITY);
    return 1;
}

std::bitset<7> CQuorvel::GetStatus(int bCached) {
    std::bitset<7> copy;
    {
        std::lock_guard<std::mutex> lock(m_statusLock);
        if (!bCached)
            m_status.reset();
        copy = m_status;
    }
    if (!bCached)
        QueueCommand("S?", WM_QUORVEL_STATUS);
    return copy;
}

LRESULT CQuorvel::OnQuorvelHome(WPARAM wParam, LPARAM lParam) {
    const std::unique_ptr<CStringW> reply = m_pMailbox->Adopt(wParam);
    if (CheckAcknowledged(*reply, lParam, QuorvelDriver::kHomeAck)) {
        SetStatus(HOMING, 1);
    }
    return 0;
}

LRESULT CQuorvel::OnQuorvelStatus(WPARAM wParam, LPARAM lParam) {
    const std::unique_ptr<CStringW> reply = m_pMailbox->Adopt(wParam);
    if (lParam) {
        DllLog(Logging::Warning, L"Status command timed out.");
        ReportError(m_pOwner, 0, L"Status command timed out.");
        return 0;
    }
    const unsigned value = static_cast<unsigned>(QuorvelDriver::ParseDecimalInt(*reply));
    SetStatus(std::bitset<7>(value & 0x7Fu));
    return 0;
}

void CQuorvel::PositionReply(CWnd* pReceiver, const CStringW& reply, LPARAM timedOut) {
    if (timedOut) {
        DllLog(Logging::Warning, L"Get position command timed out.");
        ReportError(pReceiver, 0, L"Get position command timed out.");
        return;
    }
    double values[2] = {0, 0};
    if (!QuorvelDriver::ParseDoublePair(reply, values[0], values[1])) {
        DllLog(Logging::Warning, L"Problem parsing the response into two position values (\"",
               reply, L"\")");
        return;
    }
    if (pReceiver != nullptr) {
        pReceiver->SendMessage(WM_QUORVEL_GET_POSITION, reinterpret_cast<WPARAM>(values), 0);
    }
}

LRESULT CQuorvel::OnQuorvelGetPosition(WPARAM wParam, LPARAM lParam) {
    const std::unique_ptr<CStringW> reply = m_pMailbox->Adopt(wParam);
    PositionReply(m_pOwner, *reply, lParam);
    return 0;
}

LRESULT CQuorvel::OnQuorvelGetPositionCustom(WPARAM wParam, LPARAM lParam) {
    const std::unique_ptr<CStringW> reply = m_pMailbox->Adopt(wParam);
    PositionReply(m_pPositionTarget, *reply, lParam);
    return 0;
}

LRESULT CQuorvel::OnQuorvelGetVelocity(WPARAM wParam, LPARAM lParam) {
    const std::unique_ptr<CStringW> reply = m_pMailbox->Adopt(wParam);
    if (lParam) {
        DllLog(Logging::Warning, L"Get velocity command timed out.");
        ReportError(m_pOwner, 0, L"Get velocity command timed out.");
        return 0;
    }
    double values[2] = {0, 0};
    if (!QuorvelDriver::ParseDoublePair(*reply, values[0], values[1])) {
        DllLog(Logging::Warning, L"Problem parsing the response into two velocity values (\"",
               *reply, L"\")");
        return 0;
    }
    Notify(WM_QUORVEL_GET_VELOCITY, reinterpret_cast<WPARAM>(values), 0);
    return 0;
}

LRESULT CQuorvel::OnQuorvelStop(WPARAM wParam, LPARAM lParam) {
    const std::unique_ptr<CStringW> reply = m_pMailbox->Adopt(wParam);
    if (CheckAcknowledged(*reply, lParam, QuorvelDriver::kStopAck)) {
        SetStatus(IDLE, 1);
    }
    return 0;
}

LRESULT CQuorvel::OnQuorvelStopTraj1(WPARAM wParam, LPARAM lParam) {
    const std::unique_ptr<CStringW> reply = m_pMailbox->Adopt(wParam);
    if (CheckAcknowledged(*reply, lParam, QuorvelDriver::kStopAck)) {
        ClearStatus(MOVING);
        ClearStatus(JOGGING);
    }
    return 0;
}

LRESULT CQuorvel::OnQuorvelStopTraj2(WPARAM wParam, LPARAM lParam) {
    const std::unique_ptr<CStringW> reply = m_pMailbox->Adopt(wParam);
    if (CheckAcknowledged(*reply, lParam, QuorvelDriver::kStopAck)) {
        ClearStatus(TRAJECTORY);
    }
    return 0;
}

LRESULT CQuorvel::OnQuorvelSetOffset(WPARAM wParam, LPARAM lParam) {
    const std::unique_ptr<CStringW> reply = m_pMailbox->Adopt(wParam);
    CheckAcknowledged(*reply, lParam, QuorvelDriver::kSetOffsetAck);
    return 0;
}

LRESULT CQuorvel::OnCommRxstring(WPARAM wParam, LPARAM /*lParam: not consulted*/) {
    const std::unique_ptr<CStringW> text = m_pMailbox->Adopt(wParam);
    if (*text == L"H:1") {
        DllLog(Logging::Debug, L"Homing routine finished.");
        Notify(WM_QUORVEL_HOME, 0, 0);
        // The busy flag belongs to the upload and start threads, which clear it when they
        // end: a homing that ends while a start waits for its instant must not make that
        // start look finished (a new start would then take its place under it).
        ClearStatus(HOMING);
        Notify(WM_QUORVEL_HOME_FINISHED, 0, 0);
    } else if (*text == L"P:1") {
        DllLog(Logging::Debug, L"\"P:1\" response received.");
        ClearStatus(MOVING);
    } else if (*text == L"T:1") {
        DllLog(Logging::Debug, L"\"T:1\" response received.");
        ClearStatus(TRAJECTORY);
        Notify(WM_QUORVEL_TRAJ_FINISHED, 0, 0);
    } else {
        DllLog(Logging::Informational, L"Unexpected response received (\"", *text, L"\")");
    }
    return 0;
}

// ---- settings and logging ----------------------------------------------------------------

CQuorvelSettings CQuorvel::GetSettings() {
    return m_settings;
}

void CQuorvel::SetSettings(CQuorvelSettings settings) {
    m_settings = settings;
}

namespace {
// The GUI's connection settings dialog; set once at start-up, read on the GUI thread.
std::atomic<int (*)(CQuorvelSettings&)> g_pfnConnectionSettingsDlg{nullptr};
}  // namespace

void CQuorvel::SetConnectionSettingsDlgHook(int (*pfnRunDialog)(CQuorvelSettings&)) {
    g_pfnConnectionSettingsDlg.store(pfnRunDialog);
}

int CQuorvel::LaunchConnectionSettingsDlg(CQuorvelSettings& settings) {
    int (*const pfnRunDialog)(CQuorvelSettings&) = g_pfnConnectionSettingsDlg.load();
    if (!pfnRunDialog)
        return IDCANCEL;
    CQuorvelSettings working(settings);
    const int result = pfnRunDialog(working);
    settings = working;
    return result == IDOK ? IDOK : IDCANCEL;
}

namespace {
// What the program's storage could not read or write for the connection settings goes into
// the library's own log lines ("QuorvelDll: Settings: ...").
Zezezezo::CStorageDiagnosticsScope LogStorageProblems() {
    return Zezezezo::CStorageDiagnosticsScope(
        [](const std::wstring& line) { QuorvelDriver::DllLog(Logging::Warning, line); });
}
}  // namespace

void CQuorvel::LoadSettings(Zezezezo::CSettingsStorage& storage) {
    const auto diagnostics = LogStorageProblems();
    m_settings.Load(&storage);
}

void CQuorvel::SaveSettings(Zezezezo::CSettingsStorage& storage) {
    const auto diagnostics = LogStorageProblems();
    m_settings.Save(&storage);
}

std::vector<unsigned int> CQuorvel::EnumerateSerialPorts() {
    return QuorvelDriver::EnumeratePresentPorts();
}

void CQuorvel::SetLogfilePath(const wchar_t* pszPath) {
    const std::wstring path = pszPath ? pszPath : L"";
    if (Logging::CLogger* logger = QuorvelDriver::DllLogger())
        logger->SetFilePath(path);
    DllLog(Logging::Debug, L"Logfile path set to \"", path, L"\"");
}

void CQuorvel::SetLogCeiling(int nCeiling) {
    QuorvelDriver::SetDllLogCeiling(nCeiling);
    DllLog(Logging::Debug, L"Logging ceiling set to ", nCeiling);
}
