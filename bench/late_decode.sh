#!/bin/sh
# Decoding after a late entry against a full reception: for 2400, 600 and 75 bit/s on "awgn" and
# "ruim", each trial sends one transmission and decodes it twice, once from its preamble and once
# from a random symbol of its first data block on (blocklock, then receive_hf_late); both count
# the bit errors of the first whole block after the entry. Prints the bit error rates, then the
# Es/N0 where each crosses 1e-3 and whether the late entry is within 1 dB of the full reception
# (over the trials blocklock read right; against the full reception of those same trials; and
# with a misread trial's block counted as lost).
# Usage: bench/late_decode.sh [TRIALS [BUILD [RATES]]]   (TRIALS for the 0.6 s interleaver, a
# quarter of them for 4.8 s; BUILD: a build folder, build/release by default; RATES: the rates to
# run, "2400 600 75" by default)
set -e
trials=${1:-120}
build=${2:-build/release}
rates=${3:-2400 600 75}
long=$(( (trials + 3) / 4 ))
summary=$(mktemp)
trap 'rm -f "$summary"' EXIT
run() {
    case " $rates " in *" $1 "*) ;; *) return 0 ;; esac
    nice -n 5 "$build/bench/late_entry" "$@" decode | sed '1,2d' | tee -a "$summary" | grep '^|'
}
echo "| mode | channel | Es/N0 | full reception | late entry | full, same trials | late, misread lost | not locked |"
echo "|---|---|---|---|---|---|---|---|"
run 2400 0.6 awgn 4,5,6,7,8 "$trials"
run 2400 0.6 ruim 10,12,14,16,18,20 "$trials"
run 2400 4.8 awgn 4,5,6,7,8 "$long"
run 2400 4.8 ruim 6,8,10,12,14,16 "$long"
run 600 0.6 awgn -3,-2,-1,0,1 "$trials"
run 600 0.6 ruim 2,4,6,8,10,12 "$trials"
run 600 4.8 awgn -3,-2,-1,0,1 "$long"
run 600 4.8 ruim 0,2,4,6,8 "$long"
run 75 0.6 awgn -11,-10.5,-10,-9.5,-9,-8.5,-8,-7,-6,-5,-4 "$trials"
run 75 0.6 ruim -8,-6,-4,-2,0,2,4,6,8 "$trials"
run 75 4.8 awgn -13,-12.5,-12,-11.5,-11,-10.5,-10,-9,-8,-7 "$long"
run 75 4.8 ruim -11,-10,-9,-8,-7,-6,-4,-2,0,2 "$long"
echo
grep -v '^|' "$summary"
