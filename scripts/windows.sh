#!/usr/bin/env bash
# The program for 64-bit Windows, cross-compiled with MinGW-w64. Installs what
# is missing, builds Debian's freeglut source for this release once as a static
# library (again only when its version changes), then the preset `windows`:
# build-windows/bumpmap.exe and the zip a Windows user unpacks.
# Usage: scripts/windows.sh         build
#        scripts/windows.sh run     build, then run it under Wine on $DISPLAY
#        scripts/windows.sh test    test the exe under Wine with bumpmap-drive
#                                   ($BUMPMAP_DRIVE): at every state of
#                                   tests/steps.txt exactly the desktop's pixels
#                                   ($BUMPMAP_FRAMES); Escape and the window
#                                   manager's close each end it with status 0,
#                                   printing nothing. Exits 77 without Wine.
#        scripts/windows.sh freeglut  only freeglut, for builds elsewhere
#                                   (scripts/release.sh)
#        scripts/windows.sh setup   only freeglut and Wine
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=build-windows
freeglut_prefix=$build_dir/freeglut
sources_dir=$build_dir/apt

case ${1:-build} in
build | run | test | freeglut | setup) ;;
*)
    echo "usage: scripts/windows.sh [run|test|freeglut|setup]" >&2
    exit 2
    ;;
esac

# Wine, which not every Debian release has.
install_wine() {
    scripts/install-deps.sh windows-test && return 0
    # A name other packages mention is known to apt-cache show even with no
    # package behind it: what counts is whether there is one to install.
    local candidate
    candidate=$(apt-cache policy wine 2>/dev/null | awk '/Candidate:/ { print $2 }')
    if [[ -z $candidate || $candidate == "(none)" ]]; then
        echo "windows: skipped: this Debian has no wine package to run the exe with"
        exit 77
    fi
    exit 1
}

# Its own Wine prefix, apart from the one of `run`: a Wine session belongs to
# the X display its first program opened, and waiting for it to end would wait
# for a demo still open on the user's display. No Mono or Gecko: the program
# needs neither, and Wine would ask for them.
wine_prefix() {
    export WINEPREFIX=$PWD/$build_dir/wine-test WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    # Wine's server outlives its programs for a while; it goes with this
    # script, and one an interrupted run left would draw on its old display.
    trap 'wineserver -k 2>/dev/null || true' EXIT
    wineserver -k 2>/dev/null || true
    if [[ ! -f $WINEPREFIX/system.reg ]]; then
        echo "windows: making the Wine prefix $WINEPREFIX (once)"
        DISPLAY='' wineboot --init >/dev/null 2>&1
    fi
    wineserver -w
}
test_exe() {
    : "${BUMPMAP_DRIVE:?run it as ctest --preset test -L windows}"
    [[ -f $build_dir/bumpmap.exe ]] || { echo "windows: no $build_dir/bumpmap.exe to test" >&2; exit 1; }
    install_wine
    wine_prefix
    # Wine hands DISPLAY on into the Windows environment, where freeglut would
    # take it for a device name and complain; cmd clears it there, and the
    # window still goes to the X display Wine uses. cmd ends with the exe's
    # status, and bumpmap-drive follows the exe as cmd's child.
    local exe=(wine cmd /c "set DISPLAY=&& $build_dir\\bumpmap.exe") status=0
    echo "windows: $(wine --version), the states against the desktop's frames, then Escape"
    "$BUMPMAP_DRIVE" --steps tests/steps.txt --compare "$BUMPMAP_FRAMES" --save "$build_dir/test" \
        -- "${exe[@]}" || status=1
    echo "windows: closed as a window manager closes it"
    "$BUMPMAP_DRIVE" --end close -- "${exe[@]}" || status=1
    return $status
}

scripts/install-deps.sh windows
[[ ${1:-build} != test ]] || { test_exe; exit; }

# This machine's Debian entries for its own release $1, as source entries:
# from one-line .list files...
one_line_source_entries() {
    local file
    for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [[ -f $file ]] || continue
        # deb [options] URI SUITE COMPONENTS...
        awk -v codename="$1" '$1 == "deb" {
                suite = 3
                if ($2 ~ /^\[/) for (i = 2; i <= NF; i++) if ($i ~ /\]$/) { suite = i + 2; break }
                if ($suite == codename) { $1 = "deb-src"; print }
            }' "$file"
    done
}

# ...and from deb822 .sources files: of each entry of type deb that names the
# release, a deb-src entry for that release alone.
deb822_source_entries() {
    local file
    for file in /etc/apt/sources.list.d/*.sources; do
        [[ -f $file ]] || continue
        awk -v codename="$1" 'BEGIN { RS = ""; FS = "\n" }
            {
                types = suites = body = ""; enabled = "yes"
                for (i = 1; i <= NF; i++) {
                    if ($i ~ /^#/) continue
                    key = tolower(substr($i, 1, index($i, ":") - 1))
                    value = substr($i, index($i, ":") + 1)
                    if (key == "types") types = " " value " "
                    else if (key == "suites") suites = " " value " "
                    else if (key == "enabled") enabled = value
                    else body = body $i "\n"
                }
                gsub(/[ \t]+/, " ", types); gsub(/[ \t]+/, " ", suites); gsub(/ /, "", enabled)
                if (enabled != "no" && types ~ / deb / && suites ~ (" " codename " "))
                    printf "Types: deb-src\nSuites: %s\n%s\n", codename, body
            }' "$file"
    done
}

# When a mirror lacks Debian's packaging of this release's freeglut, builds
# the upstream tarball that the same Debian source ships (shared by every
# Debian revision of that upstream version, so more often at hand), checked
# against the hash in this release's Sources index: $1 version, $2 folder,
# then the private apt options.
unpack_upstream_tarball() {
    local version=$1 work=$2 uri name _ hash
    shift 2
    read -r uri name _ hash < <(apt-get "$@" source --print-uris "freeglut=$version" 2>/dev/null |
        grep "\.orig\.tar\.")
    echo "windows: Debian's packaging of freeglut $version cannot be fetched here" \
        "($(grep -m1 '^E:' "$work/fetch.log" || echo "see $work/fetch.log")); building" \
        "its upstream tarball $name, checked against the release's Sources index," \
        "without Debian's patches"
    uri=${uri#\'}
    /usr/lib/apt/apt-helper -qq "$@" download-file "${uri%\'}" "$work/$name" "$hash"
    rm -rf "$work/source"
    mkdir "$work/source"
    tar -xf "$work/$name" -C "$work/source" --strip-components=1
}

# Fetches Debian's freeglut source through a private apt sources folder, so
# the machine's own apt configuration stays as it is, and builds it with the
# same toolchain file as the program. Prints nothing when it is up to date.
build_freeglut() {
    local codename version
    codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
    [[ -n $codename ]] || { echo "windows: /etc/os-release names no release" >&2; return 1; }
    mkdir -p "$sources_dir/lists/partial"
    one_line_source_entries "$codename" >"$sources_dir/debian.list"
    deb822_source_entries "$codename" >"$sources_dir/debian.sources"
    if [[ ! -s $sources_dir/debian.sources && ! -s $sources_dir/debian.list ]]; then
        echo "windows: no Debian entry for $codename in /etc/apt/sources.list{,.d}" >&2
        return 1
    fi
    local private=(-o Dir::Etc::SourceList=/dev/null
        -o "Dir::Etc::SourceParts=$PWD/$sources_dir"
        -o "Dir::State::Lists=$PWD/$sources_dir/lists")
    # apt's download user cannot reach a folder under root's home, and would
    # say so for every file; the files are root's own here anyway.
    [[ $(id -u) != 0 ]] || private+=(-o APT::Sandbox::User=root)
    if ! apt-get -qq "${private[@]}" update; then
        [[ -f $freeglut_prefix/version ]] || return 1
        echo "windows: cannot reach Debian's sources; keeping freeglut $(cat "$freeglut_prefix/version")" >&2
        return 0
    fi
    version=$(apt-cache "${private[@]}" showsrc freeglut 2>/dev/null |
        awk '/^Version:/ { print $2; exit }')
    [[ -n $version ]] || { echo "windows: Debian's sources have no freeglut" >&2; return 1; }
    if [[ -f $freeglut_prefix/version && $(cat "$freeglut_prefix/version") == "$version" ]]; then
        return 0
    fi

    echo "windows: building Debian's freeglut $version for Windows (once)"
    local work=$build_dir/freeglut-source
    rm -rf "$work" "$freeglut_prefix" "$build_dir/freeglut-build"
    mkdir -p "$work"
    if ! (cd "$work" && apt-get -qq "${private[@]}" source --download-only "freeglut=$version" &&
        dpkg-source --no-check -x ./*.dsc source) >/dev/null 2>"$work/fetch.log"; then
        unpack_upstream_tarball "$version" "$work" "${private[@]}"
    fi
    # Static, so that the zip needs no DLL of its own; REPLACE_GLUT installs
    # GL/glut.h and names the library libglut.a, which FindGLUT looks for.
    # Its own warnings are not this project's to fix: they go to a log, shown
    # only if the build fails. CMake 4 refuses freeglut 3.4.0's minimum
    # version (3.0) unless told which policies to assume; older ones ignore it.
    local log=$build_dir/freeglut-build.log
    if ! {
        cmake -S "$work/source" -B "$build_dir/freeglut-build" \
            -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
            -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$PWD/$freeglut_prefix" \
            -DFREEGLUT_BUILD_SHARED_LIBS=OFF -DFREEGLUT_BUILD_STATIC_LIBS=ON \
            -DFREEGLUT_BUILD_DEMOS=OFF -DFREEGLUT_REPLACE_GLUT=ON \
            -DCMAKE_POLICY_VERSION_MINIMUM=3.5 &&
            cmake --build "$build_dir/freeglut-build" -j "$(nproc)" &&
            cmake --install "$build_dir/freeglut-build"
    } >"$log" 2>&1; then
        tail -n 30 "$log" >&2
        echo "windows: building freeglut failed (whole log: $log)" >&2
        return 1
    fi
    # Its licence asks for the notice to go wherever the library goes.
    mkdir -p "$freeglut_prefix/share/doc/freeglut"
    cp "$work/source/COPYING" "$freeglut_prefix/share/doc/freeglut/COPYING"
    echo "$version" >"$freeglut_prefix/version"
    rm -rf "$work" "$build_dir/freeglut-build"
}

build_freeglut
[[ ${1:-build} != freeglut ]] || exit 0
if [[ ${1:-build} == setup ]]; then
    install_wine
    wine_prefix
    exit 0
fi
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$(nproc)"
echo "windows: $build_dir/bumpmap.exe and $(ls "$build_dir"/bumpmap-*-windows-x86_64.zip)"

case ${1:-build} in
run)
    scripts/install-deps.sh windows-run
    export WINEPREFIX=$PWD/$build_dir/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    exec wine cmd /c "set DISPLAY=&& $build_dir\\bumpmap.exe"
    ;;
esac
