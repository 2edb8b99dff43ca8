#!/usr/bin/env bash
# The test command: the set-up, then every stage as CTest tests (labels unit,
# e2e, soak, sanitizers, memcheck, lint, package, web, windows, arm64,
# release), side by side as far as the cores allow; docs/testing.md lists them.
# The set-up installs every package any stage needs and fetches (the npm tools,
# Debian's freeglut source, the arm64 roots) or makes once (Emscripten's
# libraries) what the stages use, so that they need no network. A part that
# this Debian cannot have says why and exits 77; its stage then skips too.
# Usage: scripts/test.sh [setup]   (setup: only the set-up, no test)
set -uo pipefail
cd "$(dirname "$0")/.."
[[ ${1:-all} =~ ^(all|setup)$ ]] || { echo "usage: scripts/test.sh [setup]" >&2; exit 2; }

failed=()
for part in "install-deps.sh build run test lint web memcheck package package-check" \
    npm-tools.sh "web-test.sh setup" "windows.sh setup" "arm64.sh setup" "release.sh setup"; do
    echo "== set-up: scripts/$part, from $SECONDS s"
    status=0
    scripts/$part || status=$? # one word an argument
    ((status == 0 || status == 77)) || failed+=("set-up: scripts/$part")
done
echo "== set-up done in $SECONDS s"
[[ ${1:-all} == all ]] || { ((${#failed[@]} == 0)) || echo "failed: ${failed[*]}"; exit $((${#failed[@]} > 0)); }

started=$SECONDS
if cmake --preset test >/dev/null && cmake --build --preset test -j "$(nproc)"; then
    ctest --preset test -j "$(nproc)" || failed+=("the tests CTest lists above")
else
    failed+=(build)
fi
echo "== tests and checks in $((SECONDS - started)) s; why each skipped test could not run here:"
grep -h -i 'skipped: ' build-test/Testing/Temporary/LastTest.log 2>/dev/null | sort -u
((${#failed[@]} == 0)) || { echo "failed: ${failed[*]}"; exit 1; }
echo "every test that could run here passed"
