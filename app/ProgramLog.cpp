#include "ProgramLog.h"

#include <atomic>

namespace {
std::atomic<const std::int32_t*> g_ceiling{nullptr};
constexpr int kDefaultCeiling = 6;  // Informational

// Whether a statement of `severity` is written now (ProgramLog().IsEnabled asks this).
bool ProgramLogEnabled(int severity) {
    const std::int32_t* ceiling = g_ceiling.load();
    return severity <= (ceiling ? *ceiling : kDefaultCeiling);
}

// Starts the logger while the program's statics are initialised, before main.
const bool g_started = (ProgramLog(), true);
}  // namespace

void SetProgramLogCeilingSource(const std::int32_t* ceiling) {
    g_ceiling = ceiling;
}

Logging::CLogger& ProgramLog() {
    static Logging::CLogger* logger = [] {
        // Never destroyed: static destructors of other modules may still log at exit.
        auto* log = new Logging::CLogger("Quorvel", ProgramLogEnabled);
        log->Init();
        return log;
    }();
    (void)g_started;
    return *logger;
}
