#!/usr/bin/env bash
# Tests assert on exit codes (0 after a normal end, -1 after a runtime error):
# the Wine wrapper must hand them on unchanged (-1 arrives as 255).
# Usage: check_exit_codes.sh <wine-run.sh> <probe.exe>
set -u
wineRun="$1" probe="$2"
failures=0
for pair in 0:0 7:7 -1:255; do
    code="${pair%%:*}" want="${pair##*:}"
    "$wineRun" "$probe" --exit "$code" >/dev/null 2>&1
    got=$?
    if [ "$got" = "$want" ]; then
        echo "exit $code -> $got"
    else
        echo "FAIL exit $code -> $got, want $want"
        failures=$((failures + 1))
    fi
done
[ $failures = 0 ]
