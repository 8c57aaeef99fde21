// Responsiveness of the program's GUI thread around the heliostat panel:
//  1. the largest gap between two turns of the event loop while "Generate and Upload" builds
//     and uploads a 700-pair trajectory to the simulated instrument at 115200 baud;
//  2. the process CPU while connected and idle, first without polls, then with the status
//     panel's two 250 ms polls (position and velocity: eight command lines a second).
// The simulated instrument runs in this process, so its thread is included in the CPU
// figures (an upper bound for the program). Usage: panels_responsiveness_bench [idle seconds]
#include <sys/resource.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

#include "HeliostatRig.h"
#include "QtMessagePump.h"
#include "core/Quorvel.h"
#include "platform/Wnd.h"

namespace {

constexpr double kGapLimitMs = 20.0;
constexpr int kPort = 6;

class COwner final : public CWnd {
public:
    CHeliostatControlsDlg* panel = nullptr;
    bool uploaded = false;
    int progressNotices = 0;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_QUORVEL_TRAJ_PROGRESS && panel) {
            panel->OnUploadProgress(static_cast<int>(wParam), lParam != 0);
            ++progressNotices;
        }
        if (message == WM_QUORVEL_TRAJ_UPLOADED)
            uploaded = true;
        return CWnd::WindowProc(message, wParam, lParam);
    }
};

double ProcessCpuMs() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec * 1e3 + usage.ru_utime.tv_usec / 1e3 +
           usage.ru_stime.tv_sec * 1e3 + usage.ru_stime.tv_usec / 1e3;
}

// Process CPU per second of wall time over `seconds` of the event loop.
double IdleCpuMsPerSecond(int seconds) {
    const double cpu0 = ProcessCpuMs();
    QElapsedTimer wall;
    wall.start();
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    return (ProcessCpuMs() - cpu0) * 1000.0 / static_cast<double>(wall.elapsed());
}

}  // namespace

int main(int argc, char** argv) {
    const int idleSeconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    QApplication app(argc, argv);
    CQtMessagePump pump;
    COwner owner;
    QuorvelBench::CHeliostatRig rig(owner, kPort, "quorvel-panels-bench");
    if (!rig.Start())
        return 1;
    CHeliostatControlsDlg& panel = *rig.panel;
    CQuorvel* device = rig.device.get();
    owner.panel = &panel;
    panel.show();

    // 1. Event-loop gaps during generate and upload.
    double maxGapMs = 0.0;
    QElapsedTimer sinceTick;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        maxGapMs = std::max(maxGapMs, sinceTick.nsecsElapsed() / 1e6);
        sinceTick.restart();
    });
    QElapsedTimer total;
    total.start();
    sinceTick.start();
    ticker.start();
    // The click is queued so that the generation runs inside the measured loop.
    QTimer::singleShot(
        5, [&] { panel.Item<QPushButton>(CHeliostatControlsDlg::IDC_GENERATE)->click(); });
    const bool done = QuorvelBench::RunEventLoopUntil([&] { return owner.uploaded; }, 60000);
    ticker.stop();
    const long long pairs = panel.TrajectoryTimes().GetSize();
    std::printf("upload of %lld pairs at 115200 baud: %s in %.0f ms, %d progress notices\n", pairs,
                done ? "complete" : "NOT complete", total.nsecsElapsed() / 1e6,
                owner.progressNotices);
    std::printf("largest event-loop gap: %.2f ms (limit %.0f ms, ratio %.2f)\n", maxGapMs,
                kGapLimitMs, maxGapMs / kGapLimitMs);

    // 2. Idle CPU while connected.
    QuorvelBench::RunEventLoopUntil([&] { return device->GetStatus(1).test(IDLE); }, 5000);
    const double quiet = IdleCpuMsPerSecond(idleSeconds);
    QTimer positionPoll, velocityPoll;
    QObject::connect(&positionPoll, &QTimer::timeout, [&] { device->GetPosition(nullptr); });
    QObject::connect(&velocityPoll, &QTimer::timeout, [&] { device->GetVelocity(); });
    positionPoll.start(250);
    velocityPoll.start(250);
    const std::size_t before = rig.simulator.ReceivedCount();
    const double polling = IdleCpuMsPerSecond(idleSeconds);
    const double linesPerSecond =
        static_cast<double>(rig.simulator.ReceivedCount() - before) / idleSeconds;
    positionPoll.stop();
    velocityPoll.stop();
    std::printf("idle while connected, no polls: %.2f ms CPU per s (%.3f %%)\n", quiet,
                quiet / 10.0);
    std::printf(
        "idle with the 250 ms polls (%.1f lines/s): %.2f ms CPU per s (%.3f %%), "
        "%.3f ms per poll\n",
        linesPerSecond, polling, polling / 10.0,
        linesPerSecond > 0 ? (polling - quiet) / linesPerSecond : 0.0);

    return done ? 0 : 1;
}
