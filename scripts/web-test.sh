#!/usr/bin/env bash
# Browser tests of the web page: builds it (scripts/web.sh build), captures the
# desktop program's frames for the same keys on a private Xvfb, then drives the
# page in headless Chromium and compares (web/tests/browser_test.py).
# Exits 77, saying why, when this system's Emscripten cannot build the page:
# the test command counts that as skipped, not passed.
# Usage: scripts/web-test.sh [--measure]   (--measure: frame times per view instead)
set -euo pipefail
cd "$(dirname "$0")/.."

if ! scripts/install-deps.sh web; then
    if ! apt-cache show emscripten >/dev/null 2>&1; then
        echo "web-test: SKIPPED: this Debian has no emscripten package" >&2
        exit 77
    fi
    exit 1
fi
scripts/install-deps.sh build run web-test

status=0
scripts/web.sh build || status=$?
if ((status == 77)); then
    echo "web-test: SKIPPED: this Emscripten cannot build the page (above)" >&2
    exit 77
fi
((status == 0)) || exit "$status"

if [[ ${1:-} == --measure ]]; then
    exec /usr/bin/python3 web/tests/browser_test.py --measure build-web
fi

# The desktop program's frames, each reached with the real keys.
cmake -S . -B build-web-native -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build build-web-native -j2 --target bumpmap >/dev/null
native=build-web/test/native
rm -rf "$native"
mkdir -p "$native"
source scripts/x-session.sh
start_xvfb
build-web-native/bumpmap &
owned_pids+=($!)
open_window
while read -r name keys; do
    [[ -z $name || $name == \#* ]] && continue
    # shellcheck disable=SC2086 # one word per key
    [[ -z $keys ]] || press_keys $keys
    capture_window "$native/$name.png"
done <web/tests/steps.txt
stop_owned
owned_pids=()
# Headless Chromium needs no X server, and one that has gone away costs the
# page its WebGL context ("BindToCurrentSequence failed").
unset DISPLAY

/usr/bin/python3 web/tests/browser_test.py build-web "$native"
