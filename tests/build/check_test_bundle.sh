#!/usr/bin/env bash
# The Windows test bundle, checked quickly: scripts/package-tests.sh makes it,
# it holds what run-tests.cmd needs and every program it lists, no file in it
# names the build machine, and a few programs that need nothing of the build
# machine run through run-tests.cmd under Wine in a bare environment with the
# trees out of reach (scripts/test-bundle.sh), with their reports, the
# system facts and the summary line; a program that crashes counts as failed.
# The full run is scripts/test-bundle.sh with no names.
# Usage: check_test_bundle.sh <build dir> <work dir>
set -uo pipefail
build="$1" work="$2"
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
# Fast programs that read nothing beside themselves.
programs=(core_heap_test sl_commands_test units_data_test web_text_test bundle_counts_test)

failures=0
Fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

rm -rf "$work"
mkdir -p "$work"
# The runs unpack outside the trees, which they hide.
runs="$(mktemp -d /tmp/songlink-bundle-check.XXXXXX)"
SL_BUILD_DIR="$build" SL_DIST_DIR="$work/dist" bash "$repo/scripts/package-tests.sh" ||
    { echo "FAIL: package-tests.sh"; exit 1; }
version="$(cat "$build/songlink-version.txt")"
name="SongLink-$version-win32-tests"
zip="$work/dist/$name.zip"
[ -f "$zip" ] || { echo "FAIL: no $zip"; exit 1; }

entries="$(python3 -c 'import sys, zipfile; print("\n".join(zipfile.ZipFile(sys.argv[1]).namelist()))' "$zip")"
listed="$(tr -d '\r' <"$build/test-programs.txt" | tr '\\' /)"
for entry in run-tests.cmd bundle_tools.exe test-programs.txt tests/app/e2e/songlink_e2e.exe \
    tests/app/e2e/planted/atl.dll tests/runtime/core/beside/songlink_private.dll $listed; do
    grep -qx "$name/$entry" <<<"$entries" || Fail "$entry is not in the bundle"
done
[ "$(grep -c . <<<"$listed")" -ge 25 ] || Fail "test-programs.txt lists only $(grep -c . <<<"$listed") programs"
python3 -c 'import sys, zipfile; sys.stdout.buffer.write(zipfile.ZipFile(sys.argv[1]).read(sys.argv[2]))' \
    "$zip" "$name/run-tests.cmd" | head -1 | grep -q $'\r$' || Fail "run-tests.cmd has no CRLF line ends"

bash "$repo/tests/build/check_bundle_paths.sh" "$zip" "$repo" "$build" || Fail "build-machine paths in the bundle"

# The bundle runs on Windows 7 as released: a program importing what only
# update KB2533623 (or Windows 8) brought is refused by the loader as a whole;
# such functions are looked up at run time instead.
mkdir -p "$work/imports"
python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' "$zip" "$work/imports"
while IFS= read -r -d '' binary; do
    late="$(i686-w64-mingw32-objdump -p "$binary" |
        grep -Eow 'AddDllDirectory|RemoveDllDirectory|SetDefaultDllDirectories' | sort -u | tr '\n' ' ')"
    [ -z "$late" ] || Fail "${binary#"$work/imports/"} imports ${late}(absent from Windows 7 without KB2533623)"
done < <(find "$work/imports" -type f \( -iname '*.exe' -o -iname '*.dll' \) -print0)

# A few programs through run-tests.cmd, as on a Windows machine.
SL_TEST_BUNDLE_ZIP="$zip" SL_BUNDLE_WORK="$runs/run" SL_BUNDLE_TIMEOUT=600 \
    bash "$repo/scripts/test-bundle.sh" "${programs[@]}" >"$work/run.txt"
rc=$?
cat "$work/run.txt"
results="$runs/run/unpacked/$name/results"
[ $rc = 0 ] || Fail "run-tests.cmd exited with $rc"
summary="$(tail -1 "$work/run.txt")"
if [[ "$summary" =~ ^([0-9]+)\ passed,\ 0\ failed,\ ([0-9]+)\ skipped$ ]] && ((BASH_REMATCH[1] >= 50)); then
    :
else
    Fail "summary line \"$summary\""
fi
for program in "${programs[@]}"; do
    grep -q "^ok   $program: [1-9][0-9]* passed, 0 failed" "$work/run.txt" || Fail "no passing line for $program"
    grep -q '</testsuites>' "$results/$program.xml" 2>/dev/null || Fail "no report results\\$program.xml"
    [ -s "$results/$program.txt" ] || Fail "no console output results\\$program.txt"
done
[ "$(find "$results" -name '*.xml' | wc -l)" = ${#programs[@]} ] || Fail "reports of programs not asked for"
for fact in 'Windows version: [0-9]+\.[0-9]+ build [0-9]+' 'ANSI code page: [0-9]+' 'System DPI: [0-9]+' \
    'User locale: [a-z]' 'System locale: [a-z]' 'Wine: yes, Wine [0-9]'; do
    tr -d '\r' <"$results/system.txt" 2>/dev/null | grep -Eq "^$fact" || Fail "system.txt lacks \"$fact\""
done

# A program that dies without a report: counted as a failure, exit code 1.
python3 - "$zip" "$work/broken.zip" "$name" <<'PY'
import sys, zipfile
source, target, top = sys.argv[1:4]
with zipfile.ZipFile(source) as old, zipfile.ZipFile(target, "w") as new:
    crasher = old.read(top + "/bundle_tools.exe")  # exits 2 on unknown arguments
    for info in old.infolist():
        data = old.read(info)
        new.writestr(info, crasher if info.filename.endswith("/bundle_counts_test.exe") else data)
PY
SL_TEST_BUNDLE_ZIP="$work/broken.zip" SL_BUNDLE_WORK="$runs/broken" SL_BUNDLE_TIMEOUT=300 \
    bash "$repo/scripts/test-bundle.sh" bundle_counts_test core_heap_test >"$work/broken.txt"
rc=$?
cat "$work/broken.txt"
[ $rc = 1 ] || Fail "run-tests.cmd exited with $rc after a program failed"
grep -q '^FAIL bundle_counts_test: 0 passed, 1 failed, 0 skipped (exit code 2, no test report' "$work/broken.txt" ||
    Fail "no failure line for the program without a report"
tail -1 "$work/broken.txt" | grep -Eq '^[1-9][0-9]* passed, 1 failed, 0 skipped$' ||
    Fail "summary after a failure: \"$(tail -1 "$work/broken.txt")\""

if [ $failures != 0 ]; then
    echo "$failures test bundle failure(s); work left in $work and $runs"
    exit 1
fi
rm -rf "$work" "$runs"
echo "test bundle checked"
