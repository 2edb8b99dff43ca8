#!/usr/bin/env bash
# The web build's guard against Emscripten's own fixed-function GL, which it
# links quietly for any GL call that WebGL lacks: stubs that throw, or its
# legacy emulation, which lights every light as if it were directional and
# draws no wireframe. The page's CMake build runs it.
# Usage: web/check.sh calls SRC_OBJECT... -- WEB_OBJECT...   (before the link)
#        web/check.sh page INDEX_JS                          (after it)
# Exits 77, with a line starting "web: SKIP:", when this Emscripten's tools
# cannot read its own objects, so the calls cannot be checked.
set -euo pipefail

# Calls that WebGL and Emscripten's GLUT do as the desktop does. Not the key
# callbacks: Emscripten's GLUT reads keys through a table of key codes that
# differs between browsers and layouts, so web/ takes them (page_support.cpp).
from_emscripten=(glClear glDepthFunc glFlush glViewport
    glutInit glutInitDisplayMode glutInitWindowSize glutInitWindowPosition glutCreateWindow
    glutReshapeFunc glutDisplayFunc glutMainLoop
    glutIdleFunc glutPostRedisplay glutSwapBuffers)

check_calls() {
    local program=() layer=()
    while (($#)) && [[ $1 != -- ]]; do
        program+=("$1")
        shift
    done
    shift
    layer=("$@")
    # Emscripten's emnm, or else the llvm-nm of the LLVM that Emscripten runs
    # on (some Debian releases ship a broken emnm).
    local nm=emnm
    if ! emnm "${program[0]}" >/dev/null 2>&1; then
        nm=$(em-config LLVM_ROOT 2>/dev/null)/llvm-nm
        [[ -x $nm ]] || nm=$(compgen -c llvm-nm | sort -V | tail -n1)
        "$nm" "${program[0]}" >/dev/null 2>&1 || {
            echo "web: SKIP: neither emnm nor llvm-nm reads Emscripten's objects here;" \
                "the page's GL calls cannot be checked, so it is not built" >&2
            exit 77
        }
    fi
    local defined called name
    defined=$("$nm" --defined-only "${layer[@]}" | awk 'NF == 3 {print $3}')
    called=$("$nm" -u "${program[@]}" | awk '{print $NF}' | grep -E '^glu?t?[A-Z]' | sort -u)
    [[ $called == *glBegin* ]] || {
        echo "web: $nm lists no GL call in src/, which cannot be right" >&2
        exit 1
    }
    declare -A answered=()
    for name in "${from_emscripten[@]}" $defined; do
        answered[$name]=1
    done
    local unanswered=()
    for name in $called; do
        [[ -n ${answered[$name]:-} ]] || unanswered+=("$name")
    done
    if ((${#unanswered[@]})); then
        echo "web: src/ calls ${unanswered[*]}, which web/ does not provide and WebGL does not" \
            "have; Emscripten would put in its own stand-in. Add it to web/fixed_function.cpp." >&2
        exit 1
    fi
}

# A page that fails this is removed, so that no later build can take it as made.
check_page() {
    local script=$1
    if grep -qE 'Legacy GL function|GLImmediate|LEGACY_GL_EMULATION' "$script"; then
        echo "web: Emscripten linked its own legacy GL into the page; its picture would" \
            "not be the desktop's" >&2
        rm -f "$script" "${script%.js}.html" "${script%.js}.wasm"
        exit 1
    fi
}

case ${1:-} in
calls) shift && check_calls "$@" ;;
page) check_page "$2" ;;
*)
    echo "usage: web/check.sh calls SRC_OBJECT... -- WEB_OBJECT... | page INDEX_JS" >&2
    exit 2
    ;;
esac
