// The operating-system side of one serial port: open and configure the line, purge, write,
// read what has arrived, and wait for input or for one of two wake-ups (shutdown, write
// request). SerialDevice_posix.cpp (termios + poll) and SerialDevice_win32.cpp (overlapped
// COM port) implement it; CSerialPort holds the protocol logic above it.
#pragma once

#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "platform/WinTypes.h"

namespace QuorvelDriver {

// A failed operation: the name shown in the error box ("ReadFile()", ...) and the system's
// own code and text.
struct SerialFailure {
    std::wstring operation;
    int code = 0;
    std::wstring systemText;
};

enum class OpenOutcome {
    Opened,
    Absent,        // no device behind the name
    InUse,         // another opener has it (also one of this process)
    NotPermitted,  // this user may not open it; the failure record has the fix
    NotSerial,     // the name leads to something that is not a serial line
};

enum class WaitOutcome {
    Shutdown,  // the shutdown wake-up was signalled
    Input,     // bytes (or a hang-up, which the next read reports) are waiting
    Woken,     // the write-request wake-up was signalled
    TimedOut,  // the time limit passed with nothing to do
    Failed,    // the wait itself failed; see the failure record
};

class CSerialDevice {
public:
    CSerialDevice();
    ~CSerialDevice();
    CSerialDevice(const CSerialDevice&) = delete;
    CSerialDevice& operator=(const CSerialDevice&) = delete;

    // Opens COM port `port` for reading and writing, exclusively, and says why it did not
    // open: without a report (`failure.operation` empty) when the device is absent or in use;
    // with one when this user may not open it (the text says so in plain words, with the fix)
    // or when the name leads to something that is not a serial device (a regular file,
    // /dev/zero), which is never written to.
    OpenOutcome Open(unsigned int port, SerialFailure& failure);
    // Raw 8N1 without flow control at `baud`. On failure names the step that failed
    // ("SetCommTimeouts()", "SetCommMask()" or "SetCommState()"); the port stays open.
    bool Configure(DWORD baud, SerialFailure& failure);
    void Close();
    bool IsOpen() const;

    // Discards unread input and unsent output.
    bool Purge(SerialFailure& failure);
    // Writes all of `bytes`; gives up (true, partly written) when the line does not drain
    // within `limit`, so the reply deadline then reports the command. Returns false on a
    // device error.
    bool Write(const std::string& bytes, std::chrono::milliseconds limit, SerialFailure& failure);
    // Appends what has arrived to `out` without blocking, at most kMaxReadBytes a call so the
    // monitor looks at its shutdown between calls however fast the device sends. False on a
    // device error or hang-up.
    bool ReadAvailable(std::string& out, SerialFailure& failure);
    static constexpr std::size_t kMaxReadBytes = 16384;

    // Waits for shutdown, input, or (when `includeWriteRequest`) the write-request wake-up,
    // in that priority, at most `limit` (no value: no limit). A wake-up that is reported is
    // consumed.
    WaitOutcome Wait(std::optional<std::chrono::milliseconds> limit, bool includeWriteRequest,
                     SerialFailure& failure);

    // Ends the overlapped operations still in flight (Windows: the comm-event wait) and waits
    // until the system has finished with them. Called by the thread that started them before
    // it ends; nothing to do on POSIX.
    void EndPendingIo();

    // Thread-safe wake-ups of Wait.
    void RequestShutdown();
    void ClearShutdown();
    void RequestWrite();

private:
    struct Impl;
    Impl* m_impl;
};

// COM port numbers 1..255 whose device is present (also when it is in use), ascending.
std::vector<unsigned int> EnumeratePresentPorts();

}  // namespace QuorvelDriver
