// Order statistics of a benchmark's samples: the p-quantile is the sample at index
// floor(p × n) of the sorted samples (the last one for p = 1); 0 for no samples.
#pragma once

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

namespace benchstats {

inline double Percentile(std::vector<double> samples, double p) {
    if (samples.empty())
        return 0.0;
    std::sort(samples.begin(), samples.end());
    const auto index = static_cast<std::size_t>(p * static_cast<double>(samples.size()));
    return samples[std::min(samples.size() - 1, index)];
}

inline double Median(std::vector<double> samples) {
    return Percentile(std::move(samples), 0.5);
}

}  // namespace benchstats
