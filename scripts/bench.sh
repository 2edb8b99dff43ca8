#!/usr/bin/env bash
# Builds and runs the frame-time benchmarks under Google Benchmark's runner: the surface
# arithmetic alone, then frame, floor and orbit in a real window. Prints a Markdown table; the
# figures go to bench/results/latest.json. Arguments go to the frame runner, for example
# --benchmark_filter=bumped or --benchmark_repetitions=100.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-bench"

"$root/scripts/install-deps.sh" build bench

(cd "$root" && cmake --preset bench && cmake --build --preset bench -j "$(nproc)")

# A window needs an X server; without one, start a private Xvfb on a free display.
if [[ -z "${DISPLAY:-}" ]]; then
    source "$root/scripts/x-session.sh"
    start_xvfb
fi

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
