#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstddef>
#include <vector>

// The value a fraction q of the repetitions stay at or below (nearest rank).
inline double quantile(std::vector<double> values, double q)
{
    const auto at = values.begin() +
                    static_cast<std::ptrdiff_t>(q * static_cast<double>(values.size() - 1) + 0.5);
    std::nth_element(values.begin(), at, values.end());
    return *at;
}

// p10 and p90 across the repetitions, beside the runner's own mean and median.
inline benchmark::internal::Benchmark *withSpread(benchmark::internal::Benchmark *bench)
{
    return bench
        ->ComputeStatistics("p10", [](const std::vector<double> &v) { return quantile(v, 0.1); })
        ->ComputeStatistics("p90", [](const std::vector<double> &v) { return quantile(v, 0.9); });
}
