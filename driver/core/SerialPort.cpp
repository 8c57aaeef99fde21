#include "SerialPort.h"

#include <cwchar>

#include "DllLog.h"
#include "QuorvelMessages.h"
#include "ReplyMailbox.h"
#include "platform/MessageBox.h"
#include "platform/TextConvert.h"
#include "platform/Wnd.h"

namespace QuorvelDriver {

namespace {

constexpr char kCarriageReturn = 13;
constexpr int kReplyTimeoutMs = 1000;

std::chrono::milliseconds CeilMs(std::chrono::steady_clock::duration d) {
    if (d.count() <= 0)
        return std::chrono::milliseconds(0);
    return std::chrono::ceil<std::chrono::milliseconds>(d);
}

}  // namespace

std::wstring FormatPortError(const SerialFailure& failure, UINT nPort) {
    std::wstring text = L"WARNING:  ";
    text += failure.operation;
    text += L" Failed with the following error: \n";
    text += failure.systemText;
    text += L"\nPort: ";
    text += std::to_wstring(static_cast<int>(nPort));
    text += L"\n";
    return text;
}

CSerialPort::CSerialPort(CReplyMailbox& mailbox) : m_mailbox(mailbox) {}

CSerialPort::~CSerialPort() {
    Close();
}

int CSerialPort::Open(CWnd* pOwner, UINT nPort, DWORD nBaud) {
    StopMonitor();
    SerialFailure failure;
    OpenOutcome outcome = OpenOutcome::Opened;
    bool opened = true;
    bool configured = true;
    {
        std::lock_guard<std::mutex> port(m_portLock);
        m_pOwner = pOwner;
        m_nPort = nPort;
        m_device.Close();
        outcome = m_device.Open(nPort, failure);
        opened = outcome == OpenOutcome::Opened;
        if (!opened && failure.operation.empty())
            return 0;
        if (opened) {
            m_device.ClearShutdown();
            configured = m_device.Configure(nBaud, failure);
            SerialFailure ignored;
            m_device.Purge(ignored);
        }
    }
    if (outcome == OpenOutcome::NotPermitted) {
        // The operator can fix this one: the box says what to do rather than quoting the
        // system's "Permission denied".
        DllLog(Logging::Error, failure.systemText);
        Platform::ShowMessageBox(failure.systemText, L"Application Error", MB_OK | MB_ICONERROR);
        return 0;
    }
    if (!opened) {
        // Something that is not a serial device: named in the box, and nothing is opened.
        Platform::ShowMessageBox(FormatPortError(failure, nPort), L"Application Error",
                                 MB_OK | MB_ICONERROR);
        return 0;
    }
    {
        std::lock_guard<std::mutex> queue(m_queueLock);
        m_bReplyOutstanding = false;
        m_bDiscardingLine = false;
        m_rx.clear();
    }
    if (!configured) {
        // The port stays open: the line may still work with the settings it had.
        Platform::ShowMessageBox(FormatPortError(failure, nPort), L"Application Error",
                                 MB_OK | MB_ICONERROR);
    }
    return 1;
}

bool CSerialPort::StartMonitor() {
    StopMonitor();
    {
        std::lock_guard<std::mutex> port(m_portLock);
        if (!m_device.IsOpen())
            return false;
    }
    m_bMonitorAlive = true;
    try {
        m_thread = std::thread(&CSerialPort::MonitorThread, this);
    } catch (const std::system_error&) {
        m_bMonitorAlive = false;
        return false;
    }
    return true;
}

void CSerialPort::StopMonitor() {
    if (m_thread.joinable()) {
        m_device.RequestShutdown();
        m_thread.join();
        m_device.ClearShutdown();
    }
    m_bMonitorAlive = false;
}

void CSerialPort::Close() {
    StopMonitor();
    {
        std::lock_guard<std::mutex> port(m_portLock);
        m_device.Close();
    }
    std::lock_guard<std::mutex> queue(m_queueLock);
    m_queue.clear();
    m_rx.clear();
    m_bReplyOutstanding = false;
    m_bDiscardingLine = false;
}

void CSerialPort::QueueCommand(const char* pszCommand, UINT nReplyMessage) {
    auto command = std::make_unique<SerialCommand>();
    command->strCommand = std::string(pszCommand) + kCarriageReturn;
    command->nReplyMessage = nReplyMessage;
    command->nTimeoutMs = kReplyTimeoutMs;
    command->deadline = Clock::now();
    {
        std::lock_guard<std::mutex> queue(m_queueLock);
        m_queue.push_back(std::move(command));
    }
    m_device.RequestWrite();
}

UINT CSerialPort::MonitorThread(void* pPort) {
    auto* self = static_cast<CSerialPort*>(pPort);
    const UINT result = self->Monitor();
    // On Windows an overlapped operation belongs to the thread that started it: this thread
    // ends its comm-event wait before it goes, so that no late completion writes into a
    // device that has been closed and freed meanwhile.
    std::lock_guard<std::mutex> port(self->m_portLock);
    self->m_device.EndPendingIo();
    return result;
}

UINT CSerialPort::Monitor() {
    {
        std::lock_guard<std::mutex> port(m_portLock);
        SerialFailure ignored;
        m_device.Purge(ignored);
    }
    for (;;) {
        bool outstanding = false;
        bool wantWrite = false;
        Clock::time_point deadline{};
        {
            std::lock_guard<std::mutex> queue(m_queueLock);
            outstanding = m_bReplyOutstanding && !m_queue.empty();
            if (outstanding)
                deadline = m_queue.front()->deadline;
            wantWrite = WriteWanted();
        }
        // While a reply is outstanding the deadline bounds the wait and write requests are
        // not looked at; with a command ready to go, input still comes first.
        std::optional<std::chrono::milliseconds> limit;
        if (outstanding) {
            limit = CeilMs(deadline - Clock::now());
        } else if (wantWrite) {
            limit = std::chrono::milliseconds(0);
        }
        SerialFailure failure;
        bool ok = true;
        switch (m_device.Wait(limit, !outstanding, failure)) {
            case WaitOutcome::Shutdown:
                m_bMonitorAlive = false;
                return 100;
            case WaitOutcome::Failed:
                ok = false;
                break;
            case WaitOutcome::Input:
                ok = ServiceReceive(failure);
                // A device that never stops sending must not keep commands from being
                // written: input has had its turn, now the writer has its.
                if (ok)
                    ok = WriteIfWanted(failure);
                break;
            case WaitOutcome::Woken:
                // Input was not waiting when the request woke us: write straight away
                // instead of going round the loop for another look at the port.
                ok = WriteIfWanted(failure);
                break;
            case WaitOutcome::TimedOut:
                if (outstanding) {
                    std::lock_guard<std::mutex> queue(m_queueLock);
                    ExpireIfDue(Clock::now());
                } else if (wantWrite) {
                    ok = ServiceWrite(failure);
                }
                break;
        }
        if (!ok) {
            // The device has gone (or the line is unusable): report it once and stop instead
            // of spinning on a dead descriptor. The outstanding command did not time out, so
            // it is not answered with one: the owner learns of the failure first and only, and
            // closes the port, which wakes whoever waits for an acknowledgement.
            ReportFailure(failure, true);
            m_bMonitorAlive = false;
            return 101;
        }
    }
}

bool CSerialPort::WriteWanted() const {
    // A placeholder alone waits at the head of the queue until a real command follows it.
    if (m_bReplyOutstanding)
        return false;
    for (const auto& command : m_queue) {
        if (!command->strCommand.empty())
            return true;
    }
    return false;
}

bool CSerialPort::WriteIfWanted(SerialFailure& failure) {
    bool write = false;
    {
        std::lock_guard<std::mutex> queue(m_queueLock);
        write = WriteWanted();
    }
    return !write || ServiceWrite(failure);
}

bool CSerialPort::ServiceReceive(SerialFailure& failure) {
    std::string bytes;
    bool ok = true;
    {
        std::lock_guard<std::mutex> port(m_portLock);
        ok = m_device.ReadAvailable(bytes, failure);
    }
    std::lock_guard<std::mutex> queue(m_queueLock);
    for (char b : bytes)
        HandleByte(b);
    ExpireIfDue(Clock::now());
    return ok;
}

void CSerialPort::HandleByte(char b) {
    if (m_queue.empty()) {
        // Bytes with nothing queued: a placeholder command gives them a line to belong to.
        auto placeholder = std::make_unique<SerialCommand>();
        placeholder->nReplyMessage = WM_COMM_RXSTRING;
        placeholder->nTimeoutMs = kReplyTimeoutMs;
        placeholder->deadline = Clock::now() + std::chrono::milliseconds(kReplyTimeoutMs);
        m_queue.push_back(std::move(placeholder));
    }
    SerialCommand& front = *m_queue.front();
    if (b == front.cTerminator) {
        if (m_bDiscardingLine) {
            m_bDiscardingLine = false;
            m_rx.clear();
            return;
        }
        if (!m_rx.empty() && m_rx[0] == '!') {
            Post(WM_COMM_RXSTRING, m_rx.substr(1), 0);
            m_rx.clear();
            return;
        }
        if (!m_bReplyOutstanding && !front.strCommand.empty()) {
            // A line that arrived before the front command was written cannot be its reply
            // (typically the late answer to a command that has timed out).
            DllLog(Logging::Debug, L"Discarded a line received before its command was sent (\"",
                   Platform::WidenBytes(m_rx), L"\").");
            m_rx.clear();
            return;
        }
        if (--front.nTerminatorCount <= 0)
            CompleteFront(false);
        return;
    }
    if (m_bDiscardingLine)
        return;
    if (m_rx.size() >= kMaxLineBytes) {
        DllLog(Logging::Warning, L"Discarded ", static_cast<unsigned long long>(m_rx.size() + 1),
               L" bytes received without a carriage return on COM", m_nPort.load(),
               L" (a reply line is at most ", static_cast<unsigned long long>(kMaxLineBytes),
               L" bytes).");
        m_rx.clear();
        m_bDiscardingLine = true;
        return;
    }
    m_rx.push_back(b);
}

void CSerialPort::CompleteFront(bool timedOut) {
    std::unique_ptr<SerialCommand> command = std::move(m_queue.front());
    m_queue.pop_front();
    m_bReplyOutstanding = false;
    Post(command->nReplyMessage, m_rx, timedOut ? 1 : 0);
    m_rx.clear();
}

void CSerialPort::ExpireIfDue(Clock::time_point now) {
    if (!m_bReplyOutstanding || m_queue.empty())
        return;
    SerialCommand& front = *m_queue.front();
    if (now < front.deadline)
        return;
    if (front.nRetries > 0) {
        --front.nRetries;
        m_bReplyOutstanding = false;  // the writer sends it again
        m_rx.clear();
        return;
    }
    CompleteFront(true);
}

bool CSerialPort::ServiceWrite(SerialFailure& failure) {
    std::lock_guard<std::mutex> port(m_portLock);
    // An event line ("!H:1", "!T:1") arrives byte by byte on a real wire and may be half in
    // when a command is due: its rest must not be purged nor its start cleared, or the event
    // is lost for good (an unattended run then waits for the end of homing for ever).
    bool eventArriving = false;
    {
        std::lock_guard<std::mutex> queue(m_queueLock);
        eventArriving = !m_rx.empty() && m_rx[0] == '!' && !m_bDiscardingLine;
    }
    // Otherwise unread input and unsent output are discarded before every command.
    if (!eventArriving && !m_device.Purge(failure))
        return false;
    std::string text;
    int timeoutMs = kReplyTimeoutMs;
    {
        std::lock_guard<std::mutex> queue(m_queueLock);
        if (m_queue.empty())
            return true;
        SerialCommand& front = *m_queue.front();
        m_bReplyOutstanding = true;
        if (front.strCommand.empty())
            return true;  // placeholder: its deadline stays
        if (!eventArriving) {
            m_rx.clear();
            m_bDiscardingLine = false;
        }
        text = front.strCommand;
        timeoutMs = front.nTimeoutMs;
    }
    const bool ok = m_device.Write(text, std::chrono::milliseconds(timeoutMs), failure);
    std::lock_guard<std::mutex> queue(m_queueLock);
    if (!m_queue.empty()) {
        m_queue.front()->deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    }
    return ok;
}

void CSerialPort::Post(UINT message, const std::string& bytes, LPARAM lParam) {
    m_mailbox.Post(m_pOwner.load(), message, Platform::WidenBytes(bytes), lParam);
}

void CSerialPort::ReportFailure(const SerialFailure& failure, bool fatal) {
    DllLog(Logging::Error, L"Serial port COM", m_nPort.load(), L": ", failure.operation,
           L" failed (", failure.systemText, L")",
           fatal ? L"; the port is no longer monitored." : L".");
    m_mailbox.Post(m_pOwner.load(), WM_COMM_PORT_FAILURE, FormatPortError(failure, m_nPort.load()),
                   fatal ? 1 : 0);
}

}  // namespace QuorvelDriver
