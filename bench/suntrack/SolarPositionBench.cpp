// Cost of the solar position: one position, a 700-point trajectory's worth of positions (the
// largest batch the heliostat panel computes on the GUI thread), and one sunrise/sunset.
// Limit: 25 µs per position. After the runs each benchmark's time per position is printed
// with its ratio to that limit.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "LimitReporter.h"
#include "core/SunPosition.h"

namespace {

constexpr double kLimitMicroseconds = 25.0;

SunPositionRequest Golden(std::int32_t request) {
    SunPositionRequest r{};
    r.year = 2003;
    r.month = 10;
    r.day = 17;
    r.hour = 12;
    r.minute = 30;
    r.second = 30;
    r.timeZone = -7;
    r.longitude = 105.1786;  // west
    r.latitude = 39.742476;
    r.elevation = 1830.14;
    r.pressure = 820.0;
    r.temperature = 11.0;
    r.zenithLimit = 90.8333;
    r.request = request;
    return r;
}

void OnePosition(benchmark::State& state) {
    const SunPositionRequest r = Golden(SUNPOS_ZENAZ);
    SunPositionResult result{};
    for (auto _ : state) {
        benchmark::DoNotOptimize(CalculateSunPosition(r, result));
        benchmark::ClobberMemory();
    }
    state.counters["positions"] = 1;
}
BENCHMARK(OnePosition);

void Trajectory700(benchmark::State& state) {
    // One point a minute from 06:30 to 18:10 local.
    SunPositionRequest r = Golden(SUNPOS_ZENAZ);
    SunPositionResult result{};
    for (auto _ : state) {
        for (int i = 0; i < 700; ++i) {
            const int minuteOfDay = 6 * 60 + 30 + i;
            r.hour = minuteOfDay / 60;
            r.minute = minuteOfDay % 60;
            benchmark::DoNotOptimize(CalculateSunPosition(r, result));
        }
        benchmark::ClobberMemory();
    }
    state.counters["positions"] = 700;
}
BENCHMARK(Trajectory700)->Unit(benchmark::kMicrosecond);

void SunriseSunset(benchmark::State& state) {
    const SunPositionRequest r = Golden(SUNPOS_RISESET);
    SunPositionResult result{};
    for (auto _ : state) {
        benchmark::DoNotOptimize(CalculateSunPosition(r, result));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(SunriseSunset)->Unit(benchmark::kMicrosecond);

// Per benchmark that states its positions, the time per position against the limit.
std::string LimitLine(const QuorvelBench::Run& run) {
    const auto positions = run.counters.find("positions");
    if (positions == run.counters.end() || run.iterations == 0) {
        return {};
    }
    // CPU time: on a loaded build machine the wall time mostly measures other jobs.
    const double perPosition =
        QuorvelBench::MicrosecondsPerIteration(run.cpu_accumulated_time, run) /
        positions->second.value;
    const double wallPerPosition =
        QuorvelBench::MicrosecondsPerIteration(run.real_accumulated_time, run) /
        positions->second.value;
    return run.benchmark_name() + ": " + QuorvelBench::Fixed3(perPosition) +
           " us CPU per position (wall " + QuorvelBench::Fixed3(wallPerPosition) + " us), limit " +
           QuorvelBench::Fixed3(kLimitMicroseconds) + " us, ratio " +
           QuorvelBench::Fixed3(perPosition / kLimitMicroseconds);
}

}  // namespace

int main(int argc, char** argv) {
    return QuorvelBench::RunWithLimits(argc, argv, LimitLine);
}
