// Start-up to the first painted main window, and the CPU the program uses while it sits
// idle and disconnected. Usage: gui_startup_bench [IDLE_SECONDS]. Prints each figure with
// its limit and the ratio; the exit code only reports a program that never painted.
#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "MainFrame.h"
#include "QuorvelApp.h"

namespace {

using SteadyClock = std::chrono::steady_clock;

class CFirstPaint : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !painted) {
            painted = true;
            at = SteadyClock::now();
        }
        return QObject::eventFilter(watched, event);
    }
    bool painted = false;
    SteadyClock::time_point at;
};

void RunLoopFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

double CpuSeconds() {
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

}  // namespace

int main(int argc, char** argv) {
    const auto start = SteadyClock::now();
    const int idleSeconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    QApplication qtApp(argc, argv);
    CFirstPaint firstPaint;
    qtApp.installEventFilter(&firstPaint);
    CQuorvelApp app;
    if (!app.InitInstance())
        return 1;
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (firstPaint.painted)
            loop.quit();
    });
    poll.start(1);
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    loop.exec();
    poll.stop();
    qtApp.removeEventFilter(&firstPaint);
    if (!firstPaint.painted) {
        std::printf("start-up: the main window was never painted\n");
        return 1;
    }
    const double startupMs =
        std::chrono::duration<double, std::milli>(firstPaint.at - start).count();
    std::printf("start-up to painted main window: %.1f ms (limit 1000 ms, ratio %.3f)\n", startupMs,
                startupMs / 1000.0);

    RunLoopFor(500);  // let the start-up settle
    const double cpu0 = CpuSeconds();
    const auto wall0 = SteadyClock::now();
    RunLoopFor(idleSeconds * 1000);
    const double cpu = CpuSeconds() - cpu0;
    const double wall = std::chrono::duration<double>(SteadyClock::now() - wall0).count();
    const double percent = 100.0 * cpu / wall;
    std::printf("idle and disconnected: %.3f %% of one core over %.1f s (limit 1 %%, ratio %.3f)\n",
                percent, wall, percent / 1.0);
    app.ExitInstance();
    return 0;
}
