#include "QtMessagePump.h"

#include <QCoreApplication>
#include <QEvent>
#include <atomic>
#include <mutex>

#include "platform/Wnd.h"

namespace {
const QEvent::Type kWakeEvent = static_cast<QEvent::Type>(QEvent::User + 0x51);
}

// Shared with the wake handler, which runs on posting threads and may outlive the pump by
// the time it takes to return: the lock guards the target pointer, and `pending` folds a
// burst of posts into one Qt event.
struct CQtMessagePump::Shared {
    std::mutex lock;
    QObject* target = nullptr;  // guarded by lock
    std::atomic<bool> pending{false};
};

CQtMessagePump::CQtMessagePump(QObject* parent)
    : QObject(parent), m_shared(std::make_shared<Shared>()) {
    m_shared->target = this;
    std::weak_ptr<Shared> weak = m_shared;
    Platform::CThreadMessageQueue::ForCurrentThread().SetWakeHandler([weak] {
        const auto shared = weak.lock();
        if (!shared || shared->pending.exchange(true))
            return;
        std::lock_guard<std::mutex> guard(shared->lock);
        // postEvent is thread-safe; events of a deleted object are dropped by Qt.
        if (shared->target)
            QCoreApplication::postEvent(shared->target, new QEvent(kWakeEvent));
    });
    m_dispatched += Platform::CThreadMessageQueue::ForCurrentThread().DispatchPending();
}

CQtMessagePump::~CQtMessagePump() {
    Platform::CThreadMessageQueue::ForCurrentThread().SetWakeHandler(nullptr);
    std::lock_guard<std::mutex> guard(m_shared->lock);
    m_shared->target = nullptr;
}

bool CQtMessagePump::event(QEvent* event) {
    if (event->type() != kWakeEvent)
        return QObject::event(event);
    // Clear first: a post that arrives while we dispatch must wake us again.
    m_shared->pending = false;
    m_dispatched += Platform::CThreadMessageQueue::ForCurrentThread().DispatchPending();
    return true;
}
