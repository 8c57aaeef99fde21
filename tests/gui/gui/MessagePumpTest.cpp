// The window-message layer driven by Qt's event loop: posts and cross-thread sends from a
// worker reach a GUI-thread target in order, also inside a nested (modal) loop; the idle
// hook runs when the loop is about to wait.
#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QTimer>
#include <atomic>
#include <thread>
#include <vector>

#include "GuiTestSupport.h"
#include "IdleHook.h"
#include "QtMessageBoxService.h"
#include "QtMessagePump.h"
#include "platform/Wnd.h"

namespace {

class CRecorder : public CWnd {
public:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM) override {
        if (message == WM_APP + 1) {
            received.push_back(static_cast<int>(wParam));
            onGuiThread = onGuiThread && std::this_thread::get_id() == OwnerThread();
            return static_cast<LRESULT>(wParam) * 2;
        }
        return 0;
    }
    std::vector<int> received;
    bool onGuiThread = true;
};

TEST(QtMessagePump, PostsFromAWorkerArriveInOrderOnTheGuiThread) {
    CQtMessagePump pump;
    CRecorder target;
    std::thread worker([&] {
        for (int i = 0; i < 500; ++i)
            target.PostMessage(WM_APP + 1, static_cast<WPARAM>(i));
    });
    worker.join();
    ASSERT_TRUE(GuiTest::RunLoopUntil([&] { return target.received.size() == 500; }, 5000));
    for (int i = 0; i < 500; ++i)
        ASSERT_EQ(target.received[static_cast<std::size_t>(i)], i);
    EXPECT_TRUE(target.onGuiThread);
}

TEST(QtMessagePump, CrossThreadSendIsServedInsideAModalLoop) {
    CQtMessagePump pump;
    CRecorder target;
    std::atomic<LRESULT> answer{0};
    QDialog modal;
    std::thread worker;
    QTimer::singleShot(0, &modal, [&] {
        worker = std::thread([&] {
            answer = target.SendMessage(WM_APP + 1, 21);
            QMetaObject::invokeMethod(
                &modal, [&] { modal.done(0); }, Qt::QueuedConnection);
        });
    });
    modal.exec();
    worker.join();
    EXPECT_EQ(answer.load(), 42);
    EXPECT_EQ(target.received, std::vector<int>{21});
}

TEST(IdleHook, RunsWhenTheLoopIsAboutToWait) {
    int passes = 0;
    CIdleHook hook([&] { ++passes; });
    GuiTest::RunLoopFor(30);
    EXPECT_GT(passes, 0);
    EXPECT_EQ(hook.Passes(), passes);
}

}  // namespace

namespace {

// Presses the button with `text` on the box once it is up.
void PressOnBox(const QString& text) {
    QTimer::singleShot(0, [text] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        for (QAbstractButton* button : box->buttons())
            if (button->text().remove('&') == text)
                button->click();
    });
}

TEST(QtMessageBoxService, ButtonsAndIconFollowTheStyleAndTheAnswerIsThePressedButton) {
    CQtMessageBoxService service(QStringLiteral("Quorvel"));
    QTimer::singleShot(0, [] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->icon(), QMessageBox::Question);
        EXPECT_EQ(box->windowTitle(), "Quorvel");
        EXPECT_EQ(box->text(), "Start anyway?");
    });
    PressOnBox("No");
    EXPECT_EQ(service.Show(L"Start anyway?", L"", MB_YESNO | MB_ICONQUESTION), IDNO);
    PressOnBox("Yes");
    EXPECT_EQ(service.Show(L"Start anyway?", L"", MB_YESNO | MB_ICONQUESTION), IDYES);
    PressOnBox("OK");
    EXPECT_EQ(service.Show(L"Error opening the COM port", L"Caption", MB_OK | MB_ICONWARNING),
              IDOK);
}

}  // namespace
