// Console control events stand in for the POSIX signals: Ctrl+C, Ctrl+Break and closing the
// console terminate. There is no vanish signal on Windows.
#include <windows.h>

#include "ProcessSignals.h"

namespace quorvel::sim {

namespace {

HANDLE g_terminate = nullptr;

BOOL WINAPI OnConsoleControl(DWORD /*type*/) {
    ::SetEvent(g_terminate);
    return TRUE;
}

}  // namespace

bool BlockProcessSignals() {
    g_terminate = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    return g_terminate != nullptr && ::SetConsoleCtrlHandler(OnConsoleControl, TRUE) != 0;
}

EProcessSignal WaitForProcessSignal() {
    ::WaitForSingleObject(g_terminate, INFINITE);
    return EProcessSignal::Terminate;
}

}  // namespace quorvel::sim
