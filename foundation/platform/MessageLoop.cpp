#include <algorithm>

#include "platform/Wnd.h"

namespace Platform {

namespace {
constexpr std::chrono::milliseconds kLongestIdle{10};  // how often done() is re-checked
}

bool CMessageLoop::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    CThreadMessageQueue& queue = CThreadMessageQueue::ForCurrentThread();
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        while (queue.DispatchOne()) {
            if (done()) {
                return true;
            }
            if (std::chrono::steady_clock::now() >= end) {
                return false;
            }
        }
        if (done()) {
            return true;
        }
        const auto now = std::chrono::steady_clock::now();
        if (now >= end) {
            return false;
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - now);
        queue.WaitForMessage(std::min(left, kLongestIdle));
    }
}

void CMessageLoop::RunFor(std::chrono::milliseconds duration) {
    RunUntil([] { return false; }, duration);
}

int CMessageLoop::PumpPending() {
    return CThreadMessageQueue::ForCurrentThread().DispatchPending();
}

}  // namespace Platform
