#!/usr/bin/env bash
# Checks the format of every C++ source (web/ too), then runs clang-tidy over the
# program, its unit tests and the web page's layer, include-what-you-use and
# cppcheck over the program and its tests, and checks the Markdown and links of
# the docs. Runs them all, so one report shows every finding, and fails if any
# of them found something.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh build test lint web
scripts/npm-tools.sh

# clang-tidy reads the compiler flags from compile_commands.json; configuring is enough.
cmake --preset lint >/dev/null
cmake --preset web >/dev/null

failed=()
# clang-tidy counts the warnings it filtered out on stderr; show its output only when it fails.
tidy() {
    local out
    out=$(clang-tidy --quiet "$@" 2>&1) && return 0
    grep -v 'warnings\? generated\.$' <<<"$out"
    return 1
}
mapfile -t sources < <(find src tests bench web \( -name '*.cpp' -o -name '*.h' \) | sort)
echo "lint: clang-format over ${#sources[@]} files"
clang-format --dry-run -Werror "${sources[@]}" || failed+=(clang-format)

echo "lint: clang-tidy over src/"
tidy -p build-lint src/*.cpp || failed+=("clang-tidy src")

# The tests compare floats by their bytes on purpose, stand in for glutInit with
# GLUT's own signature, and each GoogleTest assertion counts as a branch.
echo "lint: clang-tidy over tests/unit/"
tidy -p build-lint \
    --checks=-bugprone-suspicious-memory-comparison,-readability-non-const-parameter,-readability-function-cognitive-complexity \
    tests/unit/*.cpp || failed+=("clang-tidy tests/unit")

# The page's layer, as Emscripten compiles it: its target and its headers, which
# em++ adds on its own and the compile database does not list. em++ names its
# sysroot when asked to compile nothing, and fills it first where a newer
# Emscripten keeps it in a cache of its own.
echo "lint: clang-tidy over web/"
emscripten_sysroot=$(em++ -v -E -x c++ /dev/null -o /dev/null 2>&1 |
    grep -o -- '--sysroot=[^ "]*' | head -n1)
if [[ -z $emscripten_sysroot ]]; then
    echo "lint: em++ names no sysroot, so web/ cannot be checked" >&2
    failed+=("clang-tidy web")
else
    tidy -p build-web --extra-arg=--target=wasm32-unknown-emscripten \
        --extra-arg="$emscripten_sysroot" web/*.cpp || failed+=("clang-tidy web")
fi

# A name used without including its header builds only while some other header
# happens to bring it in, until a new library version stops doing so. Only that
# fails the lint; an include that could go is left to judgement.
echo "lint: include-what-you-use over src/ and tests/"
iwyu() {
    local out missing
    out=$(iwyu_tool -p build-lint src tests -- -Xiwyu --no_fwd_decls \
        -Xiwyu --mapping_file="$PWD/scripts/iwyu.imp" 2>&1) || true
    missing=$(awk '/ should add these lines:$/ { file = $1; next }
                   / should remove these lines:$/ { file = "" }
                   file != "" && /^#include/ { print file ": " $0 }
                   / error: / { print }' <<<"$out")
    [[ -z $missing ]] || { echo "$missing"; return 1; }
}
iwyu || failed+=(include-what-you-use)

echo "lint: cppcheck over src/"
cppcheck --quiet --std=c++17 --language=c++ -I src \
    --enable=warning,style,performance,portability --error-exitcode=1 src/ ||
    failed+=(cppcheck)

# npm checks a dependency on a registry tag against the tag of the day: a lock
# with one installs today and is refused once the tag moves.
echo "lint: exact versions and no registry tags in package-lock.json"
node scripts/npm-lock-check.js package-lock.json || failed+=("package-lock.json")

# The README and docs/: the Markdown linter's rules are in .markdownlint-cli2.jsonc;
# every relative link and #anchor must lead somewhere (.remarkrc.json).
echo "lint: markdownlint and links over the Markdown pages"
node_modules/.bin/markdownlint-cli2 >/dev/null || failed+=(markdownlint)
mapfile -t pages < <(git ls-files --cached --others --exclude-standard '*.md')
node_modules/.bin/remark --quiet --frail --no-stdout --no-color "${pages[@]}" ||
    failed+=("links in the docs")

if ((${#failed[@]})); then
    printf 'lint: findings from %s\n' "${failed[@]}" >&2
    exit 1
fi
echo "lint: clean"
