#!/usr/bin/env bash
# The benchmark table is made from the BENCH lines alone: a benchmark whose
# sentences are reworded (or printed by Wine with CR LF) still gets its rows
# with the right ratio and goal, a name the table does not know still shows,
# and a benchmark that failed or printed nothing says so.
# Usage: check_bench_table.sh <scripts folder>
set -u
scripts="$1"
dir="$(mktemp -d)"
trap 'rm -rf "$dir"' EXIT
printf 'A sentence nobody parses: 3 ms\r\nBENCH\twindow_load\t26\t20\tms\r\n' >"$dir/one.txt"
printf '0\n' >"$dir/one.rc"
printf 'BENCH\tsplit_text\t14\t10\tms\nBENCH\tnew_figure_x\t2.5\t-\tMB\n' >"$dir/two.txt"
printf '3\n' >"$dir/two.rc"
printf 'crashed before any figure\n' >"$dir/three.txt"
printf '1\n' >"$dir/three.rc"
table="$(python3 "$scripts/bench_table.py" "$dir" one two three)"
echo "$table"
failures=0
expect() {
    if ! grep -Eq -- "$1" <<<"$table"; then
        echo "FAIL: no row matching: $1"
        failures=$((failures + 1))
    fi
}
expect '^\| window_load +\|.*\| 26 ms +\| 20 ms +\| 1\.30 +\| <= 1\.3 met'
expect '^\| split_text +\|.*\| 14 ms +\| 10 ms +\| 1\.40 +\| <= 1\.3 MISSED'
expect '^\| new_figure_x +\| new_figure_x +\| 2\.5 MB +\| none +\|'
expect '^\| two +\| ended with exit code 3'
expect '^\| three +\| printed no figures \(exit code 1\)'
[ $failures = 0 ]
