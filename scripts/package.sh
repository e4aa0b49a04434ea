#!/usr/bin/env bash
# Makes the release a Windows user downloads, from the Windows build:
#
#   dist/SongLink-<version>-win32.zip   SongLink-<version>/songlink.exe (stripped),
#                                       README.txt (user guide, Chinese and English),
#                                       licenses/ (notices of the linked libraries)
#   dist/songlink-<version>.debug       the debug information, named by the
#                                       program's debug link: put it beside
#                                       songlink.exe and a debugger finds it
#
# The version is the CMake project version. The archive holds no timestamps
# but the commit's, so packaging one commit twice gives the same bytes.
#
#   SL_BUILD_DIR   the Windows build to package (default build/windows; its
#                  SONGLINK_ENDPOINT_HOST is the one the release asks)
#   SL_DIST_DIR    where the archive goes (default dist/ in the repository)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"

dir="${SL_BUILD_DIR:-$SL_REPO/build/windows}"
dist="${SL_DIST_DIR:-$SL_REPO/dist}"
export SL_BUILD_DIR="$dir"

bash "$SL_REPO/scripts/setup.sh"
bash "$SL_REPO/scripts/build.sh" windows --target songlink
deps="$(bash "$SL_REPO/scripts/setup.sh" --print-deps)"
version="$(cat "$dir/songlink-version.txt")"
host="$(SlEndpointHost "$dir")"
name="SongLink-$version"
debugName="songlink-$version.debug"
exe="$dir/app/songlink.exe"

stage="$(mktemp -d)"
trap 'rm -rf "$stage"' EXIT
mkdir -p "$stage/$name/licenses" "$dist"

# The debug information goes beside the archive; the shipped program keeps a
# link to it (its name and checksum) and nothing else of it. objcopy and strip
# would stamp the time of the run into the PE header: keep the linker's zero.
export SOURCE_DATE_EPOCH=0
i686-w64-mingw32-objcopy --only-keep-debug "$exe" "$stage/$debugName"
i686-w64-mingw32-strip --strip-all -o "$stage/$name/songlink.exe" "$exe"
(cd "$stage" && i686-w64-mingw32-objcopy --add-gnu-debuglink="$debugName" "$name/songlink.exe")

# Text files for Windows: CRLF line ends; the guide with a byte-order mark
# so that Notepad on a Chinese system reads it as UTF-8.
WindowsText() { sed 's/\r$//; s/$/\r/'; }
{
    printf '\xef\xbb\xbf'
    sed "s/@VERSION@/$version/" "$SL_REPO/packaging/guide.txt" | WindowsText
} >"$stage/$name/README.txt"

# The licences the statically linked libraries require in a binary release,
# as the installed packages and the fetched sources state them.
Notice() { # Notice <file in the release> <source file>
    [ -s "$2" ] || { echo "package: licence file $2 missing" >&2; exit 1; }
    WindowsText <"$2" >"$stage/$name/licenses/$1"
}
Notice libjpeg-turbo-LICENSE.txt "$deps/share/doc/libjpeg-turbo/LICENSE.md"
Notice libjpeg-turbo-README.ijg.txt "$deps/share/doc/libjpeg-turbo/README.ijg"
Notice libpng.txt /usr/share/doc/libpng-dev/copyright
Notice giflib.txt /usr/share/doc/libgif-dev/copyright
Notice zlib.txt /usr/share/doc/libz-mingw-w64-dev/copyright
Notice mingw-w64-runtime-and-winpthreads.txt /usr/share/doc/mingw-w64-i686-dev/copyright
PackageVersion() { dpkg-query -W -f='${Version}' "$1"; }
{
    cat <<EOF
songlink.exe $version includes, linked statically:

  libjpeg-turbo $(PackageVersion libjpeg62-turbo-dev)  libjpeg-turbo-LICENSE.txt, libjpeg-turbo-README.ijg.txt
                 This software is based in part on the work of the
                 Independent JPEG Group.
  libpng $(PackageVersion libpng-dev)  libpng.txt
  giflib $(PackageVersion libgif-dev)  giflib.txt
  zlib $(PackageVersion libz-mingw-w64-dev)  zlib.txt
  the mingw-w64 runtime and winpthreads $(PackageVersion mingw-w64-i686-dev)
                 mingw-w64-runtime-and-winpthreads.txt
  the GCC runtime libraries (libgcc, libstdc++), under the GCC Runtime
  Library Exception, which asks for no notice.
EOF
} | WindowsText >"$stage/$name/licenses/NOTICE.txt"

# The commit's time stamps the archive's entries (the epoch of the zip format
# outside a git checkout).
stamp="$(git -C "$SL_REPO" log -1 --format=%ct 2>/dev/null || echo 0)"
zip="$dist/$name-win32.zip"
python3 "$SL_REPO/scripts/reproducible_zip.py" "$zip" "$stage/$name" "$stamp"
cp "$stage/$debugName" "$dist/$debugName"

echo "package: $zip ($(stat -c %s "$zip") bytes; songlink.exe $(stat -c %s "$stage/$name/songlink.exe") bytes)"
echo "package: $dist/$debugName (debug information)"
echo "package: the release asks the play-data endpoint at $host"
[ "$host" != "$(SlPlaceholderHost)" ] ||
    echo "package: note: that is the placeholder host; set SONGLINK_ENDPOINT_HOST for a release (see README.md)"
