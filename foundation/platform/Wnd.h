// The window-message layer: message targets that belong to the thread that created them.
//
// PostMessage queues a message for the target's thread (first in, first out per target) and
// returns at once; SendMessage calls the target's handler directly when the caller is the
// owning thread and otherwise blocks until the owning thread has handled it. As on Windows,
// messages sent from other threads are handled before posted ones, and a thread blocked in
// a cross-thread SendMessage handles messages sent to its own windows meanwhile (two threads
// sending to each other do not deadlock). A window is created, destroyed and deleted on its
// owning thread. The owning
// thread handles queued messages when it pumps its queue (CMessageLoop, or Qt's event loop
// in the program through CThreadMessageQueue::SetWakeHandler).
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "WinTypes.h"

namespace Platform {
class CThreadMessageQueue;
}

class CWnd {
public:
    // The target belongs to the calling thread.
    CWnd();
    // Discards messages still queued for this target; a sender blocked on it gets 0.
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    // Thread-safe. Returns FALSE when the target is destroyed.
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    // Thread-safe; synchronous (see above).
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

    // Gives the handlers the message; the default handles nothing and returns 0.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);

    // Ends the target's life as a window: destroys its children first, stops it receiving
    // further messages (queued ones are dropped, blocked senders get 0), then sends it
    // WM_NCDESTROY (so OnNcDestroy-style clean-up runs; the handler may delete the object).
    // Idempotent. Call it on the owning thread.
    void DestroyWindow();
    bool IsWindowAlive() const;

    // An optional parent: a child is destroyed (DestroyWindow) when its parent is.
    void SetParent(CWnd* parent);
    CWnd* GetParent() const { return m_parent; }
    void SetWindowText(const std::wstring& text) { m_text = text; }
    const std::wstring& GetWindowText() const { return m_text; }

    std::thread::id OwnerThread() const { return m_ownerThread; }

private:
    friend class Platform::CThreadMessageQueue;
    // Marks the window dead and drops its queued messages; blocked senders get 0.
    void StopReceiving();
    std::thread::id m_ownerThread;
    Platform::CThreadMessageQueue* m_queue;
    CWnd* m_parent = nullptr;
    std::wstring m_text;
    struct Children;
    Children* m_children;
    std::atomic<bool> m_alive{true};  // cleared under the owning queue's lock
    bool m_destroying = false;        // owner thread only: DestroyWindow has begun
};

namespace Platform {

// The message queue of one thread. Created on first use by that thread.
class CThreadMessageQueue {
public:
    static CThreadMessageQueue& ForCurrentThread();

    // Handles one queued message (posted or sent from another thread); false when empty.
    bool DispatchOne();
    // Handles every message queued at the time of the call; returns how many.
    int DispatchPending();
    // Blocks until a message is queued or the timeout (real time) passes.
    bool WaitForMessage(std::chrono::milliseconds timeout);
    // Called from the posting thread whenever a message is queued here; a GUI event loop
    // installs one that wakes it and then calls DispatchPending on its own thread.
    void SetWakeHandler(std::function<void()> wake);
    // Number of messages queued now (sent from other threads and posted).
    int PendingCount() const;

    struct Impl;
    Impl* impl() const { return m_impl; }
    ~CThreadMessageQueue();

private:
    CThreadMessageQueue();
    Impl* m_impl;
};

// The plain message loop for tests and command-line tools: pumps the calling thread's
// queue.
class CMessageLoop {
public:
    // Pumps until `done()` answers true (checked after every message and at least every
    // 10 ms) or `timeout` of real time passes. Returns the last value of done().
    static bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
    // Pumps for `duration` of real time.
    static void RunFor(std::chrono::milliseconds duration);
    // Handles what is queued now without waiting.
    static int PumpPending();
};

}  // namespace Platform
