#!/usr/bin/env bash
# Installs what is missing, builds bumpmap and runs it. Arguments go to GLUT
# (for example -display :1).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh build run
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" >/dev/null

if [ -z "${DISPLAY:-}" ]; then
    echo "bumpmap: no X display to open its window on (DISPLAY is not set); on a machine without a screen run: sudo apt-get install xvfb xauth && xvfb-run -a scripts/run.sh" >&2
    exit 1
fi
exec build/bumpmap "$@"
