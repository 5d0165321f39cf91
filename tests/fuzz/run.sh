#!/usr/bin/env bash
# Runs one fuzz target for a bounded time on a copy of its seed corpus.
# Usage: run.sh FUZZ_BUILD_DIR TARGET SECONDS     (TARGET: keys, file or match)
set -euo pipefail
build=$1 target=$2 seconds=$3
here=$(cd "$(dirname "$0")" && pwd)
binary=$build/${target}_fuzz
if [ ! -x "$binary" ]; then
    echo "skipped: $binary was not built (clang with libFuzzer is needed)"
    exit 77
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/tolm-fuzz-run-XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/corpus" "$build/artifacts"
cp "$here/corpus/$target/"* "$work/corpus/"
echo "fuzzing $target for $seconds s"
status=0
# libFuzzer ends with 77 on a crash unless told otherwise, and 77 is how a test says it skipped.
"$binary" -max_total_time="$seconds" -max_len=2048 -print_final_stats=1 -artifact_prefix="$build/artifacts/" \
    -error_exitcode=1 -timeout_exitcode=1 \
    "$work/corpus" >"$work/log" 2>&1 || status=$?
if [ "$status" -ne 0 ]; then
    tail -n 60 "$work/log"
else
    grep -E '^(Done|stat::average_exec_per_sec)' "$work/log"
fi
exit "$status"
