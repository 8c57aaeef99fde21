#include "ReplyMailbox.h"

namespace QuorvelDriver {

CReplyMailbox::~CReplyMailbox() {
    for (CStringW* text : m_inFlight)
        delete text;
}

void CReplyMailbox::Post(CWnd* target, UINT message, const CStringW& text, LPARAM lParam) {
    auto* copy = new CStringW(text);
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_inFlight.insert(copy);
    }
    if (target == nullptr ||
        !target->PostMessage(message, reinterpret_cast<WPARAM>(copy), lParam)) {
        std::lock_guard<std::mutex> lock(m_lock);
        m_inFlight.erase(copy);
        delete copy;
    }
}

std::unique_ptr<CStringW> CReplyMailbox::Adopt(WPARAM wParam) {
    auto* text = reinterpret_cast<CStringW*>(wParam);
    if (text == nullptr)
        return std::make_unique<CStringW>();
    std::lock_guard<std::mutex> lock(m_lock);
    m_inFlight.erase(text);
    return std::unique_ptr<CStringW>(text);
}

}  // namespace QuorvelDriver
