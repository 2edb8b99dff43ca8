#!/usr/bin/env bash
# Makes a release in dist/ from the committed tree (it refuses one with changes):
# the source tarball, then, each built from that tarball unpacked, so that the
# tarball is proven complete, the version's release notes from NEWS.md, the
# Debian packages for amd64 and arm64, the Windows zip and the web page's zip,
# and SHA256SUMS over them. Every artefact is dated SOURCE_DATE_EPOCH, the date
# of debian/changelog's last entry, so the same commit gives the same bytes
# wherever and whenever it is built.
# Usage: scripts/release.sh          the release in dist/
#        scripts/release.sh check    makes it twice at once, in two folders of different
#                                    names, umasks and time zones, each signed
#                                    with a throwaway key, and fails, naming the
#                                    file and showing how, if one byte differs
#                                    (the signatures aside); then gpgv over the
#                                    signatures and lintian over both packages.
#        scripts/release.sh arm64-program   then runs the checked release's
#                                    arm64 program under qemu against the native
#                                    program's frames (scripts/arm64.sh window).
#        scripts/release.sh setup    only installs what a release needs and makes
#                                    the arm64 build root, and stops.
# SIGNING_KEY=KEY (a key in your GnuPG keyring) signs SHA256SUMS into
# SHA256SUMS.asc; without it the release is unsigned, and says so.
# RELEASE_DIR=DIR puts the release in DIR/dist and its build in DIR/work.
# JOBS=N runs N jobs in each build (one a core by default).
# Exits 77, saying which and why, when this Debian release cannot make (or
# check) one of the artefacts; the others are still made.
set -euo pipefail
cd "$(dirname "$0")/.."
# How many jobs each build runs: JOBS, or one a core (half each in `check`).
jobs=${JOBS:-$(nproc)}

mode=${1:-make}
[[ $mode =~ ^(make|check|arm64-program|setup)$ ]] ||
    { echo "usage: scripts/release.sh [check|arm64-program|setup]" >&2; exit 2; }

skip() {
    echo "release: skipped: $*"
    exit 77
}

scripts/install-deps.sh release package
top=$PWD
# A release is made of commits: git archive takes HEAD, so a tracked file
# changed since would not be in it. The check, a stage of scripts/test.sh, is
# skipped rather than failed in a tree with work in progress.
if [[ $mode =~ ^(make|check)$ && -n $(git status --porcelain --untracked-files=no) ]]; then
    git status --short
    [[ $mode == check ]] && skip "the tree has changes that are not committed, and a release is made of commits"
    echo "release: the tree has changes that are not committed; a release is made of commits" >&2
    exit 1
fi
version=$(dpkg-parsechangelog -S Version)
version=${version%-*}
name=bumpmap-$version

# The arm64 package that `check` made, unpacked, under qemu in scripts/arm64.sh's
# sysroot: its frames must be the native program's, pixel for pixel.
if [[ $mode == arm64-program ]]; then
    deb=build-release/one/dist/bumpmap_$version-1_arm64.deb root=build-release/arm64-program
    [[ -f $deb ]] || skip "there is no arm64 package to run (scripts/release.sh check makes it)"
    [[ -f build-arm64/sysroot.stamp ]] || skip "there is no arm64 sysroot (scripts/arm64.sh) to run it in"
    rm -rf "$root"
    dpkg-deb -x "$deb" "$root"
    exec scripts/arm64.sh window "$root/usr/bin/bumpmap"
fi
# NEWS.md must have this version's entry, and debian/changelog and the
# metainfo the same version and date.
scripts/release-notes.sh
# The one date of every artefact: the changelog's, which dpkg would take anyway,
# which travels in the tarball (the commit's date does not) and which changes
# only when a release is made.
SOURCE_DATE_EPOCH=$(dpkg-parsechangelog -S Timestamp)
export SOURCE_DATE_EPOCH
codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
# Kept between runs, not part of the release: the arm64 build root.
cache=$top/build-release/cache

# The source: the committed tree by git archive, packed again with GNU tar so
# that its entries are sorted, owned by root and dated like the rest.
source_tarball() {
    git archive --format=tar --prefix="$name/" HEAD | tar -x -C "$work"
    tar -c -C "$work" --sort=name --format=gnu --mtime="@$SOURCE_DATE_EPOCH" \
        --owner=0 --group=0 --numeric-owner --mode=u+w,go-w,a+rX "$name" |
        gzip -n -9 >"$out/$name.tar.gz"
    rm -rf "${work:?}/$name"
    tar -x -f "$out/$name.tar.gz" -C "$work"
}

# This version's entry of NEWS.md, from the tarball.
release_notes() {
    "$src/scripts/release-notes.sh" "$out/$name-notes.md"
}

amd64_package() {
    (cd "$src" && dpkg-buildpackage -us -uc -b -j"$jobs") >"$work/amd64.log" 2>&1 ||
        { tail -n 30 "$work/amd64.log"; return 1; }
    grep -E '^ *[0-9]+% tests passed' "$work/amd64.log" || true
    cp "$work/bumpmap_$version-1_amd64.deb" "$out/"
}

windows_zip() {
    # freeglut for Windows is built once in this tree's build-windows/ (by the
    # set-up, scripts/windows.sh setup, when the release is checked).
    [[ -f build-windows/freeglut/version ]] || scripts/windows.sh freeglut
    (cd "$src" && cmake --preset windows -DBUMPMAP_FREEGLUT_PREFIX="$top/build-windows/freeglut" &&
        cmake --build --preset windows -j "$jobs") >"$work/windows.log" 2>&1 ||
        { tail -n 30 "$work/windows.log"; return 1; }
    cp "$src/build-windows/$name-windows-x86_64.zip" "$out/"
    check_zip "$out/$name-windows-x86_64.zip" crlf
}

# What a user reads first in a zip: its README.txt gives the version, and with
# $2 = crlf, for Windows, every text has CR LF line ends and no bare LF.
check_zip() {
    local zip=$1 entry status=0
    [[ $(unzip -p "$zip" "*/README.txt" | head -n1) == "bumpmap $version"* ]] ||
        { echo "release: $(basename "$zip")'s README.txt does not begin with bumpmap $version" >&2; status=1; }
    [[ ${2:-} == crlf ]] || return $status
    # grep reads it all: one that quit at the first bare LF could leave unzip
    # killed by SIGPIPE, which pipefail takes for no bare LF.
    while read -r entry; do
        if unzip -p "$zip" "$entry" | grep -v $'\r$' >/dev/null; then
            echo "release: $(basename "$zip"): $entry has lines without CR LF" >&2
            status=1
        fi
    done < <(unzip -Z1 "$zip" | grep '\.txt$')
    return $status
}

web_zip() {
    local status=0 page=$work/web/$name-web
    (cd "$src" && scripts/web.sh build) >"$work/web.log" 2>&1 || status=$?
    if ((status != 0)); then
        tail -n 30 "$work/web.log"
        ((status == 77)) && skip "the web page cannot be built with this Emscripten"
        return 1
    fi
    mkdir -p "$page"
    cp -r "$src"/build-web/{index.html,index.js,index.wasm,manifest.webmanifest,sw.js,icons,README.txt} "$page/"
    cp "$src/LICENSE" "$page/LICENSE.txt"
    grep -qF "<footer>bumpmap $version</footer>" "$page/index.html" ||
        { echo "release: the page's footer does not give bumpmap $version" >&2; return 1; }
    # The page's service worker fetches every file it keeps when it installs,
    # and installs with none if one is missing: each must be in the zip.
    local kept file
    kept=$(sed -n "s/^var FILES = .*concat('\([^']*\)'.*/\1/p" "$page/sw.js")
    [[ -n $kept ]] || { echo "release: no list of the files it keeps in the page's sw.js" >&2; return 1; }
    for file in $kept; do
        [[ -f $page/$file ]] ||
            { echo "release: the page's service worker keeps $file, which the web zip lacks" >&2; return 1; }
    done
    scripts/zip-folder.sh "$out/$name-web.zip" "$page"
    check_zip "$out/$name-web.zip"
}

# The arm64 package, cross-built the Debian way in a throwaway root that
# mmdebstrap makes, so that no arm64 architecture is added to this machine.
# The root, with the cross compilers and the arm64 build dependencies
# installed, is kept as a tarball and unpacked afresh for every build.
if (($(id -u) == 0)); then
    mmdebstrap_mode=root
else
    mmdebstrap_mode=unshare
fi
arm64_root() {
    local tarball=$cache/arm64-root-$codename.tar mirror stamp options=()
    stamp="$codename $(md5sum <"$src/debian/control")"
    [[ -f $tarball && $(cat "$tarball.stamp" 2>/dev/null) == "$stamp" ]] && return 0
    # The mirror, proxy and checks of this machine's apt, as scripts/arm64.sh takes
    # them; the archive key named, so that mmdebstrap needs no gpg to find it.
    # shellcheck disable=SC2016 # apt's own $(FIELD) placeholders
    mirror=$(apt-get indextargets --format '$(REPO_URI) $(RELEASE) $(CODENAME)' \
        'Identifier: Packages' | awk -v r="$codename" '$2 == r || $3 == r { print $1; exit }')
    [[ -n $mirror ]] || { echo "release: apt has no source for Debian $codename" >&2; return 1; }
    while read -r option; do
        options+=("--aptopt=${option%;}")
    done < <(apt-config dump | grep -E '^Acquire::(https?::Proxy|Check-Valid-Until) ')
    mkdir -p "$cache"
    rm -f "$tarball"
    echo "release: making the arm64 build root of Debian $codename (once)"
    # shellcheck disable=SC2016 # $1 is the root, for mmdebstrap's hooks
    mmdebstrap --mode="$mmdebstrap_mode" --variant=buildd --architectures=amd64,arm64 \
        --include=crossbuild-essential-arm64 "${options[@]}" \
        --customize-hook='mkdir -p "$1/root/source/debian"' \
        --customize-hook="upload $src/debian/control /root/source/debian/control" \
        --customize-hook='chroot "$1" apt-get build-dep -y -a arm64 -P nocheck /root/source' \
        --customize-hook='rm -rf "$1/root/source"' \
        "$codename" - "deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $mirror $codename main" \
        2>"$cache/arm64-root.log" |
        mmtarfilter --path-exclude='/dev/*' >"$tarball.new" ||
        { tail -n 30 "$cache/arm64-root.log"; rm -f "$tarball.new"; return 1; }
    mv "$tarball.new" "$tarball"
    echo "$stamp" >"$tarball.stamp"
}
arm64_can_be_made() {
    [[ $(dpkg --print-architecture) == amd64 ]] ||
        skip "the arm64 package is cross-built from amd64, and this machine is $(dpkg --print-architecture)"
    command -v mmdebstrap >/dev/null || skip "Debian $codename has no mmdebstrap to make the build root"
    # grep reads it all: one that quit at the first match could leave apt-cache
    # killed by SIGPIPE, which pipefail takes for a missing package.
    apt-cache show crossbuild-essential-arm64 2>/dev/null | grep '^Version:' >/dev/null ||
        skip "Debian $codename has no crossbuild-essential-arm64"
}
if [[ $mode == setup ]]; then
    scripts/install-deps.sh package-check
    scripts/install-deps.sh release-diff ||
        echo "release: no diffoscope here; the check shows a difference with cmp instead"
    src=$top
    arm64_can_be_made
    arm64_root
    exit 0
fi
arm64_package() {
    arm64_can_be_made
    arm64_root
    local deb=bumpmap_$version-1_arm64.deb
    # Without the tests: arm64 programs cannot run in the root. scripts/arm64.sh
    # runs the unit tests under qemu, and `check` the packaged program.
    cat >"$work/arm64-build.sh" <<EOF
set -e
cd /root
tar -xzf $name.tar.gz
cd $name
export SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH DEB_BUILD_OPTIONS="nocheck parallel=$jobs"
dpkg-buildpackage -a arm64 --build-profiles=nocheck -b -us -uc
EOF
    # shellcheck disable=SC2016 # $1 is the root, for mmdebstrap's hooks
    mmdebstrap --mode="$mmdebstrap_mode" --variant=custom --skip=update \
        --setup-hook="tar-in $cache/arm64-root-$codename.tar /" \
        --customize-hook="upload $out/$name.tar.gz /root/$name.tar.gz" \
        --customize-hook="upload $work/arm64-build.sh /root/build.sh" \
        --customize-hook='chroot "$1" sh /root/build.sh' \
        --customize-hook="download /root/$deb $out/$deb" \
        "$codename" /dev/null >"$work/arm64.log" 2>&1 ||
        { tail -n 30 "$work/arm64.log"; return 1; }
}

# Runs the function $2, with errexit on inside it, and files $1 under failed,
# or under skipped when it exits 77.
failed=()
skipped=()
part() {
    local status
    echo "release: $1"
    set +e
    (set -e && "$2")
    status=$?
    set -e
    if ((status == 77)); then
        skipped+=("$1")
    elif ((status != 0)); then
        failed+=("$1")
    fi
}

# The whole release into $1, built in $2.
make_release() {
    out=$1 work=$2
    src=$work/$name
    rm -rf "$out" "$work"
    mkdir -p "$out" "$work"
    echo "release: $name into $out, SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH" \
        "($(date -u -d "@$SOURCE_DATE_EPOCH" '+%F %T UTC')), umask $(umask), TZ=${TZ:-unset}"
    part "source tarball" source_tarball
    ((${#failed[@]} == 0)) || return 0
    part "release notes" release_notes
    part "amd64 package" amd64_package
    part "arm64 package" arm64_package
    part "Windows zip" windows_zip
    part "web zip" web_zip
    (cd "$out" && LC_ALL=C sha256sum -- bumpmap* >SHA256SUMS)
    part "signature" sign
}

# SHA256SUMS.asc: SHA256SUMS signed, detached and armoured, with SIGNING_KEY.
sign() {
    [[ -n ${SIGNING_KEY:-} ]] || return 0
    local made
    made=$(gpg --batch --yes --status-fd 1 --local-user "$SIGNING_KEY" --armor --detach-sign \
        --output "$out/SHA256SUMS.asc" "$out/SHA256SUMS" | awk '$2 == "SIG_CREATED" { print $NF }')
    [[ -n $made ]] || { echo "release: gpg made no signature with $SIGNING_KEY" >&2; return 1; }
    echo "release: SHA256SUMS.asc, signed by key $made"
}

if [[ $mode == make ]]; then
    if [[ -n ${RELEASE_DIR:-} ]]; then
        make_release "$RELEASE_DIR/dist" "$RELEASE_DIR/work"
    else
        make_release "$top/dist" "$top/build-release/work"
    fi
    (cd "$out" && ls -l && cat SHA256SUMS)
    [[ -f $out/SHA256SUMS.asc ]] ||
        echo "release: unsigned: no SIGNING_KEY, so no SHA256SUMS.asc (see docs/releases.md)"
    ((${#failed[@]} == 0)) || { echo "release: failed: ${failed[*]}" >&2; exit 1; }
    ((${#skipped[@]} == 0)) || { echo "release: not made here: ${skipped[*]} (see above why)"; exit 77; }
    exit 0
fi

# check: the release twice, in folders of different names and depths, with
# different umasks and time zones (POSIX ones, which need no tzdata), each
# signed with a key made for the check in a GnuPG home of its own, then every
# file compared byte for byte.
one=build-release/one
two=build-release/check/second
gnupg=$top/build-release/check-gnupg
public_key=$top/build-release/check-key.gpg
rm -rf "$gnupg" "$public_key"
mkdir -p build-release
mkdir -m 0700 "$gnupg"
export GNUPGHOME=$gnupg
gpg --batch --quiet --pinentry-mode loopback --passphrase '' \
    --quick-gen-key 'bumpmap release check <release-check@bumpmap.invalid>' ed25519 sign never
signing_key=$(gpg --batch --quiet --with-colons --list-keys | awk -F: '$1 == "fpr" { print $10; exit }')
gpg --batch --export "$signing_key" >"$public_key"
echo "release: signing both releases with the throwaway key $signing_key"
# Both at once, each with half the cores (at least one job); each one's
# output is shown once it is done.
export JOBS=$(((jobs + 1) / 2))
(umask 0022 && TZ=UTC0 SIGNING_KEY=$signing_key RELEASE_DIR=$top/$one scripts/release.sh) \
    >build-release/one.log 2>&1 &
first=$!
(umask 0002 && TZ='<+1345>-13:45' SIGNING_KEY=$signing_key RELEASE_DIR=$top/$two scripts/release.sh) \
    >build-release/second.log 2>&1 &
status_one=0 status_two=0
wait "$first" || status_one=$?
wait $! || status_two=$?
cat build-release/one.log build-release/second.log
gpgconf --kill gpg-agent
unset GNUPGHOME
if ((status_one != 0 && status_one != 77 || status_two != 0 && status_two != 77)); then
    echo "release: check: a release failed to build" >&2
    exit 1
fi

echo "release: comparing $one/dist with $two/dist"
mapfile -t files < <(find "$one/dist" "$two/dist" -maxdepth 1 -type f -printf '%f\n' | LC_ALL=C sort -u)
for file in "${files[@]}"; do
    if [[ $file == SHA256SUMS.asc ]]; then
        echo "release: $file: left out, as a signature holds the time it was made (gpgv checks it below)"
        continue
    fi
    if cmp -s "$one/dist/$file" "$two/dist/$file"; then
        echo "release: $file: the same bytes"
        continue
    fi
    echo "release: $file differs between the two builds" >&2
    failed+=("$file")
    [[ -f $one/dist/$file && -f $two/dist/$file ]] || continue
    if scripts/install-deps.sh release-diff >/dev/null 2>&1; then
        diffoscope --no-progress "$one/dist/$file" "$two/dist/$file" | head -n 200 || true
    else
        cmp -l "$one/dist/$file" "$two/dist/$file" | head -n 20 || true
    fi
done
(cd "$one/dist" && sha256sum --quiet -c SHA256SUMS) || failed+=(SHA256SUMS)

# Each signature as a user checks it: gpgv with the public key alone, in an
# empty GnuPG home. And it must refuse a SHA256SUMS with one byte changed.
verify_signatures() {
    local home dir status=0
    home=$(mktemp -d)
    for dir in "$one/dist" "$two/dist"; do
        echo "release: gpgv $dir/SHA256SUMS.asc"
        GNUPGHOME=$home gpgv --keyring "$public_key" "$dir/SHA256SUMS.asc" "$dir/SHA256SUMS" || status=1
    done
    sed '1s/^./X/' "$one/dist/SHA256SUMS" >"$home/SHA256SUMS"
    if GNUPGHOME=$home gpgv --keyring "$public_key" "$one/dist/SHA256SUMS.asc" "$home/SHA256SUMS" 2>/dev/null; then
        echo "release: gpgv took the signature for a changed SHA256SUMS" >&2
        status=1
    fi
    rm -rf "$home"
    return $status
}
part "the signatures, with gpgv and the public key alone" verify_signatures

# Both packages as Debian checks them, as the package stage does.
lint_packages() {
    local deb
    for deb in "$one"/dist/*.deb; do
        echo "release: $(basename "$deb") depends on $(dpkg-deb -f "$deb" Depends)"
    done
    tests/package_check.sh lintian "$one"/dist/*.deb
}
part "lintian" lint_packages

echo "release: the first build's files:"
(cd "$one/dist" && ls -l && cat SHA256SUMS)
((${#failed[@]} == 0)) || { echo "release: check failed: ${failed[*]}" >&2; exit 1; }
if ((status_one == 77 || ${#skipped[@]})); then
    echo "release: check: the same bits, but not everything could be made or checked here (see above why)"
    exit 77
fi
echo "release: check: every file the same bits in both builds"
