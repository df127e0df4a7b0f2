#!/usr/bin/env bash
# Measures the HF receiver against the genie bound: decoded bit error rate against SNR(3 kHz) for
# every channel condition and both interleavers, and the table of the SNRs at which each reaches
# 1e-3 and 1e-5 (the README's table of targets). Seeded: a rerun gives the same numbers.
#
#   scripts/measure.sh [OUTDIR] [BITS]
#
# The two headline curves (white noise and "ruim" with the 4.8 s interleaver) run up to 4e6
# information bits a point; the other curves up to BITS (default 5e5; give 4e6 for the full
# precision, a few hours on two cores). HFCHAIN_MEASURE_ONLY="awgn48 ruim06 ..." runs only the
# named curves (names below). Writes OUTDIR/<curve>.csv (every point), OUTDIR/<curve>.log,
# OUTDIR/table.md (the table, one row a measured curve); OUTDIR defaults to build/measure.
set -euo pipefail
cd "$(dirname "$0")/.."

out=${1:-build/measure}
bits=${2:-5e5}
only=${HFCHAIN_MEASURE_ONLY:-}
scripts/deps.sh >&2
cmake --preset release >/dev/null
cmake --build --preset release --target hfmeasure >&2
mkdir -p "$out"

# name, interleaver (s), condition, SNR range FROM:STEP:TO (dB), bits a point at most
curves=(
  "awgn48     4.8 awgn       5:0.5:9 4e6"
  "ruim48     4.8 ruim       8:1:16  4e6"
  "awgn06     0.6 awgn       5:0.5:9 $bits"
  "bom06      0.6 bom        6:2:36  $bits"
  "moderado06 0.6 moderado   6:2:36  $bits"
  "ruim06     0.6 ruim       6:2:36  $bits"
  "muito06    0.6 muito_ruim 6:2:36  $bits"
  "bom48      4.8 bom        6:2:30  $bits"
  "moderado48 4.8 moderado   6:2:30  $bits"
  "muito48    4.8 muito_ruim 6:2:30  $bits"
)

for c in "${curves[@]}"; do
  read -r name interleaver condition snr budget <<<"$c"
  if [ -n "$only" ] && [[ " $only " != *" $name "* ]]; then continue; fi
  ./build/release/measure/hfmeasure --min-errors 50 --min-events 10 --min-trials 20 --seed 1 \
    --max-bits "$budget" --interleaver "$interleaver" --conditions "$condition" --snr "$snr" \
    --points "$out/$name.csv" --table "$out/$name.md" 2> >(tee "$out/$name.log" >&2) >/dev/null
done

# The table: the header once, then the row of every curve measured so far, by interleaver and
# condition.
{
  first=1
  for name in awgn06 bom06 moderado06 ruim06 muito06 awgn48 bom48 moderado48 ruim48 muito48; do
    [ -f "$out/$name.md" ] || continue
    if [ $first = 1 ]; then head -n 2 "$out/$name.md"; first=0; fi
    tail -n +3 "$out/$name.md"
  done
} >"$out/table.md"
cat "$out/table.md"
