#include "ProgramLog.h"

#include <atomic>

namespace {
std::atomic<const std::int32_t*> g_ceiling{nullptr};
constexpr int kDefaultCeiling = 6;  // Informational

// Starts the logger while the program's statics are initialised, before main.
const bool g_started = (ProgramLog(), true);
}  // namespace

bool ProgramLogEnabled(int severity) {
    const std::int32_t* ceiling = g_ceiling.load();
    return severity <= (ceiling ? *ceiling : kDefaultCeiling);
}

void SetProgramLogCeilingSource(const std::int32_t* ceiling) {
    g_ceiling = ceiling;
}

Logging::CLogger& ProgramLog() {
    static Logging::CLogger* logger = [] {
        // Never destroyed: static destructors of other modules may still log at exit.
        auto* log = new Logging::CLogger("Quorvel",
                                         [](int severity) { return ProgramLogEnabled(severity); });
        log->Init();
        return log;
    }();
    (void)g_started;
    return *logger;
}
