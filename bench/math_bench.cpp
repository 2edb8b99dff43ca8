// What one surface costs the program before GL sees it: the surface code against do-nothing
// stand-ins for GL (gl_null.cpp), so only the column arithmetic and the calls themselves count.
#include "spread.h"
#include "surface.h"

#include <benchmark/benchmark.h>

namespace {

void surface(benchmark::State &state, void (*draw)())
{
    for (auto _ : state) { // NOLINT(clang-analyzer-deadcode.DeadStores): the loop's idiom
        draw();
    }
    // Each surface sends 100 strips of 501 columns, two vertices a column.
    state.counters["vertices/s"] =
        benchmark::Counter(100200.0, benchmark::Counter::kIsIterationInvariantRate);
}

// Both surfaces are measured alike: repeated runs with their spread.
void repeated(benchmark::internal::Benchmark *bench)
{
    withSpread(bench->Unit(benchmark::kMillisecond)
                   ->MinTime(0.2)
                   ->Repetitions(15)
                   ->ReportAggregatesOnly(true));
}

} // namespace

BENCHMARK_CAPTURE(surface, bumped, drawBumpedSurface)->Apply(repeated);
BENCHMARK_CAPTURE(surface, displaced, drawDisplacedSurface)->Apply(repeated);

BENCHMARK_MAIN();
