#!/bin/sh
# Late entry's acquisition against Es/N0: for one mode of each frame geometry, on "awgn" and
# "ruim", the share of receivers entering at a random symbol of the first data block (random
# offset within +-75 Hz) that blocklock leads to the right mode and the next block's first symbol.
# Usage: bench/late_entry.sh [TRIALS [BUILD]]   (BUILD: a build folder, build/release by default)
set -e
trials=${1:-100}
build=${2:-build/release}
run() { nice -n 5 "$build/bench/late_entry" "$@" "$trials" | sed '1,2d'; }
echo "| mode | channel | Es/N0 | right | 95 % interval | wrong mode or block | missed |"
echo "|---|---|---|---|---|---|---|"
run 2400 0.6 awgn -6,-4,-2
run 2400 0.6 ruim -4,-2,0,2,4,6,8,10
run 600 4.8 awgn -10,-8,-6
run 600 4.8 ruim -6,-4,-2,0,2,4
run 75 0.6 awgn -12,-10,-8
run 75 0.6 ruim -10,-8,-6,-4,-2
