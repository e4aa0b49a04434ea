#!/usr/bin/env bash
# Sets the machine up, builds the Windows program and runs it under Wine.
# Without an X display it starts Xvfb on a free display and prints how to take
# a screenshot of the window; Ctrl-C ends the program.
#
#   SL_BUILD_DIR   build directory (default build/windows in the repository)
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"

dir="${SL_BUILD_DIR:-$SL_REPO/build/windows}"
export SL_BUILD_DIR="$dir"

bash "$SL_REPO/scripts/setup.sh" || exit 1
# Configure, then pick the program: the tool itself, or while it is not
# there yet the runtime's demonstration program.
targets="$(bash "$SL_REPO/scripts/build.sh" windows --target help 2>/dev/null)" || {
    echo "run: configuring $dir failed; see $dir/configure.log" >&2
    exit 1
}
program=""
for candidate in songlink sl_spine_demo; do
    if grep -q "^$candidate: " <<<"$targets"; then
        program="$candidate"
        break
    fi
done
if [ -z "$program" ]; then
    echo "run: neither songlink nor sl_spine_demo is a target of this tree yet" >&2
    exit 1
fi
[ "$program" = songlink ] || echo "run: songlink is not built by this tree yet; running $program instead"

bash "$SL_REPO/scripts/build.sh" windows --target "$program" || exit 1
exe="$(find "$dir" -name "$program.exe" -type f | head -1)"
[ -n "$exe" ] || { echo "run: $program.exe not found under $dir" >&2; exit 1; }

xvfbPid=""
trap '[ -n "$xvfbPid" ] && kill "$xvfbPid" 2>/dev/null' EXIT
if [ -z "${DISPLAY:-}" ]; then
    DISPLAY="$(SlFreeDisplay)" || { echo "run: no free X display" >&2; exit 1; }
    export DISPLAY
    SlEnsureXvfb "$DISPLAY" || exit 1
    xvfbPid="$(tr -d ' ' <"/tmp/.X${DISPLAY#:}-lock")"
    cat <<MSG
run: no X display here, so the window is on a virtual display ($DISPLAY).
     To see it, take a screenshot from another shell while it runs:
       xwd -root -display $DISPLAY -silent | xwdtopnm | pnmtopng > shot.png
     Click with: DISPLAY=$DISPLAY xdotool mousemove X Y click 1
     Press Ctrl-C here to end the program.
MSG
fi

echo "run: $exe"
"$SL_REPO/scripts/wine-run.sh" "$exe"
rc=$?
echo "run: $program exited with code $rc"
exit $rc
