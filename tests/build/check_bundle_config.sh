#!/usr/bin/env bash
# The whole test bundle under a configuration Windows users have and the
# suite's own runs do not: a 64-bit Windows (the 32-bit programs under WOW64)
# and user locales other than the suite's Chinese and English. Run through
# scripts/test-bundle.sh as on a Windows machine; fails on any failed case and
# names each one, with the configuration.
#
#   check_bundle_config.sh package <build dir> <zip folder>
#       makes the bundle once for the configurations (the CTest fixture)
#   check_bundle_config.sh run <zip folder> <win32|win64> <locale> [shared]
#       runs it in the 32-bit prefix or its 64-bit twin (scripts/setup.sh
#       makes both) under <locale> (one of setup.sh's, e.g. de_DE.UTF-8), on
#       a private Xvfb (a run beside other tests: each Wine session its own
#       display), or with "shared" on the caller's DISPLAY when it has one
#
# The configurations themselves are listed in tests/build/build_tests.cmake.
set -uo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
source "$repo/scripts/env.sh"

case "${1:-}" in
    package)
        build="$2" dist="$3"
        rm -rf "$dist"
        SL_BUILD_DIR="$build" SL_DIST_DIR="$dist" bash "$repo/scripts/package-tests.sh" || exit 1
        exit 0
        ;;
    run) ;;
    *)
        echo "usage: check_bundle_config.sh package <build dir> <zip folder>" >&2
        echo "       check_bundle_config.sh run <zip folder> <win32|win64> <locale> [shared]" >&2
        exit 2
        ;;
esac
dist="$2" arch="$3" locale="$4" display=""
[ "${5:-}" = shared ] && display="${DISPLAY:-}"
case "$arch" in
    win32) prefix="$SL_WINEPREFIX" ;;
    win64) prefix="$(SlWin64Prefix)" ;;
    *) echo "FAIL: no such configuration: $arch" >&2; exit 2 ;;
esac
config="$arch $locale"
zip="$(ls "$dist"/*-win32-tests.zip 2>/dev/null | head -1)"
[ -f "$zip" ] || { echo "FAIL ($config): no test bundle in $dist"; exit 1; }

if [ -z "$display" ]; then
    unset DISPLAY
    trap SlStopPrivateXvfb EXIT
    SlPrivateXvfb || { echo "FAIL ($config): no X display"; exit 1; }
    display="$DISPLAY"
fi

# The run unpacks outside the trees, which it hides.
work="$(mktemp -d /tmp/songlink-bundle-config.XXXXXX)"
DISPLAY="$display" SL_TEST_BUNDLE_ZIP="$zip" SL_BUNDLE_WORK="$work/run" SL_BUNDLE_PREFIX="$prefix" \
    SL_BUNDLE_LANG="$locale" SL_BUNDLE_TIMEOUT=1500 bash "$repo/scripts/test-bundle.sh" >"$work/run.txt"
rc=$?
cat "$work/run.txt"
# With the 64-bit prefix nothing else shares its server: stop it, and with it
# the session's own processes.
[ "$arch" = win64 ] && (exec </dev/null >/dev/null 2>&1; WINEPREFIX="$prefix" wineserver -k)

results="$(ls -d "$work"/run/unpacked/*/results 2>/dev/null | head -1)"
failures="$(python3 - "${results:-/nonexistent}" <<'PY'
import glob, os, re, sys, xml.etree.ElementTree as ET
for report in sorted(glob.glob(os.path.join(sys.argv[1], "*.xml"))):
    program = os.path.basename(report)[:-4]
    # A failure message may carry text in the machine's ANSI code page
    # (932, 1254) in a report that says UTF-8: read what decodes.
    with open(report, "rb") as f:
        text = f.read().decode("utf-8", "replace")
    try:
        root = ET.fromstring(re.sub(r'^<\?xml[^>]*\?>', "", text))
    except ET.ParseError:
        print(f"{program}: unreadable report")
        continue
    for case in root.iter("testcase"):
        if case.find("failure") is not None or case.find("error") is not None:
            print(f"{program}: {case.get('classname')}.{case.get('name')}")
PY
)"
summary="$(tail -1 "$work/run.txt")"
if [ $rc = 0 ] && [[ "$summary" =~ ^[1-9][0-9]*\ passed,\ 0\ failed, ]]; then
    rm -rf "$work"
    echo "bundle passed under $config"
    exit 0
fi
# Programs without a report (crashed, stopped at the limit) are in the lines above.
grep '^FAIL ' "$work/run.txt" | sed "s/^/FAILED ($config): /"
[ -n "$failures" ] && sed "s/^/FAILED CASE ($config): /" <<<"$failures"
echo "FAIL: the bundle under $config: \"$summary\" (exit code $rc); results in $work"
exit 1
