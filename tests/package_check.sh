#!/usr/bin/env bash
# Builds the Debian package and checks it the way Debian does, without
# installing it: lintian, the desktop entry and the AppStream metainfo through
# their validators, the manual page rendered with warnings on, the file list,
# and the packaged program, unpacked with dpkg -x, run by bumpmap-drive
# ($BUMPMAP_DRIVE, which CTest sets) until its window shows a frame and quit
# with Escape. Runs every check and fails if any of them failed.
# Usage: tests/package_check.sh
#        tests/package_check.sh lintian DEB...   only lintian, as here
set -euo pipefail
cd "$(dirname "$0")/.."

# Newer lintian also runs appstreamcli validate-tree and warns on any finding.
# The metainfo check below runs it too and names the one warning it accepts,
# so that lintian tag is left to it (an override would be an unknown tag, an
# error, to the older lintian of Debian 12).
run_lintian() {
    local suppress=()
    lintian-explain-tags appstream-metadata-validation-failed >/dev/null 2>&1 &&
        suppress=(--suppress-tags appstream-metadata-validation-failed)
    lintian --display-info --fail-on error,warning "${suppress[@]}" "$@" \
        2> >(grep -v 'root privileges' >&2)
}
if [[ ${1:-} == lintian ]]; then
    shift
    scripts/install-deps.sh package-check >/dev/null
    run_lintian "$@"
    exit
fi
: "${BUMPMAP_DRIVE:?run it as ctest --preset test -L package}"

scripts/install-deps.sh package-check
log=$(mktemp)
if ! scripts/package.sh >"$log" 2>&1; then
    cat "$log"
    rm -f "$log"
    echo "package-check: the package did not build" >&2
    exit 1
fi
mv "$log" build-deb/package.log
deb=$(tail -n1 build-deb/package.log)
deb=${deb#package: }
echo "package-check: $deb, $(stat -c %s "$deb") bytes (build log: build-deb/package.log)"
root=build-deb/root
dpkg -x "$deb" "$root"
failed=()

echo "package-check: lintian"
run_lintian "$deb" || failed+=(lintian)

echo "package-check: the desktop entry"
desktop=$root/usr/share/applications/bumpmap.desktop
report=$(desktop-file-validate "$desktop" 2>&1) && [[ -z $report ]] ||
    { echo "$report"; failed+=(desktop-file-validate); }
# What the menu starts and shows must be in the package.
exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
icon_name=$(sed -n 's/^Icon=//p' "$desktop")
[[ -x $root/usr/bin/$exec_name ]] ||
    { echo "Exec=$exec_name is not in usr/bin"; failed+=(desktop-exec); }
[[ -f $root/usr/share/icons/hicolor/48x48/apps/$icon_name.png ]] ||
    { echo "Icon=$icon_name has no 48x48 icon"; failed+=(desktop-icon); }

# The project has no public address yet, so AppStream 1.0 misses a homepage:
# that warning is expected. Infos pass (the id under .local, which no one can
# own, is only "maybe not" a reverse domain name); any other warning or error
# fails.
echo "package-check: the AppStream metainfo"
metainfo=$root/usr/share/metainfo/local.bumpmap.bumpmap.metainfo.xml
status=0
report=$(appstreamcli validate-tree --no-net --pedantic "$root" 2>&1) || status=$?
echo "$report"
if ((status != 0 && status != 3)) ||
    grep -E '^ *[EW]: ' <<<"$report" | grep -vqE ': url-homepage-missing( |$)'; then
    failed+=(appstreamcli)
else
    echo "package-check: appstreamcli found nothing beyond the expected"
fi
launchable=$(sed -n 's|.*<launchable type="desktop-id">\(.*\)</launchable>.*|\1|p' "$metainfo")
[[ -f $root/usr/share/applications/$launchable ]] ||
    { echo "launchable $launchable is not in the package"; failed+=(metainfo-launchable); }

echo "package-check: the manual page"
report=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 \
    man --warnings -E UTF-8 -l -Tutf8 -Z "$root/usr/share/man/man6/bumpmap.6.gz" 2>&1 >/dev/null) &&
    [[ -z $report ]] || { echo "$report"; failed+=(man); }

# One release number in the changelog, the build, the metainfo and the manual
# page, and NEWS.md's entry for it.
echo "package-check: the release number"
scripts/release-notes.sh || failed+=(release-notes)
version=$(dpkg-parsechangelog -S Version)
version=${version%-*}
for found in \
    "CMakeLists.txt $(sed -n 's/^project(bumpmap VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)" \
    "metainfo $(grep -m1 -o '<release version="[^"]*"' "$metainfo" | cut -d'"' -f2)" \
    "manual $(zcat "$root/usr/share/man/man6/bumpmap.6.gz" | sed -n 's/^\.TH .*"bumpmap \([^"]*\)".*/\1/p')"; do
    [[ ${found#* } == "$version" ]] ||
        { echo "${found% *} says '${found#* }', the changelog $version"; failed+=(version); }
done

# Exactly these files, one icon for each size that scripts/pictures.sh makes.
echo "package-check: the files (dpkg -c)"
dpkg -c "$deb"
expected=(
    usr/bin/bumpmap
    usr/share/applications/bumpmap.desktop
    usr/share/doc/bumpmap/changelog.Debian.gz
    usr/share/doc/bumpmap/copyright
    usr/share/lintian/overrides/bumpmap
    usr/share/man/man6/bumpmap.6.gz
    usr/share/metainfo/local.bumpmap.bumpmap.metainfo.xml)
while read -r icon; do
    expected+=("usr/share/icons/${icon#data/icons/}")
done < <(find data/icons -name bumpmap.png)
diff -u <(printf '%s\n' "${expected[@]}" | LC_ALL=C sort) \
    <(dpkg -c "$deb" | awk '/^-/ { sub("^\\./", "", $6); print $6 }' | LC_ALL=C sort) ||
    failed+=(files)
dpkg -c "$deb" | awk '$2 != "root/root" { print "not owned by root:", $0; bad = 1 } END { exit bad }' ||
    failed+=(owners)

# The libraries come from this machine, as they would from the package's
# dependencies. It must show a frame, end with status 0 on Escape and print
# nothing: its only output is a GL error.
echo "package-check: the packaged bumpmap, driven by bumpmap-drive"
"$BUMPMAP_DRIVE" -- "$root/usr/bin/bumpmap" || failed+=(run)

if ((${#failed[@]})); then
    echo "package-check: failed: ${failed[*]}" >&2
    exit 1
fi
echo "package-check: clean"
