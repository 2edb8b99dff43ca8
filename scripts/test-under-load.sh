#!/usr/bin/env bash
# Runs the tests (ctest --preset test) again and again while stress-ng keeps
# every core busy, as other jobs may on a shared CI machine: a test must wait
# for what it checks however long the program is kept waiting, and only the
# soak may give up, skipped and saying so, when the machine is too slow for it.
# Usage: scripts/test-under-load.sh [BUSY_THREADS [RUNS]]
#        (defaults: twice as many busy threads as cores, 3 runs)
set -euo pipefail
cd "$(dirname "$0")/.."

threads=${1:-$((2 * $(nproc)))}
runs=${2:-3}
scripts/install-deps.sh build test load
cmake --preset test >/dev/null
cmake --build --preset test -j "$(nproc)" >/dev/null

# The timeout stops the load should this script be killed outright.
stress-ng --cpu "$threads" --timeout "$((runs * 3600))" --quiet &
stress=$!
trap 'kill "$stress" 2>/dev/null || true' EXIT

failed=0
for run in $(seq "$runs"); do
    log=build-test/load-$run.log
    started=$SECONDS
    status=0
    # Verbose, for the soak's figures even when it passes.
    ctest --preset test -L '^(unit|e2e|soak)$' --verbose >"$log" 2>&1 || status=$?
    echo "run $run of $runs, $threads busy threads on $(nproc) cores:" \
        "$((SECONDS - started)) s, load average $(cut -d' ' -f1-3 /proc/loadavg)"
    sed -n '/tests passed, /,$p' "$log"
    grep -E 'frames in [0-9.]+ s|too slow|slowed down' "$log" || true
    ((status == 0)) || failed=$((failed + 1))
done
echo "test-under-load: $failed of $runs runs failed"
((failed == 0))
