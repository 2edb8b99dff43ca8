#!/usr/bin/env bash
# Builds and runs the frame-time benchmarks under Google Benchmark's runner: the surface
# arithmetic alone, then frame, floor and orbit in a real window. Prints a Markdown table; the
# figures go to bench/results/latest.json. Arguments go to the frame runner, for example
# --benchmark_filter=bumped or --benchmark_repetitions=100.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-bench"

# A window needs an X server; without one, this script runs again on the
# private Xvfb of bumpmap-drive --run.
if [[ -z "${DISPLAY:-}" ]]; then
    "$root/scripts/install-deps.sh" build test
    (cd "$root" && cmake --preset test >/dev/null &&
        cmake --build --preset test -j "$(nproc)" --target bumpmap_drive >/dev/null)
    exec "$root/build-test/tests/harness/bumpmap-drive" --run -- "$0" "$@"
fi

"$root/scripts/install-deps.sh" build bench
(cd "$root" && cmake --preset bench && cmake --build --preset bench -j "$(nproc)")

# No figures from an earlier run can be reported as this one's.
rm -f "$build/math.json" "$build/frame.json" "$root/bench/results/latest.json"
commit=$(git -C "$root" describe --always --dirty 2>/dev/null || echo unknown)
"$build/bench/bumpmap_math_bench" --benchmark_out="$build/math.json" \
    --benchmark_out_format=json >&2
"$build/bench/bumpmap_bench" --benchmark_out="$build/frame.json" --benchmark_out_format=json \
    --benchmark_context=commit="$commit" "$@" >&2
mkdir -p "$root/bench/results"
/usr/bin/python3 "$root/scripts/bench-report.py" "$build/frame.json" "$build/math.json" \
    "$root/bench/results/latest.json"
