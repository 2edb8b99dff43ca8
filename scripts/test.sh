#!/usr/bin/env bash
# Installs what is missing, builds everything with warnings as errors and runs
# every test. The end-to-end tests start their own Xvfb on a free display.
# Then the checks: the unit tests under ASan and UBSan, the real program under
# memcheck, lint, the Debian package, the web page in a browser, the Windows
# build under Wine, the arm64 build under qemu and the release, made twice and
# compared byte for byte. Every stage that can run runs, even after an earlier
# one failed; the summary comes last and the exit status is non-zero if any
# failed. A stage that exits 77 could not run
# here: it says why and counts as skipped, never as passed.
# The set-up comes first: every package and tool any stage needs, and what the
# stages fetch (the npm tools, Debian's freeglut source, the arm64 roots) or
# make once (Emscripten's libraries), so that the stages then need no network.
# Usage: scripts/test.sh [setup]   (setup: only the set-up, no test)
set -euo pipefail
cd "$(dirname "$0")/.."

mode=${1:-all}
[[ $mode == all || $mode == setup ]] || { echo "usage: scripts/test.sh [setup]" >&2; exit 2; }

failed=()
skipped=()
stage() {
    echo
    echo "== $1, from ${SECONDS} s"
}
# Runs one stage's command and files its name under failed, or under skipped
# when it exits with 77 (it could not run here and says why).
check() {
    local name=$1 status=0
    shift
    "$@" || status=$?
    if ((status == 77)); then
        skipped+=("$name")
    elif ((status != 0)); then
        failed+=("$name")
    fi
}

stage "set-up: Debian's packages for the build, the tests, memcheck, lint and the package"
check "set-up of packages" scripts/install-deps.sh build run test lint web memcheck package package-check
stage "set-up: the npm tools (scripts/npm-tools.sh)"
check "set-up of npm tools" scripts/npm-tools.sh
stage "set-up: the three browsers and their drivers, and the page built once (scripts/web-test.sh setup)"
check "set-up of web" scripts/web-test.sh setup
stage "set-up: Wine, and Debian's freeglut built for Windows (scripts/windows.sh setup)"
check "set-up of windows" scripts/windows.sh setup
stage "set-up: the cross compiler, qemu and the arm64 sysroot (scripts/arm64.sh setup)"
check "set-up of arm64" scripts/arm64.sh setup
stage "set-up: the release's tools and its arm64 build root (scripts/release.sh setup)"
check "set-up of release" scripts/release.sh setup

if [[ $mode == setup ]]; then
    stage "summary"
    ((${#failed[@]} == 0)) || echo "failed: ${failed[*]}"
    ((${#skipped[@]} == 0)) || echo "skipped: ${skipped[*]} (not here; its stage says why)"
    ((${#failed[@]} > 0)) || echo "set-up done in ${SECONDS} s"
    exit $((${#failed[@]} > 0))
fi

stage "build with warnings as errors (build-test)"
rm -f build-test/ctest.log
built=false
build_tests() {
    cmake --preset test >/dev/null &&
        cmake --build --preset test -j "$(nproc)" &&
        built=true
}
check build build_tests

stage "unit, end-to-end and install tests (build-test)"
run_tests() {
    $built || { echo "not run: the build failed"; return 1; }
    ctest --preset test | tee build-test/ctest.log
}
check tests run_tests

stage "unit tests under AddressSanitizer and UndefinedBehaviorSanitizer (build-asan)"
sanitized_unit_tests() {
    cmake --preset asan >/dev/null &&
        cmake --build --preset asan -j "$(nproc)" &&
        ctest --preset asan
}
check sanitizers sanitized_unit_tests

stage "bumpmap under valgrind's memcheck (scripts/memcheck.sh)"
check memcheck scripts/memcheck.sh

stage "lint (scripts/lint.sh)"
check lint scripts/lint.sh

stage "the Debian package, built and checked without installing it (scripts/package-check.sh)"
check package scripts/package-check.sh

stage "the web page in Chromium, Firefox and WebKitGTK against the desktop program (scripts/web-test.sh)"
check web scripts/web-test.sh

stage "the Windows build under Wine against the desktop program (scripts/windows.sh test)"
check windows scripts/windows.sh test

stage "the program and unit tests built for arm64, under qemu (scripts/arm64.sh test)"
check arm64 scripts/arm64.sh test

stage "the release, made twice in different folders, umasks and time zones, compared byte for byte (scripts/release.sh check)"
check release scripts/release.sh check

stage "summary"
((${#failed[@]} == 0)) || echo "failed: ${failed[*]}"
((${#skipped[@]} == 0)) || echo "skipped: ${skipped[*]} (not run here; its stage says why)"
((${#failed[@]} > 0)) || echo "every stage that ran passed"
echo "tests (build-test):"
if [[ -s build-test/ctest.log ]]; then
    sed -n '/tests passed, /,$p' build-test/ctest.log
else
    echo "not run"
fi
((${#failed[@]} == 0))
