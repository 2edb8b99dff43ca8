#!/usr/bin/env bash
# Browser tests of the web page: builds it (scripts/web.sh build), captures the
# desktop program's frames for the same keys (scripts/desktop-frames.sh), then
# drives the page in headless Chromium and compares (web/tests/browser_test.py);
# then audits it with axe-core and Lighthouse (scripts/web-audit.sh).
# Exits 77, saying why, when this system's Emscripten cannot build the page,
# or when the browser tests passed but an audit could not run here: the test
# command counts that as skipped, not passed.
# Usage: scripts/web-test.sh [--measure|setup]   (--measure: frame times per view instead;
#        setup: only install, fetch and build what the tests need, and stop)
set -euo pipefail
cd "$(dirname "$0")/.."

if ! scripts/install-deps.sh web; then
    if ! apt-cache show emscripten >/dev/null 2>&1; then
        echo "web-test: SKIPPED: this Debian has no emscripten package" >&2
        exit 77
    fi
    exit 1
fi
scripts/install-deps.sh web-test
# chromedriver reaches Chromium's DevTools through the name localhost, which a
# machine without /etc/hosts (a minimal Debian root) does not resolve until
# Debian's libnss-myhostname answers for it.
getent hosts localhost >/dev/null || scripts/install-deps.sh localhost

status=0
scripts/web.sh build || status=$?
if ((status == 77)); then
    echo "web-test: SKIPPED: this Emscripten cannot build the page (above)" >&2
    exit 77
fi
((status == 0)) || exit "$status"
if [[ ${1:-} == setup ]]; then
    exec scripts/npm-tools.sh
fi

if [[ ${1:-} == --measure ]]; then
    exec /usr/bin/python3 web/tests/browser_test.py --measure build-web
fi

# The desktop program's frames, each reached with the real keys.
scripts/desktop-frames.sh
# Headless Chromium needs no X server, and one that has gone away costs the
# page its WebGL context ("BindToCurrentSequence failed").
unset DISPLAY

/usr/bin/python3 web/tests/browser_test.py build-web build-frames

scripts/web-audit.sh
