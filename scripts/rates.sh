#!/usr/bin/env bash
# The baseline receiver at every data rate: its decoded bit error rate on white noise at a few
# Es/N0 beside the yardstick (bench/rate_curves.cpp), and the processor time of a trial per second
# of air time against 2400 bit/s (bench/bench_rates.cpp; the smallest CPU time over the
# repetitions).
# Usage: scripts/rates.sh [MIN_ERRORS [MAX_AIR_SECONDS [REPETITIONS]]]   (defaults 200 3000 5)
set -euo pipefail
cd "$(dirname "$0")/.."
min_errors=${1:-200}
max_air=${2:-3000}
reps=${3:-5}

cmake --preset release >/dev/null
cmake --build --preset release --target rate_curves hfchain_bench >/dev/null

build/release/bench/rate_curves "$min_errors" "$max_air"
echo
build/release/bench/hfchain_bench --benchmark_filter='^BM_rate_trial/' \
  --benchmark_repetitions="$reps" --benchmark_format=csv 2>/dev/null |
  awk -F, '
    NR == 1 { for (i = 1; i <= NF; i++) col[$i] = i; next }
    $1 ~ /_(mean|median|stddev|cv)"$/ { next }
    {
      name = $1; gsub(/"/, "", name); split(name, a, "/")
      key = a[3] "/" a[4]; rate = a[2]
      cpu = $(col["cpu_time"]) + 0; air[rate, key] = $(col["\"air_s\""]) + 0
      if (!((rate, key) in best) || cpu < best[rate, key]) best[rate, key] = cpu
      if (!((rate, key) in seen)) { seen[rate, key] = 1; order[++n] = rate SUBSEP key }
    }
    END {
      printf "# baseline trial: processor time per second of air time (smallest of the repetitions)\n"
      printf "%6s %11s %6s %10s %7s %12s %9s\n", "rate", "interleaver", "chan", "ms/trial",
             "air s", "ms/air s", "vs 2400"
      for (i = 1; i <= n; i++) {
        split(order[i], k, SUBSEP); rate = k[1]; split(k[2], c, "/")
        per = best[rate, k[2]] / air[rate, k[2]]
        ref = best[2400, k[2]] / air[2400, k[2]]
        printf "%6s %11s %6s %10.2f %7.2f %12.3f %9.2f\n", rate, c[1] == 0 ? "0.6 s" : "4.8 s",
               c[2] == 0 ? "awgn" : "ruim", best[rate, k[2]], air[rate, k[2]], per, per / ref
      }
    }'
