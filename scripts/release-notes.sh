#!/usr/bin/env bash
# The release notes of the version in CMakeLists.txt's project(): its entry in
# NEWS.md, which must be the newest ("## VERSION (YYYY-MM-DD)"), with the same
# version and date as the newest entries of debian/changelog and of the
# metainfo's <releases>, and named by the README's Download part. Fails,
# saying which disagrees, otherwise.
# Usage: scripts/release-notes.sh          only the check
#        scripts/release-notes.sh FILE     the check, then the notes into FILE,
#                                          headed "# bumpmap VERSION (DATE)"
set -euo pipefail
cd "$(dirname "$0")/.."

version=$(sed -n 's/^project(bumpmap VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[[ -n $version ]] || { echo "release-notes: CMakeLists.txt's project() gives no version" >&2; exit 1; }
failed=false
disagree() {
    echo "release-notes: $*" >&2
    failed=true
}

heading=$(grep -m1 '^## ' NEWS.md || true)
if ! grep -q "^## $version (" NEWS.md; then
    echo "release-notes: NEWS.md has no entry \"## $version (YYYY-MM-DD)\" for $version," \
        "the version in CMakeLists.txt's project()" >&2
    exit 1
fi
[[ $heading =~ ^"## $version ("([0-9]{4}-[0-9]{2}-[0-9]{2})")"$ ]] ||
    { echo "release-notes: NEWS.md's newest entry is '$heading', not \"## $version (YYYY-MM-DD)\"" >&2; exit 1; }
date=${BASH_REMATCH[1]}

changelog_version=$(dpkg-parsechangelog -S Version)
changelog_date=$(date -u -d "$(dpkg-parsechangelog -S Date)" +%F)
[[ ${changelog_version%-*} == "$version" ]] ||
    disagree "debian/changelog's newest entry is $changelog_version, NEWS.md's $version"
[[ $changelog_date == "$date" ]] ||
    disagree "debian/changelog's newest entry is dated $changelog_date, NEWS.md's $date"

release=$(grep -m1 -o '<release version="[^"]*" date="[^"]*"' data/local.bumpmap.bumpmap.metainfo.xml || true)
[[ $release == "<release version=\"$version\" date=\"$date\"" ]] ||
    disagree "the metainfo's newest release is '${release:-none}', NEWS.md's $version of $date"

# The entry: from its heading to the next one, without the blank lines at its
# start (and, by $(...), at its end).
notes=$(awk -v heading="$heading" '$0 == heading { found = 1; next } found && /^## / { exit } found' NEWS.md |
    sed '/./,$!d')
[[ -n $notes ]] || disagree "NEWS.md's entry for $version is empty"
# The README's Download part names the files to take, this version's.
grep -qF "bumpmap_$version-1_amd64.deb" README.md ||
    disagree "README.md's Download part does not name bumpmap_$version-1_amd64.deb"

$failed && exit 1
if [[ -n ${1:-} ]]; then
    printf '# bumpmap %s (%s)\n\n%s\n' "$version" "$date" "$notes" >"$1"
else
    echo "release-notes: NEWS.md, debian/changelog and the metainfo agree on $version of $date"
fi
