#include "settings/StorageDiagnostics.h"

#include <cstdio>
#include <mutex>
#include <utility>

#include "platform/TextConvert.h"

namespace Zezezezo {
namespace {

std::mutex& SinkLock() {
    static std::mutex lock;
    return lock;
}

std::function<void(const std::wstring&)>& Sink() {
    static std::function<void(const std::wstring&)> sink;
    return sink;
}

thread_local CStorageDiagnosticsScope* t_scope = nullptr;

}  // namespace

CStorageDiagnosticsScope::CStorageDiagnosticsScope(std::function<void(const std::wstring&)> sink)
    : m_sink(std::move(sink)), m_outer(t_scope) {
    t_scope = this;
}

CStorageDiagnosticsScope::~CStorageDiagnosticsScope() {
    t_scope = m_outer;
}

void SetStorageDiagnostics(std::function<void(const std::wstring&)> sink) {
    std::lock_guard<std::mutex> guard(SinkLock());
    Sink() = std::move(sink);
}

void ReportStorageProblem(const std::wstring& message) noexcept {
    try {
        if (t_scope != nullptr && t_scope->m_sink) {
            t_scope->m_sink(message);
            return;
        }
        std::function<void(const std::wstring&)> sink;
        {
            std::lock_guard<std::mutex> guard(SinkLock());
            sink = Sink();
        }
        // Called outside the lock so that a sink may log through code that reports again.
        if (sink) {
            sink(message);
        } else {
            const std::string line = Platform::WideToUtf8(message);
            std::fprintf(stderr, "%s\n", line.c_str());
        }
    } catch (...) {
        // Diagnostics must never turn a settings failure into a crash.
    }
}

}  // namespace Zezezezo
