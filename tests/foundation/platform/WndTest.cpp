#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/Wnd.h"

using namespace Platform;
using namespace std::chrono_literals;

namespace {

constexpr UINT kMsgA = WM_APP + 1;
constexpr UINT kMsgEcho = WM_APP + 2;

struct Received {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    std::thread::id thread;
};

class RecordingWnd : public CWnd {
public:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        std::lock_guard<std::mutex> guard(m_lock);
        m_log.push_back({message, wParam, lParam, std::this_thread::get_id()});
        if (message == kMsgEcho) {
            return static_cast<LRESULT>(wParam * 2);
        }
        return 0;
    }
    std::vector<Received> Log() {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_log;
    }
    size_t Count(UINT message) {
        std::lock_guard<std::mutex> guard(m_lock);
        size_t n = 0;
        for (auto& r : m_log) {
            n += r.message == message ? 1 : 0;
        }
        return n;
    }

private:
    std::mutex m_lock;
    std::vector<Received> m_log;
};

// A worker that owns windows of its own and pumps its queue until told to stop.
class PumpingThread {
public:
    template <typename Setup>
    explicit PumpingThread(Setup setup) {
        m_thread = std::thread([this, setup] {
            setup();
            m_ready = true;
            CMessageLoop::RunUntil([this] { return m_stop.load(); }, 60s);
        });
        while (!m_ready) {
            std::this_thread::yield();
        }
    }
    ~PumpingThread() {
        m_stop = true;
        m_thread.join();
    }

private:
    std::atomic<bool> m_ready{false}, m_stop{false};
    std::thread m_thread;
};

// Sends to g_lateTarget from a thread_local destructor, at its thread's end. Its state is
// global: with MinGW-w64 a thread_local object's own storage is already freed when its
// destructor runs.
std::atomic<CWnd*> g_lateTarget{nullptr};
std::atomic<LRESULT> g_lateResult{-1};

struct SendAtThreadEnd {
    ~SendAtThreadEnd() {
        if (CWnd* target = g_lateTarget.load()) {
            g_lateResult = target->SendMessage(kMsgEcho, 21);
        }
    }
};
thread_local SendAtThreadEnd t_sendAtThreadEnd;

}  // namespace

TEST(MessageLayer, PostsArriveInOrderPerTargetOnTheOwningThread) {
    RecordingWnd first, second;
    std::thread poster([&] {
        for (WPARAM i = 0; i < 200; ++i) {
            EXPECT_TRUE(first.PostMessage(kMsgA, i, 1));
            EXPECT_TRUE(second.PostMessage(kMsgA, i, 2));
        }
    });
    poster.join();
    EXPECT_TRUE(CMessageLoop::RunUntil([&] { return second.Count(kMsgA) == 200; }, 10s));
    for (RecordingWnd* w : {&first, &second}) {
        auto log = w->Log();
        ASSERT_EQ(log.size(), 200u);
        for (WPARAM i = 0; i < 200; ++i) {
            EXPECT_EQ(log[i].wParam, i);
            EXPECT_EQ(log[i].thread, std::this_thread::get_id());
        }
    }
}

TEST(MessageLayer, SendOnOwningThreadIsDirect) {
    RecordingWnd w;
    EXPECT_EQ(w.SendMessage(kMsgEcho, 21), 42);
    EXPECT_EQ(w.Log().size(), 1u);
    EXPECT_EQ(CMessageLoop::PumpPending(), 0);
}

TEST(MessageLayer, CrossThreadSendBlocksUntilTheOwnerHandlesIt) {
    RecordingWnd w;
    std::atomic<LRESULT> result{-1};
    std::atomic<bool> returned{false};
    std::thread sender([&] {
        result = w.SendMessage(kMsgEcho, 50);
        returned = true;
    });
    // Nothing is handled while the owner does not pump.
    while (CThreadMessageQueue::ForCurrentThread().PendingCount() == 0) {
        std::this_thread::yield();
    }
    std::this_thread::sleep_for(10ms);
    EXPECT_FALSE(returned.load());
    EXPECT_TRUE(CMessageLoop::RunUntil([&] { return returned.load(); }, 10s));
    sender.join();
    EXPECT_EQ(result.load(), 100);
    ASSERT_EQ(w.Log().size(), 1u);
    EXPECT_EQ(w.Log()[0].thread, std::this_thread::get_id());
}

TEST(MessageLayer, SentMessagesAreHandledBeforePostedOnes) {
    RecordingWnd w;
    w.PostMessage(kMsgA, 1);
    std::thread sender([&] { w.SendMessage(kMsgEcho, 2); });
    while (CThreadMessageQueue::ForCurrentThread().PendingCount() < 2) {
        std::this_thread::yield();
    }
    CMessageLoop::PumpPending();
    sender.join();
    auto log = w.Log();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].message, kMsgEcho);
    EXPECT_EQ(log[1].message, kMsgA);
}

TEST(MessageLayer, BlockedSenderGetsZeroWhenTargetIsDestroyed) {
    auto w = std::make_unique<RecordingWnd>();
    std::atomic<LRESULT> result{-1};
    std::thread sender([&] { result = w->SendMessage(kMsgEcho, 7); });
    while (CThreadMessageQueue::ForCurrentThread().PendingCount() == 0) {
        std::this_thread::yield();
    }
    w->PostMessage(kMsgA);
    w->DestroyWindow();
    sender.join();
    EXPECT_EQ(result.load(), 0);
    // Only the destruction notice reached the handler; queued messages were dropped.
    auto log = w->Log();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].message, WM_NCDESTROY);
    EXPECT_EQ(CMessageLoop::PumpPending(), 0);
    EXPECT_FALSE(w->PostMessage(kMsgA));
    EXPECT_EQ(w->SendMessage(kMsgEcho, 1), 0);
}

TEST(MessageLayer, BlockedSenderGetsZeroWhenTargetIsDeleted) {
    auto w = std::make_unique<RecordingWnd>();
    RecordingWnd* raw = w.get();
    std::atomic<LRESULT> result{-1};
    std::thread sender([&] { result = raw->SendMessage(kMsgEcho, 7); });
    while (CThreadMessageQueue::ForCurrentThread().PendingCount() == 0) {
        std::this_thread::yield();
    }
    w.reset();
    sender.join();
    EXPECT_EQ(result.load(), 0);
}

TEST(MessageLayer, DestroyWindowSendsNcDestroyToChildrenFirstAndOnce) {
    std::vector<std::string> order;
    struct Named : CWnd {
        Named(std::vector<std::string>& o, std::string n) : order(o), name(std::move(n)) {}
        LRESULT WindowProc(UINT m, WPARAM, LPARAM) override {
            if (m == WM_NCDESTROY) {
                order.push_back(name);
            }
            return 0;
        }
        std::vector<std::string>& order;
        std::string name;
    };
    Named parent(order, "parent"), child(order, "child"), grandchild(order, "grandchild");
    child.SetParent(&parent);
    grandchild.SetParent(&child);
    EXPECT_EQ(grandchild.GetParent(), &child);
    parent.DestroyWindow();
    parent.DestroyWindow();
    EXPECT_EQ(order, (std::vector<std::string>{"grandchild", "child", "parent"}));
    EXPECT_FALSE(child.IsWindowAlive());
    EXPECT_EQ(child.GetParent(), nullptr);
}

TEST(MessageLayer, DeletingAParentDestroysItsChildren) {
    RecordingWnd child;
    {
        CWnd parent;
        child.SetParent(&parent);
    }
    EXPECT_FALSE(child.IsWindowAlive());
    EXPECT_EQ(child.Count(WM_NCDESTROY), 1u);
    EXPECT_EQ(child.GetParent(), nullptr);
}

TEST(MessageLayer, HandlerMayDeleteItsWindowOnNcDestroy) {
    struct SelfDeleting : CWnd {
        explicit SelfDeleting(std::atomic<bool>& d) : deleted(d) {}
        ~SelfDeleting() override { deleted = true; }
        LRESULT WindowProc(UINT m, WPARAM, LPARAM) override {
            if (m == WM_NCDESTROY) {
                delete this;
            }
            return 0;
        }
        std::atomic<bool>& deleted;
    };
    std::atomic<bool> deleted{false};
    auto* w = new SelfDeleting(deleted);
    w->DestroyWindow();
    EXPECT_TRUE(deleted.load());
}

TEST(MessageLayer, WindowOfAnEndedThreadRefusesMessages) {
    std::unique_ptr<RecordingWnd> orphan;
    std::thread([&] { orphan = std::make_unique<RecordingWnd>(); }).join();
    EXPECT_FALSE(orphan->PostMessage(kMsgA));
    EXPECT_EQ(orphan->SendMessage(kMsgEcho, 3), 0);
    orphan.reset();
}

// A thread's queue outlives the thread's thread_local objects: one made before the thread
// first sent (so destroyed after everything made later) can still send from its destructor.
// The queue used to be a thread_local holder destroyed first; the late send then used the
// deleted queue (AddressSanitizer: heap-use-after-free).
TEST(MessageLayer, ThreadLocalDestructorsMaySendAtTheirThreadsEnd) {
    RecordingWnd w;
    g_lateResult = -1;
    g_lateTarget = &w;
    std::atomic<LRESULT> first{-1};
    std::thread worker([&] {
        (void)&t_sendAtThreadEnd;            // made now, destroyed when the thread ends
        first = w.SendMessage(kMsgEcho, 1);  // the thread's queue is made here
    });
    EXPECT_TRUE(CMessageLoop::RunUntil([] { return g_lateResult.load() != -1; }, 10s));
    worker.join();
    g_lateTarget = nullptr;
    EXPECT_EQ(first.load(), 2);
    EXPECT_EQ(g_lateResult.load(), 42);
}

// Short-lived threads that each send once and end at once, while their target's thread
// handles the sends: each thread's end releases its queue. With MinGW-w64 the end used to
// read that queue from freed memory: most runs under Wine hung in a join or ended with
// "Invalid argument".
TEST(MessageLayer, ManyThreadsThatSendOnceAndEndLeaveTheLayerWhole) {
    RecordingWnd w;
    constexpr int kThreads = 64;
    std::atomic<int> answered{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            if (w.SendMessage(kMsgEcho, static_cast<WPARAM>(i)) == static_cast<LRESULT>(i * 2)) {
                ++answered;
            }
        });
    }
    EXPECT_TRUE(CMessageLoop::RunUntil([&] { return answered.load() == kThreads; }, 30s));
    for (std::thread& t : threads) {
        t.join();
    }
    EXPECT_EQ(w.Count(kMsgEcho), static_cast<size_t>(kThreads));
}

TEST(MessageLayer, SendsBetweenTwoThreadsDoNotDeadlock) {
    // The main thread sends to a worker's window, whose handler sends back to a main-thread
    // window while the main thread is still blocked in its own send.
    RecordingWnd mainWnd;
    struct Bouncer : CWnd {
        CWnd* back = nullptr;
        LRESULT WindowProc(UINT m, WPARAM w, LPARAM) override {
            return m == kMsgEcho ? back->SendMessage(kMsgEcho, w + 1) : 0;
        }
    };
    std::unique_ptr<Bouncer> bouncer;
    {
        PumpingThread worker([&] {
            bouncer = std::make_unique<Bouncer>();
            bouncer->back = &mainWnd;
        });
        EXPECT_EQ(bouncer->SendMessage(kMsgEcho, 10), 22);
        ASSERT_EQ(mainWnd.Log().size(), 1u);
        EXPECT_EQ(mainWnd.Log()[0].thread, std::this_thread::get_id());
    }
    bouncer.reset();
}

TEST(MessageLayer, WakeHandlerRunsOnThePostingThread) {
    RecordingWnd w;
    std::atomic<int> wakes{0};
    std::thread::id wakeThread, posterThread;
    CThreadMessageQueue::ForCurrentThread().SetWakeHandler([&] {
        ++wakes;
        wakeThread = std::this_thread::get_id();
    });
    std::thread poster([&] {
        posterThread = std::this_thread::get_id();
        w.PostMessage(kMsgA);
    });
    poster.join();
    EXPECT_EQ(wakeThread, posterThread);
    CThreadMessageQueue::ForCurrentThread().SetWakeHandler(nullptr);
    EXPECT_EQ(wakes.load(), 1);
    EXPECT_TRUE(CThreadMessageQueue::ForCurrentThread().WaitForMessage(0ms));
    EXPECT_EQ(CMessageLoop::PumpPending(), 1);
}

TEST(MessageLayer, RunUntilGivesUpAfterTheTimeout) {
    EXPECT_FALSE(CMessageLoop::RunUntil([] { return false; }, 20ms));
    EXPECT_TRUE(CMessageLoop::RunUntil([] { return true; }, 0ms));
}
