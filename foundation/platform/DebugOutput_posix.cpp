// Debugger output on Linux: standard error, but only when someone is listening — a tracer
// (gdb, strace) is attached, or the operator asked for it with QUORVEL_DEBUG_OUTPUT.
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "platform/DebugOutput.h"
#include "platform/TextConvert.h"

namespace Platform {

namespace {

bool ReadTracerAttached() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("TracerPid:", 0) == 0) {
            return std::strtol(line.c_str() + 10, nullptr, 10) != 0;
        }
    }
    return false;
}

// A debugger may attach at any time; /proc is read at most once a second.
bool TracerAttached() {
    static std::atomic<std::int64_t> nextCheckNs{0};
    static std::atomic<bool> attached{false};
    const std::int64_t now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                 std::chrono::steady_clock::now().time_since_epoch())
                                 .count();
    std::int64_t due = nextCheckNs.load(std::memory_order_relaxed);
    if (now >= due && nextCheckNs.compare_exchange_strong(due, now + 1'000'000'000)) {
        attached.store(ReadTracerAttached(), std::memory_order_relaxed);
    }
    return attached.load(std::memory_order_relaxed);
}

}  // namespace

bool DebugOutputEnabled() {
    const char* requested = std::getenv("QUORVEL_DEBUG_OUTPUT");
    if (requested != nullptr && *requested != '\0' && std::strcmp(requested, "0") != 0) {
        return true;
    }
    return TracerAttached();
}

void OutputDebugLine(const std::wstring& line) {
    if (!DebugOutputEnabled()) {
        return;
    }
    // One write per line, so lines of several threads do not mix.
    const std::string text = WideToUtf8(line) + "\n";
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(STDERR_FILENO, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return;
        }
        done += static_cast<std::size_t>(n);
    }
}

}  // namespace Platform
