#!/usr/bin/env bash
# Measures the HF receiver against the genie bound with the program users run, `hfchain sweep`:
# decoded bit error rate against SNR(3 kHz) for every channel condition and both interleavers, and
# the table of the SNRs at which each reaches 1e-3 and 1e-5 (docs/receivers.md, "Measured performance").
# Seeded: a rerun gives the same numbers, and a killed run resumes from its checkpoint journals.
#
#   scripts/measure.sh [OUTDIR] [BITS] [HEADLINE_BITS]
#
# The two headline curves (white noise and "ruim" with the 4.8 s interleaver) run up to
# HEADLINE_BITS information bits a point (default 4e6); the other curves up to BITS (default 5e5;
# give 4e6 for the full precision, a few hours on two cores). HFCHAIN_MEASURE_ONLY="awgn48 ruim06
# ..." runs only the named curves (names below). Writes, for each curve, OUTDIR/<curve>.txt (the
# sweep's table, its crossings at the end), <curve>.csv, <curve>.md (its row of the table of
# targets), <curve>.journal (the checkpoint) and <curve>.log (the progress), then OUTDIR/table.md
# (one row a measured curve); OUTDIR defaults to build/measure.
set -euo pipefail
cd "$(dirname "$0")/.."

out=${1:-build/measure}
bits=${2:-5e5}
headline=${3:-4e6}
only=${HFCHAIN_MEASURE_ONLY:-}
scripts/deps.sh >&2
cmake --preset release >/dev/null
cmake --build --preset release --target hfchain >&2
mkdir -p "$out"

# name, interleaver (s), condition, SNR(3 kHz) points FROM:STEP:TO (dB), bits a point at most
curves=(
  "awgn48     4.8 awgn       5:0.5:9 $headline"
  "ruim48     4.8 ruim       8:1:16  $headline"
  "awgn06     0.6 awgn       5:0.5:9 $bits"
  "bom06      0.6 bom        6:2:36  $bits"
  "moderado06 0.6 moderado   6:2:36  $bits"
  "ruim06     0.6 ruim       6:2:36  $bits"
  "muito06    0.6 muito_ruim 6:2:36  $bits"
  "bom48      4.8 bom        6:2:30  $bits"
  "moderado48 4.8 moderado   6:2:30  $bits"
  "muito48    4.8 muito_ruim 6:2:30  $bits"
)

# Both receivers on the same transmissions (one interleaver block a trial, five samples a symbol,
# two turbo iterations); a point runs at least 20 trials, then stops once each receiver has had
# wrong bits in the default number of trials (error events, enough for an interval of about
# +-20 %), or at the curve's budget; a curve ends after its first point at which both rates are
# below 1e-6.
for c in "${curves[@]}"; do
  read -r name interleaver condition snr budget <<<"$c"
  if [ -n "$only" ] && [[ " $only " != *" $name "* ]]; then continue; fi
  ./build/release/apps/hfchain sweep -i "$interleaver" -C "$condition" --snr3k "$snr" \
    -r hf,genie --metric decoded --stop-on all --min-trials 20 --max-bits "$budget" \
    --floor 1e-6 --seed 1 --targets 1e-3,1e-5 --crossings "$out/$name.md" --csv "$out/$name.csv" \
    --checkpoint "$out/$name.journal" -o "$out/$name.txt" 2> >(tee "$out/$name.log" >&2)
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
