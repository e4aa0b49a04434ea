#!/usr/bin/env bash
# Configures (once) and builds one of the two builds of this tree.
#
#   build.sh windows [cmake --build args]   i686 mingw-w64, every module and
#                                           test; tests run under Wine
#   build.sh native  [cmake --build args]   gcc with ASan/UBSan, the portable
#                                           modules and their tests
#   build.sh fuzz    [cmake --build args]   clang with libFuzzer, the fuzz
#                                           targets of the portable modules
# (Only gcc compiles narrow literals to GBK, which the tests rely on; only
# clang has libFuzzer.)
#
# The build goes to build/<kind> under the repository, or to $SL_BUILD_DIR.
# Examples:
#   bash scripts/build.sh windows
#   SL_BUILD_DIR=/work/build/me-win bash scripts/build.sh windows --target sl_core -j2
# Extra CMake settings for a first configure: SL_CMAKE_ARGS="-DSONGLINK_ENDPOINT_HOST=..."
# Native compilers for a first configure: SL_NATIVE_CC / SL_NATIVE_CXX (default clang).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"

kind="${1:-}"
case "$kind" in
    windows | native | fuzz) shift ;;
    *)
        echo "usage: build.sh windows|native|fuzz [cmake --build args]" >&2
        exit 2
        ;;
esac

dir="${SL_BUILD_DIR:-$SL_REPO/build/$kind}"
mkdir -p "$dir"
# shellcheck disable=SC2206
extra=(${SL_CMAKE_ARGS:-})

if [ "$kind" = windows ]; then
    deps="$(bash "$SL_REPO/scripts/setup.sh" --print-deps)"
    # A new dependency prefix (new versions) invalidates every cached find result.
    if [ -f "$dir/CMakeCache.txt" ] && ! grep -qx "SL_DEPS_PREFIX:[A-Z]*=$deps" "$dir/CMakeCache.txt"; then
        rm -rf "$dir/CMakeCache.txt" "$dir/CMakeFiles"
    fi
    if [ ! -f "$dir/build.ninja" ]; then
        cmake -S "$SL_REPO" -B "$dir" -G Ninja \
            -DCMAKE_TOOLCHAIN_FILE="$SL_REPO/cmake/mingw-i686.cmake" \
            -DSL_DEPS_PREFIX="$deps" \
            -DCMAKE_BUILD_TYPE=RelWithDebInfo "${extra[@]}" >"$dir/configure.log" 2>&1 ||
            { cat "$dir/configure.log" >&2; exit 1; }
    fi
else
    if [ ! -f "$dir/build.ninja" ]; then
        if [ "$kind" = native ]; then cc="${SL_NATIVE_CC:-gcc}" cxx="${SL_NATIVE_CXX:-g++}"; else cc=clang cxx=clang++; fi
        CC="$cc" CXX="$cxx" cmake -S "$SL_REPO" -B "$dir" -G Ninja \
            -DSL_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo "${extra[@]}" >"$dir/configure.log" 2>&1 ||
            { cat "$dir/configure.log" >&2; exit 1; }
    fi
fi

exec cmake --build "$dir" "$@"
