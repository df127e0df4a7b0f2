#!/usr/bin/env bash
# How well `hfchain receive` reads a sound card's clock: 2400 bit/s messages of 1, 3 and 10
# interleaver blocks of 0.6 s (between 0.3 s of silence) through awgn, moderado and ruim at an
# SNR(3 kHz) of 15 dB, with the recording's clock 0 and +-100 ppm off the sender's, a few seeds
# each (the seed of the bits and of the channel). Per point: the reading's error (read - set,
# ppm), the uncertainty receive gave, how many errors lay within it, and the blocks decoded.
# With OLD_HFCHAIN, that build's reading of the same recordings too.
# Usage: bench/clock_read.sh HFCHAIN [SEEDS] [OLD_HFCHAIN]   (SEEDS: default 4; needs sox)
set -euo pipefail
if [ $# -lt 1 ]; then
  echo "usage: $0 HFCHAIN [SEEDS] [OLD_HFCHAIN]" >&2
  exit 2
fi
hfchain=$1
seeds=${2:-4}
old=${3:-}
command -v sox >/dev/null || { echo "$0: needs sox" >&2; exit 2; }
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
sox -n -r 8000 -b 16 "$dir/quiet.wav" trim 0 0.3

# The value of "key": in a JSON report (its first), "null" when absent or null.
field() { { grep -o "\"$1\": [^,}]*" "$2" || echo ": null"; } | head -1 | sed 's/.*: //'; }
# How many blocks of a JSON report decoded.
decoded() { { grep -o '"decoded": true' "$1" || true; } | wc -l; }

printf '%-9s %6s %5s %-22s %-16s %-8s %-9s%s\n' channel blocks ppm "error (ppm)" "uncertainty" within decoded \
  "${old:+  before: error (ppm), decoded}"
for channel in awgn moderado ruim; do
  for blocks in 1 3 10; do
    for ppm in 0 100 -100; do
      rows=""
      for seed in $(seq 1 "$seeds"); do
        "$hfchain" transmit --rate 2400 -i 0.6 -n "$blocks" --seed "$seed" -o "$dir/t.wav" >/dev/null
        sox "$dir/quiet.wav" "$dir/t.wav" "$dir/quiet.wav" "$dir/p.wav"
        "$hfchain" channel "$dir/p.wav" "$dir/r.wav" -c "$channel" --snr3k 15 --clock-ppm "$ppm" \
          --seed "$seed" 2>/dev/null
        "$hfchain" receive "$dir/r.wav" --rate 2400 -i 0.6 --json "$dir/new.json" >/dev/null || true
        read_new=$(field clockOffset "$dir/new.json")
        unc=$(field clockUncertainty "$dir/new.json")
        ok_new=$(decoded "$dir/new.json")
        read_old=null ok_old=0
        if [ -n "$old" ]; then
          "$old" receive "$dir/r.wav" --rate 2400 -i 0.6 --json "$dir/old.json" >/dev/null || true
          read_old=$(field clockOffset "$dir/old.json")
          ok_old=$(decoded "$dir/old.json")
        fi
        rows+="$read_new $unc $ok_new $read_old $ok_old"$'\n'
      done
      printf '%s' "$rows" | awk -v ch="$channel" -v b="$blocks" -v p="$ppm" -v n="$seeds" \
        -v old="$old" '
        function span(lo, hi) { return lo == "" ? "not measured" : sprintf("%+.0f to %+.0f", lo, hi) }
        {
          if ($1 != "null") {
            e = $1 - p; if (lo == "" || e < lo) lo = e; if (hi == "" || e > hi) hi = e
            if ($2 != "null") {
              if (ulo == "" || $2 < ulo) ulo = $2; if (uhi == "" || $2 > uhi) uhi = $2
              if (e <= $2 && -e <= $2) within++
              told++
            }
          }
          dec += $3
          if ($4 != "null") { e = $4 - p; if (olo == "" || e < olo) olo = e; if (ohi == "" || e > ohi) ohi = e }
          odec += $5
        }
        END {
          u = ulo == "" ? "none" : sprintf("%.0f to %.0f", ulo, uhi)
          w = told == 0 ? "-" : sprintf("%d of %d", within, told)
          printf "%-9s %6d %+5d %-22s %-16s %-8s %3d of %-3d", ch, b, p, span(lo, hi), u, w, dec, b * n
          if (old != "") printf "  %-22s %3d of %d", span(olo, ohi), odec, b * n
          printf "\n"
        }'
    done
  done
done
