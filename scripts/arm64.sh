#!/usr/bin/env bash
# Cross-builds the program and its unit tests for 64-bit ARM into build-arm64/,
# with the same flags as the native build, against a root of this Debian
# release's own arm64 packages (build-arm64/sysroot). Nothing on this machine
# changes but the cross compiler, qemu and debootstrap being installed: no
# dpkg architecture is added.
# Then, under qemu:
#   scripts/arm64.sh unit     every unit test, which pin every float bit
#   scripts/arm64.sh window [PROGRAM]   the program (build-arm64/bumpmap by
#       default), driven by bumpmap-drive ($BUMPMAP_DRIVE): up to the state
#       "plus" of tests/steps.txt its frames must be the very pixels of the
#       native program's ($BUMPMAP_FRAMES), drawn by the sysroot's own Mesa, and
#       it must quit on Escape with status 0.
#   scripts/arm64.sh setup    only installs the packages and makes the sysroot
# Exits 77, saying why, where this release lacks a piece.
set -euo pipefail
cd "$(dirname "$0")/.."

mode=${1:-build}
[[ $mode =~ ^(build|unit|window|setup)$ ]] || { echo "usage: scripts/arm64.sh [unit|window [PROGRAM]|setup]" >&2; exit 2; }

skip() {
    echo "arm64: skipped: $*"
    exit 77
}

[[ $(dpkg --print-architecture) != arm64 ]] ||
    skip "this machine is arm64 itself, so the native build already runs there"
codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
[[ -n $codename ]] || skip "/etc/os-release names no Debian release to take the arm64 packages from"

has_package() {
    apt-cache show "$1" 2>/dev/null | grep '^Version:' >/dev/null
}
if ! scripts/install-deps.sh arm64; then
    for package in g++-aarch64-linux-gnu debootstrap; do
        has_package "$package" || skip "Debian $codename has no package $package"
    done
    has_package qemu-user-static || has_package qemu-user ||
        skip "Debian $codename has neither qemu-user-static nor qemu-user"
    exit 1
fi
qemu=$(command -v qemu-aarch64-static || command -v qemu-aarch64) ||
    skip "Debian $codename's qemu has no qemu-aarch64"
echo "arm64: $(aarch64-linux-gnu-g++ --version | head -n1), $("$qemu" --version | head -n1)"

# The root holds what the program and the unit tests link against and Mesa to
# draw with under qemu. The headers of C and C++ come with the cross compiler.
packages=(libgl-dev libglu1-mesa-dev libglut-dev libgl1-mesa-dri libglx-mesa0
    libgtest-dev)
sysroot=build-arm64/sysroot
stamp="$codename ${packages[*]}"
make_sysroot() {
    [[ -e /usr/share/debootstrap/scripts/$codename ]] ||
        skip "this debootstrap does not know Debian $codename"
    # The same mirror (and proxy, if any) as this machine's apt.
    local mirror http_proxy=''
    # shellcheck disable=SC2016 # apt's own $(FIELD) placeholders
    mirror=$(apt-get indextargets --format '$(REPO_URI) $(RELEASE) $(CODENAME)' \
        'Identifier: Packages' | awk -v r="$codename" '$2 == r || $3 == r { print $1; exit }')
    [[ -n $mirror ]] || { echo "arm64: apt has no source for Debian $codename" >&2; return 1; }
    eval "$(apt-config shell http_proxy Acquire::http::Proxy)"
    [[ -z $http_proxy ]] || export http_proxy

    local started=$SECONDS downloads=build-arm64/sysroot-debs
    # A new root means a new build too: nothing built against the old one stays.
    rm -rf build-arm64
    mkdir -p "$sysroot/usr/bin" "$sysroot/usr/sbin" "$sysroot/usr/lib"
    # debootstrap only resolves and fetches: no root needed, nothing runs.
    local included
    included=$(IFS=, && echo "${packages[*]}")
    debootstrap --arch=arm64 --download-only --variant=minbase --include="$included" \
        "$codename" "$downloads" "$mirror" >build-arm64/debootstrap.log 2>&1 ||
        { tail -n 5 build-arm64/debootstrap.log >&2; return 1; }
    # Debian's /usr is merged: /lib and /bin are links into it, which unpacking
    # must follow rather than replace.
    local directory deb
    for directory in bin sbin lib; do
        ln -s "usr/$directory" "$sysroot/$directory"
    done
    for deb in "$downloads"/var/cache/apt/archives/*.deb; do
        dpkg-deb --fsys-tarfile "$deb" | tar -x --keep-directory-symlink -C "$sysroot"
    done
    rm -rf "$sysroot/usr/share/doc" "$sysroot/usr/share/man" "$sysroot/usr/share/locale"
    echo "arm64: sysroot of Debian $codename, $(find "$downloads" -name '*.deb' | wc -l) packages," \
        "$(du -sh "$sysroot" | cut -f1), made in $((SECONDS - started)) s"
    rm -rf "$downloads"
    echo "$stamp" >build-arm64/sysroot.stamp
}
if [[ $mode == unit || $mode == window ]]; then
    [[ -f build-arm64/sysroot.stamp && -x build-arm64/bumpmap ]] ||
        { echo "arm64: no build-arm64/: scripts/arm64.sh builds it" >&2; exit 1; }
elif [[ -f build-arm64/sysroot.stamp && $(cat build-arm64/sysroot.stamp) == "$stamp" ]]; then
    echo "arm64: sysroot of Debian $codename kept, $(du -sh "$sysroot" | cut -f1)"
else
    make_sysroot
fi
case $mode in
setup) ;;
build)
    cmake --preset arm64 >/dev/null
    cmake --build --preset arm64 -j "$(nproc)"
    ;;
# CTest runs each under qemu (the toolchain file says how).
unit) ctest --preset arm64 ;;
window)
    : "${BUMPMAP_DRIVE:?run it as ctest --preset test -L arm64}"
    # A frame takes a second or more under emulation, and far more beside other
    # tests (the deadline only bounds a failure); fifteen keys are enough
    # for the first frame, the four views and the light moved.
    root=$(realpath "$sysroot")
    exec "$BUMPMAP_DRIVE" --steps tests/steps.txt --until plus --compare "$BUMPMAP_FRAMES" \
        --save build-arm64/frames --mesa-from "$root" --timeout 300 -- "$qemu" -L "$root" "${2:-build-arm64/bumpmap}"
    ;;
esac
