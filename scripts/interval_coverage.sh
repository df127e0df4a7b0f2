#!/usr/bin/env bash
# Checks the sweep's 95 % intervals where errors come in bursts: runs one point with the base
# seeds 1..RUNS, pools the errors and bits of all runs, and counts how many of the runs' intervals
# (R_ci95_low to R_ci95_high, over trials) hold the pooled rate: about 95 % of them should. The
# Wilson interval of each run's bits, which treats every bit as independent, is counted beside it.
# Runs whose interval the program marks as resting on few error events (R_few_events) are counted
# apart as well: those are the runs whose interval is not to be trusted.
#
#   scripts/interval_coverage.sh [HFCHAIN] [RUNS] [SWEEP OPTIONS ...]
#
# HFCHAIN defaults to build/release/apps/hfchain, RUNS to 20, the options to a point where runs of
# different seeds gave Wilson intervals that did not overlap: -C ruim --snr3k 10 -r hf
# --min-trials 300 --max-bits 1 (one receiver, one point; its decoded information bits are
# counted). Give others to check elsewhere, for example the default stop rule:
#   scripts/interval_coverage.sh build/release/apps/hfchain 20 -C ruim --snr3k 10 -r hf -i 0.6 \
#       --max-bits 1e12
set -euo pipefail
cd "$(dirname "$0")/.."

exe=${1:-build/release/apps/hfchain}
runs=${2:-20}
shift $(($# < 2 ? $# : 2))
options=("$@")
[ ${#options[@]} -gt 0 ] || options=(-C ruim --snr3k 10 -r hf --min-trials 300 --max-bits 1)
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

for seed in $(seq 1 "$runs"); do
  "$exe" sweep -q "${options[@]}" -s "$seed" --csv "$out/$seed.csv" >/dev/null
done

# The first receiver's columns of every run's single point: errors, bits, its interval.
for seed in $(seq 1 "$runs"); do
  awk -F, -v seed="$seed" 'NR == 1 { for (i = 1; i <= NF; i++) col[$i] = i; next }
    NR == 2 { for (k in col) if (k ~ /_info_errors$/ && !r) r = substr(k, 1, length(k) - 12)
              print seed, $col["trials"], $col["events"], $col[r "_info_errors"], $col["info_bits"],
                    $col[r "_ci95_low"], $col[r "_ci95_high"],
                    (r "_few_events") in col ? $col[r "_few_events"] : "-" }' "$out/$seed.csv"
done >"$out/runs"

awk -v runs="$runs" '
  { seed[NR] = $1; trials[NR] = $2; events[NR] = $3; e[NR] = $4; b[NR] = $5; lo[NR] = $6
    hi[NR] = $7; few[NR] = $8; E += $4; B += $5 }
  END {
    pooled = E / B; z = 1.959963984540054
    printf "pooled rate %.4e (%d errors in %d bits over %d runs)\n", pooled, E, B, NR
    printf "%5s %7s %7s %8s %11s %11s %11s %6s %4s %11s %11s %6s\n", "seed", "trials", "events",
           "errors", "rate", "ci95_low", "ci95_high", "holds", "few", "wilson_low", "wilson_high",
           "holds"
    for (i = 1; i <= NR; i++) {
      p = e[i] / b[i]; n = b[i]; z2n = z * z / n
      centre = (p + z2n / 2) / (1 + z2n)
      half = z * sqrt(p * (1 - p) / n + z2n / (4 * n)) / (1 + z2n)
      wl = centre - half < 0 ? 0 : centre - half; wh = centre + half
      in1 = lo[i] <= pooled && pooled <= hi[i]; in2 = wl <= pooled && pooled <= wh
      covered += in1; wilson += in2
      marked += few[i] == 1; markedCovered += few[i] == 1 && in1
      printf "%5d %7d %7d %8d %11.4e %11.4e %11.4e %6s %4s %11.4e %11.4e %6s\n", seed[i], trials[i],
             events[i], e[i], p, lo[i], hi[i], in1 ? "yes" : "no", few[i], wl, wh, in2 ? "yes" : "no"
    }
    printf "the interval over trials holds the pooled rate in %d of %d runs; Wilson'"'"'s in %d\n",
           covered, NR, wilson
    printf "marked as resting on few events: %d runs, holding it in %d; unmarked: %d, in %d\n",
           marked, markedCovered, NR - marked, covered - markedCovered
  }' "$out/runs"
