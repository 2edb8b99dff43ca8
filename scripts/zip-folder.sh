#!/usr/bin/env bash
# Packs the folder DIR into the zip ZIP, the same bytes from the same files
# whatever the umask, time zone or user: the entries sorted, each dated
# SOURCE_DATE_EPOCH (unset, the date of debian/changelog's last entry, as the
# Debian package is), folders 0755 and files 0644, and no owner, no Unix times
# and no other extra field (zip -X). It sets those dates and modes on DIR's
# own files: give it a folder made for packing.
# Usage: scripts/zip-folder.sh ZIP DIR
set -euo pipefail

zip=$(realpath -m "$1") dir=$2
date=${SOURCE_DATE_EPOCH:-$(dpkg-parsechangelog -l "$(dirname "$0")/../debian/changelog" -S Timestamp)}
find "$dir" -type d -exec chmod 0755 {} +
find "$dir" -type f -exec chmod 0644 {} +
find "$dir" -exec touch -h -d "@$date" {} +
rm -f "$zip"
cd "$(dirname "$dir")"
# zip writes each entry's time as local time.
find "$(basename "$dir")" | LC_ALL=C sort | TZ=UTC0 zip -X -q -@ "$zip"
