#!/usr/bin/env bash
# Runs every fuzz target of the fuzz build for longer than the test run
# does (there each gets a few seconds over its seeds). Corpora grow in the
# build directory and are kept between runs; a crash leaves its input in
# <build>/fuzz-artifacts/ and makes the script fail.
#
#   fuzz.sh [name-regex]     only the targets whose name matches
#   SL_FUZZ_SECONDS          time per target (default 300)
#   SL_FUZZ_JOBS             parallel fuzzing processes per target (default 1)
#   SL_BUILD_DIR             fuzz build directory (default build/fuzz)
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"

dir="${SL_BUILD_DIR:-$SL_REPO/build/fuzz}"
export SL_BUILD_DIR="$dir"
filter="${1:-.}"
seconds="${SL_FUZZ_SECONDS:-300}"
fuzzJobs="${SL_FUZZ_JOBS:-1}"

bash "$SL_REPO/scripts/setup.sh" || exit 1
bash "$SL_REPO/scripts/build.sh" fuzz || exit 1

list="$dir/fuzz-targets.txt"
[ -s "$list" ] || { echo "fuzz: no fuzz targets in this tree yet"; exit 0; }

artifacts="$dir/fuzz-artifacts"
logs="$dir/fuzz-logs"
mkdir -p "$artifacts" "$logs"
failed=()
ran=0
while IFS=$'\t' read -r name exe corpus seeds; do
    [[ "$name" =~ $filter ]] || continue
    ran=$((ran + 1))
    mkdir -p "$corpus"
    args=(-max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -print_final_stats=1
        -artifact_prefix="$artifacts/$name-")
    [ "$fuzzJobs" -gt 1 ] && args+=(-fork="$fuzzJobs")
    dirs=("$corpus")
    [ -n "$seeds" ] && dirs+=("$seeds")
    echo "fuzz: $name for ${seconds}s (log $logs/$name.log)"
    if "$exe" "${args[@]}" "${dirs[@]}" >"$logs/$name.log" 2>&1; then
        grep -E '^stat::number_of_executed_units|^#[0-9]+.*DONE' "$logs/$name.log" | tail -2 | sed 's/^/      /'
    else
        echo "fuzz: $name FAILED; last lines of its log:"
        tail -30 "$logs/$name.log"
        failed+=("$name")
    fi
done <"$list"

echo "fuzz: ran $ran target(s), ${#failed[@]} failed ${failed[*]:-}"
[ ${#failed[@]} = 0 ]
