#!/usr/bin/env bash
# Checks the sweep's 95 % intervals both ways, with few error events a point and with many
# (scripts/interval_coverage.sh for each): how often each run's interval holds the rate of all
# runs pooled, and whether the program marks the runs of few events (R_few_events) as such.
#
#   scripts/few_events_coverage.sh [HFCHAIN] [RUNS]
#
# Few: "ruim" at SNR(3 kHz) 10 dB with the 4.8 s interleaver, 100 trials a run (3 to 13 error
# events, most of the wrong bits in a few lost blocks): every run is marked. Many: the same
# channel with the 0.6 s interleaver and 100 events a run: none is. HFCHAIN defaults to
# build/release/apps/hfchain, RUNS to 20 (about 6 minutes in all on one core).
set -euo pipefail
cd "$(dirname "$0")/.."

exe=${1:-build/release/apps/hfchain}
runs=${2:-20}

echo "== few events: -C ruim --snr3k 10 -r hf --min-trials 100 --max-bits 1 (4.8 s)"
scripts/interval_coverage.sh "$exe" "$runs" -C ruim --snr3k 10 -r hf --min-trials 100 \
  --max-bits 1 -j 1
echo "== many events: -C ruim --snr3k 10 -r hf -i 0.6 --min-events 100 (0.6 s)"
scripts/interval_coverage.sh "$exe" "$runs" -C ruim --snr3k 10 -r hf -i 0.6 --min-trials 20 \
  --min-events 100 --min-errors 1 --max-bits 1e12 -j 1
