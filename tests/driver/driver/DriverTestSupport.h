// What driver tests share: an owner window that records every notification with copies of
// what it carries, a recording message-box service, the library's log file for the test
// binary, and small helpers for pumping and local times.
#pragma once

#include <bitset>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/Quorvel.h"
#include "platform/Clock.h"
#include "platform/MessageBox.h"
#include "platform/Wnd.h"

namespace drivertest {

struct SNotification {
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    std::wstring text;          // WM_QUORVEL_ERROR
    std::bitset<7> status;      // WM_QUORVEL_STATUS
    double values[2] = {0, 0};  // position, velocity
    IdStruct id;                // WM_QUORVEL_ID
};

// Records on the thread that created it (the GUI thread of the test).
class CRecordingOwner : public CWnd {
public:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    std::vector<SNotification> All() const;
    std::vector<SNotification> Of(UINT message) const;
    std::size_t Count(UINT message) const;
    // Whether any status notification carried exactly `status`.
    bool SawStatus(const std::bitset<7>& status) const;
    std::vector<UINT> Messages() const;
    void Clear();
    // Pumps this thread's queue until `count` notifications of `message` have arrived.
    bool WaitFor(UINT message, std::size_t count = 1, int timeoutMs = 5000) const;

    // Called on the GUI thread after each notification has been recorded, while its sender
    // (a worker that sends synchronously) still waits for it.
    std::function<void(const SNotification&)> onNotification;

private:
    mutable std::mutex m_lock;
    std::vector<SNotification> m_log;
};

struct SBox {
    std::wstring text;
    std::wstring caption;
    UINT type = 0;
};

class CRecordingBoxes : public Platform::IMessageBoxService {
public:
    int Show(const std::wstring& text, const std::wstring& caption, UINT type) override;
    std::vector<SBox> Boxes() const;

private:
    mutable std::mutex m_lock;
    std::vector<SBox> m_boxes;
};

// The library's log file of this test binary (ceiling 7). Marks let a test look only at the
// lines written since it started.
class CDriverLog {
public:
    static CDriverLog& Instance();
    std::size_t Mark() const;
    // Messages (the part after "]: ") of the lines since `mark`.
    std::vector<std::wstring> MessagesSince(std::size_t mark) const;
    // Whole lines since `mark`.
    std::vector<std::wstring> LinesSince(std::size_t mark) const;
    bool Contains(std::size_t mark, const std::wstring& message) const;
    // The severity name of the first line since `mark` with this message, or empty.
    std::wstring SeverityOf(std::size_t mark, const std::wstring& message) const;

private:
    CDriverLog();
    std::vector<std::wstring> AllLines() const;
    std::string m_path;
};

// Ends the test program with a message naming `what` when the scope is not left within
// `limit`: a call that blocks the GUI thread for good then fails the run instead of hanging it.
class CHangWatch {
public:
    explicit CHangWatch(std::string what,
                        std::chrono::milliseconds limit = std::chrono::seconds(10));
    ~CHangWatch();
    CHangWatch(const CHangWatch&) = delete;
    CHangWatch& operator=(const CHangWatch&) = delete;

private:
    std::mutex m_lock;
    std::condition_variable m_left;
    bool m_done = false;  // guarded by m_lock
    std::thread m_thread;
};

bool Pump(const std::function<bool()>& done, int timeoutMs = 5000);
void PumpFor(int ms);

// Local civil time `offset` from now on the process clock.
SYSTEMTIME LocalTimeIn(std::chrono::milliseconds offset);

// Hands `quorvel` a trajectory of `n` pairs (100 + i, 40 - i / 2) stamped one second apart from
// ten seconds from now on; answers what SetTrajectory answered.
int SetTestTrajectory(CQuorvel& quorvel, int n);

}  // namespace drivertest
