#include <signal.h>
#include <unistd.h>

#include <atomic>

#include "Console.h"

namespace quorvelctl {

namespace {

// Written by the signal handler: lock-free so that it is async-signal-safe.
std::atomic<bool> g_interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void OnInterruptSignal(int) {
    g_interrupted.store(true);
}

}  // namespace

void CatchInterrupt() {
    struct sigaction action {};
    action.sa_handler = &OnInterruptSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool Interrupted() {
    return g_interrupted.load();
}

bool IsTerminal(std::FILE* stream) {
    return isatty(fileno(stream)) != 0;
}

}  // namespace quorvelctl
