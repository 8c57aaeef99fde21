// Responsiveness of the program's GUI thread around the heliostat panel:
//  1. the largest gap between two turns of the event loop while "Generate and Upload" builds
//     and uploads a 700-pair trajectory to the simulated instrument at 115200 baud;
//  2. the process CPU while connected and idle, first without polls, then with the status
//     panel's two 250 ms polls (position and velocity: eight command lines a second).
// The simulated instrument runs in this process, so its thread is included in the CPU
// figures (an upper bound for the program). Usage: panels_responsiveness_bench [idle seconds]
#include <sys/resource.h>

#include <QApplication>
#include <QCheckBox>
#include <QDateTimeEdit>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "HeliostatControlsDlg.h"
#include "InstrumentSimulator.h"
#include "QtMessagePump.h"
#include "core/Quorvel.h"
#include "platform/Clock.h"
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

// Runs the event loop (sleeping in it when there is nothing to do) until `done` or the
// timeout.
bool RunUntil(const std::function<bool()>& done, int timeoutMs) {
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (done())
            loop.quit();
    });
    check.start(5);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    if (!done())
        loop.exec();
    return done();
}

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
    ::setenv("TZ", "UTC0", 1);
    QApplication app(argc, argv);
    CQtMessagePump pump;
    // 04:00 UTC on midsummer day at a site on the Greenwich meridian; the window 05:00 to
    // 16:39 (41 940 s) holds exactly 700 points 60 s apart.
    Platform::CManualClock clock(static_cast<Platform::Ticks>(1'782'014'400LL + 11'644'473'600LL) *
                                 Platform::kTicksPerSecond);
    Platform::SetClock(&clock);

    const char* portDir = std::getenv("QUORVEL_PORT_DIR");
    const std::string dir =
        portDir ? portDir
                : (std::filesystem::temp_directory_path() / "quorvel-panels-bench").string();
    std::filesystem::create_directories(dir);
    quorvel::sim::CInstrumentSimulator simulator;
    quorvel::sim::SSimulatorOptions options;
    options.portDir = dir;
    options.comPort = kPort;
    options.replaceLink = true;
    options.baud = 115200;
    if (simulator.Start(options).empty()) {
        std::fprintf(stderr, "simulator: %s\n", simulator.LastError().c_str());
        return 1;
    }
    ::setenv("QUORVEL_PORT_DIR", dir.c_str(), 1);

    COwner owner;
    auto device = std::make_unique<CQuorvel>(&owner);
    CQuorvelSettings settings = device->GetSettings();
    settings.nPort = kPort;
    device->SetSettings(settings);
    CQuorvelAppSettings appSettings;
    appSettings.dLongitude = 0.0;
    appSettings.dLatitude = 45.0;
    appSettings.dPressure = 1013.0;
    appSettings.dTemperature = 20.0;
    Suntrack::CAlignmentModel alignment;
    COperatorContext context;
    context.device = [&] { return device.get(); };
    context.settings = [&] { return &appSettings; };
    context.alignment = [&] { return &alignment; };

    CHeliostatControlsDlg panel(context, nullptr);
    owner.panel = &panel;
    panel.Create();
    panel.show();
    panel.Item<QCheckBox>(CHeliostatControlsDlg::IDC_AUTO_RUN)->setChecked(false);
    panel.SetStartTime(SYSTEMTIME{2026, 6, 0, 21, 5, 0, 0, 0});
    panel.SetStopTime(SYSTEMTIME{2026, 6, 0, 21, 16, 39, 0, 0});

    if (device->Connect() != 1 || !RunUntil([&] { return device->IsConnected() != 0; }, 5000)) {
        std::fprintf(stderr, "could not connect to the simulated instrument\n");
        return 1;
    }
    RunUntil([&] { return device->GetStatus(1).test(IDLE); }, 5000);

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
    const bool done = RunUntil([&] { return owner.uploaded; }, 60000);
    ticker.stop();
    const long long pairs = panel.TrajectoryTimes().GetSize();
    std::printf("upload of %lld pairs at 115200 baud: %s in %.0f ms, %d progress notices\n", pairs,
                done ? "complete" : "NOT complete", total.nsecsElapsed() / 1e6,
                owner.progressNotices);
    std::printf("largest event-loop gap: %.2f ms (limit %.0f ms, ratio %.2f)\n", maxGapMs,
                kGapLimitMs, maxGapMs / kGapLimitMs);

    // 2. Idle CPU while connected.
    RunUntil([&] { return device->GetStatus(1).test(IDLE); }, 5000);
    const double quiet = IdleCpuMsPerSecond(idleSeconds);
    QTimer positionPoll, velocityPoll;
    QObject::connect(&positionPoll, &QTimer::timeout, [&] { device->GetPosition(nullptr); });
    QObject::connect(&velocityPoll, &QTimer::timeout, [&] { device->GetVelocity(); });
    positionPoll.start(250);
    velocityPoll.start(250);
    const std::size_t before = simulator.ReceivedCount();
    const double polling = IdleCpuMsPerSecond(idleSeconds);
    const double linesPerSecond =
        static_cast<double>(simulator.ReceivedCount() - before) / idleSeconds;
    positionPoll.stop();
    velocityPoll.stop();
    std::printf("idle while connected, no polls: %.2f ms CPU per s (%.3f %%)\n", quiet,
                quiet / 10.0);
    std::printf(
        "idle with the 250 ms polls (%.1f lines/s): %.2f ms CPU per s (%.3f %%), "
        "%.3f ms per poll\n",
        linesPerSecond, polling, polling / 10.0,
        linesPerSecond > 0 ? (polling - quiet) / linesPerSecond : 0.0);

    device->Disconnect();
    device.reset();
    simulator.Stop();
    Platform::SetClock(nullptr);
    return done ? 0 : 1;
}
