// Carries reply strings from the serial monitor thread to the device window. Every posted
// CStringW* is registered until its handler adopts it, so strings still queued when the
// window goes away are freed by the mailbox instead of leaking.
#pragma once

#include <memory>
#include <mutex>
#include <unordered_set>

#include "platform/Containers.h"
#include "platform/Wnd.h"

namespace QuorvelDriver {

class CReplyMailbox {
public:
    CReplyMailbox() = default;
    ~CReplyMailbox();
    CReplyMailbox(const CReplyMailbox&) = delete;
    CReplyMailbox& operator=(const CReplyMailbox&) = delete;

    // Thread-safe. Posts `message` to `target` with wParam = a new CStringW* holding `text`.
    void Post(CWnd* target, UINT message, const CStringW& text, LPARAM lParam);
    // The handler of a posted message takes the string over: the mailbox forgets it and the
    // result owns it (empty for a null wParam).
    std::unique_ptr<CStringW> Adopt(WPARAM wParam);

private:
    std::mutex m_lock;
    std::unordered_set<CStringW*> m_inFlight;  // guarded by m_lock
};

}  // namespace QuorvelDriver
