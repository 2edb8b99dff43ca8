#!/usr/bin/env bash
# Builds the demo as a web page with Debian's Emscripten: src/ as it is, plus
# the platform layer in web/ (the fixed-function GL that WebGL lacks). The page
# is build-web/index.html with its .js and .wasm, plain static files.
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
# emcc runs its JavaScript tools under whatever node is first on PATH; Debian's
# own modules (acorn among them) are found only through NODE_PATH.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}

out=build-web
objects=$out/obj
# Every object is rebuilt, so none of a removed source can linger into the link.
rm -rf "$objects"
mkdir -p "$objects"
version=$(emcc -dumpversion 2>/dev/null) || {
    echo "web: emcc does not run" >&2
    exit 1
}
echo "web: Emscripten $version"

# The program's own floats stay as on the desktop: no fused multiply-add.
flags=(-std=c++17 -O2 -Wall -Wextra -Wpedantic -ffp-contract=off)
for source in src/*.cpp web/*.cpp; do
    object=$objects/$(basename "${source%.cpp}").${source%%/*}.o
    em++ "${flags[@]}" -c "$source" -o "$object"
done

# Emscripten quietly links its own stand-ins for the fixed-function calls that
# WebGL lacks (stubs that throw, or its legacy emulation, which lights every
# light as if it were directional and draws no wireframe). So every GL, GLU and
# GLUT call in src/ must be answered by web/, or be one that WebGL and
# Emscripten's GLUT do as the desktop does.
from_emscripten=(glClear glDepthFunc glFlush glViewport
    glutInit glutInitDisplayMode glutInitWindowSize glutInitWindowPosition glutCreateWindow
    glutKeyboardFunc glutReshapeFunc glutDisplayFunc glutSpecialFunc glutMainLoop
    glutIdleFunc glutPostRedisplay glutSwapBuffers)
# The symbols are read with Emscripten's emnm, or else with the llvm-nm of the
# LLVM that Emscripten runs on (some Debian releases ship a broken emnm).
nm=emnm
if ! emnm "$objects/main.src.o" >/dev/null 2>&1; then
    nm=$(em-config LLVM_ROOT 2>/dev/null)/llvm-nm
    [[ -x $nm ]] || nm=$(compgen -c llvm-nm | sort -V | tail -n1)
    "$nm" "$objects/main.src.o" >/dev/null 2>&1 || {
        echo "web: neither emnm nor llvm-nm reads Emscripten's objects here;" \
            "the page's GL calls cannot be checked, so it is not built" >&2
        exit 77
    }
fi
defined=$("$nm" --defined-only "$objects"/*.web.o | awk 'NF == 3 {print $3}')
called=$("$nm" -u "$objects"/*.src.o | awk '{print $NF}' | grep -E '^glu?t?[A-Z]' | sort -u)
[[ $called == *glBegin* ]] || {
    echo "web: $nm lists no GL call in src/, which cannot be right" >&2
    exit 1
}
declare -A answered=()
for name in "${from_emscripten[@]}" $defined; do
    answered[$name]=1
done
unanswered=()
for name in $called; do
    [[ -n ${answered[$name]:-} ]] || unanswered+=("$name")
done
if ((${#unanswered[@]})); then
    echo "web: src/ calls ${unanswered[*]}, which web/ does not provide and WebGL does not have;" \
        "Emscripten would put in its own stand-in. Add it to web/fixed_function.cpp." >&2
    exit 1
fi

link_log=$out/link.log
if ! em++ -O2 "$objects"/*.o -o "$out/index.html" --shell-file web/shell.html \
    -sMINIFY_HTML=0 -sENVIRONMENT=web \
    -sEXPORTED_FUNCTIONS=_main,_webEnd,_webSetLayout,_webFirstDisplaced >"$link_log" 2>&1; then
    cat "$link_log" >&2
    missing=$(grep -oE 'undefined symbol: [A-Za-z_0-9]+' "$link_log" | awk '{print $3}' | sort -u |
        tr '\n' ' ')
    # Only GL and GLUT entry points are Emscripten's to supply; any other
    # missing name is a fault in web/.
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
cat "$link_log"

# The same, after linking: no legacy GL of Emscripten's may be in the page.
if grep -qE 'Legacy GL function|GLImmediate|LEGACY_GL_EMULATION' "$out/index.js"; then
    echo "web: Emscripten $version linked its own legacy GL into the page; its picture would" \
        "not be the desktop's" >&2
    exit 1
fi
rm -f "$out"/index.html.mem
stat -c 'web: %s bytes %n' "$out"/index.html "$out"/index.js "$out"/index.wasm

[[ $mode == build ]] && exit 0
exec /usr/bin/python3 web/serve.py "$out" "${PORT:-8000}"
