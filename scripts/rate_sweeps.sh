#!/usr/bin/env bash
# The baseline receiver's decoded bit error rate at every data rate, measured with `hfchain sweep
# --rate` itself: white noise, and the "ruim" fading condition, with the 0.6 s interleaver (the
# only one at 4800 bit/s) and each rate's default blocks per trial. Writes the tables, the
# crossings of 1e-2 and 1e-4 per rate and the picture into OUTDIR (default build/rates), and prints
# the crossings. Affordable on a shared machine: a few minutes of processor time, run under nice.
# Usage: scripts/rate_sweeps.sh [OUTDIR [MAX_BITS]]   (defaults build/rates 2e5)
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-build/rates}
max_bits=${2:-2e5}
mkdir -p "$out"

cmake --preset release >/dev/null
cmake --build --preset release --target hfchain >/dev/null
hfchain=build/release/apps/hfchain
rates=75,150,300,600,1200,2400,4800

# White noise: Es/N0 from -10 dB (the waterfall of 75 bit/s) to 16 dB (that of uncoded 4800
# bit/s); each curve ends after its first point below 1e-5. A point stops at 100 error events or
# MAX_BITS information bits.
nice "$hfchain" sweep -q --rate "$rates" -i 0.6 -r baseline -C awgn -e -10:1:16 \
  --min-trials 10 --min-events 100 --max-bits "$max_bits" --floor 1e-5 \
  --targets 1e-2,1e-4 --crossings "$out/awgn.md" -o "$out/awgn.txt" --csv "$out/awgn.csv" -j 2
# Fading: the baseline receiver has no channel estimate, so a few points show where it stands.
nice "$hfchain" sweep -q --rate "$rates" -i 0.6 -r baseline -C ruim -e 0:10:30 \
  --min-trials 20 --min-events 50 --max-bits "$max_bits" \
  --targets 1e-2 --crossings "$out/ruim.md" -o "$out/ruim.txt" --csv "$out/ruim.csv" -j 2

cat "$out/awgn.md"
echo
cat "$out/ruim.md"
