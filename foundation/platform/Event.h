// Manual- and auto-reset events and the wait on several of them: the hand-off between the
// GUI thread's reply handlers and the driver's worker threads.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <initializer_list>
#include <mutex>

namespace Platform {

constexpr std::uint32_t kInfinite = 0xFFFFFFFFu;
constexpr int kWaitTimeout = -1;

class CEvent {
public:
    CEvent(bool manualReset, bool initiallySet);
    ~CEvent();
    CEvent(const CEvent&) = delete;
    CEvent& operator=(const CEvent&) = delete;

    void Set();
    void Reset();
    bool IsSet() const;

private:
    friend int WaitForEvents(std::initializer_list<CEvent*> events, std::uint32_t timeoutMs);
    struct Impl;
    Impl* m_impl;
};

// Waits until one of `events` is signalled or `timeoutMs` milliseconds of the process
// clock (Clock()) have passed (kInfinite: no limit). When several are signalled the lowest
// index wins; an auto-reset event that wins is reset. Returns the winner's index or
// kWaitTimeout.
int WaitForEvents(std::initializer_list<CEvent*> events, std::uint32_t timeoutMs);
inline int WaitForEvent(CEvent& event, std::uint32_t timeoutMs) {
    return WaitForEvents({&event}, timeoutMs);
}

}  // namespace Platform
