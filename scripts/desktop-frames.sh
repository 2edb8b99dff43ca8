#!/usr/bin/env bash
# Captures the desktop program's window at every state of tests/steps.txt, each
# reached from the one before with the real keys, as build-frames/NAME.png: the
# pictures the ports are compared with. Made once and kept while the program
# and the steps are unchanged, so several stages of one test run share them.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh build run pictures
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" >/dev/null

frames=build-frames
stamp=$(cat build/bumpmap tests/steps.txt | md5sum)
if [[ -f $frames/stamp && $(cat "$frames/stamp") == "$stamp" ]]; then
    exit 0
fi
rm -rf "$frames"
mkdir -p "$frames"
source scripts/x-session.sh
start_xvfb
build/bumpmap &
owned_pids+=($!)
open_window
while read -r name keys; do
    [[ -z $name || $name == \#* ]] && continue
    # shellcheck disable=SC2086 # one word per key
    [[ -z $keys ]] || press_keys $keys
    capture_window "$frames/$name.png"
done <tests/steps.txt
echo "$stamp" >"$frames/stamp"
echo "desktop-frames: $(find "$frames" -name '*.png' | wc -l) states in $frames/"
