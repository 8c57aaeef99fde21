// Windows has no pseudo-terminals. The simulator opens the far end of a virtual null-modem
// pair (for example com0com's "\\.\CNCB3", whose partner the driver opens as COM3); the
// link path names that end. The pair itself is set up once by the operator.
#include <windows.h>

#include <string>

#include "PseudoTerminal.h"

namespace quorvel::sim {

struct CPseudoTerminal::SHandles {
    HANDLE port = INVALID_HANDLE_VALUE;
    HANDLE wake = nullptr;  // auto-reset event: Wake()
};

namespace {

std::string SystemText(const std::string& what) {
    char text[256] = {};
    DWORD code = ::GetLastError();
    ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                     text, sizeof text, nullptr);
    return what + ": " + text;
}

}  // namespace

CPseudoTerminal::CPseudoTerminal() : m_handles(new SHandles) {
    m_handles->wake = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
}

CPseudoTerminal::~CPseudoTerminal() {
    Close();
    if (m_handles->wake != nullptr) {
        ::CloseHandle(m_handles->wake);
    }
    delete m_handles;
}

bool CPseudoTerminal::IsOpen() const {
    return m_handles->port != INVALID_HANDLE_VALUE;
}

bool CPseudoTerminal::Open(const std::string& linkPath, bool /*replaceLink*/, std::string& error) {
    Close();
    if (linkPath.empty()) {
        error = "on Windows the simulator needs the far end of a null-modem pair";
        return false;
    }
    HANDLE port = ::CreateFileA(linkPath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        error = SystemText("cannot open " + linkPath);
        return false;
    }
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (::GetCommState(port, &dcb)) {
        dcb.BaudRate = CBR_115200;
        dcb.ByteSize = 8;
        dcb.Parity = NOPARITY;
        dcb.StopBits = ONESTOPBIT;
        dcb.fOutxCtsFlow = FALSE;
        dcb.fOutxDsrFlow = FALSE;
        dcb.fOutX = FALSE;
        dcb.fInX = FALSE;
        ::SetCommState(port, &dcb);
    }
    // Reads return at once with whatever is buffered; writes never wait.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    ::SetCommTimeouts(port, &timeouts);
    m_handles->port = port;
    m_devicePath = linkPath;
    m_linkPath = linkPath;
    return true;
}

void CPseudoTerminal::Close() {
    if (m_handles->port != INVALID_HANDLE_VALUE) {
        ::CloseHandle(m_handles->port);
        m_handles->port = INVALID_HANDLE_VALUE;
    }
    m_linkPath.clear();
}

long CPseudoTerminal::Read(char* buffer, std::size_t size, std::string& error) {
    if (!IsOpen()) {
        return 0;
    }
    DWORD got = 0;
    if (!::ReadFile(m_handles->port, buffer, static_cast<DWORD>(size), &got, nullptr)) {
        error = SystemText("ReadFile()");
        return -1;
    }
    return static_cast<long>(got);
}

long CPseudoTerminal::Write(const char* data, std::size_t size, std::string& error) {
    if (!IsOpen()) {
        return 0;
    }
    DWORD put = 0;
    if (!::WriteFile(m_handles->port, data, static_cast<DWORD>(size), &put, nullptr)) {
        error = SystemText("WriteFile()");
        return -1;
    }
    return static_cast<long>(put);
}

std::size_t CPseudoTerminal::UnreadByPeer() const {
    return 0;  // the null-modem driver does not tell what the partner has read
}

SPortWaitResult CPseudoTerminal::Wait(bool /*wantWrite*/, std::int64_t timeoutNs) {
    // Without overlapped reads the port is polled: wake at least every millisecond to look
    // at the input queue, and at once on Wake().
    SPortWaitResult result;
    DWORD slice = 1;
    if (timeoutNs >= 0 && timeoutNs < 1000000) {
        slice = 0;
    }
    ::WaitForSingleObject(m_handles->wake, slice);
    if (IsOpen()) {
        COMSTAT status{};
        DWORD errors = 0;
        if (!::ClearCommError(m_handles->port, &errors, &status)) {
            result.hangup = true;
            return result;
        }
        result.readable = status.cbInQue > 0;
        result.writable = true;
    }
    return result;
}

void CPseudoTerminal::Wake() const {
    if (m_handles->wake != nullptr) {
        ::SetEvent(m_handles->wake);
    }
}

void CPseudoTerminal::PreferPreciseWakeups() {
    // Timed waits here end on the system timer's tick; there is no per-thread slack to ask
    // away.
}

}  // namespace quorvel::sim
