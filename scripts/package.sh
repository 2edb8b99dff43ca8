#!/usr/bin/env bash
# Installs what is missing and builds the Debian package, running the unit
# tests in the build (DEB_BUILD_OPTIONS=nocheck leaves them out),
# from a copy of this tree under build-deb/, so that dpkg-buildpackage, which
# writes next to the tree it builds, leaves build-deb/bumpmap_<version>_<arch>.deb
# and its build files there and nothing beside the checkout.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh package

out=build-deb
version=$(dpkg-parsechangelog -S Version)
arch=$(dpkg-architecture -q DEB_HOST_ARCH)
source="$out/bumpmap-${version%-*}"
rm -rf "$out"
mkdir -p "$source"
# The tree as it is, edits included, without git's data or any build directory.
tar -c --exclude=./.git --exclude='./build*' . | tar -x -C "$source"

(cd "$source" && dpkg-buildpackage -us -uc -b -j"$(nproc)")
deb="$out/bumpmap_${version}_${arch}.deb"
[[ -f $deb ]] || { echo "package: $deb was not made" >&2; exit 1; }
echo "package: $deb"
