// The thread-end slot on Windows: a fibre-local storage slot, whose callback runs when a
// thread ends (every thread, not only those started through the C++ library), after the
// thread's thread_local destructors. The slot holds a small cell with the clean-up beside
// the value, because the callback is handed the value only.
#include <cstdio>
#include <cstdlib>

#include "platform/ThreadEndSlot.h"
#include "platform/WindowsApi.h"

namespace Platform {

namespace {

struct SCell {
    CThreadEndSlot::Cleanup cleanup;
    void* value;
};

VOID WINAPI RunCleanup(PVOID data) {
    auto* cell = static_cast<SCell*>(data);
    if (cell == nullptr) {
        return;
    }
    // Cleared before the clean-up runs, as a POSIX key is: a clean-up that needs the slot
    // again gets a new value, which is cleaned up in turn.
    while (cell->value != nullptr) {
        void* value = cell->value;
        cell->value = nullptr;
        cell->cleanup(value);
    }
    delete cell;
}

}  // namespace

CThreadEndSlot::CThreadEndSlot(Cleanup cleanup) : m_key(0), m_cleanup(cleanup) {
    const DWORD index = FlsAlloc(&RunCleanup);
    if (index == FLS_OUT_OF_INDEXES) {
        // Only when the process has used up its slots; nothing here can work without one.
        std::fputs("quorvel: no fibre-local slot left for the message queues\n", stderr);
        std::abort();
    }
    m_key = index;
}

void* CThreadEndSlot::Get() const {
    const auto* cell = static_cast<const SCell*>(FlsGetValue(static_cast<DWORD>(m_key)));
    return cell != nullptr ? cell->value : nullptr;
}

void CThreadEndSlot::Set(void* value) {
    auto* cell = static_cast<SCell*>(FlsGetValue(static_cast<DWORD>(m_key)));
    if (cell == nullptr) {
        cell = new SCell{m_cleanup, value};
        FlsSetValue(static_cast<DWORD>(m_key), cell);
    } else {
        cell->value = value;
    }
}

}  // namespace Platform
