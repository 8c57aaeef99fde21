// A per-thread value whose clean-up runs when its thread ends, after the thread's C++
// thread_local objects have been destroyed (their destructors may still use what the value
// stands for).
//
// The value lives in the platform's own thread storage (a POSIX thread key, a Windows fibre
// slot), never in a thread_local object: MinGW-w64's emulated thread_local storage is freed
// before the thread_local destructors run, so a clean-up that keeps its state in a
// thread_local object reads freed memory there.
#pragma once

#include <cstdint>

namespace Platform {

class CThreadEndSlot {
public:
    using Cleanup = void (*)(void* value);
    // Make one per use for the life of the process and never destroy it: threads may end
    // at any time, also while static objects are being destroyed.
    explicit CThreadEndSlot(Cleanup cleanup);
    CThreadEndSlot(const CThreadEndSlot&) = delete;
    CThreadEndSlot& operator=(const CThreadEndSlot&) = delete;

    // The calling thread's value; null until Set (again null once its clean-up has begun).
    void* Get() const;
    // When the calling thread ends, `cleanup(value)` runs on it for a value that is not null.
    // The thread that ends with the program (the one that returns from main) is not
    // cleaned up.
    void Set(void* value);

private:
    std::uintptr_t m_key;  // the platform's slot number
    Cleanup m_cleanup;
};

}  // namespace Platform
