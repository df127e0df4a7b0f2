#!/usr/bin/env bash
# Measures acquisition against its targets with `hfchain sweep --metric acquisition`: for every
# mode on white noise, "ruim" and "2p:5ms:5Hz", the share of transmissions found with their mode
# and start over a grid of SNR(3 kHz) points and where it falls to 99 % and 90 %; then the false
# detections per hour on noise alone (white noise, and noise through the two fading channels).
# Writes each sweep's compact table into OUTDIR (default build/acquisition).
# Usage: bench/acquisition_targets.sh HFCHAIN [OUTDIR [TRIALS [NOISE_TRIALS]]]
#   TRIALS        trials a point of the grids (default 100)
#   NOISE_TRIALS  trials of 60 s of noise on white noise (default 2400: 40 hours); a quarter of
#                 them on each fading channel
set -euo pipefail
if [ $# -lt 1 ]; then
  echo "usage: $0 HFCHAIN [OUTDIR [TRIALS [NOISE_TRIALS]]]" >&2
  exit 2
fi
hfchain=$1
out=${2:-build/acquisition}
trials=${3:-100}
noise=${4:-2400}
mkdir -p "$out"

sweep() {
  local name=$1
  shift
  nice -n 5 "$hfchain" sweep --metric acquisition -q -j 2 --format compact "$@" >"$out/$name.txt"
  echo "== $name: hfchain sweep --metric acquisition $*"
  cat "$out/$name.txt"
}

counts=(--min-trials "$trials" --max-bits "$trials")
# White noise from -12 dB, where acquisition starts to fail, the fading channels over their
# slow rates' and their fast rates' decoding SNRs.
for interleaver in 0.6 4.8; do
  rates=2400,1200,600,300,150,75
  [ "$interleaver" = 0.6 ] && rates=4800,$rates
  sweep "awgn-$interleaver" --rate $rates -i $interleaver -C awgn --snr3k -12:1:-4 "${counts[@]}"
  sweep "fading-$interleaver" --rate $rates -i $interleaver -C ruim,2p:5ms:5Hz --snr3k -10:2:14 \
    "${counts[@]}"
done

# False detections: 60 s of noise a trial, the count over the hours searched.
sweep noise-awgn --noise 60 -C awgn --snr3k 0 --min-trials "$noise" --max-bits "$noise" \
  --min-events "$noise"
quarter=$((noise / 4))
sweep noise-fading --noise 60 -C ruim,2p:5ms:5Hz --snr3k 10 --min-trials "$quarter" \
  --max-bits "$quarter" --min-events "$quarter"
