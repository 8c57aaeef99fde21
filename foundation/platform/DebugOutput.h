// The debugger-output channel: OutputDebugStringW on Windows; on Linux standard error, only
// when a debugger is attached or QUORVEL_DEBUG_OUTPUT is set.
#pragma once

#include <string>

namespace Platform {

bool DebugOutputEnabled();
void OutputDebugLine(const std::wstring& line);

}  // namespace Platform
