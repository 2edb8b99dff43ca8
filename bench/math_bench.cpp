// What one surface costs the program before GL sees it: the surface code against do-nothing
// stand-ins for GL (gl_null.cpp), so only the column arithmetic and the calls themselves count.
#include "surface.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

namespace {

double percentile(const std::vector<double> &values, double p)
{
    std::vector<double> sorted = values;
    std::sort(sorted.begin(), sorted.end());
    const double at = p * static_cast<double>(sorted.size() - 1);
    const auto low = static_cast<std::size_t>(at);
    const std::size_t high = std::min(low + 1, sorted.size() - 1);
    return sorted[low] + (sorted[high] - sorted[low]) * (at - static_cast<double>(low));
}

double p10(const std::vector<double> &values) { return percentile(values, 0.1); }
double p90(const std::vector<double> &values) { return percentile(values, 0.9); }

void surface(benchmark::State &state, void (*draw)())
{
    for (auto _ : state) { // NOLINT(clang-analyzer-deadcode.DeadStores): the loop's idiom
        draw();
    }
    // Each surface sends 100 strips of 501 columns, two vertices a column.
    state.counters["vertices/s"] = benchmark::Counter(
        100200.0 * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

} // namespace

// Both surfaces are measured alike: repeated runs with their spread.
void withSpread(benchmark::internal::Benchmark *bench)
{
    bench->Unit(benchmark::kMillisecond)
        ->MinTime(0.2)
        ->Repetitions(15)
        ->ReportAggregatesOnly(true)
        ->ComputeStatistics("p10", p10)
        ->ComputeStatistics("p90", p90);
}

BENCHMARK_CAPTURE(surface, bumped, drawBumpedSurface)->Apply(withSpread);
BENCHMARK_CAPTURE(surface, displaced, drawDisplacedSurface)->Apply(withSpread);

BENCHMARK_MAIN();
