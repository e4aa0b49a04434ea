#!/usr/bin/env bash
# The one test command: sets the machine up, builds both builds and runs every
# test (native with ASan/UBSan, the fuzz targets briefly, then Windows under Wine), printing CTest's
# summary lines at the end. Exits non-zero if anything failed to build or any
# test failed. The Windows tests include the whole test bundle under a 64-bit
# prefix and under German, Japanese and Turkish locales (build_bundle_*).
# About 25 minutes on a 2-core machine.
#
#   SL_BUILD_ROOT   where the builds go (default build/ in the repository;
#                   build/native and build/windows)
#   DISPLAY         X display for GUI tests; when unset a private Xvfb is
#                   started on a free display and stopped at the end
#   SL_CTEST_ARGS   extra ctest arguments for both runs (e.g. "-R core_")
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"

root="${SL_BUILD_ROOT:-$SL_REPO/build}"
jobs="$(nproc)"
# shellcheck disable=SC2206
ctestArgs=(${SL_CTEST_ARGS:-})
status=0
summary=()

bash "$SL_REPO/scripts/setup.sh" || exit 1

for kind in native fuzz windows; do
    echo "=== build $kind ($root/$kind)"
    # Keep going past a failing file: the tests that did build still run, and
    # the ones that did not are reported as not run.
    SL_BUILD_DIR="$root/$kind" bash "$SL_REPO/scripts/build.sh" "$kind" -- -k 0
    buildStatus=$?
    if [ "$buildStatus" != 0 ]; then
        echo "=== build $kind FAILED"
        summary+=("$kind: build FAILED")
        status=1
    fi
done

trap SlStopPrivateXvfb EXIT
SlPrivateXvfb || exit 1
[ -n "$SL_PRIVATE_XVFB_PID" ] && echo "=== Xvfb on $DISPLAY"
# On CI nothing else shares the Wine prefix: stop its server at the end.
[ "${CI:-}" = true ] && export SL_WINESERVER_KILL=1

RunCtest() { # RunCtest <label for the summary> <ctest args...>
    local name="$1" out rc
    shift
    out="$(mktemp)"
    ctest --output-on-failure --no-tests=ignore "${ctestArgs[@]}" "$@" 2>&1 | tee "$out"
    rc="${PIPESTATUS[0]}"
    [ "$rc" = 0 ] || status=1
    local line
    line="$(grep -E '^[0-9]+% tests passed' "$out" | tail -1)"
    [ -n "$line" ] && summary+=("$name: $line")
    rm -f "$out"
}

echo "=== test native"
RunCtest native --test-dir "$root/native" -j "$jobs"
echo "=== test fuzz"
RunCtest fuzz --test-dir "$root/fuzz" -j "$jobs"
echo "=== test windows"
# GUI tests share one display: they run one at a time after the others.
RunCtest "windows" --test-dir "$root/windows" -j "$jobs" -LE gui
RunCtest "windows gui" --test-dir "$root/windows" -L gui

echo "=== summary"
printf '%s\n' "${summary[@]}"
if [ $status = 0 ]; then
    echo "ALL TESTS PASSED"
else
    echo "SOME BUILDS OR TESTS FAILED"
fi
exit $status
