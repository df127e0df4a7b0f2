#!/usr/bin/env bash
# Measures what a carrier frequency offset costs the receivers, with `hfchain sweep` over written
# channels with `:off=`:
#  1. the HF receiver at 2400 bit/s with the 4.8 s interleaver, on one fixed path (white noise)
#     and on two equal paths 2 ms apart with 1 Hz spread, at offsets 0, +75, -75 and +37 Hz: the
#     SNR (3 kHz) at which its decoded error rate crosses 1e-5, and the loss against offset 0;
#  2. the HF receiver at 600 and 75 bit/s under +-75 Hz, and at 2400 bit/s with Doppler shifts of
#     +-2 Hz on the two paths, against offset 0, at one SNR each;
#  3. the baseline receiver (no acquisition) at offsets 0, 1, 5 and 75 Hz on white noise.
# Every point runs exactly TRIALS trials (each a different transmission and noise; different
# offsets are different conditions, hence independent trials). A crossing is interpolated in
# log10(rate) between the bracketing points; its interval is where the 95 % bounds of the points
# cross the target ('<=': the rate fell to zero errors there).
# The sweep tables are kept in OUT (default: a fresh temporary folder, named at the end).
# Usage: scripts/offset_loss.sh [HFCHAIN [TRIALS [THREADS [PARTS [OUT]]]]] (defaults
# build/release/apps/hfchain, 300, 2, "white fading rates baseline"; about 15 minutes on 2 free
# cores at 300 trials).
set -euo pipefail
cd "$(dirname "$0")/.."
hfchain=${1:-build/release/apps/hfchain}
trials=${2:-300}
threads=${3:-2}
parts=${4:-white fading rates baseline}
out=${5:-$(mktemp -d)}
mkdir -p "$out"
target=1e-5

# One sweep, its table kept in $out and written on. A sweep runs in a pipeline's subshell, where
# a counter would not survive: each table is numbered by the tables already in $out.
sweep() {
  table=$(($(find "$out" -maxdepth 1 -name 'table*.txt' | wc -l) + 1))
  nice -n 10 "$hfchain" sweep --min-trials "$trials" --max-bits 1 -j "$threads" -q "$@" |
    tee "$out/table$table.txt"
}
wants() { [[ " $parts " == *" $1 "* ]]; }

# Reads a sweep table (receiver R's columns first) and prints, per condition, the SNR (3 kHz) at
# which R's decoded rate crosses the target, its interval, and the difference to the first
# condition.
crossings() {
  awk -v t="$target" '
    /^# conditions:/ { for (i = 3; i <= NF; ++i) { split($i, kv, "="); name[kv[1]] = substr($i, length(kv[1]) + 2) } next }
    /^#/ { next }
    { c = $1; n[c]++; x[c, n[c]] = $3; v[c, n[c]] = $12; lo[c, n[c]] = $13; hi[c, n[c]] = $14; if (!(c in seen)) { seen[c] = 1; order[++conds] = c } }
    function cross(c, col,    i, a, b, p, q) {
      for (i = 1; i <= n[c]; ++i) {
        b = col == 1 ? v[c, i] : col == 2 ? lo[c, i] : hi[c, i]
        if (b <= t) {
          if (i == 1) { mark = "<"; return x[c, 1] }
          if (b == 0) { mark = "<="; return x[c, i] }
          a = col == 1 ? v[c, i - 1] : col == 2 ? lo[c, i - 1] : hi[c, i - 1]
          mark = ""
          return x[c, i - 1] + (x[c, i] - x[c, i - 1]) * (log(t) - log(a)) / (log(b) - log(a))
        }
      }
      mark = ">"; return x[c, n[c]]
    }
    END {
      printf "%-28s %14s %22s %10s\n", "condition", "SNR at " t, "95 % interval", "loss (dB)"
      for (k = 1; k <= conds; ++k) {
        c = order[k]
        s = cross(c, 1); m = mark; l = cross(c, 2); ml = mark; h = cross(c, 3); mh = mark
        if (k == 1) ref = s
        printf "%-28s %14s %22s %10s\n", name[c], sprintf("%s%.2f", m, s), sprintf("[%s%.2f, %s%.2f]", ml, l, mh, h), m == "" ? sprintf("%+.2f", s - ref) : "-"
      }
    }'
}

# One line per point: the condition, the SNR and the decoded rate of each receiver named in $1
# (comma-separated) with its 95 % interval.
rates() {
  awk -v want="$1" '
    BEGIN { nr = split(want, rx, ",") }
    /^# conditions:/ { for (i = 3; i <= NF; ++i) { split($i, kv, "="); name[kv[1]] = substr($i, length(kv[1]) + 2) } next }
    /^# +(rate +)?cond / { for (i = 2; i <= NF; ++i) col[$i] = i - 1; next }
    /^#/ { next }
    { printf "%-44s %5.1f dB", name[$col["cond"]], $col["snr3k_db"]
      for (k = 1; k <= nr; ++k) printf "   %s %.2e [%.2e, %.2e]", rx[k], $col[rx[k] "_ber"], $col[rx[k] "_ci95_low"], $col[rx[k] "_ci95_high"]
      printf "   sync_misses %d/%d\n", $col["sync_misses"], $col["trials"] }'
}

echo "# 1. HF receiver, 2400 bit/s, 4.8 s interleaver, $trials trials a point: SNR (3 kHz) at decoded $target"
for base in 1p:0ms:0Hz 2p:2ms:1Hz; do
  if [ "$base" = 1p:0ms:0Hz ]; then
    wants white || continue
    points=5.5:0.25:8.5
  else
    wants fading || continue
    points=10:0.5:13
  fi
  conds="$base,$base:off=75Hz,$base:off=-75Hz,$base:off=37Hz"
  echo "## $base: hfchain sweep -i 4.8 -C $conds --snr3k $points -r hf --floor 1e-9"
  sweep -i 4.8 -C "$conds" --snr3k "$points" -r hf --floor 1e-9 | crossings
done

if wants rates; then
  echo "# 2. HF receiver at other rates and with Doppler shifts, $trials trials a point"
  echo "## 600 bit/s, 2p:2ms:1Hz, 4.8 s interleaver"
  sweep --rate 600 -i 4.8 -C 2p:2ms:1Hz,2p:2ms:1Hz:off=75Hz,2p:2ms:1Hz:off=-75Hz --snr3k 3 -r hf,genie | rates hf,genie
  echo "## 75 bit/s, 2p:5ms:5Hz, 0.6 s interleaver"
  sweep --rate 75 -i 0.6 -C 2p:5ms:5Hz,2p:5ms:5Hz:off=75Hz,2p:5ms:5Hz:off=-75Hz --snr3k -3 -r hf,genie | rates hf,genie
  echo "## 2400 bit/s, 4.8 s interleaver, Doppler shifts of +-2 Hz on the two paths, and +2 Hz on both with 50 Hz offset"
  sweep -i 4.8 -C 2p:2ms:1Hz,paths=0ms/0dB/1Hz/2Hz+2ms/0dB/1Hz/-2Hz,2p:2ms:1Hz:shift=2Hz:off=50Hz --snr3k 11 -r hf,genie | rates hf,genie
fi

if wants baseline; then
  echo "# 3. Baseline receiver (no acquisition), 2400 bit/s, 0.6 s interleaver, white noise, $trials trials a point"
  sweep -i 0.6 -C 1p:0ms:0Hz,1p:0ms:0Hz:off=1Hz,1p:0ms:0Hz:off=5Hz,1p:0ms:0Hz:off=75Hz --snr3k 8 -r baseline,hf | rates baseline,hf
fi
echo "# tables: $out"
