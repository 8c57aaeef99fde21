// The library's application object: constructed when the library is loaded, destroyed when it
// is unloaded. It owns the library's logger. Namespace-scope objects of this library are
// constructed after, and destroyed before, those of libquorvel_foundation (the loader orders
// dependencies that way), so the logging layer outlives the logger that uses it.
#include <atomic>
#include <cstdio>

#include "DllLog.h"

namespace QuorvelDriver {

namespace {

// Constant-initialised, so it is valid before any constructor of this library runs.
std::atomic<int> g_ceiling{Logging::Informational};
std::atomic<Logging::CLogger*> g_logger{nullptr};

class CQuorvelDllApp {
public:
    CQuorvelDllApp() {
        g_ceiling = Logging::Informational;
        auto* logger = new Logging::CLogger(
            "QuorvelDll", [](int severity) { return severity <= g_ceiling.load(); });
        if (!logger->Init()) {
            std::fputs("QuorvelDll: the logging layer could not be started\n", stderr);
            delete logger;
            return;
        }
        g_logger = logger;
        DllLog(Logging::Debug, L"Panthieos library initialized.");
    }
    ~CQuorvelDllApp() {
        if (g_logger.load() == nullptr)
            return;
        DllLog(Logging::Debug, L"Uninitializing Pantheios library.");
        Logging::CLogger* logger = g_logger.exchange(nullptr);
        logger->Uninit();
        delete logger;
    }
    CQuorvelDllApp(const CQuorvelDllApp&) = delete;
    CQuorvelDllApp& operator=(const CQuorvelDllApp&) = delete;
};

CQuorvelDllApp theApp;

}  // namespace

Logging::CLogger* DllLogger() {
    return g_logger.load();
}

void SetDllLogCeiling(int ceiling) {
    g_ceiling = ceiling;
}

int DllLogCeiling() {
    return g_ceiling.load();
}

}  // namespace QuorvelDriver
