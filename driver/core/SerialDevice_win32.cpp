// Windows serial device: an overlapped COM port ("\\.\COM%u"), the comm-event wait and two
// manual-reset events for the wake-ups, waited for together with WaitForMultipleObjects.
#include <algorithm>
#include <cstdio>

#include "SerialDevice.h"
#include "platform/SystemError.h"
#include "platform/WindowsApi.h"

namespace QuorvelDriver {

namespace {

void Fill(SerialFailure& failure, const wchar_t* operation, DWORD code) {
    failure.operation = operation;
    failure.code = static_cast<int>(code);
    failure.systemText = Platform::SystemErrorText(code);
}

// Ends the overlapped operation on `io` when it is still in flight and waits until the
// system has finished with it: only then may its OVERLAPPED, its buffer and its output word be
// reused or freed. CancelIo cancels only the calling thread's operations and does not wait;
// CloseHandle does not wait either; and Wine's comm-event wait is not always found by
// CancelIoEx, but ends when the event mask is set again. True when the operation has ended.
bool CancelAndWait(HANDLE port, OVERLAPPED& io, bool commEventWait) {
    if (HasOverlappedIoCompleted(&io)) {
        return true;
    }
    CancelIoEx(port, &io);
    if (commEventWait && !HasOverlappedIoCompleted(&io)) {
        DWORD mask = 0;
        if (GetCommMask(port, &mask)) {
            SetCommMask(port, mask);
        }
    }
    // Bounded: a driver that never ends the operation must not hang the program.
    if (WaitForSingleObject(io.hEvent, 2000) != WAIT_OBJECT_0 && !HasOverlappedIoCompleted(&io)) {
        return false;
    }
    DWORD ignored = 0;
    GetOverlappedResult(port, &io, &ignored, TRUE);
    return true;
}

std::wstring DevicePath(unsigned int port) {
    wchar_t path[32];
    swprintf(path, 32, L"\\\\.\\COM%u", port);
    return path;
}

}  // namespace

struct CSerialDevice::Impl {
    HANDLE port = INVALID_HANDLE_VALUE;
    HANDLE shutdown = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE writeRequest = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    OVERLAPPED waitIo{};    // the comm-event wait
    OVERLAPPED transfer{};  // reads and writes
    DWORD eventMask = 0;
    bool waitPending = false;
    // An operation on waitIo or transfer that could not be ended: the system may still write
    // into them, so this block is never freed.
    bool inFlight = false;

    Impl() {
        waitIo.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        transfer.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    }
    ~Impl() {
        CloseHandle(waitIo.hEvent);
        CloseHandle(transfer.hEvent);
        CloseHandle(shutdown);
        CloseHandle(writeRequest);
    }
};

CSerialDevice::CSerialDevice() : m_impl(new Impl) {}

CSerialDevice::~CSerialDevice() {
    Close();
    delete m_impl;
}

OpenOutcome CSerialDevice::Open(unsigned int port, SerialFailure& failure) {
    Close();
    failure = SerialFailure{};
    const std::wstring path = DevicePath(port);
    m_impl->port = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                               OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (m_impl->port == INVALID_HANDLE_VALUE) {
        // A COM port another program holds answers "access denied": on Windows that means
        // in use, not a missing permission (every user may open a COM port).
        switch (GetLastError()) {
            case ERROR_ACCESS_DENIED:
            case ERROR_SHARING_VIOLATION:
            case ERROR_GEN_FAILURE:
            case ERROR_SEM_TIMEOUT:
                return OpenOutcome::InUse;
            default:
                return OpenOutcome::Absent;
        }
    }
    // Only a communications device is a serial line; a name redirected to anything else
    // (a file, a pipe) is refused before a byte is written to it.
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (GetFileType(m_impl->port) != FILE_TYPE_CHAR || !GetCommState(m_impl->port, &dcb)) {
        CloseHandle(m_impl->port);
        m_impl->port = INVALID_HANDLE_VALUE;
        failure.operation = L"CreateFile()";
        failure.code = ERROR_INVALID_HANDLE;
        failure.systemText = path + L" is not a serial device";
        return OpenOutcome::NotSerial;
    }
    return OpenOutcome::Opened;
}

bool CSerialDevice::Configure(DWORD baud, SerialFailure& failure) {
    COMMTIMEOUTS timeouts{};  // all five zero
    if (!SetCommTimeouts(m_impl->port, &timeouts)) {
        Fill(failure, L"SetCommTimeouts()", GetLastError());
        return false;
    }
    if (!SetCommMask(m_impl->port, EV_RXCHAR)) {
        Fill(failure, L"SetCommMask()", GetLastError());
        return false;
    }
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    GetCommState(m_impl->port, &dcb);
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.BaudRate = baud;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    if (!SetCommState(m_impl->port, &dcb)) {
        Fill(failure, L"SetCommState()", GetLastError());
        return false;
    }
    return true;
}

void CSerialDevice::Close() {
    if (m_impl->port != INVALID_HANDLE_VALUE) {
        // Normally ended by the monitor thread that started them (EndPendingIo).
        m_impl->inFlight |= !CancelAndWait(m_impl->port, m_impl->waitIo, true);
        m_impl->inFlight |= !CancelAndWait(m_impl->port, m_impl->transfer, false);
        CloseHandle(m_impl->port);
        m_impl->port = INVALID_HANDLE_VALUE;
        if (m_impl->inFlight) {
            m_impl = new Impl;  // the old block stays with the system (see inFlight)
        }
    }
    m_impl->waitPending = false;
}

bool CSerialDevice::IsOpen() const {
    return m_impl->port != INVALID_HANDLE_VALUE;
}

bool CSerialDevice::Purge(SerialFailure& failure) {
    if (!PurgeComm(m_impl->port, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR)) {
        Fill(failure, L"PurgeComm()", GetLastError());
        return false;
    }
    return true;
}

bool CSerialDevice::Write(const std::string& bytes, std::chrono::milliseconds limit,
                          SerialFailure& failure) {
    ResetEvent(m_impl->transfer.hEvent);
    m_impl->transfer.Offset = m_impl->transfer.OffsetHigh = 0;
    DWORD written = 0;
    if (WriteFile(m_impl->port, bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                  &m_impl->transfer)) {
        return true;
    }
    if (GetLastError() != ERROR_IO_PENDING) {
        Fill(failure, L"WriteFile()", GetLastError());
        return false;
    }
    HANDLE handles[2] = {m_impl->shutdown, m_impl->transfer.hEvent};
    const DWORD r = WaitForMultipleObjects(2, handles, FALSE, static_cast<DWORD>(limit.count()));
    if (r != WAIT_OBJECT_0 + 1) {
        // Shutting down or the line does not drain; the caller's bytes stay in use until
        // the cancelled write has ended.
        m_impl->inFlight |= !CancelAndWait(m_impl->port, m_impl->transfer, false);
        return true;
    }
    if (!GetOverlappedResult(m_impl->port, &m_impl->transfer, &written, FALSE)) {
        Fill(failure, L"GetOverlappedResults() in WriteFile()", GetLastError());
        return false;
    }
    return true;
}

bool CSerialDevice::ReadAvailable(std::string& out, SerialFailure& failure) {
    DWORD errors = 0;
    COMSTAT stat{};
    if (!ClearCommError(m_impl->port, &errors, &stat)) {
        Fill(failure, L"ReadFile()", GetLastError());
        return false;
    }
    if (stat.cbInQue == 0)
        return true;
    const DWORD want = std::min<DWORD>(stat.cbInQue, static_cast<DWORD>(kMaxReadBytes));
    std::string buf(want, '\0');
    ResetEvent(m_impl->transfer.hEvent);
    DWORD got = 0;
    if (!ReadFile(m_impl->port, buf.data(), want, &got, &m_impl->transfer)) {
        if (GetLastError() != ERROR_IO_PENDING ||
            !GetOverlappedResult(m_impl->port, &m_impl->transfer, &got, TRUE)) {
            Fill(failure, L"GetOverlappedResults() in ReadFile()", GetLastError());
            return false;
        }
    }
    out.append(buf.data(), got);
    return true;
}

WaitOutcome CSerialDevice::Wait(std::optional<std::chrono::milliseconds> limit,
                                bool includeWriteRequest, SerialFailure& failure) {
    if (!m_impl->waitPending) {
        ResetEvent(m_impl->waitIo.hEvent);
        if (WaitCommEvent(m_impl->port, &m_impl->eventMask, &m_impl->waitIo)) {
            return WaitOutcome::Input;
        }
        const DWORD error = GetLastError();
        if (error != ERROR_IO_PENDING && error != ERROR_INVALID_PARAMETER) {
            Fill(failure, L"WaitCommEvent()", error);
            return WaitOutcome::Failed;
        }
        m_impl->waitPending = error == ERROR_IO_PENDING;
    }
    HANDLE handles[3] = {m_impl->shutdown, m_impl->waitIo.hEvent, m_impl->writeRequest};
    const DWORD timeout =
        limit ? static_cast<DWORD>(std::max<long long>(0, limit->count())) : INFINITE;
    const DWORD r = WaitForMultipleObjects(includeWriteRequest ? 3 : 2, handles, FALSE, timeout);
    switch (r) {
        case WAIT_OBJECT_0:
            return WaitOutcome::Shutdown;
        case WAIT_OBJECT_0 + 1:
            m_impl->waitPending = false;
            return WaitOutcome::Input;
        case WAIT_OBJECT_0 + 2:
            ResetEvent(m_impl->writeRequest);
            return WaitOutcome::Woken;
        case WAIT_TIMEOUT:
            return WaitOutcome::TimedOut;
        default:
            Fill(failure, L"WaitCommEvent()", GetLastError());
            return WaitOutcome::Failed;
    }
}

void CSerialDevice::EndPendingIo() {
    if (m_impl->port == INVALID_HANDLE_VALUE) {
        return;
    }
    m_impl->inFlight |= !CancelAndWait(m_impl->port, m_impl->waitIo, true);
    m_impl->inFlight |= !CancelAndWait(m_impl->port, m_impl->transfer, false);
    m_impl->waitPending = false;
}

void CSerialDevice::RequestShutdown() {
    SetEvent(m_impl->shutdown);
}

void CSerialDevice::ClearShutdown() {
    ResetEvent(m_impl->shutdown);
}

void CSerialDevice::RequestWrite() {
    SetEvent(m_impl->writeRequest);
}

std::vector<unsigned int> EnumeratePresentPorts() {
    std::vector<unsigned int> present;
    for (unsigned int n = 1; n <= 255; ++n) {
        HANDLE h = CreateFileW(DevicePath(n).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                               OPEN_EXISTING, 0, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            CloseHandle(h);
            present.push_back(n);
            continue;
        }
        // The port exists but is in use or otherwise busy.
        switch (GetLastError()) {
            case ERROR_ACCESS_DENIED:
            case ERROR_GEN_FAILURE:
            case ERROR_SHARING_VIOLATION:
            case ERROR_SEM_TIMEOUT:
                present.push_back(n);
                break;
            default:
                break;
        }
    }
    return present;
}

}  // namespace QuorvelDriver
