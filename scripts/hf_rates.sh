#!/usr/bin/env bash
# The HF receiver beside the genie at every data rate on the fading conditions "ruim" and
# "muito_ruim" with the 4.8 s interleaver (bench/hf_rate_curves.cpp): decoded bit error rate
# with its 95 % interval over trials at each Es/N0 point, where each curve crosses 1e-3 and 1e-5
# and the HF receiver's distance to the genie there, and the processor time of a trial per
# second of air time for each receiver.
# Usage: scripts/hf_rates.sh [MIN_TRIALS [MAX_TRIALS [MIN_EVENTS [RATES [CONDITIONS [SHIFT]]]]]]
#   defaults: 40 300 30 "2400 1200 600 300 150 75" "ruim muito_ruim" 0
#   SHIFT (dB) moves every rate's points up: 2 centres them on the 1e-5 crossings instead of 1e-3
#   (scripts/hf_rates.sh 40 300 20 "2400 1200 600 300 150" ruim 2).
set -euo pipefail
cd "$(dirname "$0")/.."
min_trials=${1:-40}
max_trials=${2:-300}
min_events=${3:-30}
rates=${4:-"2400 1200 600 300 150 75"}
conditions=${5:-"ruim muito_ruim"}
shift_db=${6:-0}

cmake --preset release >/dev/null
cmake --build --preset release --target hf_rate_curves >/dev/null

# Es/N0 points (dB) of each rate: about where both receivers pass 1e-3 on these conditions,
# moved by SHIFT.
points() {
  base_points "$1" | tr ',' '\n' | awk -v s="$shift_db" '{ printf "%s%g", (NR > 1 ? "," : ""), $1 + s }'
}
base_points() {
  case $1 in
    2400) echo "7,8,9,10,11,12" ;;
    1200) echo "2,3,4,5,6,7" ;;
    600) echo "-1,0,1,2,3,4" ;;
    300) echo "-4,-3,-2,-1,0,1" ;;
    150) echo "-7,-6,-5,-4,-3,-2" ;;
    75) echo "-10,-9,-8,-7,-6,-5" ;;
  esac
}

for condition in $conditions; do
  for rate in $rates; do
    build/release/bench/hf_rate_curves "$rate" "$condition" 4.8 "$(points "$rate")" \
      "$min_trials" "$max_trials" "$min_events"
    echo
  done
done
