#!/usr/bin/env bash
# The targets of the path through the air, measured with `hfchain sweep` (docs/clock-and-audio-
# sweep.md), each printed as met or missed, with the difference's 95 % interval from the trials
# paired across the two runs (bench/paired_crossings.py: trial k draws the same bits, fading and
# noise stream on either path):
#  1. The air costs nothing: on awgn and ruim (4.8 s interleaver, 2400 bit/s) the HF receiver's
#     decoded curve through --audio 8000 and through --audio 48000 crosses 1e-3 and 1e-5 within
#     0.2 dB of the baseband curve (the same transmissions and fading: the seeds do not depend
#     on the path).
#  2. A sound card's clock off by +-100 ppm over a message of 10 interleaver blocks costs at
#     most 0.5 dB at decoded 1e-5 on awgn and ruim, at 2400 and 600 bit/s (against the same
#     path without the offset).
# Usage: bench/air_targets.sh HFCHAIN [TRIALS] [CLOCK_INTERLEAVER] [TARGETS] [CLOCK_TRIALS]
#   TRIALS: trials a point (default 200; every point runs exactly that many, so that each curve
#     has the same trials); CLOCK_INTERLEAVER: the interleaver of target 2 (default 4.8, a
#     48 s message; 0.6 gives a 6 s one); TARGETS: which to measure, 1, 2 or 12 (default 12);
#     CLOCK_TRIALS: trials a point of target 2 (default TRIALS; a trial there is 10 blocks).
#   The full run takes hours on two cores.
set -euo pipefail
if [ $# -lt 1 ]; then
  echo "usage: $0 HFCHAIN [TRIALS] [CLOCK_INTERLEAVER] [TARGETS] [CLOCK_TRIALS]" >&2
  exit 2
fi
hfchain=$1
trials=${2:-200}
clock_il=${3:-4.8}
targets=${4:-12}
clock_trials=${5:-$trials}
# AIR_TARGETS_OUT: a folder that keeps every sweep's table and crossings (default: a temporary one).
if [ -n "${AIR_TARGETS_OUT:-}" ]; then
  out=$AIR_TARGETS_OUT
  mkdir -p "$out"
else
  out=$(mktemp -d)
  trap 'rm -rf "$out"' EXIT
fi

# One sweep's table into $out/NAME.csv, its crossings (Markdown) into $out/NAME and its trials
# into the journal $out/NAME.journal (a run stopped and started again resumes from it).
crossings() {
  local name=$1 count=$2
  shift 2
  "$hfchain" sweep "$@" -r hf --min-trials "$count" --max-bits 1 --targets 1e-3,1e-5 \
    --crossings "$out/$name" -o "$out/$name.csv" --checkpoint "$out/$name.journal" -q >/dev/null
}

# Compares the crossings of NAME against those of BASE at 1e-3 and 1e-5, trial by trial
# (bench/paired_crossings.py), met when within LIMIT dB.
compare() {
  local base=$1 name=$2 limit=$3 what=$4 target
  for target in 1e-3 1e-5; do
    printf '%-28s @%s: ' "$what" "$target"
    python3 "$(dirname "$0")/paired_crossings.py" "$out/$base.journal" "$out/$name.journal" \
      "$target" "$limit"
  done
}

# The points of each condition around both crossings (Es/N0, dB), by rate.
points() {
  case "$1:$2" in
    2400:awgn) echo 6:0.5:10 ;;
    2400:ruim) echo 9:0.5:14 ;;
    600:awgn) echo -3:0.5:2.5 ;;
    600:ruim) echo 3:0.5:9 ;;
  esac
}

# Target 1: the same trials in baseband and through the air at each rate.
for cond in awgn ruim; do
  [[ $targets == *1* ]] || break
  air="-i 4.8 --rate 2400 -C $cond -e $(points 2400 $cond)"
  crossings "base$cond" "$trials" $air
  for fs in 8000 48000; do
    crossings "air$fs$cond" "$trials" $air --audio "$fs"
    compare "base$cond" "air$fs$cond" 0.2 "$cond, --audio $fs"
  done
done

# Target 2: 10 blocks a message; the reference is the same path without the offset.
# AIR_TARGETS_CLOCK: the rates and conditions measured, in order (default all four).
for case in ${AIR_TARGETS_CLOCK:-2400:awgn 2400:ruim 600:awgn 600:ruim}; do
  [[ $targets == *2* ]] || break
  rate=${case%%:*} cond=${case#*:}
  clock="-i $clock_il -n 10 --rate $rate -C $cond -e $(points $rate $cond)"
  crossings "still$rate$cond" "$clock_trials" $clock --audio 8000
  for ppm in 100 -100; do
    crossings "ppm$rate$cond$ppm" "$clock_trials" $clock --audio 8000 --clock-ppm "$ppm"
    compare "still$rate$cond" "ppm$rate$cond$ppm" 0.5 "$cond, $rate bit/s, $ppm ppm"
  done
done
