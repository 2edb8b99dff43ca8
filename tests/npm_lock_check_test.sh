#!/bin/sh
# The lock check passes the project's lock and fails a copy of it seeded with
# a dependency on a registry tag, and one whose package.json names a range.
# Usage: npm_lock_check_test.sh SOURCE_DIR WORK_DIR
set -eu
source_dir=$1 work=$2
command -v node >/dev/null || { echo "skipped: no node on PATH to run the check with"; exit 77; }
check="$source_dir/scripts/npm-lock-check.js"
mkdir -p "$work"

node "$check" "$source_dir/package-lock.json"

# $1: JavaScript that changes `lock`; $2: what the check must say.
seeded_fails() {
    node -e 'const fs = require("fs"); const lock = JSON.parse(fs.readFileSync(process.argv[1]));
        eval(process.argv[2]); fs.writeFileSync(process.argv[3], JSON.stringify(lock));' \
        "$source_dir/package-lock.json" "$1" "$work/seeded-lock.json"
    if node "$check" "$work/seeded-lock.json" 2>"$work/said.txt"; then
        echo "the check passed a lock where: $1"
        exit 1
    fi
    grep -F "$2" "$work/said.txt" || { echo "the check did not say '$2':"; cat "$work/said.txt"; exit 1; }
}
seeded_fails 'lock.packages["node_modules/lighthouse"].dependencies["third-party-web"] = "latest"' \
    'lighthouse depends on third-party-web@latest, a registry tag'
seeded_fails 'lock.packages["node_modules/axe-core"].optionalDependencies = {"x-tool": "npm:y-tool@next"}' \
    'axe-core depends on x-tool@npm:y-tool@next, a registry tag'
seeded_fails 'lock.packages[""].devDependencies["lighthouse"] = "^12.2.3"' \
    'package.json names lighthouse by "^12.2.3", not an exact version'
echo "the lock check passes the lock and fails each seeded one"
