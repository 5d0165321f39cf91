#!/usr/bin/env bash
# Prints Tolm's figures beside their baselines: drawing and moving in a small and a huge file,
# find in a page-cached 1 GiB file against grep and cat, and saving one byte in 1 KiB and 1 GiB.
# Usage: bench/run.sh BUILD_DIR   (the files go to a temporary folder, removed at the end)
set -euo pipefail
build=${1:-build}
work=$(mktemp -d "${TMPDIR:-/tmp}/tolm-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT

seconds() { # runs a command, prints its wall time in seconds
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null
    end=$(date +%s.%N)
    echo "$end - $start" | bc
}

best_of_3() {
    local best=999
    for _ in 1 2 3; do
        t=$(seconds "$@")
        best=$(echo "if ($t < $best) $t else $best" | bc)
    done
    echo "$best"
}

if [ -x "$build/bench/bench_draw" ]; then
    echo "== draw_screen plus one movement command =="
    "$build/bench/bench_draw" --benchmark_repetitions=3 --benchmark_report_aggregates_only=true 2>/dev/null |
        grep -E '_median|Benchmark'
fi

echo "== find: pattern at the end of a page-cached 1 GiB file =="
big=$work/big.bin
head -c $((1024 * 1024 * 1024 - 10)) /dev/urandom >"$big"
printf 'TOLMNEEDLE' >>"$big"
sync "$big"
cat "$big" >/dev/null
size=$(stat -c %s "$big")
t_cat=$(best_of_3 cat "$big")
t_grep=$(best_of_3 env LC_ALL=C grep -c -F TOLMNEEDLE "$big")
t_find=$(best_of_3 "$build/bench/bench_find_save" find "$big" 544F4C4D4E4545444C45)
"$build/bench/bench_find_save" find "$big" 544F4C4D4E4545444C45
rate() { echo "scale=0; $size / $1 / 1000000" | bc; }
printf '%-22s %8s s %8s MB/s\n' "cat" "$t_cat" "$(rate "$t_cat")" "grep -c -F" "$t_grep" "$(rate "$t_grep")" \
    "tolm find" "$t_find" "$(rate "$t_find")"
echo "tolm find / grep rate: $(echo "scale=2; $t_grep / $t_find" | bc)"

echo "== save: one changed byte =="
small=$work/small.bin
head -c 1024 /dev/urandom >"$small"
"$build/bench/bench_find_save" save "$small" 512
"$build/bench/bench_find_save" save "$big" $((size - 5))
