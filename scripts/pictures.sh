#!/usr/bin/env bash
# Regenerates the README's pictures in docs/pictures/ from the real bumpmap on a private
# Xvfb, every view reached with the real keys: the four views (bumped or
# displaced, filled or wireframe) and docs/pictures/orbit.gif, the light circling over
# the bumped patch beside the displaced one. Then the menu icon, in every size
# under data/icons/hicolor/, cut from the same window's picture.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh build run pictures
# Its own frames and the icon's picture, apart from the program's build.
build=build-pictures
mkdir -p "$build"
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" >/dev/null

mkdir -p docs/pictures
source scripts/x-session.sh
start_xvfb
build/bumpmap &
owned_pids+=($!)
open_window

# At the starting tilt the patch fills the window. Twenty degrees nearer edge-on
# its near and far edges are in view too.
mapfile -t up < <(yes Up | head -n 20)
press_keys "${up[@]}"
capture_window docs/pictures/bumped-filled.png
press_keys space
capture_window docs/pictures/displaced-filled.png
press_keys a
capture_window docs/pictures/displaced-wireframe.png
press_keys space
capture_window docs/pictures/bumped-wireframe.png
press_keys a

# A full turn of the light in steps of 15 degrees, each step drawn bumped and
# displaced at the same light angle.
frames="$build/orbit"
rm -rf "$frames"
mkdir -p "$frames"
mapfile -t fifteen_steps < <(yes plus | head -n 15)
for step in $(seq -w 0 23); do
    capture_window "$frames/bumped.png"
    press_keys space
    capture_window "$frames/displaced.png"
    press_keys space
    convert "$frames/bumped.png" "$frames/displaced.png" +append +repage "$frames/$step.png"
    press_keys "${fifteen_steps[@]}"
done
convert -delay 15 -loop 0 "$frames"/[0-9]*.png -layers Optimize docs/pictures/orbit.gif

# The icon: a square window on the displaced patch, with the light a quarter
# turn on, behind the patch, where its highlights bend into chevrons. The light
# is back at its start after the full turn above. The centre of the window,
# the middle ridges and the light, is cut out and scaled to each size.
xdotool windowsize --sync "$window" 512 512
frame=$(wait_for_new_frame "$window" "$frame")
frame=$(wait_for_still_frame "$window")
mapfile -t quarter_turn < <(yes plus | head -n 90)
press_keys space "${quarter_turn[@]}"
capture_window "$build/icon.png"
for size in 16 22 24 32 48 64 128 256; do
    icon="data/icons/hicolor/${size}x${size}/apps/bumpmap.png"
    mkdir -p "$(dirname "$icon")"
    convert "$build/icon.png" -crop 352x352+80+84 +repage -filter Lanczos \
        -resize "${size}x${size}" -strip -define png:exclude-chunks=date,time "png:$icon"
done
ls -l docs/pictures/*.png docs/pictures/orbit.gif data/icons/hicolor/*/apps/bumpmap.png
