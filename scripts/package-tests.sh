#!/usr/bin/env bash
# Makes the Windows test bundle from the Windows build, for running the suite
# on a real Windows machine (README.md, "Testing on Windows"):
#
#   dist/SongLink-<version>-win32-tests.zip
#     SongLink-<version>-win32-tests/run-tests.cmd      runs every test program
#                                    bundle_tools.exe   its helper (counts, system facts)
#                                    test-programs.txt  the programs it runs
#                                    tests/...          the test programs and what
#                                                       lies beside them
#
# The bundle keeps the build directory's layout, so a test finds the files
# beside its own program as it does in the build tree: every sl_test()
# program, every program and library built under tests/, and the files
# registered in the SL_BUNDLE_FILES property (cmake/SongLink.cmake). Programs
# and libraries are stripped (their debug information names build paths).
# The version is the CMake project version; packaging one commit twice gives
# the same bytes.
#
#   SL_BUILD_DIR   the Windows build to package (default build/windows)
#   SL_DIST_DIR    where the archive goes (default dist/ in the repository)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"

dir="${SL_BUILD_DIR:-$SL_REPO/build/windows}"
dist="${SL_DIST_DIR:-$SL_REPO/dist}"
export SL_BUILD_DIR="$dir"

bash "$SL_REPO/scripts/setup.sh"
bash "$SL_REPO/scripts/build.sh" windows
dir="$(cd "$dir" && pwd)"
version="$(cat "$dir/songlink-version.txt")"
name="SongLink-$version-win32-tests"

stage="$(mktemp -d)"
trap 'rm -rf "$stage"' EXIT
mkdir -p "$stage/$name" "$dist"

# Relative paths inside the build directory, one a line.
{
    (cd "$dir" && find tests -path '*/CMakeFiles' -prune -o -type f \( -name '*.exe' -o -name '*.dll' \) -print)
    while IFS= read -r file; do
        [ -n "$file" ] || continue
        case "$file" in
            "$dir"/*) ;;
            *)
                echo "package-tests: $file (SL_BUNDLE_FILES) is not inside $dir" >&2
                exit 1
                ;;
        esac
        [ -f "$file" ] || { echo "package-tests: $file (SL_BUNDLE_FILES) was not built" >&2; exit 1; }
        echo "${file#"$dir"/}"
    done <"$dir/test-bundle.txt"
} | sort -u >"$stage/files.txt"

# strip would stamp the time of the run into the PE header: keep the linker's zero.
export SOURCE_DATE_EPOCH=0
while IFS= read -r file; do
    mkdir -p "$stage/$name/$(dirname "$file")"
    case "$file" in
        *.exe | *.dll) i686-w64-mingw32-strip --strip-all -o "$stage/$name/$file" "$dir/$file" ;;
        *) cp "$dir/$file" "$stage/$name/$file" ;;
    esac
done <"$stage/files.txt"

# No file may name the build machine's folders: a test that did would look
# for them on the Windows machine.
bash "$SL_REPO/tests/build/check_bundle_paths.sh" "$stage/$name" "$SL_REPO" "$dir" ||
    echo "package-tests: warning: the bundle names build-machine paths (above)" >&2

stamp="$(git -C "$SL_REPO" log -1 --format=%ct 2>/dev/null || echo 0)"
zip="$dist/$name.zip"
python3 "$SL_REPO/scripts/reproducible_zip.py" "$zip" "$stage/$name" "$stamp"
echo "package-tests: $zip ($(stat -c %s "$zip") bytes; $(grep -c . "$dir/test-programs.txt") test programs)"
