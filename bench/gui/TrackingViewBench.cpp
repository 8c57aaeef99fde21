// The "Tracking" page's redraw cost on the GUI thread, as a ratio to the 20 ms limit on
// gaps between two turns of the event loop:
//  1. during "Generate and Upload" of a 700-pair trajectory to the simulated instrument at
//     115200 baud with the page shown (upload progress notices arrive for every pair);
//  2. while a trajectory runs late in the day: eight hours of 4 Hz positions already in the
//     page (the day's time plot and the hour's trail full), new positions arriving four
//     times a second; the largest gap, and the page's largest single redraw (data replaced
//     and painted) in wall time and in the GUI thread's CPU time, which a loaded machine
//     does not inflate.
// Usage: gui_tracking_bench [RUN_SECONDS]. A smoke run prints ratios and never fails on them.
#include <time.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "HeliostatRig.h"
#include "QtMessagePump.h"
#include "TrackingView.h"
#include "core/HeliostatWorkflow.h"
#include "core/Quorvel.h"
#include "platform/Clock.h"
#include "platform/Wnd.h"

namespace {

constexpr double kGapLimitMs = 20.0;
constexpr int kPort = 7;
constexpr std::int64_t kEpochTicks = 11'644'473'600LL;

// Forwards the device's notifications as the program's view does.
class COwner final : public CWnd {
public:
    CHeliostatControlsDlg* panel = nullptr;
    CTrackingView* page = nullptr;
    bool uploaded = false;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (!page)
            return CWnd::WindowProc(message, wParam, lParam);
        switch (message) {
            case WM_QUORVEL_TRAJ_PROGRESS:
                panel->OnUploadProgress(static_cast<int>(wParam), lParam != 0);
                page->OnUploadProgress(static_cast<int>(wParam), lParam != 0);
                break;
            case WM_QUORVEL_TRAJ_UPLOADED:
                uploaded = true;
                page->OnUploadComplete();
                break;
            case WM_QUORVEL_STATUS:
                page->OnStatus(static_cast<unsigned>(
                    reinterpret_cast<const std::bitset<7>*>(wParam)->to_ulong()));
                break;
            case WM_QUORVEL_GET_POSITION: {
                const auto* v = reinterpret_cast<const double*>(wParam);
                page->OnPosition(v[0], v[1]);
                break;
            }
            default:
                break;
        }
        return CWnd::WindowProc(message, wParam, lParam);
    }
};

// CPU time of the calling thread, milliseconds: the page's own cost, whatever else the
// machine runs at the same time.
double ThreadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// Measures the largest gap between turns of the event loop while it runs.
class CGapMeter {
public:
    CGapMeter() {
        m_ticker.setTimerType(Qt::PreciseTimer);
        m_ticker.setInterval(1);
        QObject::connect(&m_ticker, &QTimer::timeout, [this] {
            maxGapMs = std::max(maxGapMs, m_since.nsecsElapsed() / 1e6);
            m_since.restart();
        });
    }
    void Start() {
        maxGapMs = 0;
        m_since.start();
        m_ticker.start();
    }
    void Stop() { m_ticker.stop(); }
    double maxGapMs = 0;

private:
    QTimer m_ticker;
    QElapsedTimer m_since;
};

// One redraw as the page's timer makes it, with the work the charts leave to the event loop
// (layout requests, the scene's dirty items) and the paint.
void RedrawAndPaint(CTrackingView& page) {
    page.Redraw();
    QCoreApplication::processEvents();
    page.repaint();
    QCoreApplication::processEvents();
}

}  // namespace

int main(int argc, char** argv) {
    const int runSeconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    QApplication app(argc, argv);
    CQtMessagePump pump;
    COwner owner;
    QuorvelBench::CHeliostatRig rig(owner, kPort, "quorvel-tracking-bench");
    Platform::CManualClock& clock = rig.clock;
    if (!rig.Start())
        return 1;
    CHeliostatControlsDlg* panel = rig.panel.get();
    CPanelContext panelContext;
    panelContext.device = rig.context.device;

    CTrackingView::UploadSource source;
    source.track = [&] {
        Suntrack::CTrajectoryTrack track;
        for (long long i = 0; i < panel->TrajectoryTimes().GetSize(); ++i) {
            track.AddLocal(panel->TrajectoryTimes()[i], panel->TrajectoryAzimuths()[i],
                           panel->TrajectoryZeniths()[i]);
        }
        return track;
    };
    source.unattended = [] { return false; };
    CTrackingView page(panelContext, rig.context, source, nullptr);
    page.Create();
    page.resize(760, 420);
    page.show();
    owner.panel = panel;
    owner.page = &page;

    // 1. The upload with the page shown.
    CGapMeter gaps;
    const int redrawsBefore = page.RedrawCount();
    gaps.Start();
    QTimer::singleShot(
        5, [&] { panel->Item<QPushButton>(CHeliostatControlsDlg::IDC_GENERATE)->click(); });
    const bool done = QuorvelBench::RunEventLoopUntil([&] { return owner.uploaded; }, 60000);
    gaps.Stop();
    std::printf("upload of %lld pairs with the Tracking page shown: %s, %d page redraws\n",
                panel->TrajectoryTimes().GetSize(), done ? "complete" : "NOT complete",
                page.RedrawCount() - redrawsBefore);
    std::printf("largest event-loop gap during the upload: %.2f ms (limit %.0f ms, ratio %.2f)\n",
                gaps.maxGapMs, kGapLimitMs, gaps.maxGapMs / kGapLimitMs);

    // 2. Running, late in the day: eight hours of positions at 4 Hz already recorded.
    page.OnStatus(Suntrack::HeliostatStatus::kTrajectory);
    const Suntrack::CTrajectoryTrack& track = page.Monitor().Track();
    double t = track.FirstUtc();
    const auto feed = [&] {
        clock.Set(static_cast<Platform::Ticks>((t + static_cast<double>(kEpochTicks)) *
                                               static_cast<double>(Platform::kTicksPerSecond)));
        const auto commanded = track.CommandedAt(t);
        if (commanded)
            page.OnPosition(commanded->azimuthDeg + 0.01, commanded->zenithDeg - 0.01);
        t += 0.25;
    };
    while (t < track.FirstUtc() + 8 * 3600.0)
        feed();
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, feed);
    QElapsedTimer one;
    one.start();
    double cpu0 = ThreadCpuMs();
    RedrawAndPaint(page);  // the first full draw of the loaded page
    const double firstRedrawMs = one.nsecsElapsed() / 1e6;
    const double firstRedrawCpuMs = ThreadCpuMs() - cpu0;
    const int runningBefore = page.RedrawCount();
    gaps.Start();
    poll.start(250);
    QEventLoop loop;
    QTimer::singleShot(runSeconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    poll.stop();
    gaps.Stop();
    const double runningGapMs = gaps.maxGapMs;
    const int timedRedraws = page.RedrawCount() - runningBefore;

    // The same with the page hidden (it then skips its redraws): what the machine and the
    // rest of the loop charge, for comparison.
    page.hide();
    gaps.Start();
    poll.start(250);
    QTimer::singleShot(runSeconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    poll.stop();
    gaps.Stop();
    const double hiddenGapMs = gaps.maxGapMs;
    page.show();
    // Steady-state redraws: one new position each, as the timer's redraws while running.
    double worstRedrawMs = 0;
    double worstRedrawCpuMs = 0;
    for (int i = 0; i < 20; ++i) {
        feed();
        one.restart();
        cpu0 = ThreadCpuMs();
        RedrawAndPaint(page);
        worstRedrawCpuMs = std::max(worstRedrawCpuMs, ThreadCpuMs() - cpu0);
        worstRedrawMs = std::max(worstRedrawMs, one.nsecsElapsed() / 1e6);
    }
    std::printf("running, %zu day points and %zu trail points plotted: %d redraws in %d s\n",
                page.Monitor().DayPositions().size(), page.Monitor().Trail().size(), timedRedraws,
                runSeconds);
    std::printf(
        "first draw of the loaded page: %.2f ms wall, %.2f ms CPU (limit %.0f ms, "
        "CPU ratio %.2f)\n",
        firstRedrawMs, firstRedrawCpuMs, kGapLimitMs, firstRedrawCpuMs / kGapLimitMs);
    std::printf(
        "largest of 20 redraws (data and paint): %.2f ms wall, %.2f ms CPU (limit %.0f ms, "
        "CPU ratio %.2f)\n",
        worstRedrawMs, worstRedrawCpuMs, kGapLimitMs, worstRedrawCpuMs / kGapLimitMs);
    std::printf(
        "largest event-loop gap while running: %.2f ms (limit %.0f ms, ratio %.2f); "
        "with the page hidden: %.2f ms (ratio %.2f)\n",
        runningGapMs, kGapLimitMs, runningGapMs / kGapLimitMs, hiddenGapMs,
        hiddenGapMs / kGapLimitMs);

    owner.page = nullptr;  // the rig's disconnect still notifies the owner
    return done ? 0 : 1;
}
