#!/usr/bin/env bash
# Checks the release scripts/package.sh makes from a build, as a user and a
# packager would: what the archive holds, that the program is small, stripped
# (its debug information reachable through its debug link), imports only
# system DLLs, carries the version everywhere, that the licence notices are
# there, that packaging twice gives the same bytes, and that the packaged
# program starts and shows its window under Wine (code pages 936 and 1252).
# Usage: check_package.sh <build dir> <objdump> <nm> <drive_songlink.exe> <work dir>
set -uo pipefail
build="$1" objdump="$2" nm="$3" driver="$4" work="$5"
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"

failures=0
Fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

rm -rf "$work"
mkdir -p "$work"
SL_BUILD_DIR="$build" SL_DIST_DIR="$work/first" bash "$repo/scripts/package.sh" || { echo "FAIL: package.sh"; exit 1; }
version="$(cat "$build/songlink-version.txt")"
name="SongLink-$version"
zip="$work/first/$name-win32.zip"
debug="$work/first/songlink-$version.debug"
[ -f "$zip" ] || { echo "FAIL: no $zip"; exit 1; }
[ -s "$debug" ] || Fail "no debug information file $debug beside the archive"

# Exactly these entries, in this order.
expected="$name/README.txt
$name/licenses/NOTICE.txt
$name/licenses/giflib.txt
$name/licenses/libjpeg-turbo-LICENSE.txt
$name/licenses/libjpeg-turbo-README.ijg.txt
$name/licenses/libpng.txt
$name/licenses/mingw-w64-runtime-and-winpthreads.txt
$name/licenses/zlib.txt
$name/songlink.exe"
entries="$(python3 -c 'import sys, zipfile; print("\n".join(zipfile.ZipFile(sys.argv[1]).namelist()))' "$zip")"
[ "$entries" = "$expected" ] || Fail "archive entries differ:"$'\n'"$entries"
python3 -m zipfile -e "$zip" "$work/unpacked" || Fail "the archive does not unpack"
dir="$work/unpacked/$name"
exe="$dir/songlink.exe"

size="$(stat -c %s "$exe" 2>/dev/null || echo 0)"
((size > 0 && size <= 2 * 1024 * 1024)) || Fail "songlink.exe is $size bytes (limit 2 MB)"
echo "songlink.exe: $size bytes"
bash "$repo/tests/build/check_hardening.sh" "$objdump" "$nm" "$exe" || Fail "hardening or imports of the packaged program"

sections="$("$objdump" -h "$exe")"
if grep -qE '[[:space:]]\.(debug|zdebug|stab)' <<<"$sections"; then
    Fail "debug sections left in the packaged program"
fi
grep -q '\.gnu_debuglink' <<<"$sections" || Fail "no debug link in the packaged program"
grep -q "songlink-$version.debug" "$exe" || Fail "the debug link does not name songlink-$version.debug"
# With the debug file beside it, the program's debug information is found.
# (Whole outputs are read before grep: grep -q ending a pipe early would
# fail it under pipefail.)
cp "$debug" "$dir/"
dwarf="$("$objdump" --dwarf=follow-links -Wi "$exe" 2>/dev/null)"
grep -q 'DW_AT_producer' <<<"$dwarf" || Fail "the debug information is not reached through the debug link"
rm -f "$dir/songlink-$version.debug"
headers="$("$objdump" -p "$exe")"
grep -q 'Time/Date.*1970' <<<"$headers" || Fail "a time stamp in the PE header"

# The version: resource, manifest and archive name.
wideStrings="$("${objdump%objdump}strings" -el "$exe")"
grep -qx "$version.0" <<<"$wideStrings" || Fail "version resource does not say $version.0"
grep -aq "name=\"SongLink.Downloader\" version=\"$version.0\"" "$exe" || Fail "manifest does not say $version.0"

# Notices: file, text that must be in it.
while IFS='|' read -r file text; do
    grep -q "$text" "$dir/$file" 2>/dev/null || Fail "$file lacks \"$text\""
done <<'EOF'
licenses/libjpeg-turbo-README.ijg.txt|Independent JPEG Group
licenses/libjpeg-turbo-LICENSE.txt|libjpeg-turbo
licenses/libpng.txt|Upstream-Name: libpng
licenses/giflib.txt|Upstream-Name: giflib
licenses/zlib.txt|Jean-loup Gailly
licenses/mingw-w64-runtime-and-winpthreads.txt|winpthreads
licenses/NOTICE.txt|based in part on the work of the
README.txt|hash=
README.txt|网址
README.txt|What it sends over the network
README.txt|它在网络上发送什么
README.txt|writes no files of its own
EOF
head -c 3 "$dir/README.txt" | cmp -s - <(printf '\xef\xbb\xbf') || Fail "README.txt has no UTF-8 byte-order mark"
grep -q "SongLink $version" "$dir/README.txt" || Fail "README.txt does not name version $version"

# Packaging again after a fresh link gives the same bytes.
rm -f "$build/app/songlink.exe"
sleep 2
SL_BUILD_DIR="$build" SL_DIST_DIR="$work/second" bash "$repo/scripts/package.sh" >/dev/null ||
    Fail "package.sh (second run)"
cmp "$zip" "$work/second/$name-win32.zip" || Fail "two package runs gave different archives"
cmp "$debug" "$work/second/songlink-$version.debug" || Fail "two package runs gave different debug files"

for lang in zh_CN.UTF-8 en_US.UTF-8; do
    out="$(SL_LANG=$lang "$repo/scripts/wine-run.sh" "$driver" "$exe" 2>&1)"
    rc=$?
    echo "$out"
    { [ $rc = 0 ] && grep -q "window shown" <<<"$out"; } || Fail "the packaged program under $lang: exit $rc"
done

if [ $failures != 0 ]; then
    echo "$failures package failure(s)"
    exit 1
fi
rm -rf "$work"
echo "package checked"
