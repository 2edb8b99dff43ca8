#!/usr/bin/env bash
# Installs the npm tools of the checks into node_modules/, exactly as
# package-lock.json pins them (npm ci), unless they are there already: npm ci
# leaves node_modules/.package-lock.json newer than the lock file it followed
# and than package.json.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh npm
if [[ ! node_modules/.package-lock.json -nt package-lock.json ||
    ! node_modules/.package-lock.json -nt package.json ]]; then
    echo "npm-tools: npm ci with npm $(npm --version) on Node $(node --version)"
    npm ci --no-audit --no-fund --loglevel=error
fi
