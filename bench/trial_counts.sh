#!/usr/bin/env bash
# Instructions per sweep trial, yardstick against the sweep's runner, counted by callgrind (the
# counts do not depend on the machine's load). Runs the BM_trial/counted_* pairs of the benchmark
# program: the same 8 trials for both, at M = 5 and Es/N0 10 dB.
# Usage: bench/trial_counts.sh [BENCH_BINARY] [FILTER]   (defaults: the release build, every pair)
set -euo pipefail
cd "$(dirname "$0")/.."
bench=${1:-build/release/bench/hfchain_bench}
filter=${2:-.}
trials=8
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

printf '%-5s %-11s %14s %14s %7s\n' inter condition yardstick sweep ratio
for inter in i06 i48; do
  for cond in awgn bom moderado ruim muito_ruim; do
    name="BM_trial/counted_${inter}_${cond}_"
    [[ "$name" =~ $filter ]] || continue
    valgrind --tool=callgrind --callgrind-out-file="$out/cg" "$bench" \
      --benchmark_filter="^${name}" >/dev/null 2>&1
    counts=$(callgrind_annotate --inclusive=yes "$out/cg" 2>/dev/null)
    y=$(grep -m1 'yardstick_trial' <<<"$counts" | awk '{gsub(",", "", $1); print $1}')
    s=$(grep -m1 'sweep_trial' <<<"$counts" | awk '{gsub(",", "", $1); print $1}')
    awk -v i="$inter" -v c="$cond" -v y="$y" -v s="$s" -v n="$trials" \
      'BEGIN { printf "%-5s %-11s %14.0f %14.0f %7.2f\n", i, c, y / n, s / n, y / s }'
  done
done
