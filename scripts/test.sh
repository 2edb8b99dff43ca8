#!/usr/bin/env bash
# Installs what is missing, builds everything with warnings as errors and runs
# every test. The end-to-end tests start their own Xvfb on a free display.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh build test
cmake -S . -B build-test -DCMAKE_BUILD_TYPE=Release -DBUMPMAP_WERROR=ON >/dev/null
cmake --build build-test -j "$(nproc)"
cd build-test
ctest --output-on-failure
