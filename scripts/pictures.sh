#!/usr/bin/env bash
# Regenerates the README's pictures in docs/pictures/ from the real bumpmap,
# every view reached with the real keys by bumpmap-drive: the four views
# (bumped or displaced, filled or wireframe) and docs/pictures/orbit.gif, the
# light circling over the bumped patch beside the displaced one. Then the menu
# icon, in every size under data/icons/hicolor/, cut from the same program's
# picture in a square window.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh build run test pictures
cmake --preset test >/dev/null
cmake --build --preset test -j "$(nproc)" --target bumpmap bumpmap_drive >/dev/null
drive=build-test/tests/harness/bumpmap-drive
# Its own frames and the icon's picture, apart from the program's build.
build=build-pictures
rm -rf "$build"
mkdir -p "$build" docs/pictures

repeat() { printf "$1 %.0s" $(seq "$2"); }
# At the starting tilt the patch fills the window. Twenty degrees nearer
# edge-on its near and far edges are in view too. Then a full turn of the
# light in steps of 15 degrees, each step drawn bumped and displaced.
{
    echo "bumped-filled $(repeat Up 20)"
    echo "displaced-filled space"
    echo "displaced-wireframe a"
    echo "bumped-wireframe space"
    echo "orbit-00-bumped a"
    for step in $(seq -w 0 23); do
        ((10#$step == 0)) || echo "orbit-$step-bumped space $(repeat plus 15)"
        echo "orbit-$step-displaced space"
    done
} >"$build/steps.txt"
"$drive" --steps "$build/steps.txt" --save "$build" -- build-test/bumpmap >/dev/null
# Without the date chunks, the same picture makes the same file.
for view in {bumped,displaced}-{filled,wireframe}; do
    convert "$build/$view.png" -define png:exclude-chunks=date,time "png:docs/pictures/$view.png"
done
for step in $(seq -w 0 23); do
    convert "$build/orbit-$step-bumped.png" "$build/orbit-$step-displaced.png" +append +repage \
        "$build/orbit-$step.png"
done
convert -delay 15 -loop 0 "$build"/orbit-[0-9][0-9].png -layers Optimize docs/pictures/orbit.gif

# The icon: a square window on the displaced patch, with the light a quarter
# turn on from where the orbit left it, behind the patch, where its highlights
# bend into chevrons. The centre of the window, the middle ridges and the
# light, is cut out and scaled to each size.
echo "icon $(repeat Up 20) space $(repeat plus 450)" >"$build/icon-steps.txt"
"$drive" --size 512x512 --steps "$build/icon-steps.txt" --save "$build" -- build-test/bumpmap >/dev/null
for size in 16 22 24 32 48 64 128 256; do
    icon="data/icons/hicolor/${size}x${size}/apps/bumpmap.png"
    mkdir -p "$(dirname "$icon")"
    convert "$build/icon.png" -crop 352x352+80+84 +repage -filter Lanczos \
        -resize "${size}x${size}" -strip -define png:exclude-chunks=date,time "png:$icon"
done
ls -l docs/pictures/*.png docs/pictures/orbit.gif data/icons/hicolor/*/apps/bumpmap.png
