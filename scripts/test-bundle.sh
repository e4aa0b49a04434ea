#!/usr/bin/env bash
# Runs the Windows test bundle here under Wine the way a Windows machine runs
# it: unpacked into an empty temporary folder, with the source and build trees
# out of reach (a private mount namespace lays an empty folder over them),
# started as "wine cmd /c run-tests.cmd" with an environment holding only
# HOME, PATH, DISPLAY and WINEPREFIX (no SL_*, no WINEDLLOVERRIDES), and the
# locale when one is asked for. Prints run-tests.cmd's lines, ending with
# "N passed, M failed, K skipped"; exits with its exit code.
#
#   bash scripts/test-bundle.sh                 every program (the full run)
#   bash scripts/test-bundle.sh NAME [NAME...]  only those programs
#
#   SL_TEST_BUNDLE_ZIP  an existing bundle to run (default: make one with
#                       scripts/package-tests.sh from SL_BUILD_DIR)
#   SL_BUNDLE_WORK      where to unpack it and keep results\ (default: a new
#                       temporary folder, kept; its path is printed)
#   SL_BUNDLE_TIMEOUT   seconds for the whole run (default 3600)
#   SL_BUNDLE_PREFIX    the Wine prefix (default SL_WINEPREFIX; a 64-bit one,
#                       such as scripts/setup.sh's $SL_WINEPREFIX-win64, runs
#                       the 32-bit programs as 64-bit Windows does, from a
#                       64-bit cmd.exe)
#   SL_BUNDLE_LANG      the user locale, e.g. de_DE.UTF-8 (one of the locales
#                       in SL_LOCPATH; default none: Wine's default, en-US)
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"

work="${SL_BUNDLE_WORK:-$(mktemp -d /tmp/songlink-bundle.XXXXXX)}"
rm -rf "$work"
mkdir -p "$work/dist"
build="$(cd "${SL_BUILD_DIR:-$SL_REPO/build/windows}" 2>/dev/null && pwd || echo "$SL_REPO/build/windows")"

zip="${SL_TEST_BUNDLE_ZIP:-}"
if [ -z "$zip" ]; then
    SL_DIST_DIR="$work/dist" bash "$SL_REPO/scripts/package-tests.sh" >&2 || exit 1
    zip="$(ls "$work"/dist/*-win32-tests.zip)"
fi
python3 -m zipfile -e "$zip" "$work/unpacked" || { echo "test-bundle: $zip does not unpack" >&2; exit 1; }
folder="$(ls -d "$work"/unpacked/*/)"
[ -f "$folder/run-tests.cmd" ] || { echo "test-bundle: no run-tests.cmd in $zip" >&2; exit 1; }

prefix="${SL_BUNDLE_PREFIX:-$SL_WINEPREFIX}"
[ -f "$prefix/.songlink-ready" ] || { echo "test-bundle: no Wine prefix at $prefix; run scripts/setup.sh" >&2; exit 1; }
# The 64-bit loader for a 64-bit prefix (wine would pick the 32-bit one).
loader=wine
grep -q '^#arch=win64' "$prefix/system.reg" 2>/dev/null && loader=/usr/lib/wine/wine64
locale=()
if [ -n "${SL_BUNDLE_LANG:-}" ]; then
    [ -f "$SL_LOCPATH/$SL_BUNDLE_LANG/LC_CTYPE" ] ||
        { echo "test-bundle: no locale $SL_BUNDLE_LANG in $SL_LOCPATH; run scripts/setup.sh" >&2; exit 1; }
    locale=(LOCPATH="$SL_LOCPATH" LANG="$SL_BUNDLE_LANG")
fi
display="${DISPLAY:-}"
if [ -z "$display" ]; then
    display="$SL_SHARED_DISPLAY"
    SlEnsureXvfb "$display" || exit 1
fi

# The run itself, inside the namespace: the trees hidden first, then nothing
# of this shell's environment but the four variables. Output goes to files,
# not a pipe: Wine's session processes outlive the run and keep what they
# inherited open.
hide=("$SL_REPO")
case "$build/" in "$SL_REPO"/*) ;; *) hide+=("$build") ;; esac
for d in "${hide[@]}"; do
    case "$work/" in "$d"/*)
        echo "test-bundle: SL_BUNDLE_WORK ($work) lies inside $d, which the run hides" >&2
        exit 2
        ;;
    esac
done
runEnv=(env -i HOME="$HOME" PATH="$PATH" DISPLAY="$display" WINEPREFIX="$prefix" "${locale[@]}")
# The prefix's server and session processes start here, outside the
# namespace: started by the run inside it, they would see the hidden trees
# for as long as they live, and the next program on the prefix (the suite's
# own tests share it) could not reach its folder. A server already running
# is kept (exit code 2).
(
    exec </dev/null >/dev/null 2>&1
    "${runEnv[@]}" wineserver -p"${SL_WINESERVER_IDLE:-30}"
    "${runEnv[@]}" "$loader" cmd /c exit 0
)
runner="$work/run.sh"
cat >"$runner" <<RUN
set -u
for d in ${hide[*]@Q}; do mount -t tmpfs -o size=1m,mode=0555 songlink-hidden "\$d" || exit 125; done
cd ${folder@Q} || exit 125
exec env -i HOME=${HOME@Q} PATH=${PATH@Q} DISPLAY=${display@Q} WINEPREFIX=${prefix@Q} ${locale[*]@Q} \
    timeout -k 10 ${SL_BUNDLE_TIMEOUT:-3600} ${loader@Q} cmd /c run-tests.cmd "\$@" </dev/null >${work@Q}/console.txt 2>${work@Q}/wine.txt
RUN
if unshare --mount --propagation private true 2>/dev/null; then
    unshare --mount --propagation private bash "$runner" "$@"
    rc=$?
else
    echo "test-bundle: note: no mount namespace here; the trees stay reachable (the path scan still guards)" >&2
    sed -i '/mount -t tmpfs/d' "$runner"
    bash "$runner" "$@"
    rc=$?
fi
tr -d '\r' <"$work/console.txt"
[ "$rc" = 125 ] && echo "test-bundle: could not hide the trees or enter $folder" >&2
[ "$rc" = 124 ] && echo "test-bundle: the run took over ${SL_BUNDLE_TIMEOUT:-3600} s and was stopped" >&2
echo "test-bundle: results in ${folder}results (Wine's own messages: $work/wine.txt)" >&2
exit "$rc"
