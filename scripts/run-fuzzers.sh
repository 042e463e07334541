#!/usr/bin/env bash
# Runs every libFuzzer target in build/fuzz: first a replay of its seed corpus (fuzz/corpus/NAME),
# then a short exploration from it (FUZZ_SECONDS, or the first argument, seconds each; default
# 10; set it higher for a longer run). Finds go to build/fuzz/work/NAME, never to the seeds.
# One line per check, "fuzz NAME ...: clean" or "... FAILED"; the exit status is 1 on any failure.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
secs=${1:-${FUZZ_SECONDS:-10}}
status=0
shopt -s nullglob
mkdir -p "$ROOT/build/fuzz/work"
check() {  # label, log, command...
    local label=$1 log=$2
    shift 2
    if (cd "$ROOT/build/fuzz/work" && "$@") >"$log" 2>&1; then
        echo "fuzz $label: $(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$') runs, clean"
    else
        echo "fuzz $label: FAILED"
        tail -40 "$log"
        status=1
    fi
}
for bin in "$ROOT"/build/fuzz/*_fuzz; do
    [[ -f $bin && -x $bin ]] || continue
    name=$(basename "$bin")
    work="$ROOT/build/fuzz/work/$name"
    mkdir -p "$work"
    seeds=()
    [[ -d "$ROOT/fuzz/corpus/$name" ]] && seeds=("$ROOT/fuzz/corpus/$name")
    opts=(-rss_limit_mb=2048 -timeout=10 -print_final_stats=1)
    if ((${#seeds[@]})); then
        check "$name replay" "$work.replay.log" "$bin" -runs=0 "${opts[@]}" "${seeds[@]}"
    fi
    check "$name" "$work.log" "$bin" -max_total_time="$secs" "${opts[@]}" "$work" "${seeds[@]}"
done
exit $status
