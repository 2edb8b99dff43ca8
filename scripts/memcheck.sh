#!/usr/bin/env bash
# Runs the real bumpmap under valgrind's memcheck on a private Xvfb, presses keys
# through XTEST, lets the light orbit a few frames and quits with Escape. Fails
# unless the program exits 0 and memcheck reports nothing beyond what
# scripts/memcheck.supp lets through (the libraries' own reports).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh build run memcheck
# Debug, because an optimiser may fold a read of an uninitialised variable away
# before memcheck can see it.
build="build-memcheck"
cmake --preset memcheck >/dev/null
cmake --build --preset memcheck -j "$(nproc)" >/dev/null

source scripts/x-session.sh
log="$build/memcheck.log"
rm -f "$log"
# Whatever went wrong, memcheck's log tells most about it.
stop_and_show_log() {
    local status=$?
    stop_owned
    if ((status != 0)) && [[ -s $log ]]; then
        head -n 150 "$log" >&2
        echo "memcheck: failed; the whole log is $log" >&2
    fi
}
trap stop_and_show_log EXIT
start_xvfb

# llvmpipe draws a frame in about a second under memcheck, softpipe in three or four.
LIBGL_ALWAYS_SOFTWARE=1 GALLIUM_DRIVER=llvmpipe \
    valgrind --tool=memcheck --error-exitcode=99 --track-origins=yes --num-callers=50 \
    --leak-check=full --show-leak-kinds=definite --errors-for-leak-kinds=definite \
    --suppressions=scripts/memcheck.supp --log-file="$log" \
    "$build/bumpmap" &
program=$!
owned_pids+=("$program")

open_window 120

# Each key changes the picture; wait for its frame before the next one.
keys=(a a space plus minus minus Left Right Up Down Prior Next space Return)
for key in "${keys[@]}"; do
    xdotool key "$key"
    frame=$(wait_for_new_frame "$window" "$frame" 120)
done
# Return started the orbit and drew its first frame; let it draw three more.
for _ in 1 2 3; do
    frame=$(wait_for_new_frame "$window" "$frame" 120)
done
xdotool key Return Escape

status=0
timeout 120 tail --pid="$program" -f /dev/null || { echo "bumpmap did not quit" >&2; exit 1; }
wait "$program" || status=$?
grep -E 'ERROR SUMMARY' "$log" | sed 's/^==[0-9]*== /memcheck: /'
if ((status != 0)); then
    echo "memcheck: bumpmap exited with status $status (99: memcheck found errors)" >&2
    exit 1
fi
echo "memcheck: clean after ${#keys[@]} keys and 4 orbit frames; the log is $log"
