#!/usr/bin/env bash
# Builds every benchmark in bench/ (the Windows build: the figures are the
# program's, under Wine), runs each once, one after the other (each measures
# its floor in the same run), and prints one table: what was measured, the
# figure, its floor, the ratio and its goal. The table is made from the
# "BENCH<TAB>name<TAB>figure<TAB>floor<TAB>unit" lines alone
# (scripts/bench_table.py); each benchmark's full output is printed as it
# runs and kept in <build dir>/bench-results/.
#
#   SL_BUILD_DIR   the Windows build (default build/windows in the repository)
#   DISPLAY        X display; when unset a private Xvfb is started and stopped
# Exits non-zero if a benchmark failed to build or to finish.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"

dir="${SL_BUILD_DIR:-$SL_REPO/build/windows}"
export SL_BUILD_DIR="$dir"

bash "$SL_REPO/scripts/setup.sh" || exit 1
# Configuring writes the list of benchmarks.
bash "$SL_REPO/scripts/build.sh" windows --target help >/dev/null || {
    echo "bench: configuring $dir failed; see $dir/configure.log" >&2
    exit 1
}
mapfile -t names < <(cut -f1 "$dir/bench-targets.txt")
[ ${#names[@]} -gt 0 ] || { echo "bench: no benchmarks in $dir/bench-targets.txt" >&2; exit 1; }
echo "bench: building ${names[*]}"
bash "$SL_REPO/scripts/build.sh" windows --target "${names[@]}" || exit 1

trap SlStopPrivateXvfb EXIT
SlPrivateXvfb || exit 1

results="$dir/bench-results"
rm -rf "$results"
mkdir -p "$results"
status=0
while IFS=$'\t' read -r name exe; do
    echo "=== $name"
    "$SL_REPO/scripts/wine-run.sh" "$exe" 2>&1 | tee "$results/$name.txt"
    rc="${PIPESTATUS[0]}"
    echo "$rc" >"$results/$name.rc"
    [ "$rc" = 0 ] || { echo "=== $name ended with exit code $rc"; status=1; }
done <"$dir/bench-targets.txt"

echo "=== $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
python3 "$SL_REPO/scripts/bench_table.py" "$results" "${names[@]}"
exit $status
