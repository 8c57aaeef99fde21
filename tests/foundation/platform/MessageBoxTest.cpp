#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "platform/MessageBox.h"
#include "platform/Wnd.h"

using namespace Platform;
using namespace std::chrono_literals;

namespace {

class RecordingBoxes : public IMessageBoxService {
public:
    int Show(const std::wstring& text, const std::wstring& caption, UINT type) override {
        std::lock_guard<std::mutex> guard(lock);
        texts.push_back(text);
        captions.push_back(caption);
        types.push_back(type);
        threads.push_back(std::this_thread::get_id());
        return answer;
    }
    std::mutex lock;
    std::vector<std::wstring> texts, captions;
    std::vector<UINT> types;
    std::vector<std::thread::id> threads;
    int answer = IDYES;
};

}  // namespace

TEST(MessageBoxes, WorkerBoxIsShownOnTheServiceThreadWhileItPumps) {
    RecordingBoxes boxes;
    SetMessageBoxService(&boxes);
    std::atomic<int> answer{0};
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        answer = ShowMessageBox(L"WARNING:  ReadFile() Failed", L"Application Error",
                                MB_YESNO | MB_ICONERROR);
        returned = true;
    });
    EXPECT_TRUE(CMessageLoop::RunUntil([&] { return returned.load(); }, 10s));
    worker.join();
    SetMessageBoxService(nullptr);
    EXPECT_EQ(answer.load(), IDYES);
    ASSERT_EQ(boxes.threads.size(), 1u);
    EXPECT_EQ(boxes.threads[0], std::this_thread::get_id());
    EXPECT_EQ(boxes.texts[0], L"WARNING:  ReadFile() Failed");
    EXPECT_EQ(boxes.captions[0], L"Application Error");
    EXPECT_EQ(boxes.types[0], MB_YESNO | MB_ICONERROR);
}

TEST(MessageBoxes, ServiceThreadShowsItsOwnBoxesDirectly) {
    RecordingBoxes boxes;
    boxes.answer = IDCANCEL;
    SetMessageBoxService(&boxes);
    EXPECT_EQ(ShowMessageBox(L"text", L"caption", MB_OKCANCEL), IDCANCEL);
    SetMessageBoxService(nullptr);
    EXPECT_EQ(boxes.texts.size(), 1u);
}

TEST(MessageBoxes, WithoutServiceTheTextGoesToStandardError) {
    ::testing::internal::CaptureStderr();
    const int answer = ShowMessageBox(L"Port gone", L"Application Error", MB_YESNO);
    const std::string shown = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(answer, IDOK);
    EXPECT_EQ(shown, "Application Error: Port gone\n");
}

TEST(MessageBoxes, RemovingTheServiceReleasesABlockedCaller) {
    RecordingBoxes boxes;
    SetMessageBoxService(&boxes);
    std::atomic<int> answer{0};
    ::testing::internal::CaptureStderr();
    std::thread worker([&] { answer = ShowMessageBox(L"late", L"Box", MB_OK); });
    while (CThreadMessageQueue::ForCurrentThread().PendingCount() == 0) {
        std::this_thread::yield();
    }
    SetMessageBoxService(nullptr);  // without pumping: the box is never shown
    worker.join();
    const std::string shown = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(answer.load(), IDOK);
    EXPECT_TRUE(boxes.texts.empty());
    EXPECT_EQ(shown, "Box: late\n");
}
