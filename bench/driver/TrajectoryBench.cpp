// Trajectory upload and timed start against the in-process simulator.
//
// 1. A 700-pair upload over a wire emulated at 115200 baud (10 bits per byte, both
//    directions, zero reply latency): total time from SetTrajectory to the uploaded notice
//    divided by the wire time of every byte exchanged (limit 1.10), and the longest gap
//    between two turns of the GUI thread's message loop meanwhile (limit 20 ms).
// 2. Timed-start precision with an empty queue: when "T!" and "G!" reach the simulator (its
//    command log, CLOCK_MONOTONIC) against their target instants, 10 s before and at the
//    start time. Never early; 95th percentile at most 5 ms late. The quick run (ctest) drives
//    the driver with a process clock 20 times faster than real time, so the 20 starts take
//    half a minute; the full run (no argument) uses real time and takes about four minutes.
//
// Prints figures and ratios against the limits; fails only when something does not work.
// `--upload-only` skips the timed starts (for comparing upload changes quickly).
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "InstrumentSimulator.h"
#include "UploadFigures.h"
#include "core/Quorvel.h"
#include "platform/Clock.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "platform/Wnd.h"

namespace {

using SteadyClock = std::chrono::steady_clock;
using std::chrono::milliseconds;
constexpr unsigned kPort = 22;
using uploadbench::kBaud;
using uploadbench::kPairs;
using uploadbench::Percentile;
constexpr double kLoopGapLimitMs = 20.0;
constexpr double kLateP95LimitMs = 5.0;

class COwner : public CWnd {
public:
    LRESULT WindowProc(UINT message, WPARAM, LPARAM lParam) override {
        switch (message) {
            case WM_QUORVEL_STATUS:
                ++statuses;
                break;
            case WM_QUORVEL_ERROR:
                ++errors;
                break;
            case WM_QUORVEL_TRAJ_UPLOADED:
                ++uploaded;
                break;
            case WM_QUORVEL_TRAJ_FINISHED:
                ++finished;
                break;
            default:
                break;
        }
        (void)lParam;
        return 0;
    }
    int statuses = 0;
    int errors = 0;
    int uploaded = 0;
    int finished = 0;
};

class CSilentBoxes : public Platform::IMessageBoxService {
public:
    int Show(const std::wstring&, const std::wstring&, UINT) override {
        ++shown;
        return IDOK;
    }
    int shown = 0;
};

std::unique_ptr<quorvel::sim::CInstrumentSimulator> StartSimulator(unsigned baud) {
    quorvel::sim::SSimulatorOptions options;
    options.portDir = Platform::PortDirectory().string();
    options.comPort = static_cast<int>(kPort);
    options.replaceLink = true;
    options.baud = baud;
    auto sim = std::make_unique<quorvel::sim::CInstrumentSimulator>();
    if (sim->Start(options).empty()) {
        std::fprintf(stderr, "trajectory_bench: simulator did not start: %s\n",
                     sim->LastError().c_str());
        return nullptr;
    }
    return sim;
}

bool Connect(CQuorvel& quorvel, COwner& owner) {
    CQuorvelSettings settings;
    settings.nPort = kPort;
    quorvel.SetSettings(settings);
    return quorvel.Connect() && Platform::CMessageLoop::RunUntil([&] { return owner.statuses > 0; },
                                                                 std::chrono::seconds(5));
}

// Uploads `n` pairs stamped from `firstStamp` one second apart; pumps until the uploaded
// notice, tracking the longest gap between two turns of the loop. `seconds`: from the call of
// SetTrajectory to the notice (building the arrays, up to 10 ms for 700 local time stamps,
// is the caller's work and not counted).
bool Upload(CQuorvel& quorvel, COwner& owner, int n, const SYSTEMTIME& firstStamp,
            double* longestGapMs, double* seconds) {
    CArray<SYSTEMTIME> times;
    CArray<double> az;
    CArray<double> ze;
    const Platform::Ticks first = Platform::SystemTimeToTicks(Platform::LocalToUtc(firstStamp));
    for (int i = 0; i < n; ++i) {
        times.Add(Platform::UtcToLocal(Platform::TicksToSystemTime(
            first + static_cast<Platform::Ticks>(i) * Platform::kTicksPerSecond)));
        az.Add(123.4567 + i * 0.001);
        ze.Add(45.0 - i * 0.001);
    }
    const int before = owner.uploaded;
    const SteadyClock::time_point begin = SteadyClock::now();
    SteadyClock::time_point last = begin;
    SteadyClock::duration longest{};
    if (!quorvel.SetTrajectory(60, times, az, ze))
        return false;
    const bool done = Platform::CMessageLoop::RunUntil(
        [&] {
            const auto now = SteadyClock::now();
            longest = std::max(longest, now - last);
            last = now;
            return owner.uploaded != before || owner.errors != 0;
        },
        std::chrono::seconds(60));
    if (seconds)
        *seconds = std::chrono::duration<double>(SteadyClock::now() - begin).count();
    if (longestGapMs)
        *longestGapMs = std::chrono::duration<double, std::milli>(longest).count();
    return done && owner.errors == 0;
}

int UploadBench(bool quick) {
    auto sim = StartSimulator(kBaud);
    if (!sim)
        return 1;
    COwner owner;
    int rc = 0;
    {
        CQuorvel quorvel(&owner);
        if (!Connect(quorvel, owner)) {
            std::fprintf(stderr, "trajectory_bench: the driver did not connect\n");
            return 1;
        }
        const int runs = quick ? 3 : 5;
        uploadbench::CUploadFigures figures;
        std::vector<double> gaps;
        for (int run = 0; run < runs && rc == 0; ++run) {
            const std::size_t logBefore = sim->ReceivedCount();
            double gapMs = 0;
            double totalS = 0;
            const SYSTEMTIME stamp = Platform::GetLocalTime();
            if (!Upload(quorvel, owner, kPairs, stamp, &gapMs, &totalS)) {
                std::fprintf(stderr, "trajectory_bench: the upload failed\n");
                rc = 1;
                break;
            }
            figures.AddRun(sim->CommandLog(), logBefore, totalS);
            gaps.push_back(gapMs);
        }
        if (rc == 0) {
            std::printf("trajectory_bench: upload of %d pairs at %u baud (wire time %.3f s)%s\n",
                        kPairs, kBaud, figures.wireS, quick ? " (quick run)" : "");
            figures.Print("limit");
            const double gap = *std::max_element(gaps.begin(), gaps.end());
            std::printf(
                "  longest GUI loop gap during the upload: %.2f ms; limit %.0f ms; "
                "ratio %.3f\n",
                gap, kLoopGapLimitMs, gap / kLoopGapLimitMs);
        }
        quorvel.Disconnect();
        owner.DestroyWindow();
    }
    return rc;
}

int StartBench(bool quick) {
    const double scale = quick ? 20.0 : 1.0;
    const int starts = 20;
    std::unique_ptr<quorvel::sim::CInstrumentSimulator> sim;
    CSilentBoxes boxes;
    Platform::SetMessageBoxService(&boxes);
    // The driver's clock: ticks T correspond to the monotonic instant
    // mono0 + (T - t0) / scale.
    const Platform::Ticks t0 = Platform::CRealClock().NowUtc();
    const std::int64_t mono0 = quorvel::sim::CInstrumentSimulator::MonotonicNs();
    Platform::CScaledClock clock(t0, scale);
    Platform::SetClock(&clock);
    auto monoOf = [&](Platform::Ticks ticks) {
        return static_cast<double>(mono0) +
               static_cast<double>(static_cast<std::int64_t>(ticks - t0)) * 100.0 / scale;
    };
    std::vector<double> lateMs;
    double earliestMs = 1e9;
    int rc = 0;
    // Each start on a fresh instrument and device object, as after a program start: every
    // start then begins from the same state with an empty queue.
    for (int i = 0; i < starts && rc == 0; ++i) {
        sim.reset();
        sim = StartSimulator(0);
        if (!sim) {
            rc = 1;
            break;
        }
        COwner owner;
        CQuorvel quorvel(&owner);
        if (!Connect(quorvel, owner)) {
            std::fprintf(stderr, "trajectory_bench: the driver did not connect\n");
            rc = 1;
        }
        {
            // 12 s ahead on the driver's clock, to the millisecond (0.1 s of real time in the
            // quick run for the upload).
            Platform::Ticks target = clock.NowUtc() + 12 * Platform::kTicksPerSecond;
            target -= target % Platform::kTicksPerMillisecond;
            const SYSTEMTIME stamp = Platform::UtcToLocal(Platform::TicksToSystemTime(target));
            if (!Upload(quorvel, owner, 1, stamp, nullptr, nullptr)) {
                std::fprintf(stderr, "trajectory_bench: the upload failed\n");
                rc = 1;
                break;
            }
            const std::size_t logBefore = sim->ReceivedCount();
            const int finishedBefore = owner.finished;
            // The GUI thread keeps pumping: the start thread's notifications wait for it.
            if (!quorvel.StartTrajectory(0) ||
                !Platform::CMessageLoop::RunUntil(
                    [&] { return sim->ReceivedCount() >= logBefore + 2 || owner.errors != 0; },
                    std::chrono::seconds(30))) {
                const auto log = sim->CommandLog();
                std::fprintf(stderr,
                             "trajectory_bench: start %d did not send \"T!\" and \"G!\" (%zu "
                             "lines since, last \"%s\", %d errors, %d boxes)\n",
                             i, log.size() - logBefore, log.empty() ? "" : log.back().text.c_str(),
                             owner.errors, boxes.shown);
                rc = 1;
                break;
            }
            const auto log = sim->CommandLog();
            const double init = (static_cast<double>(log[logBefore].monotonicNs) -
                                 monoOf(target - 10 * Platform::kTicksPerSecond)) /
                                1e6;
            const double go =
                (static_cast<double>(log[logBefore + 1].monotonicNs) - monoOf(target)) / 1e6;
            lateMs.push_back(init);
            lateMs.push_back(go);
            earliestMs = std::min({earliestMs, init, go});
            // A one-pair trajectory ends as soon as it starts ("T:1"); stop it if it has not.
            Platform::CMessageLoop::RunUntil(
                [&] { return owner.finished > finishedBefore || owner.errors != 0; },
                std::chrono::seconds(2));
            if (quorvel.GetStatus(1).test(TRAJECTORY)) {
                quorvel.Stop(StopTrajectory);
                Platform::CMessageLoop::RunUntil(
                    [&] { return !quorvel.GetStatus(1).test(TRAJECTORY); },
                    std::chrono::seconds(5));
            }
            if (owner.errors != 0 || boxes.shown != 0) {
                std::fprintf(stderr, "trajectory_bench: start %d reported an error\n", i);
                rc = 1;
            }
        }
        quorvel.Disconnect();
        owner.DestroyWindow();
    }
    sim.reset();
    Platform::SetClock(nullptr);
    Platform::SetMessageBoxService(nullptr);
    if (rc != 0)
        return rc;
    const double p95 = Percentile(lateMs, 0.95);
    std::printf("trajectory_bench: %d timed starts, empty queue, process clock x%.0f%s\n", starts,
                scale, quick ? " (quick run)" : "");
    std::printf(
        "  arrival of \"T!\"/\"G!\" after the target: earliest %+.3f ms, median %.3f ms, "
        "95th percentile %.3f ms, max %.3f ms\n",
        earliestMs, Percentile(lateMs, 0.5), p95, Percentile(lateMs, 1.0));
    std::printf("  never early: %s\n", earliestMs >= 0 ? "yes" : "NO");
    std::printf("  95th percentile late: %.3f ms; limit %.0f ms; ratio %.3f\n", p95,
                kLateP95LimitMs, p95 / kLateP95LimitMs);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    bool quick = false;
    bool uploadOnly = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0) {
            quick = true;
        } else if (std::strcmp(argv[i], "--upload-only") == 0) {
            uploadOnly = true;
        } else {
            std::fprintf(stderr, "usage: trajectory_bench [--quick] [--upload-only]\n");
            return 2;
        }
    }
    if (int rc = UploadBench(quick))
        return rc;
    return uploadOnly ? 0 : StartBench(quick);
}
