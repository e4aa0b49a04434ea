#!/usr/bin/env bash
# Sets the machine up, builds the Windows program and runs it under Wine.
#
# With the placeholder endpoint host (the default) no lookup could succeed, so
# the tool is shown against a stand-in play-data service instead: this script
# starts scripts/standin_service.py on 127.0.0.1, builds the tool pointed at it
# in a build directory of its own (the real build stays as it is), prints a
# song page address to paste, and stops the stand-in when the program ends.
# With a real endpoint host configured it runs the real build's tool.
# Without an X display it starts Xvfb on a free display and prints how to take
# a screenshot of the window; Ctrl-C ends the program.
#
#   SL_BUILD_DIR          build directory (default build/windows in the repository)
#   SL_STANDIN_BUILD_DIR  the stand-in's build directory (default build/standin)
#   SL_RUN_DRIVER         for tests: a Windows program run instead of waiting for a
#                         person, as DRIVER <program.exe> [<address> <stand-in log>
#                         /cover/ /audio/] (tests/app/e2e/drive_songlink.exe)
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"

kPlaceholderHost="$(SlPlaceholderHost)"
kSampleAddress="https://www.example.com/song/#hash=5EB5C3F2D7A54F8A&album_id=2024"

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

standinPid=""
Cleanup() {
    [ -n "$standinPid" ] && kill "$standinPid" 2>/dev/null && wait "$standinPid" 2>/dev/null
    SlStopPrivateXvfb
}
trap Cleanup EXIT

standinLog=""
if [ "$program" = songlink ] && [ "$(SlEndpointHost "$dir")" = "$kPlaceholderHost" ]; then
    # The stand-in keeps the port of its last run while that port is free, so
    # that its build does not change from one run to the next.
    standinDir="${SL_STANDIN_BUILD_DIR:-$SL_REPO/build/standin}"
    mkdir -p "$standinDir"
    standinLog="$standinDir/standin.log"
    portFile="$standinDir/standin.port"
    : >"$standinLog"
    rm -f "$portFile"
    lastPort="$(SlEndpointHost "$standinDir" | sed -n 's/^127\.0\.0\.1:\([0-9]*\)$/\1/p')"
    python3 "$SL_REPO/scripts/standin_service.py" --port "${lastPort:-0}" --port-file "$portFile" --log "$standinLog" &
    standinPid=$!
    for _ in $(seq 1 100); do
        [ -s "$portFile" ] && break
        kill -0 "$standinPid" 2>/dev/null || break
        sleep 0.1
    done
    port="$(cat "$portFile" 2>/dev/null)"
    [ -n "$port" ] || { echo "run: the stand-in service did not start" >&2; exit 1; }
    if [ -f "$standinDir/CMakeCache.txt" ] && [ "$port" != "$lastPort" ]; then
        cmake -B "$standinDir" -DSONGLINK_ENDPOINT_HOST="127.0.0.1:$port" >/dev/null || exit 1
    fi
    echo "run: building the tool for the stand-in in $standinDir (the first time takes minutes; progress in build.log there)"
    SL_BUILD_DIR="$standinDir" SL_CMAKE_ARGS="${SL_CMAKE_ARGS:-} -DSONGLINK_ENDPOINT_HOST=127.0.0.1:$port" \
        bash "$SL_REPO/scripts/build.sh" windows --target songlink >"$standinDir/build.log" 2>&1 ||
        { cat "$standinDir/build.log" >&2; exit 1; }
    exe="$standinDir/app/songlink.exe"
else
    bash "$SL_REPO/scripts/build.sh" windows --target "$program" || exit 1
    exe="$(find "$dir" -name "$program.exe" -type f | head -1)"
fi
[ -f "$exe" ] || { echo "run: $program.exe not found" >&2; exit 1; }

if [ -z "${DISPLAY:-}" ]; then
    SlPrivateXvfb || exit 1
    cat <<MSG
run: no X display here, so the window is on a virtual display ($DISPLAY).
     To see it, take a screenshot from another shell while it runs:
       xwd -root -display $DISPLAY -silent | xwdtopnm | pnmtopng > shot.png
     Click with: DISPLAY=$DISPLAY xdotool mousemove X Y click 1
     Type with:  DISPLAY=$DISPLAY xdotool type 'text'
     Press Ctrl-C here to end the program.
MSG
fi

if [ -n "$standinLog" ]; then
    cat <<MSG
run: the endpoint host is the placeholder "$kPlaceholderHost", so this run asks
     a stand-in service on this machine (http://127.0.0.1:$port/, stopped when
     the program ends). Paste this song page address into the window and click "下载":
       $kSampleAddress
     The cover becomes the window's background and the hidden browser fetches
     the audio; the stand-in prints each request below.
MSG
fi

echo "run: $exe"
if [ -n "${SL_RUN_DRIVER:-}" ]; then
    if [ -n "$standinLog" ]; then
        "$SL_REPO/scripts/wine-run.sh" "$SL_RUN_DRIVER" "$exe" "$kSampleAddress" "$standinLog" /yy/ /cover/ /audio/
    else
        "$SL_REPO/scripts/wine-run.sh" "$SL_RUN_DRIVER" "$exe"
    fi
    rc=$?
else
    # A Windows program under Wine ignores Ctrl-C, so the script ends it: the
    # program runs in the background (wine-run.sh execs Wine, so the pid is
    # the program's) while the script waits for it or for Ctrl-C.
    "$SL_REPO/scripts/wine-run.sh" "$exe" &
    programPid=$!
    interrupted=0
    trap 'interrupted=1; kill "$programPid" 2>/dev/null' INT TERM
    while :; do
        wait "$programPid"
        rc=$?
        kill -0 "$programPid" 2>/dev/null || break
    done
    if [ $interrupted = 1 ]; then
        echo "run: ended with Ctrl-C"
        exit 130
    fi
fi
echo "run: $program exited with code $rc"
exit $rc
