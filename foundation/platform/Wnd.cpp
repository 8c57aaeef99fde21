// The window-message layer. Each thread that creates a window or sends across threads owns
// one queue with two lists: messages sent from other threads (handled first, as the blocked
// senders wait for them) and posted messages (first in, first out). A queue lives as long
// as its thread or a window that belongs to it, whichever is longer, so a window that
// outlives its thread can still be posted to safely (the post is refused).
#include "platform/Wnd.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/ThreadEndSlot.h"

namespace Platform {

namespace {

// A cross-thread SendMessage in flight. `done` and `result` are guarded by the sender's
// queue lock; the sender waits on that queue's condition variable, so it can handle
// messages sent to its own windows meanwhile.
struct SendRecord {
    CThreadMessageQueue::Impl* senderQueue;
    bool done = false;
    LRESULT result = 0;
};

struct QueuedMessage {
    CWnd* target;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    std::shared_ptr<SendRecord> send;  // null for a posted message
};

}  // namespace

struct CThreadMessageQueue::Impl {
    mutable std::mutex lock;
    std::condition_variable arrived;  // a message was queued, or a send of this thread ended
    std::deque<QueuedMessage> sent;
    std::deque<QueuedMessage> posted;
    std::shared_ptr<const std::function<void()>> wake;
    bool threadGone = false;         // the owning thread has exited: nothing is handled any more
    std::atomic<int> references{1};  // the thread's own, plus one per window
};

namespace {

void CompleteSend(const std::shared_ptr<SendRecord>& record, LRESULT result) {
    CThreadMessageQueue::Impl* sender = record->senderQueue;
    std::lock_guard<std::mutex> guard(sender->lock);
    record->done = true;
    record->result = result;
    // Notified under the lock: once `done` is seen the sender may return and its thread
    // may end, taking the queue with it.
    sender->arrived.notify_all();
}

void CompleteUnhandled(std::vector<QueuedMessage>& dropped) {
    for (QueuedMessage& m : dropped) {
        if (m.send) {
            CompleteSend(m.send, 0);
        }
    }
}

void AddReference(CThreadMessageQueue* queue) {
    queue->impl()->references.fetch_add(1, std::memory_order_relaxed);
}

void ReleaseReference(CThreadMessageQueue* queue) {
    if (queue->impl()->references.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        delete queue;
    }
}

// The thread's end: blocked senders get 0, posted messages are dropped, later posts fail.
void MarkThreadGone(CThreadMessageQueue* queue) {
    std::vector<QueuedMessage> dropped;
    {
        CThreadMessageQueue::Impl* q = queue->impl();
        std::lock_guard<std::mutex> guard(q->lock);
        q->threadGone = true;
        dropped.assign(q->sent.begin(), q->sent.end());
        q->sent.clear();
        q->posted.clear();
        q->wake.reset();
    }
    CompleteUnhandled(dropped);
}

// A thread's end, once its thread_local objects are gone (their destructors may still post
// and send).
void EndThreadQueue(void* value) {
    auto* queue = static_cast<CThreadMessageQueue*>(value);
    MarkThreadGone(queue);
    ReleaseReference(queue);
}

// Which queue belongs to the calling thread. Not a thread_local holder: its destructor would
// read the queue from storage that MinGW-w64 has already freed at that point, and on every
// system it would leave a dangling queue to thread_local destructors that run after it.
CThreadEndSlot& QueueSlot() {
    static CThreadEndSlot* const slot = new CThreadEndSlot(&EndThreadQueue);
    return *slot;
}

// Parent/child links of every window; a window's links change on its owner's thread, but a
// parent may belong to another thread.
std::mutex& TreeLock() {
    static std::mutex lock;
    return lock;
}

void HandleSent(QueuedMessage& m) {
    LRESULT result = 0;
    try {
        result = m.target->WindowProc(m.message, m.wParam, m.lParam);
    } catch (...) {
        CompleteSend(m.send, 0);
        throw;
    }
    CompleteSend(m.send, result);
}

}  // namespace

// ---- CThreadMessageQueue -------------------------------------------------------------

CThreadMessageQueue::CThreadMessageQueue() : m_impl(new Impl) {}

CThreadMessageQueue::~CThreadMessageQueue() {
    delete m_impl;
}

CThreadMessageQueue& CThreadMessageQueue::ForCurrentThread() {
    auto* queue = static_cast<CThreadMessageQueue*>(QueueSlot().Get());
    if (queue == nullptr) {
        queue = new CThreadMessageQueue;
        QueueSlot().Set(queue);
    }
    return *queue;
}

bool CThreadMessageQueue::DispatchOne() {
    QueuedMessage m{};
    {
        std::lock_guard<std::mutex> guard(m_impl->lock);
        std::deque<QueuedMessage>* list = !m_impl->sent.empty()     ? &m_impl->sent
                                          : !m_impl->posted.empty() ? &m_impl->posted
                                                                    : nullptr;
        if (list == nullptr) {
            return false;
        }
        m = std::move(list->front());
        list->pop_front();
    }
    // Destroying a window purges its messages under the queue lock, and windows are
    // destroyed on this (their owning) thread, so the target is alive here.
    if (m.send) {
        HandleSent(m);
    } else {
        m.target->WindowProc(m.message, m.wParam, m.lParam);
    }
    return true;
}

int CThreadMessageQueue::DispatchPending() {
    int budget = PendingCount();
    int handled = 0;
    while (handled < budget && DispatchOne()) {
        ++handled;
    }
    return handled;
}

int CThreadMessageQueue::PendingCount() const {
    std::lock_guard<std::mutex> guard(m_impl->lock);
    return static_cast<int>(m_impl->sent.size() + m_impl->posted.size());
}

bool CThreadMessageQueue::WaitForMessage(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> guard(m_impl->lock);
    return m_impl->arrived.wait_for(
        guard, timeout, [this] { return !m_impl->sent.empty() || !m_impl->posted.empty(); });
}

void CThreadMessageQueue::SetWakeHandler(std::function<void()> wake) {
    std::lock_guard<std::mutex> guard(m_impl->lock);
    if (wake) {
        m_impl->wake = std::make_shared<const std::function<void()>>(std::move(wake));
    } else {
        m_impl->wake.reset();
    }
}

}  // namespace Platform

// ---- CWnd ------------------------------------------------------------------------------

using Platform::CThreadMessageQueue;
using Platform::QueuedMessage;

struct CWnd::Children {
    std::vector<CWnd*> list;  // guarded by TreeLock()
};

namespace {

// Queues `m` for the target's thread. False when the target is destroyed or its thread
// has ended.
bool Enqueue(CThreadMessageQueue::Impl* q, QueuedMessage m, const std::atomic<bool>& alive) {
    std::shared_ptr<const std::function<void()>> wake;
    {
        std::lock_guard<std::mutex> guard(q->lock);
        if (q->threadGone || !alive.load()) {
            return false;
        }
        (m.send ? q->sent : q->posted).push_back(std::move(m));
        wake = q->wake;
    }
    q->arrived.notify_all();
    if (wake && *wake) {
        (*wake)();
    }
    return true;
}

}  // namespace

CWnd::CWnd()
    : m_ownerThread(std::this_thread::get_id()),
      m_queue(&CThreadMessageQueue::ForCurrentThread()),
      m_children(new Children) {
    Platform::AddReference(m_queue);
}

CWnd::~CWnd() {
    // A derived part is gone by now, so no WM_NCDESTROY can reach its handler; the
    // children are whole objects and are destroyed properly.
    std::vector<CWnd*> children;
    {
        std::lock_guard<std::mutex> guard(Platform::TreeLock());
        children = m_children->list;
    }
    for (CWnd* child : children) {
        child->DestroyWindow();
    }
    {
        std::lock_guard<std::mutex> guard(Platform::TreeLock());
        for (CWnd* child : m_children->list) {
            child->m_parent = nullptr;  // a child that is still being destroyed further up
        }
        if (m_parent != nullptr) {
            auto& siblings = m_parent->m_children->list;
            siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
            m_parent = nullptr;
        }
    }
    StopReceiving();
    delete m_children;
    Platform::ReleaseReference(m_queue);
}

BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return Enqueue(m_queue->impl(), QueuedMessage{this, message, wParam, lParam, nullptr}, m_alive)
               ? TRUE
               : FALSE;
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (!m_alive.load()) {
        return 0;
    }
    if (std::this_thread::get_id() == m_ownerThread) {
        return WindowProc(message, wParam, lParam);
    }
    CThreadMessageQueue::Impl* mine = CThreadMessageQueue::ForCurrentThread().impl();
    auto record = std::make_shared<Platform::SendRecord>(Platform::SendRecord{mine});
    if (!Enqueue(m_queue->impl(), QueuedMessage{this, message, wParam, lParam, record}, m_alive)) {
        return 0;
    }
    // While blocked, handle what other threads send to this thread's windows: two threads
    // sending to each other would otherwise wait for ever.
    std::unique_lock<std::mutex> guard(mine->lock);
    for (;;) {
        if (record->done) {
            return record->result;
        }
        if (!mine->sent.empty()) {
            QueuedMessage incoming = std::move(mine->sent.front());
            mine->sent.pop_front();
            guard.unlock();
            Platform::HandleSent(incoming);
            guard.lock();
            continue;
        }
        mine->arrived.wait(guard);
    }
}

LRESULT CWnd::WindowProc(UINT, WPARAM, LPARAM) {
    return 0;
}

void CWnd::DestroyWindow() {
    if (m_destroying || !m_alive.load()) {
        return;
    }
    m_destroying = true;
    std::vector<CWnd*> children;
    {
        std::lock_guard<std::mutex> guard(Platform::TreeLock());
        children = m_children->list;
    }
    for (CWnd* child : children) {
        child->DestroyWindow();
    }
    StopReceiving();
    SetParent(nullptr);
    // Last touch of *this: the handler may delete the object.
    WindowProc(WM_NCDESTROY, 0, 0);
}

void CWnd::StopReceiving() {
    std::vector<QueuedMessage> dropped;
    {
        auto* q = m_queue->impl();
        std::lock_guard<std::mutex> guard(q->lock);
        m_alive.store(false);
        for (auto* list : {&q->sent, &q->posted}) {
            for (auto it = list->begin(); it != list->end();) {
                if (it->target == this) {
                    dropped.push_back(std::move(*it));
                    it = list->erase(it);
                } else {
                    ++it;
                }
            }
        }
    }
    Platform::CompleteUnhandled(dropped);
}

bool CWnd::IsWindowAlive() const {
    return m_alive.load();
}

void CWnd::SetParent(CWnd* parent) {
    if (parent == this) {
        return;
    }
    std::lock_guard<std::mutex> guard(Platform::TreeLock());
    if (m_parent != nullptr) {
        auto& siblings = m_parent->m_children->list;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
    }
    m_parent = parent;
    if (parent != nullptr) {
        parent->m_children->list.push_back(this);
    }
}
