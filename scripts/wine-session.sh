#!/usr/bin/env bash
# The CTest fixture "wine_session": keeps one wineserver warm for a test run,
# so each Windows test starts in a fraction of a second instead of seconds.
#
#   wine-session.sh start   start a persistent wineserver on the private prefix
#   wine-session.sh stop    stop it (wineserver -k) when SL_WINESERVER_KILL=1
#
# Several people's test runs may share the prefix on one machine, and killing
# the server would kill their programs too. So by default the server is only
# made persistent for SL_WINESERVER_IDLE seconds (default 30) after its last
# program ends and then leaves by itself; scripts/test.sh sets
# SL_WINESERVER_KILL=1 on CI, where nothing else shares the prefix.
set -u
source "$(dirname "$(readlink -f "${BASH_SOURCE[0]}")")/env.sh"
export WINEPREFIX="$SL_WINEPREFIX"

case "${1:-}" in
    start)
        if [ ! -f "$SL_WINEPREFIX/.songlink-ready" ]; then
            echo "no Wine prefix at $SL_WINEPREFIX; run scripts/setup.sh first" >&2
            exit 1
        fi
        # All descriptors away from CTest's pipes: the server outlives this
        # test, and an inherited pipe would keep CTest waiting for it.
        (
            exec </dev/null >/dev/null 2>&1
            wineserver -p"${SL_WINESERVER_IDLE:-30}"
        )
        # Exit code 2: a server already runs on the prefix, which is as good.
        # Boot the session's own processes (services, the desktop) here, with
        # no descriptors of CTest's, not from the first test: they outlive it,
        # and an inherited output pipe would hold that test until its timeout.
        (
            exec </dev/null >/dev/null 2>&1
            "$SL_REPO/scripts/wine-run.sh" cmd /c exit 0
        )
        echo "wineserver up for $SL_WINEPREFIX"
        ;;
    stop)
        if [ "${SL_WINESERVER_KILL:-0}" = 1 ]; then
            (
                exec </dev/null >/dev/null 2>&1
                wineserver -k
            )
            echo "wineserver stopped"
        else
            echo "wineserver left to end by itself after ${SL_WINESERVER_IDLE:-30} s idle"
        fi
        ;;
    *)
        echo "usage: wine-session.sh start|stop" >&2
        exit 2
        ;;
esac
exit 0
