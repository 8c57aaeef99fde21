// The library's own logger ("QuorvelDll"): every line begins "QuorvelDll: ", and a statement
// is written when its severity is at most the library's ceiling (6 from load until
// CQuorvel::SetLogCeiling). Usable from any thread; dropped before load and after unload.
#pragma once

#include <string>

#include "logging/Logger.h"

namespace QuorvelDriver {

Logging::CLogger* DllLogger();
void SetDllLogCeiling(int ceiling);
int DllLogCeiling();

template <typename... Parts>
void DllLog(int severity, const Parts&... parts) noexcept {
    if (Logging::CLogger* logger = DllLogger()) {
        logger->LogParts(severity, L"QuorvelDll: ", parts...);
    }
}

}  // namespace QuorvelDriver
