#!/usr/bin/env bash
# Cost of a sweep trial with the HF receiver against the same trial with today's receiver, in
# instructions (valgrind's callgrind, repeatable whatever the machine's load): one run_road of
# each benchmark pair of bench_hfreceiver.cpp (M = 5, Es/N0 15 dB, one interleaver block), and the
# ratio.
# Usage: bench/hf_trial_cost.sh [BENCH_BINARY]   (default: the release build)
set -euo pipefail
cd "$(dirname "$0")/.."
bench=${1:-build/release/bench/hfchain_bench}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

count() {
  valgrind --tool=callgrind --callgrind-out-file="$tmp/out" --toggle-collect='hfchain::run_road*' \
    "$bench" --benchmark_filter="^$1\$" --benchmark_min_time=0 2>&1 |
    sed -n 's/.*Collected : //p'
}

models=(bom moderado ruim muito_ruim)
printf "%-10s %-6s %10s %16s %16s %7s\n" condition interl iterations "baseline (Mi)" "hf (Mi)" ratio
for interleaver in 0 1; do
  for model in 0 1 2 3; do
    iterations=(2)
    [ "$model" = 2 ] && [ "$interleaver" = 0 ] && iterations=(0 1 2 3)
    baseline=$(count "BM_trial_baseline_yardstick/$model/$interleaver")
    for it in "${iterations[@]}"; do
      hf=$(count "BM_trial_hf/$model/$it/$interleaver")
      awk -v c="${models[$model]}" -v i="$interleaver" -v it="$it" -v s="$baseline" -v h="$hf" \
        'BEGIN { printf "%-10s %-6s %10d %16.1f %16.1f %7.2f\n", c, (i == 0 ? "0.6 s" : "4.8 s"),
                 it, s / 1e6, h / 1e6, h / s }'
    done
  done
done
