#!/usr/bin/env bash
# Measures the HF receiver against the genie bound: decoded bit error rate against SNR(3 kHz) for
# every channel condition and both interleavers, and the table of the SNRs at which each reaches
# 1e-3 and 1e-5 (the README's table of targets). Seeded: a rerun gives the same numbers.
#
#   scripts/measure.sh [OUTDIR] [hfmeasure options...]
#
# Writes OUTDIR/points.csv (every point), OUTDIR/table.md (the table) and OUTDIR/log.txt; OUTDIR
# defaults to build/measure. Extra options go to hfmeasure (for example --conditions ruim
# --interleaver 4.8, or --threads 1); see build/release/measure/hfmeasure --help.
# Runs for a few hours on two cores.
set -euo pipefail
cd "$(dirname "$0")/.."

out=${1:-build/measure}
[ $# -gt 0 ] && shift
scripts/deps.sh >&2
cmake --preset release >/dev/null
cmake --build --preset release --target hfmeasure >&2
mkdir -p "$out"
./build/release/measure/hfmeasure --min-errors 50 --min-events 10 --min-trials 20 \
  --max-bits 4e6 --points "$out/points.csv" --table "$out/table.md" "$@" 2> >(tee "$out/log.txt" >&2)
