// Console reporter of the benchmark programs: the usual table, then one line per run that
// states its figure against a limit. The lines are kept until the end so the ratios stand
// together below the table, where a smoke run's log is read.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace QuorvelBench {

using Run = benchmark::BenchmarkReporter::Run;

// A figure in the limit lines: three decimals.
inline std::string Fixed3(double value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.3f", value);
    return buffer;
}

// Seconds accumulated over a run's iterations as microseconds per iteration. The caller
// skips runs without iterations.
inline double MicrosecondsPerIteration(double accumulatedSeconds, const Run& run) {
    return accumulatedSeconds / static_cast<double>(run.iterations) * 1e6;
}

class LimitReporter : public benchmark::ConsoleReporter {
public:
    // Words one run against its limit; an empty text leaves the run out.
    using LineFor = std::function<std::string(const Run&)>;

    explicit LimitReporter(LineFor lineFor)
        : ConsoleReporter(OO_Tabular), m_lineFor(std::move(lineFor)) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            std::string line = m_lineFor(run);
            if (!line.empty()) {
                m_lines.push_back(std::move(line));
            }
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        for (const std::string& line : m_lines) {
            std::printf("%s\n", line.c_str());
        }
    }

private:
    LineFor m_lineFor;
    std::vector<std::string> m_lines;
};

// The whole main of a benchmark program: unknown arguments are refused with exit code 1,
// the benchmarks the command line selects run through a LimitReporter.
inline int RunWithLimits(int argc, char** argv, LimitReporter::LineFor lineFor) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    LimitReporter reporter(std::move(lineFor));
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}

}  // namespace QuorvelBench
