#!/usr/bin/env bash
# Installs what is missing, builds everything with warnings as errors and runs
# every test. The end-to-end tests start their own Xvfb on a free display.
# Then the checks: the unit tests under ASan and UBSan, the real program under
# memcheck, lint, and the web page in a browser. Every stage runs even if an
# earlier one failed, and the tests' summary comes last. A stage that exits 77
# could not run here; it says why and counts as skipped, never as passed.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh build test
cmake -S . -B build-test -DCMAKE_BUILD_TYPE=Release -DBUMPMAP_WERROR=ON -DBUILD_TESTING=ON >/dev/null
cmake --build build-test -j "$(nproc)"
failed=()
skipped=()
(cd build-test && ctest --output-on-failure) | tee build-test/ctest.log || failed+=(tests)

stage() {
    echo
    echo "== $1, from ${SECONDS} s"
}

stage "unit tests under AddressSanitizer and UndefinedBehaviorSanitizer (build-asan)"
{
    cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUMPMAP_WERROR=ON \
        -DBUMPMAP_SANITIZE=ON -DBUILD_TESTING=ON >/dev/null &&
        cmake --build build-asan -j2 --target bumpmap bumpmap_unit_tests &&
        (cd build-asan && ctest -L unit --output-on-failure)
} || failed+=(sanitizers)

stage "bumpmap under valgrind's memcheck (scripts/memcheck.sh)"
scripts/memcheck.sh || failed+=(memcheck)

stage "lint (scripts/lint.sh)"
scripts/lint.sh || failed+=(lint)

stage "the web page in headless Chromium against the desktop program (scripts/web-test.sh)"
web_status=0
scripts/web-test.sh || web_status=$?
case $web_status in
0) ;;
77) skipped+=(web) ;;
*) failed+=(web) ;;
esac

stage "summary"
if ((${#failed[@]})); then
    echo "failed: ${failed[*]}"
else
    echo "every stage that ran: clean"
fi
((${#skipped[@]} == 0)) || echo "skipped: ${skipped[*]} (not run here; its stage says why)"
echo "tests (build-test):"
sed -n '/tests passed, /,$p' build-test/ctest.log
((${#failed[@]} == 0))
