#!/usr/bin/env bash
# Builds and runs the frame-time benchmarks: the surface arithmetic alone, then frame, floor
# and orbit in a real window. Prints a Markdown table; the figures go to bench/results/latest.json.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-bench"

"$root/scripts/install-deps.sh" build bench

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUMPMAP_BENCH=ON -DBUILD_TESTING=OFF
cmake --build "$build" -j2 --target bumpmap_bench bumpmap_math_bench

# A window needs an X server; without one, start a private Xvfb on a free display.
if [[ -z "${DISPLAY:-}" ]]; then
    source "$root/scripts/x-session.sh"
    start_xvfb
fi

mkdir -p "$root/bench/results"
commit=$(git -C "$root" describe --always --dirty 2>/dev/null || echo unknown)
"$build/bench/bumpmap_math_bench" --benchmark_out="$build/math.json" \
    --benchmark_out_format=json >&2
"$build/bench/bumpmap_bench" --math "$build/math.json" --commit "$commit" \
    --json "$root/bench/results/latest.json" "$@"
