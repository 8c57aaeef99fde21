// Debugger output on Windows: OutputDebugStringW costs little without a debugger, so the
// switch only tells callers whether anyone is likely to read it.
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "platform/DebugOutput.h"

namespace Platform {

bool DebugOutputEnabled() {
    char requested[8] = {};
    const DWORD n = GetEnvironmentVariableA("QUORVEL_DEBUG_OUTPUT", requested, sizeof requested);
    if (n > 0 && n < sizeof requested && std::strcmp(requested, "0") != 0) {
        return true;
    }
    return IsDebuggerPresent() != FALSE;
}

void OutputDebugLine(const std::wstring& line) {
    const std::wstring text = line + L"\n";
    OutputDebugStringW(text.c_str());
}

}  // namespace Platform
