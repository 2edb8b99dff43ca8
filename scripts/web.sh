#!/usr/bin/env bash
# Builds the demo as a web page with Debian's Emscripten (CMake preset web):
# src/ as it is, plus the platform layer in web/ (the fixed-function GL that
# WebGL lacks). The page is build-web/index.html with its .js and .wasm, plain
# static files.
# Usage: scripts/web.sh build   builds the page
#        scripts/web.sh         builds it and serves it on 127.0.0.1 (PORT=8000 by default)
# Exits 77, saying why, when this Emscripten lacks something the page needs.
set -euo pipefail
cd "$(dirname "$0")/.."

mode=${1:-serve}
case $mode in
build | serve) ;;
*)
    echo "usage: scripts/web.sh [build]" >&2
    exit 2
    ;;
esac

scripts/install-deps.sh web

version=$(emcc -dumpversion 2>/dev/null) || {
    echo "web: emcc does not run" >&2
    exit 1
}
echo "web: Emscripten $version"

out=build-web
log=$out/build.log
mkdir -p "$out"
if ! { cmake --preset web >/dev/null && cmake --build --preset web; } >"$log" 2>&1; then
    cat "$log" >&2
    grep -q '^web: SKIP:' "$log" && exit 77
    # Only GL and GLUT entry points are Emscripten's to supply; any other
    # missing name is a fault in web/.
    missing=$(grep -oE 'undefined symbol: [A-Za-z_0-9]+' "$log" | awk '{print $3}' | sort -u |
        tr '\n' ' ')
    lacking=${missing:+yes}
    for name in $missing; do
        [[ $name =~ ^(emscripten_)?glu?t?[A-Z] ]] || lacking=''
    done
    if [[ -n $lacking ]]; then
        echo "web: Emscripten $version lacks ${missing}which the page needs; it cannot be built" \
            "with this version" >&2
        exit 77
    fi
    exit 1
fi
stat -c 'web: %s bytes %n' "$out"/index.html "$out"/index.js "$out"/index.wasm

[[ $mode == build ]] && exit 0
exec /usr/bin/python3 web/serve.py "$out" "${PORT:-8000}"
