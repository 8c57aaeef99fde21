// Cost of one "Generate and Upload" computation on the GUI thread: a 700-point trajectory
// (11 h 39 min at 60 s) with the alignment step, with Debug logging off (the normal ceiling)
// and on (every line and the four 700-row dumps written to a log file). Also the window step,
// which adds three sunrise/sunset searches. Limit: 20 ms per trajectory. After the runs each
// benchmark's CPU time is printed with its ratio to that limit.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "LimitReporter.h"
#include "core/AlignmentModel.h"
#include "core/TrajectoryGenerator.h"
#include "logging/Logger.h"
#include "platform/Clock.h"

namespace {

constexpr double kLimitMilliseconds = 20.0;

class CBenchPanel : public Suntrack::ITrajectoryPanel {
public:
    bool IsLimitMaxZenithChecked() const override { return false; }
    bool IsUseAlignmentChecked() const override { return true; }
    void SetStartTime(const SYSTEMTIME&) override {}
    int ShowMessage(const std::wstring&, UINT) override { return IDYES; }
    CArray<SYSTEMTIME>& TrajectoryTimes() override { return times; }
    CArray<double>& TrajectoryAzimuths() override { return azimuths; }
    CArray<double>& TrajectoryZeniths() override { return zeniths; }
    void SetMultiDay(bool) override {}

    CArray<SYSTEMTIME> times;
    CArray<double> azimuths;
    CArray<double> zeniths;
};

SYSTEMTIME Local(int y, int mo, int d, int h, int mi) {
    return Platform::MakeSystemTime(y, mo, d, h, mi);
}

Suntrack::TrajectorySettings Zurich() {
    Suntrack::TrajectorySettings s;
    s.site.longitudeEastDeg = 8.5417;
    s.site.latitudeDeg = 47.3769;
    s.site.elevationM = 408.0;
    s.site.pressureMb = 965.0;
    s.site.temperatureC = 12.0;
    return s;
}

// A fitted (non-identity) alignment: the instrument frame turned by 10 degrees.
Suntrack::CAlignmentModel RotatedAlignment(const Suntrack::LogTarget& log) {
    Suntrack::CAlignmentModel model;
    model.Calculate(
        std::vector<Suntrack::AlignmentObservation>{
            {30, 20, 40, 20}, {135, 50, 145, 50}, {250, 70, 260, 70}},
        log);
    return model;
}

void Generate700(benchmark::State& state, bool debug) {
    ::setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    ::tzset();
    const int ceiling = debug ? Logging::Debug : Logging::Informational;
    Logging::CLogger logger("Quorvel", [ceiling](int severity) { return severity <= ceiling; });
    const std::filesystem::path file =
        std::filesystem::temp_directory_path() /
        ("quorvel-trajectory-bench-" + std::to_string(::getpid()) + ".log");
    logger.SetFilePath(file.wstring());
    const Suntrack::LogTarget log{logger};
    const Suntrack::CAlignmentModel alignment = RotatedAlignment(log);
    const Suntrack::CTrajectoryGenerator generator(log, alignment);
    CBenchPanel panel;
    const SYSTEMTIME start = Local(2026, 6, 21, 6, 0);
    const SYSTEMTIME stop = Local(2026, 6, 21, 17, 39);  // 41 940 s: 700 points at 60 s
    int spacing = 0;
    for (auto _ : state) {
        generator.GenerateTrajectory(panel, spacing, start, stop, Zurich());
        benchmark::DoNotOptimize(panel.azimuths[699]);
    }
    state.counters["trajectories"] = 1;
    std::error_code ignored;
    std::filesystem::remove(file, ignored);
}

void Trajectory700Aligned(benchmark::State& state) {
    Generate700(state, false);
}
BENCHMARK(Trajectory700Aligned)->Unit(benchmark::kMillisecond);

void Trajectory700AlignedDebugLog(benchmark::State& state) {
    Generate700(state, true);
}
BENCHMARK(Trajectory700AlignedDebugLog)->Unit(benchmark::kMillisecond);

void WindowStep(benchmark::State& state) {
    ::setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    ::tzset();
    Logging::CLogger logger("Quorvel",
                            [](int severity) { return severity <= Logging::Informational; });
    const Suntrack::LogTarget log{logger};
    const Suntrack::CAlignmentModel alignment;
    const Suntrack::CTrajectoryGenerator generator(log, alignment);
    CBenchPanel panel;
    // "Now" a day before, so no question is asked.
    Platform::CManualClock clock(
        static_cast<Platform::Ticks>(Platform::LocalTimeToSeconds(Local(2026, 6, 20, 12, 0)) +
                                     11'644'473'600LL) *
        Platform::kTicksPerSecond);
    Platform::SetClock(&clock);
    for (auto _ : state) {
        SYSTEMTIME start = Local(2026, 6, 21, 2, 0);
        SYSTEMTIME stop = Local(2026, 6, 21, 23, 0);
        benchmark::DoNotOptimize(generator.AdjustTrajectoryWindow(start, panel, stop, Zurich()));
    }
    Platform::SetClock(nullptr);
}
BENCHMARK(WindowStep)->Unit(benchmark::kMillisecond);

// Each benchmark's time per trajectory against the limit.
std::string LimitLine(const QuorvelBench::Run& run) {
    if (run.iterations == 0) {
        return {};
    }
    // CPU time: on a loaded build machine the wall time mostly measures other jobs.
    const double cpuMs =
        QuorvelBench::MicrosecondsPerIteration(run.cpu_accumulated_time, run) / 1e3;
    const double wallMs =
        QuorvelBench::MicrosecondsPerIteration(run.real_accumulated_time, run) / 1e3;
    return run.benchmark_name() + ": " + QuorvelBench::Fixed3(cpuMs) + " ms CPU (wall " +
           QuorvelBench::Fixed3(wallMs) + " ms), limit " +
           QuorvelBench::Fixed3(kLimitMilliseconds) + " ms, ratio " +
           QuorvelBench::Fixed3(cpuMs / kLimitMilliseconds);
}

}  // namespace

int main(int argc, char** argv) {
    return QuorvelBench::RunWithLimits(argc, argv, LimitLine);
}
