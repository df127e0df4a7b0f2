#!/bin/sh
# Decoding after a late entry against a full reception: for 2400 and 600 bit/s on "awgn" and
# "ruim", each trial sends one transmission and decodes it twice, once from its preamble and once
# from a random symbol of its first data block on (blocklock, then receive_hf_late); both count
# the bit errors of the first whole block after the entry. Prints the bit error rates, then the
# Es/N0 where each crosses 1e-3 and whether the late entry is within 1 dB of the full reception.
# Usage: bench/late_decode.sh [TRIALS [BUILD]]   (TRIALS for the 0.6 s interleaver, a quarter of
# them for 4.8 s; BUILD: a build folder, build/release by default)
set -e
trials=${1:-120}
build=${2:-build/release}
long=$(( (trials + 3) / 4 ))
summary=$(mktemp)
trap 'rm -f "$summary"' EXIT
run() { nice -n 5 "$build/bench/late_entry" "$@" decode | sed '1,2d' | tee -a "$summary" | grep '^|'; }
echo "| mode | channel | Es/N0 | full reception | late entry | not locked |"
echo "|---|---|---|---|---|---|"
run 2400 0.6 awgn 4,5,6,7,8 "$trials"
run 2400 0.6 ruim 10,12,14,16,18,20 "$trials"
run 2400 4.8 awgn 4,5,6,7,8 "$long"
run 2400 4.8 ruim 6,8,10,12,14,16 "$long"
run 600 0.6 awgn -3,-2,-1,0,1 "$trials"
run 600 0.6 ruim 2,4,6,8,10,12 "$trials"
run 600 4.8 awgn -3,-2,-1,0,1 "$long"
run 600 4.8 ruim 0,2,4,6,8 "$long"
echo
grep -v '^|' "$summary"
