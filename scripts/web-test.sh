#!/usr/bin/env bash
# Browser tests of the web page: builds it (scripts/web.sh build), captures the
# desktop program's frames for the same keys (scripts/desktop-frames.sh), then
# drives the page and compares (web/tests/browser_test.py) in each engine:
# Chromium headless, Firefox and WebKitGTK as windows on a private Xvfb; then
# audits it with axe-core and Lighthouse (scripts/web-audit.sh).
# Every engine runs even after another failed. Exits 77, saying why, when this
# system's Emscripten cannot build the page, or when nothing failed but an
# engine (this Debian has no package for it) or an audit could not run here:
# the test command counts that as skipped, not passed.
# Usage: scripts/web-test.sh [--measure] [ENGINE...]
#   ENGINE: chromium, firefox, webkitgtk (all three, then the audits, by default)
#   --measure: frame times per view instead, in Chromium or the engine named
#        scripts/web-test.sh setup   only installs, fetches and builds what the
#                                    tests need (every engine this Debian has), and stops
set -euo pipefail
cd "$(dirname "$0")/.."

measure='' setup=''
if [[ ${1:-} == --measure ]]; then
    measure=yes
    shift
elif [[ ${1:-} == setup ]]; then
    setup=yes
    shift
fi
all=(chromium firefox webkitgtk)
engines=("$@")
((${#engines[@]})) || engines=("${all[@]}")
for engine in "${engines[@]}"; do
    [[ " ${all[*]} " == *" $engine "* ]] || {
        echo "web-test: no engine '$engine' (${all[*]})" >&2
        exit 2
    }
done

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

# Each engine's own packages, which not every Debian release has.
job() {
    case $1 in
    chromium) echo web-test ;;
    *) echo "web-$1" ;;
    esac
}
# (a|b: either name will do).
packages() {
    case $1 in
    chromium) echo chromium chromium-driver ;;
    firefox) echo firefox-esr python3-websocket ;;
    webkitgtk) echo 'webkitgtk-webdriver|webkit2gtk-driver' ;;
    esac
}
# Installs the engine's packages; says which of them this Debian lacks, if any.
install_engine() {
    local package name lacking=()
    scripts/install-deps.sh "$(job "$1")" && return 0
    for package in $(packages "$1"); do
        for name in ${package//|/ }; do
            # grep reads it all: one that quit early could leave apt-cache killed
            # by SIGPIPE, which pipefail takes for a missing package.
            apt-cache show "$name" 2>/dev/null | grep '^Version:' >/dev/null && continue 2
        done
        lacking+=("${package//|/ or }")
    done
    # The first try may have updated the package lists only then.
    ((${#lacking[@]})) || { scripts/install-deps.sh "$(job "$1")" && return 0; return 1; }
    printf -v name '%s, ' "${lacking[@]}"
    echo "web-test: $1: SKIPPED: this Debian has no ${name%, }" >&2
    return 77
}

if [[ -n $setup ]]; then
    lacking=''
    for engine in "${engines[@]}"; do
        status=0
        install_engine "$engine" || status=$?
        ((status == 0 || status == 77)) || exit "$status"
        ((status == 0)) || lacking=yes
    done
    scripts/npm-tools.sh
    [[ -z $lacking ]] || exit 77
    exit 0
fi

if [[ -n $measure ]]; then
    engine=${engines[0]}
    ((${#engines[@]} == 1)) || engine=chromium
    install_engine "$engine"
    exec /usr/bin/python3 web/tests/browser_test.py --engine "$engine" --measure build-web
fi

# The desktop program's frames, each reached with the real keys.
scripts/desktop-frames.sh
# Headless Chromium needs no X server, and one that has gone away costs the
# page its WebGL context ("BindToCurrentSequence failed"); the engines that
# run as windows start their own.
unset DISPLAY

declare -A outcome=()
failed='' skipped=''
for engine in "${engines[@]}"; do
    echo "web-test: $engine"
    status=0
    install_engine "$engine" || status=$?
    if ((status == 0)); then
        /usr/bin/python3 web/tests/browser_test.py --engine "$engine" build-web build-frames ||
            status=$?
    fi
    case $status in
    0) outcome[$engine]=passed ;;
    77) outcome[$engine]=skipped skipped=yes ;;
    *) outcome[$engine]=failed failed=yes ;;
    esac
done
summary=''
for engine in "${engines[@]}"; do
    summary+="${summary:+, }$engine ${outcome[$engine]}"
done
echo "web-test: browser tests: $summary"

# The audits, with Chromium, once every engine has run.
if ((${#engines[@]} == ${#all[@]})) && [[ ${outcome[chromium]} != skipped ]]; then
    status=0
    scripts/web-audit.sh || status=$?
    case $status in
    0) ;;
    77) skipped=yes ;;
    *) failed=yes ;;
    esac
fi
[[ -z $failed ]] || exit 1
[[ -z $skipped ]] || exit 77
