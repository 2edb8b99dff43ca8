#!/usr/bin/env bash
# Installs the Debian packages that the named jobs need, when any is missing.
# Usage: scripts/install-deps.sh JOB...   (jobs: build run test bench lint pictures memcheck
#        package package-check web web-test web-firefox web-webkitgtk localhost windows
#        windows-run windows-test arm64 npm release release-diff load)
set -euo pipefail

# The arm64 emulator: Debian 12 and 13 package it as qemu-user-static, Debian
# 14 only as qemu-user (static itself there).
qemu_user_package() {
    if apt-cache show qemu-user-static 2>/dev/null | grep '^Version:' >/dev/null; then
        echo qemu-user-static
    else
        echo qemu-user
    fi
}

# WebKitGTK's WebDriver: webkit2gtk-driver on Debian 12, webkitgtk-webdriver
# from Debian 13 on (13 keeps the old name as a transitional package, 14 has
# only the new one).
webkit_driver_package() {
    if apt-cache show webkitgtk-webdriver 2>/dev/null | grep '^Version:' >/dev/null; then
        echo webkitgtk-webdriver
    else
        echo webkit2gtk-driver
    fi
}

wanted=()
for job in "$@"; do
    case $job in
    build) wanted+=(build-essential cmake libgl-dev libglu1-mesa-dev libglut-dev) ;;
    run) wanted+=(libgl1-mesa-dri) ;;
    test) wanted+=(libgtest-dev xvfb libgl1-mesa-dri libx11-dev libxtst-dev libpng-dev) ;;
    bench) wanted+=(libbenchmark-dev xvfb libgl1-mesa-dri python3) ;;
    lint) wanted+=(clang-format clang-tidy iwyu cppcheck) ;;
    # Debian's Node and npm, unless an npm is already on PATH: installing
    # Debian's beside another Node would fight it.
    npm) command -v npm >/dev/null || wanted+=(nodejs npm) ;;
    pictures) wanted+=(xvfb libgl1-mesa-dri imagemagick) ;;
    memcheck) wanted+=(valgrind xvfb libgl1-mesa-dri) ;;
    package) wanted+=(build-essential debhelper dpkg-dev cmake libgl-dev libglu1-mesa-dev libglut-dev libgtest-dev) ;;
    package-check) wanted+=(lintian desktop-file-utils appstream man-db xvfb libgl1-mesa-dri) ;;
    web) wanted+=(emscripten cmake make python3) ;;
    localhost) wanted+=(libnss-myhostname) ;;
    web-test) wanted+=(chromium chromium-driver python3-selenium imagemagick) ;;
    web-firefox) wanted+=(firefox-esr python3-websocket python3-selenium xvfb xdotool libgl1-mesa-dri imagemagick) ;;
    web-webkitgtk) wanted+=("$(webkit_driver_package)" python3-selenium xvfb libgl1-mesa-dri imagemagick) ;;
    windows) wanted+=(cmake g++-mingw-w64-x86-64-win32 dpkg-dev zip python3) ;;
    windows-run) wanted+=(wine wine64 libgl1-mesa-dri) ;;
    windows-test) wanted+=(wine wine64 libgl1-mesa-dri xvfb) ;;
    arm64) wanted+=(cmake make g++-aarch64-linux-gnu "$(qemu_user_package)" debootstrap debian-archive-keyring xvfb) ;;
    release) wanted+=(dpkg-dev git mmdebstrap debian-archive-keyring zip unzip gpg gpg-agent gpgv) ;;
    release-diff) wanted+=(diffoscope-minimal) ;;
    load) wanted+=(stress-ng) ;;
    *)
        echo "install-deps: unknown job '$job'" >&2
        exit 2
        ;;
    esac
done

missing=()
for package in $(printf '%s\n' "${wanted[@]}" | sort -u); do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
        missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
echo "Installing ${missing[*]}"
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
