// The upload figures of trajectory_bench and upload_floor_bench, taken from the simulator's
// command log in the same way, so that the two benchmarks' figures can be set side by side.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "CommandLog.h"
#include "Percentiles.h"

namespace uploadbench {

constexpr int kPairs = 700;
constexpr unsigned kBaud = 115200;
constexpr double kUploadRatioLimit = 1.10;

// The wire time of one command and its acknowledgement: the line and its carriage return
// one way, "1" and its carriage return the other, 10 bits a byte.
inline double WireSeconds(const std::string& line) {
    return static_cast<double>(line.size() + 1 + 2) * 10.0 / kBaud;
}

using benchstats::Percentile;

class CUploadFigures {
public:
    // One upload: the commands the instrument logged from `first` on, and the time it took.
    void AddRun(const std::vector<quorvel::sim::SCommandLogEntry>& log, std::size_t first,
                double totalS) {
        wireS = 0;
        for (std::size_t i = first; i < log.size(); ++i)
            wireS += WireSeconds(log[i].text);
        // From one pair's arrival at the instrument to the next: the pair's wire time (line
        // and reply) plus everything else of one round trip. That excess is what the ratio is
        // made of; its spread tells steady cost from rare stalls.
        for (std::size_t i = first + 2; i < log.size(); ++i) {
            const double intervalUs =
                static_cast<double>(log[i].monotonicNs - log[i - 1].monotonicNs) / 1e3;
            m_beyondWireUs.push_back(intervalUs - WireSeconds(log[i].text) * 1e6);
        }
        m_ratios.push_back(totalS / wireS);
    }

    // `limitName` says whose limit the ratio is set against.
    void Print(const char* limitName) const {
        const double ratio = Percentile(m_ratios, 0.5);
        std::printf("  total / wire time: %.3f (median of %zu); %s %.2f; ratio %.3f\n", ratio,
                    m_ratios.size(), limitName, kUploadRatioLimit, ratio / kUploadRatioLimit);
        std::printf(
            "  one pair to the next at the instrument, beyond the pair's wire time: median "
            "%.0f us, 90th percentile %.0f us, 99th percentile %.0f us\n",
            Percentile(m_beyondWireUs, 0.5), Percentile(m_beyondWireUs, 0.9),
            Percentile(m_beyondWireUs, 0.99));
    }

    double wireS = 0;  // of the last upload

private:
    std::vector<double> m_ratios;
    std::vector<double> m_beyondWireUs;
};

}  // namespace uploadbench
