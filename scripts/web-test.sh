#!/usr/bin/env bash
# Browser tests of the web page (web/tests/browser_test.py) against the desktop
# program's frames ($BUMPMAP_FRAMES, which CTest makes): Chromium headless,
# Firefox and WebKitGTK as windows on an Xvfb that bumpmap-drive --run
# ($BUMPMAP_DRIVE) starts for them. CTest runs each engine as a test of the
# label web, and the audits (scripts/web-audit.sh).
# Usage: scripts/web-test.sh ENGINE     chromium, firefox or webkitgtk
#        scripts/web-test.sh page       builds the page (scripts/web.sh build)
#        scripts/web-test.sh setup      installs every engine this Debian has
#                                       and the npm tools, and builds the page
#        scripts/web-test.sh --measure [ENGINE]   frame times per view instead
# Exits 77, saying why, when this Emscripten cannot build the page or this
# Debian has no package for the engine.
set -euo pipefail
cd "$(dirname "$0")/.."

mode=${1:-}
engine=${2:-chromium}
[[ $mode == --measure ]] || engine=$mode
case $engine in
chromium | firefox | webkitgtk | page | setup) ;;
*)
    echo "usage: scripts/web-test.sh chromium|firefox|webkitgtk|page|setup|--measure [ENGINE]" >&2
    exit 2
    ;;
esac

# The page, with Debian's Emscripten, which not every release may have.
build_page() {
    if ! scripts/install-deps.sh web; then
        apt-cache show emscripten >/dev/null 2>&1 || { echo "web-test: skipped: this Debian has no emscripten package"; exit 77; }
        exit 1
    fi
    local status=0
    scripts/web.sh build || status=$?
    ((status != 77)) || echo "web-test: skipped: this Emscripten cannot build the page (above)"
    return $status
}

# Each engine's own packages (a|b: either name will do), which not every
# Debian release has.
packages() {
    case $1 in
    chromium) echo chromium chromium-driver ;;
    firefox) echo firefox-esr python3-websocket ;;
    webkitgtk) echo 'webkitgtk-webdriver|webkit2gtk-driver' ;;
    esac
}
# Installs the engine's packages; says which of them this Debian lacks, if any.
install_engine() {
    local job=web-$1 package name lacking=()
    [[ $1 != chromium ]] || job=web-test
    scripts/install-deps.sh "$job" && return 0
    for package in $(packages "$1"); do
        for name in ${package//|/ }; do
            # grep reads it all: one that quit early could leave apt-cache killed
            # by SIGPIPE, which pipefail takes for a missing package.
            apt-cache show "$name" 2>/dev/null | grep '^Version:' >/dev/null && continue 2
        done
        lacking+=("${package//|/ or }")
    done
    # The first try may have updated the package lists only then.
    ((${#lacking[@]})) || { scripts/install-deps.sh "$job" && return 0; return 1; }
    printf -v name '%s, ' "${lacking[@]}"
    echo "web-test: $1: skipped: this Debian has no ${name%, }"
    return 77
}

case $mode in
setup)
    lacking=''
    for engine in chromium firefox webkitgtk; do
        status=0
        install_engine "$engine" || status=$?
        ((status == 0 || status == 77)) || exit "$status"
        ((status == 0)) || lacking=yes
    done
    scripts/npm-tools.sh
    build_page
    [[ -z $lacking ]] || exit 77
    ;;
page) build_page ;;
--measure)
    install_engine "$engine"
    exec /usr/bin/python3 web/tests/browser_test.py --engine "$engine" --measure build-web
    ;;
*)
    : "${BUMPMAP_DRIVE:?run it as ctest --preset test -L web}" "${BUMPMAP_FRAMES:?}"
    [[ -f build-web/index.html ]] || { echo "web-test: no page in build-web/" >&2; exit 1; }
    install_engine "$engine"
    # chromedriver reaches Chromium's DevTools through the name localhost, which a
    # machine without /etc/hosts (a minimal Debian root) does not resolve until
    # Debian's libnss-myhostname answers for it.
    getent hosts localhost >/dev/null || scripts/install-deps.sh localhost
    test=(/usr/bin/python3 web/tests/browser_test.py --engine "$engine" build-web "$BUMPMAP_FRAMES")
    # Headless Chromium needs no X server; the windowed engines share one.
    [[ $engine == chromium ]] || test=("$BUMPMAP_DRIVE" --run --screen 1380x900x24 -- "${test[@]}")
    exec "${test[@]}"
    ;;
esac
