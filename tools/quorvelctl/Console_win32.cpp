#include <windows.h>

#include <io.h>

#include <atomic>

#include "Console.h"

namespace quorvelctl {

namespace {

std::atomic<bool> g_interrupted{false};

// Runs on a thread of its own that the console creates for the event.
BOOL WINAPI OnConsoleControl(DWORD type) {
    switch (type) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
        case CTRL_CLOSE_EVENT:
            g_interrupted.store(true);
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

void CatchInterrupt() {
    SetConsoleCtrlHandler(&OnConsoleControl, TRUE);
}

bool Interrupted() {
    return g_interrupted.load();
}

bool IsTerminal(std::FILE* stream) {
    return _isatty(_fileno(stream)) != 0;
}

}  // namespace quorvelctl
