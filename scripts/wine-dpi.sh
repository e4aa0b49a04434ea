#!/usr/bin/env bash
# Wine prefixes at other display scalings, for the tests that check the window
# at 120, 144 and 192 DPI (the CTest fixture "wine_dpi"). Wine reads a
# prefix's DPI (LogPixels) when its session starts and every program of the
# session shares it, so each DPI has a prefix of its own; the default prefix
# stays at 96 for everything else. scripts/wine-run.sh runs a program in one
# of them when SL_DPI names its DPI.
#
#   wine-dpi.sh start DPI...  make the prefixes that are missing or older than
#                             the default prefix, then keep a wineserver warm
#                             on each (as scripts/wine-session.sh does)
#   wine-dpi.sh stop DPI...   stop those servers when SL_WINESERVER_KILL=1
#
# A prefix is about 590 MB, nearly all of it the program files under
# drive_c/windows, which Wine only reads: those are hard links to the default
# prefix's files, everything Wine writes (registry, user profile, settings
# files) is copied. Making one takes a few seconds.
set -u
source "$(dirname "$(readlink -f "${BASH_SOURCE[0]}")")/env.sh"

kBase="$SL_WINEPREFIX"
# Bump when the way a DPI prefix is made changes.
kRecipe=1
# Files Wine maps or loads but never writes, safe to share between prefixes.
kSharedFiles='.*\.\(dll\|exe\|drv\|sys\|ocx\|acm\|cpl\|tlb\|ax\|ds\|nls\|ttf\|ttc\|fon\|mui\)'

log() { echo "wine-dpi: $*" >&2; }

# What a prefix copy is made from: the default prefix as made by setup.sh and
# as last updated by Wine. A copy with another stamp is stale.
Stamp() { # Stamp <dpi>
    echo "dpi $1 recipe $kRecipe base $(stat -c %Y "$kBase/.songlink-ready") $(UpdateStamp)"
}

# The time of the wine.inf the default prefix was last updated from.
UpdateStamp() { tr -dc '0-9' <"$kBase/.update-timestamp" 2>/dev/null; }

# True when the default prefix is up to date with the installed Wine, so no
# session of a copy will rewrite the program files it shares.
# (Wine updates a prefix whose stamp is not its wine.inf's time.)
BaseIsCurrent() {
    local inf=/usr/share/wine/wine.inf
    [ -f "$inf" ] && [ "$(stat -c %Y "$inf")" = "$(UpdateStamp)" ]
}

MakePrefix() { # MakePrefix <dpi>
    local dpi="$1" dest tmp stamp
    dest="$(SlDpiPrefix "$dpi")"
    stamp="$(Stamp "$dpi")"
    [ "$(cat "$dest/.songlink-ready" 2>/dev/null)" = "$stamp" ] && return 0
    log "making $dest"
    # Leftovers of a making that was cut off (this runs under the lock).
    rm -rf "$dest".new.*
    tmp="$dest.new.$$"
    mkdir -p "$tmp"
    # Only what Wine made: the registry, the drives and its update stamp.
    cp -a "$kBase/dosdevices" "$kBase"/*.reg "$kBase/.update-timestamp" "$tmp/" || return 1
    mkdir -p "$tmp/drive_c"
    local d
    for d in "$kBase"/drive_c/*; do
        if [ "$(basename "$d")" = windows ] && BaseIsCurrent; then
            cp -al "$d" "$tmp/drive_c/" || return 1
            # Anything Wine might write in place gets a file of its own.
            find "$tmp/drive_c/windows" -type f -links +1 ! -iregex "$kSharedFiles" -print0 |
                while IFS= read -r -d '' f; do
                    cp -p "$f" "$f.own" && mv -f "$f.own" "$f"
                done
        else
            cp -a "$d" "$tmp/drive_c/" || return 1
        fi
    done
    (
        export WINEPREFIX="$tmp" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LOCPATH="$SL_LOCPATH"
        export LANG=zh_CN.UTF-8
        unset DISPLAY
        exec </dev/null >/dev/null 2>&1
        wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f
        wineserver -w
    )
    if ! grep -qi "^\"LogPixels\"=dword:$(printf '%08x' "$dpi")" "$tmp/user.reg"; then
        log "LogPixels $dpi did not reach $tmp/user.reg"
        rm -rf "$tmp"
        return 1
    fi
    echo "$stamp" >"$tmp/.songlink-ready"
    # A stale copy may still have a server; it goes with its prefix.
    if [ -d "$dest" ]; then
        (
            exec </dev/null >/dev/null 2>&1
            WINEPREFIX="$dest" wineserver -k
        )
        rm -rf "$dest"
    fi
    mv "$tmp" "$dest"
}

StartServer() { # StartServer <dpi>
    (
        exec </dev/null >/dev/null 2>&1
        WINEPREFIX="$(SlDpiPrefix "$1")" wineserver -p"${SL_WINESERVER_IDLE:-30}"
    )
    (
        exec </dev/null >/dev/null 2>&1
        SL_DPI="$1" "$SL_REPO/scripts/wine-run.sh" cmd /c exit 0
    )
}

cmd="${1:-}"
shift || true
if [ "$cmd" != start ] && [ "$cmd" != stop ] || [ $# = 0 ]; then
    echo "usage: wine-dpi.sh start|stop DPI..." >&2
    exit 2
fi
status=0
for dpi in "$@"; do
    case "$dpi" in
        *[!0-9]* | "") log "not a DPI: $dpi"; exit 2 ;;
    esac
    [ "$dpi" = 96 ] && continue  # the default prefix
    if [ "$cmd" = start ]; then
        if [ ! -f "$kBase/.songlink-ready" ]; then
            log "no Wine prefix at $kBase; run scripts/setup.sh first"
            exit 1
        fi
        # One maker at a time across test runs; the others find it made.
        (
            flock 8
            MakePrefix "$dpi"
        ) 8>"$SL_CACHE/wine-dpi.lock" || { status=1; continue; }
        StartServer "$dpi"
        echo "wineserver up for $(SlDpiPrefix "$dpi")"
    elif [ "${SL_WINESERVER_KILL:-0}" = 1 ]; then
        (
            exec </dev/null >/dev/null 2>&1
            WINEPREFIX="$(SlDpiPrefix "$dpi")" wineserver -k
        )
    fi
done
exit $status
