// CSerialPort: the connection to the instrument. A first-in first-out queue of command lines,
// written one at a time by a monitor thread; each reply line (or its time-out) is posted to
// the device window under the command's reply id, and lines beginning "!" go out as
// WM_COMM_RXSTRING. At most one command is outstanding at any time.
#pragma once

#include <atomic>
#include <chrono>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "SerialDevice.h"
#include "platform/WinTypes.h"

class CWnd;

namespace QuorvelDriver {

class CReplyMailbox;

// One queued command line.
struct SerialCommand {
    std::string strCommand;    // text followed by one carriage return; empty: placeholder
    UINT nReplyMessage = 0;    // message posted with the reply
    char cTerminator = 13;     // byte that ends a reply line
    int nTerminatorCount = 1;  // terminators still expected
    int nTimeoutMs = 1000;     // reply time-out
    // Absolute reply deadline on the monotonic clock: a test that replaces the process clock
    // with a fast or frozen one must not change how long the instrument has to answer.
    std::chrono::steady_clock::time_point deadline;
    int nRetries = 0;  // writes after a time-out before it is reported
};

class CSerialPort {
public:
    // Longest reply line kept; a longer line without a carriage return is discarded so that a
    // babbling device cannot exhaust memory.
    static constexpr std::size_t kMaxLineBytes = 4096;

    explicit CSerialPort(CReplyMailbox& mailbox);
    virtual ~CSerialPort();
    CSerialPort(const CSerialPort&) = delete;
    CSerialPort& operator=(const CSerialPort&) = delete;

    // Opens COM `nPort` at `nBaud` for `pOwner`. 1 when the device opened (a failed
    // configuration step is shown in an error box and still counts as opened), 0 when not.
    // GUI thread; stops a running monitor thread first.
    int Open(CWnd* pOwner, UINT nPort, DWORD nBaud);
    // Starts the monitor thread; false when it cannot be created or the port is not open.
    bool StartMonitor();
    // The thread function; returns 100 on shutdown, 101 when the device has failed.
    static UINT MonitorThread(void* pPort);
    // Appends a command; any thread. Commands queued while the port is closed wait for the
    // next Open and StartMonitor.
    void QueueCommand(const char* pszCommand, UINT nReplyMessage);
    // Stops and joins the monitor thread, closes the device and discards every queued
    // command. GUI thread.
    void Close();

    bool IsMonitoring() const { return m_bMonitorAlive.load(); }
    UINT PortNumber() const { return m_nPort.load(); }

private:
    using Clock = std::chrono::steady_clock;

    void StopMonitor();
    UINT Monitor();
    // Returns false when the device has failed.
    bool ServiceReceive(SerialFailure& failure);
    bool ServiceWrite(SerialFailure& failure);
    bool WriteIfWanted(SerialFailure& failure);  // no lock held
    bool WriteWanted() const;                    // queue lock held
    void HandleByte(char b);                     // queue lock held
    void CompleteFront(bool timedOut);           // queue lock held
    void ExpireIfDue(Clock::time_point now);     // queue lock held
    void Post(UINT message, const std::string& bytes, LPARAM lParam);
    void ReportFailure(const SerialFailure& failure, bool fatal);

    std::thread m_thread;
    std::atomic<bool> m_bMonitorAlive{false};
    std::mutex m_portLock;  // guards m_device (taken before m_queueLock, never after)
    CSerialDevice m_device;
    CReplyMailbox& m_mailbox;
    std::atomic<CWnd*> m_pOwner{nullptr};
    std::atomic<UINT> m_nPort{0};

    std::mutex m_queueLock;  // guards everything below
    std::deque<std::unique_ptr<SerialCommand>> m_queue;
    std::string m_rx;                  // bytes of the line so far, terminator not stored
    bool m_bReplyOutstanding = false;  // the front command has been written (reply-idle reset)
    bool m_bDiscardingLine = false;    // an over-long line is being skipped up to its CR
};

// Box text of a failed port operation (the "Application Error" box).
std::wstring FormatPortError(const SerialFailure& failure, UINT nPort);

}  // namespace QuorvelDriver
