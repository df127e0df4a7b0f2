#!/usr/bin/env bash
# Time per sweep trial, yardstick against the sweep's runner, measured in one run of the
# benchmark program (BM_trial pairs: the same trials for both, M = 5, Es/N0 10 dB). Reports the
# smallest CPU time of each benchmark over the repetitions and the ratio (the speed-up per core).
# Usage: bench/trial_times.sh [BENCH_BINARY] [REPETITIONS] [FILTER]
#   (defaults: the release build, 5, every pair)
set -euo pipefail
cd "$(dirname "$0")/.."
bench=${1:-build/release/bench/hfchain_bench}
reps=${2:-5}
filter=${3:-.}
"$bench" --benchmark_filter="^BM_trial/i.*(${filter})" --benchmark_repetitions="$reps" \
  --benchmark_format=csv 2>/dev/null |
  awk -F, '
    NR == 1 { next }
    $1 ~ /_(mean|median|stddev|cv)"$/ { next }
    {
      name = $1; gsub(/"/, "", name); sub(/^BM_trial\//, "", name)
      kind = name ~ /_yardstick$/ ? "y" : "s"; sub(/_(yardstick|sweep)$/, "", name)
      if (!((kind, name) in best) || $4 + 0 < best[kind, name]) best[kind, name] = $4 + 0
      if (!(name in seen)) { seen[name] = 1; order[++n] = name }
    }
    END {
      printf "%-16s %14s %14s %7s\n", "trial", "yardstick ms", "sweep ms", "ratio"
      for (i = 1; i <= n; i++) {
        k = order[i]
        printf "%-16s %14.3f %14.3f %7.2f\n", k, best["y", k], best["s", k], best["y", k] / best["s", k]
      }
    }'
