#!/usr/bin/env bash
# Audits of the built page (build-web/): axe-core over every view and
# Lighthouse on the mobile and desktop profiles (web/tests/audit.py). The
# tools are the npm packages pinned in package.json and package-lock.json,
# installed by scripts/npm-tools.sh (npm ci; Node and npm are Debian's where
# none is on PATH).
# Exits 77, saying why, when Lighthouse cannot run with this Node; axe has
# run and passed by then. CTest runs it as web.audits, once the page is built.
# Usage: scripts/web-audit.sh
set -euo pipefail
cd "$(dirname "$0")/.."

[[ -f build-web/index.html ]] || {
    echo "web-audit: no page in build-web/; scripts/web.sh build makes it" >&2
    exit 1
}
scripts/npm-tools.sh

# Lighthouse says which Node it needs (engines in its package.json).
lighthouse_runs=yes
needed=$(node -p 'require("./node_modules/lighthouse/package.json").engines.node')
have=$(node --version)
if ! node -e '
    const [need, have] = process.argv.slice(1).map(v => v.replace(/^[^0-9]*/, "").split(".").map(Number));
    const older = need.findIndex((n, i) => (have[i] || 0) !== n);
    process.exit(older >= 0 && (have[older] || 0) < need[older] ? 1 : 0);' "$needed" "$have"; then
    echo "web-audit: Lighthouse needs Node $needed and this is Node $have: it is not run" >&2
    lighthouse_runs=''
fi

if [[ -n $lighthouse_runs ]]; then
    /usr/bin/python3 web/tests/audit.py build-web node_modules axe lighthouse
else
    /usr/bin/python3 web/tests/audit.py build-web node_modules axe
    echo "web-audit: SKIPPED: Lighthouse (Node $have, it needs $needed); axe passed" >&2
    exit 77
fi
