#!/usr/bin/env bash
# Runs every libFuzzer target briefly from its seed corpus (fuzz/corpus/NAME, if any); what a
# run finds is kept in build/fuzz/work/NAME, never in the seed corpus.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
secs=${1:-20}
status=0
shopt -s nullglob
mkdir -p "$ROOT/build/fuzz/work"
for bin in "$ROOT"/build/fuzz/*_fuzz; do
    [[ -f $bin && -x $bin ]] || continue
    name=$(basename "$bin")
    work="$ROOT/build/fuzz/work/$name"
    mkdir -p "$work"
    seeds=()
    [[ -d "$ROOT/fuzz/corpus/$name" ]] && seeds=("$ROOT/fuzz/corpus/$name")
    if (cd "$ROOT/build/fuzz/work" && "$bin" -max_total_time="$secs" -rss_limit_mb=2048 \
        -timeout=10 -print_final_stats=1 "$work" "${seeds[@]}") >"$work.log" 2>&1; then
        echo "fuzz $name: $(grep -o 'stat::number_of_executed_units: *[0-9]*' "$work.log" | grep -o '[0-9]*$') runs, clean"
    else
        echo "fuzz $name: FAILED"
        tail -40 "$work.log"
        status=1
    fi
done
exit $status
