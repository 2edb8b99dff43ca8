#!/usr/bin/env bash
# The real bumpmap under valgrind's memcheck, driven by bumpmap-drive
# ($BUMPMAP_DRIVE, which CTest sets): keys, a few frames of the orbit, then
# Escape. Fails unless the program exits 0 and memcheck reports nothing beyond
# what tests/memcheck.supp lets through (the libraries' own reports).
set -euo pipefail
cd "$(dirname "$0")/.."
: "${BUMPMAP_DRIVE:?run it as ctest --preset test -L memcheck}"

scripts/install-deps.sh build run memcheck
# Debug, because an optimiser may fold a read of an uninitialised variable away
# before memcheck can see it.
build=build-memcheck
cmake --preset memcheck >/dev/null
cmake --build --preset memcheck -j "$(nproc)" >/dev/null

log=$build/memcheck.log
rm -f "$log"
# Each key changes the picture; Return starts the orbit, and three more of its
# frames follow.
steps=$build/memcheck-steps.txt
echo "keys a a space plus minus minus Left Right Up Down Prior Next space Return frame frame frame" >"$steps"
# llvmpipe draws a frame in about a second under memcheck, softpipe in three or four;
# beside other tests the first took over two minutes. The deadline only bounds
# how long a failure takes to show.
status=0
"$BUMPMAP_DRIVE" --steps "$steps" --timeout 600 -- env LIBGL_ALWAYS_SOFTWARE=1 GALLIUM_DRIVER=llvmpipe \
    valgrind --tool=memcheck --error-exitcode=99 --track-origins=yes --num-callers=50 \
    --leak-check=full --show-leak-kinds=definite --errors-for-leak-kinds=definite \
    --suppressions=tests/memcheck.supp --log-file="$log" "$build/bumpmap" || status=$?
grep -E 'ERROR SUMMARY' "$log" | sed 's/^==[0-9]*== /memcheck: /' || true
if ((status != 0)); then
    [[ ! -s $log ]] || head -n 150 "$log" >&2
    echo "memcheck: failed (above; exit status 99 is memcheck's own errors); the whole log is $log" >&2
    exit 1
fi
echo "memcheck: clean after 14 keys and 4 orbit frames; the log is $log"
