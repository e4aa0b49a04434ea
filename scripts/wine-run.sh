#!/usr/bin/env bash
# Runs a Windows program under Wine the way every test and run of this tree
# does: the private prefix, the Chinese locale (code page 936) and an X display.
# CTest calls it as the cross-compiling emulator: wine-run.sh prog.exe args...
#
#   SL_LANG     locale for the program (default zh_CN.UTF-8; en_US.UTF-8 gives
#               code page 1252)
#   DISPLAY     X display; when unset the shared Xvfb :77 is used (and started)
#   SL_WINEDEBUG  WINEDEBUG channels (default -all)
#   SL_DPI      display DPI (120, 144, 192): the prefix copy at that DPI that
#               scripts/wine-dpi.sh makes; unset or 96: the default prefix
# The program's exit code is passed on.
source "$(dirname "$(readlink -f "${BASH_SOURCE[0]}")")/env.sh"

if [ -n "${SL_DPI:-}" ] && [ "$SL_DPI" != 96 ]; then
    SL_WINEPREFIX="$(SlDpiPrefix "$SL_DPI")"
    if [ ! -f "$SL_WINEPREFIX/.songlink-ready" ]; then
        echo "wine-run: no Wine prefix at $SL_WINEPREFIX; run scripts/wine-dpi.sh start $SL_DPI first" >&2
        exit 125
    fi
fi
if [ ! -f "$SL_WINEPREFIX/.songlink-ready" ]; then
    echo "wine-run: no Wine prefix at $SL_WINEPREFIX; run scripts/setup.sh first" >&2
    exit 125
fi

# A program that was not built (a failed build) must fail at once: Wine would
# first boot the session, and its processes could keep the caller waiting.
case "${1:-}" in
    */*.exe | */*.EXE)
        if [ ! -f "$1" ]; then
            echo "wine-run: $1 does not exist (not built?)" >&2
            exit 127
        fi
        ;;
esac

export WINEPREFIX="$SL_WINEPREFIX"
export WINEDEBUG="${SL_WINEDEBUG:--all}"
export LOCPATH="$SL_LOCPATH"
# LC_* would override LANG inside Wine's locale detection.
unset LC_ALL LC_CTYPE LC_MESSAGES LANGUAGE
export LANG="${SL_LANG:-zh_CN.UTF-8}"
# No Mono: nothing here is .NET, and a missing Mono would ask to install it.
export WINEDLLOVERRIDES="mscoree=${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"
if [ -z "${DISPLAY:-}" ]; then
    export DISPLAY="$SL_SHARED_DISPLAY"
    SlEnsureXvfb "$DISPLAY" || exit 125
fi

exec wine "$@"
