#!/usr/bin/env bash
# Runs the run command as a newcomer does, with the placeholder endpoint host:
# it must start the stand-in service, build the tool for it in its own build
# directory, and print an address that, pasted into the window, fetches the
# record, the cover and the audio; closing the window ends it with exit 0.
# drive_songlink plays the person; once under code page 936, once under 1252.
# Usage: check_run_standin.sh <build dir> <drive_songlink.exe> <stand-in build dir>
set -uo pipefail
build="$1" driver="$2" standin="$3"
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
source "$repo/scripts/env.sh"

failures=0
Fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

host="$(SlEndpointHost "$build")"
# A build for a real host runs the real tool: nothing of the stand-in to check.
[ "$host" = "$(SlPlaceholderHost)" ] || { echo "skipped: $build is built for $host, not the placeholder"; exit 77; }
before="$(stat -c %Y "$build/app/songlink.exe" 2>/dev/null)"

for lang in zh_CN.UTF-8 en_US.UTF-8; do
    out="$(SL_LANG=$lang SL_BUILD_DIR="$build" SL_STANDIN_BUILD_DIR="$standin" SL_RUN_DRIVER="$driver" \
        bash "$repo/scripts/run.sh" 2>&1)"
    rc=$?
    echo "$out"
    [ $rc = 0 ] || Fail "run.sh under $lang exited with $rc"
    address="$(grep -A1 'Paste this song page address' <<<"$out" | tail -1 | tr -d ' ')"
    hash="$(sed -n 's/.*hash=\([0-9A-Za-z]*\)&album_id=.*/\1/p' <<<"$address")"
    [ -n "$hash" ] || Fail "no sample address with a hash printed under $lang"
    # What the stand-in logged: the lookup, the cover and the audio.
    while read -r pattern; do
        grep -Eq "$pattern" "$standin/standin.log" || Fail "under $lang the stand-in never logged $pattern"
    done <<EOF
GET /yy/index\.php\?r=play/getdata&hash=$hash&album_id=[0-9]+&_=[0-9]{13} -> 200
GET /cover/$hash\.jpg -> 200
GET /audio/$hash\.wav -> 200
EOF
    # The cover shows from the window's corner: the pixel the driver read
    # must be the stand-in's picture there, not just any change.
    read -r x y r g b < <(sed -n 's/.*background (\([0-9]*\),\([0-9]*\): \([0-9]*\) \([0-9]*\) \([0-9]*\)).*/\1 \2 \3 \4 \5/p' <<<"$out")
    python3 - "$repo/scripts" "${x:-0}" "${y:-0}" "${r:--99}" "${g:--99}" "${b:--99}" <<'PY' || Fail "under $lang the window does not show the stand-in's cover"
import sys
sys.path.insert(0, sys.argv[1])
import standin_media
x, y, *shown = map(int, sys.argv[2:])
want = standin_media.cover_pixel(x, y)
print("cover at %d,%d: shown %s, picture %s" % (x, y, tuple(shown), want))
sys.exit(0 if all(abs(a - b) <= 12 for a, b in zip(shown, want)) else 1)
PY
    port="$(cat "$standin/standin.port" 2>/dev/null)"
    if [ -n "$port" ] && python3 -c 'import socket, sys; socket.create_connection(("127.0.0.1", int(sys.argv[1])), 1)' \
        "$port" 2>/dev/null; then
        Fail "the stand-in still listens on $port after run.sh ended"
    fi
done

[ "$(stat -c %Y "$build/app/songlink.exe" 2>/dev/null)" = "$before" ] || Fail "the real build's songlink.exe was changed"

if [ $failures != 0 ]; then
    echo "$failures run failure(s)"
    exit 1
fi
echo "run command checked"
